// An untrusted configuration file through the upload check and the default-configuration
// printer (no file is written).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool valid = camfleet::CheckConfigText(text);
    std::string printed;
    const bool made = camfleet::PrintDefaultConfig(text, &printed);
    if (made && (!valid || !camfleet::CheckConfigText(printed))) {
        __builtin_trap();  // a default configuration must come from, and be, a valid file
    }
    return 0;
}
