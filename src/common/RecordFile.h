#pragma once

#include "common/StoreStatus.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace common {

// Where a store of fixed-length records lives and where its live flag sits.
struct RecordLayout
{
    QString storeName;   // file name in the data folder, e.g. "krxdata2.data"
    QString tempName;    // the compaction's temporary file, e.g. "KRXDATA2.TMP"
    qint64 length = 0;   // bytes per record
    qint64 liveOffset = 0; // offset of the 16-bit little-endian live flag in a record
};

// What the start-up check found of an earlier, interrupted compaction.
enum class Leftover {
    None,          // no temporary file was there
    StoreKept,     // the store was complete; the temporary file was dropped
    TempTaken,     // the temporary file held more mail than the store and replaced it
    SetAside,      // the two disagreed: the store was kept, the temporary file renamed aside
};

// A file of fixed-length records in the data folder, numbered from 1, with no
// header. Every operation opens the file, works and closes it again, so a
// change of the file between operations is seen. Compaction writes the live
// records to the temporary file, flushes it and renames it over the store, so
// a complete store exists under its name at every instant. A store that is a
// symbolic link stays one: the file it points to is what is compacted.
class RecordFile
{
public:
    // Record numbers are 16-bit signed: no record beyond this one.
    static constexpr int MaxRecords = 32767;

    explicit RecordFile(RecordLayout layout);

    // Deals with a temporary file left by an interrupted compaction, then
    // creates the store empty when it is missing. For start-up.
    [[nodiscard]] StoreStatus create();

    // The number of records: file length / record length, rounded to the
    // nearest integer. A missing store counts 0.
    [[nodiscard]] int count(StoreStatus *status);

    // Reads record n into record. A record cut short by the end of the file is past the end.
    [[nodiscard]] RecordRead read(int n, QByteArray *record, StoreStatus *status);

    // Calls each with the first headLength bytes of every whole record, in
    // order, and puts the last whole record into lastRecord (left unchanged
    // when there is none). One open and one positioned read per record.
    [[nodiscard]] StoreStatus readHeads(qint64 headLength, const std::function<void(const char *)> &each,
                                        QByteArray *lastRecord);

    // Writes record n (1..MaxRecords), creating the file when missing. A write
    // that fails leaves the file as it was. With Flush::ToDisk the record is
    // on the disk when this returns successfully.
    [[nodiscard]] StoreStatus write(int n, const QByteArray &record, Flush flush);

    // Waits until every record written so far is on the disk, the file's
    // entry in its folder included. For writers that flush once for several
    // records written with Flush::No.
    [[nodiscard]] StoreStatus flush();

    // The whole records, and the bytes of a record cut short after them (a
    // write stopped part-way), 0 when the file ends with a whole record.
    [[nodiscard]] StoreStatus measure(int *wholeRecords, qint64 *pieceBytes);
    // Cuts off what follows the first wholeRecords records.
    [[nodiscard]] StoreStatus cutAfter(int wholeRecords);

    // Sets the live flag of the existing record n.
    [[nodiscard]] StoreStatus setLive(int n, qint16 live);
    // Sets the live flag of every whole record to 0.
    [[nodiscard]] StoreStatus setAllDead();
    // Sets the live flag of every whole record to live.
    [[nodiscard]] StoreStatus setAllLive(qint16 live);

    // Removes every record whose live flag is 0, keeping the order of the
    // others; a piece of a record at the end of the file is kept after them.
    // lastRecord receives the last whole record of the store as it was.
    [[nodiscard]] StoreStatus compact(QByteArray *lastRecord);

    // Deals with a temporary file left by an interrupted compaction so that no
    // record is lost or doubled, and finishes that compaction.
    [[nodiscard]] StoreStatus recover();
    [[nodiscard]] Leftover lastLeftover() const { return m_leftover; }
    // The path the temporary file was renamed to when it was set aside.
    [[nodiscard]] QString setAsidePath() const { return m_setAside; }

    [[nodiscard]] QString storePath() const;
    [[nodiscard]] QString tempPath() const;
    // The file that holds the records: the store, or the file a store that is
    // a symbolic link points to. Compaction replaces that file, through a
    // temporary file beside it, and leaves the link as it is.
    [[nodiscard]] QString storeFile() const;
    [[nodiscard]] QString tempFile() const;
    [[nodiscard]] const RecordLayout &layout() const { return m_layout; }

private:
    StoreStatus compactNow(QByteArray *lastRecord);
    StoreStatus resolveLeftover(const QString &store, const QString &temp);

    RecordLayout m_layout;
    Leftover m_leftover = Leftover::None;
    QString m_setAside;
};

} // namespace common
