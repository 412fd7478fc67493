// Saves pictures of the shared pieces that the mail windows are built on: a
// small list with the coloured header (as it is, and with a section held
// down), and a window carrying the editor's menus and tool bar in each role.
// usage: glimra_editor_screens <output folder>   (run under a virtual X server)
#include "common/ui/HeaderColouring.h"
#include "editor/ui/EditorCommands.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QMenuBar>
#include <QStandardItemModel>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <cstdio>

namespace {

void save(QWidget *window, const QDir &out, const char *name)
{
    QApplication::processEvents();
    window->grab().save(out.filePath(QLatin1String(name)));
}

void fillList(QStandardItemModel &model)
{
    model.setHorizontalHeaderLabels({QStringLiteral("Subject"), QStringLiteral("From"), QStringLiteral("Date")});
    const char16_t *rows[][3] = {
        {u"会議の議事録について", u"山田 太郎 <yamada@example.jp>", u"Mon, 7 Dec 2026 09:12:44 +0900"},
        {u"見積書送付のご案内", u"鈴木商事 営業部 <sales@suzuki.example.jp>", u"Tue, 8 Dec 2026 14:03:10 +0900"},
        {u"Re: 忘年会の出欠", u"佐藤 花子 <hanako@example.ne.jp>", u"Wed, 9 Dec 2026 18:30:02 +0900"},
    };
    for (const auto &row : rows)
        model.appendRow({new QStandardItem(QString::fromUtf16(row[0])), new QStandardItem(QString::fromUtf16(row[1])),
                         new QStandardItem(QString::fromUtf16(row[2]))});
}

void editorWindow(viewer::EditorRole role, const QDir &out, const char *name)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("editor"));
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *body = new QTextEdit(&window);
    body->setFont(QFont(QStringLiteral("IPAPGothic"), 9));
    auto *commands = new viewer::EditorCommands(&window, body, role);
    auto *bar = new QMenuBar(&window);
    commands->populateMenuBar(bar);
    layout->setMenuBar(bar);
    layout->addWidget(commands->createToolBar(&window));
    layout->addWidget(body);
    body->setPlainText(QStringLiteral("Subject:  会議の議事録について\nFrom:  山田 太郎\n\n本文の一行目です。"));
    commands->toggleBold();
    window.resize(420, 200);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    save(&window, out, name);
    // The edit menu opened, to see its items.
    QMenu *edit = bar->findChild<QMenu *>(QStringLiteral("mhensyu"));
    edit->popup(window.mapToGlobal(QPoint(60, 20)));
    QTest::qWait(200);
    edit->grab().save(out.filePath(QStringLiteral("edit-menu-") + QLatin1String(name)));
    edit->close();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: glimra_editor_screens <output folder>\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("."));
    QApplication::setFont(QFont(QStringLiteral("IPAPGothic"), 9));

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    QStandardItemModel model;
    fillList(model);
    auto *list = new QTreeView(&window);
    list->setObjectName(QStringLiteral("MailListView"));
    list->setRootIsDecorated(false);
    list->setModel(&model);
    list->header()->resizeSection(0, 150);
    list->header()->resizeSection(1, 200);
    layout->addWidget(list);
    window.resize(560, 150);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    save(&window, out, "list-plain.png");
    common::InstallHeaderColouring(list);
    save(&window, out, "list-coloured.png");
    QWidget *viewport = list->header()->viewport();
    const QPoint middle(list->header()->sectionViewportPosition(1) + 40, list->header()->height() / 2);
    QTest::mousePress(viewport, Qt::LeftButton, {}, middle);
    save(&window, out, "list-pressed.png");
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, middle);
    common::RemoveHeaderColouring(list);
    save(&window, out, "list-removed.png");

    editorWindow(viewer::EditorRole::Viewer, out, "editor-viewer.png");
    editorWindow(viewer::EditorRole::Composer, out, "editor-composer.png");
    return 0;
}
