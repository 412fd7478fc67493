#include "maillib/NMail.h"

// The layer's shared state: the text of the last error.
namespace maillib {

namespace {
QString &lastError()
{
    static QString text;
    return text;
}
} // namespace

QString NMailGetMessage()
{
    return lastError();
}

namespace detail {

void setLastError(const QString &text)
{
    lastError() = text;
}

LastFetched &lastFetched()
{
    static LastFetched fetched;
    return fetched;
}

} // namespace detail

} // namespace maillib
