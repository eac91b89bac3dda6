#include "widgets/device_color_proxy.h"

#include <QBrush>
#include <QColor>

#include "devicelist/device_list_model.h"

namespace camfleet {

QVariant DeviceColorProxy::data(const QModelIndex& index, int role) const {
    QVariant value = QIdentityProxyModel::data(index, role);
    if ((role == Qt::ForegroundRole || role == Qt::BackgroundRole) && value.isValid()) {
        const CellColor color = value.toUInt();
        if ((color >> 24) == 0)
            return {};
        return QBrush(QColor::fromRgba(color));
    }
    return value;
}

}  // namespace camfleet
