#include "operations/device_restore.h"

#include <cstring>

#include "device/sdk/qv_netsdk_ipc.h"
#include "resources/log.h"

namespace camfleet {

namespace {

// The record's SDK session reaches the camera of its discovery answer.
bool SdkSessionIsThisCamera(const DeviceRecord& record) {
    return record.loggedIn != 0 && record.loginHandle > 0 && record.sdkSerialNumber[0] != '\0' &&
           std::strncmp(record.sdkSerialNumber, record.answer.serialNumber,
                        sizeof record.sdkSerialNumber) == 0;
}

}  // namespace

int RestoreDevice(DeviceTable& table, const char* serial, const DeviceRecord* record) {
    if (record != nullptr && SdkSessionIsThisCamera(*record)) {
        const int result = QV_NETSDK_IPC_RestoreConfig(record->loginHandle);
        if (result != QV_OK)
            LogMessage("restore IPC %s failed. error = %ld\n", serial, long{result});
    }
    const int result = table.RestoreDevice(serial);
    if (result != kTableOk)
        LogMessage("restore IPC %s failed. error = %ld\n", serial, long{result});
    return result;
}

}  // namespace camfleet
