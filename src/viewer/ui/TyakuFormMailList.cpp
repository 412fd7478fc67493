#include "viewer/ui/TyakuForm.h"

#include "common/TextHelpers.h"
#include "common/Prompts.h"
#include "receive/MailCheckState.h"
#include "receive/MailStore.h"
#include "viewer/MailDeletion.h"
#include "viewer/MailListModel.h"

#include <QLineEdit>
#include <QScopedValueRollback>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

// The viewer window's list: filling it from the store, showing the chosen or
// handed-over mail, the selection marker and the delete commands.
namespace viewer {
namespace {

// A header box shows its text from the start, however long it is.
void setBoxText(QLineEdit *box, const QString &text)
{
    box->setText(text);
    box->setCursorPosition(0);
}

} // namespace

void TyakuForm::showReceivedMail(const QString &subject, const QString &sender, const QString &date,
                                 const QString &body)
{
    m_shown = ShownMail{0, subject, sender, date, body};
    m_handedOver = true;
    clearListSelection();
    clearSelectionMarker();
    setBoxText(m_subjectBox, subject);
    setBoxText(m_senderBox, sender);
    setBoxText(m_dateBox, date);
    setBody(body);
    if (m_listFilled)
        m_refillTimer->start();
}

void TyakuForm::refillAfterCheck()
{
    // The user may have chosen a mail since; that one stays.
    if (!m_handedOver)
        return;
    // The check goes on storing; the list is read once it has ended.
    if (receive::mailCheckRunning()) {
        m_refillTimer->start();
        return;
    }
    FillMailList();
}

void TyakuForm::refillBeforeShowing(int row)
{
    // A row chosen in the list from before a check that has just ended: the
    // list gains the new mail first (the rows before keep their numbers), and
    // the row chosen stays chosen.
    m_refillTimer->stop();
    FillMailList();
    const QScopedValueRollback filling(m_filling, true);
    const QModelIndex chosen = m_model->index(row - 1, 0);
    m_mailList->selectionModel()->setCurrentIndex(chosen, QItemSelectionModel::ClearAndSelect
                                                              | QItemSelectionModel::Rows);
    m_mailList->scrollTo(chosen);
}

void TyakuForm::clearListSelection()
{
    const QScopedValueRollback filling(m_filling, true);
    m_mailList->selectionModel()->clear();
}

bool TyakuForm::selectionMarked() const
{
    return m_selectionMarker->text() == QLatin1String("1");
}

void TyakuForm::clearSelectionMarker()
{
    m_selectionMarker->clear();
}

int TyakuForm::selectedRecordNumber() const
{
    const QModelIndexList rows = m_mailList->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

bool TyakuForm::shownMailSelected() const
{
    return m_shown.recordNumber > 0 && m_shown.recordNumber == selectedRecordNumber();
}

void TyakuForm::showStoreFailure(const QString &message)
{
    common::prompts().inform(message, QString(), common::PromptIcon::Warning);
}

void TyakuForm::FillMailList()
{
    const QScopedValueRollback filling(m_filling, true);
    m_listFilled = true;
    m_handedOver = false;
    m_shown = ShownMail{};
    m_model->clear();
    setBody(QString());
    receive::MailStore store;
    QList<receive::MailListEntry> entries = store.readMailList();
    if (!store.lastStatus().ok())
        showStoreFailure(store.lastStatus().message());
    if (!entries.isEmpty()) {
        // The list's fields come without the bodies; the last record was read
        // whole into the shared buffer, and only its body is shown.
        const receive::MailRecord &last = receive::CurrentMailRecord;
        showMail({int(entries.size()), last.subject, last.from, last.date, last.body});
    }
    const qsizetype rows = entries.size();
    m_model->setEntries(std::move(entries));
    // The last row is the mail the boxes now show.
    m_mailList->scrollToBottom();
    m_countBox->setText(QString::number(rows));
}

void TyakuForm::showMail(const ShownMail &mail)
{
    m_shown = ShownMail{mail.recordNumber, common::trimBlanks(mail.subject), common::trimBlanks(mail.from),
                        common::trimBlanks(mail.date), common::trimBlanks(mail.body)};
    m_handedOver = false;
    setBoxText(m_subjectBox, m_shown.subject);
    setBoxText(m_senderBox, m_shown.from);
    setBoxText(m_dateBox, m_shown.date);
    setBody(m_shown.body);
    ClipboardRoundTrip();
}

void TyakuForm::ClipboardRoundTrip()
{
    common::UserPrompts &desktop = common::prompts();
    const QString shown = bodyText();
    desktop.setClipboardText(shown);
    const QString back = common::trimBlanks(desktop.clipboardText());
    if (back != shown)
        setBody(back);
}

void TyakuForm::MailListView_Click()
{
    m_selectionMarker->setText(QStringLiteral("1"));
    if (m_countBox->text().toInt() == 0) {
        common::prompts().inform(QStringLiteral("選択するデータがありません。"));
        return;
    }
    const int n = selectedRecordNumber();
    if (n == 0)
        return;
    if (m_refillTimer->isActive() && !receive::mailCheckRunning())
        refillBeforeShowing(n);
    receive::MailStore store;
    const common::RecordRead read = store.GetMailRecord(n);
    if (read == common::RecordRead::Failed) {
        showStoreFailure(store.lastStatus().message());
        return;
    }
    if (read == common::RecordRead::PastEnd)
        return;
    const receive::MailRecord &shown = receive::CurrentMailRecord;
    showMail({n, shown.subject, shown.from, shown.date, shown.body});
}

void TyakuForm::Command3_Click()
{
    const QString notSelected = QStringLiteral("データが選択されていません");
    // Only the mail the boxes show, and only while it is the selected row.
    const int n = shownMailSelected() ? m_shown.recordNumber : 0;
    if (!selectionMarked() || n == 0) {
        common::prompts().inform(notSelected);
        return;
    }
    const bool yes = common::prompts().askYesNo(QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
    m_bodyBox->setFocus();
    clearSelectionMarker();
    if (!yes) {
        setBody(QString());
        return;
    }
    const DeleteOutcome outcome = deleteStoredMail(n, m_model->rowCount());
    if (outcome == DeleteOutcome::Deleted)
        clearReadingFields();
    if (outcome != DeleteOutcome::Kept)
        FillMailList();
}

void TyakuForm::Command6_Click()
{
    if (!common::prompts().askYesNo(QStringLiteral("すべてのデータを削除して良いですか？")))
        return;
    const DeleteOutcome outcome = deleteAllStoredMail(m_model->rowCount());
    if (outcome == DeleteOutcome::KeptListStale)
        FillMailList();
    if (outcome != DeleteOutcome::Deleted)
        return;
    m_model->clear();
    m_shown = ShownMail{};
    m_handedOver = false;
    if (m_host.setMainHelpText)
        m_host.setMainHelpText(QStringLiteral("0"));
    m_countBox->setText(QStringLiteral("0"));
    clearReadingFields();
}

void TyakuForm::clearReadingFields()
{
    m_subjectBox->clear();
    m_senderBox->clear();
    m_dateBox->clear();
    setBody(QString());
}

} // namespace viewer
