#include "device/sdk/sdk_event_records.h"

#include "device/codes.h"
#include "device/sdk/qv_netsdk_ipc.h"

namespace camfleet {

std::size_t FixedEventRecordSize(int type) {
    switch (type) {
        case kEventAlarm:
            return sizeof(QV_ALARM_INFO);
        case kEventCustomModel:
            return 536;
        case kEventRecord25:
            return 276;
        case kEventMediaInfo:
            return 1360;
        default:
            return 0;
    }
}

}  // namespace camfleet
