#pragma once
// Sorting layer between the core's device model and the list view. Cells are compared by
// their display texts with the core's typed comparison (cell_sort_key.h); rows that arrive
// while the list is sorted are appended at the end instead of being sorted in (the sort does
// not survive new rows). The model's cell colours (0xAARRGGBB values) become brushes here.
//
// UI thread only.

#include <QSortFilterProxyModel>

#include <vector>

#include "devicelist/cell_sort_key.h"

namespace camfleet {

class DeviceSortProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit DeviceSortProxy(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role) const override;
    // Reads every cell of `column` once into a key per source row, sorts by the keys and
    // drops them again. Column -1 restores the source model's order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    // By the keys during sort(); by the cells' texts for any other comparison.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    std::vector<CellSortKey> sortKeys_;  // by source row, only within sort()
    int sortKeyColumn_ = -1;             // source column of sortKeys_
};

}  // namespace camfleet
