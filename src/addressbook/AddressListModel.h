#pragma once

#include "addressbook/AddressRecord.h"
#include "common/StoreStatus.h"

#include <QAbstractTableModel>
#include <QList>

namespace addressbook {

class AddressStore;

// The address book as the windows list it: row k shows entry k + 1 of the
// book, with the address in the first column and the name in the second,
// both with their stored trailing blanks. The address book window shows both
// columns; the composer lists the names alone.
class AddressListModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { AddressColumn = 0, NameColumn = 1 };

    explicit AddressListModel(QObject *parent = nullptr);

    // Rereads the whole book in one pass and lists what was read; the read's
    // status. A book that cannot be read lists what came before the failure.
    [[nodiscard]] common::StoreStatus reload(AddressStore &store);

    // The number of the book's entry that index shows, or 0 for no entry.
    [[nodiscard]] int recordNumber(const QModelIndex &index) const;

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<AddressRecord> m_records;
};

} // namespace addressbook
