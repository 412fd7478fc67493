#pragma once

#include <QString>

#include <optional>

namespace maillib {

// How a POP3 connection is secured.
enum class Pop3Security {
    // Plain connection, upgraded with STLS whenever the server offers it.
    StartTlsIfOffered,
    // TLS from the first byte (POP3S).
    ImplicitTls,
};

// Where a POP3 server is and how to reach it.
struct Pop3Address
{
    QString host;
    quint16 port = 110;
    Pop3Security security = Pop3Security::StartTlsIfOffered;
};

// Reads a POP3 server name as the account stores it: "host", "host:port",
// "pop3://host[:port]" or "pop3s://host[:port]" (IPv6 addresses in brackets).
// A bare name uses port 110 and STLS when offered; pop3s:// and port 995
// without a scheme use implicit TLS. Returns nothing for an unusable name.
[[nodiscard]] std::optional<Pop3Address> parsePop3Address(const QString &server);

} // namespace maillib
