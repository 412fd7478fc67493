#include "receive/StoreReceived.h"

#include "receive/LongMail.h"
#include "receive/MailCheck.h"
#include "receive/MailStore.h"
#include "receive/UidJournal.h"

#include <QFileInfo>

namespace receive {

QString attachmentNotice(const QStringList &writtenFiles)
{
    if (writtenFiles.isEmpty())
        return {};
    constexpr int Named = 10;
    QStringList names;
    for (const QString &path : writtenFiles.mid(0, Named))
        names << QStringLiteral("「%1」").arg(QFileInfo(path).fileName());
    QString line = QStringLiteral("\r\n") + QString::fromUtf16(checktext::AttachmentNotice) + QStringLiteral("\r\n")
                   + names.join(QString());
    if (writtenFiles.size() > Named)
        line += QStringLiteral(" ほか %1 個").arg(writtenFiles.size() - Named);
    return line;
}

namespace {

StoredMail withRecord(StoredMail mail)
{
    mail.prepared = MailStore::makeMailRecord(mail.subject, mail.from, mail.date, mail.body);
    mail.preparedBytes = mail.prepared.toBytes();
    mail.recordFingerprint = recordFingerprint(mail.preparedBytes.left(MailRecord::LiveOffset));
    return mail;
}

} // namespace

StoredMail prepareReceivedMail(const MessageTexts &texts, const QStringList &writtenFiles,
                               const maillib::RawMessage &raw, QStringList *unsyncedWhole)
{
    StoredMail result;
    result.subject = texts.subject;
    result.from = texts.from;
    result.date = texts.date;
    const QString tail = attachmentNotice(writtenFiles);
    result.body = texts.body + tail;
    const bool tooLong = bodyTooLongForStore(texts.body, tail);
    if (!tooLong && !recordLosesCharacters(texts.subject, texts.from, texts.date, texts.body))
        return withRecord(std::move(result));
    // The record keeps what it can; the whole message goes beside it.
    const WholeReason reason = tooLong ? WholeReason::TooLong : WholeReason::CharactersLost;
    QString error;
    const QString saved = saveWholeMessage(attachmentFolderPath(), raw, texts.date, texts.subject, &error, unsyncedWhole);
    if (saved.isEmpty()) {
        result.outcome = StoredMail::Outcome::KeptOnServer;
        result.reason = QStringLiteral("メール「%1」は%2ため全文をファイルに残す必要がありますが、%3")
                            .arg(texts.subject,
                                 tooLong ? QStringLiteral("長い") : QStringLiteral("受信箱では表せない文字を含む"), error);
        return result;
    }
    result.body = cutBodyWithNotice(texts.body, tail, saved, reason);
    return withRecord(std::move(result));
}

void appendReceivedMail(MailStore &store, StoredMail &mail, int number)
{
    const common::StoreStatus stored = number > 0 ? store.putPreparedRecord(number, mail.prepared, mail.preparedBytes)
                                                  : store.appendPreparedRecord(mail.prepared, mail.preparedBytes);
    if (!stored) {
        mail.outcome = StoredMail::Outcome::StoreFailed;
        mail.reason = stored.message();
        return;
    }
    mail.record = store.lastWrittenNumber();
}

StoredMail storeReceivedMail(MailStore &store, const MessageTexts &texts, const QStringList &writtenFiles,
                             const maillib::RawMessage &raw, QStringList *unsyncedWhole)
{
    StoredMail mail = prepareReceivedMail(texts, writtenFiles, raw, unsyncedWhole);
    if (mail.outcome == StoredMail::Outcome::Stored)
        appendReceivedMail(store, mail);
    return mail;
}

} // namespace receive
