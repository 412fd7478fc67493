#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QColor;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace compose {

// The attachment controls of the composer and the reply window, created on
// the window given and placed by it: the first-file button `AttachCommand`,
// "追加" `Command9`, "取り消し" `Command10`, the path box `AttachText`, the
// list of file names `List2` (hidden at first; it may lie over other rows)
// and, where the window has it, the list toggle "リスト" `Command16`.
//
// `AttachText` holds the attachment list, full paths joined by "," (a path
// with a comma in double quotes, see AttachmentList.h), and is an ordinary
// text box: whatever the user types there is the list that is sent, and the
// list of names always shows exactly those files.
//
// Enabled states:
//   freshly created:           attach, add, clear enabled
//   after attach:              attach disabled, add enabled, clear unchanged
//   after clear():             attach enabled, add and clear disabled
// Nothing enables "取り消し" again until the window is loaded anew.
class AttachmentRow final : public QObject
{
    Q_OBJECT
public:
    enum class ListToggle { Absent, Present };

    // attachCaption: "添付File" in the composer, "添付" in the reply window.
    AttachmentRow(QWidget *window, const QString &attachCaption, ListToggle toggle);

    // The comma-joined paths, exactly as the path box holds them.
    [[nodiscard]] QString attachmentList() const;
    // The paths that list names, the ones a send attaches.
    [[nodiscard]] QStringList attachmentPaths() const;

    // "添付File": enables "追加", picks a file (adding its path to the list,
    // which a fresh window has empty, and its title to the list box, which
    // stays hidden), then disables itself whether or not a file was chosen.
    void AttachCommand_Click();
    // "追加": shows the list box; with an empty path box nothing more,
    // otherwise picks a further file and appends it.
    void Command9_Click();
    // "取り消し": empties the path box, clears and hides the list box,
    // disables "追加" and "取り消し", enables the first-file button.
    void Command10_Click();
    // "リスト": hides or shows the list box, by the process-wide click count.
    void Command16_Click();

    // What a window's reset does to the attachments (the same as "取り消し").
    void clear() { Command10_Click(); }
    // What the send does first: "追加" disabled, list box hidden, first-file
    // button enabled.
    void prepareForSend();

    [[nodiscard]] QPushButton *attachButton() const { return m_attach; }   // AttachCommand
    [[nodiscard]] QPushButton *addButton() const { return m_add; }         // Command9
    [[nodiscard]] QPushButton *clearButton() const { return m_clear; }     // Command10
    [[nodiscard]] QPushButton *listToggleButton() const { return m_toggle; } // Command16, or null
    [[nodiscard]] QLineEdit *pathBox() const { return m_paths; }           // AttachText
    [[nodiscard]] QListWidget *titleList() const { return m_titles; }      // List2

    // Clicks on "リスト" since the process started; it survives the window.
    [[nodiscard]] static int listToggleClicks();
    // For tests that start a fresh "process".
    static void resetListToggleClicks();

private:
    // The file-open dialog through the prompts; an empty text when cancelled.
    QString pickFile();
    // Adds path to the end of the list.
    void addPicked(const QString &path);
    void showTitles();
    void paintToggle(const QColor &colour, const QString &caption);

    QPushButton *m_attach;
    QPushButton *m_add;
    QPushButton *m_clear;
    QPushButton *m_toggle = nullptr;
    QLineEdit *m_paths;
    QListWidget *m_titles;
};

} // namespace compose
