#include "maillib/Pop3Address.h"

#include <QUrl>

namespace maillib {

namespace {

constexpr quint16 Pop3Port = 110;
constexpr quint16 Pop3sPort = 995;

bool isHostCharacter(QChar c)
{
    // Letters of any script are allowed (internationalised names are turned
    // into their ASCII form below); everything that could end the name or
    // start another part of an address is not.
    if (c.isLetterOrNumber())
        return true;
    return c == u'-' || c == u'.' || c == u'_';
}

std::optional<quint16> parsePort(const QString &text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

// Takes a leading "pop3s://" or "pop3://" and a trailing "/" off; the first
// sets the secure port. True when a scheme was written.
bool takeScheme(QString *rest, Pop3Address *address)
{
    bool schemeGiven = false;
    if (rest->startsWith(QLatin1String("pop3s://"), Qt::CaseInsensitive)) {
        address->security = Pop3Security::ImplicitTls;
        address->port = Pop3sPort;
        *rest = rest->mid(8);
        schemeGiven = true;
    } else if (rest->startsWith(QLatin1String("pop3://"), Qt::CaseInsensitive)) {
        *rest = rest->mid(7);
        schemeGiven = true;
    }
    if (rest->endsWith(u'/'))
        rest->chop(1);
    return schemeGiven;
}

// "[IPv6 address]" with an optional ":port". False when malformed.
bool splitBracketedHost(const QString &rest, QString *host, QString *portText)
{
    const qsizetype close = rest.indexOf(u']');
    if (close < 0)
        return false;
    *host = rest.mid(1, close - 1);
    const QString after = rest.mid(close + 1);
    if (!after.isEmpty()) {
        if (!after.startsWith(u':'))
            return false;
        *portText = after.mid(1);
        if (portText->isEmpty())
            return false;
    }
    for (QChar c : *host) {
        if (!(c.isDigit() || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':' || c == u'.'))
            return false;
    }
    return host->count(u':') >= 2;
}

// A host name (in its ASCII form) or IPv4 address with an optional ":port".
// False when malformed.
bool splitNamedHost(const QString &rest, QString *host, QString *portText)
{
    const qsizetype colon = rest.lastIndexOf(u':');
    *host = colon < 0 ? rest : rest.left(colon);
    if (colon >= 0) {
        *portText = rest.mid(colon + 1);
        if (portText->isEmpty())
            return false;
    }
    for (QChar c : *host) {
        if (!isHostCharacter(c))
            return false;
    }
    *host = QString::fromLatin1(QUrl::toAce(*host));
    return true;
}

} // namespace

std::optional<Pop3Address> parsePop3Address(const QString &server)
{
    QString rest = server.trimmed();
    Pop3Address address;
    const bool schemeGiven = takeScheme(&rest, &address);

    QString host;
    QString portText;
    const bool split = rest.startsWith(u'[') ? splitBracketedHost(rest, &host, &portText)
                                             : splitNamedHost(rest, &host, &portText);
    if (!split || host.isEmpty())
        return std::nullopt;
    address.host = host;

    if (!portText.isEmpty()) {
        const std::optional<quint16> port = parsePort(portText);
        if (!port)
            return std::nullopt;
        address.port = *port;
        // "host:995" is the POP3S port; speaking plain POP3 there would only
        // end in a time-out.
        if (!schemeGiven && address.port == Pop3sPort)
            address.security = Pop3Security::ImplicitTls;
    }
    return address;
}

} // namespace maillib
