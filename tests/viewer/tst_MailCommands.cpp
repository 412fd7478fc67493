#include "addressbook/ui/FriendForm.h"
#include "app/ui/WindowHub.h"
#include "common/Cp932.h"
#include "compose/ui/BackForm.h"
#include "maillib/NMail.h"
#include "receive/MailRecord.h"
#include "receive/MailStore.h"
#include "settings/AccountSettings.h"
#include "support/ScriptedPrompts.h"
#include "support/SmtpSink.h"
#include "support/TempProgramFolder.h"
#include "viewer/ShownMailText.h"
#include "viewer/ui/TyakuForm.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>

#include <memory>

using testsupport::parsedHeader;
using testsupport::parsedPart;
using testsupport::ScriptedPrompts;
using testsupport::SmtpSink;
using testsupport::TempProgramFolder;

namespace {

struct StoredMail
{
    QString subject, from, date, body;
};

const StoredMail Mails[] = {
    {QStringLiteral("一通目の件名"), QStringLiteral("ichi@example.jp"), QStringLiteral("Mon, 1 Apr 2024 09:00:00 +0900"),
     QStringLiteral("一通目の本文")},
    {QStringLiteral("打ち合わせの日程"), QStringLiteral("yamada@example.jp"),
     QStringLiteral("Tue, 2 Apr 2024 10:30:00 +0900"), QStringLiteral("山田です。\r\n来週の打ち合わせは水曜でお願いします。")},
    {QStringLiteral("三通目"), QStringLiteral("san@example.jp"), QStringLiteral("Wed, 3 Apr 2024 11:00:00 +0900"),
     QStringLiteral("三通目の本文")},
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList quickSaveEntries(const TempProgramFolder &program)
{
    QStringList names = QDir(program.path() + QStringLiteral("/■TextQuickSave"))
                            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// The colour the button is painted in, a little inside its left border.
QColor buttonColour(QPushButton *button)
{
    const QImage image = button->grab().toImage();
    return image.pixelColor(5, image.height() / 2);
}

void moveOver(QWidget *widget)
{
    QTest::mouseMove(widget, widget->rect().center());
    QMouseEvent move(QEvent::MouseMove, QPointF(widget->rect().center()), widget->mapToGlobal(QPointF(widget->rect().center())),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

} // namespace

// Drives the viewer's mail commands by the names of its controls, over a
// store of three mails, with the reply window and a real SMTP server.
class TestMailCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempProgramFolder> m_program;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<QWidget> m_main;
    app::WindowHub *m_hub = nullptr;
    viewer::TyakuForm *m_viewer = nullptr;

    template<typename T>
    T *viewerControl(const char *name) const
    {
        T *w = m_viewer->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no viewer control %s", name);
        return w;
    }
    QPushButton *viewerButton(const char *name) const { return viewerControl<QPushButton>(name); }
    QLineEdit *viewerBox(const char *name) const { return viewerControl<QLineEdit>(name); }
    template<typename T>
    T *replyControl(const char *name) const
    {
        compose::BackForm *form = m_hub->loadedBackForm();
        T *w = form ? form->findChild<T *>(QString::fromLatin1(name)) : nullptr;
        if (!w)
            qFatal("no reply control %s", name);
        return w;
    }

    // Answers and records the prompts from here on, forgetting earlier ones.
    ScriptedPrompts &freshPrompts()
    {
        m_prompts.reset();
        m_prompts = std::make_unique<ScriptedPrompts>();
        return *m_prompts;
    }

    // A click on row n (from 1) of the list.
    void clickRow(int n)
    {
        auto *list = viewerControl<QTreeView>("MailListView");
        const QRect rect = list->visualRect(list->model()->index(n - 1, 0));
        QVERIFY(rect.isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(viewerBox("Text5")->text(), QStringLiteral("1"));
    }

private Q_SLOTS:
    void initTestCase() { maillib::NMailInitializeWinSock(); }
    void cleanupTestCase() { maillib::NMailEndWinSock(); }

    void init()
    {
        m_program = std::make_unique<TempProgramFolder>();
        freshPrompts();
        receive::MailStore store;
        QVERIFY(store.createIfMissing().ok());
        for (const StoredMail &mail : Mails)
            QVERIFY(store.appendMailRecord(mail.subject, mail.from, mail.date, mail.body).ok());
        m_main = std::make_unique<QWidget>();
        m_hub = new app::WindowHub(m_main.get());
        m_viewer = m_hub->showTyakuForm();
        m_viewer->FillMailList();
        QCOMPARE(viewerBox("Text2")->text(), QStringLiteral("3"));
    }
    void cleanup()
    {
        m_main.reset(); // takes the windows with it
        m_prompts.reset();
        m_program.reset();
    }

    // A reply to the second of three mails fills the reply window from the
    // viewer's boxes and arrives at the server as built.
    void replyToTheSecondMail()
    {
        SmtpSink sink;
        QVERIFY2(sink.isRunning(), qPrintable(sink.diagnostics()));
        settings::accountSettings().SmtpServer = QStringLiteral("127.0.0.1:%1").arg(sink.port());
        settings::accountSettings().MailAddress = QStringLiteral("me@example.jp");
        ScriptedPrompts &prompts = freshPrompts();
        clickRow(2);
        // The user may edit the boxes; blanks around them do not reach the reply.
        viewerBox("Text7")->setText(QStringLiteral("  打ち合わせの日程  "));
        viewerBox("Text8")->setText(QStringLiteral(" yamada@example.jp "));
        viewerButton("Command5")->click();

        QVERIFY(m_hub->loadedBackForm());
        QVERIFY(m_hub->loadedBackForm()->isVisible());
        QCOMPARE(replyControl<QLineEdit>("SubjectText")->text(), QStringLiteral("Re:  打ち合わせの日程"));
        QCOMPARE(replyControl<QLineEdit>("ToText")->text(), QStringLiteral("yamada@example.jp"));
        QCOMPARE(replyControl<QTextEdit>("BodyText")->toPlainText(),
                 QStringLiteral("山田です。\n来週の打ち合わせは水曜でお願いします。"));
        QVERIFY(viewerBox("Text5")->text().isEmpty());
        QVERIFY(prompts.shown.isEmpty());

        replyControl<QPushButton>("Command2")->click();
        const auto received = sink.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.first().envelope.value(QStringLiteral("rcpt_tos")).toArray().first().toString(),
                 QStringLiteral("yamada@example.jp"));
        const QJsonObject parsed = SmtpSink::parseWithPython(received.first().raw);
        QCOMPARE(parsedHeader(parsed, QStringLiteral("Subject")), QStringLiteral("Re:  打ち合わせの日程"));
        QCOMPARE(parsedPart(parsed, 0).value(QStringLiteral("text")).toString().trimmed(),
                 QStringLiteral("山田です。\r\n来週の打ち合わせは水曜でお願いします。"));
        QVERIFY(QTest::qWaitFor([&] { return m_hub->loadedBackForm() == nullptr; }, 5000));
    }

    // A long body (24,000 bytes) reaches the reply and the quick-save file
    // whole, however the viewer lays it out.
    void longBodyIsTakenWhole()
    {
        freshPrompts();
        QString body;
        for (int line = 1; line <= 1000; ++line)
            body += QStringLiteral("%1行目の本文です。\r\n").arg(line, 4, 10, QLatin1Char('0'));
        body.chop(2);
        receive::MailStore store;
        QVERIFY(store.appendMailRecord(QStringLiteral("長い本文"), QStringLiteral("long@example.jp"),
                                       QStringLiteral("Thu, 4 Apr 2024"), body)
                    .ok());
        m_viewer->FillMailList();
        clickRow(4);
        viewerButton("Command5")->click();
        QString shown = body;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(replyControl<QTextEdit>("BodyText")->toPlainText(), shown);

        clickRow(4);
        viewerButton("Command2")->click();
        const QByteArray saved = readAll(m_program->path() + QStringLiteral("/■TextQuickSave/長い本文.txt"));
        QVERIFY(saved.endsWith(common::toCp932(QStringLiteral("1000行目の本文です。\r\n"))));
        QCOMPARE(saved, common::toCp932(viewer::ComposeHeaderText(QStringLiteral("長い本文"), QStringLiteral("long@example.jp"),
                                                                  QStringLiteral("Thu, 4 Apr 2024"), body)
                                        + QStringLiteral("\r\n")));
    }

    // The reply window's "本文に貼付" takes the mail answered, even after
    // another mail was clicked, and puts it in at the cursor.
    void pasteBodyTakesTheAnsweredMail()
    {
        ScriptedPrompts &prompts = freshPrompts();
        clickRow(1);
        viewerButton("Command5")->click();
        auto *body = replyControl<QTextEdit>("BodyText");
        body->setPlainText(QStringLiteral("了解です。\n"));
        body->moveCursor(QTextCursor::End);
        clickRow(2);
        prompts.clipboard = QStringLiteral("引用：");
        replyControl<QPushButton>("Command4")->click();
        QCOMPARE(body->toPlainText(), QStringLiteral("了解です。\n引用：\n\n\n\n一通目の本文"));
    }

    // Every command that acts on one mail needs a fresh click.
    void commandsNeedAFreshClick_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("reply") << QStringLiteral("Command5");
        QTest::newRow("register") << QStringLiteral("Command4");
        QTest::newRow("quick save") << QStringLiteral("Command2");
    }
    void commandsNeedAFreshClick()
    {
        QFETCH(QString, button);
        ScriptedPrompts &prompts = freshPrompts();
        QSignalSpy replies(m_viewer, &viewer::TyakuForm::replyRequested);
        QSignalSpy registrations(m_viewer, &viewer::TyakuForm::registerSenderRequested);
        auto *command = viewerButton(button.toLatin1().constData());
        command->click(); // no click in the list yet
        QCOMPARE(prompts.informTexts(), QStringList{QStringLiteral("データが選択されていません")});

        clickRow(3);
        command->click();
        command->click(); // the second press after one click is refused
        QCOMPARE(prompts.informTexts().size(), 2);
        QCOMPARE(prompts.informTexts().at(1), QStringLiteral("データが選択されていません"));
        QCOMPARE(replies.size() + registrations.size() + quickSaveEntries(*m_program).size(), 1);
        if (button == QLatin1String("Command4"))
            QCOMPARE(registrations.first().first().toString(), QStringLiteral("san@example.jp"));
        if (button == QLatin1String("Command5")) {
            QCOMPARE(replyControl<QLineEdit>("SubjectText")->text(), QStringLiteral("Re:  三通目"));
        }
    }

    // Registration opens the address book with the sender text, unchanged,
    // in its address box; a second registration overwrites it.
    void registerOpensTheAddressBook()
    {
        freshPrompts();
        clickRow(2);
        viewerBox("Text8")->setText(QStringLiteral(" 山田 <yamada@example.jp> "));
        viewerButton("Command4")->click();
        addressbook::FriendForm *book = m_hub->loadedFriendForm();
        QVERIFY(book);
        QVERIFY(book->isVisible());
        auto *address = book->findChild<QLineEdit *>(QStringLiteral("Text4"));
        QVERIFY(address);
        QCOMPARE(address->text(), QStringLiteral(" 山田 <yamada@example.jp> "));
        QVERIFY(viewerBox("Text5")->text().isEmpty());

        clickRow(3);
        viewerButton("Command4")->click();
        QCOMPARE(m_hub->loadedFriendForm(), book);
        QCOMPARE(address->text(), QStringLiteral("san@example.jp"));
    }

    // A click on an empty list chooses no mail: the commands answer as
    // without a click, and the marker does not carry over to later mail.
    void emptyListChoosesNothing()
    {
        ScriptedPrompts &prompts = freshPrompts();
        receive::MailStore store;
        QVERIFY(store.DeleteAllMailRecords().ok());
        m_viewer->FillMailList();
        m_viewer->MailListView_Click();
        QCOMPARE(prompts.informTexts(), QStringList{QStringLiteral("選択するデータがありません。")});
        viewerButton("Command5")->click();
        QCOMPARE(prompts.informTexts().last(), QStringLiteral("データが選択されていません"));
        QVERIFY(!m_hub->loadedBackForm());

        QVERIFY(store.appendMailRecord(QStringLiteral("新着"), QStringLiteral("new@example.jp"), QStringLiteral("d"),
                                       QStringLiteral("b"))
                    .ok());
        m_viewer->FillMailList();
        viewerButton("Command2")->click();
        QCOMPARE(prompts.informTexts().size(), 3);
        QCOMPARE(prompts.informTexts().last(), QStringLiteral("データが選択されていません"));
        QVERIFY(quickSaveEntries(*m_program).isEmpty());
    }

    // A second reply while the window is open overwrites the texts and keeps
    // the attachments.
    void secondReplyKeepsAttachments()
    {
        ScriptedPrompts &prompts = freshPrompts();
        clickRow(1);
        viewerButton("Command5")->click();
        prompts.fileAnswers << m_program->dataFile(QStringLiteral("krxdata2.data"));
        replyControl<QPushButton>("AttachCommand")->click();
        clickRow(2);
        viewerButton("Command5")->click();
        QCOMPARE(replyControl<QLineEdit>("SubjectText")->text(), QStringLiteral("Re:  打ち合わせの日程"));
        QCOMPARE(replyControl<QLineEdit>("AttachText")->text(), m_program->dataFile(QStringLiteral("krxdata2.data")));
    }

    // The pointer over a header box puts its text into Text6 and colours the
    // copy button; over the list or the body the button turns grey and Text6
    // stays. The copy button puts Text6 on the clipboard.
    void headerCopy_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("subject") << QStringLiteral("Text7") << QStringLiteral("打ち合わせの日程") << QColor(255, 255, 0);
        QTest::newRow("sender") << QStringLiteral("Text8") << QStringLiteral("yamada@example.jp") << QColor(0, 0, 255);
        QTest::newRow("date") << QStringLiteral("Text9") << QStringLiteral("Tue, 2 Apr 2024 10:30:00 +0900")
                              << QColor(255, 255, 255);
    }
    void headerCopy()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        ScriptedPrompts &prompts = freshPrompts();
        prompts.clipboard = QStringLiteral("前の内容");
        clickRow(2);
        const QColor grey(128, 128, 128);
        QPushButton *copy = viewerButton("Command1");
        moveOver(viewerBox(box.toLatin1().constData()));
        QCOMPARE(viewerBox("Text6")->text(), text);
        QCOMPARE(buttonColour(copy), colour);

        moveOver(viewerControl<QTreeView>("MailListView")->viewport());
        QCOMPARE(buttonColour(copy), grey);
        QCOMPARE(viewerBox("Text6")->text(), text);
        moveOver(viewerControl<QTextEdit>("rtfEd")->viewport());
        QCOMPARE(buttonColour(copy), grey);

        copy->click();
        QCOMPARE(prompts.clipboard, text);
        QVERIFY(viewerBox("Text5")->text() == QLatin1String("1")); // the copy needs no marker and uses none
    }

    void emptyHeaderCopyEmptiesTheClipboard()
    {
        ScriptedPrompts &prompts = freshPrompts();
        prompts.clipboard = QStringLiteral("前の内容");
        viewerBox("Text9")->clear();
        moveOver(viewerBox("Text9"));
        viewerButton("Command1")->click();
        QCOMPARE(prompts.clipboard, QString());
    }

    // Quick save writes the four CP932 lines, then shows them in the body
    // pane; a second save of the same mail asks, and "no" leaves everything.
    void quickSaveWritesAsksAndReplaces()
    {
        ScriptedPrompts &prompts = freshPrompts();
        const QString path = m_program->path() + QStringLiteral("/■TextQuickSave/打ち合わせの日程.txt");
        const StoredMail &mail = Mails[1];
        const QString composed = viewer::ComposeHeaderText(mail.subject, mail.from, mail.date, mail.body);
        clickRow(2);
        viewerButton("Command2")->click();
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(readAll(path), common::toCp932(composed + QStringLiteral("\r\n")));
        QCOMPARE(m_viewer->bodyText(), composed);

        // Again, declined: the file and the freshly shown body stay.
        clickRow(2);
        viewerBox("Text9")->setText(QStringLiteral("変更した日付"));
        viewerButton("Command2")->click();
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown.at(0).text, QStringLiteral("同名のファイルが既に存在します。上書きしますか？ "));
        QCOMPARE(readAll(path), common::toCp932(composed + QStringLiteral("\r\n")));
        QCOMPARE(m_viewer->bodyText(), mail.body);

        // Again, accepted: the file is replaced with the boxes as they are now.
        clickRow(2);
        viewerBox("Text9")->setText(QStringLiteral("変更した日付"));
        prompts.yesNoAnswers << true;
        viewerButton("Command2")->click();
        QCOMPARE(prompts.shown.size(), 2);
        const QString replaced = viewer::ComposeHeaderText(mail.subject, mail.from, QStringLiteral("変更した日付"), mail.body);
        QCOMPARE(readAll(path), common::toCp932(replaced + QStringLiteral("\r\n")));
        QCOMPARE(m_viewer->bodyText(), replaced);
        QCOMPARE(quickSaveEntries(*m_program), QStringList{QStringLiteral("打ち合わせの日程.txt")});
    }

    // Subjects that would be unsafe as file names give one safe file inside
    // the folder; a name that exists is never replaced without the question.
    void quickSaveOfHostileSubjects_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("file");
        QTest::newRow("slash") << QStringLiteral("見積/請求") << QStringLiteral("見積／請求.txt");
        QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("...txt");
        QTest::newRow("star") << QStringLiteral("*") << QStringLiteral("*.txt");
        QTest::newRow("question") << QStringLiteral("?") << QStringLiteral("?.txt");
        QTest::newRow("empty") << QString() << QStringLiteral(".txt");
        QTest::newRow("300 bytes") << QString(100, QChar(u'議')) << QString(83, QChar(u'議')) + QStringLiteral(".txt");
    }
    void quickSaveOfHostileSubjects()
    {
        QFETCH(QString, subject);
        QFETCH(QString, file);
        ScriptedPrompts &prompts = freshPrompts();
        // Files a pattern would match, which an exact test must leave alone.
        const QString folder = m_program->path() + QStringLiteral("/■TextQuickSave/");
        for (const QString &other : {QStringLiteral("a.txt"), QStringLiteral("x.txt")}) {
            QFile f(folder + other);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep");
        }
        clickRow(1);
        viewerBox("Text7")->setText(subject);
        viewerButton("Command2")->click();
        QVERIFY(prompts.shown.isEmpty());
        QStringList expected{file, QStringLiteral("a.txt"), QStringLiteral("x.txt")};
        expected.sort();
        QCOMPARE(quickSaveEntries(*m_program), expected);
        QVERIFY(readAll(folder + file).startsWith(common::toCp932(QStringLiteral("Subject:  ") + subject + QStringLiteral("\r\n"))));
        QCOMPARE(readAll(folder + QStringLiteral("a.txt")), QByteArray("keep"));

        // The same subject again asks first.
        clickRow(1);
        viewerBox("Text7")->setText(subject);
        viewerButton("Command2")->click();
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown.at(0).kind, QStringLiteral("ask"));
    }

    // A folder that cannot hold the file: the body pane and the file stay,
    // and the user is told in Japanese.
    void quickSaveFailureKeepsTheBody()
    {
        ScriptedPrompts &prompts = freshPrompts();
        QVERIFY(QDir().mkpath(m_program->path() + QStringLiteral("/■TextQuickSave/三通目.txt/x")));
        clickRow(3);
        prompts.yesNoAnswers << true;
        viewerButton("Command2")->click();
        QCOMPARE(prompts.informTexts().size(), 1);
        QVERIFY(prompts.informTexts().at(0).contains(QStringLiteral("保存できませんでした")));
        QCOMPARE(m_viewer->bodyText(), Mails[2].body);
    }
};

QTEST_MAIN(TestMailCommands)
#include "tst_MailCommands.moc"
