#pragma once

#include "common/Prompts.h"

class QWidget;

namespace common {

// The user prompts answered by real Qt dialogs, the clipboard and the printer.
class QtPrompts final : public UserPrompts
{
public:
    void inform(const QString &text, const QString &title, PromptIcon icon) override;
    bool askYesNo(const QString &text, const QString &title, PromptIcon icon) override;
    bool askOkCancel(const QString &text, const QString &title, PromptIcon icon) override;
    QString chooseOpenFile(const QString &title, const QString &filter) override;
    QString chooseSaveFile(const QString &title, const QString &filter) override;
    void setClipboardText(const QString &text) override;
    QString clipboardText() override;
    bool print(const QTextDocument &document) override;
    void openUrl(const QString &url) override;
};

} // namespace common
