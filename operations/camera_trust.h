#pragma once
// Accepting a replaced camera: the key pinned for its serial number is forgotten and the
// camera is logged in again, so that the key it shows now is pinned at that login. The
// window's context item and `camfleet-cli trust` do this.
//
// Thread: the list's (UI) thread.

#include "operations/device_list_sync.h"
#include "resources/known_cameras.h"

namespace camfleet {

// Trusts the camera of `row`: false (nothing changed) for a row out of range, or when the
// pin file could not be written. The state column shows "CAMERA_KEY_TRUSTED" until the new
// login reports.
bool TrustCameraOfRow(DeviceListModel& model, DeviceListSync& sync, KnownCameras& known, int row);

}  // namespace camfleet
