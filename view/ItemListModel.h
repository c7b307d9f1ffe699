// Table model behind the item list: a column set and rows of cell texts. The
// scan's rows go on top (newest first), a list fill's rows at the bottom.
// Every cell of a row answers ItemRole with the row's record (an ItemRef)
// and SortRole with what it sorts by.
// Window thread only; workers hand it whole batches.
#pragma once

#include "view/ItemListColumns.h"

#include <QAbstractTableModel>
#include <deque>
#include <optional>

namespace tolvane {

class ItemListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The record a row shows, in every column.
    static constexpr int ItemRole = Qt::UserRole + 1;
    // What a column sorts by: a date's or size's value (a number), else the text.
    static constexpr int SortRole = Qt::UserRole + 2;

    explicit ItemListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const ColumnSet& columns() const { return columns_; }
    void SetColumns(const ColumnSet& columns);
    void DeleteAllRows();
    // Rows given oldest first; they end up newest first on top of the list.
    void InsertRowsOnTop(const std::vector<ListRow>& rows);
    void AppendRows(const std::vector<ListRow>& rows);

    QString cellText(int row, int column) const;
    // The record of a row: ItemRole of the row, none outside the list.
    std::optional<ItemRef> itemAt(int row) const;
    // The case-folded words a filter looks in (ListRow::searchText).
    const QString& searchTextAt(int row) const;

signals:
    // Widths changed with the column set; the view applies them.
    void columnsReplaced();

private:
    ColumnSet columns_;
    std::deque<ListRow> rows_;
};

}  // namespace tolvane
