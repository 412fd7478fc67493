#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace compose {

class AttachmentRow;
class Submission;

// The reply window "返事を書く": answers a received mail. The viewer's reply
// command fills recipient, subject and body; the user edits them, may attach
// files and rebuild the body from the clipboard and the received mail, and
// sends through the mail layer with the account's SMTP server and address.
// The window deletes itself when closed; a failed send keeps it open with
// everything in it, so the reply can be sent again.
class BackForm final : public QWidget
{
    Q_OBJECT
public:
    explicit BackForm(QWidget *parent = nullptr);

    // Overwrites recipient, subject and body; the attachments stay. The
    // window keeps its own copy of the answered mail's body for "本文に貼付".
    void startReply(const QString &subject, const QString &recipient, const QString &body,
                    const QString &answeredBody = QString());

    // Sizes and places the controls for the window's outer size in twips.
    void Form_Resize();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void Command2_Click();       // send
    void Command3_Click();       // close without sending
    void Command4_Click();       // paste the clipboard and the answered mail at the cursor

    QPushButton *m_sendButton;
    QPushButton *m_cancelButton;
    QPushButton *m_pasteBodyButton;
    QLabel *m_toLabel;
    QLineEdit *m_toText;
    QLabel *m_subjectLabel;
    QLineEdit *m_subjectText;
    QLabel *m_attachLabel;
    AttachmentRow *m_attachments;
    QTextEdit *m_bodyText;
    Submission *m_submission;
    QString m_answeredBody; // the body of the mail answered, as the viewer read it
};

} // namespace compose
