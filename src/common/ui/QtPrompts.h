#pragma once

#include "common/Prompts.h"

#include <memory>

class QPrinter;
class QWidget;

namespace common {

// The user prompts answered by real Qt dialogs, the clipboard and the printer.
class QtPrompts final : public UserPrompts
{
public:
    QtPrompts();
    ~QtPrompts() override;

    void inform(const QString &text, const QString &title, PromptIcon icon) override;
    bool askYesNo(const QString &text, const QString &title, PromptIcon icon) override;
    bool askYesNoDefaultNo(const QString &text, const QString &title, PromptIcon icon) override;
    bool askOkCancel(const QString &text, const QString &title, PromptIcon icon) override;
    QString chooseOpenFile(const QString &title, const QString &filter) override;
    QString chooseSaveFile(const QString &title, const QString &filter) override;
    void setClipboardText(const QString &text) override;
    QString clipboardText() override;
    bool print(const QTextDocument &document) override;
    PrintChoice choosePrintOptions(bool offerSelection) override;
    bool printJob(const QTextDocument &document) override;
    void openUrl(const QString &url) override;

private:
    std::unique_ptr<QPrinter> m_printer; // the printer of the last print dialog
};

// Prints document on printer as one print job; false when the printer could
// not be started or reported an error.
bool printDocumentJob(QPrinter &printer, const QTextDocument &document);

} // namespace common
