#pragma once

#include "receive/MailRecord.h"

#include <QAbstractTableModel>
#include <QList>

namespace viewer {

// The viewer's mail list: one row per record of the store in file order, so a
// row's position is its record number. Three columns, "Subject", "From" and
// "Date"; each cell holds its field up to the first NUL, blank padding kept.
class MailListModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { SubjectColumn, FromColumn, DateColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Replaces every row at once.
    void setEntries(QList<receive::MailListEntry> entries);
    void clear();
    [[nodiscard]] const QList<receive::MailListEntry> &entries() const { return m_entries; }
    // The text of one cell: the field cut at its first NUL.
    [[nodiscard]] QString cellText(int row, int column) const;

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;

private:
    QList<receive::MailListEntry> m_entries;
};

} // namespace viewer
