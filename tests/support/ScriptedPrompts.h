#pragma once

#include "common/Prompts.h"

#include <QList>
#include <QQueue>
#include <QStringList>

namespace testsupport {

// User prompts for tests: answers come from queues, and every question asked
// is recorded so the test can check the exact Japanese texts.
class ScriptedPrompts final : public common::UserPrompts
{
public:
    struct Shown
    {
        QString kind; // "inform", "ask", "okcancel", "open", "save", "print", "url"
        QString text;
        QString title;
        common::PromptIcon icon = common::PromptIcon::None;
    };

    ScriptedPrompts() { common::setPrompts(this); }
    ~ScriptedPrompts() override { common::setPrompts(nullptr); }

    QQueue<bool> yesNoAnswers;        // an empty queue answers "no"
    QQueue<QString> fileAnswers;      // an empty queue cancels
    QQueue<bool> okCancelAnswers;     // an empty queue answers "cancel"
    bool printAnswer = true;
    QList<Shown> shown;
    QString clipboard;
    QStringList printed;              // plain text of each printed document

    void inform(const QString &text, const QString &title, common::PromptIcon icon) override
    {
        shown.append({QStringLiteral("inform"), text, title, icon});
    }
    bool askYesNo(const QString &text, const QString &title, common::PromptIcon icon) override
    {
        shown.append({QStringLiteral("ask"), text, title, icon});
        return yesNoAnswers.isEmpty() ? false : yesNoAnswers.dequeue();
    }
    bool askOkCancel(const QString &text, const QString &title, common::PromptIcon icon) override
    {
        shown.append({QStringLiteral("okcancel"), text, title, icon});
        return okCancelAnswers.isEmpty() ? false : okCancelAnswers.dequeue();
    }
    QString chooseOpenFile(const QString &title, const QString &filter) override
    {
        shown.append({QStringLiteral("open"), filter, title});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
    }
    QString chooseSaveFile(const QString &title, const QString &filter) override
    {
        shown.append({QStringLiteral("save"), filter, title});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
    }
    void setClipboardText(const QString &text) override { clipboard = text; }
    QString clipboardText() override { return clipboard; }
    bool print(const QTextDocument &document) override;
    void openUrl(const QString &url) override { shown.append({QStringLiteral("url"), url, QString()}); }

    // Texts of the message boxes shown, in order.
    [[nodiscard]] QStringList informTexts() const
    {
        QStringList out;
        for (const Shown &s : shown)
            if (s.kind == QLatin1String("inform"))
                out << s.text;
        return out;
    }
};

} // namespace testsupport

#include <QTextDocument>

inline bool testsupport::ScriptedPrompts::print(const QTextDocument &document)
{
    shown.append({QStringLiteral("print"), document.toPlainText(), QString()});
    if (printAnswer)
        printed << document.toPlainText();
    return printAnswer;
}
