#include "platform/NumberText.h"

#include <charconv>
#include <cmath>

namespace platform {

namespace {

template <class F> std::string shortest(F value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[64];
    // Fixed notation between 1e-4 and 1e16, scientific outside.
    const F magnitude = std::fabs(value);
    const bool scientific = magnitude != 0 && (magnitude < F(1e-4) || magnitude >= F(1e16));
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      scientific ? std::chars_format::scientific : std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    if (!scientific && text.find('.') == std::string::npos)
        text += ".0";
    return text;
}

} // namespace

std::string numberText(double value) {
    return shortest(value);
}
std::string numberText(float value) {
    return shortest(value);
}

std::optional<double> positiveNumber(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc() && end == text.data() + text.size() && std::isfinite(value) && value > 0)
        return value;
    return std::nullopt;
}

} // namespace platform
