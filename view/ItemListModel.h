// Table model behind the item list: a column set and rows of cell texts. The
// scan's rows go on top (newest first), a list fill's rows at the bottom.
// Window thread only; workers hand it whole batches.
#pragma once

#include "ItemListColumns.h"

#include <QAbstractTableModel>
#include <deque>

namespace tolvane {

class ItemListModel : public QAbstractTableModel {
    Q_OBJECT
public:
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

signals:
    // Widths changed with the column set; the view applies them.
    void columnsReplaced();

private:
    ColumnSet columns_;
    std::deque<ListRow> rows_;
};

}  // namespace tolvane
