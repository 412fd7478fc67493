#include "app/ui/WindowHub.h"
#include "compose/ui/BackForm.h"
#include "maillib/NMail.h"
#include "receive/MailCheckState.h"
#include "settings/AccountSettings.h"
#include "support/ScriptedPrompts.h"
#include "support/SmtpSink.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

using testsupport::parsedHeader;
using testsupport::parsedPart;
using testsupport::ScriptedPrompts;
using testsupport::SmtpSink;

namespace {

QString listed(const QListWidget *list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names.join(QLatin1Char('|'));
}

} // namespace

// Drives the reply window by the names of its controls, with a real SMTP
// server receiving what it sends.
class TestBackForm : public QObject
{
    Q_OBJECT

    QWidget *m_main = nullptr;
    app::WindowHub *m_hub = nullptr;
    QTemporaryDir m_files;

    compose::BackForm *form() const { return m_hub->loadedBackForm(); }
    template<typename T>
    T *control(const char *name) const
    {
        T *w = form() ? form()->findChild<T *>(QString::fromLatin1(name)) : nullptr;
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QPushButton *button(const char *name) const { return control<QPushButton>(name); }
    QLineEdit *box(const char *name) const { return control<QLineEdit>(name); }
    QTextEdit *body() const { return control<QTextEdit>("BodyText"); }
    QListWidget *list2() const { return control<QListWidget>("List2"); }

    QString makeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_files.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write test file");
        f.write(bytes);
        return path;
    }

    void pointAccountAt(const SmtpSink &sink)
    {
        settings::accountSettings().SmtpServer = QStringLiteral("127.0.0.1:%1").arg(sink.port());
        settings::accountSettings().MailAddress = QStringLiteral("me@example.jp");
    }

    // The hub's window goes away when it is closed.
    bool closedSoon() { return QTest::qWaitFor([&] { return form() == nullptr; }, 5000); }

private Q_SLOTS:
    void initTestCase()
    {
        maillib::NMailInitializeWinSock();
        m_main = new QWidget;
        m_hub = new app::WindowHub(m_main);
    }
    void cleanupTestCase()
    {
        delete m_main;
        maillib::NMailEndWinSock();
    }
    void cleanup()
    {
        if (form()) {
            form()->close();
            QVERIFY(closedSoon());
        }
    }

    void opensWithItsCaptionsAndFreshState()
    {
        compose::BackForm *w = m_hub->showBackForm();
        QCOMPARE(m_hub->showBackForm(), w); // one window
        QCOMPARE(w->windowTitle(), QStringLiteral("返事を書く"));
        QCOMPARE(button("Command2")->text(), QStringLiteral("    送信"));
        QCOMPARE(button("Command3")->text(), QStringLiteral("     送信中止"));
        QCOMPARE(button("Command4")->text(), QStringLiteral("     本文に貼付"));
        QCOMPARE(button("AttachCommand")->text(), QStringLiteral("添付"));
        QCOMPARE(button("Command9")->text(), QStringLiteral("追加"));
        QCOMPARE(button("Command10")->text(), QStringLiteral("取り消し"));
        QVERIFY(list2()->isHidden());
        for (const char *name : {"AttachCommand", "Command9", "Command10"})
            QVERIFY2(button(name)->isEnabled(), name);
        // Every control a user operates can be named by assistive tools.
        for (QWidget *c : w->findChildren<QWidget *>()) {
            if (qobject_cast<QPushButton *>(c) || qobject_cast<QLineEdit *>(c) || qobject_cast<QTextEdit *>(c)
                || qobject_cast<QListWidget *>(c))
                QVERIFY2(!c->accessibleName().trimmed().isEmpty(), qPrintable(c->objectName()));
        }
    }

    // Sizes follow the window's size in twips (15 per pixel).
    void resizeFollowsTheTable()
    {
        compose::BackForm *w = m_hub->showBackForm();
        w->resize(800, 600);
        w->Form_Resize();
        // The rules take the outer size, frame included.
        const double W = w->frameGeometry().width() * 15.0;
        const double H = w->frameGeometry().height() * 15.0;
        auto px = [](double twips) { return qRound(twips / 15.0); };
        QVERIFY(W >= 12000 && H >= 9000);
        QCOMPARE(body()->width(), px(0.99 * W));
        QCOMPARE(body()->height(), px(0.74 * H));
        QCOMPARE(box("ToText")->width(), px(0.7 * W));
        QCOMPARE(box("SubjectText")->width(), px(0.7 * W));
        QCOMPARE(box("AttachText")->width(), px(0.4 * W));
        QCOMPARE(button("AttachCommand")->x(), px(0.4 * W + 1240));
        QCOMPARE(button("Command9")->x(), px(0.4 * W + 2060));
        QCOMPARE(button("Command10")->x(), px(0.4 * W + 2940));
        // Nothing runs off the right edge or under another control.
        QVERIFY(button("Command10")->geometry().right() < w->width());
        QVERIFY(body()->geometry().bottom() < w->height());
        QVERIFY(!body()->geometry().intersects(box("AttachText")->geometry()));
    }

    void attachmentButtonsMoveThroughTheirStates()
    {
        ScriptedPrompts prompts;
        m_hub->showBackForm();
        const QString a = makeFile(QStringLiteral("a.txt"), "a");
        const QString b = makeFile(QStringLiteral("資料 b.pdf"), "b");

        // "追加" with nothing attached only shows the empty list.
        button("Command9")->click();
        QVERIFY(list2()->isVisible());
        QCOMPARE(list2()->count(), 0);
        QVERIFY(prompts.shown.isEmpty());

        // A cancelled "添付" attaches nothing but disables itself.
        button("AttachCommand")->click();
        QCOMPARE(box("AttachText")->text(), QString());
        QVERIFY(!button("AttachCommand")->isEnabled());
        QVERIFY(button("Command9")->isEnabled());

        // "取り消し" enables "添付" again; then two files make the list.
        button("Command10")->click();
        QVERIFY(button("AttachCommand")->isEnabled());
        QVERIFY(!button("Command9")->isEnabled());
        QVERIFY(!button("Command10")->isEnabled());
        QVERIFY(list2()->isHidden());
        prompts.fileAnswers << a << b;
        button("AttachCommand")->click();
        QVERIFY(button("Command9")->isEnabled());
        button("Command9")->click();
        QCOMPARE(box("AttachText")->text(), a + QLatin1Char(',') + b);
        QCOMPARE(listed(list2()), QStringLiteral("a.txt|資料 b.pdf"));
        QVERIFY(list2()->isVisible());
        QCOMPARE(prompts.shown.size(), 3); // three dialogs, no message
    }

    // "本文に貼付": the clipboard text, three CR LF and one CR, then the
    // answered body go in at the cursor, blanks trimmed at both ends; what was
    // typed stays, undo takes the paste back, and the clipboard keeps the body.
    void pasteBody_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty clipboard, empty body") << QString() << QString() << 0
                                                     << QStringLiteral("\n\n\n\n受信した本文\n二行目");
        QTest::newRow("with text, at the end") << QStringLiteral("  了解しました。") << QStringLiteral("書きかけ\n") << 5
                                               << QStringLiteral("書きかけ\n了解しました。\n\n\n\n受信した本文\n二行目");
        QTest::newRow("in the middle") << QStringLiteral("引用") << QStringLiteral("前後") << 1
                                       << QStringLiteral("前引用\n\n\n\n受信した本文\n二行目後");
    }
    void pasteBody()
    {
        QFETCH(QString, clipboard);
        QFETCH(QString, typed);
        QFETCH(int, cursor);
        QFETCH(QString, expected);
        ScriptedPrompts prompts;
        prompts.clipboard = clipboard;
        m_hub->showBackForm()->startReply(QStringLiteral("Re:  件"), QStringLiteral("a@example.jp"), QString(),
                                          QStringLiteral("   受信した本文\r\n二行目   "));
        body()->setPlainText(typed);
        QTextCursor at(body()->document());
        at.setPosition(cursor);
        body()->setTextCursor(at);
        button("Command4")->click();
        QCOMPARE(body()->toPlainText(), expected);
        QCOMPARE(common::prompts().clipboardText(), expected);
        body()->undo();
        QCOMPARE(body()->toPlainText(), typed);
    }

    // A reply is sent with the account's server and address; success closes
    // the window.
    void sendsTheReply_data()
    {
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<QString>("envelope");
        QTest::newRow("bare address") << QStringLiteral("yamada@example.jp") << QStringLiteral("yamada@example.jp");
        // A received sender usually carries a display name.
        QTest::newRow("display name") << QStringLiteral("山田 太郎 <yamada@example.jp>")
                                      << QStringLiteral("yamada@example.jp");
    }
    void sendsTheReply()
    {
        QFETCH(QString, recipient);
        QFETCH(QString, envelope);
        SmtpSink sink;
        QVERIFY2(sink.isRunning(), qPrintable(sink.diagnostics()));
        pointAccountAt(sink);
        ScriptedPrompts prompts;
        m_hub->showBackForm()->startReply(QStringLiteral("Re:  会議の件"), recipient,
                                          QStringLiteral("承知しました。\r\n山田"));
        button("Command2")->click();
        const auto received = sink.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.first().envelope.value(QStringLiteral("rcpt_tos")).toArray().first().toString(), envelope);
        QCOMPARE(received.first().envelope.value(QStringLiteral("mail_from")).toString(), QStringLiteral("me@example.jp"));
        const QJsonObject parsed = SmtpSink::parseWithPython(received.first().raw);
        QCOMPARE(parsedHeader(parsed, QStringLiteral("Subject")), QStringLiteral("Re:  会議の件"));
        // The parser keeps the CR LF line ends of the message.
        QCOMPARE(parsedPart(parsed, 0).value(QStringLiteral("text")).toString().trimmed(),
                 QStringLiteral("承知しました。\r\n山田"));
        QVERIFY(prompts.shown.isEmpty());
        QVERIFY(closedSoon());
    }

    void sendsTwoAttachments()
    {
        SmtpSink sink;
        QVERIFY2(sink.isRunning(), qPrintable(sink.diagnostics()));
        pointAccountAt(sink);
        ScriptedPrompts prompts;
        const QString a = makeFile(QStringLiteral("見積書.txt"), "estimate\r\n");
        const QString b = makeFile(QStringLiteral("photo.bin"), QByteArray(3000, '\x7f'));
        m_hub->showBackForm()->startReply(QStringLiteral("Re:  資料"), QStringLiteral("sato@example.jp"),
                                          QStringLiteral("添付します"));
        prompts.fileAnswers << a << b;
        button("AttachCommand")->click();
        button("Command9")->click();
        button("Command2")->click();
        const auto received = sink.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        const QJsonObject parsed = SmtpSink::parseWithPython(received.first().raw);
        QCOMPARE(parsed.value(QStringLiteral("parts")).toArray().size(), 3);
        QCOMPARE(parsedPart(parsed, 1).value(QStringLiteral("filename")).toString(), QStringLiteral("見積書.txt"));
        QCOMPARE(parsedPart(parsed, 2).value(QStringLiteral("filename")).toString(), QStringLiteral("photo.bin"));
        QCOMPARE(parsedPart(parsed, 2).value(QStringLiteral("size")).toInt(), 3000);
        QVERIFY(closedSoon());
    }

    // A refused reply is not lost: after "送信エラー" the window keeps
    // recipient, subject, body and attachments, and a second send goes out.
    void failedReplyStaysOpen()
    {
        SmtpSink::Options options;
        options.rejectPrefix = QStringLiteral("bad");
        SmtpSink sink(options);
        QVERIFY2(sink.isRunning(), qPrintable(sink.diagnostics()));
        pointAccountAt(sink);
        ScriptedPrompts prompts;
        const QString a = makeFile(QStringLiteral("memo.txt"), "memo");
        m_hub->showBackForm()->startReply(QStringLiteral("Re:  大事な件"), QStringLiteral("bad@example.jp"),
                                          QStringLiteral("消えては困る本文"));
        prompts.fileAnswers << a;
        button("AttachCommand")->click();
        button("Command2")->click();

        QCOMPARE(prompts.shown.size(), 2);
        QCOMPARE(prompts.shown.at(1).kind, QStringLiteral("inform"));
        QCOMPARE(prompts.shown.at(1).title, QStringLiteral("送信エラー"));
        QVERIFY(!prompts.shown.at(1).text.isEmpty());
        QVERIFY(!prompts.shown.at(1).text.contains(QChar(u'\0')));
        QTest::qWait(50);
        QVERIFY(form());
        QCOMPARE(box("ToText")->text(), QStringLiteral("bad@example.jp"));
        QCOMPARE(box("SubjectText")->text(), QStringLiteral("Re:  大事な件"));
        QCOMPARE(body()->toPlainText(), QStringLiteral("消えては困る本文"));
        QCOMPARE(box("AttachText")->text(), a);
        QVERIFY(button("Command2")->isEnabled());
        QVERIFY(sink.messages().isEmpty());

        box("ToText")->setText(QStringLiteral("good@example.jp"));
        button("Command2")->click();
        QCOMPARE(sink.waitForMessages(1).size(), 1);
        QVERIFY(closedSoon());
    }

    // Keys pressed right after the window opens go into the body: "送信" has
    // neither the focus nor Return, even once it has the focus.
    void returnOnAFreshWindowSendsNothing()
    {
        SmtpSink sink;
        QVERIFY2(sink.isRunning(), qPrintable(sink.diagnostics()));
        pointAccountAt(sink);
        ScriptedPrompts prompts;
        compose::BackForm *w = m_hub->showBackForm();
        w->startReply(QStringLiteral("Re:  急ぎ"), QStringLiteral("a@example.jp"), QStringLiteral("元の本文"));
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(QApplication::focusWidget(), body());
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space})
            QTest::keyClick(QApplication::focusWidget(), key);
        button("Command2")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button("Command2"), Qt::Key_Return);
        QTest::qWait(100);
        QCOMPARE(sink.connectionCount(), 0);
        QVERIFY(form());
        QCOMPARE(body()->toPlainText(), QStringLiteral("\n\n 元の本文"));
    }

    // While a mail check runs, "送信" says so and keeps the reply.
    void noSendDuringMailCheck()
    {
        SmtpSink sink;
        QVERIFY2(sink.isRunning(), qPrintable(sink.diagnostics()));
        pointAccountAt(sink);
        ScriptedPrompts prompts;
        m_hub->showBackForm()->startReply(QStringLiteral("Re:  待って"), QStringLiteral("w@example.jp"),
                                          QStringLiteral("本文"));
        receive::setMailCheckRunning(true);
        button("Command2")->click();
        receive::setMailCheckRunning(false);
        QCOMPARE(prompts.informTexts().size(), 1);
        QVERIFY(prompts.informTexts().at(0).contains(QStringLiteral("受信中")));
        QCOMPARE(sink.connectionCount(), 0);
        QTest::qWait(50);
        QVERIFY(form());
        QCOMPARE(body()->toPlainText(), QStringLiteral("本文"));
        button("Command2")->click();
        QCOMPARE(sink.waitForMessages(1).size(), 1);
        QVERIFY(closedSoon());
    }

    // A reply started while the window is open overwrites the three texts
    // and keeps the attachments; after closing, the next reply starts fresh.
    void replyWhileOpenKeepsAttachments()
    {
        ScriptedPrompts prompts;
        const QString a = makeFile(QStringLiteral("keep.txt"), "k");
        m_hub->showBackForm()->startReply(QStringLiteral("Re:  一通目"), QStringLiteral("one@example.jp"),
                                          QStringLiteral("一"));
        prompts.fileAnswers << a;
        button("AttachCommand")->click();
        m_hub->showBackForm()->startReply(QStringLiteral("Re:  二通目"), QStringLiteral("two@example.jp"),
                                          QStringLiteral("二"));
        QCOMPARE(box("SubjectText")->text(), QStringLiteral("Re:  二通目"));
        QCOMPARE(box("ToText")->text(), QStringLiteral("two@example.jp"));
        QCOMPARE(body()->toPlainText(), QStringLiteral("二"));
        QCOMPARE(box("AttachText")->text(), a);
        QCOMPARE(listed(list2()), QStringLiteral("keep.txt"));

        // "送信中止" closes without sending, emptying the body as it goes.
        QTextEdit *bodyBox = body();
        button("Command3")->click();
        QCOMPARE(bodyBox->toPlainText(), QString());
        QVERIFY(closedSoon());
        m_hub->showBackForm()->startReply(QStringLiteral("Re:  三通目"), QStringLiteral("x@example.jp"), QString());
        QCOMPARE(box("AttachText")->text(), QString());
        QCOMPARE(list2()->count(), 0);
        QVERIFY(button("AttachCommand")->isEnabled());
    }
};

QTEST_MAIN(TestBackForm)
#include "tst_BackForm.moc"
