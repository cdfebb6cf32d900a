#pragma once
// What the sheets' number fields show and accept. Text that is not a number is refused (the
// record stays as it was), whatever the process locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// An optional sign and decimal digits, blanks around allowed; none for anything else or a
// number beyond the 64-bit range.
std::optional<std::int64_t> parseWholeNumberField(std::string_view text);
// A finite decimal number ("72.5", "-3", "1e2"), blanks around allowed.
std::optional<double> parseDecimalNumberField(std::string_view text);
// The shortest text that reads back to the number; whole numbers without a fraction ("70").
std::string decimalNumberFieldText(double value);
