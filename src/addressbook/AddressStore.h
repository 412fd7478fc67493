#pragma once

#include "addressbook/AddressRecord.h"
#include "common/RecordFile.h"
#include "common/StoreStatus.h"

#include <QList>
#include <QStringList>

namespace addressbook {

// The address book "Krxdata20.data" in the data folder: one AddressRecord per
// entry, numbered from 1. Every read fills CurrentAddressRecord and every
// write writes it. Unlike the mail store, texts are stored as typed, blanks
// included, and deleting an entry only marks it until CompactStore runs.
class AddressStore
{
public:
    static constexpr char StoreFileName[] = "Krxdata20.data";
    static constexpr char TempFileName[] = "KRXDATA20.TMP";

    AddressStore();

    // Deals with a compaction that was interrupted, then creates an empty book
    // when there is none. For the first load of the windows that use it.
    [[nodiscard]] common::StoreStatus createIfMissing();

    // The number of entries; 0 with lastStatus() set when the book cannot be examined.
    [[nodiscard]] int CountAddressRecords();

    // Fills CurrentAddressRecord with name and address, untrimmed (live 1), and
    // writes it as entry n. Numbers past 32767 are refused; a failed write
    // leaves the book as it was.
    [[nodiscard]] common::StoreStatus PutAddressRecord(int n, const QString &name, const QString &address,
                                                       common::Flush flush = common::Flush::No);

    // PutAddressRecord at CountAddressRecords() + 1, refused when the book
    // cannot be counted, so that a failed count never overwrites entry 1.
    [[nodiscard]] common::StoreStatus appendAddressRecord(const QString &name, const QString &address,
                                                          common::Flush flush = common::Flush::No);

    // Reads entry n into CurrentAddressRecord. PastEnd when there is no whole
    // entry n; the buffer is then left as it was.
    [[nodiscard]] common::RecordRead GetAddressRecord(int n);

    // Every entry in order, with one open of the file. Leaves the last entry
    // in CurrentAddressRecord, as reading every entry in turn would.
    [[nodiscard]] QList<AddressRecord> readAllAddressRecords();

    // Marks entry n deleted (also in CurrentAddressRecord); CompactStore removes it.
    [[nodiscard]] common::StoreStatus DeleteAddressRecord(int n);
    // Removes every entry marked deleted, keeping the order of the others.
    // CurrentAddressRecord ends holding the book's last entry as it was before.
    [[nodiscard]] common::StoreStatus CompactStore();

    [[nodiscard]] const common::StoreStatus &lastStatus() const { return m_status; }
    [[nodiscard]] common::Leftover lastLeftover() const { return m_file.lastLeftover(); }
    [[nodiscard]] QString setAsidePath() const { return m_file.setAsidePath(); }

private:
    common::StoreStatus done(const common::StoreStatus &status);

    common::RecordFile m_file;
    common::StoreStatus m_status;
};

} // namespace addressbook
