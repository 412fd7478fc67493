#pragma once

#include "common/RecordFile.h"
#include "common/StoreStatus.h"
#include "receive/MailRecord.h"

#include <QList>

namespace receive {

// The received-mail store "krxdata2.data" in the data folder: one MailRecord
// per stored mail, numbered from 1 in the order of arrival. Every read fills
// CurrentMailRecord and every write writes it. Each operation opens the file
// and closes it again; failures are returned and kept in lastStatus().
class MailStore
{
public:
    static constexpr char StoreFileName[] = "krxdata2.data";
    static constexpr char TempFileName[] = "KRXDATA2.TMP";

    MailStore();

    // Start-up: deals with a compaction that was interrupted, then creates an
    // empty store when there is none.
    [[nodiscard]] common::StoreStatus createIfMissing();

    // The number of records; 0 with lastStatus() set when the store cannot be examined.
    [[nodiscard]] int CountMailRecords();

    // Trims blanks off the four texts, fills CurrentMailRecord with them (live 1)
    // and writes it as record n. Numbers past 32767 are refused. With
    // Flush::ToDisk the record is on the disk when this succeeds; a failed
    // write leaves the store as it was.
    [[nodiscard]] common::StoreStatus PutMailRecord(int n, const QString &subject, const QString &from,
                                                    const QString &date, const QString &body,
                                                    common::Flush flush = common::Flush::No);

    // PutMailRecord at CountMailRecords() + 1, refused when the store cannot
    // be counted, so that a failed count never makes new mail overwrite record 1.
    [[nodiscard]] common::StoreStatus appendMailRecord(const QString &subject, const QString &from,
                                                       const QString &date, const QString &body,
                                                       common::Flush flush = common::Flush::No);

    // The record PutMailRecord writes for these texts (blanks trimmed, each
    // cut to its width, live 1), made without touching the store, on any thread.
    [[nodiscard]] static MailRecord makeMailRecord(const QString &subject, const QString &from, const QString &date,
                                                   const QString &body);
    // Appends record, made by makeMailRecord, whose bytes (record.toBytes())
    // are given, as appendMailRecord would; it becomes CurrentMailRecord.
    [[nodiscard]] common::StoreStatus appendPreparedRecord(const MailRecord &record, QByteArray bytes,
                                                           common::Flush flush = common::Flush::No);
    // The same as record n, where the caller counted n (CountMailRecords() + 1)
    // to note it before the record is written; refused, as above, when that
    // count failed.
    [[nodiscard]] common::StoreStatus putPreparedRecord(int n, const MailRecord &record, QByteArray bytes,
                                                        common::Flush flush = common::Flush::No);

    // A record this program began to append and did not finish (a check
    // killed while writing it) is left cut short at the end of the file,
    // where it still counts as a record when more than half of it was
    // written. Its number (whole records + 1) when there is such a piece, else 0.
    [[nodiscard]] int recordCutShort();
    // Removes that piece; the records before it stay.
    [[nodiscard]] common::StoreStatus removeRecordCutShort();

    // The number and bytes of the record written last by this store object.
    [[nodiscard]] int lastWrittenNumber() const { return m_lastNumber; }
    [[nodiscard]] const QByteArray &lastWrittenBytes() const { return m_lastBytes; }
    // The bytes of record n as they are in the file, without touching
    // CurrentMailRecord; empty when there is no whole record n.
    [[nodiscard]] QByteArray recordBytes(int n);

    // Waits until every record appended so far is on the disk; after records
    // written with Flush::No, and before anything relies on them being kept.
    [[nodiscard]] common::StoreStatus flushToDisk();

    // Reads record n into CurrentMailRecord. PastEnd when there is no whole
    // record n; the buffer is then left as it was.
    [[nodiscard]] common::RecordRead GetMailRecord(int n);

    // The list fields of every record in order, without reading the bodies.
    // Leaves the last record, whole, in CurrentMailRecord, as reading every
    // record in turn would.
    [[nodiscard]] QList<MailListEntry> readMailList();

    // Marks record n deleted (also in CurrentMailRecord) and compacts the store.
    [[nodiscard]] common::StoreStatus DeleteMailRecord(int n);
    // Marks every record deleted and compacts the store to an empty file.
    [[nodiscard]] common::StoreStatus DeleteAllMailRecords();
    // Takes back the deletion mark of record n, or of every record, after a
    // deletion whose compaction failed, so that no later compaction drops
    // mail that the user was told is still there.
    [[nodiscard]] common::StoreStatus KeepMailRecord(int n);
    [[nodiscard]] common::StoreStatus KeepAllMailRecords();
    // Removes every record marked deleted, keeping the order of the others.
    // CurrentMailRecord ends holding the store's last record as it was before.
    [[nodiscard]] common::StoreStatus CompactStore();

    // The outcome of the last operation.
    [[nodiscard]] const common::StoreStatus &lastStatus() const { return m_status; }
    // What the last operation found of an interrupted compaction.
    [[nodiscard]] common::Leftover lastLeftover() const { return m_file.lastLeftover(); }
    [[nodiscard]] QString setAsidePath() const { return m_file.setAsidePath(); }

private:
    common::StoreStatus done(const common::StoreStatus &status);
    common::StoreStatus put(int n, QByteArray bytes, common::Flush flush);

    common::RecordFile m_file;
    common::StoreStatus m_status;
    int m_lastNumber = 0;
    QByteArray m_lastBytes;
};

} // namespace receive
