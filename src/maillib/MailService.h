#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

class QSslCertificate;

// The mail layer as one object: POP3 sessions, SMTP sends and attachment
// extraction, with every piece of state they keep between calls (the last
// error, the message last fetched, open sessions, the kept SMTP connection,
// options). One instance is used from one thread at a time; only cancel()
// may be called from any thread. The NMail* calls (NMail.h) use the process's
// default instance.
namespace maillib {

namespace detail {
class DecodedMessage;
}

// Error codes of the layer (MailResult::code()).
enum NMailError : int {
    NMailErrorConnect = -1,
    NMailErrorAuthenticate = -2,
    NMailErrorProtocol = -3,
    NMailErrorTimeout = -4,
    NMailErrorAttachmentOpen = -5,
    NMailErrorSplitIncomplete = -6,
    NMailErrorSend = -7,
    NMailErrorBadArgument = -8,
    NMailErrorHandle = -9,
    // Another mail call is still running (a window event arrived while it waited).
    NMailErrorBusy = -10,
    // The call was stopped by MailService::cancel().
    NMailErrorCancelled = -11,
    // The server refused this one message (-ERR to RETR); the session goes on,
    // the other messages can still be fetched and deleted, and closing the
    // session commits their deletions. The refused message stays on the server.
    NMailErrorMessageRefused = -12,
    // The connection is not safe enough to log in: the user did not let the
    // password go unencrypted, or a server that offered encryption no longer does.
    NMailErrorInsecure = -13,
};

enum NMailOption : int {
    // Characters kept of the subject, date and sender results (the size of a
    // text buffer in the classic convention, NUL included). Default 8192.
    NMailOptionTextSize = 1,
    // Milliseconds a connection attempt, a TLS handshake or a stalled transfer
    // may take before the call gives up. Default 60000.
    NMailOptionTimeoutMs = 2,
    // 1 lets user input events through while a call waits (the caller keeps
    // the rest of the program from starting other work itself); 0, the
    // default, holds them back. Re-entrant calls are refused either way.
    NMailOptionUserInput = 3,
    // 1 keeps the SMTP connection open after a send, so that the next mail to
    // the same server goes over it as a further transaction (a run of mails,
    // such as a bulk send); 0, the default, closes it (with QUIT) and makes
    // every send open its own connection again.
    NMailOptionSmtpKeepConnection = 4,
    // 1, the default, treats a server on this machine (localhost, 127.0.0.0/8,
    // ::1) as safe: a password goes to it unencrypted without a question, and
    // whether it offers encryption is not remembered. 0 guards it like any other.
    NMailOptionLoopbackIsSafe = 5,
};

// The outcome of one call: a value (a handle, a count, a size, 1) or an
// NMailError code with the Japanese text for the user, followed by the
// server's own reply where there was one.
class MailResult
{
public:
    MailResult(qint64 value = 1) : m_value(value) {}
    [[nodiscard]] static MailResult failure(int code, QString message)
    {
        MailResult r(code);
        r.m_message = std::move(message);
        return r;
    }

    [[nodiscard]] bool ok() const { return m_value >= 0; }
    explicit operator bool() const { return ok(); }
    // The value of a call that succeeded, the (negative) error code otherwise.
    [[nodiscard]] qint64 value() const { return m_value; }
    // 0 for a call that succeeded, an NMailError code otherwise.
    [[nodiscard]] int code() const { return ok() ? 0 : int(m_value); }
    [[nodiscard]] const QString &message() const { return m_message; }
    // For a POP3 call: whether the session can still take calls. A session
    // that failed (a dropped connection, a time-out, a stop) answers every
    // further call with an error; one whose server refused a single message
    // goes on.
    [[nodiscard]] bool sessionUsable() const { return m_sessionUsable; }
    void setSessionUsable(bool usable) { m_sessionUsable = usable; }

private:
    qint64 m_value = 1;
    QString m_message;
    bool m_sessionUsable = true;
};

// The five texts of one message as the layer hands them out: subject and
// sender decoded to Unicode, the date as sent, the raw header block, and the
// body (the decoded text of a single-part text message, the raw MIME body of
// another until attachment extraction rewrites it to its text).
struct MailTexts
{
    QString subject;
    QString date;
    QString from;
    QString header;
    QString body;
    // Set by a caller that extracts the attachments next: extraction rewrites
    // the body to the text anyway, so the raw MIME body (megabytes of base64
    // in a mail with attachments) is not made and the body is left empty.
    bool extractingNext = false;
};

// The exact bytes of a received message, as the server sent them (dot-stuffing
// undone), wherever the layer keeps them: in memory, or for a large message in
// its temporary file. Holding one keeps the bytes readable.
class RawMessage
{
public:
    RawMessage() = default;
    explicit RawMessage(QByteArray bytes);
    explicit RawMessage(std::shared_ptr<const detail::DecodedMessage> message);

    [[nodiscard]] qint64 size() const;
    // Copies up to length bytes from offset into into: the number copied, 0
    // at the end, -1 when the bytes cannot be read.
    [[nodiscard]] qint64 read(qint64 offset, char *into, qint64 length) const;
    // All of it at once (tests, small messages); empty when unreadable.
    [[nodiscard]] QByteArray bytes() const;

private:
    QByteArray m_bytes;
    std::shared_ptr<const detail::DecodedMessage> m_message;
};

// The questions the layer asks the user about a server. A layer on a worker
// thread is given one that asks on the window thread.
class ServerQuestions
{
public:
    virtual ~ServerQuestions() = default;
    // Whether anyone can answer; when not, every answer is no and nothing is remembered.
    [[nodiscard]] virtual bool canAsk() const = 0;
    // Whether the password may go unencrypted to the server shown as shownName ("no" the default).
    [[nodiscard]] virtual bool allowPlainPassword(const QString &shownName) = 0;
    // Whether to trust exactly certificate, which did not verify for reasons;
    // replacesTrusted when another certificate was trusted for that server before.
    [[nodiscard]] virtual bool trustCertificate(const QString &shownName, const QSslCertificate &certificate,
                                                const QStringList &reasons, bool replacesTrusted) = 0;
};

// Asks through the program's prompts (common/Prompts.h) on the calling thread.
[[nodiscard]] ServerQuestions &promptServerQuestions();

// Where SMTP takes the user ID and password when the SMTP address names a user.
using CredentialsProvider = std::function<std::pair<QString, QString>()>;

class MailService
{
public:
    // questions: who answers the layer's questions; the prompts when null.
    explicit MailService(ServerQuestions *questions = nullptr);
    // Drops sessions still open without QUIT and ends a kept SMTP connection.
    ~MailService();
    MailService(const MailService &) = delete;
    MailService &operator=(const MailService &) = delete;

    // The process's default instance (window thread), behind the NMail* calls.
    [[nodiscard]] static MailService &process();

    // Start-up and shutdown of the layer. Safe to call more than once.
    void start();
    void end();
    // Options, see NMailOption. Unknown options are ignored (read as -1).
    void setOption(int option, int value);
    [[nodiscard]] int option(int option) const;
    void setQuestions(ServerQuestions *questions);
    void setSmtpCredentialsProvider(CredentialsProvider provider);

    // Asks every call of this service that is waiting to return as soon as
    // possible with NMailErrorCancelled. Callable from any thread, and from an
    // event handled during a wait (a stop button's click). A POP3 session whose
    // call was stopped is unusable afterwards, and closing it sends nothing, so
    // no deletion is committed. Has no effect when no call is waiting.
    void cancel();

    // The text of the last failure of any call.
    [[nodiscard]] QString lastError() const;

    // POP3. A server is "host", "host:port" or "pop3s://host[:port]"; the value
    // of a connect is the session's handle. Before a password goes unencrypted
    // (USER/PASS without TLS) the user is asked once for that server, "no"
    // being the default, and the answer is remembered (ServerTrust). A server
    // that offered STLS before and does not now is refused as a possible
    // attack. A certificate that does not verify is shown to the user, who may
    // trust exactly it for that server; another one later is refused again.
    [[nodiscard]] MailResult pop3Connect(const QString &server);
    // Logs in (APOP when apop); the value is the number of waiting messages.
    [[nodiscard]] MailResult pop3Authenticate(int handle, const QString &userId, const QString &password, bool apop);
    // Subject, date, sender and header of message number (from 1); body untouched.
    [[nodiscard]] MailResult pop3MailStatus(int handle, int number, MailTexts *texts);
    // The size in octets as the server listed it.
    [[nodiscard]] MailResult pop3MailSize(int handle, int number);
    // All five texts; the message becomes the one last fetched.
    [[nodiscard]] MailResult pop3Mail(int handle, int number, MailTexts *texts);
    // The unique ID (UIDL) of message number: value 1 with uidl filled, 0 when
    // the server offers no unique IDs.
    [[nodiscard]] MailResult pop3Uidl(int handle, int number, QString *uidl);
    // Marks message number deleted; only one fetched whole in this session.
    [[nodiscard]] MailResult pop3DeleteMail(int handle, int number);
    // Marks message number deleted without it having been fetched in this
    // session, when its unique ID is uidl.
    [[nodiscard]] MailResult pop3DeleteMailByUidl(int handle, int number, const QString &uidl);
    // Ends the session with QUIT (committing the deletions) and frees the handle.
    [[nodiscard]] MailResult pop3Close(int handle);
    // Octets received on the session so far, or a negative code; answered
    // while another call waits.
    [[nodiscard]] qint64 pop3ReceivedBytes(int handle) const;
    [[nodiscard]] bool pop3IsEncrypted(int handle) const;

    // The bytes of the message last fetched (or loaded); empty before the first.
    [[nodiscard]] RawMessage fetchedMessage() const;
    // Decodes raw, one message taken from a file, into texts, and makes it
    // the message last fetched.
    void loadMail(QByteArray raw, MailTexts *texts);

    // True when header and body are what the last fetch handed out, so that
    // extractAttachments works from the exact bytes received.
    [[nodiscard]] bool usesFetchedBytes(const QString &header, const QString &body) const;
    // Writes the attachments of the message in texts into folder (a path with
    // a closing separator); messageText (header block and body) is read only
    // when texts are not the message last fetched. texts may come back
    // rewritten (a multipart body becomes its decoded text part), except for a
    // split message. Value 1 when files were written, 0 when none; failures
    // NMailErrorAttachmentOpen and NMailErrorSplitIncomplete.
    [[nodiscard]] MailResult extractAttachments(MailTexts *texts, const QString &folder, const QString &messageText,
                                                QStringList *writtenFiles = nullptr);

    // Sends one message to one recipient from sender; attachments are file
    // paths. server: "host", "host:port", "smtp://[user@]host[:port]",
    // "smtps://[user@]host[:port]". to may carry a display name
    // ("山田太郎<yamada@example.jp>"): the To field keeps it, the envelope
    // takes the address alone.
    [[nodiscard]] MailResult smtpSendMail(const QString &server, const QString &to, const QString &from,
                                          const QString &subject, const QString &body,
                                          const QStringList &attachments);
    // Connects, encrypts and logs in as a send would, then ends with QUIT;
    // *encrypted tells whether the connection was TLS.
    [[nodiscard]] MailResult smtpLogin(const QString &server, bool *encrypted);

    // The inside (MailService_p.h), for the layer's own files and tests.
    class Private;
    [[nodiscard]] Private &d() { return *m_d; }

private:
    std::unique_ptr<Private> m_d;
};

} // namespace maillib
