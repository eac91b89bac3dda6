#include "widgets/device_sort_proxy.h"

#include <QBrush>
#include <QColor>

#include "devicelist/device_list_model.h"

namespace camfleet {

DeviceSortProxy::DeviceSortProxy(QObject* parent) : QSortFilterProxyModel(parent) {
    // Sorting happens on a header click only; rows inserted later stay at the end.
    setDynamicSortFilter(false);
}

QVariant DeviceSortProxy::data(const QModelIndex& index, int role) const {
    QVariant value = QSortFilterProxyModel::data(index, role);
    if ((role == Qt::ForegroundRole || role == Qt::BackgroundRole) && value.isValid()) {
        const CellColor color = value.toUInt();
        if ((color >> 24) == 0)
            return {};
        return QBrush(QColor::fromRgba(color));
    }
    return value;
}

void DeviceSortProxy::sort(int column, Qt::SortOrder order) {
    const QAbstractItemModel* source = sourceModel();
    if (source != nullptr && column >= 0 && column < source->columnCount()) {
        // No column is filtered out: a proxy column is the source column of the same number.
        const int rows = source->rowCount();
        sortKeys_.reserve(static_cast<std::size_t>(rows));
        for (int row = 0; row < rows; ++row)
            sortKeys_.emplace_back(source->index(row, column).data(Qt::DisplayRole).toString());
        sortKeyColumn_ = column;
    }
    QSortFilterProxyModel::sort(column, order);
    sortKeys_.clear();
    sortKeys_.shrink_to_fit();
    sortKeyColumn_ = -1;
}

bool DeviceSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const auto cached = [this](const QModelIndex& i) {
        return i.column() == sortKeyColumn_ && i.row() >= 0 &&
               static_cast<std::size_t>(i.row()) < sortKeys_.size();
    };
    if (cached(left) && cached(right))
        return CompareSortKeys(sortKeys_[static_cast<std::size_t>(left.row())],
                               sortKeys_[static_cast<std::size_t>(right.row())]) < 0;
    return CompareCells(left.data(Qt::DisplayRole).toString(),
                        right.data(Qt::DisplayRole).toString()) < 0;
}

}  // namespace camfleet
