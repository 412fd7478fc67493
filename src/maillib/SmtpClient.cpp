#include "maillib/SmtpClient.h"

#include "maillib/MessageBuilder.h"
#include "maillib/MailService_p.h"
#include "maillib/ServerTrust.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QScopeGuard>
#include <QEventLoop>
#include <QThread>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <atomic>
#include <climits>
#include <memory>
#include <mutex>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

namespace maillib {

struct SmtpConnectionKeeper::Connection
{
    std::mutex mutex;
    CURL *handle = nullptr;
    bool keep = false;
    curl_socket_t socket = CURL_SOCKET_BAD; // of the kept handle's connection

    void end()
    {
        if (handle) {
            // Ends the kept connection with QUIT.
            curl_easy_cleanup(handle);
            handle = nullptr;
            socket = CURL_SOCKET_BAD;
        }
    }
};

namespace {

struct CurlEasyCleanup
{
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};
struct CurlSlistFree
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

// What the dialogue showed: the last command verb we sent and the last
// complete reply, so that a failure can name the step and quote the server.
struct Transcript
{
    QByteArray lastCommand;
    QByteArray pendingReply;
    QByteArray partialLine;
    bool replyComplete = true;
    // Something was sent (or the connection opened) and its reply has not come yet.
    bool awaitingReply = false;
    // Where the socket of the handle's open connection is kept (CURL_SOCKET_BAD when none).
    curl_socket_t *socket = nullptr;

    void commandSent(const QByteArray &line)
    {
        static const QList<QByteArray> verbs = {"EHLO", "HELO", "STARTTLS", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"};
        const QByteArray verb = line.trimmed().split(' ').value(0).toUpper();
        // AUTH continuation lines carry credentials, not a verb: keep "AUTH".
        if (verbs.contains(verb))
            lastCommand = verb;
    }

    void replyReceived(const QByteArray &chunk)
    {
        partialLine += chunk;
        qsizetype end;
        while ((end = partialLine.indexOf('\n')) >= 0) {
            const QByteArray line = partialLine.left(end).trimmed();
            partialLine.remove(0, end + 1);
            if (line.isEmpty())
                continue;
            if (replyComplete)
                pendingReply.clear();
            if (!pendingReply.isEmpty())
                pendingReply += '\n';
            pendingReply += line;
            replyComplete = line.size() < 4 || line.at(3) != '-';
            if (replyComplete)
                awaitingReply = false;
            if (replyComplete && refusedReply.isEmpty() && pendingReply.left(3).toInt() >= 400) {
                refusedReply = pendingReply;
                refusedCommand = lastCommand;
            }
        }
    }

    // The first refusal counts: libcurl may still send QUIT and read its reply.
    QByteArray refusedCommand;
    QByteArray refusedReply;
    // TLS records went over the connection (STARTTLS or smtps://).
    bool encrypted = false;
};

int debugCallback(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    auto *transcript = static_cast<Transcript *>(user);
    const QByteArray bytes(data, qsizetype(size));
    if (type == CURLINFO_HEADER_IN) {
        transcript->replyReceived(bytes);
    } else if (type == CURLINFO_HEADER_OUT) {
        // libcurl closes a connection whose server stopped answering with
        // QUIT and waits the whole response time-out again for its reply,
        // doubling the wait. A server that has not answered the last command
        // will not answer QUIT either: the connection is shut down at once.
        if (bytes.startsWith("QUIT") && transcript->awaitingReply && *transcript->socket != CURL_SOCKET_BAD) {
            ::shutdown(*transcript->socket, SHUT_RDWR);
            return 0;
        }
        transcript->commandSent(bytes);
        transcript->awaitingReply = true;
    } else if (type == CURLINFO_DATA_OUT) {
        transcript->awaitingReply = true;
    } else if (type == CURLINFO_SSL_DATA_IN || type == CURLINFO_SSL_DATA_OUT) {
        transcript->encrypted = true;
    }
    return 0;
}

// A new connection of this transfer: its socket, and the greeting to wait for.
int socketOptionCallback(void *user, curl_socket_t socket, curlsocktype)
{
    auto *transcript = static_cast<Transcript *>(user);
    *transcript->socket = socket;
    transcript->awaitingReply = true;
    return CURL_SOCKOPT_OK;
}

// The handle's connection closes: its socket is no longer one to shut down.
int closeSocketCallback(void *user, curl_socket_t socket)
{
    auto *slot = static_cast<curl_socket_t *>(user);
    if (*slot == socket)
        *slot = CURL_SOCKET_BAD;
    return ::close(socket);
}

struct Upload
{
    const QByteArray *data;
    qsizetype position = 0;
};

size_t readCallback(char *buffer, size_t size, size_t count, void *user)
{
    auto *upload = static_cast<Upload *>(user);
    const qsizetype room = qsizetype(size * count);
    const qsizetype n = qMin(room, upload->data->size() - upload->position);
    memcpy(buffer, upload->data->constData() + upload->position, size_t(n));
    upload->position += n;
    return size_t(n);
}

// The server's reply as the user sees it: printable text only, bounded.
QString quoteReply(const QByteArray &reply)
{
    QString text = QString::fromUtf8(reply);
    for (QChar &c : text) {
        if (c.unicode() < 0x20 && c != u'\n')
            c = u' ';
    }
    if (text.size() > 1000)
        text = text.left(1000) + QStringLiteral("…");
    return text;
}

SmtpResult failure(int code, const QString &text, const QByteArray &reply = {})
{
    SmtpResult result;
    result.code = code;
    result.error = text;
    if (!reply.isEmpty())
        result.error += QStringLiteral("\nサーバーの応答: ") + quoteReply(reply);
    return result;
}

// A refusal by the server, named after the step that was refused.
SmtpResult refusal(const Transcript &t)
{
    const QByteArray &cmd = t.refusedCommand;
    if (cmd == "AUTH")
        return failure(NMailErrorAuthenticate,
                       QStringLiteral("SMTPサーバーで認証に失敗しました。ユーザーIDとパスワードを確認して下さい。"),
                       t.refusedReply);
    if (cmd == "MAIL")
        return failure(NMailErrorSend, QStringLiteral("差出人のメールアドレスがSMTPサーバーに拒否されました。"),
                       t.refusedReply);
    if (cmd == "RCPT")
        return failure(NMailErrorSend, QStringLiteral("宛先のメールアドレスがSMTPサーバーに拒否されました。"),
                       t.refusedReply);
    if (cmd == "DATA")
        return failure(NMailErrorSend, QStringLiteral("メールがSMTPサーバーに受け取りを拒否されました。"),
                       t.refusedReply);
    if (cmd == "STARTTLS")
        return failure(NMailErrorConnect,
                       QStringLiteral("SMTPサーバーとの暗号化（STARTTLS）を開始できませんでした。"), t.refusedReply);
    return failure(NMailErrorConnect, QStringLiteral("SMTPサーバーが接続を拒否しました。"), t.refusedReply);
}

SmtpResult describe(CURLcode rc, const Transcript &t, const SmtpRequest &request, const char *curlDetail)
{
    if (!t.refusedReply.isEmpty())
        return refusal(t);
    const QString where = request.server.hostAndPort();
    switch (rc) {
    case CURLE_ABORTED_BY_CALLBACK:
        return failure(NMailErrorCancelled, QStringLiteral("メールの送信を中止しました。"));
    case CURLE_COULDNT_RESOLVE_HOST:
        return failure(NMailErrorConnect,
                       QStringLiteral("SMTPサーバー「%1」が見つかりません。サーバー名を確認して下さい。")
                           .arg(request.server.host));
    case CURLE_COULDNT_CONNECT:
        return failure(NMailErrorConnect, QStringLiteral("SMTPサーバー（%1）に接続できません。").arg(where));
    case CURLE_OPERATION_TIMEDOUT:
        return failure(NMailErrorTimeout,
                       QStringLiteral("SMTPサーバー（%1）から応答がないため、送信を中止しました。").arg(where));
    case CURLE_PEER_FAILED_VERIFICATION:
        return failure(NMailErrorConnect,
                       QStringLiteral("SMTPサーバーの証明書を確認できませんでした。証明書が信頼できないか、"
                                      "サーバー名と一致しません。"));
    case CURLE_SSL_CONNECT_ERROR:
        return failure(NMailErrorConnect, QStringLiteral("SMTPサーバーとの暗号化接続（TLS）を確立できませんでした。"));
    case CURLE_USE_SSL_FAILED:
        return failure(NMailErrorConnect,
                       QStringLiteral("SMTPサーバーが暗号化（STARTTLS）に対応していないため、"
                                      "パスワードを送らずに中止しました。"));
    case CURLE_LOGIN_DENIED:
        return failure(NMailErrorAuthenticate,
                       QStringLiteral("SMTPサーバーで認証に失敗しました。ユーザーIDとパスワードを確認して下さい。"),
                       t.refusedReply);
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return failure(NMailErrorConnect, QStringLiteral("SMTPサーバーとの接続が途中で切れました。"));
    case CURLE_WEIRD_SERVER_REPLY:
        return failure(NMailErrorProtocol, QStringLiteral("SMTPサーバーの応答を理解できません。"), t.refusedReply);
    default:
        return failure(NMailErrorSend, QStringLiteral("メールを送信できませんでした（%1）。")
                                           .arg(QString::fromUtf8(*curlDetail ? curlDetail : curl_easy_strerror(rc))));
    }
}

void initCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The server certificate as the TLS handshake saw it, and the one trusted.
// The transfer runs on one worker thread, and the handshake on that thread.
struct CertificateCheck
{
    QByteArray trustedSha256;
    QByteArray leaf; // DER of the server's own certificate
};
thread_local CertificateCheck *t_certificateCheck = nullptr;

QByteArray sha256Of(X509 *certificate)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), md, &length) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char *>(md), int(length));
}

int verifyCallback(int preverified, X509_STORE_CTX *context)
{
    CertificateCheck *check = t_certificateCheck;
    X509 *leaf = X509_STORE_CTX_get0_cert(context);
    if (!check || !leaf)
        return preverified;
    if (check->leaf.isEmpty()) {
        unsigned char *der = nullptr;
        const int length = i2d_X509(leaf, &der);
        if (length > 0)
            check->leaf = QByteArray(reinterpret_cast<const char *>(der), length);
        OPENSSL_free(der);
    }
    // With a trusted certificate the chain is not looked at: it is that one or none.
    if (!check->trustedSha256.isEmpty())
        return sha256Of(leaf) == check->trustedSha256 ? 1 : 0;
    return preverified;
}

CURLcode sslContextCallback(CURL *, void *sslContext, void *)
{
    auto *context = static_cast<SSL_CTX *>(sslContext);
    SSL_CTX_set_verify(context, SSL_CTX_get_verify_mode(context) | SSL_VERIFY_PEER, verifyCallback);
    return CURLE_OK;
}

int progressCallback(void *userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *request = static_cast<const SmtpRequest *>(userData);
    return request->cancelled && request->cancelled() ? 1 : 0;
}

// The handle this transfer runs on. A kept handle holds its connection open
// between sends; libcurl takes it again for the same server (one transaction
// per mail) and opens a new one when the server has closed it or the last
// send failed. It stays locked for this call. Otherwise the handle is this
// call's alone, held in own. Null when none could be made.
CURL *takeHandle(const SmtpRequest &request, SmtpConnectionKeeper::Connection &keptConnection,
                 std::unique_lock<std::mutex> &keptLock, std::unique_ptr<CURL, CurlEasyCleanup> &own)
{
    if (keptConnection.keep && !request.loginOnly) {
        if (keptConnection.handle)
            curl_easy_reset(keptConnection.handle);
        else
            keptConnection.handle = curl_easy_init();
        return keptConnection.handle;
    }
    keptLock.unlock();
    own.reset(curl_easy_init());
    return own.get();
}

// What this call sends: the envelope and the message, or nothing of a mail
// transaction for a login check.
void setTransaction(CURL *h, const SmtpRequest &request, curl_slist *recipients, Upload *upload)
{
    if (request.loginOnly) {
        // The greeting, EHLO, STARTTLS and AUTH belong to libcurl's connect
        // phase; nothing of a mail transaction is sent.
        curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
        return;
    }
    const QByteArray from = "<" + request.from.toUtf8() + ">";
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, readCallback);
    curl_easy_setopt(h, CURLOPT_READDATA, upload);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(request.message.size()));
}

// The dialogue goes to the transcript, which also follows the connection's
// socket; the progress callback watches for a stop request.
void setWatchers(CURL *h, const SmtpRequest &request, Transcript &transcript)
{
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, debugCallback);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &transcript);
    curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, socketOptionCallback);
    curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, &transcript);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, closeSocketCallback);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, transcript.socket);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progressCallback);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<SmtpRequest *>(&request));
}

void setTimeouts(CURL *h, const SmtpTimeouts &timeouts)
{
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, long(timeouts.connectSeconds));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(timeouts.responseSeconds));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, long(timeouts.stallSeconds));
    if (timeouts.overallMs > 0)
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(qMin<qint64>(timeouts.overallMs, LONG_MAX)));
}

// How the server's certificate is checked, when TLS is used, and the login.
void setSecurity(CURL *h, const SmtpRequest &request)
{
    const bool pinned = !request.trustedCertificateSha256.isEmpty();
    // A trusted certificate is checked by its digest in verifyCallback alone.
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, pinned ? 0L : 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, pinned ? 0L : 2L);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, sslContextCallback);
    // OpenSSL's own variables name another CA store, as a test or a site may.
    const QByteArray caFile = qgetenv("SSL_CERT_FILE");
    const QByteArray caDir = qgetenv("SSL_CERT_DIR");
    if (!caFile.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    if (!caDir.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAPATH, caDir.constData());
    const bool authenticate = !request.server.user.isEmpty();
    if (request.server.security != SmtpServerName::Security::ImplicitTls) {
        // A password only ever travels encrypted; otherwise STARTTLS when offered.
        curl_easy_setopt(h, CURLOPT_USE_SSL, authenticate ? long(CURLUSESSL_ALL) : long(CURLUSESSL_TRY));
    }
    if (authenticate) {
        const QByteArray user = detail::credentialBytes(request.userId);
        const QByteArray password = detail::credentialBytes(request.password);
        curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    }
}

// The kept handle outlives this call: nothing of it may point at this
// call's locals when it closes its connection later (QUIT).
void detachFromCall(CURL *h)
{
    curl_easy_setopt(h, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, nullptr);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, nullptr);
    curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, nullptr);
    // The close callback stays: its slot lives as long as the handle.
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, nullptr);
}

// What a finished transfer tells the caller; a refused certificate comes
// with the certificate, for the user to decide on.
SmtpResult outcome(CURLcode rc, const Transcript &transcript, const SmtpRequest &request, const char *errorBuffer,
                   const CertificateCheck &certificateCheck)
{
    if (rc == CURLE_OK) {
        SmtpResult sent;
        sent.encrypted = transcript.encrypted;
        return sent;
    }
    SmtpResult result = describe(rc, transcript, request, errorBuffer);
    const bool pinned = !request.trustedCertificateSha256.isEmpty();
    const bool certificateRefused = rc == CURLE_PEER_FAILED_VERIFICATION
        || (pinned && rc == CURLE_SSL_CONNECT_ERROR && !certificateCheck.leaf.isEmpty()
            && QCryptographicHash::hash(certificateCheck.leaf, QCryptographicHash::Sha256) != request.trustedCertificateSha256);
    if (certificateRefused) {
        result.code = NMailErrorConnect;
        result.error = describe(CURLE_PEER_FAILED_VERIFICATION, transcript, request, errorBuffer).error;
        result.rejectedCertificate = certificateCheck.leaf;
        result.certificateProblem = pinned ? QStringLiteral("以前に信頼した証明書とは違う証明書です。")
                                           : QString::fromUtf8(errorBuffer);
    }
    return result;
}

// The transfer itself; runs on the worker thread.
SmtpResult transfer(const SmtpRequest &request)
{
    SmtpConnectionKeeper::Connection noKeeper;
    SmtpConnectionKeeper::Connection &keptConnection = request.keeper ? request.keeper->connection() : noKeeper;
    std::unique_lock keptLock(keptConnection.mutex);
    std::unique_ptr<CURL, CurlEasyCleanup> curl;
    CURL *h = takeHandle(request, keptConnection, keptLock, curl);
    if (!h)
        return failure(NMailErrorSend, QStringLiteral("送信の準備ができませんでした。"));

    const bool implicitTls = request.server.security == SmtpServerName::Security::ImplicitTls;
    const QByteArray url = (implicitTls ? "smtps://" : "smtp://") + request.server.hostAndPort().toUtf8() + "/"
        + request.ehloName;
    std::unique_ptr<curl_slist, CurlSlistFree> recipients(
        curl_slist_append(nullptr, QByteArray("<" + request.to.toUtf8() + ">").constData()));
    Transcript transcript;
    Upload upload{&request.message};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_socket_t ownSocket = CURL_SOCKET_BAD;
    transcript.socket = curl ? &ownSocket : &keptConnection.socket;

    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    setTransaction(h, request, recipients.get(), &upload);
    // The data is canonical CRLF already; CURLOPT_CRLF would double the CRs.
    curl_easy_setopt(h, CURLOPT_CRLF, 0L);
    setWatchers(h, request, transcript);
    setTimeouts(h, request.timeouts);
    setSecurity(h, request);

    CertificateCheck certificateCheck{request.trustedCertificateSha256, {}};
    t_certificateCheck = &certificateCheck;
    const CURLcode rc = curl_easy_perform(h);
    t_certificateCheck = nullptr;
    if (!curl)
        detachFromCall(h);
    // A handle of this call alone closes its connection (QUIT) here, while
    // what its callbacks use still exists.
    const auto closeOwnHandle = qScopeGuard([&curl] { curl.reset(); });
    return outcome(rc, transcript, request, errorBuffer, certificateCheck);
}

} // namespace

SmtpConnectionKeeper::SmtpConnectionKeeper()
    : m_connection(std::make_unique<Connection>())
{
}

SmtpConnectionKeeper::~SmtpConnectionKeeper()
{
    m_connection->end();
}

void SmtpConnectionKeeper::setKeep(bool keep)
{
    Connection &k = *m_connection;
    const std::lock_guard lock(k.mutex);
    k.keep = keep;
    if (!keep)
        k.end();
}

bool SmtpConnectionKeeper::keep() const
{
    Connection &k = *m_connection;
    const std::lock_guard lock(k.mutex);
    return k.keep;
}

SmtpResult sendSmtp(const SmtpRequest &request)
{
    if (!request.loginOnly
        && (checkMailbox(request.from) != AddressProblem::None || checkMailbox(request.to) != AddressProblem::None))
        return failure(NMailErrorBadArgument, QStringLiteral("メールアドレスに使えない文字が含まれています。"));
    for (char c : request.ehloName) {
        if (c <= ' ' || c == '/' || c > '~')
            return failure(NMailErrorBadArgument, QStringLiteral("送信の準備ができませんでした。"));
    }
    initCurl();

    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return transfer(request);

    // libcurl's perform blocks; it runs on a worker while this thread turns a
    // local event loop, so that the windows keep painting.
    SmtpResult result;
    QEventLoop loop;
    std::atomic<bool> done = false;
    std::thread worker([&] {
        result = transfer(request);
        done = true;
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    {
        // A stop request ends the loop early; the transfer notices it at its
        // next progress call and the loop turns until it has.
        const detail::MailWaits::Registration cancellable(request.waits, &loop);
        const QEventLoop::ProcessEventsFlags flags =
            request.waits ? request.waits->flags() : QEventLoop::ExcludeUserInputEvents;
        while (!done)
            loop.exec(flags);
    }
    worker.join();
    return result;
}

} // namespace maillib
