// The composer driven by its controls, against a real SMTP server.
#include "ComposeFixture.h"

#include "addressbook/ui/FriendForm.h"
#include "common/Random.h"
#include "compose/Greetings.h"
#include "compose/ui/AttachmentRow.h"
#include "compose/ui/WriteForm.h"
#include "editor/EditorState.h"
#include "habitat/LitterTick.h"
#include "maillib/NMail.h"
#include "receive/MailCheckState.h"
#include "settings/AccountSettings.h"
#include "support/ScriptedPrompts.h"
#include "support/ScriptedRandom.h"
#include "support/SmtpSink.h"

#include <QAction>
#include <QApplication>
#include <QToolBar>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <memory>
#include <random>

using compose::WriteForm;
using composetest::child;
using composetest::Entry;
using testsupport::SmtpSink;

namespace {

const QString Me = QStringLiteral("me@example.jp");

QString plain(const QWidget *form, const char *name)
{
    return child<QPlainTextEdit>(form, name)->toPlainText();
}

// Entry row of the address list, in the column the list shows.
QModelIndex entry(const QListView *list, int row)
{
    return list->model()->index(row, list->modelColumn());
}

QString entryText(const QListView *list, int row)
{
    return entry(list, row).data().toString();
}

QRect entryRect(const QListView *list, int row)
{
    return list->visualRect(entry(list, row));
}

QString bodyText(const QJsonObject &parsed)
{
    // The text part travels in canonical form, CR LF line ends.
    return testsupport::parsedPart(parsed, 0).value(QStringLiteral("text")).toString().replace(
        QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QStringList recipients(const QList<SmtpSink::Received> &messages)
{
    QStringList out;
    for (const auto &m : messages)
        for (const auto &r : m.envelope.value(QStringLiteral("rcpt_tos")).toArray())
            out << r.toString();
    return out;
}

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A seeded uniform source: the draws a real session would make, repeatable.
class SeededRandom final : public common::RandomSource
{
public:
    explicit SeededRandom(unsigned seed) : m_engine(seed) {}
    double next() override { return m_uniform(m_engine); }
    void reseed() override {}

private:
    std::mt19937_64 m_engine;
    std::uniform_real_distribution<double> m_uniform{0.0, 1.0};
};

} // namespace

class TestWriteForm : public QObject
{
    Q_OBJECT

    std::unique_ptr<SmtpSink> m_sink;
    std::unique_ptr<testsupport::TempProgramFolder> m_folder;
    std::unique_ptr<testsupport::ScriptedPrompts> m_prompts;
    std::unique_ptr<testsupport::ScriptedRandom> m_random;
    qsizetype m_seen = 0; // messages the sink held before this test

    // Messages this test made the server receive.
    QList<SmtpSink::Received> received(int atLeast, int timeoutMs = 10000)
    {
        const QList<SmtpSink::Received> all = m_sink->waitForMessages(int(m_seen) + atLeast, timeoutMs);
        return all.mid(m_seen);
    }
    QList<SmtpSink::Received> receivedNow() { return m_sink->messages().mid(m_seen); }

    QPointer<WriteForm> openForm(bool help = false)
    {
        auto *form = new WriteForm(help);
        form->show();
        return form;
    }

    void type(WriteForm *form, const QString &to, const QString &subject, const QString &body)
    {
        child<QPlainTextEdit>(form, "ToText")->setPlainText(to);
        child<QLineEdit>(form, "SubjectText")->setText(subject);
        child<QTextEdit>(form, "rtfEd")->setPlainText(body);
    }

    void bulkOn(WriteForm *form)
    {
        m_prompts->yesNoAnswers.enqueue(true);
        child<QRadioButton>(form, "Option2")->click();
        QVERIFY(form->bulkMode());
    }

    QList<testsupport::ScriptedPrompts::Shown> boxes(const QString &title)
    {
        QList<testsupport::ScriptedPrompts::Shown> out;
        for (const auto &s : m_prompts->shown)
            if (s.kind == QLatin1String("inform") && s.title == title)
                out << s;
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sink = std::make_unique<SmtpSink>();
        QVERIFY2(m_sink->isRunning(), qPrintable(m_sink->diagnostics()));
        maillib::NMailInitializeWinSock();
        maillib::NMailSetOption(maillib::NMailOptionTimeoutMs, 10000);
    }
    void init()
    {
        m_folder = std::make_unique<testsupport::TempProgramFolder>();
        m_prompts = std::make_unique<testsupport::ScriptedPrompts>();
        m_random = std::make_unique<testsupport::ScriptedRandom>(0.0);
        settings::accountSettings() = {QStringLiteral("127.0.0.1:%1").arg(m_sink->port()), QString(), Me, 0};
        m_seen = m_sink->messages().size();
        habitat::litterTick().resume();
    }
    void cleanup()
    {
        composetest::closeAllWindows();
        m_random.reset();
        m_prompts.reset();
        m_folder.reset();
    }

    // --- opening ---------------------------------------------------------

    void loadFillsTheWindow()
    {
        composetest::writeBook({{QStringLiteral("山田太郎"), QStringLiteral("taro@example.jp")},
                                {QStringLiteral("花子"), QStringLiteral("hanako@example.jp")}});
        QPointer<WriteForm> form = openForm();
        QCOMPARE(form->windowTitle(), QStringLiteral("新規作成"));
        QVERIFY(!habitat::litterTick().isRunning());
        auto *list = child<QListView>(form, "List1");
        QCOMPARE(list->model()->rowCount(), 2);
        // Names keep their trailing blanks, all 90 characters.
        QCOMPARE(entryText(list, 0), QStringLiteral("山田太郎").leftJustified(90));
        QCOMPARE(child<QLineEdit>(form, "Text1")->text(), QStringLiteral("2"));
        auto *combo = child<QComboBox>(form, "Combo1");
        QCOMPARE(combo->count(), 8);
        QCOMPARE(combo->itemText(3), QStringLiteral("いつもお世話になっております。"));
        QCOMPARE(combo->currentText(), QString());
        QVERIFY(!child<QListWidget>(form, "List2")->isVisible());
        QCOMPARE(child<QLabel>(form, "Label7")->text(), QString());
        QCOMPARE(list->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(child<QPushButton>(form, "Command6")->text(), QStringLiteral("     サイズ（小）"));
        QCOMPARE(child<QPushButton>(form, "Command5")->text(), QStringLiteral("     本文に貼付"));
        QCOMPARE(child<QPushButton>(form, "Command11")->text(), QStringLiteral("   クリア"));
        QCOMPARE(child<QPushButton>(form, "Command7")->text(), QStringLiteral("     宛先に貼付"));
        QVERIFY(!child<QRadioButton>(form, "Option1")->isChecked());
        QVERIFY(!child<QRadioButton>(form, "Option2")->isChecked());
        form->close();
        QVERIFY(habitat::litterTick().isRunning());
    }

    // Every control a user operates has a name a screen reader can say.
    void everyControlHasAnAccessibleName()
    {
        QPointer<WriteForm> form = openForm();
        const QStringList unnamed = testsupport::unnamedControls(form);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    }

    void missingBookIsCreatedEmpty()
    {
        QPointer<WriteForm> form = openForm();
        QCOMPARE(child<QLineEdit>(form, "Text1")->text(), QStringLiteral("0"));
        QVERIFY(QFile::exists(m_folder->dataFile(QString::fromLatin1(addressbook::AddressStore::StoreFileName))));
    }

    void helpPane()
    {
        QPointer<WriteForm> on = openForm(true);
        auto *pane = child<QPlainTextEdit>(on, "Text14");
        QVERIFY(pane->isVisible());
        QCOMPARE(pane->toPlainText(), QString());
        QCOMPARE(pane->y(), 4600 / 15);
        composetest::hover(child<QPushButton>(on, "Command3"));
        QCOMPARE(pane->toPlainText(), QStringLiteral("送信を中止します。"));
        composetest::hover(child<QRadioButton>(on, "Option2"));
        QCOMPARE(pane->toPlainText(),
                 QStringLiteral("アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信します。\n\n"
                                "件名、本文入力完了後、送信ボタンをクリックして下さい。"));
        QVERIFY(pane->isVisible());
        composetest::hover(child<QTextEdit>(on, "rtfEd")->viewport());
        QVERIFY(!pane->isVisible());
        on->close();

        QPointer<WriteForm> off = openForm(false);
        auto *hidden = child<QPlainTextEdit>(off, "Text14");
        composetest::hover(child<QPushButton>(off, "Command1"));
        // Out of sight above the window, whatever it holds.
        QVERIFY(hidden->geometry().bottom() < 0);
    }

    // The shared editor as the composer has it: no save-as, no search, and
    // the body never marks the editor file changed.
    void editorMenusAndToolBar()
    {
        QPointer<WriteForm> form = openForm();
        for (const char *absent : {"msave", "mkensaku", "mtugikensaku", "Save"})
            QVERIFY2(!form->findChild<QAction *>(QString::fromLatin1(absent)), absent);
        for (const char *present : {"mnew", "mopen", "mprint", "mend", "mall", "mcut", "mcopy", "mpaste", "Bold"})
            QVERIFY2(form->findChild<QAction *>(QString::fromLatin1(present)), present);
        QVERIFY(form->findChild<QToolBar *>(QStringLiteral("tbToolBar")));
        viewer::editorState().EditorChanged = false;
        form->bodyBox()->setPlainText(QStringLiteral("書きかけ"));
        QVERIFY(!viewer::editorState().EditorChanged);
        form->findChild<QAction *>(QStringLiteral("mend"))->trigger();
        composetest::flushDeletes();
        QVERIFY(!form);
        QVERIFY(habitat::litterTick().isRunning());
    }

    // --- sending -----------------------------------------------------------

    void normalSendWithTwoAttachments()
    {
        const QString a = m_folder->path() + QStringLiteral("/見積書.txt");
        const QString b = m_folder->path() + QStringLiteral("/photo.bin");
        QByteArray binary(70000, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = char((i * 131) % 256);
        composetest::writeFile(a, "quote\r\n");
        composetest::writeFile(b, binary);
        QPointer<WriteForm> form = openForm();
        type(form, QStringLiteral("taro@example.jp"), QStringLiteral("お見積りの件"),
             QStringLiteral("山田様\nいつもお世話になっております。"));
        m_prompts->fileAnswers << a << b;
        child<QPushButton>(form, "AttachCommand")->click();
        child<QPushButton>(form, "Command9")->click();
        QCOMPARE(child<QLineEdit>(form, "AttachText")->text(), a + u',' + b);

        child<QPushButton>(form, "Command1")->click();
        composetest::flushDeletes();
        QVERIFY2(!form, "a sent mail closes the window");
        QVERIFY(habitat::litterTick().isRunning());

        const auto got = received(1);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].envelope.value(QStringLiteral("mail_from")).toString(), Me);
        QCOMPARE(recipients(got), QStringList{QStringLiteral("taro@example.jp")});
        const QJsonObject parsed = SmtpSink::parseWithPython(got[0].raw);
        QCOMPARE(testsupport::parsedHeader(parsed, QStringLiteral("Subject")), QStringLiteral("お見積りの件"));
        QCOMPARE(testsupport::parsedHeader(parsed, QStringLiteral("To")), QStringLiteral("taro@example.jp"));
        QCOMPARE(bodyText(parsed).trimmed(), QStringLiteral("山田様\nいつもお世話になっております。"));
        const QJsonObject first = testsupport::parsedPart(parsed, 1);
        const QJsonObject second = testsupport::parsedPart(parsed, 2);
        QCOMPARE(first.value(QStringLiteral("filename")).toString(), QStringLiteral("見積書.txt"));
        QCOMPARE(second.value(QStringLiteral("filename")).toString(), QStringLiteral("photo.bin"));
        QCOMPARE(second.value(QStringLiteral("sha256")).toString(), sha256(binary));
        QVERIFY(boxes(QStringLiteral("送信エラー")).isEmpty());
    }

    // Whatever the send fails on, the box gives the layer's reason and the
    // window keeps every field, so the mail can be sent again.
    void failedSendKeepsTheMail_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("attachments");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty recipient") << QString() << QString() << QStringLiteral("宛先のメールアドレスが入力されていません");
        QTest::newRow("line break in recipient")
            << QStringLiteral("a@example.jp\nRCPT TO:<x@evil.example>") << QString() << QStringLiteral("制御文字");
        QTest::newRow("missing attachment") << QStringLiteral("a@example.jp") << QStringLiteral("/no/such/file.pdf")
                                            << QStringLiteral("file.pdf");
    }
    void failedSendKeepsTheMail()
    {
        QFETCH(QString, to);
        QFETCH(QString, attachments);
        QFETCH(QString, reason);
        const int connectionsBefore = m_sink->connectionCount();
        QPointer<WriteForm> form = openForm();
        type(form, to, QStringLiteral("件名"), QStringLiteral("本文です。"));
        child<QLineEdit>(form, "AttachText")->setText(attachments);
        child<QPushButton>(form, "Command1")->click();
        composetest::flushDeletes();

        QVERIFY2(form, "a mail that was not sent keeps its window");
        const auto errors = boxes(QStringLiteral("送信エラー"));
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].text.contains(reason), qPrintable(errors[0].text));
        QCOMPARE(plain(form, "ToText"), to);
        QCOMPARE(child<QLineEdit>(form, "SubjectText")->text(), QStringLiteral("件名"));
        QCOMPARE(form->bodyBox()->toPlainText(), QStringLiteral("本文です。"));
        QCOMPARE(child<QLineEdit>(form, "AttachText")->text(), attachments);
        QVERIFY(!form->sending());
        QVERIFY(child<QPushButton>(form, "Command1")->isEnabled());
        // Refused before any connection was made.
        QCOMPARE(m_sink->connectionCount(), connectionsBefore);
        QVERIFY(receivedNow().isEmpty());
    }

    void retryAfterFailureSends()
    {
        QPointer<WriteForm> form = openForm();
        type(form, QString(), QStringLiteral("再送"), QStringLiteral("本文"));
        child<QPushButton>(form, "Command1")->click();
        QVERIFY(form);
        child<QPlainTextEdit>(form, "ToText")->setPlainText(QStringLiteral("jiro@example.jp"));
        child<QPushButton>(form, "Command1")->click();
        composetest::flushDeletes();
        QVERIFY(!form);
        const auto got = received(1);
        QCOMPARE(recipients(got), QStringList{QStringLiteral("jiro@example.jp")});
    }

    void refusedWhileMailCheckRuns()
    {
        receive::setMailCheckRunning(true);
        QPointer<WriteForm> form = openForm();
        type(form, QStringLiteral("a@example.jp"), QStringLiteral("s"), QStringLiteral("b"));
        child<QPushButton>(form, "Command1")->click();
        receive::setMailCheckRunning(false);
        QVERIFY(form);
        QCOMPARE(m_prompts->informTexts().size(), 1);
        QVERIFY(receivedNow().isEmpty());
    }

    void fortuneOnOneMail()
    {
        m_random->push({0.5}); // fortune 7
        QPointer<WriteForm> form = openForm();
        type(form, QStringLiteral("a@example.jp"), QStringLiteral("占い"), QString());
        child<QCheckBox>(form, "Check1")->setChecked(true);
        child<QPushButton>(form, "Command1")->click();
        const auto got = received(1);
        QCOMPARE(got.size(), 1);
        const QString expected = QStringLiteral("\n\n") + compose::fortuneHeader() + QStringLiteral("\n\n")
            + compose::fortuneText(7);
        QCOMPARE(bodyText(SmtpSink::parseWithPython(got[0].raw)).chopped(1), expected);
        QCOMPARE(m_random->reseeds(), 1);
    }

    // --- bulk sending --------------------------------------------------------

    void bulkSendsToEveryEntryInOrder()
    {
        composetest::writeBook({{QStringLiteral("一"), QStringLiteral("one@example.jp")},
                                {QStringLiteral("二"), QStringLiteral("two@example.jp   ")},
                                {QStringLiteral("三"), QStringLiteral("  三郎 <three@example.jp>")}});
        const int connectionsBefore = m_sink->connectionCount();
        QPointer<WriteForm> form = openForm();
        type(form, QString(), QStringLiteral("お知らせ"), QStringLiteral("皆様へ"));
        const QString file = m_folder->path() + QStringLiteral("/案内.txt");
        composetest::writeFile(file, "annai");
        child<QLineEdit>(form, "AttachText")->setText(file);
        bulkOn(form);
        child<QPushButton>(form, "Command1")->click();
        composetest::flushDeletes();
        QVERIFY2(!form, "a bulk send that reached everyone closes the window");

        const auto got = received(3);
        QCOMPARE(recipients(got), (QStringList{QStringLiteral("one@example.jp"), QStringLiteral("two@example.jp"),
                                               QStringLiteral("three@example.jp")}));
        for (const auto &m : got) {
            const QJsonObject parsed = SmtpSink::parseWithPython(m.raw);
            QCOMPARE(testsupport::parsedHeader(parsed, QStringLiteral("Subject")), QStringLiteral("お知らせ"));
            QCOMPARE(bodyText(parsed).trimmed(), QStringLiteral("皆様へ"));
            QCOMPARE(testsupport::parsedPart(parsed, 1).value(QStringLiteral("filename")).toString(),
                     QStringLiteral("案内.txt"));
        }
        QVERIFY(m_prompts->informTexts().isEmpty());
        // One connection carried the three mails, and it was ended.
        QCOMPARE(m_sink->connectionCount() - connectionsBefore, 1);
    }

    void bulkWithEmptyBookSendsNothingAndKeepsTheMail()
    {
        QPointer<WriteForm> form = openForm();
        type(form, QString(), QStringLiteral("件名"), QStringLiteral("本文"));
        bulkOn(form);
        child<QPushButton>(form, "Command1")->click();
        composetest::flushDeletes();
        QVERIFY(form);
        QCOMPARE(m_prompts->informTexts().size(), 1);
        QVERIFY(m_prompts->informTexts()[0].contains(QStringLiteral("アドレス帳")));
        QCOMPARE(form->bodyBox()->toPlainText(), QStringLiteral("本文"));
        QVERIFY(receivedNow().isEmpty());
    }

    void bulkWithFortuneGivesEachMailOne()
    {
        composetest::writeBook({{QStringLiteral("a"), QStringLiteral("a@example.jp")},
                                {QStringLiteral("b"), QStringLiteral("b@example.jp")},
                                {QStringLiteral("c"), QStringLiteral("c@example.jp")}});
        m_random->push({0.0, 0.5, 0.999});
        QPointer<WriteForm> form = openForm();
        type(form, QString(), QStringLiteral("占い付き"), QStringLiteral("こんにちは"));
        child<QCheckBox>(form, "Check1")->setChecked(true);
        bulkOn(form);
        child<QPushButton>(form, "Command1")->click();
        const auto got = received(3);
        QCOMPARE(got.size(), 3);
        const int expected[] = {1, 7, 12};
        for (int i = 0; i < 3; ++i) {
            const QString body = bodyText(SmtpSink::parseWithPython(got[i].raw));
            QCOMPARE(body.count(compose::fortuneHeader()), 1);
            QVERIFY(body.startsWith(QStringLiteral("こんにちは\n\n")));
            QVERIFY2(body.contains(compose::fortuneText(expected[i])), qPrintable(body));
        }
    }

    void bulkFailureInTheMiddleIsSummed()
    {
        SmtpSink refusing(SmtpSink::Options{false, false, {}, {}, {}, {}, false, QStringLiteral("bad")});
        QVERIFY(refusing.isRunning());
        settings::accountSettings().SmtpServer = QStringLiteral("127.0.0.1:%1").arg(refusing.port());
        composetest::writeBook({{QStringLiteral("a"), QStringLiteral("a@example.jp")},
                                {QStringLiteral("悪"), QStringLiteral("bad@example.jp")},
                                {QStringLiteral("改行"), QStringLiteral("x@example.jp\r\nDATA")},
                                {QStringLiteral("c"), QStringLiteral("c@example.jp")}});
        QPointer<WriteForm> form = openForm();
        type(form, QString(), QStringLiteral("件名"), QStringLiteral("本文"));
        bulkOn(form);
        child<QPushButton>(form, "Command1")->click();
        composetest::flushDeletes();

        const auto got = refusing.waitForMessages(2);
        QCOMPARE(recipients(got), (QStringList{QStringLiteral("a@example.jp"), QStringLiteral("c@example.jp")}));
        QVERIFY2(form, "a bulk send that missed an entry keeps its window");
        const auto errors = boxes(QStringLiteral("送信エラー"));
        QCOMPARE(errors.size(), 1);
        const QString summary = errors[0].text;
        QVERIFY2(summary.contains(QStringLiteral("4 件中 2 件")), qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("bad@example.jp")), qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("550")), qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("x@example.jp")), qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("制御文字")), qPrintable(summary));
        QVERIFY(!summary.contains(QStringLiteral("「a@example.jp」")));
        QVERIFY(form->bulkMode());
        QCOMPARE(form->bodyBox()->toPlainText(), QStringLiteral("本文"));
    }

    // After a bulk send that missed an entry, "送信" again goes only to the
    // entry that did not get the mail, and the window says so first.
    void bulkResendGoesOnlyToTheMissed()
    {
        SmtpSink refusing(SmtpSink::Options{false, false, {}, {}, {}, {}, false, QStringLiteral("bad")});
        QVERIFY(refusing.isRunning());
        settings::accountSettings().SmtpServer = QStringLiteral("127.0.0.1:%1").arg(refusing.port());
        composetest::writeBook({{QStringLiteral("a"), QStringLiteral("a@example.jp")},
                                {QStringLiteral("悪"), QStringLiteral("bad@example.jp")},
                                {QStringLiteral("c"), QStringLiteral("c@example.jp")}});
        QPointer<WriteForm> form = openForm();
        type(form, QString(), QStringLiteral("件名"), QStringLiteral("本文"));
        bulkOn(form);
        child<QPushButton>(form, "Command1")->click();
        QCOMPARE(recipients(refusing.waitForMessages(2)),
                 (QStringList{QStringLiteral("a@example.jp"), QStringLiteral("c@example.jp")}));
        QVERIFY(child<QLabel>(form, "Label7")->text().contains(QStringLiteral("まだ送信していない 1 件だけ")));

        // The refused entry is mended on the server's side; the second send reaches it alone.
        settings::accountSettings().SmtpServer = QStringLiteral("127.0.0.1:%1").arg(m_sink->port());
        m_prompts->yesNoAnswers.enqueue(true);
        child<QPushButton>(form, "Command1")->click();
        composetest::flushDeletes();
        QCOMPARE(recipients(received(1)), QStringList{QStringLiteral("bad@example.jp")});
        QVERIFY(m_prompts->shown.last().text.contains(QStringLiteral("3 件中 2 件には送信済み")));
        QVERIFY2(!form, "the mail has now reached everyone");
    }

    void bulkStopsBetweenTwoMails()
    {
        QList<Entry> book;
        for (int i = 1; i <= 5; ++i)
            book << Entry(QStringLiteral("n%1").arg(i), QStringLiteral("p%1@example.jp").arg(i));
        composetest::writeBook(book);
        QPointer<WriteForm> form = openForm();
        type(form, QString(), QStringLiteral("止める"), QStringLiteral("本文"));
        bulkOn(form);
        // The stop button is pressed while the second mail is on its way.
        auto *label = child<QLabel>(form, "Label7");
        auto *stop = child<QPushButton>(form, "Command3");
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (label->text().contains(QStringLiteral("（2 / 5 件目）")) && stop->isEnabled())
                stop->click();
        });
        poll.start(1);
        child<QPushButton>(form, "Command1")->click();
        poll.stop();
        composetest::flushDeletes();
        QVERIFY(form);
        const int sent = int(receivedNow().size());
        QVERIFY2(sent >= 2 && sent < 5, qPrintable(QString::number(sent)));
        const auto errors = boxes(QStringLiteral("送信エラー"));
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].text.startsWith(QStringLiteral("一括送信を中止しました。")));
    }

    // A refused send leaves "添付File" enabled; a file attached then joins the
    // earlier ones, in the list and in the mail, whatever its name holds.
    void attachmentsKeptAcrossARefusedSend()
    {
        const QString a = m_folder->path() + QStringLiteral("/memo.txt");
        const QString b = m_folder->path() + QStringLiteral("/見積,第2版.txt");
        composetest::writeFile(a, "memo");
        composetest::writeFile(b, "mitsumori");
        QPointer<WriteForm> form = openForm();
        type(form, QString(), QStringLiteral("資料"), QStringLiteral("本文"));
        m_prompts->fileAnswers << a << b;
        child<QPushButton>(form, "AttachCommand")->click();
        child<QPushButton>(form, "Command1")->click(); // no recipient: refused
        QVERIFY(form);
        child<QPushButton>(form, "AttachCommand")->click();
        auto *list2 = child<QListWidget>(form, "List2");
        QCOMPARE(list2->count(), 2);
        QCOMPARE(list2->item(1)->text(), QStringLiteral("見積,第2版.txt"));

        child<QPlainTextEdit>(form, "ToText")->setPlainText(QStringLiteral("sato@example.jp"));
        child<QPushButton>(form, "Command1")->click();
        const QJsonObject parsed = SmtpSink::parseWithPython(received(1).value(0).raw);
        QCOMPARE(testsupport::parsedPart(parsed, 1).value(QStringLiteral("filename")).toString(),
                 QStringLiteral("memo.txt"));
        QCOMPARE(testsupport::parsedPart(parsed, 2).value(QStringLiteral("filename")).toString(),
                 QStringLiteral("見積,第2版.txt"));
    }

    // A business card of the book keeps its name in To; the envelope takes the address.
    void businessCardKeepsItsName()
    {
        composetest::writeBook({{QStringLiteral("山田太郎"), QStringLiteral("山田太郎<yamada@example.jp>")}});
        QPointer<WriteForm> form = openForm();
        auto *list = child<QListView>(form, "List1");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entryRect(list, 0).center());
        type(form, plain(form, "ToText"), QStringLiteral("ご挨拶"), QStringLiteral("本文"));
        child<QPushButton>(form, "Command1")->click();
        const auto got = received(1);
        QCOMPARE(recipients(got), QStringList{QStringLiteral("yamada@example.jp")});
        QVERIFY2(got[0].raw.contains("\r\nTo: =?ISO-2022-JP?B?"), got[0].raw.constData());
        QCOMPARE(testsupport::parsedHeader(SmtpSink::parseWithPython(got[0].raw), QStringLiteral("To")),
                 QStringLiteral("山田太郎 <yamada@example.jp>"));
    }

    // --- address pane ----------------------------------------------------------

    void pickingAnAddress_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringLiteral("two@example.jp") << QStringLiteral("two@example.jp");
        QTest::newRow("leading blanks") << QStringLiteral("   two@example.jp") << QStringLiteral("two@example.jp");
        QTest::newRow("card") << QStringLiteral("次郎<two@example.jp>") << QStringLiteral("次郎<two@example.jp>");
        QTest::newRow("cut at 60") << QString(70, u'x') << QString(60, u'x');
    }
    void pickingAnAddress()
    {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        composetest::writeBook({{QStringLiteral("一郎"), QStringLiteral("one@example.jp")},
                                {QStringLiteral("次郎"), stored}});
        QPointer<WriteForm> form = openForm();
        auto *list = child<QListView>(form, "List1");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entryRect(list, 1).center());
        QCOMPARE(plain(form, "ToText"), expected);
        QVERIFY(m_prompts->informTexts().isEmpty());
    }

    // A name registered in the book is offered by the next composer that loads.
    void registeredNameReachesTheComposer()
    {
        QPointer<addressbook::FriendForm> book = new addressbook::FriendForm(false);
        book->show();
        child<QLineEdit>(book, "Text2")->setText(QStringLiteral("新しい友人"));
        child<QLineEdit>(book, "Text4")->setText(QStringLiteral("friend@example.jp"));
        child<QPushButton>(book, "Command3")->click();
        auto *composer = new WriteForm(false);
        auto *list = child<QListView>(composer, "List1");
        QCOMPARE(list->model()->rowCount(), 1);
        QCOMPARE(entryText(list, 0).trimmed(), QStringLiteral("新しい友人"));
        QCOMPARE(child<QLineEdit>(composer, "Text1")->text(), QStringLiteral("1"));
    }

    void pressWithNothingSelected()
    {
        QPointer<WriteForm> form = openForm();
        auto *list = child<QListView>(form, "List1");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(m_prompts->informTexts(), QStringList{QStringLiteral("データが選択されていません")});
        QCOMPARE(plain(form, "ToText"), QString());
    }

    void bulkModeStates()
    {
        QPointer<WriteForm> form = openForm();
        auto *to = child<QPlainTextEdit>(form, "ToText");
        auto *list = child<QListView>(form, "List1");
        auto *on = child<QRadioButton>(form, "Option2");
        auto *off = child<QRadioButton>(form, "Option1");
        to->setPlainText(QStringLiteral("typed@example.jp"));

        bulkOn(form);
        QCOMPARE(m_prompts->shown.last().title, QStringLiteral("確認"));
        // A second click on the selected option asks nothing and keeps bulk mode.
        const qsizetype asked = m_prompts->shown.size();
        on->click();
        QVERIFY(on->isChecked());
        QCOMPARE(m_prompts->shown.size(), asked);
        QVERIFY(!to->isEnabled());
        QCOMPARE(to->toPlainText(), QString());
        QCOMPARE(to->palette().color(QPalette::Base), QColor(213, 239, 255));
        QCOMPARE(list->palette().color(QPalette::Base), QColor(0, 128, 0));

        off->click();
        QVERIFY(to->isEnabled());
        QVERIFY(!on->isChecked());
        QCOMPARE(list->palette().color(QPalette::Base), QColor(Qt::white));

        m_prompts->yesNoAnswers.enqueue(false);
        on->click();
        QVERIFY(!on->isChecked());
        QVERIFY(!off->isChecked() || off->isChecked() == false);
        QVERIFY(!to->isEnabled());
        QCOMPARE(to->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(list->palette().color(QPalette::Base), QColor(Qt::white));
        off->click();
        QVERIFY(to->isEnabled());
    }

    void widthToggleThreeClicks()
    {
        WriteForm::resetWidthToggleClicks();
        QPointer<WriteForm> form = openForm();
        QCOMPARE(form->frameGeometry().width(), 9510 / 15);
        auto *button = child<QPushButton>(form, "Command6");
        const QList<QPair<int, QString>> expected = {{6840, QStringLiteral("　　サイズ大")},
                                                     {9510, QStringLiteral("　　サイズ小")},
                                                     {6840, QStringLiteral("　　サイズ大")}};
        for (const auto &[twips, caption] : expected) {
            button->click();
            QCOMPARE(form->frameGeometry().width(), twips / 15);
            QCOMPARE(button->text(), caption);
        }
        form->close();
        // The count survives the window: the next window's first click widens.
        QPointer<WriteForm> next = openForm();
        child<QPushButton>(next, "Command6")->click();
        QCOMPARE(next->frameGeometry().width(), 9510 / 15);
    }

    void pasteButtonsTrimAtTheCaret()
    {
        QPointer<WriteForm> form = openForm();
        m_prompts->clipboard = QStringLiteral("  jiro@example.jp  ");
        auto *to = child<QPlainTextEdit>(form, "ToText");
        to->setPlainText(QStringLiteral("[]"));
        QTextCursor c = to->textCursor();
        c.setPosition(1);
        to->setTextCursor(c);
        child<QPushButton>(form, "Command7")->click();
        QCOMPARE(to->toPlainText(), QStringLiteral("[jiro@example.jp]"));

        m_prompts->clipboard = QStringLiteral(" 貼り付け ");
        form->bodyBox()->setPlainText(QStringLiteral("前後"));
        QTextCursor b = form->bodyBox()->textCursor();
        b.setPosition(1);
        form->bodyBox()->setTextCursor(b);
        child<QPushButton>(form, "Command5")->click();
        QCOMPARE(form->bodyBox()->toPlainText(), QStringLiteral("前貼り付け後"));

        m_prompts->clipboard.clear();
        b.setPosition(0);
        b.setPosition(1, QTextCursor::KeepAnchor);
        form->bodyBox()->setTextCursor(b);
        child<QPushButton>(form, "Command5")->click();
        QCOMPARE(form->bodyBox()->toPlainText(), QStringLiteral("貼り付け後"));
    }

    // The composer opens with the cursor in "宛先", which holds one line:
    // Return neither sends nor breaks the line, and pasted line breaks are left out.
    void recipientTakesTheFirstKeysAndHoldsOneLine()
    {
        QPointer<WriteForm> form = openForm();
        QVERIFY(QTest::qWaitForWindowActive(form));
        auto *to = child<QPlainTextEdit>(form, "ToText");
        QCOMPARE(QApplication::focusWidget(), to);
        QTest::keyClicks(to, QStringLiteral("a@example.jp"));
        QTest::keyClick(to, Qt::Key_Return);
        QTest::keyClick(to, Qt::Key_Enter);
        QCOMPARE(to->toPlainText(), QStringLiteral("a@example.jp"));
        QVERIFY(form && receivedNow().isEmpty());

        to->clear();
        QApplication::clipboard()->setText(QStringLiteral("b@example.jp\r\n"));
        QTest::keyClick(to, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(to->toPlainText(), QStringLiteral("b@example.jp"));
        to->clear();
        m_prompts->clipboard = QStringLiteral(" c@example.jp\n");
        child<QPushButton>(form, "Command7")->click();
        QCOMPARE(to->toPlainText(), QStringLiteral("c@example.jp"));
    }

    void typingIsLimitedToSixtyCharacters()
    {
        QPointer<WriteForm> form = openForm();
        auto *to = child<QPlainTextEdit>(form, "ToText");
        to->setFocus();
        QTest::keyClicks(to, QString(65, u'a'));
        QCOMPARE(to->toPlainText().size(), 60);
    }

    void resetClearsTheMail()
    {
        m_prompts->fileAnswers << QStringLiteral("/tmp/a");
        QPointer<WriteForm> form = openForm();
        type(form, QStringLiteral("a@example.jp"), QStringLiteral("s"), QStringLiteral("b"));
        child<QPushButton>(form, "AttachCommand")->click();
        child<QCheckBox>(form, "Check1")->setChecked(true);
        bulkOn(form);
        child<QComboBox>(form, "Combo1")->setCurrentIndex(2);
        child<QPushButton>(form, "Command11")->click();
        QCOMPARE(plain(form, "ToText"), QString());
        QCOMPARE(child<QLineEdit>(form, "SubjectText")->text(), QString());
        QCOMPARE(form->bodyBox()->toPlainText(), QString());
        QVERIFY(!form->bulkMode());
        QCOMPARE(child<QLineEdit>(form, "AttachText")->text(), QString());
        QVERIFY(child<QPushButton>(form, "AttachCommand")->isEnabled());
        QVERIFY(!child<QPushButton>(form, "Command9")->isEnabled());
        QVERIFY(!child<QPushButton>(form, "Command10")->isEnabled());
        QVERIFY(!child<QCheckBox>(form, "Check1")->isChecked());
        // The reset leaves the recipient box as disabled as bulk mode left it.
        QVERIFY(!child<QPlainTextEdit>(form, "ToText")->isEnabled());
        QCOMPARE(child<QComboBox>(form, "Combo1")->currentIndex(), 2);
    }

    // --- greetings and fortune -------------------------------------------------

    // Leaving "首記例" puts a chosen greeting at the head of the body, as one
    // step undo takes back; leaving it with nothing chosen changes nothing.
    void greetingGoesBeforeTheBody_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("expected");
        QTest::newRow("greeting 4") << 3 << QStringLiteral("いつもお世話になっております。\n前の本文");
        QTest::newRow("empty box") << -1 << QStringLiteral("前の本文");
    }
    void greetingGoesBeforeTheBody()
    {
        QFETCH(int, index);
        QFETCH(QString, expected);
        QPointer<WriteForm> form = openForm();
        QApplication::setActiveWindow(form);
        QVERIFY(QTest::qWaitForWindowActive(form));
        form->bodyBox()->setPlainText(QStringLiteral("前の本文"));
        auto *combo = child<QComboBox>(form, "Combo1");
        combo->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(combo->hasFocus());
        combo->setCurrentIndex(index);
        QTest::mouseClick(form->bodyBox()->viewport(), Qt::LeftButton);
        QTRY_VERIFY(form->bodyBox()->hasFocus());
        QCOMPARE(form->bodyBox()->toPlainText(), expected);
        // Passing through the box again adds nothing more.
        combo->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(combo->hasFocus());
        form->bodyBox()->setFocus(Qt::TabFocusReason);
        QCOMPARE(form->bodyBox()->toPlainText(), expected);
        form->bodyBox()->undo();
        QCOMPARE(form->bodyBox()->toPlainText(), QStringLiteral("前の本文"));
    }

    void fortuneDrawBoundaries_data()
    {
        QTest::addColumn<double>("r");
        QTest::addColumn<int>("k");
        QTest::newRow("0") << 0.0 << 1;
        QTest::newRow("just below 1/12") << (1.0 / 12 - 1e-12) << 1;
        QTest::newRow("1/12") << (1.0 / 12) << 2;
        QTest::newRow("half") << 0.5 << 7;
        QTest::newRow("just below 1") << 0.9999999 << 12;
        QTest::newRow("1 from a broken source") << 1.0 << 12;
    }
    void fortuneDrawBoundaries()
    {
        QFETCH(double, r);
        QFETCH(int, k);
        m_random->push({r});
        QCOMPARE(compose::drawFortuneNumber(*m_random), k);
    }

    // Twelve equally likely fortunes: chi-square over 12,000 seeded draws,
    // 11 degrees of freedom, rejected above 31.26 (p = 0.001).
    void fortuneDistribution()
    {
        SeededRandom source(20261209);
        int counts[compose::FortuneCount] = {};
        constexpr int Draws = 12000;
        for (int i = 0; i < Draws; ++i)
            ++counts[compose::drawFortuneNumber(source) - 1];
        const double expected = double(Draws) / compose::FortuneCount;
        double chi = 0;
        for (int c : counts)
            chi += (c - expected) * (c - expected) / expected;
        QVERIFY2(chi < 31.26, qPrintable(QString::number(chi)));
        // 大吉 is three of the twelve: about one draw in four.
        const double great = double(counts[0] + counts[1] + counts[2]) / Draws;
        QVERIFY2(qAbs(great - 0.25) < 0.02, qPrintable(QString::number(great)));
        for (int k = 1; k <= 12; ++k)
            QVERIFY(!compose::fortuneText(k).isEmpty());
        QVERIFY(compose::fortuneText(1).startsWith(QStringLiteral("大吉：")));
        QVERIFY(compose::fortuneText(12).startsWith(QStringLiteral("凶：")));
    }
};

QTEST_MAIN(TestWriteForm)
#include "tst_WriteForm.moc"
