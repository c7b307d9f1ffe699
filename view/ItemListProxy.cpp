// Filter and sort of the item list.
#include "view/ItemListProxy.h"

#include "view/ItemListModel.h"

namespace tolvane {

ItemListProxy::ItemListProxy(ItemListModel* model, QObject* parent)
    : QSortFilterProxyModel(parent)
    , model_(model)
{
    setSourceModel(model);
    setSortRole(ItemListModel::SortRole);
    // Rows the scan adds while a column is sorted go to their place.
    setDynamicSortFilter(true);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(this, signal, this, &ItemListProxy::countsChanged);
    connect(this, &QAbstractItemModel::modelReset, this, &ItemListProxy::countsChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &ItemListProxy::countsChanged);
    // Rows the filter hides still count in the total.
    connect(model, &QAbstractItemModel::rowsInserted, this, &ItemListProxy::countsChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ItemListProxy::countsChanged);
}

int ItemListProxy::totalRows() const
{
    return model_->rowCount();
}

void ItemListProxy::SetFilterText(const QString& text)
{
    const QString needle = text.trimmed().toCaseFolded();
    if (needle == needle_)
        return;
    needle_ = needle;
    invalidateRowsFilter();
    emit countsChanged();
}

bool ItemListProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (needle_.isEmpty() || sourceParent.isValid())
        return true;
    return model_->searchTextAt(sourceRow).contains(needle_);
}

bool ItemListProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const QVariant a = left.data(ItemListModel::SortRole);
    const QVariant b = right.data(ItemListModel::SortRole);
    if (a.typeId() == QMetaType::LongLong && b.typeId() == QMetaType::LongLong)
        return a.toLongLong() < b.toLongLong();
    // Texts regardless of case, in the user's language's order where it has one.
    return QString::localeAwareCompare(a.toString().toCaseFolded(), b.toString().toCaseFolded()) < 0;
}

}  // namespace tolvane
