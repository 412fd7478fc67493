#include "compose/ui/BackForm.h"

#include "common/Prompts.h"
#include "common/TextHelpers.h"
#include "common/ui/FormKit.h"
#include "common/ui/OneLineBox.h"
#include "compose/Submission.h"
#include "compose/ui/AttachmentRow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>

namespace compose {
namespace {

using common::twipsRect;

// Window measures are kept in twips, as the layout rules give them.
int px(double twips)
{
    return common::twipsToPixels(twips);
}

// The design size, in twips, of the window as it first opens.
constexpr int DesignWidth = 9600;
constexpr int DesignHeight = 8400;

constexpr int FieldLeft = 1080;
constexpr int AttachTop = 1280;
constexpr int BoxHeight = 330;
constexpr int BodyTop = 1700;

QLineEdit *addField(QWidget *form, const QString &caption, const QString &name, int top, QLabel **label)
{
    auto *edit = new QLineEdit(form);
    edit->setObjectName(name);
    edit->setGeometry(twipsRect(FieldLeft, top, 6000, BoxHeight));
    *label = new QLabel(caption, form);
    (*label)->setObjectName(name + QStringLiteral("Label"));
    (*label)->setGeometry(twipsRect(120, top + 30, FieldLeft - 160, BoxHeight - 30));
    (*label)->setBuddy(edit);
    edit->setAccessibleName(caption);
    common::makeOneLine(edit);
    return edit;
}

} // namespace

BackForm::BackForm(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("BackForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("返事を書く"));

    m_sendButton = common::addButton(this, QStringLiteral("    送信"), "Command2", twipsRect(120, 60, 1335, 375));
    m_cancelButton =
        common::addButton(this, QStringLiteral("     送信中止"), "Command3", twipsRect(1560, 60, 1455, 375));
    m_pasteBodyButton =
        common::addButton(this, QStringLiteral("     本文に貼付"), "Command4", twipsRect(3120, 60, 1575, 375));
    // The captions' leading blanks leave room for a picture; a screen reader says them without.
    for (QPushButton *button : {m_sendButton, m_cancelButton, m_pasteBodyButton})
        button->setAccessibleName(button->text().trimmed());

    m_toText = addField(this, QStringLiteral("宛先"), QStringLiteral("ToText"), 520, &m_toLabel);
    m_subjectText = addField(this, QStringLiteral("題名"), QStringLiteral("SubjectText"), 900, &m_subjectLabel);
    m_attachments = new AttachmentRow(this, QStringLiteral("添付"), AttachmentRow::ListToggle::Absent);
    m_attachLabel = new QLabel(QStringLiteral("添付File"), this);
    m_attachLabel->setObjectName(QStringLiteral("AttachTextLabel"));
    m_attachLabel->setGeometry(twipsRect(120, AttachTop + 30, FieldLeft - 160, BoxHeight - 30));
    m_attachLabel->setBuddy(m_attachments->pathBox());
    for (QPushButton *button : {m_attachments->attachButton(), m_attachments->addButton(), m_attachments->clearButton()}) {
        button->setAccessibleName(button->text());
        button->setAutoDefault(true);
    }

    m_bodyText = new QTextEdit(this);
    m_bodyText->setObjectName(QStringLiteral("BodyText"));
    m_bodyText->setAccessibleName(QStringLiteral("本文"));
    // The reply goes out as plain text; pasted formatting would only mislead.
    m_bodyText->setAcceptRichText(false);

    // The list of file names lies over the upper part of the body.
    m_attachments->titleList()->raise();

    setTabOrder(m_toText, m_subjectText);
    setTabOrder(m_subjectText, m_bodyText);

    // The window opens with the cursor in the body. "送信" never takes Return
    // and a click does not leave the focus on it, so that a key pressed in
    // the wrong window cannot send the reply; Tab and Space still reach it.
    m_sendButton->setAutoDefault(false);
    m_sendButton->setFocusPolicy(Qt::TabFocus);
    m_bodyText->setFocus(Qt::OtherFocusReason);

    m_submission = new Submission(false, this);

    connect(m_sendButton, &QPushButton::clicked, this, &BackForm::Command2_Click);
    connect(m_cancelButton, &QPushButton::clicked, this, &BackForm::Command3_Click);
    connect(m_pasteBodyButton, &QPushButton::clicked, this, &BackForm::Command4_Click);

    resize(px(DesignWidth), px(DesignHeight));
    Form_Load();
    Form_Resize();
}

void BackForm::Form_Load()
{
    // The attachment row starts with its three buttons enabled and the list hidden.
    QLineEdit *paths = m_attachments->pathBox();
    paths->setGeometry(twipsRect(FieldLeft, AttachTop, 2800, BoxHeight));
    m_attachments->titleList()->hide();
}

void BackForm::Form_Resize()
{
    // The rules speak of the outer size; without a frame it is the client size.
    const QSize outer = isWindow() && frameGeometry().size().isValid() ? frameGeometry().size() : size();
    const double w = common::pixelsToTwips(outer.width());
    const double h = common::pixelsToTwips(outer.height());

    m_bodyText->setGeometry(QRect(px(30), px(BodyTop), px(0.99 * w), px(0.74 * h)));
    for (QLineEdit *box : {m_toText, m_subjectText}) {
        QRect r = box->geometry();
        r.setWidth(px(0.7 * w));
        box->setGeometry(r);
    }
    const double attachWidth = 0.4 * w;
    m_attachments->pathBox()->setGeometry(QRect(px(FieldLeft), px(AttachTop), px(attachWidth), px(BoxHeight)));
    m_attachments->attachButton()->setGeometry(
        QRect(px(attachWidth + 1240), px(AttachTop - 15), px(780), px(BoxHeight + 30)));
    m_attachments->addButton()->setGeometry(QRect(px(attachWidth + 2060), px(AttachTop - 15), px(840), px(BoxHeight + 30)));
    m_attachments->clearButton()->setGeometry(
        QRect(px(attachWidth + 2940), px(AttachTop - 15), px(1020), px(BoxHeight + 30)));
    m_attachments->titleList()->setGeometry(
        QRect(px(FieldLeft), px(AttachTop + BoxHeight + 15), px(attachWidth), px(1500)));
}

void BackForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void BackForm::closeEvent(QCloseEvent *event)
{
    // A send holds the window until the mail layer returns.
    if (m_submission->running()) {
        event->ignore();
        return;
    }
    m_bodyText->clear();
    QWidget::closeEvent(event);
}

void BackForm::startReply(const QString &subject, const QString &recipient, const QString &body,
                          const QString &answeredBody)
{
    m_answeredBody = answeredBody;
    m_subjectText->setText(subject);
    m_toText->setText(recipient);
    m_bodyText->setPlainText(body);
}

void BackForm::Command2_Click()
{
    if (m_submission->running())
        return;
    OutgoingDraft draft;
    draft.subject = m_subjectText->text();
    draft.body = m_bodyText->toPlainText();
    draft.attachments = m_attachments->attachmentPaths();
    const QList<QPushButton *> buttons{m_sendButton, m_cancelButton, m_pasteBodyButton};
    for (QPushButton *button : buttons)
        button->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Submission::Outcome outcome = m_submission->send(draft, {SendTarget{0, m_toText->text()}});
    QApplication::restoreOverrideCursor();
    for (QPushButton *button : buttons)
        button->setEnabled(true);

    if (outcome.refused()) {
        common::prompts().inform(outcome.refusal, QString(), common::PromptIcon::Information);
        return;
    }
    if (!outcome.complete()) {
        common::prompts().inform(outcome.failures.value(0).error, QStringLiteral("送信エラー"),
                                 common::PromptIcon::Warning);
        // The reply stays as it is, so that it can be corrected and sent again.
        return;
    }
    close();
}

void BackForm::Command3_Click()
{
    close();
}

void BackForm::Command4_Click()
{
    // The clipboard's text, three line breaks and one more, then the answered
    // mail's body go in at the cursor, as one step that undo takes back; what
    // the user wrote stays. The clipboard then holds the whole body.
    common::UserPrompts &prompts = common::prompts();
    QString pasted = common::trimBlanks(prompts.clipboardText() + QStringLiteral("\r\n\r\n\r\n\r")
                                        + common::trimBlanks(m_answeredBody));
    pasted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    pasted.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_bodyText->insertPlainText(pasted);
    m_bodyText->setFocus();
    prompts.setClipboardText(m_bodyText->toPlainText());
}

} // namespace compose
