#include "app/ui/MainForm.h"
#include "app/ui/WindowHub.h"
#include "common/Cp932.h"
#include "common/ProgramFolder.h"
#include "common/ui/HeaderColouring.h"
#include "editor/EditorState.h"
#include "habitat/Habitat.h"
#include "habitat/LitterTick.h"
#include "maillib/NMail.h"
#include "receive/MailStore.h"
#include "settings/AccountSettings.h"
#include "viewer/MailListModel.h"
#include "viewer/ShownMailText.h"
#include "viewer/ui/TyakuForm.h"
#include "support/FakePop3Server.h"
#include "support/FaultyRecordFileSystem.h"
#include "support/ScriptedPrompts.h"
#include "support/ScriptedRandom.h"
#include "support/TempProgramFolder.h"
#include "support/WindowDriving.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <memory>

using testsupport::FaultyRecordFileSystem;
using viewer::TyakuForm;

namespace {

const QString StoreName = QString::fromLatin1(receive::MailStore::StoreFileName);
const QString TempName = QString::fromLatin1(receive::MailStore::TempFileName);
const QString NotSelected = QStringLiteral("データが選択されていません");
const QString DeleteOneQuestion = QStringLiteral("選択された（行、青色）データを削除します。よろしいですか");
const QString DeleteAllQuestion = QStringLiteral("すべてのデータを削除して良いですか？");

using testsupport::control;
using testsupport::flushDeletes;
using testsupport::hover;

struct Mail
{
    QString subject, from, date, body;
};

QList<Mail> numberedMails(int count)
{
    QList<Mail> mails;
    for (int i = 1; i <= count; ++i)
        mails.append({QStringLiteral("件名%1").arg(i), QStringLiteral("sender%1@example.jp").arg(i),
                      QStringLiteral("2026/12/0%1 10:00").arg(i),
                      QStringLiteral("本文%1 の一行目\r\n二行目").arg(i)});
    return mails;
}

// A program folder with a store, scripted prompts and a viewer whose host
// records what it tells the main window.
struct Fixture
{
    testsupport::TempProgramFolder folder;
    QTemporaryDir workingDir;
    QString oldCwd = QDir::currentPath();
    testsupport::ScriptedPrompts prompts;
    bool helpTicked = true;
    QString storedCount = QStringLiteral("untouched");
    QString mainHelp = QStringLiteral("untouched");
    QPointer<TyakuForm> form;
    std::unique_ptr<testsupport::ScriptedRandom> random;
    std::unique_ptr<habitat::Habitat> scene;
    std::unique_ptr<app::MainForm> main;

    Fixture()
    {
        QDir::setCurrent(workingDir.path());
        viewer::editorState() = viewer::EditorState();
        habitat::litterTick().resume();
    }
    ~Fixture()
    {
        delete form;
        main.reset();
        flushDeletes();
        viewer::editorState() = viewer::EditorState();
        habitat::litterTick().resume();
        QDir::setCurrent(oldCwd);
    }

    void store(const QList<Mail> &mails)
    {
        receive::MailStore store;
        for (const Mail &m : mails)
            QVERIFY(store.appendMailRecord(m.subject, m.from, m.date, m.body));
    }

    TyakuForm &load()
    {
        viewer::TyakuHost host;
        host.helpDisplayTicked = [this] { return helpTicked; };
        host.showStoredCount = [this](const QString &count) { storedCount = count; };
        host.setMainHelpText = [this](const QString &text) { mainHelp = text; };
        form = new TyakuForm(host);
        return *form;
    }
    // The main window over this program folder, loaded and shown; mailLayer
    // starts the mail layer for a check.
    app::MainForm &mainWindow(bool mailLayer = false)
    {
        random = std::make_unique<testsupport::ScriptedRandom>(0.5);
        scene = std::make_unique<habitat::Habitat>();
        main = std::make_unique<app::MainForm>(*scene);
        app::MainFormServices services;
        services.startMailLayer = [mailLayer] { if (mailLayer) maillib::NMailInitializeWinSock(); };
        services.stopMailLayer = [mailLayer] { if (mailLayer) maillib::NMailEndWinSock(); };
        services.endProcess = [] {};
        main->setServices(services);
        main->Form_Load();
        main->show();
        return *main;
    }
    // Loaded, shown and filled, as the main window's Command6_Click opens it.
    TyakuForm &open()
    {
        load();
        form->show();
        form->FillMailList();
        return *form;
    }

    QTreeView *list() const { return form->mailList(); }
    int rows() const { return form->mailListModel()->rowCount(); }
    QStringList subjectsListed() const
    {
        QStringList out;
        for (int r = 0; r < rows(); ++r)
            out << form->mailListModel()->cellText(r, 0).trimmed();
        return out;
    }
    QStringList boxes() const { return {form->subjectText(), form->senderText(), form->dateText()}; }
    void clickRow(int row)
    {
        const QRect at = list()->visualRect(form->mailListModel()->index(row, 0));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, at.center());
    }
    QByteArray storeBytes() const { return folder.readDataFile(StoreName); }
    QStringList storedSubjects() const
    {
        receive::MailStore store;
        QStringList out;
        for (int n = 1; store.GetMailRecord(n) == common::RecordRead::Read; ++n)
            out << receive::CurrentMailRecord.subject.trimmed() + (receive::CurrentMailRecord.live == 1 ? QString() : QStringLiteral("(dead)"));
        return out;
    }
    QAction *action(const char *name) const { return control<QAction>(form.data(), QString::fromLatin1(name)); }
};

} // namespace

class TestTyakuForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QApplication::setEffectEnabled(Qt::UI_AnimateMenu, false); }

    // Opening and filling.

    void openingAnEmptyStore()
    {
        Fixture f;
        TyakuForm &form = f.open();
        QCOMPARE(form.windowTitle(), QStringLiteral("着信履歴"));
        QCOMPARE(f.rows(), 0);
        QCOMPARE(form.countBox()->text(), QStringLiteral("0"));
        QCOMPARE(f.storedCount, QStringLiteral("0"));
        QCOMPARE(f.boxes(), (QStringList{QString(), QString(), QString()}));
        QCOMPARE(form.bodyText(), QString());
        QVERIFY(!form.selectionMarked());
    }

    void openingThreeMailsShowsTheLast()
    {
        Fixture f;
        f.store({{QStringLiteral(" 一通目 "), QStringLiteral("a@example.jp"), QStringLiteral("d1"), QStringLiteral("本文1")},
                 {QStringLiteral("二通目"), QStringLiteral("b@example.jp"), QStringLiteral("d2"), QStringLiteral("本文2")},
                 {QStringLiteral("三通目"), QStringLiteral("c@example.jp"), QStringLiteral("d3"),
                  QStringLiteral("本文3\r\n　全角の字下げ")}});
        f.prompts.clipboard = QStringLiteral("前からあった");
        TyakuForm &form = f.open();
        QCOMPARE(f.subjectsListed(), (QStringList{"一通目", "二通目", "三通目"}));
        QCOMPARE(form.countBox()->text(), QStringLiteral("3"));
        QCOMPARE(f.storedCount, QStringLiteral("3"));
        QCOMPARE(f.boxes(), (QStringList{"三通目", "c@example.jp", "d3"}));
        QCOMPARE(form.bodyText(), QStringLiteral("本文3\r\n　全角の字下げ"));
        QCOMPARE(f.prompts.clipboard, QStringLiteral("本文3\r\n　全角の字下げ"));
        // One round trip per fill, on the last mail, not one per record.
        QCOMPARE(f.prompts.clipboardWrites, 1);
        form.FillMailList();
        QCOMPARE(f.prompts.clipboardWrites, 2);
        // Cells keep the field's blank padding; the list shows no tree.
        QCOMPARE(form.mailListModel()->cellText(0, 1).size(), receive::MailRecord::FromWidth);
        QVERIFY(!f.list()->rootIsDecorated());
        QVERIFY(!form.selectionMarked());
        // The body shown is the last record, which is also in the shared buffer.
        QCOMPARE(receive::CurrentMailRecord.subject.trimmed(), QStringLiteral("三通目"));
    }

    void refillKeepsTheMarkerAndShowsTheNewLast()
    {
        Fixture f;
        f.store(numberedMails(2));
        TyakuForm &form = f.open();
        f.clickRow(0);
        QVERIFY(form.selectionMarked());
        f.store({{QStringLiteral("新着"), QStringLiteral("n@example.jp"), QStringLiteral("d"), QStringLiteral("新しい本文")}});
        form.FillMailList();
        QCOMPARE(f.rows(), 3);
        QCOMPARE(form.subjectText(), QStringLiteral("新着"));
        QVERIFY(form.selectionMarked());
        // After a refill no row is selected: a delete-one press deletes nothing unseen.
        QCOMPARE(form.selectedRecordNumber(), 0);
        form.Command3_Click();
        QCOMPARE(f.prompts.informTexts(), QStringList{NotSelected});
        QCOMPARE(f.storedSubjects().size(), 3);
    }

    void clickingARowShowsThatMail()
    {
        Fixture f;
        f.store(numberedMails(3));
        TyakuForm &form = f.open();
        f.clickRow(1);
        QVERIFY(form.selectionMarked());
        QCOMPARE(form.selectedRecordNumber(), 2);
        QCOMPARE(f.boxes(), (QStringList{"件名2", "sender2@example.jp", "2026/12/02 10:00"}));
        QCOMPARE(form.bodyText(), QStringLiteral("本文2 の一行目\r\n二行目"));
        QCOMPARE(f.prompts.clipboard, QStringLiteral("本文2 の一行目\r\n二行目"));
        QCOMPARE(receive::CurrentMailRecord.subject.trimmed(), QStringLiteral("件名2"));
        // The keyboard moves the selection and shows that mail too.
        f.list()->setFocus();
        QTest::keyClick(f.list(), Qt::Key_Down);
        QCOMPARE(form.selectedRecordNumber(), 3);
        QCOMPARE(form.subjectText(), QStringLiteral("件名3"));
    }

    // Only a left click chooses a mail. Another button leaves the selection
    // on the shown mail; a ctrl-click that unselects it leaves nothing to act on.
    void onlyTheShownMailIsDeleted_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("right-click on row 3") << Qt::RightButton << Qt::KeyboardModifiers() << 2
                                              << QStringList{"件名2", "件名3"};
        QTest::newRow("middle-click on row 3") << Qt::MiddleButton << Qt::KeyboardModifiers() << 2
                                               << QStringList{"件名2", "件名3"};
        QTest::newRow("ctrl-click unselects row 1") << Qt::LeftButton << Qt::KeyboardModifiers(Qt::ControlModifier) << 0
                                                    << QStringList{"件名1", "件名2", "件名3"};
    }

    void onlyTheShownMailIsDeleted()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, row);
        QFETCH(QStringList, left);
        Fixture f;
        f.store(numberedMails(3));
        TyakuForm &form = f.open();
        f.clickRow(0);
        const QRect at = f.list()->visualRect(form.mailListModel()->index(row, 0));
        QTest::mouseClick(f.list()->viewport(), button, modifiers, at.center());
        QCOMPARE(form.subjectText(), QStringLiteral("件名1"));
        f.prompts.yesNoAnswers.enqueue(true);
        form.deleteOneButton()->click();
        QCOMPARE(f.storedSubjects(), left);
    }

    // A check while the viewer is open with a row chosen: once it has ended
    // the list holds the new mail and shows it, no row is chosen, and the
    // commands act on nothing until the next click.
    void checkWhileOpenListsTheNewMail_data()
    {
        QTest::addColumn<bool>("autoShow");
        QTest::addColumn<bool>("clickedAtOnce");
        QTest::newRow("auto-show clear") << false << false;
        QTest::newRow("auto-show ticked") << true << false;
        QTest::newRow("a row clicked as the check ends") << false << true;
    }

    void checkWhileOpenListsTheNewMail()
    {
        QFETCH(bool, autoShow);
        QFETCH(bool, clickedAtOnce);
        Fixture f;
        f.store(numberedMails(2));
        testsupport::FakePop3Server pop3;
        pop3.messages = {"From: new@example.jp\r\nTo: alice@example.jp\r\nSubject: new mail\r\n"
                         "Date: Thu, 10 Dec 2026 09:00:00 +0900\r\n\r\nnew body\r\n"};
        QFile account(f.workingDir.filePath(QStringLiteral("korvix.ini")));
        QVERIFY(account.open(QIODevice::WriteOnly));
        account.write("SMTP=127.0.0.1\r\nPOP3=" + pop3.address().toUtf8() + "\r\nMAIL=alice@example.jp\r\nAPOP=0\r\n");
        account.close();
        f.folder.writeDataFile(QStringLiteral("iniIdPass.ini"), "[EXEINI]\r\nNAME=alice\r\nNAME2=tanstaaf\r\nNAME3=1\r\n");
        app::MainForm &main = f.mainWindow(true);
        main.autoShowBox()->setChecked(autoShow);
        main.Command6_Click();
        f.form = main.windows().loadedTyakuForm();
        f.clickRow(1);

        QTest::mouseClick(control<QToolButton>(&main, QStringLiteral("Jyushin")), Qt::LeftButton);
        if (clickedAtOnce)
            f.clickRow(0); // in the list as it was before the check
        QTRY_COMPARE(f.rows(), 3);
        QCOMPARE(f.storedSubjects().last(), QStringLiteral("new mail"));
        if (clickedAtOnce) {
            // The mail clicked stays shown and chosen.
            QCOMPARE(f.boxes().first(), QStringLiteral("件名1"));
            QCOMPARE(f.form->selectedRecordNumber(), 1);
            return;
        }
        QCOMPARE(f.boxes(), (QStringList{"new mail", "new@example.jp", "Thu, 10 Dec 2026 09:00:00 +0900"}));
        QCOMPARE(f.form->selectedRecordNumber(), 0);
        QVERIFY(!f.form->selectionMarked());
        f.form->deleteOneButton()->click();
        f.form->replyButton()->click();
        QCOMPARE(f.prompts.informTexts(), (QStringList{NotSelected, NotSelected}));
        QCOMPARE(f.storedSubjects().size(), 3);
        QVERIFY(!main.windows().loadedBackForm());
    }

    void clickingAnEmptyListSetsTheMarkerAndSaysSo()
    {
        Fixture f;
        TyakuForm &form = f.open();
        QTest::mouseClick(f.list()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QVERIFY(form.selectionMarked());
        QCOMPARE(f.prompts.informTexts(), QStringList{QStringLiteral("選択するデータがありません。")});
        QCOMPARE(f.prompts.shown.last().title, QString());
    }

    void nulCutsTheCellButNotTheBox()
    {
        Fixture f;
        const QString subject = QStringLiteral("前半") + QChar(0) + QStringLiteral("後半");
        f.store({{subject, QStringLiteral("x@example.jp"), QStringLiteral("d"), QStringLiteral("b")}});
        TyakuForm &form = f.open();
        QCOMPARE(form.mailListModel()->cellText(0, 0), QStringLiteral("前半"));
        QCOMPARE(form.subjectText(), subject);
        f.clickRow(0);
        QCOMPARE(form.subjectText(), subject);
    }

    // Layout and help.

    void designPlacesAndCaptions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Command2") << "Command2" << QRect(3960, 0, 1815, 340) << "TextQuickSave";
        QTest::newRow("Label2") << "Label2" << QRect(6240, 80, 735, 375) << "検索文字";
        QTest::newRow("Text1") << "Text1" << QRect(7080, 0, 1935, 375) << "";
        QTest::newRow("Command3") << "Command3" << QRect(120, 520, 1335, 375) << "    一件削除";
        QTest::newRow("Command4") << "Command4" << QRect(1560, 520, 1575, 375) << "    アドレス帳登録";
        QTest::newRow("Command5") << "Command5" << QRect(3240, 520, 1455, 375) << "   返事を書く";
        QTest::newRow("Command6") << "Command6" << QRect(4800, 520, 1455, 375) << "   全件削除";
        QTest::newRow("Label4") << "Label4" << QRect(6600, 620, 495, 255) << "件数";
        QTest::newRow("Text2") << "Text2" << QRect(7200, 620, 495, 270) << "0";
        QTest::newRow("Text4") << "Text4" << QRect(1320, 3600, 5535, 1935) << "";
        QTest::newRow("tbToolBar") << "tbToolBar" << QRect(0, 0, 9015, 390) << "";
    }

    void designPlacesAndCaptions()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        QFETCH(QString, caption);
        Fixture f;
        TyakuForm &form = f.load();
        QWidget *w = control(&form, name);
        const auto px = [](int t) { return qRound(t / 15.0); };
        QCOMPARE(w->geometry(), QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
        if (auto *button = qobject_cast<QPushButton *>(w))
            QCOMPARE(button->text(), caption);
        else if (auto *label = qobject_cast<QLabel *>(w))
            QCOMPARE(label->text(), caption);
        else if (auto *box = qobject_cast<QLineEdit *>(w))
            QCOMPARE(box->text(), caption);
        QVERIFY2(!w->accessibleName().isEmpty() || qobject_cast<QLabel *>(w) || qobject_cast<QToolBar *>(w),
                 "a control the user operates has an accessible name");
    }

    void windowLooksAsDesigned()
    {
        Fixture f;
        TyakuForm &form = f.load();
        QCOMPARE(form.clientArea()->size(), QSize(625, 485));
        QCOMPARE(form.clientArea()->palette().color(QPalette::Window), QColor(224, 224, 224));
        QCOMPARE(form.searchBox()->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(form.searchBox()->font().pointSizeF(), 12.0);
        for (QLineEdit *box : {form.subjectBox(), form.senderBox(), form.dateBox()}) {
            QCOMPARE(box->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
            QCOMPARE(box->font().pointSizeF(), 9.75);
        }
        QVERIFY(form.selectionMarker()->isHidden());
        QCOMPARE(form.statusBar()->geometry().bottom(), form.clientArea()->height() - 1);
        // Each coloured button carries its picture at its left end.
        for (const char *picture : {"Picture7", "Picture10", "Picture8", "Picture9"}) {
            auto *label = control<QLabel>(&form, QString::fromLatin1(picture));
            QVERIFY(!label->pixmap().isNull());
            QCOMPARE(label->pos().x(), 0);
        }
        QCOMPARE(control<QLabel>(&form, QStringLiteral("Picture7"))->parentWidget(), form.deleteOneButton());
        // Columns: half and two quarters of the design width, and the header coloured.
        QHeaderView *header = form.mailList()->header();
        QCOMPARE(header->sectionSize(0), 312);
        QCOMPARE(header->sectionSize(1), 156);
        QCOMPARE(header->sectionSize(2), 156);
        QVERIFY(common::headerColouringInstalled(form.mailList()));
    }

    void resizeLaysTheWindowOut()
    {
        Fixture f;
        TyakuForm &form = f.open();
        // 12000 x 9000 twips of client area.
        form.resize(800, form.menuBar()->height() + 600);
        QCOMPARE(form.clientArea()->size(), QSize(800, 600));
        QCOMPARE(form.mailList()->geometry(), QRect(0, 64, 792, 150));
        QCOMPARE(form.subjectBox()->y(), 213);   // 3190 twips
        QCOMPARE(form.bodyBox()->y(), 237);      // 3550 twips
        QCOMPARE(form.bodyBox()->height(), 279); // 4185 twips
        QCOMPARE(form.bodyBox()->width(), 792);
        QCOMPARE(form.subjectBox()->width(), 400);
        QCOMPARE(form.senderBox()->width(), 240);
        QCOMPARE(form.dateBox()->width(), 160);
        QCOMPARE(form.senderBox()->x(), form.subjectBox()->x() + 400);
        QCOMPARE(form.dateBox()->x(), form.senderBox()->x() + 240);
        QCOMPARE(form.headerCopyButton()->y(), form.statusBar()->y() + 5);
        QCOMPARE(form.headerCopyBox()->y(), form.statusBar()->y() + 5);
        QCOMPARE(control(&form, QStringLiteral("Picture1"))->width(), 800);
        // Column widths stay as they were at load.
        QCOMPARE(form.mailList()->header()->sectionSize(0), 312);
    }

    void helpBoxPlacement_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<int>("top");
        QTest::newRow("ticked") << true << 240;
        QTest::newRow("clear") << false << -267;
    }

    void helpBoxPlacement()
    {
        QFETCH(bool, ticked);
        QFETCH(int, top);
        Fixture f;
        f.helpTicked = ticked;
        TyakuForm &form = f.open();
        QPlainTextEdit *help = form.helpBox();
        QCOMPARE(help->y(), top);
        // Ticking the main window's box later changes nothing until the next load.
        f.helpTicked = !ticked;
        const struct
        {
            QWidget *control;
            const char16_t *start;
        } topics[] = {{form.headerCopyButton(), u"本文以外のコピーに使用します。"},
                      {form.quickSaveButton(), u"選択したデータをテキスト形式で"},
                      {form.deleteOneButton(), u"受信したメールを１件ずつ削除します。"},
                      {form.registerSenderButton(), u"受信したメールをアドレス帳に登録します。"},
                      {form.replyButton(), u"受信したメールに返事を出します。"},
                      {form.deleteAllButton(), u"受信したメール全件削除します。"},
                      {form.searchBox(), u"検索したい文字を入力し、"}};
        for (const auto &topic : topics) {
            hover(topic.control);
            QVERIFY(help->isVisible());
            QVERIFY2(help->toPlainText().startsWith(QString::fromUtf16(topic.start)), qPrintable(help->toPlainText()));
            QCOMPARE(help->y(), top);
        }
        QVERIFY(help->toPlainText().isEmpty() == false);
        // Over the body the box hides and keeps its text; over the list it also empties.
        hover(form.bodyBox()->viewport());
        QVERIFY(!help->isVisible());
        QVERIFY(!help->toPlainText().isEmpty());
        hover(form.mailList()->viewport());
        QVERIFY(!help->isVisible());
        QVERIFY(help->toPlainText().isEmpty());
        QVERIFY(form.headerCopyButton()->styleSheet().contains(QColor(128, 128, 128).name()));
    }

    void commandOneHelpHasItsLineBreaks()
    {
        Fixture f;
        TyakuForm &form = f.open();
        hover(form.headerCopyButton());
        const QStringList lines = form.helpBox()->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.at(2), QStringLiteral(" 本文への貼り付け（あるいは本ソフトでの貼り付け機能がある部分）、他のアプリケーションへの貼り付けが可能です。"));
        QCOMPARE(lines.at(4), QStringLiteral("コピーされる内容は右の欄に反映されます。"));
    }

    // Deleting.

    void deleteOne_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("shownAfter");
        QTest::newRow("second, yes") << 1 << true << QStringList{"件名1", "件名3"} << "件名3";
        QTest::newRow("last, yes") << 2 << true << QStringList{"件名1", "件名2"} << "件名2";
        QTest::newRow("second, no") << 1 << false << QStringList{"件名1", "件名2", "件名3"} << "件名2";
    }

    void deleteOne()
    {
        QFETCH(int, row);
        QFETCH(bool, yes);
        QFETCH(QStringList, left);
        QFETCH(QString, shownAfter);
        Fixture f;
        f.store(numberedMails(3));
        const QByteArray before = f.storeBytes();
        TyakuForm &form = f.open();
        f.clickRow(row);
        f.prompts.yesNoAnswers.enqueue(yes);
        form.deleteOneButton()->click();
        QCOMPARE(f.prompts.shown.last().kind, QStringLiteral("ask"));
        QCOMPARE(f.prompts.shown.last().text, DeleteOneQuestion);
        QCOMPARE(f.prompts.shown.last().title, QStringLiteral("確認"));
        QVERIFY(!form.selectionMarked());
        QCOMPARE(f.subjectsListed(), left);
        QCOMPARE(f.storedSubjects(), left);
        QCOMPARE(form.subjectText(), shownAfter);
        QCOMPARE(f.storedCount, QString::number(left.size()));
        QVERIFY(!QFile::exists(f.folder.dataFile(TempName)));
        if (yes) {
            QCOMPARE(f.storeBytes().size(), qsizetype(left.size()) * receive::MailRecord::Length);
            QVERIFY(!form.bodyText().isEmpty());
        } else {
            QCOMPARE(f.storeBytes(), before);
            QCOMPARE(form.bodyText(), QString()); // declining still empties the body pane
        }
        // The marker is used up: the next press without a click asks nothing.
        const qsizetype asked = f.prompts.shown.size();
        form.deleteOneButton()->click();
        QCOMPARE(f.prompts.shown.size(), asked + 1);
        QCOMPARE(f.prompts.shown.last().text, NotSelected);
    }

    void deleteOneWithoutAClickAsksNothing()
    {
        Fixture f;
        f.store(numberedMails(2));
        TyakuForm &form = f.open();
        form.deleteOneButton()->click();
        QCOMPARE(f.prompts.informTexts(), QStringList{NotSelected});
        QCOMPARE(f.storedSubjects().size(), 2);
    }

    void deletingTheOnlyMailEmptiesEverything()
    {
        Fixture f;
        f.store(numberedMails(1));
        TyakuForm &form = f.open();
        f.clickRow(0);
        f.prompts.yesNoAnswers.enqueue(true);
        form.deleteOneButton()->click();
        QCOMPARE(f.rows(), 0);
        QCOMPARE(form.countBox()->text(), QStringLiteral("0"));
        QCOMPARE(f.storedCount, QStringLiteral("0"));
        QCOMPARE(f.boxes(), (QStringList{QString(), QString(), QString()}));
        QCOMPARE(form.bodyText(), QString());
        QCOMPARE(QFileInfo(f.folder.dataFile(StoreName)).size(), 0);
    }

    void deleteAll_data()
    {
        QTest::addColumn<int>("mails");
        QTest::addColumn<bool>("yes");
        QTest::newRow("three, yes") << 3 << true;
        QTest::newRow("three, no") << 3 << false;
        QTest::newRow("empty, yes") << 0 << true;
    }

    void deleteAll()
    {
        QFETCH(int, mails);
        QFETCH(bool, yes);
        Fixture f;
        f.store(numberedMails(mails));
        const QByteArray before = f.storeBytes();
        TyakuForm &form = f.open();
        f.clickRow(0);
        const bool marked = form.selectionMarked();
        f.prompts.yesNoAnswers.enqueue(yes);
        form.deleteAllButton()->click();
        QCOMPARE(f.prompts.shown.last().text, DeleteAllQuestion);
        QCOMPARE(f.prompts.shown.last().title, QStringLiteral("確認"));
        QCOMPARE(form.selectionMarked(), marked);
        QVERIFY(!QFile::exists(f.folder.dataFile(TempName)));
        if (yes) {
            QCOMPARE(f.rows(), 0);
            QCOMPARE(f.storeBytes().size(), 0);
            QCOMPARE(form.countBox()->text(), QStringLiteral("0"));
            QCOMPARE(f.storedCount, QStringLiteral("0"));
            QCOMPARE(f.mainHelp, QStringLiteral("0"));
            QCOMPARE(f.boxes(), (QStringList{QString(), QString(), QString()}));
            QCOMPARE(form.bodyText(), QString());
        } else {
            QCOMPARE(f.storeBytes(), before);
            QCOMPARE(f.rows(), mails);
            QCOMPARE(f.mainHelp, QStringLiteral("untouched"));
        }
    }

    void failedCompactionKeepsEveryMail_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("step");
        QTest::newRow("one, rename") << false << "rename";
        QTest::newRow("one, copy") << false << "copy";
        QTest::newRow("all, rename") << true << "rename";
        QTest::newRow("all, flag write") << true << "pwrite";
    }

    void failedCompactionKeepsEveryMail()
    {
        QFETCH(bool, all);
        QFETCH(QString, step);
        Fixture f;
        f.store(numberedMails(3));
        TyakuForm &form = f.open();
        f.clickRow(1);
        const QStringList boxesBefore = f.boxes();
        FaultyRecordFileSystem faults;
        faults.arm(step, FaultyRecordFileSystem::Fault::Fail, ENOSPC);
        f.prompts.yesNoAnswers.enqueue(true);
        if (all)
            form.deleteAllButton()->click();
        else
            form.deleteOneButton()->click();
        QVERIFY2(faults.hit(), qPrintable(faults.log.join(u' ')));
        faults.arm(0, FaultyRecordFileSystem::Fault::Fail);
        // The store's own message, every mail still stored live and listed.
        const QString message = f.prompts.informTexts().value(0);
        QVERIFY2(message.contains(QStringLiteral("krxdata2.data")) || message.contains(QStringLiteral("KRXDATA2.TMP")),
                 qPrintable(message));
        const QStringList all3{"件名1", "件名2", "件名3"};
        QCOMPARE(f.storedSubjects(), all3);
        QCOMPARE(f.subjectsListed(), all3);
        QCOMPARE(form.countBox()->text(), QStringLiteral("3"));
        QCOMPARE(f.boxes(), boxesBefore);
        QVERIFY(!QFile::exists(f.folder.dataFile(TempName)));
        // A later delete of another mail drops only that one.
        f.clickRow(0);
        f.prompts.yesNoAnswers.enqueue(true);
        form.deleteOneButton()->click();
        QCOMPARE(f.storedSubjects(), (QStringList{"件名2", "件名3"}));
    }

    // Search.

    void searchWalkThroughTheMenu()
    {
        Fixture f;
        TyakuForm &form = f.open();
        form.bodyBox()->setPlainText(QStringLiteral("xxabcxxabc"));
        form.searchBox()->setText(QStringLiteral("abc"));
        const auto selection = [&] {
            const QTextCursor c = form.bodyBox()->textCursor();
            return QPair<int, int>(c.selectionStart(), c.selectionEnd() - c.selectionStart());
        };
        f.action("mkensaku")->trigger();
        QCOMPARE(selection(), (QPair<int, int>(2, 3)));
        QCOMPARE(form.lastFoundPos(), 3);
        f.action("mtugikensaku")->trigger();
        QCOMPARE(selection(), (QPair<int, int>(7, 3)));
        // Past the last match: nothing found, the selection stays, no message.
        f.action("mtugikensaku")->trigger();
        QCOMPARE(form.lastFoundPos(), 0);
        QCOMPARE(selection(), (QPair<int, int>(7, 3)));
        f.action("mtugikensaku")->trigger();
        QCOMPARE(selection(), (QPair<int, int>(2, 3)));
        form.searchBox()->setText(QStringLiteral("ABC"));
        f.action("mkensaku")->trigger();
        QCOMPARE(form.lastFoundPos(), 0);
        QCOMPARE(selection(), (QPair<int, int>(2, 3)));
        QVERIFY(f.prompts.shown.isEmpty());
        // Enter in the search box searches on from the last match; the box
        // keeps the focus, so a second Enter searches again and leaves the
        // shown mail as it was.
        form.searchBox()->setText(QStringLiteral("abc"));
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.searchBox()->setFocus();
        QSignalSpy entered(form.searchBox(), &QLineEdit::returnPressed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(entered.count(), 2);
        QCOMPARE(selection(), (QPair<int, int>(7, 3)));
        QCOMPARE(form.bodyBox()->toPlainText(), QStringLiteral("xxabcxxabc"));
        // A new word is searched from the start.
        form.searchBox()->setText(QStringLiteral("xx"));
        QTest::keyClick(form.searchBox(), Qt::Key_Return);
        QCOMPARE(selection(), (QPair<int, int>(0, 2)));
        // Line breaks count one character, as the body box counts them.
        form.bodyBox()->setPlainText(QStringLiteral("一行目\r\n二行目abc"));
        form.searchBox()->setText(QStringLiteral("abc"));
        f.action("mkensaku")->trigger();
        QCOMPARE(form.bodyBox()->textCursor().selectedText(), QStringLiteral("abc"));
    }

    // Load and unload.

    void loadingTheEditorFile_data()
    {
        QTest::addColumn<QString>("file");       // CurrentEditorFile; "<made>" is a readable file
        QTest::addColumn<QList<bool>>("answers"); // OK = true
        QTest::addColumn<int>("boxes");
        QTest::addColumn<QString>("body");
        QTest::newRow("no editor file yet") << QString() << QList<bool>{} << 0 << QString();
        QTest::newRow("readable file") << "<made>" << QList<bool>{} << 0 << "一行目\r\n二行目";
        QTest::newRow("missing, cancel") << "missing.txt" << QList<bool>{false} << 1 << QString();
        QTest::newRow("missing, ok twice then cancel") << "missing.txt" << QList<bool>{true, true, false} << 3 << QString();
    }

    void loadingTheEditorFile()
    {
        QFETCH(QString, file);
        QFETCH(QList<bool>, answers);
        QFETCH(int, boxes);
        QFETCH(QString, body);
        Fixture f;
        if (file == QLatin1String("<made>")) {
            file = f.workingDir.filePath(QStringLiteral("memo.txt"));
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(common::toCp932(QStringLiteral("一行目\r\n二行目")));
        } else if (!file.isEmpty()) {
            file = f.workingDir.filePath(file);
        }
        viewer::editorState().CurrentEditorFile = file;
        viewer::editorState().EditorChanged = true;
        for (bool answer : answers)
            f.prompts.okCancelAnswers.enqueue(answer);
        TyakuForm &form = f.load();
        int shown = 0;
        for (const auto &s : f.prompts.shown) {
            QCOMPARE(s.kind, QStringLiteral("okcancel"));
            QCOMPARE(s.text, QString());
            QCOMPARE(s.title, QStringLiteral("GlimraMail  Form_LoadError"));
            QCOMPARE(s.icon, common::PromptIcon::Warning);
            ++shown;
        }
        QCOMPARE(shown, boxes);
        QCOMPARE(form.bodyText(), body.isEmpty() ? QString() : body + QStringLiteral("\r\n"));
        QVERIFY(!viewer::editorState().EditorChanged);
        QVERIFY(form.bodyBox()->isVisibleTo(&form));
    }

    void editorAroundTheBody()
    {
        Fixture f;
        f.store(numberedMails(2));
        TyakuForm &form = f.open();
        QStringList items;
        for (const char *name : {"mnew", "mopen", "msave", "mprint", "mend", "mall", "matamajump", "mbunmatujump",
                                 "mkensaku", "mtugikensaku", "mcut", "mcopy", "mpaste"})
            items << f.action(name)->text();
        QCOMPARE(items, (QStringList{"新規作成", "開く", "名前を付けて保存", "印刷", "終了", "全て選択", "文頭へジャンプ",
                                     "文末へジャンプ", "検索", "次を検索", "切り取り", "コピー", "貼り付け"}));
        QCOMPARE(form.toolBar()->objectName(), QStringLiteral("tbToolBar"));
        QVERIFY(form.findChild<QAction *>(QStringLiteral("Save")));
        // Showing a mail is a change of the viewer's body.
        viewer::editorState().EditorChanged = false;
        f.clickRow(0);
        QVERIFY(viewer::editorState().EditorChanged);
        // Save as writes the four parts built from the boxes.
        const QString path = f.workingDir.filePath(QStringLiteral("保存.txt"));
        f.prompts.fileAnswers.enqueue(path);
        f.action("msave")->trigger();
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QString expected = viewer::ComposeHeaderText(QStringLiteral("件名1"), QStringLiteral("sender1@example.jp"),
                                                           QStringLiteral("2026/12/01 10:00"),
                                                           QStringLiteral("本文1 の一行目\r\n二行目"));
        QCOMPARE(common::fromCp932(saved.readAll()), expected + QStringLiteral("\r\n"));
        QCOMPARE(form.windowTitle(), path);
        // "終了" closes the window with its closing steps.
        f.action("mend")->trigger();
        flushDeletes();
        QVERIFY(!f.form);
    }

    void unloadUncoloursTheList()
    {
        Fixture f;
        TyakuForm &form = f.load();
        QTreeView *list = form.mailList();
        QVERIFY(common::headerColouringInstalled(list));
        form.close();
        QVERIFY(!common::headerColouringInstalled(list));
        flushDeletes();
        QVERIFY(!f.form);
    }

    // Through the main window.

    void mainWindowOpensOneViewer()
    {
        Fixture f;
        f.store(numberedMails(3));
        app::MainForm &main = f.mainWindow();
        QCOMPARE(main.storedCountBox()->text(), QStringLiteral("3"));
        app::WindowHub &hub = main.windows();
        QVERIFY(!hub.loadedTyakuForm());

        // The mail check's first touch loads it hidden; the count reads "0" until it lists.
        TyakuForm *hidden = hub.tyakuForm();
        QVERIFY(hidden && !hidden->isVisible());
        QCOMPARE(main.storedCountBox()->text(), QStringLiteral("0"));
        QVERIFY(!habitat::litterTick().isRunning());

        QTest::mouseClick(control<QToolButton>(&main, QStringLiteral("Tyakushin")), Qt::LeftButton);
        TyakuForm *form = hub.loadedTyakuForm();
        QCOMPARE(form, hidden);
        QVERIFY(form->isVisible());
        QCOMPARE(form->mailListModel()->rowCount(), 3);
        QCOMPARE(main.storedCountBox()->text(), QStringLiteral("3"));
        QCOMPARE(form->mailList()->palette().color(QPalette::Base), QColor(210, 250, 250));
        main.Command6_Click();
        QCOMPARE(hub.loadedTyakuForm(), form);

        // Deleting all writes "0" into the main window's help box and count.
        f.prompts.yesNoAnswers.enqueue(true);
        form->deleteAllButton()->click();
        QCOMPARE(main.storedCountBox()->text(), QStringLiteral("0"));
        QCOMPARE(main.helpTextBox()->toPlainText(), QStringLiteral("0"));

        form->close();
        flushDeletes();
        QVERIFY(!hub.loadedTyakuForm());
        QVERIFY(habitat::litterTick().isRunning());

        // Closing the main window uncolours the viewer's list, loading it for that.
        main.close();
        TyakuForm *loadedForClose = hub.loadedTyakuForm();
        QVERIFY(loadedForClose);
        QVERIFY(!loadedForClose->isVisible());
        QVERIFY(!common::headerColouringInstalled(loadedForClose->mailList()));
        delete loadedForClose;
    }
};

QTEST_MAIN(TestTyakuForm)
#include "tst_TyakuForm.moc"
