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

bool DeviceSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    return CompareCells(left.data(Qt::DisplayRole).toString(),
                        right.data(Qt::DisplayRole).toString()) < 0;
}

}  // namespace camfleet
