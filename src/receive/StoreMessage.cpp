#include "receive/StoreMessage.h"

#include "common/Prompts.h"
#include "receive/LongMail.h"
#include "receive/MailCheck.h"

#include <utility>

namespace receive {

PreparedMail MessageStorer::prepare(MessageTexts texts, const QByteArray &raw)
{
    PreparedMail mail;
    const bool attachmentMark = texts.body.contains(QLatin1String("attachment"), Qt::CaseSensitive);
    if (ExtractAttachments(texts, &m_workFileKeeper) == ExtractionOutcome::WorkFileFailed && !m_workFileReported) {
        m_workFileReported = true;
        common::prompts().inform(
            QStringLiteral("添付フォルダ「%1」に作業ファイル「0.txt」を書き込めないため、添付ファイルを展開"
                           "できません。メールの本文は保存します。添付フォルダがあるか、書き込めるかを確かめて"
                           "ください。")
                .arg(attachmentFolderPath()),
            QString::fromUtf16(checktext::ErrorTitle), common::PromptIcon::Critical);
    }
    const QString tail =
        attachmentMark ? QStringLiteral("\r\n") + QString::fromUtf16(checktext::AttachmentNotice) : QString();
    mail.subject = texts.subject;
    mail.from = texts.from;
    mail.date = texts.date;
    mail.body = texts.body + tail;
    if (bodyTooLongForStore(texts.body, tail)) {
        // The store keeps the first 32000 bytes; the whole message goes
        // beside it before the record is written.
        const QString saved =
            saveWholeMessage(attachmentFolderPath(), raw, texts.date, texts.subject, &mail.error, &m_unsyncedWhole);
        if (saved.isEmpty())
            return mail;
        mail.body = cutBodyWithNotice(texts.body, tail, saved);
    }
    mail.ok = true;
    return mail;
}

common::StoreStatus MessageStorer::append(const PreparedMail &mail)
{
    return m_store.appendMailRecord(mail.subject, mail.from, mail.date, mail.body, common::Flush::No);
}

bool MessageStorer::commitGroup(QString *error, bool *wholeFailed)
{
    const QStringList whole = std::exchange(m_unsyncedWhole, {});
    const bool synced = syncWholeMessages(whole, error);
    if (wholeFailed)
        *wholeFailed = !synced;
    if (!synced)
        return false;
    const common::StoreStatus flushed = m_store.flushToDisk();
    if (!flushed && error)
        *error = flushed.message();
    return bool(flushed);
}

} // namespace receive
