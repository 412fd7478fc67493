// The mail check on a disk that fills up: a real, small filesystem (a tmpfs
// with a size limit, mounted by the test) holds the program folder. The check
// must stop with the disk-full message, the messages it stored must be gone
// from the server and every other one still be there.
#include "common/ProgramFolder.h"
#include "receive/MailCheck.h"
#include "receive/MailStore.h"
#include "settings/AccountSettings.h"
#include "support/DovecotServer.h"
#include "support/ScriptedPrompts.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

class QuietWindows final : public receive::MailCheckWindows
{
public:
    QString newCount;
    void checkStarted() override {}
    void checkEnded() override {}
    void setLitterTickInterval(int) override {}
    void showHelpText(const QString &) override {}
    void showCredentialsUsed(const QString &, const QString &) override {}
    void showCredentialsWindow() override {}
    void showMessage(const QString &, const QString &, const QString &, const QString &) override {}
    void showProgress(const receive::MailCheckProgress &) override {}
    void showResult(const QString &, const QString &count) override { newCount = count; }
    bool autoShowTicked() const override { return false; }
    void openViewer() override {}
};

bool run(const QString &program, const QStringList &args, QString *output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok = p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    *output = QString::fromLocal8Bit(p.readAll()).trimmed();
    return ok;
}

} // namespace

class MailCheckFullDiskTest : public QObject
{
    Q_OBJECT

private:
    testsupport::DovecotServer m_server;
    QTemporaryDir m_mountPoint;
    bool m_mounted = false;

private Q_SLOTS:
    void initTestCase()
    {
        QString output;
        // 400 KiB: room for a few records of 32284 bytes and nothing more.
        if (!run(QStringLiteral("mount"),
                 {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), QStringLiteral("size=400k"),
                  QStringLiteral("tmpfs"), m_mountPoint.path()},
                 &output))
            QSKIP(qPrintable(QStringLiteral("a small filesystem cannot be mounted here (needs root and mount "
                                            "rights): ") + output));
        m_mounted = true;
        QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    }
    void cleanupTestCase()
    {
        common::ProgramFolder::set(QString());
        QString output;
        if (m_mounted && !run(QStringLiteral("umount"), {m_mountPoint.path()}, &output))
            qWarning("umount: %s", qPrintable(output));
    }

    void fullDiskStopsAndKeepsTheUnstoredOnTheServer()
    {
        QDir root(m_mountPoint.path());
        QVERIFY(root.mkpath(QStringLiteral("★MailData/Adata")));
        QVERIFY(root.mkpath(QStringLiteral("添付フォルダ")));
        common::ProgramFolder::set(m_mountPoint.path());
        QFile credentials(common::ProgramFolder::dataFile(QStringLiteral("iniIdPass.ini")));
        QVERIFY(credentials.open(QIODevice::WriteOnly));
        credentials.write("[EXEINI]\r\nNAME=alice\r\nNAME2=alicepw\r\nNAME3=1\r\n");
        credentials.close();
        settings::accountSettings() = settings::AccountSettings();
        settings::accountSettings().Pop3Server = m_server.address();

        QStringList all;
        for (int i = 1; i <= 30; ++i) {
            const QString subject = QStringLiteral("m%1").arg(i, 2, 10, QLatin1Char('0'));
            all << subject;
            QVERIFY(m_server.deliver(QStringLiteral("alice"),
                                     "Subject: " + subject.toLatin1()
                                         + "\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n本文です。\r\n"));
        }
        testsupport::ScriptedPrompts prompts;
        QuietWindows windows;
        receive::MailCheck check(windows);
        const receive::MailCheckResult result = check.ReceiveMail();

        receive::MailStore store;
        QStringList stored;
        for (const receive::MailListEntry &entry : store.readMailList())
            stored << entry.subject.trimmed();
        QStringList left;
        for (const QByteArray &m : m_server.messages(QStringLiteral("alice")))
            left << QString::fromLatin1(m.mid(9, 3));
        QVERIFY2(!stored.isEmpty() && stored.size() < all.size(), qPrintable(stored.join(u',')));
        QCOMPARE(result.stored, stored.size());
        QCOMPARE(stored + left, all);
        QCOMPARE(windows.newCount, QString::number(stored.size()));
        const QString boxes = prompts.informTexts().join(u'\n');
        QVERIFY2(boxes.contains(QStringLiteral("空き容量")), qPrintable(boxes));
        QVERIFY(boxes.contains(QStringLiteral("サーバーに残して")));
    }
};

QTEST_GUILESS_MAIN(MailCheckFullDiskTest)
#include "tst_MailCheckFullDisk.moc"
