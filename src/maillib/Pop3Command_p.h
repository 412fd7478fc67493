#pragma once

#include "maillib/Pop3Session.h"

#include <QByteArray>

// A command of a Pop3Session on its way: sent, waiting for its reply, answered.
// Shared by the session's parts (connection, login, pipeline, TLS).
namespace maillib {

struct Pop3Session::Command
{
    enum Kind {
        Greeting,   // the server's first line, asked for by connecting
        SingleLine, // a status line only (STAT, DELE ...)
        Login,      // a status line that, when refused, is a failed login
        MultiLine,  // a status line and, after +OK, a listing (LIST)
        Capa,
        Retr,
        Stls,
        Quit,
        Uidl,
    };

    int kind = SingleLine;
    int number = 0;
    QByteArray name;
    bool statusSeen = false;
    bool done = false;
    bool ok = false;
    QByteArray status;
    QByteArray data;
};

} // namespace maillib
