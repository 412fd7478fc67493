#include "receive/MailStore.h"

#include "common/FixedText.h"
#include "common/TextHelpers.h"

namespace receive {

MailStore::MailStore()
    : m_file({QString::fromLatin1(StoreFileName), QString::fromLatin1(TempFileName), MailRecord::Length,
              MailRecord::LiveOffset})
{
}

common::StoreStatus MailStore::done(const common::StoreStatus &status)
{
    m_status = status;
    return status;
}

common::StoreStatus MailStore::createIfMissing()
{
    return done(m_file.create());
}

int MailStore::CountMailRecords()
{
    return m_file.count(&m_status);
}

common::StoreStatus MailStore::PutMailRecord(int n, const QString &subject, const QString &from,
                                             const QString &date, const QString &body, common::Flush flush)
{
    CurrentMailRecord = makeMailRecord(subject, from, date, body);
    return put(n, CurrentMailRecord.toBytes(), flush);
}

MailRecord MailStore::makeMailRecord(const QString &subject, const QString &from, const QString &date,
                                     const QString &body)
{
    MailRecord record;
    record.subject = common::fitChars(common::trimBlanks(subject), MailRecord::SubjectWidth);
    record.from = common::fitChars(common::trimBlanks(from), MailRecord::FromWidth);
    record.date = common::fitChars(common::trimBlanks(date), MailRecord::DateWidth);
    record.body = common::fitChars(common::trimBlanks(body), MailRecord::BodyWidth);
    record.lineEnd = QStringLiteral("\r\n");
    record.live = 1;
    return record;
}

common::StoreStatus MailStore::appendPreparedRecord(const MailRecord &record, QByteArray bytes, common::Flush flush)
{
    return putPreparedRecord(CountMailRecords() + 1, record, std::move(bytes), flush);
}

common::StoreStatus MailStore::putPreparedRecord(int n, const MailRecord &record, QByteArray bytes, common::Flush flush)
{
    if (!m_status)
        return m_status; // the count failed: number 1 would overwrite the first mail
    CurrentMailRecord = record;
    return put(n, std::move(bytes), flush);
}

common::StoreStatus MailStore::put(int n, QByteArray bytes, common::Flush flush)
{
    const common::StoreStatus status = m_file.write(n, bytes, flush);
    if (status) {
        m_lastNumber = n;
        m_lastBytes = std::move(bytes);
    }
    return done(status);
}

int MailStore::recordCutShort()
{
    int whole = 0;
    qint64 piece = 0;
    if (!done(m_file.measure(&whole, &piece)) || piece == 0)
        return 0;
    return whole + 1;
}

common::StoreStatus MailStore::removeRecordCutShort()
{
    const int cut = recordCutShort();
    if (cut == 0)
        return m_status;
    return done(m_file.cutAfter(cut - 1));
}

QByteArray MailStore::recordBytes(int n)
{
    QByteArray bytes;
    common::StoreStatus status;
    if (m_file.read(n, &bytes, &status) != common::RecordRead::Read)
        return {};
    return bytes;
}

common::StoreStatus MailStore::appendMailRecord(const QString &subject, const QString &from, const QString &date,
                                                const QString &body, common::Flush flush)
{
    const int count = CountMailRecords();
    if (!m_status)
        return m_status;
    return PutMailRecord(count + 1, subject, from, date, body, flush);
}

common::StoreStatus MailStore::flushToDisk()
{
    return done(m_file.flush());
}

common::RecordRead MailStore::GetMailRecord(int n)
{
    QByteArray bytes;
    const common::RecordRead result = m_file.read(n, &bytes, &m_status);
    if (result == common::RecordRead::Read)
        CurrentMailRecord = MailRecord::fromBytes(bytes);
    return result;
}

QList<MailListEntry> MailStore::readMailList()
{
    QList<MailListEntry> list;
    QByteArray last;
    m_status = m_file.readHeads(
        MailRecord::BodyOffset,
        [&list](const char *head) {
            list.append({common::decodeField(head + MailRecord::SubjectOffset, MailRecord::SubjectWidth,
                                             MailRecord::SubjectWidth),
                         common::decodeField(head + MailRecord::DateOffset, MailRecord::DateWidth,
                                             MailRecord::DateWidth),
                         common::decodeField(head + MailRecord::FromOffset, MailRecord::FromWidth,
                                             MailRecord::FromWidth)});
        },
        &last);
    if (!last.isEmpty())
        CurrentMailRecord = MailRecord::fromBytes(last);
    return list;
}

common::StoreStatus MailStore::DeleteMailRecord(int n)
{
    CurrentMailRecord.live = 0;
    if (common::StoreStatus status = m_file.recover(); !status)
        return done(status);
    // Only the flag is written: the rest of the record stays as it is until
    // the compaction drops it, so a failed compaction damages nothing.
    if (common::StoreStatus status = m_file.setLive(n, 0); !status)
        return done(status);
    return CompactStore();
}

common::StoreStatus MailStore::DeleteAllMailRecords()
{
    if (common::StoreStatus status = m_file.recover(); !status)
        return done(status);
    if (common::StoreStatus status = m_file.setAllDead(); !status)
        return done(status);
    return CompactStore();
}

common::StoreStatus MailStore::KeepMailRecord(int n)
{
    return done(m_file.setLive(n, 1));
}

common::StoreStatus MailStore::KeepAllMailRecords()
{
    return done(m_file.setAllLive(1));
}

common::StoreStatus MailStore::CompactStore()
{
    QByteArray last;
    const common::StoreStatus status = m_file.compact(&last);
    if (!last.isEmpty())
        CurrentMailRecord = MailRecord::fromBytes(last);
    return done(status);
}

} // namespace receive
