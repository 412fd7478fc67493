#include "maillib/MimeDecoder.h"

#include "maillib/Charset.h"
#include "maillib/HeaderText.h"
#include "maillib/MimeParse.h"

namespace maillib {
namespace {

QString headerBlockText(const QByteArray &block)
{
    QByteArray normalised;
    normalised.reserve(block.size() + block.size() / 16 + 2);
    for (const QByteArray &line : block.split('\n')) {
        QByteArray l = line;
        if (l.endsWith('\r'))
            l.chop(1);
        normalised += l;
        normalised += "\r\n";
    }
    // split() yields one empty piece after a final line end.
    if (block.endsWith('\n'))
        normalised.chop(2);
    return rawBytesToText(normalised);
}

} // namespace

QString rawBytesToText(const QByteArray &raw)
{
    QString text = decodeUnlabelled(raw);
    text.remove(QChar(0));
    return text;
}

DecodedMail decodeMail(const QByteArray &raw)
{
    const detail::ParsedMail parsed(raw);
    DecodedMail mail = detail::decodeParsed(parsed);
    if (mail.multipart)
        mail.body = parsed.bodyText();
    return mail;
}

detail::DecodedMessage::DecodedMessage(const QByteArray &raw)
    : m_raw(raw)
    , m_parsed(m_raw)
    , m_mail(decodeParsed(m_parsed))
{
}

detail::DecodedMessage::DecodedMessage(QByteArray &&raw)
    : m_raw(std::move(raw))
    , m_parsed(std::move(m_raw), true)
    , m_mail(decodeParsed(m_parsed))
{
}

QString detail::DecodedMessage::body() const
{
    return m_mail.multipart ? m_parsed.bodyText() : m_mail.body;
}

DecodedMail detail::decodeParsed(const ParsedMail &parsed)
{
    DecodedMail mail;
    mail.subject = decodeHeaderText(parsed.headerValue("Subject"));
    mail.from = decodeAddressList(parsed.headerValue("From"));
    mail.date = rawBytesToText(parsed.headerValue("Date")).trimmed();
    mail.header = headerBlockText(parsed.headerBlock());
    mail.text = parsed.text();
    mail.multipart = !parsed.isTextMessage();
    // The raw body of a multipart message is made by the caller that wants it.
    if (!mail.multipart)
        mail.body = mail.text;
    mail.incompleteFragment = parsed.isIncompleteFragment();
    for (const detail::AttachmentPart &part : parsed.attachments())
        mail.attachments.append({part.fileName, part.mimeType});
    return mail;
}

} // namespace maillib
