#include "compose/ui/WriteForm.h"

#include "addressbook/AddressListModel.h"
#include "common/Prompts.h"
#include "compose/ui/AttachmentRow.h"
#include "compose/ui/InputGate.h"
#include "compose/ui/RecipientBox.h"
#include "compose/ui/WriteForm_p.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

// Sending from the composer: one mail to the recipient typed, or the same
// mail to the whole address book, and what the window shows afterwards.

namespace compose {

using writeform::CrLf;

void WriteForm::Command1_Click()
{
    if (m_sending)
        return;
    m_attachments->prepareForSend();
    m_statusLabel->setText(QString::fromUtf16(SendingText));

    OutgoingDraft draft;
    draft.subject = m_subjectBox->text();
    draft.body = m_body->toPlainText();
    draft.attachments = m_attachments->attachmentPaths();
    draft.withFortune = m_fortuneBox->isChecked();
    // Sending drops any character formatting of the body.
    setBodyText(draft.body);

    const bool allSent = bulkMode() ? sendToWholeBook(draft) : sendOneMail(draft);
    if (allSent)
        finishSent();
}

bool WriteForm::showRefusal(const Submission::Outcome &outcome)
{
    if (!outcome.refused())
        return false;
    common::prompts().inform(outcome.refusal);
    m_statusLabel->clear();
    return true;
}

bool WriteForm::sendOneMail(const OutgoingDraft &draft)
{
    // The recipient goes to the mail layer exactly as typed.
    m_submission->setStoppable(false);
    setSendingState(true);
    const Submission::Outcome outcome =
        m_submission->send(draft, {SendTarget{0, m_recipientBox->toPlainText()}}, Submission::Scope::Everyone);
    setSendingState(false);
    if (showRefusal(outcome))
        return false;
    if (outcome.complete())
        return true;
    common::prompts().inform(outcome.failures.value(0).error, QStringLiteral("送信エラー"));
    // Nothing of the mail is lost: the window keeps what the user wrote.
    setBodyText(draft.body);
    m_statusLabel->setText(QStringLiteral("送信できませんでした。内容を確かめて、もう一度送信して下さい。"));
    return false;
}

bool WriteForm::chooseBulkScope(const QList<SendTarget> &targets, Submission::Scope *scope)
{
    *scope = Submission::Scope::NotYetServed;
    const int served = m_submission->servedAmong(targets);
    if (served == 0)
        return true;
    const int total = int(targets.size());
    common::UserPrompts &prompts = common::prompts();
    if (served < total
        && prompts.askYesNo(QStringLiteral("このメールは、%1 件中 %2 件には送信済みです。").arg(total).arg(served) + CrLf
                                + CrLf
                                + QStringLiteral("まだ送信していない %1 件だけに送信しますか？").arg(total - served),
                            QStringLiteral("確認"), common::PromptIcon::Question))
        return true;
    if (prompts.askOkCancel(QStringLiteral("送信済みの %1 件にも、もう一度同じメールを送信します。").arg(served) + CrLf
                                + QStringLiteral("よろしいですか？"),
                            QStringLiteral("確認"), common::PromptIcon::Question)) {
        *scope = Submission::Scope::Everyone;
        return true;
    }
    m_statusLabel->setText(QStringLiteral("送信しませんでした。"));
    return false;
}

bool WriteForm::sendToWholeBook(const OutgoingDraft &draft)
{
    common::StoreStatus status;
    const QList<SendTarget> targets = bulkTargets(m_store, m_addressModel->rowCount(), &status);
    if (!status) {
        common::prompts().inform(status.message(), QStringLiteral("送信エラー"), common::PromptIcon::Warning);
        m_statusLabel->clear();
        return false;
    }
    if (targets.isEmpty()) {
        common::prompts().inform(
            QStringLiteral("アドレス帳にメールアドレスが登録されていないため、送信しませんでした。"));
        m_statusLabel->clear();
        return false;
    }
    Submission::Scope scope;
    if (!chooseBulkScope(targets, &scope))
        return false;

    m_submission->setStoppable(true);
    setSendingState(true);
    Submission::Outcome outcome;
    {
        // The stop button is taken even while a mail is on its way; the stop
        // itself comes between two mails.
        InputGate gate(m_cancelButton);
        outcome = m_submission->send(draft, targets, scope);
    }
    setSendingState(false);
    if (showRefusal(outcome))
        return false;
    if (outcome.complete())
        return true;

    // What did not go out stays in the window, ready to be sent again.
    setBodyText(draft.body);
    m_recipientBox->setProgramText(QString());
    common::prompts().inform(outcome.summary(), QStringLiteral("送信エラー"));
    const int missing = int(outcome.failures.size()) + outcome.unsent;
    m_statusLabel->setText(
        QStringLiteral("%1 件中 %2 件を送信しました。もう一度「送信」を押すと、まだ送信していない %3 件だけに送信します。")
            .arg(outcome.total)
            .arg(outcome.sent)
            .arg(missing));
    return false;
}

void WriteForm::setSendingState(bool sending)
{
    m_sending = sending;
    if (sending) {
        m_disabledWhileSending.clear();
        // Everything but the stop button waits until the send is over.
        const QList<QWidget *> children = findChildren<QWidget *>();
        for (QWidget *w : children) {
            if (w == m_cancelButton || w == m_buttonFrame || !w->isEnabled() || w->parentWidget() != this)
                continue;
            w->setEnabled(false);
            m_disabledWhileSending.append(w);
        }
        for (QPushButton *b : m_buttonFrame->findChildren<QPushButton *>()) {
            if (b != m_cancelButton && b->isEnabled()) {
                b->setEnabled(false);
                m_disabledWhileSending.append(b);
            }
        }
    } else {
        for (const QPointer<QWidget> &w : std::as_const(m_disabledWhileSending))
            if (w)
                w->setEnabled(true);
        m_disabledWhileSending.clear();
    }
}

void WriteForm::finishSent()
{
    m_statusLabel->setText(QString::fromUtf16(SentText));
    m_recipientBox->setProgramText(QString());
    m_subjectBox->clear();
    m_body->clear();
    m_fortuneBox->setChecked(false);
    m_attachments->pathBox()->clear();
    m_bulkOnOption->setChecked(false);
    close();
}

void WriteForm::Command3_Click()
{
    if (m_sending) {
        m_submission->requestStop();
        m_statusLabel->setText(QStringLiteral("送信を中止しています。送信中のメールが終わるまでお待ち下さい。"));
        return;
    }
    close();
}

} // namespace compose
