#include "maillib/MailService.h"

#include "maillib/MailService_p.h"

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

QString busyText()
{
    return QStringLiteral("前のメールの送信がまだ終わっていません。");
}

QString badServerText(const QString &server)
{
    return QStringLiteral("SMTPサーバー名「%1」が正しくありません。").arg(server);
}

// The user ID and password when the server address names a user, and the
// limits; what a send and a login test share. False when the credentials are missing.
bool completeRequest(const MailService::Private &d, SmtpRequest *request)
{
    if (!request->server.user.isEmpty()) {
        const auto credentials = d.credentialsProvider ? d.credentialsProvider() : std::pair<QString, QString>();
        request->userId = credentials.first;
        request->password = credentials.second;
        if (request->userId.isEmpty() || request->password.isEmpty())
            return false;
    }
    request->ehloName = ehloName();
    const int seconds = qMax(1, (d.timeoutMs + 999) / 1000);
    request->timeouts = {seconds, seconds, seconds};
    return true;
}

QString missingCredentialsText()
{
    return QStringLiteral("SMTPサーバーの認証に使うユーザーIDとパスワードが設定されていません。");
}

// Lets a stop request of the service end the transfer.
void connectToWaits(MailService::Private &d, SmtpRequest *request)
{
    detail::MailWaits *waits = &d.waits;
    const quint64 generation = waits->generation();
    request->cancelled = [waits, generation] { return waits->generation() != generation; };
    request->waits = waits;
}

MailResult sent(MailService::Private &d, const SmtpResult &result)
{
    d.lastError = result.error;
    return result.code < 0 ? MailResult::failure(result.code, result.error) : MailResult(result.code);
}

// Fills the envelope's addresses; the text of the first that cannot be used,
// or empty. The recipient may be written with a display name (the reply
// window passes a received sender on, the address book keeps business cards
// as "name<address>"); the envelope takes the address the parser finds in the
// angle brackets, never text of the name, and the To field keeps the name.
QString takeAddresses(SmtpRequest *request, const QString &to, const QString &from, QString *toName)
{
    request->to = common::trimBlanks(to);
    request->from = common::trimBlanks(from);
    // The recipient may be written with a display name (the reply window
    // passes a received sender on, the address book keeps business cards as
    // "name<address>"); the envelope takes the address the parser finds in
    // the angle brackets, never text of the name, and the To field keeps the name.
    if (checkMailbox(request->to) == AddressProblem::Malformed) {
        const Mailbox mailbox = parseMailbox(request->to);
        if (mailbox.address.isEmpty() || checkMailbox(mailbox.address) != AddressProblem::None)
            return addressError(AddressProblem::Malformed, request->to, true);
        request->to = mailbox.address;
        *toName = mailbox.name;
    }
    if (const QString e = addressError(checkMailbox(request->to), request->to, true); !e.isEmpty())
        return e;
    return addressError(checkMailbox(request->from), request->from, false);
}

BuiltMessage buildMail(const SmtpRequest &request, const QString &toName, const QString &subject,
                       const QString &body, const QStringList &attachments)
{
    OutgoingMail mail;
    mail.from = request.from;
    mail.to = request.to;
    mail.toName = toName;
    mail.subject = subject;
    mail.body = body;
    mail.attachmentPaths = attachments;
    mail.date = QDateTime::currentDateTime();
    mail.messageId = newMessageId(request.from);
    return buildMessage(mail);
}

// Sends with the certificate the user trusts for this server. One that does
// not verify: the user may trust exactly it, and the mail goes again (nothing
// was handed over before the handshake).
SmtpResult sendTrusting(MailService::Private &d, SmtpRequest &request)
{
    ServerTrust trust;
    const QString key = serverKey(QStringLiteral("smtp"), request.server.host, request.server.port);
    request.trustedCertificateSha256 = trust.trustedCertificate(key);
    SmtpResult result = sendSmtp(request);
    if (!result.rejectedCertificate.isEmpty()) {
        const QSslCertificate certificate(result.rejectedCertificate, QSsl::Der);
        if (askTrustCertificate(trust, d.asker(), key, request.server.hostAndPort(), certificate,
                                {result.certificateProblem},
                                d.smtpKeeper->keep() ? &d.refusedCertificates : nullptr)) {
            request.trustedCertificateSha256 = trust.trustedCertificate(key);
            result = sendSmtp(request);
        }
    }
    return result;
}

} // namespace

MailResult MailService::smtpSendMail(const QString &server, const QString &to, const QString &from,
                                     const QString &subject, const QString &body, const QStringList &attachments)
{
    Private &d = *m_d;
    // The wait below turns the event loop; a timer must not start a second send.
    if (d.sendInProgress)
        return d.fail(NMailErrorBusy, busyText());
    const QScopedValueRollback guard(d.sendInProgress, true);

    SmtpRequest request;
    if (!SmtpServerName::parse(server, &request.server))
        return d.fail(NMailErrorBadArgument, badServerText(server));
    QString toName;
    if (const QString e = takeAddresses(&request, to, from, &toName); !e.isEmpty())
        return d.fail(NMailErrorBadArgument, e);
    if (!completeRequest(d, &request))
        return d.fail(NMailErrorAuthenticate, missingCredentialsText());

    BuiltMessage built = buildMail(request, toName, subject, body, attachments);
    if (!built.error.isEmpty())
        return d.fail(NMailErrorAttachmentOpen, built.error);

    request.message = std::move(built.data);
    // Also a bound on the whole send: the time-out plus the message at 16 KiB/s.
    request.timeouts.overallMs = d.timeoutMs + qint64(request.message.size()) * 1000 / (16 * 1024);
    request.keeper = d.smtpKeeper.get();
    connectToWaits(d, &request);
    const SmtpResult result = sendTrusting(d, request);
    return sent(d, result);
}

MailResult MailService::smtpLogin(const QString &server, bool *encrypted)
{
    Private &d = *m_d;
    if (encrypted)
        *encrypted = false;
    if (d.sendInProgress)
        return d.fail(NMailErrorBusy, busyText());
    const QScopedValueRollback guard(d.sendInProgress, true);

    SmtpRequest request;
    if (!SmtpServerName::parse(server, &request.server))
        return d.fail(NMailErrorBadArgument, badServerText(server));
    if (!completeRequest(d, &request))
        return d.fail(NMailErrorAuthenticate, missingCredentialsText());
    request.loginOnly = true;
    request.timeouts.overallMs = 2 * qint64(d.timeoutMs);
    connectToWaits(d, &request);
    const SmtpResult result = sendSmtp(request);
    if (encrypted)
        *encrypted = result.encrypted;
    return sent(d, result);
}

} // namespace maillib
