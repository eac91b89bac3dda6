#pragma once
// The fixed records some status events carry instead of a text: the one table of their sizes,
// for the SDK (which drops an event whose payload has another size) and for the receivers of
// its status hook (which copy the record whole).

#include <cstddef>

namespace camfleet {

// Size in bytes of the record status event `type` carries: 168 for 23 (QV_ALARM_INFO), 536
// for 24, 276 for 25, 1,360 for 30; 0 for every other type, whose data is a zero-terminated
// text.
std::size_t FixedEventRecordSize(int type);

}  // namespace camfleet
