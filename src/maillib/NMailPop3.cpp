#include "maillib/MimeParse.h"
#include "maillib/NMail.h"
#include "maillib/Pop3Address.h"
#include "maillib/Pop3Registry.h"
#include "maillib/Pop3Session.h"

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
    Pop3Settings settings;
    settings.timeoutMs = detail::timeoutMilliseconds();
    auto session = std::make_unique<Pop3Session>(settings);
    if (!session->open(*address)) {
        detail::setLastError(session->errorText());
        return NMailErrorConnect;
    }
    return detail::addPop3Session(std::move(session));
}

int NMailPop3Authenticate(int handle, const QString &userId, const QString &password, int apop)
{
    return withSession(handle, [&](Pop3Session &session) -> int {
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

int NMailLoadMail(const QByteArray &raw, QString *subject, QString *date, QString *from, QString *header,
                  QString *body)
{
    detail::lastFetched().decoded.reset();
    handOut(std::make_shared<const detail::DecodedMessage>(raw), subject, date, from, header, body);
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

} // namespace maillib
