#include "maillib/Pop3Session.h"

#include "maillib/MailService_p.h"
#include "maillib/Pop3Command_p.h"
#include "maillib/Pop3ReplyParser_p.h"
#include "maillib/Pop3Texts.h"

#include <QEventLoop>
#include <QSslSocket>

namespace maillib {

Pop3Session::Pop3Session(Pop3Settings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_replies(std::make_unique<Pop3ReplyParser>())
{
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        fail(NMailErrorTimeout, pop3Text(Pop3Text::NoResponse));
    });
    m_deadlineTimer.setSingleShot(true);
    connect(&m_deadlineTimer, &QTimer::timeout, this, [this] {
        fail(NMailErrorTimeout, pop3Text(Pop3Text::TooSlow));
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
        refuse(NMailErrorBadArgument, pop3Text(Pop3Text::SessionInUse));
        return false;
    }
    m_address = address;
    m_state = State::Connecting;
    createSocket();

    auto greeting = std::make_shared<Command>();
    greeting->kind = Command::Greeting;
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
    CommandPtr capa = send("CAPA", Command::Capa);
    if (!waitFor(capa))
        return false;
    if (!capa->ok)
        return true; // A server without CAPA (RFC 1939 only) is still usable.
    m_capabilities = pop3Capabilities(capa->data);
    m_pipelining = m_capabilities.contains(QLatin1String("PIPELINING"));
    return true;
}

const std::vector<QByteArray> *Pop3Session::uniqueIds()
{
    if (!m_uidsAsked) {
        if (m_state != State::Transaction) {
            refuse(NMailErrorBadArgument, pop3Text(Pop3Text::NotLoggedIn));
            return nullptr;
        }
        // Asked once, before any message: the numbers are those of the login.
        if (!drain())
            return nullptr;
        CommandPtr uidl = send("UIDL", Command::Uidl);
        if (!waitFor(uidl))
            return nullptr;
        m_uidsAsked = true;
        // A listing that does not cover every message is not relied on.
        std::optional<std::vector<QByteArray>> found;
        if (uidl->ok)
            found = pop3UniqueIds(uidl->data, m_count);
        if (found)
            m_uids = std::move(*found);
    }
    return &m_uids;
}

bool Pop3Session::checkNumber(int number)
{
    if (m_state == State::Failed)
        return false;
    if (m_state != State::Transaction) {
        refuse(NMailErrorBadArgument, pop3Text(Pop3Text::NotLoggedIn));
        return false;
    }
    if (number < 1 || number > m_count) {
        refuse(NMailErrorBadArgument, pop3Text(Pop3Text::NoSuchMessage).arg(number));
        return false;
    }
    if (m_deleted.contains(number)) {
        refuse(NMailErrorBadArgument, pop3Text(Pop3Text::MessageDeleted).arg(number));
        return false;
    }
    return true;
}

bool Pop3Session::retrieve(int number, QByteArray *message)
{
    if (!checkNumber(number))
        return false;
    if (messageSize(number) > m_settings.maxMessageBytes) {
        refuse(NMailErrorProtocol, pop3Text(Pop3Text::MessageTooLarge).arg(number).arg(messageSize(number)));
        return false;
    }
    auto it = m_retrs.find(number);
    if (it == m_retrs.end()) {
        if (!m_pipelining && !drain())
            return false;
        it = m_retrs.emplace(number, send("RETR " + QByteArray::number(number), Command::Retr, number)).first;
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
        m_retrs.emplace(next, send("RETR " + QByteArray::number(next), Command::Retr, next));
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
    CommandPtr dele = send("DELE " + QByteArray::number(number), Command::SingleLine, number);
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
        refuse(NMailErrorBadArgument, pop3Text(Pop3Text::NotConnected));
        return false;
    }
    if (!drain())
        return false;
    CommandPtr quit = send("QUIT", Command::Quit);
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

} // namespace maillib
