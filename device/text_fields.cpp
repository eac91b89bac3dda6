// Fixed-field copies, attribute escaping and hex text.
#include <algorithm>
#include <climits>
#include <cstring>

#include "device/xml_messages.h"

namespace camfleet {

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 0;
}

}  // namespace

void CopyField(char* dst, std::size_t size, std::string_view src) {
    if (dst == nullptr || size == 0) {
        return;
    }
    const std::size_t n = std::min(src.size(), size - 1);
    if (n > 0) {
        std::memcpy(dst, src.data(), n);
    }
    dst[n] = '\0';
}

std::string EscapeAttribute(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "&quot;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
                break;
        }
    }
    return out;
}

std::string HexEncode(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0f];
    }
    return out;
}

std::string HexDecode(std::string_view hex) {
    std::string out;
    out.reserve((hex.size() + 1) / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = i + 1 < hex.size() ? HexDigitValue(hex[i + 1]) : 0;
        out += static_cast<char>((high << 4) | low);
    }
    return out;
}

}  // namespace camfleet
