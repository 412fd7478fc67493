#include "maillib/Pop3Session.h"

#include "maillib/MailService_p.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QSslSocket>

#include <cstring>
#include <limits>

namespace maillib {

namespace {

enum CommandKind {
    Greeting,
    SingleLine,
    Login,
    MultiLine,
    Capa,
    Retr,
    Stls,
    Quit,
    Uidl,
};

// Longest status line accepted; anything longer is not a POP3 server.
constexpr qsizetype MaxStatusLine = 64 * 1024;
// Bound for the multi-line replies that are not messages (CAPA, LIST).
constexpr qsizetype MaxListing = 64 * 1024 * 1024;

// Longest piece of a server's line quoted in an error text.
constexpr qsizetype MaxQuotedReply = 200;

QString serverText(const QByteArray &line)
{
    QString text = QString::fromUtf8(line.left(MaxQuotedReply * 4));
    if (text.size() > MaxQuotedReply) {
        qsizetype cut = MaxQuotedReply;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text = text.left(cut) + QStringLiteral("…");
    }
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }
    return text;
}

QString withReply(const QString &text, const QByteArray &reply)
{
    return reply.isEmpty() ? text : text + u'\n' + serverText(reply);
}

bool hasLineBreakOrNul(const QString &text)
{
    for (QChar c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return true;
    }
    return false;
}

} // namespace

struct Pop3Session::Command
{
    int kind = SingleLine;
    int number = 0;
    QByteArray name;
    bool statusSeen = false;
    bool done = false;
    bool ok = false;
    QByteArray status;
    QByteArray data;
};

ApopTimestamp apopTimestamp(const QByteArray &greeting)
{
    ApopTimestamp result;
    const qsizetype open = greeting.indexOf('<');
    const qsizetype close = greeting.indexOf('>');
    if (open < 0 && close < 0)
        return result;
    result.kind = ApopTimestamp::Kind::Malformed;
    if (open < 0 || close < open || greeting.indexOf('<', open + 1) >= 0 || greeting.indexOf('>', close + 1) >= 0)
        return result;
    const QByteArray inner = greeting.mid(open + 1, close - open - 1);
    // A msg-id: printable ASCII without blanks, local part "@" domain. Anything
    // else is not hashed, so that a hostile server cannot choose what the
    // password is mixed with.
    if (inner.isEmpty() || inner.size() > 512)
        return result;
    for (char c : inner) {
        if (c < 0x21 || c > 0x7e)
            return result;
    }
    const qsizetype at = inner.lastIndexOf('@');
    if (at <= 0 || at == inner.size() - 1)
        return result;
    result.kind = ApopTimestamp::Kind::Valid;
    result.value = greeting.mid(open, close - open + 1);
    return result;
}

Pop3Session::Pop3Session(Pop3Settings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
{
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        fail(NMailErrorTimeout, QStringLiteral("POP3 サーバーから応答がないため、処理を打ち切りました。"));
    });
    m_deadlineTimer.setSingleShot(true);
    connect(&m_deadlineTimer, &QTimer::timeout, this, [this] {
        fail(NMailErrorTimeout, QStringLiteral("POP3 サーバーの応答が遅すぎるため、処理を打ち切りました。"));
    });
}

Pop3Session::~Pop3Session()
{
    if (m_socket)
        m_socket->abort();
}

bool Pop3Session::isEncrypted() const
{
    return m_socket && m_socket->isEncrypted();
}

qint64 Pop3Session::messageSize(int number) const
{
    if (number < 1 || number > static_cast<int>(m_sizes.size()))
        return -1;
    return m_sizes[number - 1];
}

bool Pop3Session::open(const Pop3Address &address)
{
    if (m_state != State::Idle) {
        refuse(NMailErrorBadArgument, QStringLiteral("この接続はすでに使われています。"));
        return false;
    }
    m_address = address;
    m_state = State::Connecting;
    m_socket = new QSslSocket(this);
    // What arrives waits in the system's buffer rather than piling up here
    // while the caller is busy.
    m_socket->setReadBufferSize(4 * 1024 * 1024);
    QSslConfiguration ssl = m_settings.ssl ? *m_settings.ssl : QSslConfiguration::defaultConfiguration();
    ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_socket->setSslConfiguration(ssl);
    connect(m_socket, &QSslSocket::readyRead, this, &Pop3Session::onReadyRead);
    connect(m_socket, &QSslSocket::connected, this, &Pop3Session::progress);
    connect(m_socket, &QSslSocket::encrypted, this, &Pop3Session::progress);
    connect(m_socket, &QSslSocket::errorOccurred, this, &Pop3Session::onSocketError);
    connect(m_socket, &QSslSocket::sslErrors, this, &Pop3Session::onSslErrors);
    connect(m_socket, &QSslSocket::disconnected, this, &Pop3Session::onDisconnected);

    auto greeting = std::make_shared<Command>();
    greeting->kind = Greeting;
    greeting->name = "greeting";
    m_pending.push_back(greeting);
    if (address.security == Pop3Security::ImplicitTls)
        m_socket->connectToHostEncrypted(address.host, address.port);
    else
        m_socket->connectToHost(address.host, address.port);

    if (!waitFor(greeting))
        return false;
    m_greeting = greeting->status;
    if (!readCapabilities())
        return false;
    if (address.security == Pop3Security::StartTlsIfOffered && m_capabilities.contains(QLatin1String("STLS"))) {
        if (!startTls() || !readCapabilities())
            return false;
    }
    m_state = State::Authorization;
    return true;
}

bool Pop3Session::readCapabilities()
{
    // RFC 2595 section 4: capabilities learnt before TLS are forgotten after it.
    m_capabilities.clear();
    m_pipelining = false;
    CommandPtr capa = send("CAPA", Capa);
    if (!waitFor(capa))
        return false;
    if (!capa->ok)
        return true; // A server without CAPA (RFC 1939 only) is still usable.
    for (const QByteArray &line : capa->data.split('\n')) {
        const QByteArray word = line.trimmed().split(' ').value(0).toUpper();
        if (!word.isEmpty())
            m_capabilities.append(QString::fromLatin1(word));
    }
    m_pipelining = m_capabilities.contains(QLatin1String("PIPELINING"));
    return true;
}

bool Pop3Session::startTls()
{
    CommandPtr stls = send("STLS", Stls);
    if (!waitFor(stls))
        return false;
    // processInput() started the handshake when the +OK arrived.
    return waitFor([this] { return m_socket->isEncrypted(); });
}

bool Pop3Session::login(const QString &user, const QString &password, Pop3Login method)
{
    if (m_state == State::Failed)
        return false;
    if (m_state != State::Authorization) {
        refuse(NMailErrorBadArgument, m_state == State::Transaction
                                          ? QStringLiteral("POP3 サーバーにはすでにログインしています。")
                                          : QStringLiteral("POP3 サーバーに接続していないため、ログインできません。"));
        return false;
    }
    if (user.isEmpty() || hasLineBreakOrNul(user) || hasLineBreakOrNul(password)
        || (method == Pop3Login::Apop && user.contains(u' '))) {
        refuse(NMailErrorBadArgument, QStringLiteral("ユーザーIDまたはパスワードに使えない文字が含まれています。"));
        return false;
    }

    std::vector<CommandPtr> logins;
    if (method == Pop3Login::Apop) {
        const ApopTimestamp stamp = apopTimestamp(m_greeting);
        if (stamp.kind == ApopTimestamp::Kind::Missing) {
            fail(NMailErrorAuthenticate,
                 withReply(QStringLiteral("POP3 サーバーが APOP に対応していないため、ログインできません。"), m_greeting));
            return false;
        }
        if (stamp.kind == ApopTimestamp::Kind::Malformed) {
            fail(NMailErrorAuthenticate,
                 withReply(QStringLiteral("POP3 サーバーの APOP タイムスタンプが不正なため、ログインを中止しました。"),
                           m_greeting));
            return false;
        }
        const QByteArray digest =
            QCryptographicHash::hash(stamp.value + detail::credentialBytes(password), QCryptographicHash::Md5).toHex();
        logins.push_back(send("APOP " + detail::credentialBytes(user) + ' ' + digest, Login));
    } else {
        logins.push_back(send("USER " + detail::credentialBytes(user), Login));
        if (!m_pipelining && !waitFor(logins.back()))
            return false;
        logins.push_back(send("PASS " + detail::credentialBytes(password), Login));
    }
    // With PIPELINING the count and the list are asked for together with the
    // login (RFC 2449 section 6.6): replies come in order, and a refused login
    // ends the session before their answers are looked at.
    CommandPtr stat;
    CommandPtr list;
    if (m_pipelining) {
        stat = send("STAT", SingleLine);
        list = send("LIST", MultiLine);
    }
    for (const CommandPtr &command : logins) {
        if (!waitFor(command))
            return false;
    }
    m_state = State::Transaction;
    if (!stat) {
        stat = send("STAT", SingleLine);
        if (!waitFor(stat))
            return false;
        list = send("LIST", MultiLine);
    }
    if (!waitFor(stat) || !waitFor(list))
        return false;

    const QList<QByteArray> statWords = stat->status.split(' ');
    bool countOk = false;
    const int count = statWords.value(1).toInt(&countOk);
    if (!countOk || count < 0) {
        fail(NMailErrorProtocol, withReply(QStringLiteral("POP3 サーバーの応答が不正です。"), stat->status));
        return false;
    }
    // The count is only believed as far as the listing bears it out; nothing
    // is sized from it before that (a hostile STAT could claim billions).
    if (count > m_settings.maxMessages) {
        fail(NMailErrorProtocol,
             withReply(QStringLiteral("POP3 サーバーが知らせたメールの数（%1 通）が多すぎるため、受信できません。"
                                      "一度に受信できるのは %2 通までです。")
                           .arg(count)
                           .arg(m_settings.maxMessages),
                       stat->status));
        return false;
    }
    std::vector<qint64> sizes(static_cast<size_t>(count), -1);
    int listed = 0;
    bool consistent = true;
    for (const QByteArray &line : list->data.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        const QList<QByteArray> words = trimmed.split(' ');
        bool numberOk = false;
        bool sizeOk = false;
        const int number = words.value(0).toInt(&numberOk);
        const qint64 size = words.value(1).toLongLong(&sizeOk);
        if (!numberOk || !sizeOk || number < 1 || number > count || size < 0 || sizes[number - 1] >= 0) {
            consistent = false;
            break;
        }
        sizes[number - 1] = size;
        ++listed;
    }
    if (!consistent || listed != count) {
        fail(NMailErrorProtocol,
             withReply(QStringLiteral("POP3 サーバーが知らせたメールの数（%1 通）と一覧が合わないため、受信を中止しました。")
                           .arg(count),
                       stat->status));
        return false;
    }
    m_count = count;
    m_sizes = std::move(sizes);
    return true;
}

bool Pop3Session::uniqueIds(std::vector<QByteArray> *ids)
{
    ids->clear();
    if (!m_uidsAsked) {
        if (m_state != State::Transaction) {
            refuse(NMailErrorBadArgument, QStringLiteral("POP3 サーバーにログインしていません。"));
            return false;
        }
        // Asked once, before any message: the numbers are those of the login.
        if (!drain())
            return false;
        CommandPtr uidl = send("UIDL", Uidl);
        if (!waitFor(uidl))
            return false;
        m_uidsAsked = true;
        std::vector<QByteArray> found(static_cast<size_t>(m_count));
        int listed = 0;
        bool consistent = uidl->ok;
        for (const QByteArray &line : uidl->data.split('\n')) {
            const QByteArray trimmed = line.trimmed();
            if (!consistent || trimmed.isEmpty())
                continue;
            const QList<QByteArray> words = trimmed.split(' ');
            bool numberOk = false;
            const int number = words.value(0).toInt(&numberOk);
            const QByteArray id = words.value(1);
            // RFC 1939: 1 to 70 characters from 0x21 to 0x7E.
            bool idOk = words.size() == 2 && !id.isEmpty() && id.size() <= 70;
            for (char c : id)
                idOk = idOk && c >= 0x21 && c <= 0x7e;
            if (!numberOk || number < 1 || number > m_count || !idOk || !found[number - 1].isEmpty()) {
                consistent = false;
                continue;
            }
            found[number - 1] = id;
            ++listed;
        }
        // A listing that does not cover every message is not relied on.
        if (consistent && listed == m_count)
            m_uids = std::move(found);
    }
    *ids = m_uids;
    return true;
}

bool Pop3Session::checkNumber(int number)
{
    if (m_state == State::Failed)
        return false;
    if (m_state != State::Transaction) {
        refuse(NMailErrorBadArgument, QStringLiteral("POP3 サーバーにログインしていません。"));
        return false;
    }
    if (number < 1 || number > m_count) {
        refuse(NMailErrorBadArgument, QStringLiteral("メール番号 %1 はありません。").arg(number));
        return false;
    }
    if (m_deleted.contains(number)) {
        refuse(NMailErrorBadArgument, QStringLiteral("メール番号 %1 は削除済みです。").arg(number));
        return false;
    }
    return true;
}

bool Pop3Session::retrieve(int number, QByteArray *message)
{
    if (!checkNumber(number))
        return false;
    if (messageSize(number) > m_settings.maxMessageBytes) {
        refuse(NMailErrorProtocol,
               QStringLiteral("メール番号 %1 は大きすぎるため受信しませんでした（%2 バイト）。")
                   .arg(number)
                   .arg(messageSize(number)));
        return false;
    }
    auto it = m_retrs.find(number);
    if (it == m_retrs.end()) {
        if (!m_pipelining && !drain())
            return false;
        it = m_retrs.emplace(number, send("RETR " + QByteArray::number(number), Retr, number)).first;
    }
    CommandPtr retr = it->second;
    if (m_pipelining)
        prefetchAfter(number);
    if (!waitFor(retr)) {
        // A refused message is asked for afresh should the caller try again.
        if (!isFailed())
            m_retrs.erase(number);
        return false;
    }
    m_retrieved.insert(number);
    if (retr->data.size() <= m_settings.prefetchBytes) {
        if (message)
            *message = retr->data;
        // Earlier messages are done with; the current one stays for a second look.
        m_retrs.erase(m_retrs.begin(), m_retrs.lower_bound(number));
    } else {
        // A large message is handed over, not shared, so that the caller can
        // let its bytes go; asking for it again fetches it again.
        if (message)
            *message = std::move(retr->data);
        retr->data = QByteArray();
        m_retrs.erase(m_retrs.begin(), m_retrs.upper_bound(number));
    }
    // Read ahead while the caller works on this message. Without PIPELINING
    // only one command may be outstanding, so that is one message ahead.
    if (m_pipelining)
        prefetchAfter(number);
    else if (m_pending.empty())
        prefetchAfter(number);
    return true;
}

qint64 Pop3Session::bytesAhead() const
{
    qint64 bytes = 0;
    for (const auto &[number, command] : m_retrs) {
        if (!m_retrieved.contains(number))
            bytes += qMax<qint64>(messageSize(number), command->data.size());
    }
    return bytes;
}

void Pop3Session::prefetchAfter(int number)
{
    const int window = m_pipelining ? m_settings.prefetchMessages : 1;
    int ahead = 0;
    for (const auto &[n, command] : m_retrs) {
        if (n > number && !m_retrieved.contains(n))
            ++ahead;
    }
    for (int next = number + 1; next <= m_count && ahead < window; ++next) {
        if (m_retrs.count(next) || m_deleted.contains(next) || m_retrieved.contains(next))
            continue;
        const qint64 size = messageSize(next);
        if (size > m_settings.maxMessageBytes)
            break; // The caller will be told when it asks for that one.
        if (ahead > 0 && bytesAhead() + size > m_settings.prefetchBytes)
            break;
        if (!m_pipelining && !m_pending.empty())
            break;
        m_retrs.emplace(next, send("RETR " + QByteArray::number(next), Retr, next));
        ++ahead;
    }
}

bool Pop3Session::markDeleted(int number)
{
    if (m_state == State::Transaction && m_deleted.contains(number))
        return true; // Already marked; a second DELE would only earn an -ERR.
    if (!checkNumber(number))
        return false;
    if (!m_pipelining && !drain())
        return false;
    CommandPtr dele = send("DELE " + QByteArray::number(number), SingleLine, number);
    m_deleted.insert(number);
    m_retrs.erase(number);
    if (m_pipelining)
        return !isFailed(); // The reply is checked by the next call that waits.
    return waitFor(dele);
}

bool Pop3Session::quit()
{
    if (m_state == State::Failed)
        return false;
    if (m_state != State::Authorization && m_state != State::Transaction) {
        refuse(NMailErrorBadArgument, QStringLiteral("POP3 サーバーに接続していません。"));
        return false;
    }
    if (!drain())
        return false;
    CommandPtr quit = send("QUIT", Quit);
    m_quitSent = true;
    if (!waitFor(quit))
        return false;
    m_state = State::Closed;
    m_retrs.clear();
    m_socket->disconnectFromHost();
    return true;
}

void Pop3Session::abort()
{
    if (m_state != State::Failed)
        m_state = State::Closed;
    m_stallTimer.stop();
    m_deadlineTimer.stop();
    m_pending.clear();
    m_retrs.clear();
    if (m_socket)
        m_socket->abort();
    if (m_waitLoop)
        m_waitLoop->quit();
}

Pop3Session::CommandPtr Pop3Session::send(const QByteArray &line, int kind, int number)
{
    auto command = std::make_shared<Command>();
    command->kind = kind;
    command->number = number;
    command->name = line.left(line.indexOf(' ') < 0 ? line.size() : line.indexOf(' '));
    if (m_state == State::Failed || !m_socket) {
        command->done = true;
        return command;
    }
    m_pending.push_back(command);
    m_socket->write(line + "\r\n");
    return command;
}

bool Pop3Session::drain()
{
    return waitFor([this] { return m_pending.empty(); });
}

bool Pop3Session::waitFor(const CommandPtr &command)
{
    if (!waitFor([&command] { return command->done; }, command.get()))
        return false;
    if (!command->ok && command->kind == Retr) {
        // One message refused; the session goes on.
        refuse(NMailErrorMessageRefused,
               withReply(QStringLiteral("メール番号 %1 をサーバーが送らなかったため、受信できませんでした。"
                                        "このメールはサーバーに残っています。")
                             .arg(command->number),
                         command->status));
        return false;
    }
    if (!command->ok && command->kind != Capa && command->kind != Uidl) {
        // finishStatus() has already ended the session; this is its report.
        return false;
    }
    return true;
}

qint64 Pop3Session::octetsExpected(const Command *until) const
{
    qint64 octets = 0;
    for (const CommandPtr &command : m_pending) {
        if (command->kind == Retr) {
            const qint64 listed = qBound<qint64>(0, messageSize(command->number), m_settings.maxMessageBytes);
            octets += qMax<qint64>(0, listed - command->data.size());
        }
        if (command.get() == until)
            break;
    }
    return octets;
}

bool Pop3Session::waitFor(const std::function<bool()> &done, const Command *until)
{
    if (m_state != State::Failed && !done()) {
        const qint64 rate = qMax<qint64>(1, m_settings.minBytesPerSecond);
        // Twice the stall time-out, so that a server that is merely silent is
        // reported as such, plus the octets still expected at the lowest rate.
        const qint64 budget = 2 * qint64(m_settings.timeoutMs) + octetsExpected(until) * 1000 / rate;
        m_deadlineTimer.start(int(qMin<qint64>(budget, std::numeric_limits<int>::max())));
    }
    detail::MailWaits *waits = m_settings.waits;
    const quint64 generation = waits ? waits->generation() : 0;
    const QEventLoop::ProcessEventsFlags flags = waits ? waits->flags() : QEventLoop::ExcludeUserInputEvents;
    while (m_state != State::Failed && !done()) {
        if (waits && waits->generation() != generation) {
            fail(NMailErrorCancelled, detail::cancelledText());
            break;
        }
        QEventLoop loop;
        const detail::MailWaits::Registration cancellable(waits, &loop);
        m_waitLoop = &loop;
        m_stallTimer.start(m_settings.timeoutMs);
        loop.exec(flags);
        m_waitLoop = nullptr;
        if (m_state == State::Closed && !done())
            break;
    }
    m_stallTimer.stop();
    m_deadlineTimer.stop();
    return m_state != State::Failed && done();
}

void Pop3Session::progress()
{
    if (m_stallTimer.isActive())
        m_stallTimer.start(m_settings.timeoutMs);
    // The waiting call looks again at what it waits for (the end of a TLS handshake, say).
    if (m_waitLoop)
        m_waitLoop->quit();
}

void Pop3Session::onReadyRead()
{
    if (!m_socket)
        return;
    const qsizetype before = m_in.size();
    m_in.append(m_socket->readAll());
    m_receivedBytes += m_in.size() - before;
    processInput();
    progress();
}

void Pop3Session::processInput()
{
    qsizetype pos = 0;
    while (m_state != State::Failed && pos < m_in.size()) {
        if (m_pending.empty()) {
            if (m_state == State::Closed)
                break;
            fail(NMailErrorProtocol, withReply(QStringLiteral("POP3 サーバーから予期しないデータが届きました。"),
                                               m_in.mid(pos, 200).trimmed()));
            return;
        }
        Command &command = *m_pending.front();
        const qsizetype eol = m_in.indexOf('\n', pos);
        if (!command.statusSeen) {
            if (eol < 0) {
                if (m_in.size() - pos > MaxStatusLine) {
                    fail(NMailErrorProtocol, QStringLiteral("POP3 サーバーの応答行が長すぎます。"));
                    return;
                }
                break;
            }
            QByteArray line = m_in.mid(pos, eol - pos);
            if (line.endsWith('\r'))
                line.chop(1);
            pos = eol + 1;
            if (!finishStatus(command, line))
                return;
            if (command.done && command.kind == Stls) {
                // RFC 2595 section 4: whatever arrived before the handshake is
                // discarded, so that nothing a third party slipped into the
                // plain stream is taken as an answer after the upgrade.
                completeFront();
                m_in.clear();
                m_socket->readAll();
                m_socket->startClientEncryption();
                return;
            }
            if (command.done)
                completeFront();
            continue;
        }
        // Body of a multi-line reply (RFC 1939 section 3), taken in runs of
        // whole lines: only a line that starts with '.' needs a look of its own.
        const qsizetype limit = command.kind == Retr ? m_settings.maxMessageBytes : MaxListing;
        if (eol < 0) {
            if (command.data.size() + (m_in.size() - pos) > limit) {
                fail(NMailErrorProtocol, QStringLiteral("POP3 サーバーから届いたデータが大きすぎます。"));
                return;
            }
            break;
        }
        const char *const base = m_in.constData();
        const qsizetype end = m_in.lastIndexOf('\n') + 1;
        bool finished = false;
        while (pos < end) {
            if (base[pos] == '.') {
                const qsizetype lineEnd = m_in.indexOf('\n', pos);
                const qsizetype length = lineEnd + 1 - pos;
                if (length == 2 || (length == 3 && base[pos + 1] == '\r')) {
                    pos = lineEnd + 1;
                    finished = true;
                    break;
                }
                ++pos; // dot-stuffing undone; the rest of the line is plain
            }
            const void *hit = memmem(base + pos, size_t(end - pos), "\n.", 2);
            const qsizetype runEnd = hit ? static_cast<const char *>(hit) - base + 1 : end;
            if (command.data.size() + (runEnd - pos) > limit) {
                fail(NMailErrorProtocol, QStringLiteral("POP3 サーバーから届いたデータが大きすぎます。"));
                return;
            }
            // Grown by reserve(), which reallocates in place where it can;
            // append() would copy into a new block and hold both for a moment.
            const qsizetype need = command.data.size() + (runEnd - pos);
            if (need > command.data.capacity())
                command.data.reserve(qMax(need, command.data.capacity() * 2));
            command.data.append(base + pos, runEnd - pos);
            pos = runEnd;
        }
        if (finished) {
            command.done = true;
            completeFront();
        }
    }
    if (m_state != State::Failed)
        m_in.remove(0, pos);
}

bool Pop3Session::finishStatus(Command &command, const QByteArray &line)
{
    command.statusSeen = true;
    command.status = line;
    if (line.startsWith("+OK")) {
        command.ok = true;
        const bool multiLine =
            command.kind == MultiLine || command.kind == Capa || command.kind == Retr || command.kind == Uidl;
        if (!multiLine) {
            command.done = true;
        } else if (command.kind == Retr) {
            // Room for the listed size, within reason: the list may lie, and
            // a large message grows as its data arrives.
            const qint64 listed = qMin(messageSize(command.number), qint64(1) << 20);
            if (listed > 0)
                command.data.reserve(static_cast<qsizetype>(listed));
        }
        return true;
    }
    if (!line.startsWith("-ERR")) {
        fail(m_state == State::Connecting ? NMailErrorConnect : NMailErrorProtocol,
             withReply(QStringLiteral("POP3 サーバーの応答が不正です。"), line));
        return false;
    }
    command.done = true;
    // CAPA and UIDL may be unknown; a refused message is reported to whoever asks for it.
    if (command.kind == Capa || command.kind == Uidl || command.kind == Retr)
        return true;

    QString text;
    int code = NMailErrorProtocol;
    if (command.kind == Greeting) {
        code = NMailErrorConnect;
        text = QStringLiteral("POP3 サーバーが接続を断りました。");
    } else if (command.kind == Login) {
        code = NMailErrorAuthenticate;
        text = QStringLiteral("POP3 サーバーにログインできませんでした。ユーザーIDとパスワードを確認してください。");
    } else if (command.kind == Stls) {
        code = NMailErrorConnect;
        text = QStringLiteral("POP3 サーバーが暗号化通信(STLS)を断りました。");
    } else if (command.kind == Quit) {
        text = QStringLiteral("POP3 サーバーが終了処理に失敗したため、メールの削除は確定していません。");
    } else {
        text = QStringLiteral("POP3 サーバーがエラーを返したため、接続を終了しました（%1）。削除の指定は取り消されました。")
                   .arg(QString::fromLatin1(command.name));
    }
    fail(code, withReply(text, line));
    return false;
}

void Pop3Session::completeFront()
{
    m_pending.pop_front();
}

void Pop3Session::onSocketError()
{
    if (m_state == State::Failed || m_state == State::Closed || !m_socket)
        return;
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError) {
        onDisconnected();
        return;
    }
    const bool tls = m_socket->error() == QAbstractSocket::SslHandshakeFailedError
        || m_socket->error() == QAbstractSocket::SslInternalError
        || m_socket->error() == QAbstractSocket::SslInvalidUserDataError;
    const QString text = tls ? QStringLiteral("POP3 サーバーと暗号化通信を始められませんでした。")
                             : m_state == State::Connecting
                                 ? QStringLiteral("POP3 サーバー %1 に接続できませんでした。").arg(m_address.host)
                                 : QStringLiteral("POP3 サーバーとの通信に失敗しました。");
    fail(failureCodeForPhase(), text + u'\n' + m_socket->errorString());
}

void Pop3Session::onSslErrors(const QList<QSslError> &errors)
{
    const QSslCertificate peer = m_socket->peerCertificate();
    if (!m_settings.trustedCertificateSha256.isEmpty() && !peer.isNull()
        && peer.digest(QCryptographicHash::Sha256) == m_settings.trustedCertificateSha256) {
        m_socket->ignoreSslErrors(errors);
        return;
    }
    QStringList reasons;
    for (const QSslError &error : errors)
        reasons.append(error.errorString());
    m_rejectedCertificate = peer;
    m_certificateProblems = reasons;
    fail(NMailErrorConnect, QStringLiteral("POP3 サーバーの証明書を確認できないため、接続を中止しました。\n")
                                + reasons.join(QStringLiteral("; ")));
}

void Pop3Session::onDisconnected()
{
    if (m_state == State::Failed || m_state == State::Closed)
        return;
    // Replies that arrived with the close are still read first.
    if (m_socket && m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (m_state == State::Failed || m_state == State::Closed)
        return;
    // The server closes right after answering QUIT; with TLS the close can be
    // seen before the answer has been handed on.
    if (m_quitSent && m_pending.empty())
        return;
    fail(failureCodeForPhase(), m_state == State::Connecting
                                    ? QStringLiteral("POP3 サーバーが接続を切りました。")
                                    : QStringLiteral("POP3 サーバーとの接続が切れました。削除の指定は取り消されました。"));
}

int Pop3Session::failureCodeForPhase() const
{
    return m_state == State::Connecting ? NMailErrorConnect : NMailErrorProtocol;
}

void Pop3Session::fail(int code, const QString &text)
{
    if (m_state == State::Failed)
        return;
    m_state = State::Failed;
    m_errorCode = code;
    m_errorText = text;
    m_stallTimer.stop();
    m_deadlineTimer.stop();
    for (const CommandPtr &command : m_pending)
        command->done = true;
    m_pending.clear();
    m_retrs.clear();
    m_in.clear();
    if (m_socket)
        m_socket->abort();
    if (m_waitLoop)
        m_waitLoop->quit();
}

void Pop3Session::refuse(int code, const QString &text)
{
    // A refused call leaves the session as it was.
    m_errorCode = code;
    m_errorText = text;
}

} // namespace maillib
