#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace settings {

// The server settings window "サーバー設定": edits the process-wide account
// settings and writes them to the account file. It stays above all other
// windows and is deleted when closed, so each opening shows the settings in force.
class OptionForm final : public QWidget
{
    Q_OBJECT
public:
    explicit OptionForm(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void OkCommand_Click();
    void CancelCommand_Click();
    // "接続テスト": both servers tried with what is typed; nothing fetched or sent.
    void TestCommand_Click();

    QLineEdit *m_smtpText;
    QLineEdit *m_pop3Text;
    QLineEdit *m_mailText;
    QCheckBox *m_apopCheck;
    QPushButton *m_okButton;
    QPushButton *m_cancelButton;
    QPushButton *m_testButton;
};

} // namespace settings
