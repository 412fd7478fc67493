#include "viewer/ui/MailCommands.h"

#include "common/Prompts.h"
#include "viewer/MailCommandRules.h"
#include "viewer/QuickSave.h"
#include "viewer/ShownMailText.h"
#include "viewer/ui/TyakuForm.h"

#include <QColor>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTreeView>

namespace viewer {
namespace {

// The copy button in the colour of the box its text came from, drawn as the
// viewer draws its other coloured buttons.
void paintCopyButton(QPushButton *button, HeaderSource source)
{
    const CopyButtonColour c = copyButtonColour(source);
    const QColor colour(c.red, c.green, c.blue);
    // Black on blue cannot be read; the caption turns white there.
    const QColor text = qGray(colour.rgb()) < 100 ? Qt::white : Qt::black;
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %4; text-align: center;"
                                         " border: 2px outset %2; }"
                                         "QPushButton:pressed { border-style: inset; }"
                                         "QPushButton:focus { outline: none; border-color: %3; }")
                              .arg(colour.name(), colour.lighter(115).name(), colour.darker(140).name(), text.name()));
}

// The viewer's reply, sender registration, header copy and quick save.
class MailCommands final : public QObject
{
public:
    explicit MailCommands(TyakuForm &form) : QObject(&form), m_form(form)
    {
        connect(form.replyButton(), &QPushButton::clicked, this, &MailCommands::Command5_Click);
        connect(form.registerSenderButton(), &QPushButton::clicked, this, &MailCommands::Command4_Click);
        connect(form.headerCopyButton(), &QPushButton::clicked, this, &MailCommands::Command1_Click);
        connect(form.quickSaveButton(), &QPushButton::clicked, this, &MailCommands::QuickSaveMail);
        for (QLineEdit *box : {form.subjectBox(), form.senderBox(), form.dateBox()}) {
            box->setMouseTracking(true);
            box->installEventFilter(this);
        }
    }

protected:
    // Text7_MouseMove, Text8_MouseMove, Text9_MouseMove.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
            if (watched == m_form.subjectBox())
                showHeaderForCopy(m_form.subjectBox(), HeaderSource::Subject);
            else if (watched == m_form.senderBox())
                showHeaderForCopy(m_form.senderBox(), HeaderSource::Sender);
            else if (watched == m_form.dateBox())
                showHeaderForCopy(m_form.dateBox(), HeaderSource::Date);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void showHeaderForCopy(QLineEdit *box, HeaderSource source)
    {
        if (m_form.headerCopyBox()->text() != box->text())
            m_form.headerCopyBox()->setText(box->text());
        paintCopyButton(m_form.headerCopyButton(), source);
    }

    // Uses up the selection marker, giving the body pane the focus; false
    // (after telling the user) when there was no fresh click on a mail.
    bool takeClickedMail()
    {
        // A click on an empty list, a refill or a check's hand-over leaves no
        // shown mail in the selected row: there is nothing to act on, and
        // the marker must not outlive it.
        if (m_form.selectionMarked() && !m_form.shownMailSelected())
            m_form.clearSelectionMarker();
        return takeSelection(m_form.selectionMarked(), [this] {
            m_form.bodyBox()->setFocus();
            m_form.clearSelectionMarker();
        });
    }

    void Command5_Click()
    {
        if (!takeClickedMail())
            return;
        const ReplyFields reply = buildReplyFields(m_form.subjectText(), m_form.senderText(), m_form.bodyText());
        Q_EMIT m_form.replyRequested(reply.subject, reply.recipient, reply.body, m_form.shownMail().body);
    }

    void Command4_Click()
    {
        if (!takeClickedMail())
            return;
        Q_EMIT m_form.registerSenderRequested(m_form.senderText());
    }

    void Command1_Click() { common::prompts().setClipboardText(m_form.headerCopyBox()->text()); }

    void QuickSaveMail()
    {
        if (!takeClickedMail())
            return;
        const QString subject = m_form.subjectText();
        const QString sender = m_form.senderText();
        const QString date = m_form.dateText();
        const QString body = m_form.bodyText();
        const QuickSaveOutcome outcome = viewer::QuickSaveMail(subject, sender, date, body, [this](bool busy) {
            if (busy)
                m_form.setCursor(Qt::WaitCursor);
            else
                m_form.unsetCursor();
        });
        if (outcome.result == QuickSaveResult::Written)
            m_form.bodyBox()->setPlainText(ComposeHeaderText(subject, sender, date, body));
    }

    TyakuForm &m_form;
};

} // namespace

void installMailCommands(TyakuForm &form)
{
    new MailCommands(form);
}

} // namespace viewer
