#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenuBar;
class QTextEdit;
class QToolBar;
class QWidget;

namespace viewer {

// Which window carries the editor: the viewer (received mail) or the composer.
enum class EditorRole { Viewer, Composer };

// The small text editor around a window's body box: the file and edit menus,
// the tool bar and their commands. The viewer and the composer each own one;
// both share the process's EditorState, so "New" and the style toggles in one
// window change what the same command does next in the other.
//
// Role differences: only the viewer has save-as ("msave", key "Save") and the
// search items; the viewer's menu item "印刷" does nothing (its tool-bar
// "Print" prints); in the viewer every change of the body text sets
// EditorChanged, in the composer never.
//
// The style toggles set the body box's font with QWidget::setFont, so the
// window must not give the body box its font through a style sheet.
class EditorCommands : public QObject
{
    Q_OBJECT
public:
    EditorCommands(QWidget *window, QTextEdit *body, EditorRole role, QObject *parent = nullptr);

    // Adds "ファイル(&F)" and the edit menu to bar.
    void populateMenuBar(QMenuBar *bar);
    // The tool bar "tbToolBar"; each button's action and widget are named by its key.
    QToolBar *createToolBar(QWidget *parent);
    // Runs the command of a tool-bar key; a key that names no command does nothing.
    void runToolBarKey(const QString &key);
    // The text that save-as puts into the body box before saving it (the
    // viewer gives ComposeHeaderText over its boxes); unset, the body is saved as it is.
    void setSaveAsText(std::function<QString()> text);

    [[nodiscard]] EditorRole role() const { return m_role; }
    [[nodiscard]] QTextEdit *body() const { return m_body; }

public Q_SLOTS:
    void NewEditorFile();
    void openTextFile();
    void saveAs();
    void PrintEditorText();
    void CutSelection();
    void CopySelection();
    void PasteClipboard();
    void SelectAllText();
    void JumpToStart();
    void JumpToEnd();
    void toggleBold();
    void toggleItalic();
    void toggleUnderline();

Q_SIGNALS:
    void closeRequested();    // "終了": the window closes itself with its own closing steps
    void findRequested();     // "検索" (viewer only)
    void findNextRequested(); // "次を検索" (viewer only)

private:
    QAction *addMenuItem(QWidget *menu, const QString &caption, const char *name);
    void applyFont(const std::function<void(QFont &)> &change);

    QWidget *m_window;
    QTextEdit *m_body;
    EditorRole m_role;
    std::function<QString()> m_saveAsText;
};

} // namespace viewer
