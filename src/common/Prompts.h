#pragma once

#include <QString>
#include <QStringList>

class QTextDocument;

namespace common {

enum class PromptIcon { None, Information, Warning, Critical, Question };

// What the user chose in the print dialog.
struct PrintChoice
{
    bool accepted = false;      // false when the dialog was cancelled or failed
    int copies = 1;             // number of copies asked for, at least 1
    bool selectionOnly = false; // the selection range was chosen
};

// Everything the logic asks of the user or of the desktop: message boxes, file
// dialogs, the clipboard and the printer. Every text handed to a box is shown
// as plain text, never as markup: much of it comes from mails, file names and
// servers. The program answers with real Qt
// dialogs; tests answer from a script and record what was asked.
class UserPrompts
{
public:
    virtual ~UserPrompts() = default;

    // A message box with an OK button. An empty title means the application title.
    virtual void inform(const QString &text, const QString &title = {}, PromptIcon icon = PromptIcon::None) = 0;
    // A yes-or-no question; true for yes. The title defaults to "確認".
    virtual bool askYesNo(const QString &text, const QString &title = QStringLiteral("確認"),
                          PromptIcon icon = PromptIcon::Question) = 0;
    // A yes-or-no question about a risk, whose default answer (Return, Esc,
    // closing the box) is no. The title defaults to "確認".
    virtual bool askYesNoDefaultNo(const QString &text, const QString &title = QStringLiteral("確認"),
                                   PromptIcon icon = PromptIcon::Warning)
    {
        return askYesNo(text, title, icon);
    }
    // A box with the buttons OK and Cancel; true for OK. An empty title means
    // the application title. Answers Cancel unless a prompt of the desktop
    // or of a test says otherwise.
    virtual bool askOkCancel(const QString &text, const QString &title = {}, PromptIcon icon = PromptIcon::Warning)
    {
        (void)text;
        (void)title;
        (void)icon;
        return false;
    }
    // A file to open or to save; an empty text when the user cancels.
    virtual QString chooseOpenFile(const QString &title, const QString &filter) = 0;
    virtual QString chooseSaveFile(const QString &title, const QString &filter) = 0;
    // Plain text onto the clipboard, and from it.
    virtual void setClipboardText(const QString &text) = 0;
    virtual QString clipboardText() = 0;
    // Prints a document after the print dialog; false when the user cancels.
    virtual bool print(const QTextDocument &document) = 0;
    // Shows the print dialog. With offerSelection the dialog offers the
    // selection range, already chosen; without it the range is disabled. The
    // page range is not offered. The printer chosen stays for printJob.
    virtual PrintChoice choosePrintOptions(bool offerSelection)
    {
        (void)offerSelection;
        return {};
    }
    // Prints document as one print job of one copy on the printer chosen in
    // the last print dialog; false when the job could not be printed.
    virtual bool printJob(const QTextDocument &document)
    {
        (void)document;
        return false;
    }
    // Opens an address in the user's web browser.
    virtual void openUrl(const QString &url) = 0;
};

// The process's prompts; the program installs the Qt ones at start-up.
UserPrompts &prompts();
void setPrompts(UserPrompts *prompts);
// Whether prompts are installed (a layer used without a user asks nothing).
[[nodiscard]] bool hasPrompts();

} // namespace common
