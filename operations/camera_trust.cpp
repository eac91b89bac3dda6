#include "operations/camera_trust.h"

#include "resources/display_strings.h"

namespace camfleet {

bool TrustCameraOfRow(DeviceListModel& model, DeviceListSync& sync, KnownCameras& known, int row) {
    const DeviceRecord* record = model.Record(row);
    if (record == nullptr)
        return false;
    bool wasKnown = false;
    if (!known.Trust(record->key, &wasKnown))
        return false;
    model.SetStateKey(row, DisplayKey("CAMERA_KEY_TRUSTED"));
    sync.LogInAgain(row);
    return true;
}

}  // namespace camfleet
