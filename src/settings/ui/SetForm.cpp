#include "settings/ui/SetForm.h"

#include "common/ui/FormKit.h"

#include <QPushButton>

namespace settings {

SetForm::SetForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("SetForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("設定"));
    setFixedSize(232, 64);

    QPushButton *serverButton = common::addButton(this, QStringLiteral("POPサーバー"), "Command2", {12, 16, 100, 32});
    QPushButton *credentialsButton = common::addButton(this, QStringLiteral("ID/PASS"), "Command1", {120, 16, 100, 32});
    // These two buttons take Space only; Enter has never opened a window from here.
    for (QPushButton *button : {serverButton, credentialsButton})
        button->setAutoDefault(false);
    connect(serverButton, &QPushButton::clicked, this, &SetForm::serverSettingsRequested);
    connect(credentialsButton, &QPushButton::clicked, this, &SetForm::credentialsRequested);
}

} // namespace settings
