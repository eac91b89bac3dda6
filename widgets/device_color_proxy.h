#pragma once
// Passes the core's device model to the list view row for row, turning the model's cell
// colours (0xAARRGGBB values; alpha 0 = the view's default) into brushes. It never reorders:
// the order on screen is the model's own order, which a header click changes in the model
// itself, so batch operations walking the model visit rows in the order the user sees.
//
// UI thread only.

#include <QIdentityProxyModel>

namespace camfleet {

class DeviceColorProxy : public QIdentityProxyModel {
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override;
};

}  // namespace camfleet
