#include "compose/ui/WriteForm.h"

#include "addressbook/AddressListModel.h"
#include "common/FixedText.h"
#include "common/Prompts.h"
#include "common/TextHelpers.h"
#include "compose/Greetings.h"
#include "compose/Submission.h"
#include "compose/ui/AttachmentRow.h"
#include "compose/ui/RecipientBox.h"
#include "compose/ui/WriteForm_p.h"
#include "habitat/LitterTick.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

namespace compose {

using namespace writeform;

namespace {

int widthToggleCount = 0;

constexpr int px(int twips)
{
    return twips / 15;
}

const QColor White(255, 255, 255);
const QColor BulkListGreen(0, 128, 0);
const QColor BulkRecipientBlue(213, 239, 255);

constexpr int HelpPaneTop = 4600;         // twips, over the lower body
constexpr int HiddenHelpPaneTop = -4000;  // twips, out of sight

QString forDisplay(QString text)
{
    return text.replace(CrLf, QStringLiteral("\n"));
}

void setBase(QWidget *w, const QColor &colour)
{
    QPalette palette = w->palette();
    palette.setColor(QPalette::Base, colour);
    w->setPalette(palette);
}

} // namespace

WriteForm::WriteForm(bool helpDisplay, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("WriteForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("新規作成"));
    createControls();
    setOuterWidth(FullWidthTwips);
    Form_Load(helpDisplay);

    m_submission = new Submission(false, this);
    connect(m_submission, &Submission::sending, this, [this](int pass, int total, const SendTarget &target) {
        if (!bulkMode())
            return;
        m_recipientBox->setProgramText(target.address);
        m_statusLabel->setText(sendingText(pass, total));
    });
    connect(m_submission, &Submission::done, this, [this](const SendResult &result) {
        // Each mail carries its own fortune; the body box shows the one just sent.
        if (m_fortuneBox->isChecked())
            setBodyText(result.body);
    });

    // The window opens with the cursor in "宛先". "送信" never takes Return
    // and a click does not leave the focus on it; Tab and Space still reach it.
    m_sendButton->setAutoDefault(false);
    m_sendButton->setFocusPolicy(Qt::TabFocus);
    m_recipientBox->setFocus(Qt::OtherFocusReason);
}

WriteForm::~WriteForm() = default;

void WriteForm::Form_Load(bool helpDisplay)
{
    habitat::litterTick().pause();
    setBase(m_addressList, White);
    setBase(m_recipientBox, White);
    m_attachments->titleList()->hide();
    m_greetingBox->addItems(greetingPhrases());
    m_greetingBox->setCurrentIndex(-1);
    m_greetingBox->clearEditText();
    m_greetingChosen = false;

    m_helpPane->setGeometry(6, px(helpDisplay ? HelpPaneTop : HiddenHelpPaneTop), MailWidth, 150);
    m_helpPane->setVisible(helpDisplay);

    // The book is read in one pass; a missing book is created empty.
    if (const common::StoreStatus status = m_store.createIfMissing(); !status)
        common::prompts().inform(status.message(), QString(), common::PromptIcon::Warning);
    if (const common::StoreStatus status = m_addressModel->reload(m_store); !status)
        common::prompts().inform(status.message(), QString(), common::PromptIcon::Warning);
    m_countBox->setText(QString::number(m_addressModel->rowCount()));
}

void WriteForm::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    habitat::litterTick().resume();
}

void WriteForm::closeEvent(QCloseEvent *event)
{
    // The close box during a bulk send stops it after the mail on its way.
    if (m_sending) {
        m_submission->requestStop();
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void WriteForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The frame's size is known once the window is on the screen.
    setOuterWidth(m_outerWidthTwips);
}

bool WriteForm::bulkMode() const
{
    return m_bulkOnOption->isChecked();
}

int WriteForm::widthToggleClicks()
{
    return widthToggleCount;
}

void WriteForm::resetWidthToggleClicks()
{
    widthToggleCount = 0;
}

// --- address pane and the small buttons ------------------------------------

void WriteForm::List1_MouseDown()
{
    const QModelIndex current = m_addressList->currentIndex();
    if (!current.isValid() || !m_addressList->selectionModel()->isSelected(current)) {
        common::prompts().inform(QStringLiteral("データが選択されていません"), QString(), common::PromptIcon::Warning);
        m_addressList->setFocus();
        return;
    }
    const common::RecordRead read = m_store.GetAddressRecord(m_addressModel->recordNumber(current));
    if (read == common::RecordRead::Failed) {
        common::prompts().inform(m_store.lastStatus().message(), QString(), common::PromptIcon::Warning);
        return;
    }
    if (read != common::RecordRead::Read)
        return; // the entry has gone from the book since the list was read
    m_recipientBox->setProgramText(common::trimBlanks(addressbook::CurrentAddressRecord.address.left(60)));
}

void WriteForm::Option2_Click()
{
    m_bulkOnOption->setChecked(true);
    m_bulkOffOption->setChecked(false);
    m_recipientBox->setProgramText(QString());
    m_recipientBox->setEnabled(false);
    setRecipientBoxLook(true);
    setAddressListColour(true);
    const bool yes = common::prompts().askYesNo(
        QStringLiteral("アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信します。") + CrLf + CrLf
            + QStringLiteral("件名、本文入力完了後、送信ボタンをクリックして下さい。"),
        QStringLiteral("確認"), common::PromptIcon::Question);
    if (yes)
        return;
    setAddressListColour(false);
    setRecipientBoxLook(false);
    m_bulkOnOption->setChecked(false);
}

void WriteForm::Option1_Click()
{
    m_bulkOffOption->setChecked(true);
    m_bulkOnOption->setChecked(false);
    m_recipientBox->setProgramText(QString());
    setAddressListColour(false);
    m_recipientBox->setEnabled(true);
    setRecipientBoxLook(false);
}

void WriteForm::Command6_Click()
{
    setAddressListColour(false);
    if (widthToggleCount % 2 == 0) {
        m_widthButton->setText(QStringLiteral("　　サイズ大"));
        setOuterWidth(NarrowWidthTwips);
    } else {
        m_widthButton->setText(QStringLiteral("　　サイズ小"));
        setOuterWidth(FullWidthTwips);
    }
    ++widthToggleCount;
}

void WriteForm::Command11_Click()
{
    // A new mail: nobody has had it yet.
    m_submission->forgetServed();
    m_recipientBox->setProgramText(QString());
    m_subjectBox->clear();
    m_body->clear();
    m_bulkOnOption->setChecked(false);
    m_attachments->clear();
    m_fortuneBox->setChecked(false);
    setAddressListColour(false);
    setRecipientBoxLook(false);
}

bool WriteForm::fillFromLink(const QString &to, const QString &subject, const QString &body)
{
    if (m_sending)
        return false;
    const bool begun = !m_recipientBox->toPlainText().isEmpty() || !m_subjectBox->text().isEmpty()
                       || !m_body->toPlainText().isEmpty();
    if (begun
        && !common::prompts().askYesNo(
            QStringLiteral("書きかけのメールを、リンクの宛先・件名・本文で置き換えますか？")))
        return false;
    m_recipientBox->setProgramText(to);
    m_subjectBox->setText(subject);
    setBodyText(body);
    m_body->setFocus();
    return true;
}

void WriteForm::Command5_Click()
{
    m_body->textCursor().insertText(common::trimBlanks(common::prompts().clipboardText()));
    m_body->setFocus();
}

void WriteForm::Command7_Click()
{
    m_recipientBox->insertProgramText(
        common::trimBlanks(common::withoutLineBreaks(common::prompts().clipboardText())));
    m_recipientBox->setFocus();
}

void WriteForm::Combo1_LostFocus()
{
    // Only a greeting the user chose (or typed) since the box last had its say
    // goes in; it is put at the head of the body, before what is there, as
    // one step the body's undo takes back.
    const QString greeting = m_greetingBox->currentText();
    if (!m_greetingChosen || greeting.isEmpty())
        return;
    m_greetingChosen = false;
    QTextCursor cursor(m_body->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.beginEditBlock();
    cursor.insertText(m_body->document()->isEmpty() ? greeting : greeting + QLatin1Char('\n'));
    cursor.endEditBlock();
    m_body->setTextCursor(cursor);
}

// --- helpers ---------------------------------------------------------------

void WriteForm::setBodyText(const QString &text)
{
    m_body->setPlainText(forDisplay(text));
}

void WriteForm::setOuterWidth(int twips)
{
    m_outerWidthTwips = twips;
    const int frameExtra = frameGeometry().width() - geometry().width();
    const QSize size(px(twips) - frameExtra, FormHeight);
    if (size != this->size() || minimumSize() != size || maximumSize() != size)
        setFixedSize(size);
}

void WriteForm::setRecipientBoxLook(bool bulk)
{
    setBase(m_recipientBox, bulk ? BulkRecipientBlue : White);
}

void WriteForm::setAddressListColour(bool bulk)
{
    setBase(m_addressList, bulk ? BulkListGreen : White);
}

void WriteForm::showHelp(QObject *control)
{
    const auto it = m_helpTexts.constFind(control);
    if (it == m_helpTexts.cend())
        return;
    m_helpPane->setPlainText(forDisplay(it.value()));
    m_helpPane->show();
    m_helpPane->raise();
}

bool WriteForm::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::Enter:
        if (watched == m_body->viewport() || watched == m_buttonFrame || watched == m_pasteRecipientPicture)
            m_helpPane->hide();
        else
            showHelp(watched);
        break;
    case QEvent::MouseButtonPress:
        if (watched == m_pasteRecipientPicture) {
            m_pasteRecipientButton->click();
            return true;
        }
        // A press beside the entries of the address list still takes the selected one.
        if (watched == m_addressList->viewport()) {
            const auto *press = static_cast<QMouseEvent *>(event);
            if (!m_addressList->indexAt(press->position().toPoint()).isValid())
                List1_MouseDown();
        }
        break;
    case QEvent::FocusOut:
        if (watched == m_greetingBox) {
            // Opening the drop-down or switching to another program is not leaving the box.
            const auto reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
                Combo1_LostFocus();
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace compose
