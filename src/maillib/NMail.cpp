#include "maillib/NMail.h"

#include "maillib/Pop3Registry.h"

#include <curl/curl.h>

namespace maillib {

namespace {

struct LayerState
{
    QString lastError;
    detail::LastFetched lastFetched;
    int textSize = 8192;
    int timeoutMs = 60000;
    bool curlStarted = false;
};

LayerState &state()
{
    static LayerState s;
    return s;
}

} // namespace

void NMailInitializeWinSock()
{
    LayerState &s = state();
    if (!s.curlStarted)
        s.curlStarted = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

void NMailEndWinSock()
{
    // Sessions still open at shutdown are dropped without QUIT, so nothing
    // the caller marked for deletion is committed behind its back.
    detail::abortAllPop3Sessions();
    LayerState &s = state();
    if (s.curlStarted) {
        curl_global_cleanup();
        s.curlStarted = false;
    }
}

void NMailSetOption(int option, int value)
{
    LayerState &s = state();
    switch (option) {
    case NMailOptionTextSize:
        if (value > 1)
            s.textSize = value;
        break;
    case NMailOptionTimeoutMs:
        if (value > 0)
            s.timeoutMs = value;
        break;
    default:
        break;
    }
}

QString NMailGetMessage()
{
    return state().lastError;
}

namespace detail {

void setLastError(const QString &text)
{
    state().lastError = text;
}

LastFetched &lastFetched()
{
    return state().lastFetched;
}

int textSize()
{
    return state().textSize;
}

int timeoutMilliseconds()
{
    return state().timeoutMs;
}

} // namespace detail

} // namespace maillib
