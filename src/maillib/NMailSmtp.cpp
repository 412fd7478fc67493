#include "maillib/NMail.h"

#include "common/TextHelpers.h"
#include "maillib/MessageBuilder.h"
#include "maillib/ServerTrust.h"
#include "maillib/SmtpClient.h"
#include "maillib/SmtpServerName.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QScopedValueRollback>
#include <QSysInfo>

namespace maillib {

namespace {

CredentialsProvider &credentialsProvider()
{
    static CredentialsProvider provider;
    return provider;
}

bool sendInProgress = false;

// "<seconds>.<64 random bits>@<sender's domain>" (RFC 5322 section 3.6.4).
QByteArray newMessageId(const QString &sender)
{
    const quint64 random = QRandomGenerator::system()->generate64();
    return QByteArray::number(QDateTime::currentSecsSinceEpoch(), 16) + '.' + QByteArray::number(random, 16) + '@'
        + sender.section(u'@', 1).toLatin1();
}

// EHLO wants this machine's name; one that is not a plain DNS name is not sent.
QByteArray ehloName()
{
    const QByteArray name = QSysInfo::machineHostName().toLatin1();
    if (name.isEmpty() || name.size() > 253)
        return "localhost";
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
            || c == '.';
        if (!ok)
            return "localhost";
    }
    return name;
}

// The Japanese text for an address that cannot be used, or empty when it can.
QString addressError(AddressProblem problem, const QString &address, bool recipient)
{
    const QString who = recipient ? QStringLiteral("宛先") : QStringLiteral("差出人");
    switch (problem) {
    case AddressProblem::None:
        return {};
    case AddressProblem::Empty:
        return recipient ? QStringLiteral("宛先のメールアドレスが入力されていません。")
                         : QStringLiteral("差出人のメールアドレス（自分のメールアドレス）が設定されていません。");
    case AddressProblem::ControlCharacter:
        return QStringLiteral("%1のメールアドレスに改行などの制御文字が含まれているため、送信しませんでした。").arg(who);
    case AddressProblem::Malformed:
        return QStringLiteral("%1のメールアドレス「%2」が正しくありません。").arg(who, address);
    }
    return {};
}

int fail(int code, const QString &text)
{
    detail::setLastError(text);
    return code;
}

} // namespace

void NMailSetSmtpCredentialsProvider(CredentialsProvider provider)
{
    credentialsProvider() = std::move(provider);
}

int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QString &attachments)
{
    return NMailSmtpSendMail(server, to, from, subject, body, splitAttachmentList(attachments));
}

int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QStringList &attachments)
{
    // The wait below turns the event loop; a timer must not start a second send.
    if (sendInProgress)
        return fail(NMailErrorBusy, QStringLiteral("前のメールの送信がまだ終わっていません。"));
    const QScopedValueRollback guard(sendInProgress, true);

    SmtpRequest request;
    if (!SmtpServerName::parse(server, &request.server))
        return fail(NMailErrorBadArgument, QStringLiteral("SMTPサーバー名「%1」が正しくありません。").arg(server));
    request.to = common::trimBlanks(to);
    request.from = common::trimBlanks(from);
    // The recipient may be written with a display name (the reply window
    // passes a received sender on, the address book keeps business cards as
    // "name<address>"); the envelope takes the address the parser finds in
    // the angle brackets, never text of the name, and the To field keeps the name.
    QString toName;
    if (checkMailbox(request.to) == AddressProblem::Malformed) {
        const Mailbox mailbox = parseMailbox(request.to);
        if (mailbox.address.isEmpty() || checkMailbox(mailbox.address) != AddressProblem::None)
            return fail(NMailErrorBadArgument, addressError(AddressProblem::Malformed, request.to, true));
        request.to = mailbox.address;
        toName = mailbox.name;
    }
    if (const QString e = addressError(checkMailbox(request.to), request.to, true); !e.isEmpty())
        return fail(NMailErrorBadArgument, e);
    if (const QString e = addressError(checkMailbox(request.from), request.from, false); !e.isEmpty())
        return fail(NMailErrorBadArgument, e);

    if (!request.server.user.isEmpty()) {
        const auto credentials = credentialsProvider() ? credentialsProvider()() : std::pair<QString, QString>();
        request.userId = credentials.first;
        request.password = credentials.second;
        if (request.userId.isEmpty() || request.password.isEmpty())
            return fail(NMailErrorAuthenticate,
                        QStringLiteral("SMTPサーバーの認証に使うユーザーIDとパスワードが設定されていません。"));
    }

    OutgoingMail mail;
    mail.from = request.from;
    mail.to = request.to;
    mail.toName = toName;
    mail.subject = subject;
    mail.body = body;
    mail.attachmentPaths = attachments;
    mail.date = QDateTime::currentDateTime();
    mail.messageId = newMessageId(request.from);
    BuiltMessage built = buildMessage(mail);
    if (!built.error.isEmpty())
        return fail(NMailErrorAttachmentOpen, built.error);

    request.message = std::move(built.data);
    request.ehloName = ehloName();
    const int seconds = qMax(1, (detail::timeoutMilliseconds() + 999) / 1000);
    request.timeouts = {seconds, seconds, seconds};
    // Also a bound on the whole send: the time-out plus the message at 16 KiB/s.
    request.timeouts.overallMs = detail::timeoutMilliseconds() + qint64(request.message.size()) * 1000 / (16 * 1024);
    const quint64 generation = detail::cancelGeneration();
    request.cancelled = [generation] { return detail::cancelGeneration() != generation; };
    ServerTrust trust;
    const QString key = serverKey(QStringLiteral("smtp"), request.server.host, request.server.port);
    request.trustedCertificateSha256 = trust.trustedCertificate(key);
    SmtpResult result = sendSmtp(request);
    // A certificate that does not verify: the user may trust exactly it, and
    // the mail goes again (nothing was handed over before the handshake).
    if (!result.rejectedCertificate.isEmpty()) {
        const QSslCertificate certificate(result.rejectedCertificate, QSsl::Der);
        if (askTrustCertificate(trust, key, request.server.hostAndPort(), certificate, {result.certificateProblem},
                                smtpConnectionKept())) {
            request.trustedCertificateSha256 = trust.trustedCertificate(key);
            result = sendSmtp(request);
        }
    }
    detail::setLastError(result.error);
    return result.code;
}

int NMailSmtpLogin(const QString &server, bool *encrypted)
{
    if (encrypted)
        *encrypted = false;
    if (sendInProgress)
        return fail(NMailErrorBusy, QStringLiteral("前のメールの送信がまだ終わっていません。"));
    const QScopedValueRollback guard(sendInProgress, true);

    SmtpRequest request;
    if (!SmtpServerName::parse(server, &request.server))
        return fail(NMailErrorBadArgument, QStringLiteral("SMTPサーバー名「%1」が正しくありません。").arg(server));
    if (!request.server.user.isEmpty()) {
        const auto credentials = credentialsProvider() ? credentialsProvider()() : std::pair<QString, QString>();
        request.userId = credentials.first;
        request.password = credentials.second;
        if (request.userId.isEmpty() || request.password.isEmpty())
            return fail(NMailErrorAuthenticate,
                        QStringLiteral("SMTPサーバーの認証に使うユーザーIDとパスワードが設定されていません。"));
    }
    request.loginOnly = true;
    request.ehloName = ehloName();
    const int seconds = qMax(1, (detail::timeoutMilliseconds() + 999) / 1000);
    request.timeouts = {seconds, seconds, seconds};
    request.timeouts.overallMs = 2 * qint64(detail::timeoutMilliseconds());
    const quint64 generation = detail::cancelGeneration();
    request.cancelled = [generation] { return detail::cancelGeneration() != generation; };
    const SmtpResult result = sendSmtp(request);
    detail::setLastError(result.error);
    if (encrypted)
        *encrypted = result.encrypted;
    return result.code;
}

} // namespace maillib
