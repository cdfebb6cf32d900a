#include "Sonavant/ui/NumberFieldText.h"

#include <charconv>
#include <cmath>

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// What is left for from_chars to read: blanks trimmed and one leading '+' dropped (which
// from_chars does not take); none when nothing is left or another sign follows the '+'.
std::optional<std::string_view> numberBody(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+'))
            return std::nullopt;
    }
    if (text.empty())
        return std::nullopt;
    return text;
}

} // namespace

std::optional<std::int64_t> parseWholeNumberField(std::string_view text) {
    const auto body = numberBody(text);
    if (!body)
        return std::nullopt;
    text = *body;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<double> parseDecimalNumberField(std::string_view text) {
    const auto body = numberBody(text);
    if (!body)
        return std::nullopt;
    text = *body;
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string decimalNumberFieldText(double value) {
    if (value == 0)
        return "0"; // also for -0
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc())
        return {};
    return std::string(buffer, end);
}
