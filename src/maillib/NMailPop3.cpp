#include "maillib/MimeParse.h"
#include "maillib/NMail.h"
#include "maillib/Pop3Address.h"
#include "maillib/Pop3Registry.h"
#include "maillib/Pop3Session.h"
#include "maillib/ServerTrust.h"

#include <cstring>
#include <utility>

namespace maillib {

namespace {

// The entry points wait with the event loop turning, so a timer or window
// event could call into the layer again; such a call is refused.
class BusyGuard
{
public:
    BusyGuard()
        : m_entered(!s_busy)
    {
        if (m_entered)
            s_busy = true;
        else
            detail::setLastError(QStringLiteral("ほかのメール処理が終わっていないため、実行できません。"));
    }
    ~BusyGuard()
    {
        if (m_entered)
            s_busy = false;
    }
    BusyGuard(const BusyGuard &) = delete;
    BusyGuard &operator=(const BusyGuard &) = delete;

    explicit operator bool() const { return m_entered; }

private:
    static inline bool s_busy = false;
    bool m_entered;
};

// The message last decoded, so that the status and the full fetch of the same
// message (the usual pair) decode it once.
struct DecodedCache
{
    int handle = 0;
    int number = 0;
    std::shared_ptr<const detail::DecodedMessage> message;
};

DecodedCache &decodedCache()
{
    static DecodedCache cache;
    return cache;
}

Pop3Session *sessionFor(int handle)
{
    Pop3Session *session = detail::pop3Session(handle);
    if (!session)
        detail::setLastError(QStringLiteral("POP3 の接続ハンドル %1 は使えません。").arg(handle));
    return session;
}

// Runs work on the session of handle while no other mail call is running;
// the busy and bad-handle results otherwise.
template <typename Work>
auto withSession(int handle, Work &&work) -> decltype(work(std::declval<Pop3Session &>()))
{
    BusyGuard guard;
    if (!guard)
        return NMailErrorBusy;
    Pop3Session *session = sessionFor(handle);
    if (!session)
        return NMailErrorHandle;
    return work(*session);
}

int failure(const Pop3Session &session)
{
    detail::setLastError(session.errorText());
    return session.errorCode() < 0 ? session.errorCode() : int(NMailErrorProtocol);
}

// A text result as a buffer of the configured size would hold it, without
// splitting a surrogate pair.
QString fitted(const QString &text)
{
    const qsizetype room = qMax(1, detail::textSize() - 1);
    if (text.size() <= room)
        return text;
    qsizetype cut = room;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut);
}

// Fetches and decodes message number, from the cache when it was the last one.
const std::shared_ptr<const detail::DecodedMessage> *fetchDecoded(int handle, Pop3Session &session, int number)
{
    DecodedCache &cache = decodedCache();
    if (!cache.message || cache.handle != handle || cache.number != number) {
        QByteArray bytes;
        if (!session.retrieve(number, &bytes))
            return nullptr;
        // The previous message's parse goes before the next is made, so that
        // at most one is held; extracting from that message still works from
        // its bytes.
        cache = DecodedCache();
        detail::lastFetched().decoded.reset();
        cache.message = std::make_shared<const detail::DecodedMessage>(std::move(bytes));
        cache.handle = handle;
        cache.number = number;
    }
    return &cache.message;
}

void fillFields(const DecodedMail &mail, QString *subject, QString *date, QString *from, QString *header)
{
    if (subject)
        *subject = fitted(mail.subject);
    if (date)
        *date = fitted(mail.date);
    if (from)
        *from = fitted(mail.from);
    // The header block is handed out whole: real ones (Received and DKIM lines)
    // easily exceed a text buffer, and attachment extraction needs all of it.
    if (header)
        *header = mail.header;
}

QString pop3Key(const Pop3Address &address)
{
    return serverKey(QStringLiteral("pop3"), address.host, address.port);
}

QString shownName(const Pop3Address &address)
{
    const QString host = address.host.contains(u':') ? u'[' + address.host + u']' : address.host;
    return host + u':' + QString::number(address.port);
}

// The texts of a fetched message, which becomes the one NMailAttachmentFileFirst recognises.
void handOut(const std::shared_ptr<const detail::DecodedMessage> &message, QString *subject, QString *date,
             QString *from, QString *header, QString *body)
{
    const DecodedMail &mail = message->mail();
    fillFields(mail, subject, date, from, header);
    if (body)
        *body = mail.body;
    detail::LastFetched &last = detail::lastFetched();
    last.raw = message->raw();
    last.header = mail.header;
    last.body = mail.body;
    last.decoded = message;
}

} // namespace

RawMessage::RawMessage(QByteArray bytes)
    : m_bytes(std::move(bytes))
{
}

RawMessage::RawMessage(std::shared_ptr<const detail::DecodedMessage> message)
    : m_message(std::move(message))
{
    // A message held in memory is shared, not copied; only one kept on disk
    // needs its parse, and with it the file, kept alive.
    if (m_message && !m_message->parsed().keptOnDisk()) {
        m_bytes = m_message->raw();
        m_message.reset();
    }
}

qint64 RawMessage::size() const
{
    return m_message ? m_message->parsed().keptSize() : m_bytes.size();
}

qint64 RawMessage::read(qint64 offset, char *into, qint64 length) const
{
    if (m_message)
        return m_message->parsed().readKept(offset, into, length);
    if (offset < 0 || length < 0)
        return -1;
    const qint64 n = qBound<qint64>(0, m_bytes.size() - offset, length);
    if (n > 0)
        std::memcpy(into, m_bytes.constData() + offset, size_t(n));
    return n;
}

QByteArray RawMessage::bytes() const
{
    if (!m_message)
        return m_bytes;
    QByteArray all(size(), Qt::Uninitialized);
    return read(0, all.data(), all.size()) == all.size() ? all : QByteArray();
}

RawMessage NMailPop3FetchedMessage()
{
    const detail::LastFetched &last = detail::lastFetched();
    if (!last.raw.isEmpty() || !last.decoded)
        return RawMessage(last.raw);
    return RawMessage(last.decoded);
}

int NMailPop3Connect(const QString &server)
{
    BusyGuard guard;
    if (!guard)
        return NMailErrorConnect;
    const std::optional<Pop3Address> address = parsePop3Address(server);
    if (!address) {
        detail::setLastError(QStringLiteral("POP3 サーバー名「%1」が正しくありません。").arg(server));
        return NMailErrorConnect;
    }
    ServerTrust trust;
    const QString key = pop3Key(*address);
    Pop3Settings settings;
    settings.timeoutMs = detail::timeoutMilliseconds();
    settings.trustedCertificateSha256 = trust.trustedCertificate(key);
    auto session = std::make_unique<Pop3Session>(settings);
    bool opened = session->open(*address);
    // A certificate that does not verify: the user may trust exactly it, and
    // the connection is made again with it.
    if (!opened && !session->rejectedCertificate().isNull()
        && askTrustCertificate(trust, key, shownName(*address), session->rejectedCertificate(),
                               session->certificateProblems())) {
        settings.trustedCertificateSha256 = trust.trustedCertificate(key);
        session = std::make_unique<Pop3Session>(settings);
        opened = session->open(*address);
    }
    if (!opened) {
        detail::setLastError(session->errorText());
        return NMailErrorConnect;
    }
    if (address->security == Pop3Security::StartTlsIfOffered && !detail::exemptFromGuards(address->host)) {
        if (session->isEncrypted()) {
            trust.noteOfferedTls(key);
        } else if (trust.offeredTls(key)) {
            session->abort();
            detail::setLastError(encryptionWithdrawnText(shownName(*address)));
            return NMailErrorInsecure;
        }
    }
    return detail::addPop3Session(std::move(session));
}

int NMailPop3Authenticate(int handle, const QString &userId, const QString &password, int apop)
{
    return withSession(handle, [&](Pop3Session &session) -> int {
        // USER/PASS on a connection without encryption sends the password as
        // it is; APOP sends only a digest of it.
        const Pop3Address &address = session.address();
        if (apop == 0 && !session.isFailed() && !session.isEncrypted() && !detail::exemptFromGuards(address.host)) {
            ServerTrust trust;
            const QString key = pop3Key(address);
            const ServerTrust::Consent consent = trust.plainPassword(key);
            if (consent == ServerTrust::Consent::Refused
                || (consent == ServerTrust::Consent::Unasked
                    && !askPlainPasswordConsent(trust, key, shownName(address)))) {
                detail::setLastError(plainPasswordRefusedText(shownName(address)));
                return NMailErrorInsecure;
            }
        }
        if (!session.login(userId, password, apop != 0 ? Pop3Login::Apop : Pop3Login::UserPass))
            return failure(session);
        return session.messageCount();
    });
}

int NMailPop3GetMailStatus(int handle, int number, QString *subject, QString *date, QString *from, QString *header)
{
    return withSession(handle, [&](Pop3Session &session) -> int {
        const auto *message = fetchDecoded(handle, session, number);
        if (!message)
            return failure(session);
        fillFields((*message)->mail(), subject, date, from, header);
        return 1;
    });
}

qint64 NMailPop3GetMailSize(int handle, int number)
{
    return withSession(handle, [&](Pop3Session &session) -> qint64 {
        if (session.isFailed())
            return failure(session);
        const qint64 size = session.messageSize(number);
        if (size < 0) {
            detail::setLastError(QStringLiteral("メール番号 %1 はありません。").arg(number));
            return NMailErrorBadArgument;
        }
        return size;
    });
}

int NMailPop3GetMail(int handle, int number, QString *subject, QString *date, QString *from, QString *header,
                     QString *body)
{
    return withSession(handle, [&](Pop3Session &session) -> int {
        const auto *message = fetchDecoded(handle, session, number);
        if (!message)
            return failure(session);
        handOut(*message, subject, date, from, header, body);
        return 1;
    });
}

int NMailLoadMail(QByteArray raw, QString *subject, QString *date, QString *from, QString *header, QString *body)
{
    // As a fetch: the previous parse goes first, and a large message's bytes
    // may move to the layer's temporary file.
    detail::lastFetched().decoded.reset();
    handOut(std::make_shared<const detail::DecodedMessage>(std::move(raw)), subject, date, from, header, body);
    return 1;
}

int NMailPop3DeleteMail(int handle, int number)
{
    return withSession(handle, [&](Pop3Session &session) -> int {
        if (session.isFailed())
            return failure(session);
        // The caller deletes after storing what it fetched; a message that was
        // never fetched whole in this session cannot have been stored, so it stays.
        if (number >= 1 && number <= session.messageCount() && !session.wasRetrieved(number)) {
            detail::setLastError(
                QStringLiteral("メール番号 %1 はまだ受信していないため、サーバーから削除しませんでした。").arg(number));
            return NMailErrorBadArgument;
        }
        if (!session.markDeleted(number))
            return failure(session);
        return 1;
    });
}

int NMailPop3GetUidl(int handle, int number, QString *uidl)
{
    return withSession(handle, [&](Pop3Session &session) -> int {
        std::vector<QByteArray> ids;
        if (!session.uniqueIds(&ids))
            return failure(session);
        if (ids.empty())
            return 0;
        if (number < 1 || number > int(ids.size())) {
            detail::setLastError(QStringLiteral("メール番号 %1 はありません。").arg(number));
            return NMailErrorBadArgument;
        }
        if (uidl)
            *uidl = QString::fromLatin1(ids[size_t(number - 1)]);
        return 1;
    });
}

int NMailPop3DeleteMailByUidl(int handle, int number, const QString &uidl)
{
    return withSession(handle, [&](Pop3Session &session) -> int {
        std::vector<QByteArray> ids;
        if (!session.uniqueIds(&ids))
            return failure(session);
        if (uidl.isEmpty() || number < 1 || number > int(ids.size())
            || QString::fromLatin1(ids[size_t(number - 1)]) != uidl) {
            detail::setLastError(
                QStringLiteral("メール番号 %1 は指定のメールではないため、サーバーから削除しませんでした。").arg(number));
            return NMailErrorBadArgument;
        }
        if (!session.markDeleted(number))
            return failure(session);
        return 1;
    });
}

qint64 NMailPop3ReceivedBytes(int handle)
{
    // Only reads a counter, so it is answered even while another call waits.
    Pop3Session *session = sessionFor(handle);
    if (!session)
        return NMailErrorHandle;
    return session->receivedBytes();
}

int NMailPop3Close(int handle)
{
    BusyGuard guard;
    if (!guard)
        return NMailErrorBusy;
    std::unique_ptr<Pop3Session> session = detail::takePop3Session(handle);
    if (!session) {
        detail::setLastError(QStringLiteral("POP3 の接続ハンドル %1 は使えません。").arg(handle));
        return NMailErrorHandle;
    }
    DecodedCache &cache = decodedCache();
    if (cache.handle == handle)
        cache = DecodedCache();
    if (session->isFailed())
        return failure(*session);
    if (!session->quit())
        return failure(*session);
    return 1;
}

bool NMailPop3IsEncrypted(int handle)
{
    const Pop3Session *session = detail::pop3Session(handle);
    return session && session->isEncrypted();
}

} // namespace maillib
