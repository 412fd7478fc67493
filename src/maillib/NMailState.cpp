#include "maillib/NMail.h"

namespace maillib {

namespace {
QString &lastErrorText()
{
    static QString text;
    return text;
}
} // namespace

void detail::setLastError(const QString &text)
{
    lastErrorText() = text;
}

detail::LastFetched &detail::lastFetched()
{
    static LastFetched last;
    return last;
}

QString NMailGetMessage()
{
    return lastErrorText();
}

} // namespace maillib
