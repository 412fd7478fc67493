#pragma once

#include <QWidget>

namespace settings {

// The settings hub "設定": one button for the server settings window and one
// for the credentials window. Whoever owns those windows listens to its
// signals; the hub is deleted when closed.
class SetForm final : public QWidget
{
    Q_OBJECT
public:
    explicit SetForm(QWidget *parent = nullptr);

Q_SIGNALS:
    void serverSettingsRequested(); // "POPサーバー"
    void credentialsRequested();    // "ID/PASS"
};

} // namespace settings
