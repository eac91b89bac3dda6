#include "platform/number_text.h"

#include <climits>

namespace camfleet {
namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoi-style scan saturating at [minValue, maxValue].
long long ScanDecimal(std::string_view text, long long minValue, long long maxValue) {
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate towards the sign so that the most negative value is reachable.
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (negative) {
            if (value < (minValue + digit) / 10) {
                return minValue;
            }
            value = value * 10 - digit;
            if (value < minValue) {
                return minValue;
            }
        } else {
            if (value > (maxValue - digit) / 10) {
                return maxValue;
            }
            value = value * 10 + digit;
        }
    }
    return value;
}

}  // namespace

int TextToInt(std::string_view text) {
    return static_cast<int>(ScanDecimal(text, INT_MIN, INT_MAX));
}

long long TextToInt64(std::string_view text) {
    return ScanDecimal(text, LLONG_MIN, LLONG_MAX);
}

}  // namespace camfleet
