#pragma once

#include "common/Prompts.h"

#include <QList>
#include <QFont>
#include <functional>
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
        QString kind; // "inform", "ask", "okcancel", "open", "save", "print", "printdialog", "url"
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
    // The print dialog's answer for choosePrintOptions; selectionOnly is
    // honoured only when the dialog offered the selection range.
    common::PrintChoice printChoice{true, 1, true};
    QList<bool> printDialogOffers;    // offerSelection of each print dialog shown
    QStringList printJobs;            // plain text of each print job
    QList<QFont> printJobFonts;       // default font of each print job
    // Called for each print job (e.g. to render it into a PDF); its result is the job's.
    std::function<bool(const QTextDocument &)> onPrintJob;

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
    common::PrintChoice choosePrintOptions(bool offerSelection) override
    {
        shown.append({QStringLiteral("printdialog"), QString(), QString()});
        printDialogOffers << offerSelection;
        common::PrintChoice choice = printChoice;
        choice.selectionOnly = choice.accepted && offerSelection && printChoice.selectionOnly;
        return choice;
    }
    bool printJob(const QTextDocument &document) override;
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

inline bool testsupport::ScriptedPrompts::printJob(const QTextDocument &document)
{
    printJobs << document.toPlainText();
    printJobFonts << document.defaultFont();
    return onPrintJob ? onPrintJob(document) : true;
}
