#pragma once
// Printing into a text of bounded length, the way the camera documents are built: a
// document either fits its buffer whole or is not produced at all, so a camera never
// receives one cut in the middle of an element.

#include <cstddef>
#include <string>

namespace camfleet {

class BoundedText {
public:
    // `bufferSize` counts the terminating zero of the fixed buffer the text stands for:
    // at most bufferSize - 1 characters are accepted.
    explicit BoundedText(std::size_t bufferSize) : limit_(bufferSize > 0 ? bufferSize - 1 : 0) {}

    // Appends printf-formatted text; once the limit is passed the text is marked overflowed.
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Append(const std::string& text);

    // The text, or an empty text (logging "<what> not built: ...") when it overflowed.
    std::string Finish(const char* what);

private:
    std::string text_;
    std::size_t limit_;
    bool overflowed_ = false;
};

// printf into a std::string of any length.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace camfleet
