#pragma once
// Factory restore of a listed camera. A camera that is logged in and whose serial number as
// reported through the device SDK is the serial number of its discovery answer is first told
// to restore through its SDK session (the surer way: the session is known to reach this very
// camera); every camera then gets the factory-restore datagram three times, which reaches it
// by serial number even when its address is outside the PC's subnet.
//
// Thread: the list's (UI) thread.

#include "devicelist/device_record.h"
#include "discovery/device_table.h"

namespace camfleet {

// Restores the camera of `serial`; `record` is its row's record or null. Returns the
// datagram's result (0, -3, -4; -1 when the serial is not in the device table). A failed SDK
// call is logged as "restore IPC %s failed. error = %ld" and the datagram is sent all the
// same.
int RestoreDevice(DeviceTable& table, const char* serial, const DeviceRecord* record);

}  // namespace camfleet
