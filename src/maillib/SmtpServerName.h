#pragma once

#include <QString>

// The SMTP server setting as the user writes it: "host", "host:port",
// "smtp://[user@]host[:port]" or "smtps://[user@]host[:port]".
namespace maillib {

struct SmtpServerName
{
    enum class Security {
        StartTlsWhenOffered, // plain connection, upgraded with STARTTLS when the server offers it
        ImplicitTls,         // TLS from the first byte ("smtps://")
    };

    QString host; // a DNS name in ACE form, an IPv4 address, or an IPv6 address without brackets
    int port = 25;
    Security security = Security::StartTlsWhenOffered;
    // The user named in the address ("smtp://user@host"); when not empty the
    // message is sent with AUTH.
    QString user;

    // Parses a server setting. Leading and trailing blanks are ignored. Returns
    // false for anything that is not one of the four forms: a scheme other than
    // smtp or smtps, a path, a bad port, or characters a host name cannot hold.
    [[nodiscard]] static bool parse(const QString &text, SmtpServerName *out);

    // "host:port", with brackets around an IPv6 address, for texts and URLs.
    [[nodiscard]] QString hostAndPort() const;
};

} // namespace maillib
