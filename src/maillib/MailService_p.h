#pragma once

// The inside of MailService, for the layer's own files and its tests only.

#include "maillib/MailService.h"

#include <QByteArray>
#include <QEventLoop>
#include <QSet>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace maillib {

class Pop3Session;
class SmtpConnectionKeeper;

namespace detail {

// The waits of one service that a stop request may end. The counter is read
// from any thread; a wait remembers its value when it starts and stops once it
// has changed.
class MailWaits
{
public:
    [[nodiscard]] quint64 generation() const { return m_generation.load(); }
    // Ends every registered wait; callable from any thread.
    void cancel();
    // Whether waits let user input through (NMailOptionUserInput); owning thread only.
    void setUserInput(bool through) { m_userInput = through; }
    [[nodiscard]] bool userInput() const { return m_userInput; }
    [[nodiscard]] QEventLoop::ProcessEventsFlags flags() const
    {
        return m_userInput ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
    }

    // Registers the event loop a wait is turning while it lives; waits may be null.
    class Registration
    {
    public:
        Registration(MailWaits *waits, QEventLoop *loop);
        ~Registration();
        Registration(const Registration &) = delete;
        Registration &operator=(const Registration &) = delete;

    private:
        MailWaits *m_waits;
        QEventLoop *m_loop;
    };

private:
    std::atomic<quint64> m_generation{0};
    std::mutex m_mutex;
    std::vector<QEventLoop *> m_loops;
    bool m_userInput = false;
};

// The message last fetched by pop3Mail (or loaded): its raw bytes, and its
// header block and body as handed out, so that extraction can recognise it.
struct LastFetched
{
    QByteArray raw;
    QString header;
    QString body;
    // The parse made while fetching; used only while its raw() equals raw.
    std::shared_ptr<const DecodedMessage> decoded;
};

// The text of a call stopped by MailService::cancel().
[[nodiscard]] QString cancelledText();
// The bytes of a user ID or password as they go to a server: CP932 when it
// holds every character, UTF-8 otherwise.
[[nodiscard]] QByteArray credentialBytes(const QString &text);

} // namespace detail

class MailService::Private
{
public:
    Private();
    ~Private();

    // Options.
    int textSize = 8192;
    int timeoutMs = 60000;
    bool loopbackIsSafe = true;
    bool curlStarted = false;

    QString lastError;
    detail::LastFetched lastFetched;
    detail::MailWaits waits;
    ServerQuestions *questions = nullptr;

    // POP3 sessions handed out, by handle. Handles are never reused within a
    // service, so a stale handle cannot reach a newer session.
    std::map<int, std::unique_ptr<Pop3Session>> sessions;
    int lastHandle = 0;
    // Set while a POP3 call runs: its waits turn the event loop, so a timer or
    // window event could call in again; such a call is refused.
    bool pop3Busy = false;
    // The message last decoded, so that the status and the full fetch of the
    // same message (the usual pair) decode it once.
    int cachedHandle = 0;
    int cachedNumber = 0;
    std::shared_ptr<const detail::DecodedMessage> cachedMessage;

    // SMTP: the kept connection, the send in progress, the credentials, and
    // the certificates refused during a run of sends (so that a run asks once).
    std::unique_ptr<SmtpConnectionKeeper> smtpKeeper;
    bool sendInProgress = false;
    CredentialsProvider credentialsProvider;
    QSet<QByteArray> refusedCertificates;

    [[nodiscard]] ServerQuestions &asker() const { return questions ? *questions : promptServerQuestions(); }
    // Whether a server on host is spared the questions (NMailOptionLoopbackIsSafe).
    [[nodiscard]] bool exemptFromGuards(const QString &host) const;
    [[nodiscard]] Pop3Session *session(int handle) const;
    // Drops every open session without QUIT.
    void abortAllSessions();
    // Remembers a failure's text for lastError(); the result passes through.
    MailResult failed(MailResult result);
    MailResult fail(int code, const QString &text) { return failed(MailResult::failure(code, text)); }
};

} // namespace maillib
