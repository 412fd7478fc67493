#include "maillib/NMail.h"

#include "maillib/MessageBuilder.h"

namespace maillib {

namespace {

MailService &service()
{
    return MailService::process();
}

// A result in the classic convention: the value, or the negative code.
qint64 classic(const MailResult &result)
{
    return result.value();
}

void handOut(const MailTexts &texts, QString *subject, QString *date, QString *from, QString *header,
             QString *body = nullptr)
{
    if (subject)
        *subject = texts.subject;
    if (date)
        *date = texts.date;
    if (from)
        *from = texts.from;
    if (header)
        *header = texts.header;
    if (body)
        *body = texts.body;
}

} // namespace

void NMailInitializeWinSock()
{
    service().start();
}

void NMailEndWinSock()
{
    service().end();
}

void NMailSetOption(int option, int value)
{
    service().setOption(option, value);
}

int NMailGetOption(int option)
{
    return service().option(option);
}

void NMailCancel()
{
    service().cancel();
}

QString NMailGetMessage()
{
    return service().lastError();
}

void NMailSetSmtpCredentialsProvider(CredentialsProvider provider)
{
    service().setSmtpCredentialsProvider(std::move(provider));
}

int NMailPop3Connect(const QString &server)
{
    return int(classic(service().pop3Connect(server)));
}

int NMailPop3Authenticate(int handle, const QString &userId, const QString &password, int apop)
{
    return int(classic(service().pop3Authenticate(handle, userId, password, apop != 0)));
}

int NMailPop3GetMailStatus(int handle, int number, QString *subject, QString *date, QString *from, QString *header)
{
    MailTexts texts;
    const MailResult result = service().pop3MailStatus(handle, number, &texts);
    if (result)
        handOut(texts, subject, date, from, header);
    return int(classic(result));
}

qint64 NMailPop3GetMailSize(int handle, int number)
{
    return classic(service().pop3MailSize(handle, number));
}

int NMailPop3GetMail(int handle, int number, QString *subject, QString *date, QString *from, QString *header,
                     QString *body)
{
    MailTexts texts;
    const MailResult result = service().pop3Mail(handle, number, &texts);
    if (result)
        handOut(texts, subject, date, from, header, body);
    return int(classic(result));
}

RawMessage NMailPop3FetchedMessage()
{
    return service().fetchedMessage();
}

int NMailLoadMail(QByteArray raw, QString *subject, QString *date, QString *from, QString *header, QString *body)
{
    MailTexts texts;
    service().loadMail(std::move(raw), &texts);
    handOut(texts, subject, date, from, header, body);
    return 1;
}

int NMailPop3DeleteMail(int handle, int number)
{
    return int(classic(service().pop3DeleteMail(handle, number)));
}

int NMailPop3GetUidl(int handle, int number, QString *uidl)
{
    return int(classic(service().pop3Uidl(handle, number, uidl)));
}

int NMailPop3DeleteMailByUidl(int handle, int number, const QString &uidl)
{
    return int(classic(service().pop3DeleteMailByUidl(handle, number, uidl)));
}

int NMailPop3Close(int handle)
{
    return int(classic(service().pop3Close(handle)));
}

qint64 NMailPop3ReceivedBytes(int handle)
{
    return service().pop3ReceivedBytes(handle);
}

bool NMailPop3IsEncrypted(int handle)
{
    return service().pop3IsEncrypted(handle);
}

bool NMailAttachmentUsesFetchedBytes(const QString &header, const QString &body)
{
    return service().usesFetchedBytes(header, body);
}

int NMailAttachmentFileFirst(QString *subject, QString *date, QString *from, QString *header, QString *body,
                             const QString &folder, const QString &workFilePath, const QString &messageText,
                             QStringList *writtenFiles)
{
    Q_UNUSED(workFilePath); // the caller's own copy of the message; the text arrives in messageText
    MailTexts texts{subject ? *subject : QString(), date ? *date : QString(), from ? *from : QString(),
                    header ? *header : QString(), body ? *body : QString()};
    const MailResult result = service().extractAttachments(&texts, folder, messageText, writtenFiles);
    if (result || result.code() != NMailErrorSplitIncomplete)
        handOut(texts, subject, date, from, header, body);
    return int(classic(result));
}

void NMailAttachmentFileClose()
{
    // Nothing is held between calls: every extraction finishes its files itself.
}

int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QString &attachments)
{
    return NMailSmtpSendMail(server, to, from, subject, body, splitAttachmentList(attachments));
}

int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QStringList &attachments)
{
    return int(classic(service().smtpSendMail(server, to, from, subject, body, attachments)));
}

int NMailSmtpLogin(const QString &server, bool *encrypted)
{
    return int(classic(service().smtpLogin(server, encrypted)));
}

} // namespace maillib
