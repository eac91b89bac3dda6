// Code-page backend on glibc iconv. A Windows build supplies its own ConvertCodePage on
// MultiByteToWideChar / WideCharToMultiByte instead of this file.
#if !defined(_WIN32)

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "device/text_convert.h"

namespace camfleet {

namespace {

const char* IconvName(CodePage page) {
    switch (page) {
        case CodePage::kGb2312:
            return "CP936";
        case CodePage::kBig5:
            return "CP950";
        case CodePage::kUtf8:
            return "UTF-8";
    }
    return "UTF-8";
}

// Owns one iconv descriptor.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) {
            iconv_close(cd_);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Converts one step. On a character it cannot decode (EILSEQ/EINVAL at the input) or
// cannot represent, `skip` is told how many input bytes to drop and what to emit;
// returns false when that callback refuses.
template <typename OnBad>
bool Run(const Iconv& cd, std::string_view in, std::string* out, OnBad onBad) {
    out->clear();
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::vector<char> buffer(4096);
    while (srcLeft > 0) {
        char* dst = buffer.data();
        std::size_t dstLeft = buffer.size();
        const std::size_t r = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
        out->append(buffer.data(), buffer.size() - dstLeft);
        if (r != static_cast<std::size_t>(-1)) {
            continue;
        }
        if (errno == E2BIG) {
            continue;
        }
        // EILSEQ or EINVAL: `src` points at the offending input.
        std::size_t drop = 0;
        if (!onBad(std::string_view(src, srcLeft), out, &drop) || drop == 0 || drop > srcLeft) {
            return false;
        }
        src += drop;
        srcLeft -= drop;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);  // reset the shift state
    }
    char* dst = buffer.data();
    std::size_t dstLeft = buffer.size();
    iconv(cd.get(), nullptr, nullptr, &dst, &dstLeft);
    out->append(buffer.data(), buffer.size() - dstLeft);
    return true;
}

constexpr char kUtf16Name[] = "UTF-16LE";

}  // namespace

bool ConvertCodePage(std::string_view in, CodePage from, CodePage to, ConvertMode mode,
                     std::string* out) {
    out->clear();
    Iconv decode(kUtf16Name, IconvName(from));
    Iconv encode(IconvName(to), kUtf16Name);
    if (!decode.ok() || !encode.ok()) {
        return false;
    }
    const bool replace = mode == ConvertMode::kReplace;
    std::string wide;
    // Undecodable input byte: one U+FFFD per byte.
    const bool decoded =
        Run(decode, in, &wide, [replace](std::string_view, std::string* o, std::size_t* drop) {
            if (!replace) {
                return false;
            }
            o->append("\xFD\xFF", 2);
            *drop = 1;
            return true;
        });
    if (!decoded) {
        return false;
    }
    // Character the target cannot hold: one '?' per UTF-16 code point.
    return Run(
        encode, wide, out, [replace](std::string_view rest, std::string* o, std::size_t* drop) {
            if (!replace || rest.size() < 2) {
                return false;
            }
            const auto unit = static_cast<uint16_t>(static_cast<unsigned char>(rest[0]) |
                                                    (static_cast<unsigned char>(rest[1]) << 8));
            const bool pair = unit >= 0xD800 && unit <= 0xDBFF && rest.size() >= 4;
            *drop = pair ? 4 : 2;
            o->push_back('?');
            return true;
        });
}

}  // namespace camfleet

#endif  // !_WIN32
