#include "viewer/MailListModel.h"

#include "common/TextHelpers.h"

namespace viewer {

void MailListModel::setEntries(QList<receive::MailListEntry> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

void MailListModel::clear()
{
    setEntries({});
}

QString MailListModel::cellText(int row, int column) const
{
    if (row < 0 || row >= m_entries.size())
        return {};
    const receive::MailListEntry &entry = m_entries.at(row);
    switch (column) {
    case SubjectColumn: return common::CutAtNul(entry.subject);
    case FromColumn: return common::CutAtNul(entry.from);
    case DateColumn: return common::CutAtNul(entry.date);
    default: return {};
    }
}

int MailListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int MailListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MailListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (role == Qt::ToolTipRole)
        return common::trimBlanks(cellText(index.row(), index.column()));
    return cellText(index.row(), index.column());
}

QVariant MailListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case SubjectColumn: return QStringLiteral("Subject");
    case FromColumn: return QStringLiteral("From");
    case DateColumn: return QStringLiteral("Date");
    default: return {};
    }
}

} // namespace viewer
