#pragma once
// Checks of operator input before it goes into a camera document.

#include <string_view>

namespace camfleet {

// Number field: 1 to 64 characters, decimal digits only (no sign, no blanks), value within
// [minValue, maxValue] inclusive. An empty text is refused.
bool CheckNumberField(std::string_view text, long long minValue, long long maxValue);

// Dotted address: exactly four fields separated by '.', each 0 to 255 in decimal digits.
// A field is "0" or has no leading zero (so "010" is refused: it would read as octal
// elsewhere); empty fields are refused.
bool CheckDottedAddress(std::string_view text);

// Host name, compared lower-cased: shorter than 64 characters, only 0-9, a-z, '-' and '.',
// not starting or ending with '-', not ending with '.', and the text after its last '.'
// is 2 or 3 characters long without digits.
bool CheckHostName(std::string_view text);

}  // namespace camfleet
