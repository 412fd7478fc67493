#include "maillib/MailService.h"

#include "maillib/MailService_p.h"
#include "maillib/Pop3Session.h"
#include "maillib/ServerTrust.h"
#include "maillib/SmtpClient.h"

#include "common/Cp932.h"

#include <QThread>

#include <curl/curl.h>

#include <algorithm>

namespace maillib {

namespace detail {

void MailWaits::cancel()
{
    const std::lock_guard lock(m_mutex);
    if (m_loops.empty())
        return;
    ++m_generation;
    for (QEventLoop *loop : m_loops) {
        // From another thread the loop is asked to quit through its own event
        // queue; a loop that ends first takes the request with it.
        if (loop->thread() == QThread::currentThread())
            loop->quit();
        else
            QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
}

MailWaits::Registration::Registration(MailWaits *waits, QEventLoop *loop)
    : m_waits(waits), m_loop(loop)
{
    if (!m_waits)
        return;
    const std::lock_guard lock(m_waits->m_mutex);
    m_waits->m_loops.push_back(loop);
}

MailWaits::Registration::~Registration()
{
    if (!m_waits)
        return;
    const std::lock_guard lock(m_waits->m_mutex);
    std::vector<QEventLoop *> &loops = m_waits->m_loops;
    loops.erase(std::remove(loops.begin(), loops.end(), m_loop), loops.end());
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

MailService::Private::Private()
    : smtpKeeper(std::make_unique<SmtpConnectionKeeper>())
{
}

MailService::Private::~Private()
{
    abortAllSessions();
}

bool MailService::Private::exemptFromGuards(const QString &host) const
{
    return loopbackIsSafe && isLoopbackHost(host);
}

Pop3Session *MailService::Private::session(int handle) const
{
    const auto it = sessions.find(handle);
    return it == sessions.end() ? nullptr : it->second.get();
}

void MailService::Private::abortAllSessions()
{
    // A call may still be waiting inside one of them (shutdown can arrive
    // through the event loop it turns), so the objects go once it has returned.
    for (auto &[handle, session] : sessions) {
        session->abort();
        session.release()->deleteLater();
    }
    sessions.clear();
}

MailResult MailService::Private::failed(MailResult result)
{
    if (!result.ok())
        lastError = result.message();
    return result;
}

MailService::MailService(ServerQuestions *questions)
    : m_d(std::make_unique<Private>())
{
    m_d->questions = questions;
}

MailService::~MailService() = default;

MailService &MailService::process()
{
    // Never destroyed: sessions and a kept connection must not outlive the
    // application object, and shutdown ends them through end().
    static MailService *const instance = new MailService;
    return *instance;
}

void MailService::start()
{
    if (!m_d->curlStarted)
        m_d->curlStarted = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

void MailService::end()
{
    // Sessions still open at shutdown are dropped without QUIT, so nothing
    // the caller marked for deletion is committed behind its back.
    m_d->abortAllSessions();
    setOption(NMailOptionSmtpKeepConnection, 0);
    if (m_d->curlStarted) {
        curl_global_cleanup();
        m_d->curlStarted = false;
    }
}

void MailService::setOption(int option, int value)
{
    Private &s = *m_d;
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
        s.waits.setUserInput(value != 0);
        break;
    case NMailOptionSmtpKeepConnection:
        // A run of sends begins or ends: certificates refused in the last one may be asked about again.
        s.refusedCertificates.clear();
        s.smtpKeeper->setKeep(value != 0);
        break;
    case NMailOptionLoopbackIsSafe:
        s.loopbackIsSafe = value != 0;
        break;
    default:
        break;
    }
}

int MailService::option(int option) const
{
    const Private &s = *m_d;
    switch (option) {
    case NMailOptionTextSize:
        return s.textSize;
    case NMailOptionTimeoutMs:
        return s.timeoutMs;
    case NMailOptionUserInput:
        return s.waits.userInput() ? 1 : 0;
    case NMailOptionSmtpKeepConnection:
        return s.smtpKeeper->keep() ? 1 : 0;
    case NMailOptionLoopbackIsSafe:
        return s.loopbackIsSafe ? 1 : 0;
    default:
        return -1;
    }
}

void MailService::setQuestions(ServerQuestions *questions)
{
    m_d->questions = questions;
}

void MailService::setSmtpCredentialsProvider(CredentialsProvider provider)
{
    m_d->credentialsProvider = std::move(provider);
}

void MailService::cancel()
{
    m_d->waits.cancel();
}

QString MailService::lastError() const
{
    return m_d->lastError;
}

} // namespace maillib
