#pragma once

#include "common/ui/FormKit.h"
#include "viewer/BodySearch.h"
#include "viewer/MailCommandRules.h"

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTextEdit;
class QTimer;
class QToolBar;
class QTreeView;

namespace viewer {

class EditorCommands;
class MailListModel;
enum class ViewerHelp;

// What the viewer reads from and writes into the main window.
struct TyakuHost
{
    std::function<bool()> helpDisplayTicked;              // the main window's Check1, read at load
    std::function<void(const QString &)> showStoredCount; // the main window's Text4 follows Text2
    std::function<void(const QString &)> setMainHelpText; // the main window's help box Text1
};

// The received-mail viewer "着信履歴": the list of every stored mail, the
// shown mail's subject, sender, date and body, the delete commands, the body
// search, and the editor's menus and tool bar around the body pane. One
// instance for the process; it deletes itself when closed.
class TyakuForm final : public QWidget
{
    Q_OBJECT
public:
    // Builds the window and runs its load handler; the window stays hidden
    // until shown.
    explicit TyakuForm(TyakuHost host = {}, QWidget *parent = nullptr);
    ~TyakuForm() override;

    // Client area in twips at design time.
    static constexpr int ClientWidthTwips = 9375;
    static constexpr int ClientHeightTwips = 7275;

    // The reading fields the mail check hands each message over through. The
    // handed mail replaces the shown one as a whole; no row is selected and
    // the marker is cleared, and a list that was filled is filled again once
    // the check has ended, so that it holds the new mail.
    void showReceivedMail(const QString &subject, const QString &sender, const QString &date, const QString &body);
    void appendToBody(const QString &text);
    [[nodiscard]] QString subjectText() const;
    [[nodiscard]] QString senderText() const;
    [[nodiscard]] QString dateText() const;
    // The body pane's text with CR LF line ends.
    [[nodiscard]] QString bodyText() const;

    // Rebuilds the list and the count from the store; the boxes and the body
    // pane show the store's last mail and the clipboard holds its body.
    void FillMailList();

    // The hidden selection marker Text5: set by a click on the list, used up
    // by the commands that act on one mail.
    [[nodiscard]] bool selectionMarked() const;
    void clearSelectionMarker();
    // The record number of the selected row (its position from 1), 0 when no row is selected.
    [[nodiscard]] int selectedRecordNumber() const;
    // The mail the boxes show, as read or handed over (the user may edit the boxes).
    [[nodiscard]] const ShownMail &shownMail() const { return m_shown; }
    // The shown mail is the selected row: only then may a command act on one mail.
    [[nodiscard]] bool shownMailSelected() const;
    // LastFoundPos of the body search.
    [[nodiscard]] qsizetype lastFoundPos() const { return m_search.lastFoundPos(); }

    // Controls.
    [[nodiscard]] QLineEdit *subjectBox() const { return m_subjectBox; }         // Text7
    [[nodiscard]] QLineEdit *senderBox() const { return m_senderBox; }           // Text8
    [[nodiscard]] QLineEdit *dateBox() const { return m_dateBox; }               // Text9
    [[nodiscard]] QTextEdit *bodyBox() const { return m_bodyBox; }               // rtfEd
    [[nodiscard]] QTreeView *mailList() const { return m_mailList; }             // MailListView
    [[nodiscard]] MailListModel *mailListModel() const { return m_model; }
    [[nodiscard]] QLineEdit *headerCopyBox() const { return m_headerCopyBox; }   // Text6
    [[nodiscard]] QPushButton *headerCopyButton() const { return m_headerCopyButton; } // Command1
    [[nodiscard]] QPushButton *quickSaveButton() const { return m_quickSaveButton; }   // Command2
    [[nodiscard]] QPushButton *deleteOneButton() const { return m_deleteOneButton; }   // Command3
    [[nodiscard]] QPushButton *registerSenderButton() const { return m_registerButton; } // Command4
    [[nodiscard]] QPushButton *replyButton() const { return m_replyButton; }     // Command5
    [[nodiscard]] QPushButton *deleteAllButton() const { return m_deleteAllButton; } // Command6
    [[nodiscard]] QLineEdit *searchBox() const { return m_searchBox; }           // Text1
    [[nodiscard]] QLineEdit *countBox() const { return m_countBox; }             // Text2
    [[nodiscard]] QPlainTextEdit *helpBox() const { return m_helpBox; }          // Text4
    [[nodiscard]] QLineEdit *selectionMarker() const { return m_selectionMarker; } // Text5
    [[nodiscard]] QStatusBar *statusBar() const { return m_statusBar; }          // StatusBar1
    [[nodiscard]] QMenuBar *menuBar() const { return m_menuBar; }
    [[nodiscard]] QToolBar *toolBar() const { return m_toolBar; }               // tbToolBar
    [[nodiscard]] EditorCommands *editor() const { return m_editor; }
    // The client area below the menu bar; the controls' places are relative to it.
    [[nodiscard]] QWidget *clientArea() const { return m_client; }

public Q_SLOTS:
    void MailListView_Click();
    void Command3_Click(); // delete one
    void Command6_Click(); // delete all
    void FindInBody();
    void FindNextInBody();
    // The layout pass of Form_Resize and Form_MouseMove.
    void Form_Resize();

Q_SIGNALS:
    // Raised by the mail commands; the window hub opens the reply window and
    // the address book with them.
    // answeredBody is the body of the mail answered, as it was read.
    void replyRequested(const QString &subject, const QString &recipient, const QString &body,
                        const QString &answeredBody);
    void registerSenderRequested(const QString &sender);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createButtons();
    void createSearchBox();
    void createMailButtons();
    void createReadingFields();
    void createEditor();
    void Form_Load();
    void loadEditorFile();
    void Form_QueryUnload();
    void Text2_Change();
    void pointerOverReadingArea(bool emptyHelp);
    void showMail(const ShownMail &mail);
    void clearListSelection();
    void refillAfterCheck();
    void refillBeforeShowing(int row);
    void ClipboardRoundTrip();
    void setBody(const QString &text);
    void selectMatch(const BodyMatch &match);
    void placeClientArea();
    void showStoreFailure(const QString &message);
    void clearReadingFields();

    TyakuHost m_host;
    BodySearch m_search;
    ShownMail m_shown;
    bool m_listFilled = false;       // the list has been filled from the store
    bool m_handedOver = false;       // the boxes show a mail a check handed over
    QTimer *m_refillTimer = nullptr; // fills the list again after a check
    bool m_placed = false;
    bool m_unloaded = false;
    bool m_firstLayoutDone = false;
    bool m_pointerPressed = false; // a mouse button is down on the list
    bool m_filling = false;
    common::HoverHelp m_hoverHelp; // controls that explain themselves in the help box

    QMenuBar *m_menuBar = nullptr;
    EditorCommands *m_editor = nullptr;
    QWidget *m_client = nullptr;
    QWidget *m_toolStrip = nullptr;        // Picture1
    QToolBar *m_toolBar = nullptr;         // tbToolBar
    QPushButton *m_quickSaveButton = nullptr; // Command2
    QLabel *m_searchLabel = nullptr;       // Label2
    QLineEdit *m_searchBox = nullptr;      // Text1
    QPushButton *m_deleteOneButton = nullptr; // Command3
    QPushButton *m_registerButton = nullptr;  // Command4
    QPushButton *m_replyButton = nullptr;     // Command5
    QPushButton *m_deleteAllButton = nullptr; // Command6
    QLabel *m_countLabel = nullptr;        // Label4
    QLineEdit *m_countBox = nullptr;       // Text2
    QTreeView *m_mailList = nullptr;       // MailListView
    MailListModel *m_model = nullptr;
    QLineEdit *m_subjectBox = nullptr;     // Text7
    QLineEdit *m_senderBox = nullptr;      // Text8
    QLineEdit *m_dateBox = nullptr;        // Text9
    QTextEdit *m_bodyBox = nullptr;        // rtfEd
    QPlainTextEdit *m_helpBox = nullptr;   // Text4
    QStatusBar *m_statusBar = nullptr;     // StatusBar1
    QPushButton *m_headerCopyButton = nullptr; // Command1
    QLineEdit *m_headerCopyBox = nullptr;  // Text6
    QLineEdit *m_selectionMarker = nullptr; // Text5
};

} // namespace viewer
