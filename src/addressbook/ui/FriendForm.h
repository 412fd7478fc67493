#pragma once

#include "addressbook/AddressStore.h"

#include <QHash>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeView;

namespace addressbook {

class AddressListModel;

// The address book window "アドレス帳": registers names and addresses, lists
// them with the columns "Address" and "Name", deletes them, and builds
// business-card addresses ("name<address>"). A single instance that the
// window hub creates on first use; it deletes itself when closed, and the
// litter tick is paused while it is loaded.
class FriendForm final : public QWidget
{
    Q_OBJECT
public:
    // helpDisplay: the main window's help display box is ticked.
    explicit FriendForm(bool helpDisplay, QWidget *parent = nullptr);
    // Deleted with the main window at the end of the program, the window goes
    // without its unload steps; closing it runs them.
    ~FriendForm() override;

    // Fills the address field (the viewer's sender registration).
    void setAddressText(const QString &text);

    // The window's commands, as their buttons run them.
    void Command1_Click();  // "貼付": address from the clipboard
    void Command5_Click();  // "貼付": name from the clipboard
    void Command38_Click(); // "名刺挿入"
    void Command3_Click();  // "登録"
    void Command4_Click();  // "削除"
    // Rereads the whole book into the list (the unreachable button Command2).
    void Command2_Click();

    [[nodiscard]] QTreeView *addressList() const { return m_list; } // MailListView

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void createControls();
    void createFields();
    void createList();
    void createHelpAndStatus();
    void connectControls();
    void registerHelpTexts();
    void Form_Load(bool helpDisplay);
    void Form_Unload();
    void MailListView_MouseDown();
    // The record number of the list's selected entry, or 0 when none is selected.
    [[nodiscard]] int selectedRecord() const;
    // Reads record n and shows its trimmed name and address; false when it cannot be read.
    bool showRecord(int n);
    void reportStoreFailure(const common::StoreStatus &status);
    void showHelp(const QString &text);

    AddressStore m_store;
    AddressListModel *m_model = nullptr;
    QHash<QObject *, QString> m_helpTexts;
    bool m_unloaded = false;

    QLineEdit *m_addressBox = nullptr;   // Text4
    QLineEdit *m_nameBox = nullptr;      // Text2
    QLineEdit *m_cardBox = nullptr;      // Text50
    QLineEdit *m_countBox = nullptr;     // Text3
    QPushButton *m_pasteAddressButton = nullptr; // Command1
    QPushButton *m_pasteNameButton = nullptr;    // Command5
    QPushButton *m_cardButton = nullptr;         // Command38
    QPushButton *m_registerButton = nullptr;     // Command3
    QPushButton *m_deleteButton = nullptr;       // Command4
    QPushButton *m_reloadButton = nullptr;       // Command2, outside the visible area
    QTreeView *m_list = nullptr;                 // MailListView
    QPlainTextEdit *m_helpBox = nullptr;         // Text5
    QLabel *m_statusLabel = nullptr;             // Label7
};

} // namespace addressbook
