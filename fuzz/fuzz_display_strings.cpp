// Feeds arbitrary bytes to the strings-file reader and looks up a few keys.
#include <cstddef>
#include <cstdint>

#include "resources/display_strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const camfleet::DisplayStrings table =
        camfleet::DisplayStrings::FromStringsXml(reinterpret_cast<const char*>(data), size);
    for (const char* key : {"STARTSEARCH", "A", "", "Resources"}) {
        const QString text = table.Lookup(key);
        if (text.size() > camfleet::kMaxDisplayTextLength)
            __builtin_trap();
    }
    return 0;
}
