#pragma once

#include "maillib/MailService.h"
#include "receive/AttachmentFolder.h"
#include "receive/MailRecord.h"

#include <QString>
#include <QStringList>

namespace receive {

class MailStore;

// What storing one received message came to.
struct StoredMail
{
    enum class Outcome {
        Stored,       // the record was appended (not yet waited for)
        KeptOnServer, // the message could not be kept faithfully; nothing was stored
        StoreFailed,  // the store refused the record
    };
    Outcome outcome = Outcome::Stored;
    // Why, in Japanese: "メール「件名」は…" for KeptOnServer, the store's
    // reason for StoreFailed.
    QString reason;
    // The four texts as stored (the body with its notices), for the viewer's fields.
    QString subject;
    QString from;
    QString date;
    QString body;
    // The record as it will be written and its bytes (CP932), made with the texts.
    MailRecord prepared;
    QByteArray preparedBytes;
    // The record written, and the fingerprint of its bytes (see UidJournal).
    int record = 0;
    quint64 recordFingerprint = 0;
};

// Stores one received message the way the mail check does, once its
// attachments have been written: texts as the extraction left them,
// writtenFiles the files it wrote (named in the notice that ends the body),
// raw the exact bytes received. When the record cannot hold the message
// faithfully (a body too long for it, or a character CP932 has no form for)
// the whole message is first written beside it, in the attachment folder, and
// the body ends with a line naming that file; the file's path is added to
// unsyncedWhole, which must be synced (syncSavedFiles) before the server's
// copy is deleted. The record is appended without waiting for the disk
// (MailStore::flushToDisk). It is prepareReceivedMail, then
// appendReceivedMail unless the outcome is KeptOnServer.
[[nodiscard]] StoredMail storeReceivedMail(MailStore &store, const MessageTexts &texts,
                                           const QStringList &writtenFiles, const maillib::RawMessage &raw,
                                           QStringList *unsyncedWhole);

// The first half: the texts as they will be stored, the whole message beside
// them where needed, and the record made of them; outcome Stored means ready
// to append. Touches neither the store nor the windows, so it may run on any thread.
[[nodiscard]] StoredMail prepareReceivedMail(const MessageTexts &texts, const QStringList &writtenFiles,
                                             const maillib::RawMessage &raw, QStringList *unsyncedWhole);
// The second half: appends the record of a prepared mail (StoreFailed when
// refused), as record number when the caller has counted it.
void appendReceivedMail(MailStore &store, StoredMail &mail, int number = 0);

// The notice that ends the body of a message whose attachments were written,
// naming the files (the first few of many); empty when none were.
[[nodiscard]] QString attachmentNotice(const QStringList &writtenFiles);

} // namespace receive
