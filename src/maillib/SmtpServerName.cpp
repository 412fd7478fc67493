#include "maillib/SmtpServerName.h"

#include <QUrl>

namespace maillib {

namespace {

bool isHostNameChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.'
        || c == u'_';
}

bool isIpv6Char(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':' || c == u'.';
}

// Checks and normalises the host part: an IPv6 literal in brackets, or a DNS
// name or IPv4 address, a Japanese domain name becoming its ACE form.
bool parseHost(const QString &text, QString *host)
{
    if (text.startsWith(u'[')) {
        if (!text.endsWith(u']') || text.size() < 4)
            return false;
        const QString inner = text.mid(1, text.size() - 2);
        for (QChar c : inner) {
            if (!isIpv6Char(c))
                return false;
        }
        *host = inner;
        return true;
    }
    const QString ace = QString::fromLatin1(QUrl::toAce(text, QUrl::AceTransitionalProcessing));
    if (ace.isEmpty() || ace.size() > 253 || ace.startsWith(u'.') || ace.startsWith(u'-'))
        return false;
    for (QChar c : ace) {
        if (!isHostNameChar(c))
            return false;
    }
    *host = ace;
    return true;
}

bool parsePort(const QString &text, int *port)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    const int value = text.toInt();
    if (value < 1 || value > 65535)
        return false;
    *port = value;
    return true;
}

} // namespace

bool SmtpServerName::parse(const QString &text, SmtpServerName *out)
{
    SmtpServerName result;
    QString rest = text;
    while (rest.startsWith(u' '))
        rest.remove(0, 1);
    while (rest.endsWith(u' '))
        rest.chop(1);

    const qsizetype schemeEnd = rest.indexOf(QStringLiteral("://"));
    if (schemeEnd >= 0) {
        const QString scheme = rest.left(schemeEnd).toLower();
        if (scheme == QStringLiteral("smtps")) {
            result.security = Security::ImplicitTls;
            result.port = 465;
        } else if (scheme != QStringLiteral("smtp")) {
            return false;
        }
        rest = rest.mid(schemeEnd + 3);
        if (rest.endsWith(u'/'))
            rest.chop(1);
        const qsizetype at = rest.lastIndexOf(u'@');
        if (at >= 0) {
            QString user = rest.left(at);
            // A password written into the address is never used: the stored one is.
            const qsizetype colon = user.indexOf(u':');
            if (colon >= 0)
                user.truncate(colon);
            result.user = QUrl::fromPercentEncoding(user.toUtf8());
            rest = rest.mid(at + 1);
            if (result.user.isEmpty())
                return false;
            for (QChar c : result.user) {
                if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                    return false;
            }
        }
    }

    QString hostPart = rest;
    const qsizetype bracketEnd = rest.lastIndexOf(u']');
    const qsizetype colon = rest.lastIndexOf(u':');
    if (colon >= 0 && colon > bracketEnd) {
        if (!rest.startsWith(u'[') && rest.indexOf(u':') != colon)
            return false; // a bare IPv6 address without brackets is ambiguous
        if (!parsePort(rest.mid(colon + 1), &result.port))
            return false;
        hostPart = rest.left(colon);
    }
    if (!parseHost(hostPart, &result.host))
        return false;
    *out = result;
    return true;
}

QString SmtpServerName::hostAndPort() const
{
    const QString h = host.contains(u':') ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(h).arg(port);
}

} // namespace maillib
