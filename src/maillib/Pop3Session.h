#pragma once

#include "maillib/Pop3Address.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QSslConfiguration>
#include <QSslError>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QEventLoop;
class QSslSocket;

namespace maillib {

namespace detail {
class MailWaits;
}

class Pop3ReplyParser;

// Limits and TLS settings of a Pop3Session.
struct Pop3Settings
{
    // A connection attempt, a TLS handshake or a transfer that makes no
    // progress for this long ends the session.
    int timeoutMs = 60000;
    // Messages listed larger than this are not downloaded.
    qint64 maxMessageBytes = qint64(256) * 1024 * 1024;
    // Read-ahead when pipelining: messages and listed bytes in flight.
    int prefetchMessages = 32;
    qint64 prefetchBytes = qint64(16) * 1024 * 1024;
    // Every call also has an overall deadline, so that a server trickling its
    // reply just fast enough to dodge timeoutMs cannot keep it waiting: the
    // time-out twice plus the octets still expected at this rate.
    qint64 minBytesPerSecond = 16 * 1024;
    // Most messages a mailbox may hold (what the received-mail store can take).
    int maxMessages = 32767;
    // TLS settings; the process default (system CA store) when unset.
    std::optional<QSslConfiguration> ssl;
    // SHA-256 digest of the one certificate the user trusts for this server
    // although it does not verify; any other certificate must verify.
    QByteArray trustedCertificateSha256;
    // The waits of the service the session belongs to: a stop request ends
    // them, and they let user input through when it says so. None: a wait
    // cannot be stopped and holds user input back.
    detail::MailWaits *waits = nullptr;
};

enum class Pop3Login {
    UserPass,
    Apop,
};

// One POP3 session on one connection (RFC 1939, with CAPA and PIPELINING from
// RFC 2449 and STLS from RFC 2595). Every call blocks until the server has
// answered but keeps the thread's event loop turning, with user input held back.
//
// An -ERR to RETR refuses that one message (NMailErrorMessageRefused) and the
// session goes on. Any other -ERR (to CAPA aside), a dropped connection, a
// time-out, a stop request (MailService::cancel) or a malformed reply ends the session
// at once without QUIT, so nothing marked for deletion is committed, and the
// session never reconnects: message numbers stay those of the login. When the server offers PIPELINING, the next messages are
// requested while the caller works on the current one and deletions are sent
// without waiting; their outcome is reported by the next call at the latest.
class Pop3Session : public QObject
{
    Q_OBJECT

public:
    explicit Pop3Session(Pop3Settings settings = Pop3Settings(), QObject *parent = nullptr);
    // Drops a session that is still open without QUIT.
    ~Pop3Session() override;

    // Connects, reads the greeting and the capabilities, and upgrades with
    // STLS when the address asks for it and the server offers it.
    [[nodiscard]] bool open(const Pop3Address &address);
    // Logs in and reads the message count (STAT) and sizes (LIST).
    [[nodiscard]] bool login(const QString &user, const QString &password, Pop3Login method);

    [[nodiscard]] int messageCount() const { return m_count; }
    // Size in octets as listed at login, or -1 for a number not listed.
    [[nodiscard]] qint64 messageSize(int number) const;
    // The message exactly as stored on the server: CRLF line ends, dot-stuffing undone.
    [[nodiscard]] bool retrieve(int number, QByteArray *message);
    [[nodiscard]] bool wasRetrieved(int number) const { return m_retrieved.contains(number); }
    // The unique IDs of the messages (UIDL), by number from 1, asked for once;
    // empty when the server offers none; null only when the session failed.
    // The list stays the session's, unchanged once asked for.
    [[nodiscard]] const std::vector<QByteArray> *uniqueIds();
    // Marks a message deleted; it is gone only once quit() succeeded.
    [[nodiscard]] bool markDeleted(int number);
    // Waits for every outstanding reply, then sends QUIT. True when the
    // server acknowledged it, i.e. the deletions are committed.
    [[nodiscard]] bool quit();
    // Drops the connection without QUIT.
    void abort();

    [[nodiscard]] bool isFailed() const { return m_state == State::Failed; }
    [[nodiscard]] const Pop3Address &address() const { return m_address; }
    [[nodiscard]] bool isEncrypted() const;
    [[nodiscard]] bool pipelining() const { return m_pipelining; }
    [[nodiscard]] QStringList capabilities() const { return m_capabilities; }
    [[nodiscard]] QByteArray greeting() const { return m_greeting; }
    // The server's certificate when it did not verify (and was not the trusted
    // one), with the reasons; a null certificate otherwise.
    [[nodiscard]] QSslCertificate rejectedCertificate() const { return m_rejectedCertificate; }
    [[nodiscard]] QStringList certificateProblems() const { return m_certificateProblems; }
    // Octets received from the server so far.
    [[nodiscard]] qint64 receivedBytes() const { return m_receivedBytes; }

    // The NMailError code and the user's text of the last failed call.
    [[nodiscard]] int errorCode() const { return m_errorCode; }
    [[nodiscard]] QString errorText() const { return m_errorText; }

private:
    enum class State { Idle, Connecting, Authorization, Transaction, Closed, Failed };
    struct Command;
    using CommandPtr = std::shared_ptr<Command>;

    // Capabilities and messages (Pop3Session.cpp).
    bool readCapabilities();
    bool checkNumber(int number);
    void prefetchAfter(int number);
    qint64 bytesAhead() const;

    // Login, count and sizes (Pop3SessionLogin.cpp).
    bool mayLogin(const QString &user, const QString &password, Pop3Login method);
    bool sendLogin(const QString &user, const QString &password, Pop3Login method, std::vector<CommandPtr> *logins);
    CommandPtr sendApop(const QString &user, const QString &password);
    bool readMailbox(CommandPtr stat, CommandPtr list);

    // The socket and TLS (Pop3SessionTls.cpp).
    void createSocket();
    bool startTls();
    void startHandshake();
    void onSocketError();
    void onSslErrors(const QList<QSslError> &errors);

    // Commands out, replies in (Pop3SessionPipeline.cpp).
    CommandPtr send(const QByteArray &line, int kind, int number = 0);
    // Waits until done() holds; until, when given, is the last pending
    // command whose reply must have arrived by then (for the deadline).
    bool waitFor(const std::function<bool()> &done, const Command *until = nullptr);
    bool waitFor(const CommandPtr &command);
    qint64 octetsExpected(const Command *until) const;
    bool drain();
    void onReadyRead();
    void onDisconnected();
    void progress();
    void processInput();
    bool readStatus(Command &command);
    bool readBody(Command &command);
    bool finishStatus(Command &command, const QByteArray &line);
    void failRefused(const Command &command, const QByteArray &line);
    void completeFront();

    void fail(int code, const QString &text);
    void refuse(int code, const QString &text);
    [[nodiscard]] int failureCodeForPhase() const;

    Pop3Settings m_settings;
    Pop3Address m_address;
    QSslSocket *m_socket = nullptr;
    QEventLoop *m_waitLoop = nullptr;
    QTimer m_stallTimer;
    QTimer m_deadlineTimer;
    qint64 m_receivedBytes = 0;
    State m_state = State::Idle;
    bool m_pipelining = false;
    bool m_quitSent = false;
    QByteArray m_greeting;
    QStringList m_capabilities;

    std::unique_ptr<Pop3ReplyParser> m_replies;
    std::deque<CommandPtr> m_pending;
    std::map<int, CommandPtr> m_retrs;

    int m_count = 0;
    std::vector<qint64> m_sizes;
    QSet<int> m_retrieved;
    QSet<int> m_deleted;
    std::vector<QByteArray> m_uids;
    bool m_uidsAsked = false;

    int m_errorCode = 0;
    QString m_errorText;
    QSslCertificate m_rejectedCertificate;
    QStringList m_certificateProblems;
};

// What the greeting says about APOP (RFC 1939 section 7): the timestamp to hash,
// or whether it is missing or malformed.
struct ApopTimestamp
{
    enum class Kind { Missing, Malformed, Valid } kind = Kind::Missing;
    QByteArray value;
};
[[nodiscard]] ApopTimestamp apopTimestamp(const QByteArray &greeting);

} // namespace maillib
