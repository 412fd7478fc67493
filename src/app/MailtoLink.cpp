#include "app/MailtoLink.h"

namespace app {
namespace {

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Percent-decoding to UTF-8 bytes, then to text. Characters that were not
// encoded (a link typed by hand with Japanese in it) are kept as they are.
QString percentDecoded(QStringView text)
{
    QString out;
    QByteArray pending;
    auto flush = [&] {
        out += QString::fromUtf8(pending);
        pending.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            pending += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
            continue;
        }
        flush();
        out += text[i];
    }
    flush();
    return out;
}

QStringList addresses(QStringView field)
{
    QStringList out;
    for (const QString &part : percentDecoded(field).split(u',')) {
        const QString address = part.trimmed();
        if (!address.isEmpty())
            out << address;
    }
    return out;
}

} // namespace

bool isMailtoLink(const QString &text)
{
    return text.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive);
}

std::optional<MailtoLink> parseMailtoLink(const QString &text)
{
    if (!isMailtoLink(text))
        return std::nullopt;
    QStringView rest = QStringView(text).mid(7);
    // A fragment is not part of a mailto link.
    if (const qsizetype hash = rest.indexOf(u'#'); hash >= 0)
        rest = rest.left(hash);

    MailtoLink link;
    const qsizetype question = rest.indexOf(u'?');
    link.to = addresses(rest.left(question < 0 ? rest.size() : question));
    if (question < 0)
        return link;

    bool haveSubject = false, haveBody = false;
    for (QStringView field : rest.mid(question + 1).split(u'&')) {
        const qsizetype equals = field.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString name = percentDecoded(field.left(equals)).toLower();
        const QStringView value = field.mid(equals + 1);
        if (name == QLatin1String("to")) {
            link.to << addresses(value);
        } else if (name == QLatin1String("subject") && !haveSubject) {
            haveSubject = true;
            QString subject = percentDecoded(value);
            subject.replace(QLatin1String("\r\n"), QLatin1String(" "));
            subject.replace(u'\r', u' ').replace(u'\n', u' ');
            link.subject = subject;
        } else if (name == QLatin1String("body") && !haveBody) {
            haveBody = true;
            QString body = percentDecoded(value);
            body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            body.replace(u'\r', u'\n');
            link.body = body;
        }
    }
    return link;
}

} // namespace app
