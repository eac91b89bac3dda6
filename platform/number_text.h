#pragma once
// Numbers read from untrusted text (camera documents, settings, configuration files).

#include <string_view>

namespace camfleet {

// The C library's text-to-int rule (atoi): leading white space, an optional sign, then
// decimal digits up to the first other character; no digits gives 0. Out-of-range values
// saturate at the type's limits instead of being undefined.
int TextToInt(std::string_view text);
long long TextToInt64(std::string_view text);
inline int TextToInt(const char* text) {
    return text ? TextToInt(std::string_view(text)) : 0;
}

}  // namespace camfleet
