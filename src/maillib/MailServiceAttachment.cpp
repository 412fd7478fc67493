#include "maillib/MailService.h"

#include "maillib/AttachmentExtractor.h"
#include "maillib/MailService_p.h"
#include "maillib/MimeParse.h"

namespace maillib {

bool MailService::usesFetchedBytes(const QString &header, const QString &body) const
{
    const detail::LastFetched &last = m_d->lastFetched;
    if (header != last.header || body != last.body)
        return false;
    // A large message read from its file has no bytes in memory.
    return !last.raw.isEmpty() || (last.decoded && last.decoded->parsed().keptOnDisk());
}

MailResult MailService::extractAttachments(MailTexts *texts, const QString &folder, const QString &messageText,
                                           QStringList *writtenFiles)
{
    const detail::LastFetched &last = m_d->lastFetched;
    std::shared_ptr<const detail::DecodedMessage> message;
    const bool fetched = texts && usesFetchedBytes(texts->header, texts->body);
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
        m_d->lastError = result.error;
    if (result.code == NMailErrorSplitIncomplete) {
        // A piece of a split message is kept as it came, its raw body included.
        if (texts && fetched)
            texts->body = message->body();
        return MailResult::failure(result.code, result.error);
    }
    if (texts) {
        texts->subject = result.mail.subject;
        texts->date = result.mail.date;
        texts->from = result.mail.from;
        texts->header = result.mail.header;
        texts->body = result.mail.body;
    }
    return result.code < 0 ? MailResult::failure(result.code, result.error) : MailResult(result.code);
}

} // namespace maillib
