#include "Sonavant/ui/CueText.h"

#include "platform/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>

namespace cuetext {

namespace {

std::string fixed(double value, int decimals) {
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buffer, end) : platform::numberText(value);
}

// UTF-8 of the Unicode space separators (category Zs) other than the ASCII blank.
constexpr std::array<std::string_view, 16> wideSpaces{
    "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005",
    "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u202F", "\u205F", "\u3000"};

std::size_t blankAtStart(std::string_view text) {
    if (text.empty())
        return 0;
    if (text.front() == ' ' || text.front() == '\t')
        return 1;
    for (auto space : wideSpaces)
        if (text.starts_with(space))
            return space.size();
    return 0;
}

std::size_t blankAtEnd(std::string_view text) {
    if (text.empty())
        return 0;
    if (text.back() == ' ' || text.back() == '\t')
        return 1;
    for (auto space : wideSpaces)
        if (text.ends_with(space))
            return space.size();
    return 0;
}

} // namespace

std::string rowNumber(double number) {
    return fixed(number, 0);
}

std::string rowTime(double seconds) {
    return fixed(seconds, 2);
}

std::string fieldNumber(double number) {
    return platform::numberText(number);
}

std::string fieldTime(double seconds) {
    return fixed(seconds, 1);
}

std::optional<double> parseDouble(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '+' || text.front() == '-')
        return std::nullopt;
    auto format = std::chars_format::general;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        format = std::chars_format::hex;
        if (text.front() == '+' || text.front() == '-')
            return std::nullopt;
    }
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, format);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9')
            return std::nullopt;
    // Read with the sign attached, so the most negative value is in range.
    std::string digits = (negative ? "-" : "") + std::string(text);
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

std::string_view trimBlanks(std::string_view text) {
    while (std::size_t n = blankAtStart(text))
        text.remove_prefix(n);
    while (std::size_t n = blankAtEnd(text))
        text.remove_suffix(n);
    return text;
}

} // namespace cuetext
