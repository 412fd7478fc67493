// The submission both mail windows send through, with no window: whom a send
// reaches, when it stops, and what a second send of the same mail does.
#include "compose/AttachmentList.h"
#include "compose/Submission.h"
#include "maillib/NMail.h"
#include "receive/MailCheckState.h"
#include "settings/AccountSettings.h"
#include "support/SmtpSink.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

using compose::Submission;
using testsupport::SmtpSink;

namespace {

QString delivered(const SmtpSink &sink, qsizetype from)
{
    QStringList out;
    for (const auto &m : sink.messages().mid(from))
        out << m.envelope.value(QStringLiteral("rcpt_tos")).toArray().at(0).toString().section(u'@', 0, 0);
    return out.join(u' ');
}

QString counts(const Submission::Outcome &o)
{
    return QStringLiteral("%1/%2/%3/%4").arg(o.sent).arg(o.failures.size()).arg(o.unsent).arg(o.skipped);
}

} // namespace

class TestSubmission : public QObject
{
    Q_OBJECT
    // The first send meets a server that refuses "bad…" recipients, the second one that takes all.
    SmtpSink m_refusing{SmtpSink::Options{false, false, {}, {}, {}, {}, false, QStringLiteral("bad")}};
    SmtpSink m_accepting;
    QTemporaryDir m_files;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_refusing.isRunning() && m_accepting.isRunning(), qPrintable(m_refusing.diagnostics()));
        maillib::NMailInitializeWinSock();
        maillib::NMailSetOption(maillib::NMailOptionTimeoutMs, 10000);
        settings::accountSettings().MailAddress = QStringLiteral("me@example.jp");
    }

    // Recipients are local parts at example.jp; counts are sent/failed/unsent/skipped.
    void policies_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<QString>("attachment"); // made in a temporary folder; "-" a missing file
        QTest::addColumn<int>("stopAtPass");     // the stop is asked for while this mail goes
        QTest::addColumn<bool>("checkRunning");
        QTest::addColumn<int>("secondScope");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("firstCounts");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("secondCounts");
        const int rest = int(Submission::Scope::NotYetServed), all = int(Submission::Scope::Everyone);
        QTest::newRow("partial failure, then the rest only")
            << "a bad1 c bad2" << "" << 0 << false << rest << "a c" << "2/2/0/0" << "bad1 bad2" << "2/0/0/2";
        QTest::newRow("partial failure, then everyone again")
            << "a bad1 c bad2" << "" << 0 << false << all << "a c" << "2/2/0/0" << "a bad1 c bad2" << "4/0/0/0";
        QTest::newRow("stopped during the second, then the rest")
            << "a b c d" << "" << 2 << false << rest << "a b" << "2/0/2/0" << "c d" << "2/0/0/2";
        QTest::newRow("everyone served: a second send is refused")
            << "a" << "" << 0 << false << rest << "a" << "1/0/0/0" << "" << "0/0/0/1";
        // A failure every mail would meet ends the run at once.
        QTest::newRow("missing attachment stops the run")
            << "a b c" << "-" << 0 << false << rest << "" << "0/1/2/0" << "" << "0/1/2/0";
        QTest::newRow("comma in a file name") << "a" << "見積,第2版.txt" << 0 << false << rest << "a" << "1/0/0/0"
                                            << "" << "0/0/0/1";
        QTest::newRow("mail check running") << "a" << "" << 0 << true << rest << "" << "0/0/0/0" << "" << "";
    }
    void policies()
    {
        QFETCH(QString, book);
        QFETCH(QString, attachment);
        QFETCH(int, stopAtPass);
        QFETCH(bool, checkRunning);
        QFETCH(int, secondScope);
        compose::OutgoingDraft draft{QStringLiteral("お知らせ"), QStringLiteral("本文"), {}, false};
        const QString file = m_files.filePath(attachment == u'-' ? QStringLiteral("無い.pdf") : attachment);
        if (!attachment.isEmpty() && attachment != u'-') {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("x") == 1);
        }
        // The list as the window carries it, comma and all.
        if (!attachment.isEmpty())
            draft.attachments = compose::parseAttachmentList(compose::formatAttachmentList({file}));
        QList<compose::SendTarget> targets;
        for (const QString &name : book.split(u' '))
            targets << compose::SendTarget{int(targets.size()) + 1, name + QStringLiteral("@example.jp")};

        Submission submission(true);
        connect(&submission, &Submission::sending, this, [&](int pass) {
            if (pass == stopAtPass)
                submission.requestStop();
        });
        receive::setMailCheckRunning(checkRunning);
        settings::accountSettings().SmtpServer = QStringLiteral("127.0.0.1:%1").arg(m_refusing.port());
        const qsizetype before1 = m_refusing.messages().size();
        const Submission::Outcome first = submission.send(draft, targets);
        receive::setMailCheckRunning(false);
        QCOMPARE(first.refused(), checkRunning);
        QCOMPARE(first.stoppedByUser, stopAtPass > 0);
        QTEST(counts(first), "firstCounts");
        QTEST(delivered(m_refusing, before1), "first");
        QCOMPARE(submission.servedAmong(targets), first.sent);
        if (first.sent && !attachment.isEmpty())
            QCOMPARE(testsupport::parsedPart(SmtpSink::parseWithPython(m_refusing.messages().last().raw), 1)
                         .value(QStringLiteral("filename")).toString(), attachment);
        if (checkRunning)
            return;

        settings::accountSettings().SmtpServer = QStringLiteral("127.0.0.1:%1").arg(m_accepting.port());
        const qsizetype before2 = m_accepting.messages().size();
        const Submission::Outcome second = submission.send(draft, targets, Submission::Scope(secondScope));
        QTEST(counts(second), "secondCounts");
        QTEST(delivered(m_accepting, before2), "second");
    }
};

QTEST_GUILESS_MAIN(TestSubmission)
#include "tst_Submission.moc"
