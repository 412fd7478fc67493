#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace settings {

// The credentials window "ID,PASS": shows the saved user ID and password and
// saves them on "OK" when its save box is ticked. Filled from the credentials
// file when created; deleted when closed.
class IdpassForm final : public QWidget
{
    Q_OBJECT
public:
    explicit IdpassForm(QWidget *parent = nullptr);

    [[nodiscard]] QString idText() const;
    [[nodiscard]] QString passText() const;
    // The mail check shows here the pair it used.
    void setIdText(const QString &text);
    void setPassText(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void OKCommand_Click();
    void CancelCommand_Click();

    QLineEdit *m_idText;
    QLineEdit *m_passText;
    QCheckBox *m_saveCheck;
    QPushButton *m_okButton;
    QPushButton *m_cancelButton;
};

} // namespace settings
