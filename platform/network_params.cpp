#include "platform/network_params.h"

#include <cstdio>

namespace camfleet {

std::string DottedAddress(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

bool ParseDottedAddress(const std::string& text, uint32_t* address) {
    uint32_t value = 0;
    int fields = 0;
    std::size_t i = 0;
    while (fields < 4) {
        std::size_t digits = 0;
        uint32_t field = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            field = field * 10 + static_cast<uint32_t>(text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3 || field > 255)
            return false;
        value = (value << 8) | field;
        if (++fields < 4) {
            if (i >= text.size() || text[i] != '.')
                return false;
            ++i;
        }
    }
    if (i != text.size())
        return false;
    *address = value;
    return true;
}

}  // namespace camfleet
