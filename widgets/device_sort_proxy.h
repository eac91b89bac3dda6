#pragma once
// Sorting layer between the core's device model and the list view. Cells are compared by
// their display texts with the core's typed comparison (CompareCells); rows that arrive
// while the list is sorted are appended at the end instead of being sorted in (the sort does
// not survive new rows). The model's cell colours (0xAARRGGBB values) become brushes here.

#include <QSortFilterProxyModel>

namespace camfleet {

class DeviceSortProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit DeviceSortProxy(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role) const override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

}  // namespace camfleet
