// libFuzzer target: one received datagram through the answer path of the search thread —
// answer check, parse, cut, device-type filter and store in the device table.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "discovery/device_table.h"
#include "discovery/search_answer_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static camfleet::DeviceTable table;
    const char* text = reinterpret_cast<const char*>(data);
    if (camfleet::IsSearchAnswerMessage(std::string_view(text, size)))
        camfleet::HandleSearchAnswer(table, text, static_cast<long>(size), "127.0.0.1");
    // Also straight into the handler, as a caller that skipped the header check would.
    camfleet::HandleSearchAnswer(table, text, static_cast<long>(size), "0.0.0.0");
    if (table.Count() > 1000)
        table.ClearDevices();
    return 0;
}
