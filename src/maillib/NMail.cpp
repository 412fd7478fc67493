#include "maillib/NMail.h"

#include "maillib/Pop3Registry.h"
#include "maillib/ServerTrust.h"
#include "maillib/SmtpClient.h"

#include "common/Cp932.h"

#include <QEventLoop>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace maillib {

namespace {

struct LayerState
{
    QString lastError;
    detail::LastFetched lastFetched;
    int textSize = 8192;
    int timeoutMs = 60000;
    bool curlStarted = false;
    bool userInput = false;
    bool loopbackIsSafe = true;
    std::vector<QEventLoop *> waits;
};

std::atomic<quint64> cancelCounter{0};

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
    keepSmtpConnection(false);
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
    case NMailOptionUserInput:
        s.userInput = value != 0;
        break;
    case NMailOptionSmtpKeepConnection:
        keepSmtpConnection(value != 0);
        break;
    case NMailOptionLoopbackIsSafe:
        s.loopbackIsSafe = value != 0;
        break;
    default:
        break;
    }
}

void NMailCancel()
{
    LayerState &s = state();
    if (s.waits.empty())
        return;
    ++cancelCounter;
    for (QEventLoop *loop : s.waits)
        loop->quit();
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

bool userInputDuringWaits()
{
    return state().userInput;
}

bool exemptFromGuards(const QString &host)
{
    return state().loopbackIsSafe && isLoopbackHost(host);
}

quint64 cancelGeneration()
{
    return cancelCounter.load();
}

CancellableWait::CancellableWait(QEventLoop *loop)
    : m_loop(loop)
{
    state().waits.push_back(loop);
}

CancellableWait::~CancellableWait()
{
    std::vector<QEventLoop *> &waits = state().waits;
    waits.erase(std::remove(waits.begin(), waits.end(), m_loop), waits.end());
}

// The rest of the program keeps its strings as CP932 (the Japanese Windows
// code page), and so do the servers its users had; a user ID or password is
// sent in those bytes, and as UTF-8 only when CP932 cannot hold it.
QByteArray credentialBytes(const QString &text)
{
    const QByteArray cp932 = common::toCp932(text);
    return common::fromCp932(cp932) == text ? cp932 : text.toUtf8();
}

QString cancelledText()
{
    return QStringLiteral("メールの処理を中止しました。");
}

} // namespace detail

} // namespace maillib
