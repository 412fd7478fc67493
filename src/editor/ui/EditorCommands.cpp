#include "editor/ui/EditorCommands.h"

#include "common/Prompts.h"
#include "editor/EditorFiles.h"
#include "editor/EditorPrint.h"
#include "editor/EditorState.h"

#include <QAction>
#include <QFont>
#include <QHash>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QToolBar>

namespace viewer {
namespace {

struct ToolButton
{
    const char *key;      // nullptr: a separator
    const char16_t *tip;
    bool viewerOnly;
};

constexpr ToolButton ToolButtons[] = {
    {"New", u"新規作成", false},  {"Open", u"開く", false},     {"Save", u"名前を付けて保存", true},
    {nullptr, nullptr, false},    {"Print", u"印刷", false},    {nullptr, nullptr, false},
    {"Cut", u"切り取り", false},  {"Copy", u"ｺﾋﾟｰ", false},     {"Paste", u"貼り付け", false},
    {nullptr, nullptr, false},    {"Bold", u"太字", false},     {"Italic", u"斜体", false},
    {"Underline", u"下線", false},
};

// Removes leading and trailing blanks (U+0020 only).
QString trimBlanks(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

// Holds a widget's painting for the length of a scope, so an edit shows at once.
class FrozenUpdates
{
public:
    explicit FrozenUpdates(QWidget *widget) : m_widget(widget), m_wasEnabled(widget->updatesEnabled())
    {
        m_widget->setUpdatesEnabled(false);
    }
    ~FrozenUpdates() { m_widget->setUpdatesEnabled(m_wasEnabled); }
    FrozenUpdates(const FrozenUpdates &) = delete;
    FrozenUpdates &operator=(const FrozenUpdates &) = delete;

private:
    QWidget *m_widget;
    bool m_wasEnabled;
};

QString selectedPlainText(const QTextCursor &cursor)
{
    return cursor.hasSelection() ? cursor.selection().toPlainText() : QString();
}

} // namespace

EditorCommands::EditorCommands(QWidget *window, QTextEdit *body, EditorRole role, QObject *parent)
    : QObject(parent ? parent : window), m_window(window), m_body(body), m_role(role)
{
    if (m_role == EditorRole::Viewer)
        connect(m_body, &QTextEdit::textChanged, this, [] { editorState().EditorChanged = true; });
}

void EditorCommands::setSaveAsText(std::function<QString()> text)
{
    m_saveAsText = std::move(text);
}

QAction *EditorCommands::addMenuItem(QWidget *menu, const QString &caption, const char *name)
{
    auto *action = new QAction(caption, menu);
    action->setObjectName(QLatin1String(name));
    menu->addAction(action);
    return action;
}

void EditorCommands::populateMenuBar(QMenuBar *bar)
{
    const bool viewer = m_role == EditorRole::Viewer;

    QMenu *file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("mfairu"));
    connect(addMenuItem(file, QStringLiteral("新規作成"), "mnew"), &QAction::triggered, this,
            &EditorCommands::NewEditorFile);
    connect(addMenuItem(file, QStringLiteral("開く"), "mopen"), &QAction::triggered, this,
            &EditorCommands::openTextFile);
    if (viewer)
        connect(addMenuItem(file, QStringLiteral("名前を付けて保存"), "msave"), &QAction::triggered, this,
                &EditorCommands::saveAs);
    QAction *print = addMenuItem(file, QStringLiteral("印刷"), "mprint");
    // The viewer's menu item is there but prints nothing; its tool-bar button prints.
    if (!viewer)
        connect(print, &QAction::triggered, this, &EditorCommands::PrintEditorText);
    file->addSeparator();
    connect(addMenuItem(file, QStringLiteral("終了"), "mend"), &QAction::triggered, this,
            &EditorCommands::closeRequested);

    QMenu *edit = bar->addMenu(viewer ? QStringLiteral("編集(&E)") : QStringLiteral("編集"));
    edit->setObjectName(QStringLiteral("mhensyu"));
    connect(addMenuItem(edit, QStringLiteral("全て選択"), "mall"), &QAction::triggered, this,
            &EditorCommands::SelectAllText);
    connect(addMenuItem(edit, QStringLiteral("文頭へジャンプ"), "matamajump"), &QAction::triggered, this,
            &EditorCommands::JumpToStart);
    connect(addMenuItem(edit, QStringLiteral("文末へジャンプ"), "mbunmatujump"), &QAction::triggered, this,
            &EditorCommands::JumpToEnd);
    edit->addSeparator();
    if (viewer) {
        connect(addMenuItem(edit, QStringLiteral("検索"), "mkensaku"), &QAction::triggered, this,
                &EditorCommands::findRequested);
        connect(addMenuItem(edit, QStringLiteral("次を検索"), "mtugikensaku"), &QAction::triggered, this,
                &EditorCommands::findNextRequested);
        edit->addSeparator();
    }
    connect(addMenuItem(edit, QStringLiteral("切り取り"), "mcut"), &QAction::triggered, this,
            &EditorCommands::CutSelection);
    connect(addMenuItem(edit, QStringLiteral("コピー"), "mcopy"), &QAction::triggered, this,
            &EditorCommands::CopySelection);
    connect(addMenuItem(edit, QStringLiteral("貼り付け"), "mpaste"), &QAction::triggered, this,
            &EditorCommands::PasteClipboard);
}

QToolBar *EditorCommands::createToolBar(QWidget *parent)
{
    auto *bar = new QToolBar(parent);
    bar->setObjectName(QStringLiteral("tbToolBar"));
    bar->setAccessibleName(QStringLiteral("ツールバー"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const ToolButton &button : ToolButtons) {
        if (!button.key) {
            bar->addSeparator();
            continue;
        }
        if (button.viewerOnly && m_role != EditorRole::Viewer)
            continue;
        const QString key = QString::fromLatin1(button.key);
        const QString tip = QString::fromUtf16(button.tip);
        QAction *action = bar->addAction(QIcon(QStringLiteral(":/editor/%1.png").arg(key)), tip);
        action->setObjectName(key);
        action->setToolTip(tip);
        if (QWidget *widget = bar->widgetForAction(action)) {
            widget->setObjectName(key);
            widget->setAccessibleName(tip);
        }
        connect(action, &QAction::triggered, this, [this, key] { runToolBarKey(key); });
    }
    return bar;
}

void EditorCommands::runToolBarKey(const QString &key)
{
    using Command = void (EditorCommands::*)();
    static const QHash<QString, Command> commands = {
        {QStringLiteral("New"), &EditorCommands::NewEditorFile},
        {QStringLiteral("Open"), &EditorCommands::openTextFile},
        {QStringLiteral("Save"), &EditorCommands::saveAs},
        {QStringLiteral("Print"), &EditorCommands::PrintEditorText},
        {QStringLiteral("Cut"), &EditorCommands::CutSelection},
        {QStringLiteral("Copy"), &EditorCommands::CopySelection},
        {QStringLiteral("Paste"), &EditorCommands::PasteClipboard},
        {QStringLiteral("Bold"), &EditorCommands::toggleBold},
        {QStringLiteral("Italic"), &EditorCommands::toggleItalic},
        {QStringLiteral("Underline"), &EditorCommands::toggleUnderline},
    };
    if (key == QLatin1String("Save") && m_role != EditorRole::Viewer)
        return;
    const auto it = commands.constFind(key);
    if (it != commands.constEnd())
        (this->*it.value())();
}

void EditorCommands::NewEditorFile()
{
    const std::optional<QString> caption =
        viewer::NewEditorFile(m_body->toPlainText(), [this] { m_body->clear(); });
    if (caption && m_window)
        m_window->setWindowTitle(*caption);
}

void EditorCommands::openTextFile()
{
    if (const std::optional<QString> text = LoadTextFileIntoEditor())
        m_body->setPlainText(*text);
}

void EditorCommands::saveAs()
{
    if (m_role != EditorRole::Viewer)
        return;
    if (m_saveAsText)
        m_body->setPlainText(m_saveAsText());
    const QString path = SaveViewerTextAs(m_body->toPlainText());
    if (!path.isEmpty() && m_window)
        m_window->setWindowTitle(path);
}

void EditorCommands::PrintEditorText()
{
    viewer::PrintEditorText(m_body->toPlainText(), selectedPlainText(m_body->textCursor()), m_body->font());
}

void EditorCommands::CutSelection()
{
    {
        FrozenUpdates frozen(m_body);
        QTextCursor cursor = m_body->textCursor();
        common::prompts().setClipboardText(selectedPlainText(cursor));
        cursor.removeSelectedText();
        m_body->setTextCursor(cursor);
    }
    m_body->setFocus();
}

void EditorCommands::CopySelection()
{
    {
        FrozenUpdates frozen(m_body);
        QTextCursor cursor = m_body->textCursor();
        const int caret = cursor.hasSelection() ? cursor.selectionEnd() : 0;
        common::prompts().setClipboardText(selectedPlainText(cursor));
        cursor.setPosition(caret);
        m_body->setTextCursor(cursor);
    }
    m_body->setFocus();
}

void EditorCommands::PasteClipboard()
{
    m_body->setFocus();
    {
        FrozenUpdates frozen(m_body);
        QTextCursor cursor = m_body->textCursor();
        QString text = trimBlanks(common::prompts().clipboardText());
        text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        cursor.insertText(text);
        m_body->setTextCursor(cursor);
    }
    m_body->setFocus();
}

void EditorCommands::SelectAllText()
{
    m_body->selectAll();
}

void EditorCommands::JumpToStart()
{
    QTextCursor cursor = m_body->textCursor();
    cursor.movePosition(QTextCursor::Start);
    m_body->setTextCursor(cursor);
    m_body->setFocus();
}

void EditorCommands::JumpToEnd()
{
    QTextCursor cursor = m_body->textCursor();
    cursor.movePosition(QTextCursor::End);
    m_body->setTextCursor(cursor);
    m_body->setFocus();
}

void EditorCommands::applyFont(const std::function<void(QFont &)> &change)
{
    QFont font = m_body->font();
    change(font);
    m_body->setFont(font);
}

void EditorCommands::toggleBold()
{
    const bool on = advanceStyleToggle(editorState().BoldToggleCount);
    applyFont([on](QFont &font) { font.setBold(on); });
}

void EditorCommands::toggleItalic()
{
    const bool on = advanceStyleToggle(editorState().ItalicToggleCount);
    applyFont([on](QFont &font) { font.setItalic(on); });
}

void EditorCommands::toggleUnderline()
{
    const bool on = advanceStyleToggle(editorState().UnderlineToggleCount);
    applyFont([on](QFont &font) { font.setUnderline(on); });
}

} // namespace viewer
