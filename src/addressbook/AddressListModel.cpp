#include "addressbook/AddressListModel.h"

#include "addressbook/AddressStore.h"

namespace addressbook {

AddressListModel::AddressListModel(QObject *parent) : QAbstractTableModel(parent) {}

common::StoreStatus AddressListModel::reload(AddressStore &store)
{
    QList<AddressRecord> records = store.readAllAddressRecords();
    beginResetModel();
    m_records = std::move(records);
    endResetModel();
    return store.lastStatus();
}

int AddressListModel::recordNumber(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.row() >= m_records.size())
        return 0;
    return index.row() + 1;
}

int AddressListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_records.size());
}

int AddressListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant AddressListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_records.size()
        || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return {};
    const AddressRecord &record = m_records.at(index.row());
    return index.column() == AddressColumn ? record.address : record.name;
}

QVariant AddressListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == AddressColumn ? QStringLiteral("Address") : QStringLiteral("Name");
}

} // namespace addressbook
