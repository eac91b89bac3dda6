#pragma once
// Code-page conversions of texts exchanged with cameras. Inside the tool device texts are
// GB2312 (code page 936); on the wire they are UTF-8 where a conversion is stated; under
// the Traditional Chinese locale they are shown as Big5 (code page 950). Every conversion
// goes through UTF-16, as the Windows code-page functions do. The code-page backend is
// platform specific (glibc iconv here); the rules on top of it are not. All functions may
// be called from any thread.

#include <string>
#include <string_view>

namespace camfleet {

enum class CodePage : unsigned {
    kGb2312 = 936,  // the GBK superset Windows calls 936
    kBig5 = 950,
    kUtf8 = 65001,
};

// Windows locale id of Traditional Chinese (Taiwan).
inline constexpr unsigned kLocaleTraditionalChinese = 1028;

// How a conversion treats input it cannot decode or characters the target cannot hold.
enum class ConvertMode {
    kStrict,   // fail
    kReplace,  // undecodable input becomes U+FFFD, unmappable characters become '?'
};

// Backend: converts `in` from `from` to `to` through UTF-16. Returns false on failure
// (kStrict: any undecodable or unmappable character; kReplace: only when the backend
// itself is unavailable). `out` is cleared first.
bool ConvertCodePage(std::string_view in, CodePage from, CodePage to, ConvertMode mode,
                     std::string* out);

// Lenient conversions used for display: never fail, replace what cannot be carried.
std::string Gb2312ToUtf8(std::string_view text);
std::string Utf8ToGb2312(std::string_view text);
std::string Gb2312ToBig5(std::string_view text);
std::string Big5ToGb2312(std::string_view text);

// A device text (UTF-8) as the tool shows it: GB2312, then Big5 when `localeId` is
// kLocaleTraditionalChinese. `localeId` is the system default locale (passed in so the
// rule does not depend on the machine it runs on).
std::string DeviceTextForDisplay(std::string_view utf8, unsigned localeId);
// The reverse, for text that goes to a device: Big5 → GB2312 under the Traditional Chinese
// locale, then GB2312 → UTF-8.
std::string DisplayTextForDevice(std::string_view text, unsigned localeId);

inline constexpr const char kInvalidUtf8Error[] = "Invalid UTF-8 sequence.";
inline constexpr const char kConversionError[] = "Error in conversion.";

// UTF-8 → the system's OEM code page, through UTF-16. On Linux the OEM code page is UTF-8,
// so the text is validated (strictly: no overlong forms, surrogates or values above
// U+10FFFF) and copied. A zero byte is an ordinary character. On failure returns false,
// leaves `out` empty and points `error` at kInvalidUtf8Error or kConversionError (this
// takes the place of an exception: callers test the result instead of catching).
bool Utf8ToOemCodePage(std::string_view utf8, std::string* out, const char** error);

// True when `text` is well-formed UTF-8 in the strict sense above.
bool IsValidUtf8(std::string_view text);
// Decodes the well-formed UTF-8 sequence at text[i] into `cp` (strictly: no overlong forms,
// surrogates or values above U+10FFFF). Returns its length, 0 when none starts there.
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t* cp);

}  // namespace camfleet
