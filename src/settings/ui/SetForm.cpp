#include "settings/ui/SetForm.h"

#include <QPushButton>

namespace settings {

SetForm::SetForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("SetForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("設定"));
    setFixedSize(232, 64);

    auto *serverButton = new QPushButton(QStringLiteral("POPサーバー"), this);
    serverButton->setObjectName(QStringLiteral("Command2"));
    serverButton->setGeometry(12, 16, 100, 32);
    auto *credentialsButton = new QPushButton(QStringLiteral("ID/PASS"), this);
    credentialsButton->setObjectName(QStringLiteral("Command1"));
    credentialsButton->setGeometry(120, 16, 100, 32);
    connect(serverButton, &QPushButton::clicked, this, &SetForm::serverSettingsRequested);
    connect(credentialsButton, &QPushButton::clicked, this, &SetForm::credentialsRequested);
}

} // namespace settings
