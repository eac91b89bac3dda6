#include "device/bounded_text.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

#include "resources/log.h"

namespace camfleet {

namespace {

std::string VFormat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) {
        return {};
    }
    std::string out(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(needed));
    return out;
}

}  // namespace

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = VFormat(format, args);
    va_end(args);
    return out;
}

void BoundedText::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Append(VFormat(format, args));
    va_end(args);
}

void BoundedText::Append(const std::string& text) {
    if (overflowed_) {
        return;
    }
    if (text.size() > limit_ - text_.size()) {
        overflowed_ = true;
        text_.clear();
        return;
    }
    text_ += text;
}

std::string BoundedText::Finish(const char* what) {
    if (overflowed_) {
        LogMessage("%s not built: longer than %zu characters\n", what, limit_);
        return {};
    }
    return std::move(text_);
}

}  // namespace camfleet
