#include "device/field_checks.h"

#include <string>

namespace camfleet {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool CheckNumberField(std::string_view text, long long minValue, long long maxValue) {
    if (text.empty() || text.size() > 64 || maxValue < 0 || minValue > maxValue) {
        return false;  // a digits-only text is never negative
    }
    long long value = 0;
    bool tooLarge = false;
    for (const char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
        if (!tooLarge) {
            const int digit = c - '0';
            if (value > (maxValue - digit) / 10) {
                tooLarge = true;  // keep scanning: a later non-digit still refuses the text
            } else {
                value = value * 10 + digit;
            }
        }
    }
    return !tooLarge && value >= minValue && value <= maxValue;
}

bool CheckDottedAddress(std::string_view text) {
    int fields = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        const std::string_view field = text.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (field.empty() || field.size() > 3 || (field.size() > 1 && field[0] == '0')) {
            return false;
        }
        int value = 0;
        for (const char c : field) {
            if (!IsDigit(c)) {
                return false;
            }
            value = value * 10 + (c - '0');
        }
        if (value > 255 || ++fields > 4) {
            return false;
        }
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    return fields == 4;
}

bool CheckHostName(std::string_view text) {
    std::string name(text);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    if (name.empty() || name.size() >= 64 || name.front() == '-' || name.back() == '-' ||
        name.back() == '.') {
        return false;
    }
    for (const char c : name) {
        if (!IsDigit(c) && !(c >= 'a' && c <= 'z') && c != '-' && c != '.') {
            return false;
        }
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    const std::string_view suffix = std::string_view(name).substr(dot + 1);
    if (suffix.size() < 2 || suffix.size() > 3) {
        return false;
    }
    for (const char c : suffix) {
        if (IsDigit(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace camfleet
