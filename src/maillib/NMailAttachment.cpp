#include "maillib/AttachmentExtractor.h"
#include "maillib/MimeParse.h"
#include "maillib/NMail.h"

namespace maillib {

bool NMailAttachmentUsesFetchedBytes(const QString &header, const QString &body)
{
    const detail::LastFetched &last = detail::lastFetched();
    if (header != last.header || body != last.body)
        return false;
    // A large message read from its file has no bytes in memory.
    return !last.raw.isEmpty() || (last.decoded && last.decoded->parsed().keptOnDisk());
}

int NMailAttachmentFileFirst(QString *subject, QString *date, QString *from, QString *header, QString *body,
                             const QString &folder, const QString &workFilePath, const QString &messageText,
                             QStringList *writtenFiles)
{
    Q_UNUSED(workFilePath); // the caller's own copy of the message; the text arrives in messageText
    const detail::LastFetched &last = detail::lastFetched();
    std::shared_ptr<const detail::DecodedMessage> message;
    const bool fetched = header && body && NMailAttachmentUsesFetchedBytes(*header, *body);
    if (fetched && !last.raw.isEmpty()) {
        // The message just fetched: its exact bytes, not a converted copy,
        // and the parse made when it was fetched.
        if (last.decoded && last.decoded->raw() == last.raw)
            message = last.decoded;
        else
            message = std::make_shared<const detail::DecodedMessage>(last.raw);
    } else if (fetched && last.decoded && last.decoded->parsed().keptOnDisk()) {
        // A large message read from its file; its bytes are not in memory.
        message = last.decoded;
    } else {
        QString text = messageText;
        while (text.endsWith(QChar(0)))
            text.chop(1);
        message = std::make_shared<const detail::DecodedMessage>(text.toUtf8());
    }
    const ExtractionResult result = detail::extractParsed(message->parsed(), message->mail(), folder);
    if (writtenFiles)
        *writtenFiles = result.writtenFiles;
    if (result.code < 0)
        detail::setLastError(result.error);
    if (result.code == NMailErrorSplitIncomplete)
        return result.code; // a piece of a split message is kept as it came
    if (subject)
        *subject = result.mail.subject;
    if (date)
        *date = result.mail.date;
    if (from)
        *from = result.mail.from;
    if (header)
        *header = result.mail.header;
    if (body)
        *body = result.mail.body;
    return result.code;
}

void NMailAttachmentFileClose()
{
    // Nothing is held between calls: every extraction finishes its files itself.
}

} // namespace maillib
