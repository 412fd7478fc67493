#pragma once

#include "settings/AccountSettings.h"
#include "settings/Credentials.h"

#include <QString>

namespace settings {

// What a connection test found out about one server.
struct ServerTestResult
{
    bool tried = false;         // a server name was given
    bool reached = false;       // connected, greeted and (where asked) encrypted
    bool encrypted = false;     // the connection was TLS
    bool loginTried = false;    // an ID and password were sent
    bool loginAccepted = false; // the server took them
    QString problem;            // the layer's Japanese text of what went wrong, or empty
};

struct ConnectionTestResult
{
    ServerTestResult pop3;
    ServerTestResult smtp;
};

// Tries the POP3 and the SMTP server of settings as the mail check and a
// send would: connect, encrypt, log in (POP3 with the saved ID and password,
// APOP when set; SMTP when its address names a user), then QUIT. Nothing is
// fetched, deleted or sent. The mail layer must be started; its waits keep
// the event loop turning. timeoutMs bounds each wait of the test.
[[nodiscard]] ConnectionTestResult testConnections(const AccountSettings &settings, const Credentials &credentials,
                                                   int timeoutMs = 20000);

// The result in Japanese for the user, one block per server.
[[nodiscard]] QString connectionTestReport(const AccountSettings &settings, const ConnectionTestResult &result);

} // namespace settings
