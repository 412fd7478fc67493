#include "settings/ui/IdpassForm.h"

#include "common/Prompts.h"
#include "settings/Credentials.h"

#include "common/ui/FormKit.h"
#include "common/ui/OneLineBox.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace settings {

IdpassForm::IdpassForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("IdpassForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ID,PASS"));
    setFixedSize(280, 150);

    auto *idLabel = new QLabel(QStringLiteral("ID"), this);
    idLabel->setObjectName(QStringLiteral("idLabel"));
    idLabel->setGeometry(16, 16, 72, 22);
    m_idText = new QLineEdit(this);
    m_idText->setObjectName(QStringLiteral("IdText"));
    common::makeOneLine(m_idText);
    m_idText->setGeometry(92, 16, 172, 22);
    idLabel->setBuddy(m_idText);

    auto *passLabel = new QLabel(QStringLiteral("Password"), this);
    passLabel->setObjectName(QStringLiteral("passLabel"));
    passLabel->setGeometry(16, 46, 72, 22);
    m_passText = new QLineEdit(this);
    m_passText->setObjectName(QStringLiteral("PassText"));
    common::makeOneLine(m_passText);
    m_passText->setGeometry(92, 46, 172, 22);
    m_passText->setEchoMode(QLineEdit::Password);
    m_passText->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    passLabel->setBuddy(m_passText);

    // The box's own caption stays empty; the label beside it says what it does.
    m_saveCheck = new QCheckBox(this);
    m_saveCheck->setObjectName(QStringLiteral("Check1"));
    m_saveCheck->setGeometry(92, 78, 20, 20);
    auto *saveLabel = new QLabel(QStringLiteral("IDパスワードを保存する"), this);
    saveLabel->setObjectName(QStringLiteral("saveLabel"));
    saveLabel->setGeometry(114, 78, 160, 20);
    saveLabel->setBuddy(m_saveCheck);
    // A check box takes its name from its own caption, which is empty here.
    m_saveCheck->setAccessibleName(saveLabel->text());

    m_okButton = common::addButton(this, QStringLiteral("OK"), "OKCommand", {92, 112, 80, 26});
    m_cancelButton = common::addButton(this, QStringLiteral("Cancel"), "CancelCommand", {184, 112, 80, 26});
    connect(m_okButton, &QPushButton::clicked, this, &IdpassForm::OKCommand_Click);
    connect(m_cancelButton, &QPushButton::clicked, this, &IdpassForm::CancelCommand_Click);

    const Credentials saved = LoadCredentials();
    m_idText->setText(saved.userId);
    m_passText->setText(saved.password);
}

QString IdpassForm::idText() const
{
    return m_idText->text();
}

QString IdpassForm::passText() const
{
    return m_passText->text();
}

void IdpassForm::setIdText(const QString &text)
{
    m_idText->setText(text);
}

void IdpassForm::setPassText(const QString &text)
{
    m_passText->setText(text);
}

void IdpassForm::keyPressEvent(QKeyEvent *event)
{
    // Keys the focused control leaves alone: Enter is "OK", Esc is "Cancel".
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            m_okButton->click();
            return;
        case Qt::Key_Escape:
            m_cancelButton->click();
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

void IdpassForm::OKCommand_Click()
{
    const SaveChoice choice = m_saveCheck->isChecked() ? SaveChoice::Save : SaveChoice::DoNotSave;
    if (!SaveCredentials({m_idText->text(), m_passText->text()}, choice))
        common::prompts().inform(credentialsWriteFailedText(), QString(), common::PromptIcon::Warning);
    close();
}

void IdpassForm::CancelCommand_Click()
{
    close();
}

} // namespace settings
