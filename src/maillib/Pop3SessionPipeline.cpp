// Pop3Session: commands out, replies in. Commands wait in m_pending in the
// order they were sent; each reply read completes the front one.
#include "maillib/Pop3Session.h"

#include "maillib/MailService_p.h"
#include "maillib/Pop3Command_p.h"
#include "maillib/Pop3ReplyParser_p.h"
#include "maillib/Pop3Texts.h"

#include <QEventLoop>
#include <QSslSocket>

#include <limits>

namespace maillib {

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
    if (!command->ok && command->kind == Command::Retr) {
        // One message refused; the session goes on.
        refuse(NMailErrorMessageRefused,
               withServerReply(pop3Text(Pop3Text::MessageRefused).arg(command->number), command->status));
        return false;
    }
    if (!command->ok && command->kind != Command::Capa && command->kind != Command::Uidl) {
        // finishStatus() has already ended the session; this is its report.
        return false;
    }
    return true;
}

qint64 Pop3Session::octetsExpected(const Command *until) const
{
    qint64 octets = 0;
    for (const CommandPtr &command : m_pending) {
        if (command->kind == Command::Retr) {
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
    const QByteArray bytes = m_socket->readAll();
    m_receivedBytes += bytes.size();
    m_replies->append(bytes);
    processInput();
    progress();
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
    fail(failureCodeForPhase(),
         pop3Text(m_state == State::Connecting ? Pop3Text::ClosedWhileConnecting : Pop3Text::ConnectionLost));
}

void Pop3Session::processInput()
{
    while (m_state != State::Failed && m_replies->hasInput()) {
        if (m_pending.empty()) {
            if (m_state != State::Closed)
                fail(NMailErrorProtocol,
                     pop3TextWithReply(Pop3Text::UnexpectedData, m_replies->peek(200).trimmed()));
            break;
        }
        Command &command = *m_pending.front();
        if (!(command.statusSeen ? readBody(command) : readStatus(command)))
            break;
    }
    if (m_state != State::Failed)
        m_replies->discardRead();
}

// Reads the front command's status line; false when reading has to stop for now.
bool Pop3Session::readStatus(Command &command)
{
    QByteArray line;
    switch (m_replies->readStatusLine(&line)) {
    case Pop3ReplyParser::Step::NeedMore:
        return false;
    case Pop3ReplyParser::Step::TooLong:
        fail(NMailErrorProtocol, pop3Text(Pop3Text::StatusLineTooLong));
        return false;
    case Pop3ReplyParser::Step::Done:
        break;
    }
    if (!finishStatus(command, line))
        return false;
    if (command.done && command.kind == Command::Stls) {
        completeFront();
        startHandshake();
        return false;
    }
    if (command.done)
        completeFront();
    return true;
}

// Reads what has arrived of the front command's multi-line reply.
bool Pop3Session::readBody(Command &command)
{
    const qsizetype limit = command.kind == Command::Retr ? m_settings.maxMessageBytes : kPop3MaxListing;
    switch (m_replies->readBody(&command.data, limit)) {
    case Pop3ReplyParser::Step::NeedMore:
        return false;
    case Pop3ReplyParser::Step::TooLong:
        fail(NMailErrorProtocol, pop3Text(Pop3Text::DataTooLarge));
        return false;
    case Pop3ReplyParser::Step::Done:
        break;
    }
    command.done = true;
    completeFront();
    return true;
}

bool Pop3Session::finishStatus(Command &command, const QByteArray &line)
{
    command.statusSeen = true;
    command.status = line;
    const Pop3Status status = pop3Status(line);
    if (status == Pop3Status::Ok) {
        command.ok = true;
        const bool multiLine = command.kind == Command::MultiLine || command.kind == Command::Capa
            || command.kind == Command::Retr || command.kind == Command::Uidl;
        if (!multiLine) {
            command.done = true;
        } else if (command.kind == Command::Retr) {
            // Room for the listed size, within reason: the list may lie, and
            // a large message grows as its data arrives.
            const qint64 listed = qMin(messageSize(command.number), qint64(1) << 20);
            if (listed > 0)
                command.data.reserve(static_cast<qsizetype>(listed));
        }
        return true;
    }
    if (status == Pop3Status::Malformed) {
        fail(m_state == State::Connecting ? NMailErrorConnect : NMailErrorProtocol,
             pop3TextWithReply(Pop3Text::BadReply, line));
        return false;
    }
    command.done = true;
    // CAPA and UIDL may be unknown; a refused message is reported to whoever asks for it.
    if (command.kind == Command::Capa || command.kind == Command::Uidl || command.kind == Command::Retr)
        return true;
    failRefused(command, line);
    return false;
}

// Ends the session after an -ERR that leaves it no way on.
void Pop3Session::failRefused(const Command &command, const QByteArray &line)
{
    switch (command.kind) {
    case Command::Greeting:
        fail(NMailErrorConnect, pop3TextWithReply(Pop3Text::GreetingRefused, line));
        break;
    case Command::Login:
        fail(NMailErrorAuthenticate, pop3TextWithReply(Pop3Text::LoginRefused, line));
        break;
    case Command::Stls:
        fail(NMailErrorConnect, pop3TextWithReply(Pop3Text::StlsRefused, line));
        break;
    case Command::Quit:
        fail(NMailErrorProtocol, pop3TextWithReply(Pop3Text::QuitRefused, line));
        break;
    default:
        fail(NMailErrorProtocol,
             withServerReply(pop3Text(Pop3Text::CommandRefused).arg(QString::fromLatin1(command.name)), line));
        break;
    }
}

void Pop3Session::completeFront()
{
    m_pending.pop_front();
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
    m_replies->clear();
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
