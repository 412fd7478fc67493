#pragma once

// The address book written and read back byte for byte, for the tests of the
// windows that use it.

#include "addressbook/AddressStore.h"
#include "support/TempProgramFolder.h"

#include <QList>
#include <QPair>

namespace testsupport {

using Entry = QPair<QString, QString>; // name, address

// Writes the address book through the store, entry 1 first.
inline void writeBook(const QList<Entry> &entries)
{
    addressbook::AddressStore store;
    if (!store.createIfMissing())
        qFatal("cannot create the address book");
    for (int i = 0; i < entries.size(); ++i)
        if (!store.PutAddressRecord(i + 1, entries.at(i).first, entries.at(i).second))
            qFatal("cannot write the address book");
}

// The bytes the book should hold for these entries (all live).
inline QByteArray bookBytes(const QList<Entry> &entries)
{
    QByteArray out;
    for (const Entry &e : entries) {
        addressbook::AddressRecord r;
        r.name = e.first.leftJustified(addressbook::AddressRecord::NameWidth, QLatin1Char(' '), true);
        r.address = e.second.leftJustified(addressbook::AddressRecord::AddressWidth, QLatin1Char(' '), true);
        r.lineEnd = QStringLiteral("\r\n");
        r.live = 1;
        out += r.toBytes();
    }
    return out;
}

inline QByteArray bookFile(const TempProgramFolder &folder)
{
    return folder.readDataFile(QString::fromLatin1(addressbook::AddressStore::StoreFileName));
}

} // namespace testsupport
