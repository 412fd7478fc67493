#include "common/Cp932.h"
#include "common/ui/QtPrompts.h"
#include "editor/EditorFiles.h"
#include "editor/EditorState.h"
#include "editor/ui/EditorCommands.h"
#include "support/ScriptedPrompts.h"
#include "viewer/ShownMailText.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QVBoxLayout>

#include <memory>

using viewer::EditorCommands;
using viewer::EditorRole;

namespace {

// A window carrying the editor as the viewer and the composer do: menu bar,
// tool bar and body box.
struct EditorWindow
{
    explicit EditorWindow(EditorRole role)
    {
        window = std::make_unique<QWidget>();
        body = new QTextEdit(window.get());
        body->setObjectName(QStringLiteral("rtfEd"));
        commands = new EditorCommands(window.get(), body, role);
        auto *layout = new QVBoxLayout(window.get());
        auto *bar = new QMenuBar(window.get());
        commands->populateMenuBar(bar);
        layout->setMenuBar(bar);
        toolBar = commands->createToolBar(window.get());
        layout->addWidget(toolBar);
        layout->addWidget(body);
    }

    QAction *menuItem(const char *name) const { return window->findChild<QAction *>(QLatin1String(name)); }
    QStringList menuItemNames(int menu) const
    {
        QStringList names;
        const QList<QMenu *> menus = window->findChildren<QMenu *>(QString(), Qt::FindChildrenRecursively);
        for (QAction *action : menus.at(menu)->actions())
            names << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
        return names;
    }
    QStringList toolBarKeys() const
    {
        QStringList keys;
        for (QAction *action : toolBar->actions())
            keys << (action->isSeparator() ? QStringLiteral("-") : action->objectName() + QLatin1Char('=') + action->toolTip());
        return keys;
    }
    void select(int start, int length) const
    {
        QTextCursor cursor = body->textCursor();
        cursor.setPosition(start);
        cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        body->setTextCursor(cursor);
    }

    std::unique_ptr<QWidget> window;
    QTextEdit *body = nullptr;
    EditorCommands *commands = nullptr;
    QToolBar *toolBar = nullptr;
};

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestEditorCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::ScriptedPrompts> prompts;
    std::unique_ptr<EditorWindow> viewerWindow;
    std::unique_ptr<EditorWindow> composerWindow;
    std::unique_ptr<QTemporaryDir> dir;
    QString startFolder;

private Q_SLOTS:
    void initTestCase() { startFolder = QDir::currentPath(); }
    void init()
    {
        viewer::editorState() = {};
        prompts = std::make_unique<testsupport::ScriptedPrompts>();
        viewerWindow = std::make_unique<EditorWindow>(EditorRole::Viewer);
        composerWindow = std::make_unique<EditorWindow>(EditorRole::Composer);
        dir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(dir->path());
    }
    void cleanup()
    {
        QDir::setCurrent(startFolder);
        viewerWindow.reset();
        composerWindow.reset();
        prompts.reset();
    }

    void menusAndToolBarPerRole()
    {
        const QString viewerFile = QStringLiteral("mnew mopen msave mprint - mend");
        QCOMPARE(viewerWindow->menuItemNames(0).join(u' '), viewerFile);
        QCOMPARE(viewerWindow->menuItemNames(1).join(u' '),
                 QStringLiteral("mall matamajump mbunmatujump - mkensaku mtugikensaku - mcut mcopy mpaste"));
        QCOMPARE(composerWindow->menuItemNames(0).join(u' '), QStringLiteral("mnew mopen mprint - mend"));
        QCOMPARE(composerWindow->menuItemNames(1).join(u' '),
                 QStringLiteral("mall matamajump mbunmatujump - mcut mcopy mpaste"));

        const QList<QMenu *> viewerMenus = viewerWindow->window->findChildren<QMenu *>();
        const QList<QMenu *> composerMenus = composerWindow->window->findChildren<QMenu *>();
        QCOMPARE(viewerMenus.at(0)->title(), QStringLiteral("ファイル(&F)"));
        QCOMPARE(viewerMenus.at(1)->title(), QStringLiteral("編集(&E)"));
        QCOMPARE(composerMenus.at(1)->title(), QStringLiteral("編集"));
        QCOMPARE(viewerWindow->menuItem("msave")->text(), QStringLiteral("名前を付けて保存"));
        QCOMPARE(viewerWindow->menuItem("mbunmatujump")->text(), QStringLiteral("文末へジャンプ"));
        for (QAction *action : viewerWindow->window->findChildren<QAction *>())
            QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->objectName()));

        const QString tail = QStringLiteral("- Print=印刷 - Cut=切り取り Copy=ｺﾋﾟｰ Paste=貼り付け - Bold=太字 Italic=斜体 Underline=下線");
        QCOMPARE(viewerWindow->toolBarKeys().join(u' '),
                 QStringLiteral("New=新規作成 Open=開く Save=名前を付けて保存 ") + tail);
        QCOMPARE(composerWindow->toolBarKeys().join(u' '), QStringLiteral("New=新規作成 Open=開く ") + tail);
        QCOMPARE(viewerWindow->toolBar->objectName(), QStringLiteral("tbToolBar"));
        for (QAction *action : viewerWindow->toolBar->actions())
            if (!action->isSeparator()) {
                QCOMPARE(viewerWindow->toolBar->widgetForAction(action)->accessibleName(), action->toolTip());
                QVERIFY2(!action->icon().isNull(), qPrintable(action->objectName()));
            }
    }

    // The first "New" of a run writes the empty new file in the working
    // folder; later ones, in either window, do nothing.
    void newActsOncePerRun()
    {
        viewerWindow->body->setPlainText(QStringLiteral("受信したメール"));
        QVERIFY(viewer::editorState().EditorChanged);
        viewerWindow->menuItem("mnew")->trigger();
        const QString file = QStringLiteral("新規作成.TXT");
        QVERIFY(viewerWindow->body->toPlainText().isEmpty());
        QCOMPARE(readFile(QDir(dir->path()).filePath(file)), QByteArray());
        QCOMPARE(viewer::editorState().CurrentEditorFile, file);
        QVERIFY(!viewer::editorState().EditorChanged);
        QCOMPARE(viewerWindow->window->windowTitle(), file + QStringLiteral("      ") + file);

        viewerWindow->body->setPlainText(QStringLiteral("次のメール"));
        composerWindow->body->setPlainText(QStringLiteral("書きかけ"));
        viewerWindow->commands->runToolBarKey(QStringLiteral("New"));
        composerWindow->commands->runToolBarKey(QStringLiteral("New"));
        QCOMPARE(viewerWindow->body->toPlainText(), QStringLiteral("次のメール"));
        QCOMPARE(composerWindow->body->toPlainText(), QStringLiteral("書きかけ"));
        QCOMPARE(composerWindow->window->windowTitle(), QString());
        QVERIFY(prompts->informTexts().isEmpty());
    }

    void newThatCannotWriteKeepsTheBox()
    {
        // The working folder's new file cannot be created where a folder of that name stands.
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("新規作成.TXT")));
        composerWindow->body->setPlainText(QStringLiteral("書きかけ"));
        composerWindow->menuItem("mnew")->trigger();
        QCOMPARE(composerWindow->body->toPlainText(), QStringLiteral("書きかけ"));
        QCOMPARE(viewer::editorState().CurrentEditorFile, QString());
        QCOMPARE(prompts->informTexts(), QStringList{QStringLiteral("ファイルに保存できませんでした。\n新規作成.TXT")});
    }

    void onlyTheViewerSetsEditorChanged()
    {
        composerWindow->body->setPlainText(QStringLiteral("本文"));
        QTest::keyClicks(composerWindow->body, QStringLiteral("abc"));
        QVERIFY(!viewer::editorState().EditorChanged);
        QTest::keyClicks(viewerWindow->body, QStringLiteral("a"));
        QVERIFY(viewer::editorState().EditorChanged);
    }

    void copyCutPaste_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("clipboardBefore");
        QTest::addColumn<QString>("textAfter");
        QTest::addColumn<QString>("clipboardAfter");
        QTest::addColumn<int>("caretAfter");
        QTest::newRow("copy nothing selected") << "mcopy" << 4 << 0 << "old" << "abcdefghij" << "" << 0;
        QTest::newRow("copy 3 to 7") << "mcopy" << 2 << 5 << "old" << "abcdefghij" << "cdefg" << 7;
        QTest::newRow("cut 3 to 7") << "mcut" << 2 << 5 << "old" << "abhij" << "cdefg" << 2;
        QTest::newRow("paste trims blanks") << "mpaste" << 2 << 0 << "  全角　XY  " << "ab全角　XYcdefghij"
                                            << "  全角　XY  " << 7;
        QTest::newRow("paste replaces selection") << "mpaste" << 1 << 8 << "Z" << "aZj" << "Z" << 2;
        QTest::newRow("paste line ends") << "mpaste" << 10 << 0 << "1\r\n2\r3" << "abcdefghij1\n2\n3"
                                         << "1\r\n2\r3" << 15;
    }
    void copyCutPaste()
    {
        QFETCH(QString, command);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QString, clipboardBefore);
        QFETCH(QString, textAfter);
        QFETCH(QString, clipboardAfter);
        QFETCH(int, caretAfter);
        for (EditorWindow *w : {viewerWindow.get(), composerWindow.get()}) {
            w->body->setPlainText(QStringLiteral("abcdefghij"));
            w->select(start, length);
            prompts->clipboard = clipboardBefore;
            w->menuItem(command.toLatin1().constData())->trigger();
            QCOMPARE(w->body->toPlainText(), textAfter);
            QCOMPARE(prompts->clipboard, clipboardAfter);
            QVERIFY(!w->body->textCursor().hasSelection());
            QCOMPARE(w->body->textCursor().position(), caretAfter);
            QVERIFY(w->body->updatesEnabled());
        }
    }

    void selectAllAndJumps()
    {
        EditorWindow &w = *composerWindow;
        w.body->setPlainText(QStringLiteral("一行目\n二行目"));
        w.menuItem("mall")->trigger();
        QCOMPARE(w.body->textCursor().selectionStart(), 0);
        QCOMPARE(w.body->textCursor().selectionEnd(), 7);
        w.menuItem("matamajump")->trigger();
        QCOMPARE(w.body->textCursor().position(), 0);
        QVERIFY(!w.body->textCursor().hasSelection());
        w.menuItem("mbunmatujump")->trigger();
        QCOMPARE(w.body->textCursor().position(), 7);
    }

    // The counters are shared and decide on their own: Bold in the viewer
    // switches it on, then Bold in the composer switches the composer off.
    void styleTogglesShareTheirCounters()
    {
        viewerWindow->body->setPlainText(QStringLiteral("本文"));
        viewer::editorState().EditorChanged = false;
        viewerWindow->commands->runToolBarKey(QStringLiteral("Bold"));
        QVERIFY(viewerWindow->body->font().bold());
        QVERIFY(viewerWindow->body->document()->defaultFont().bold());
        composerWindow->commands->runToolBarKey(QStringLiteral("Bold"));
        QVERIFY(!composerWindow->body->font().bold());
        viewerWindow->commands->runToolBarKey(QStringLiteral("Bold"));
        QVERIFY(viewerWindow->body->font().bold());
        QCOMPARE(viewer::editorState().BoldToggleCount, qint16(1));

        composerWindow->commands->runToolBarKey(QStringLiteral("Italic"));
        composerWindow->commands->runToolBarKey(QStringLiteral("Underline"));
        QVERIFY(composerWindow->body->font().italic());
        QVERIFY(composerWindow->body->font().underline());
        viewerWindow->commands->runToolBarKey(QStringLiteral("Italic"));
        QVERIFY(!viewerWindow->body->font().italic());
        QCOMPARE(viewer::editorState().ItalicToggleCount, qint16(2));
        QCOMPARE(viewer::editorState().UnderlineToggleCount, qint16(1));
        // A style is no change of the text.
        QVERIFY(!viewer::editorState().EditorChanged);
        // A key that names no command does nothing; the composer has no "Save".
        composerWindow->commands->runToolBarKey(QStringLiteral("Save"));
        composerWindow->commands->runToolBarKey(QStringLiteral("Tyakushin"));
        QVERIFY(prompts->shown.isEmpty());
    }

    void openFillsOnlyThatWindow_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("body");
        QTest::newRow("lone CR and last line without end")
            << (common::toCp932(QStringLiteral("件名\r本文①\r\n")) + "x\ny") << QStringLiteral("件名\n本文①\nx\ny\n");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void openFillsOnlyThatWindow()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, body);
        const QString path = dir->filePath(QStringLiteral("開く.txt"));
        writeFile(path, file);
        viewerWindow->body->setPlainText(QStringLiteral("そのまま"));
        composerWindow->body->setPlainText(QStringLiteral("前の本文"));
        prompts->fileAnswers << path;
        composerWindow->commands->runToolBarKey(QStringLiteral("Open"));
        QCOMPARE(composerWindow->body->toPlainText(), body);
        QCOMPARE(viewerWindow->body->toPlainText(), QStringLiteral("そのまま"));
        QCOMPARE(prompts->shown.at(0).text, QStringLiteral("txtファイル(*.txt,*.ini) (*.txt *.ini)"));
        QCOMPARE(composerWindow->window->windowTitle(), QString());
        QCOMPARE(viewer::editorState().CurrentEditorFile, QString());
    }

    void openCancelledOrUnreadableKeepsTheBox()
    {
        viewerWindow->body->setPlainText(QStringLiteral("そのまま"));
        viewerWindow->menuItem("mopen")->trigger(); // cancelled
        prompts->fileAnswers << dir->path();       // a folder cannot be read as a file
        viewerWindow->menuItem("mopen")->trigger();
        QCOMPARE(viewerWindow->body->toPlainText(), QStringLiteral("そのまま"));
        QCOMPARE(prompts->informTexts(), QStringList{QStringLiteral("ファイルを開けませんでした。\n") + dir->path()});
    }

    void saveAsWritesTheComposedText()
    {
        EditorWindow &w = *viewerWindow;
        w.body->setPlainText(QStringLiteral("本文一\n本文二"));
        w.commands->setSaveAsText([&w] {
            return viewer::ComposeHeaderText(QStringLiteral("件名"), QStringLiteral("a@example.jp"),
                                             QStringLiteral("Mon, 1 Dec 2026"), w.body->toPlainText());
        });
        const QString path = dir->filePath(QStringLiteral("保存.txt"));
        prompts->fileAnswers << path;
        w.commands->runToolBarKey(QStringLiteral("Save"));
        const QString expected = QStringLiteral("Subject:  件名\r\nFrom:  a@example.jp\r\nDate:  Mon, 1 Dec 2026\r\n"
                                                "Body:  本文一\r\n本文二\r\n");
        QCOMPARE(readFile(path), common::toCp932(expected));
        QCOMPARE(w.window->windowTitle(), path);
        QCOMPARE(w.body->toPlainText(), QString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).chopped(1));
        QVERIFY(prompts->informTexts().isEmpty());
    }

    void saveAsThatCannotWriteLeavesTheFile()
    {
        EditorWindow &w = *viewerWindow;
        w.body->setPlainText(QStringLiteral("本文"));
        w.window->setWindowTitle(QStringLiteral("着信履歴"));
        const QString folder = dir->filePath(QStringLiteral("folder.txt"));
        QVERIFY(QDir().mkdir(folder));
        const QString missing = dir->filePath(QStringLiteral("無い/保存.txt"));
        prompts->fileAnswers << folder << missing;
        w.menuItem("msave")->trigger();
        w.menuItem("msave")->trigger();
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(!QFile::exists(missing));
        QCOMPARE(w.window->windowTitle(), QStringLiteral("着信履歴"));
        QCOMPARE(prompts->informTexts(),
                 (QStringList{QStringLiteral("ファイルに保存できませんでした。\n") + folder,
                              QStringLiteral("ファイルに保存できませんでした。\n") + missing}));
    }

    void fileLineEnds_data()
    {
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QString>("fileText");
        QTest::newRow("LF") << "a\nb" << "a\r\nb";
        QTest::newRow("CR LF stays one line end") << "a\r\nb\r\n" << "a\r\nb\r\n";
        QTest::newRow("lone CR") << "a\rb" << "a\r\nb";
        QTest::newRow("empty lines") << "\n\n" << "\r\n\r\n";
        QTest::newRow("paragraph separator") << QStringLiteral("a\u2029b") << "a\r\nb";
    }
    void fileLineEnds()
    {
        QFETCH(QString, boxText);
        QFETCH(QString, fileText);
        QCOMPARE(viewer::toFileLineEnds(boxText), fileText);
    }

    void printHonoursCopiesAndSelection_data()
    {
        QTest::addColumn<int>("selectionLength");
        QTest::addColumn<common::PrintChoice>("choice");
        QTest::addColumn<QStringList>("jobs");
        const QString whole = QStringLiteral("一行目\n二行目");
        QTest::newRow("whole text, two copies") << 0 << common::PrintChoice{true, 2, false} << QStringList{whole, whole};
        QTest::newRow("selection chosen") << 3 << common::PrintChoice{true, 1, true} << QStringList{QStringLiteral("一行目")};
        QTest::newRow("selection offered, all chosen") << 3 << common::PrintChoice{true, 1, false} << QStringList{whole};
        QTest::newRow("cancelled") << 3 << common::PrintChoice{false, 1, true} << QStringList{};
    }
    void printHonoursCopiesAndSelection()
    {
        QFETCH(int, selectionLength);
        QFETCH(common::PrintChoice, choice);
        QFETCH(QStringList, jobs);
        EditorWindow &w = *viewerWindow;
        w.body->setPlainText(QStringLiteral("一行目\n二行目"));
        w.body->setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 15));
        w.commands->toggleUnderline();
        w.commands->toggleItalic();
        w.select(0, selectionLength);
        prompts->printChoice = choice;
        // The viewer's menu item prints nothing; its tool-bar button prints.
        w.menuItem("mprint")->trigger();
        QVERIFY(prompts->printDialogOffers.isEmpty());
        w.commands->runToolBarKey(QStringLiteral("Print"));
        QCOMPARE(prompts->printDialogOffers, QList<bool>{selectionLength > 0});
        QCOMPARE(prompts->printJobs, jobs);
        for (const QFont &font : prompts->printJobFonts) {
            QCOMPARE(font.family(), QStringLiteral("Noto Sans CJK JP"));
            QCOMPARE(font.pointSize(), 15);
            QVERIFY(font.italic());
            QVERIFY(!font.underline());
        }
    }

    // Each copy is a print job of its own, rendered here into a PDF file.
    void printJobsReachThePrinter()
    {
        int jobNumber = 0;
        prompts->onPrintJob = [&](const QTextDocument &document) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir->filePath(QStringLiteral("job%1.pdf").arg(++jobNumber)));
            return common::printDocumentJob(printer, document);
        };
        prompts->printChoice = {true, 3, false};
        composerWindow->body->setPlainText(QStringLiteral("印刷する本文"));
        composerWindow->menuItem("mprint")->trigger();
        QCOMPARE(jobNumber, 3);
        for (int job = 1; job <= 3; ++job) {
            const QByteArray pdf = readFile(dir->filePath(QStringLiteral("job%1.pdf").arg(job)));
            QVERIFY(pdf.startsWith("%PDF"));
            QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r"), 1);
        }

        // A printer that fails stops the copies after the first.
        jobNumber = 0;
        prompts->printJobs.clear();
        prompts->onPrintJob = [&](const QTextDocument &document) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir->filePath(QStringLiteral("無い/job.pdf")));
            ++jobNumber;
            return common::printDocumentJob(printer, document);
        };
        QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        composerWindow->commands->runToolBarKey(QStringLiteral("Print"));
        QCOMPARE(jobNumber, 1);
    }

    void closeAndSearchAreSignalled()
    {
        QSignalSpy close(viewerWindow->commands, &EditorCommands::closeRequested);
        QSignalSpy find(viewerWindow->commands, &EditorCommands::findRequested);
        QSignalSpy findNext(viewerWindow->commands, &EditorCommands::findNextRequested);
        viewerWindow->menuItem("mend")->trigger();
        viewerWindow->menuItem("mkensaku")->trigger();
        viewerWindow->menuItem("mtugikensaku")->trigger();
        viewerWindow->menuItem("mtugikensaku")->trigger();
        QCOMPARE(close.count(), 1);
        QCOMPARE(find.count(), 1);
        QCOMPARE(findNext.count(), 2);
        QVERIFY(!composerWindow->menuItem("mkensaku"));
        QVERIFY(!composerWindow->menuItem("msave"));
    }
};

QTEST_MAIN(TestEditorCommands)
#include "tst_EditorCommands.moc"
