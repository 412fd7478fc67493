// Pop3Session: logging in, then the message count (STAT) and sizes (LIST).
#include "maillib/Pop3Session.h"

#include "maillib/MailService_p.h"
#include "maillib/Pop3Command_p.h"
#include "maillib/Pop3ReplyParser_p.h"
#include "maillib/Pop3Texts.h"

#include <QCryptographicHash>

namespace maillib {

namespace {

bool hasLineBreakOrNul(const QString &text)
{
    for (QChar c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return true;
    }
    return false;
}

} // namespace

bool Pop3Session::login(const QString &user, const QString &password, Pop3Login method)
{
    if (!mayLogin(user, password, method))
        return false;
    std::vector<CommandPtr> logins;
    if (!sendLogin(user, password, method, &logins))
        return false;
    // With PIPELINING the count and the list are asked for together with the
    // login (RFC 2449 section 6.6): replies come in order, and a refused login
    // ends the session before their answers are looked at.
    CommandPtr stat;
    CommandPtr list;
    if (m_pipelining) {
        stat = send("STAT", Command::SingleLine);
        list = send("LIST", Command::MultiLine);
    }
    for (const CommandPtr &command : logins) {
        if (!waitFor(command))
            return false;
    }
    m_state = State::Transaction;
    return readMailbox(std::move(stat), std::move(list));
}

bool Pop3Session::mayLogin(const QString &user, const QString &password, Pop3Login method)
{
    if (m_state == State::Failed)
        return false;
    if (m_state != State::Authorization) {
        refuse(NMailErrorBadArgument, pop3Text(m_state == State::Transaction ? Pop3Text::AlreadyLoggedIn
                                                                             : Pop3Text::NotConnectedForLogin));
        return false;
    }
    if (user.isEmpty() || hasLineBreakOrNul(user) || hasLineBreakOrNul(password)
        || (method == Pop3Login::Apop && user.contains(u' '))) {
        refuse(NMailErrorBadArgument, pop3Text(Pop3Text::BadCredentialCharacters));
        return false;
    }
    return true;
}

// Sends the login commands; without PIPELINING USER is answered before PASS goes out.
bool Pop3Session::sendLogin(const QString &user, const QString &password, Pop3Login method,
                            std::vector<CommandPtr> *logins)
{
    if (method == Pop3Login::Apop) {
        CommandPtr apop = sendApop(user, password);
        if (!apop)
            return false;
        logins->push_back(std::move(apop));
        return true;
    }
    logins->push_back(send("USER " + detail::credentialBytes(user), Command::Login));
    if (!m_pipelining && !waitFor(logins->back()))
        return false;
    logins->push_back(send("PASS " + detail::credentialBytes(password), Command::Login));
    return true;
}

// APOP (RFC 1939 section 7) with the greeting's timestamp; none when the
// greeting offers no usable one, and the session has failed then.
Pop3Session::CommandPtr Pop3Session::sendApop(const QString &user, const QString &password)
{
    const ApopTimestamp stamp = apopTimestamp(m_greeting);
    if (stamp.kind != ApopTimestamp::Kind::Valid) {
        fail(NMailErrorAuthenticate,
             pop3TextWithReply(stamp.kind == ApopTimestamp::Kind::Missing ? Pop3Text::ApopUnsupported
                                                                          : Pop3Text::ApopTimestampMalformed,
                               m_greeting));
        return nullptr;
    }
    const QByteArray digest =
        QCryptographicHash::hash(stamp.value + detail::credentialBytes(password), QCryptographicHash::Md5).toHex();
    return send("APOP " + detail::credentialBytes(user) + ' ' + digest, Command::Login);
}

// Reads the count and the sizes, asking for them now unless they were sent
// with the login.
bool Pop3Session::readMailbox(CommandPtr stat, CommandPtr list)
{
    if (!stat) {
        stat = send("STAT", Command::SingleLine);
        if (!waitFor(stat))
            return false;
        list = send("LIST", Command::MultiLine);
    }
    if (!waitFor(stat) || !waitFor(list))
        return false;

    const std::optional<int> count = pop3MessageCount(stat->status);
    if (!count) {
        fail(NMailErrorProtocol, pop3TextWithReply(Pop3Text::BadReply, stat->status));
        return false;
    }
    // The count is only believed as far as the listing bears it out; nothing
    // is sized from it before that (a hostile STAT could claim billions).
    if (*count > m_settings.maxMessages) {
        fail(NMailErrorProtocol,
             withServerReply(pop3Text(Pop3Text::TooManyMessages).arg(*count).arg(m_settings.maxMessages),
                             stat->status));
        return false;
    }
    std::optional<std::vector<qint64>> sizes = pop3MessageSizes(list->data, *count);
    if (!sizes) {
        fail(NMailErrorProtocol,
             withServerReply(pop3Text(Pop3Text::ListingMismatch).arg(*count), stat->status));
        return false;
    }
    m_count = *count;
    m_sizes = std::move(*sizes);
    return true;
}

} // namespace maillib
