#pragma once
// How cue numbers, times and counts are written and read in the cue list and the path
// properties sheet. C locale whatever the process locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cuetext {

// A row's number: rounded to a whole number ("%.0f"; 2.25 shows as 2).
std::string rowNumber(double number);
// A row's time: seconds with two decimals ("%.2f").
std::string rowTime(double seconds);
// The sheet's Number field: the shortest text that reads back to the same value, with a
// decimal point (1.0, 2.5).
std::string fieldNumber(double number);
// The sheet's Time field: one decimal ("%.1f").
std::string fieldTime(double seconds);

// The whole text as one floating-point number in C syntax: optional sign, decimal or
// hexadecimal digits, optional exponent. No blanks, nothing after it. Infinities and NaN
// are refused: no cue number or duration can be one.
std::optional<double> parseDouble(std::string_view text);
// An optional single sign, then ASCII digits only, within the signed 64-bit range.
std::optional<std::int64_t> parseInteger(std::string_view text);
// Trims spaces (every Unicode space separator, in UTF-8) and tabs at both ends; line breaks
// stay.
std::string_view trimBlanks(std::string_view text);

} // namespace cuetext
