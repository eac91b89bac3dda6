// Conversion rules on top of the code-page backend.
#include "device/text_convert.h"

namespace camfleet {

namespace {

std::string Lenient(std::string_view text, CodePage from, CodePage to) {
    std::string out;
    ConvertCodePage(text, from, to, ConvertMode::kReplace, &out);
    return out;
}

}  // namespace

std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t* cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        *cp = b0;
        return 1;
    }
    std::size_t length = 0;
    // The bounds of the second byte rule out overlong forms, surrogates and values above
    // U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        low = b0 == 0xE0 ? 0xA0 : 0x80;
        high = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        low = b0 == 0xF0 ? 0x90 : 0x80;
        high = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - i < length) {
        return 0;
    }
    char32_t value = b0 & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) {
            return 0;
        }
        value = (value << 6) | (b & 0x3F);
    }
    *cp = value;
    return length;
}

std::string Gb2312ToUtf8(std::string_view text) {
    return Lenient(text, CodePage::kGb2312, CodePage::kUtf8);
}

std::string Utf8ToGb2312(std::string_view text) {
    return Lenient(text, CodePage::kUtf8, CodePage::kGb2312);
}

std::string Gb2312ToBig5(std::string_view text) {
    return Lenient(text, CodePage::kGb2312, CodePage::kBig5);
}

std::string Big5ToGb2312(std::string_view text) {
    return Lenient(text, CodePage::kBig5, CodePage::kGb2312);
}

std::string DeviceTextForDisplay(std::string_view utf8, unsigned localeId) {
    std::string gb = Utf8ToGb2312(utf8);
    return localeId == kLocaleTraditionalChinese ? Gb2312ToBig5(gb) : gb;
}

std::string DisplayTextForDevice(std::string_view text, unsigned localeId) {
    if (localeId == kLocaleTraditionalChinese) {
        return Gb2312ToUtf8(Big5ToGb2312(text));
    }
    return Gb2312ToUtf8(text);
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t n = DecodeUtf8(text, i, &cp);
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

bool Utf8ToOemCodePage(std::string_view utf8, std::string* out, const char** error) {
    out->clear();
    if (!IsValidUtf8(utf8)) {
        *error = kInvalidUtf8Error;
        return false;
    }
    // The OEM code page of this platform is UTF-8 itself; the backend still carries the
    // text through UTF-16 so that a failing backend is reported, not hidden.
    if (!ConvertCodePage(utf8, CodePage::kUtf8, CodePage::kUtf8, ConvertMode::kStrict, out)) {
        out->clear();
        *error = kConversionError;
        return false;
    }
    return true;
}

}  // namespace camfleet
