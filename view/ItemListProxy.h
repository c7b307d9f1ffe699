// What the item list shows of its model: the rows whose subject, sender or
// recipients hold the filter's words, sorted by the column the user chose
// (dates and sizes by their value). The model keeps the rows in the order
// the scan and the list fill give them; this only changes the view of them.
#pragma once

#include <QSortFilterProxyModel>

namespace tolvane {

class ItemListModel;

class ItemListProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit ItemListProxy(ItemListModel* model, QObject* parent = nullptr);

    // Narrows the rows to those holding `text` (case-insensitive); empty shows all.
    void SetFilterText(const QString& text);
    QString filterText() const { return needle_; }

    // Rows shown and rows in the model.
    int shownRows() const { return rowCount(); }
    int totalRows() const;

signals:
    // The shown or the total count may have changed.
    void countsChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    ItemListModel* model_;
    QString needle_;  // case-folded
};

}  // namespace tolvane
