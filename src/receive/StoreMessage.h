#pragma once

#include "common/StoreStatus.h"
#include "receive/AttachmentExtraction.h"
#include "receive/MailStore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace receive {

// One received message made ready for its record: the four texts the record
// gets, or why it cannot be stored.
struct PreparedMail
{
    bool ok = false;
    QString error; // Japanese reason, when not ok
    QString subject;
    QString from;
    QString date;
    QString body;
};

// Stores received messages one after another, the way every message that
// comes in is stored: the attachment mark looked for in the body as handed
// out, the attachments extracted into the attachment folder, the notice line
// added, a message too long for its record saved whole beside it, and the
// record appended without waiting for the disk. commitGroup() then puts
// everything stored since the last commit on the disk.
class MessageStorer
{
public:
    // texts as the mail layer handed out the message (NMailPop3GetMail or
    // NMailLoadMail), raw its bytes. The first time the work file cannot be
    // written a box says so; the message is still prepared.
    [[nodiscard]] PreparedMail prepare(MessageTexts texts, const QByteArray &raw);
    // Appends the prepared message as the store's next record.
    [[nodiscard]] common::StoreStatus append(const PreparedMail &mail);
    // Waits until the whole messages and then the records stored since the
    // last commit are on the disk; false with error set to a Japanese reason
    // otherwise, and wholeFailed telling whether a whole message was the cause.
    [[nodiscard]] bool commitGroup(QString *error, bool *wholeFailed = nullptr);

    [[nodiscard]] MailStore &store() { return m_store; }

private:
    MailStore m_store;
    WorkFileKeeper m_workFileKeeper;
    QStringList m_unsyncedWhole; // whole messages saved since the last commit
    bool m_workFileReported = false;
};

} // namespace receive
