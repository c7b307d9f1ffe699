// Item list model.
#include "view/ItemListModel.h"

namespace tolvane {

ItemListModel::ItemListModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int ItemListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ItemListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QString ItemListModel::cellText(int row, int column) const
{
    if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0)
        return QString();
    const QStringList& cells = rows_[static_cast<std::size_t>(row)].cells;
    return column < cells.size() ? cells.at(column) : QString();
}

std::optional<ItemRef> ItemListModel::itemAt(int row) const
{
    const QVariant item = index(row, column::kNumber).data(ItemRole);
    if (!item.canConvert<ItemRef>())
        return std::nullopt;
    return item.value<ItemRef>();
}

const QString& ItemListModel::searchTextAt(int row) const
{
    static const QString none;
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return none;
    return rows_[static_cast<std::size_t>(row)].searchText;
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() >= columns_.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const QString text = cellText(index.row(), index.column());
        if (role == Qt::ToolTipRole && text.isEmpty())
            return {};
        return text;
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue<int>(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == SortRole && index.row() < static_cast<int>(rows_.size())) {
        const ListRow& row = rows_[static_cast<std::size_t>(index.row())];
        if (index.column() < row.sortValues.size() && row.sortValues.at(index.column()) != kSortsByText)
            return row.sortValues.at(index.column());
        return cellText(index.row(), index.column());
    }
    if (role == ItemRole && index.row() < static_cast<int>(rows_.size()))
        return QVariant::fromValue(rows_[static_cast<std::size_t>(index.row())].item);
    return {};
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size())
        return {};
    if (role == Qt::DisplayRole)
        return columns_.at(section).heading;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue<int>(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void ItemListModel::SetColumns(const ColumnSet& columns)
{
    beginResetModel();
    columns_ = columns;
    rows_.clear();
    endResetModel();
    emit columnsReplaced();
}

void ItemListModel::DeleteAllRows()
{
    if (rows_.empty())
        return;
    beginRemoveRows({}, 0, static_cast<int>(rows_.size()) - 1);
    rows_.clear();
    endRemoveRows();
}

void ItemListModel::InsertRowsOnTop(const std::vector<ListRow>& rows)
{
    if (rows.empty())
        return;
    beginInsertRows({}, 0, static_cast<int>(rows.size()) - 1);
    for (const ListRow& row : rows)
        rows_.push_front(row);
    endInsertRows();
}

void ItemListModel::AppendRows(const std::vector<ListRow>& rows)
{
    if (rows.empty())
        return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    rows_.insert(rows_.end(), rows.begin(), rows.end());
    endInsertRows();
}

}  // namespace tolvane
