#include "device/sdk/sdk_event_records.h"

#include "device/sdk/qv_netsdk_ipc.h"

namespace camfleet {

std::size_t FixedEventRecordSize(int type) {
    switch (type) {
        case QV_EVENT_ALARM:
            return sizeof(QV_ALARM_INFO);
        case QV_EVENT_CUSTOM_MODEL:
            return 536;
        case QV_EVENT_RECORD_25:
            return 276;
        case QV_EVENT_MEDIA_INFO:
            return 1360;
        default:
            return 0;
    }
}

}  // namespace camfleet
