#include "maillib/MailService.h"

#include "maillib/MailService_p.h"
#include "maillib/MimeParse.h"
#include "maillib/Pop3Address.h"
#include "maillib/Pop3Session.h"
#include "maillib/ServerTrust.h"

#include <cstring>
#include <utility>

namespace maillib {

namespace {

// The calls wait with the event loop turning, so a timer or window event
// could call into the service again; such a call is refused.
class BusyGuard
{
public:
    explicit BusyGuard(MailService::Private &d)
        : m_busy(d.pop3Busy), m_entered(!d.pop3Busy)
    {
        m_busy = true;
    }
    ~BusyGuard()
    {
        if (m_entered)
            m_busy = false;
    }
    BusyGuard(const BusyGuard &) = delete;
    BusyGuard &operator=(const BusyGuard &) = delete;

    explicit operator bool() const { return m_entered; }

private:
    bool &m_busy;
    bool m_entered;
};

QString busyText()
{
    return QStringLiteral("ほかのメール処理が終わっていないため、実行できません。");
}

QString badHandleText(int handle)
{
    return QStringLiteral("POP3 の接続ハンドル %1 は使えません。").arg(handle);
}

// Runs work on the session of handle while no other POP3 call is running; the
// busy and bad-handle results otherwise. A failure's text becomes the last
// error, and the result tells whether the session can go on.
template <typename Work>
MailResult withSession(MailService::Private &d, int handle, Work &&work)
{
    const BusyGuard guard(d);
    if (!guard)
        return d.fail(NMailErrorBusy, busyText());
    Pop3Session *session = d.session(handle);
    if (!session) {
        MailResult refused = d.fail(NMailErrorHandle, badHandleText(handle));
        refused.setSessionUsable(false);
        return refused;
    }
    MailResult result = work(*session);
    if (!result.ok()) {
        d.failed(result);
        result.setSessionUsable(!session->isFailed());
    }
    return result;
}

MailResult failure(const Pop3Session &session)
{
    return MailResult::failure(session.errorCode() < 0 ? session.errorCode() : int(NMailErrorProtocol),
                               session.errorText());
}

// A text result as a buffer of the configured size would hold it, without
// splitting a surrogate pair.
QString fitted(const MailService::Private &d, const QString &text)
{
    const qsizetype room = qMax(1, d.textSize - 1);
    if (text.size() <= room)
        return text;
    qsizetype cut = room;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut);
}

// Fetches and decodes message number, from the cache when it was the last one.
const std::shared_ptr<const detail::DecodedMessage> *fetchDecoded(MailService::Private &d, int handle,
                                                                  Pop3Session &session, int number)
{
    if (!d.cachedMessage || d.cachedHandle != handle || d.cachedNumber != number) {
        QByteArray bytes;
        if (!session.retrieve(number, &bytes))
            return nullptr;
        // The previous message's parse goes before the next is made, so that
        // at most one is held; extracting from that message still works from
        // its bytes.
        d.cachedMessage.reset();
        d.lastFetched.decoded.reset();
        d.cachedMessage = std::make_shared<const detail::DecodedMessage>(std::move(bytes));
        d.cachedHandle = handle;
        d.cachedNumber = number;
    }
    return &d.cachedMessage;
}

void fillFields(const MailService::Private &d, const DecodedMail &mail, MailTexts *texts)
{
    if (!texts)
        return;
    texts->subject = fitted(d, mail.subject);
    texts->date = fitted(d, mail.date);
    texts->from = fitted(d, mail.from);
    // The header block is handed out whole: real ones (Received and DKIM lines)
    // easily exceed a text buffer, and attachment extraction needs all of it.
    texts->header = mail.header;
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

// The texts of a fetched message, which becomes the one extraction recognises.
void handOut(MailService::Private &d, const std::shared_ptr<const detail::DecodedMessage> &message,
             MailTexts *texts)
{
    const DecodedMail &mail = message->mail();
    fillFields(d, mail, texts);
    const QString body = texts && texts->extractingNext ? mail.body : message->body();
    if (texts)
        texts->body = body;
    detail::LastFetched &last = d.lastFetched;
    last.raw = message->raw();
    last.header = mail.header;
    last.body = body;
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

RawMessage MailService::fetchedMessage() const
{
    const detail::LastFetched &last = m_d->lastFetched;
    if (!last.raw.isEmpty() || !last.decoded)
        return RawMessage(last.raw);
    return RawMessage(last.decoded);
}

MailResult MailService::pop3Connect(const QString &server)
{
    Private &d = *m_d;
    const BusyGuard guard(d);
    if (!guard)
        return d.fail(NMailErrorConnect, busyText());
    const std::optional<Pop3Address> address = parsePop3Address(server);
    if (!address)
        return d.fail(NMailErrorConnect, QStringLiteral("POP3 サーバー名「%1」が正しくありません。").arg(server));
    ServerTrust trust;
    const QString key = pop3Key(*address);
    Pop3Settings settings;
    settings.timeoutMs = d.timeoutMs;
    settings.waits = &d.waits;
    settings.trustedCertificateSha256 = trust.trustedCertificate(key);
    auto session = std::make_unique<Pop3Session>(settings);
    bool opened = session->open(*address);
    // A certificate that does not verify: the user may trust exactly it, and
    // the connection is made again with it.
    if (!opened && !session->rejectedCertificate().isNull()
        && askTrustCertificate(trust, d.asker(), key, shownName(*address), session->rejectedCertificate(),
                               session->certificateProblems())) {
        settings.trustedCertificateSha256 = trust.trustedCertificate(key);
        session = std::make_unique<Pop3Session>(settings);
        opened = session->open(*address);
    }
    if (!opened)
        return d.fail(NMailErrorConnect, session->errorText());
    if (address->security == Pop3Security::StartTlsIfOffered && !d.exemptFromGuards(address->host)) {
        if (session->isEncrypted()) {
            trust.noteOfferedTls(key);
        } else if (trust.offeredTls(key)) {
            session->abort();
            return d.fail(NMailErrorInsecure, encryptionWithdrawnText(shownName(*address)));
        }
    }
    const int handle = ++d.lastHandle;
    d.sessions.emplace(handle, std::move(session));
    return handle;
}

MailResult MailService::pop3Authenticate(int handle, const QString &userId, const QString &password, bool apop)
{
    Private &d = *m_d;
    return withSession(d, handle, [&](Pop3Session &session) -> MailResult {
        // USER/PASS on a connection without encryption sends the password as
        // it is; APOP sends only a digest of it.
        const Pop3Address &address = session.address();
        if (!apop && !session.isFailed() && !session.isEncrypted() && !d.exemptFromGuards(address.host)) {
            ServerTrust trust;
            const QString key = pop3Key(address);
            const ServerTrust::Consent consent = trust.plainPassword(key);
            if (consent == ServerTrust::Consent::Refused
                || (consent == ServerTrust::Consent::Unasked
                    && !askPlainPasswordConsent(trust, d.asker(), key, shownName(address))))
                return MailResult::failure(NMailErrorInsecure, plainPasswordRefusedText(shownName(address)));
        }
        if (!session.login(userId, password, apop ? Pop3Login::Apop : Pop3Login::UserPass))
            return failure(session);
        return session.messageCount();
    });
}

MailResult MailService::pop3MailStatus(int handle, int number, MailTexts *texts)
{
    Private &d = *m_d;
    return withSession(d, handle, [&](Pop3Session &session) -> MailResult {
        const auto *message = fetchDecoded(d, handle, session, number);
        if (!message)
            return failure(session);
        fillFields(d, (*message)->mail(), texts);
        return 1;
    });
}

MailResult MailService::pop3MailSize(int handle, int number)
{
    return withSession(*m_d, handle, [&](Pop3Session &session) -> MailResult {
        if (session.isFailed())
            return failure(session);
        const qint64 size = session.messageSize(number);
        if (size < 0)
            return MailResult::failure(NMailErrorBadArgument, QStringLiteral("メール番号 %1 はありません。").arg(number));
        return size;
    });
}

MailResult MailService::pop3Mail(int handle, int number, MailTexts *texts)
{
    Private &d = *m_d;
    return withSession(d, handle, [&](Pop3Session &session) -> MailResult {
        const auto *message = fetchDecoded(d, handle, session, number);
        if (!message)
            return failure(session);
        handOut(d, *message, texts);
        return 1;
    });
}

void MailService::loadMail(QByteArray raw, MailTexts *texts)
{
    // As a fetch: the previous parse goes first, and a large message's bytes
    // may move to the layer's temporary file.
    m_d->lastFetched.decoded.reset();
    handOut(*m_d, std::make_shared<const detail::DecodedMessage>(std::move(raw)), texts);
}

MailResult MailService::pop3DeleteMail(int handle, int number)
{
    return withSession(*m_d, handle, [&](Pop3Session &session) -> MailResult {
        if (session.isFailed())
            return failure(session);
        // The caller deletes after storing what it fetched; a message that was
        // never fetched whole in this session cannot have been stored, so it stays.
        if (number >= 1 && number <= session.messageCount() && !session.wasRetrieved(number))
            return MailResult::failure(
                NMailErrorBadArgument,
                QStringLiteral("メール番号 %1 はまだ受信していないため、サーバーから削除しませんでした。").arg(number));
        if (!session.markDeleted(number))
            return failure(session);
        return 1;
    });
}

MailResult MailService::pop3Uidl(int handle, int number, QString *uidl)
{
    return withSession(*m_d, handle, [&](Pop3Session &session) -> MailResult {
        const std::vector<QByteArray> *ids = session.uniqueIds();
        if (!ids)
            return failure(session);
        if (ids->empty())
            return 0;
        if (number < 1 || number > int(ids->size()))
            return MailResult::failure(NMailErrorBadArgument, QStringLiteral("メール番号 %1 はありません。").arg(number));
        if (uidl)
            *uidl = QString::fromLatin1((*ids)[size_t(number - 1)]);
        return 1;
    });
}

MailResult MailService::pop3DeleteMailByUidl(int handle, int number, const QString &uidl)
{
    return withSession(*m_d, handle, [&](Pop3Session &session) -> MailResult {
        const std::vector<QByteArray> *ids = session.uniqueIds();
        if (!ids)
            return failure(session);
        if (uidl.isEmpty() || number < 1 || number > int(ids->size())
            || QString::fromLatin1((*ids)[size_t(number - 1)]) != uidl)
            return MailResult::failure(
                NMailErrorBadArgument,
                QStringLiteral("メール番号 %1 は指定のメールではないため、サーバーから削除しませんでした。").arg(number));
        if (!session.markDeleted(number))
            return failure(session);
        return 1;
    });
}

qint64 MailService::pop3ReceivedBytes(int handle) const
{
    // Only reads a counter, so it is answered even while another call waits.
    const Pop3Session *session = m_d->session(handle);
    if (!session) {
        m_d->lastError = badHandleText(handle);
        return NMailErrorHandle;
    }
    return session->receivedBytes();
}

MailResult MailService::pop3Close(int handle)
{
    Private &d = *m_d;
    const BusyGuard guard(d);
    if (!guard)
        return d.fail(NMailErrorBusy, busyText());
    const auto it = d.sessions.find(handle);
    if (it == d.sessions.end()) {
        MailResult refused = d.fail(NMailErrorHandle, badHandleText(handle));
        refused.setSessionUsable(false);
        return refused;
    }
    const std::unique_ptr<Pop3Session> session = std::move(it->second);
    d.sessions.erase(it);
    if (d.cachedHandle == handle) {
        d.cachedMessage.reset();
        d.cachedHandle = 0;
        d.cachedNumber = 0;
    }
    MailResult result = 1;
    if (session->isFailed() || !session->quit())
        result = d.failed(failure(*session));
    result.setSessionUsable(false);
    return result;
}

bool MailService::pop3IsEncrypted(int handle) const
{
    const Pop3Session *session = m_d->session(handle);
    return session && session->isEncrypted();
}

} // namespace maillib
