#pragma once
// Numbers as the system writes them in its console lines and value texts: the shortest text
// that reads back to the same number, always with a decimal point or exponent for floats
// (3 is "3.0", 2.5 is "2.5", 1e-05, 1e+16, inf, nan). C locale, whatever the process locale.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::string numberText(double value);
std::string numberText(float value);
// The whole text as a finite number above zero (a setting in seconds, say); none otherwise.
std::optional<double> positiveNumber(std::string_view text);

} // namespace platform
