#pragma once
// A request frame marked as the SDK marks it: commands for session and system-control codes,
// reads for an empty document request, writes otherwise.

#include <string>

#include "device/codes.h"
#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"

namespace camfleet::testing {

inline sdk::Frame MarkedRequest(uint32_t code, std::string payload) {
    sdk::Frame f;
    f.code = code;
    f.sequence = 1;
    const bool command = code >= sdk::kCodeHello || IsSystemControlCode(static_cast<int>(code));
    f.param = sdk::RequestParam(command           ? sdk::Access::kCommand
                                : payload.empty() ? sdk::Access::kRead
                                                  : sdk::Access::kWrite);
    f.payload = std::move(payload);
    return f;
}

}  // namespace camfleet::testing
