#pragma once

#include "addressbook/AddressStore.h"
#include "compose/MailSend.h"
#include "compose/Submission.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTextEdit;
class QToolBar;

namespace addressbook {
class AddressListModel;
}

namespace viewer {
class EditorCommands;
}

namespace compose {

class AttachmentRow;
class RecipientBox;

// The composer "新規作成": one new mail (recipient, subject, body, attached
// files) sent with "送信", or the same mail to every entry of the address
// book in bulk mode. The right-hand pane lists the book for one-click entry
// of the recipient. A single instance that the window hub creates on first
// use; it deletes itself when closed, and the litter tick is paused while it
// is loaded.
//
// A mail that could not be sent is never thrown away: the window stays open
// with everything the user wrote. Only a send that reached every recipient
// clears and closes the window.
class WriteForm final : public QWidget
{
    Q_OBJECT
public:
    // helpDisplay: the main window's help display box is ticked.
    explicit WriteForm(bool helpDisplay, QWidget *parent = nullptr);
    // Deleted with the main window at the end of the program, the window goes
    // without its unload steps; closing it runs them.
    ~WriteForm() override;

    // Outer widths of the window with and without the address pane, in twips.
    static constexpr int FullWidthTwips = 9510;
    static constexpr int NarrowWidthTwips = 6840;

    // The window's commands, as their controls run them.
    void Command1_Click();  // "送信"
    void Command3_Click();  // "送信中止": close, or stop a bulk send between two mails
    void Command6_Click();  // width toggle
    void Command5_Click();  // paste into the body
    void Command7_Click();  // paste into the recipient
    void Command11_Click(); // "クリア"
    void Option1_Click();   // bulk mode off
    void Option2_Click();   // bulk mode on, after a question
    void List1_MouseDown();

    // Puts a mail link's recipients, subject and body into the window. A mail
    // already begun is replaced only when the user agrees; nothing changes
    // during a send. False when the window was left as it was.
    bool fillFromLink(const QString &to, const QString &subject, const QString &body);

    [[nodiscard]] bool sending() const { return m_sending; }
    [[nodiscard]] bool bulkMode() const;
    [[nodiscard]] QTextEdit *bodyBox() const { return m_body; }            // rtfEd
    [[nodiscard]] AttachmentRow *attachments() const { return m_attachments; }
    [[nodiscard]] QMenuBar *menuBar() const { return m_menuBar; }
    [[nodiscard]] viewer::EditorCommands *editor() const { return m_editor; }

    // Clicks on the width button since the process started; it survives the window.
    [[nodiscard]] static int widthToggleClicks();
    static void resetWidthToggleClicks();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createButtonFrame();
    void createMailRows();
    void createAttachmentRows();
    void createBody();
    void createAddressPane();
    void createEditor();
    void registerHelpTexts();
    void Form_Load(bool helpDisplay);
    void Form_Unload();
    void Combo1_LostFocus();

    // Sends to the recipient as typed; false when the mail was not sent.
    bool sendOneMail(const OutgoingDraft &draft);
    // Sends to every entry of the book; false when any entry was not reached.
    // After a send that reached only some, the next goes to the others
    // unless the user chooses everyone again.
    bool sendToWholeBook(const OutgoingDraft &draft);
    // Asks, when some of targets already have this mail, whom to send it to;
    // false when the user sends nothing.
    bool chooseBulkScope(const QList<SendTarget> &targets, Submission::Scope *scope);
    // Shows why a send was not tried; false when it was.
    bool showRefusal(const Submission::Outcome &outcome);
    void setSendingState(bool sending);
    // Empties the window after a successful send and unloads it.
    void finishSent();

    void showHelp(QObject *control);
    void setOuterWidth(int twips);
    void setRecipientBoxLook(bool bulk);
    void setAddressListColour(bool bulk);
    void setBodyText(const QString &text);

    addressbook::AddressStore m_store;
    addressbook::AddressListModel *m_addressModel = nullptr;
    QHash<QObject *, QString> m_helpTexts;
    bool m_unloaded = false;
    int m_outerWidthTwips = FullWidthTwips;
    bool m_sending = false;
    bool m_greetingChosen = false; // a greeting chosen or typed, not yet put into the body
    Submission *m_submission = nullptr;
    QList<QPointer<QWidget>> m_disabledWhileSending;

    viewer::EditorCommands *m_editor = nullptr;
    QMenuBar *m_menuBar = nullptr;
    QToolBar *m_toolBar = nullptr;           // tbToolBar
    QFrame *m_buttonFrame = nullptr;         // Frame1
    QPushButton *m_sendButton = nullptr;     // Command1
    QPushButton *m_cancelButton = nullptr;   // Command3
    QPushButton *m_widthButton = nullptr;    // Command6
    QPushButton *m_pasteBodyButton = nullptr; // Command5
    QPushButton *m_resetButton = nullptr;    // Command11
    QPushButton *m_pasteRecipientButton = nullptr; // Command7
    QLabel *m_pasteRecipientPicture = nullptr;
    RecipientBox *m_recipientBox = nullptr;  // ToText
    QLineEdit *m_subjectBox = nullptr;       // SubjectText
    QComboBox *m_greetingBox = nullptr;      // Combo1
    AttachmentRow *m_attachments = nullptr;  // AttachCommand, Command9, Command10, AttachText, Command16, List2
    QCheckBox *m_fortuneBox = nullptr;       // Check1
    QTextEdit *m_body = nullptr;             // rtfEd
    QPlainTextEdit *m_helpPane = nullptr;    // Text14
    QLabel *m_statusLabel = nullptr;         // Label7
    QListView *m_addressList = nullptr;      // List1
    QLineEdit *m_countBox = nullptr;         // Text1
    QRadioButton *m_bulkOffOption = nullptr; // Option1
    QRadioButton *m_bulkOnOption = nullptr;  // Option2
    QList<QLabel *> m_rowLabels;             // "宛先", "件名", "首記例", "占い添付"
};

} // namespace compose
