#pragma once
// Small text helpers of the codec: OSC address splitting, trimming, the ASCII test and
// strict decimal parsing of integers.

#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace osccore {

// The parts of an address: one leading and one trailing "/" removed, then split at every
// "/" keeping empty parts. "/a//b" gives a, "", b; "/", "//" and "" give none.
std::vector<std::string_view> addressComponents(std::string_view address);

// Without leading and trailing white space and line breaks (Unicode's set).
std::string_view trimmed(std::string_view text);

// Every character ASCII (CR LF included); true for the empty text.
bool isASCII(std::string_view text);

// Decimal text to an integer: an optional "+" or "-" and one or more digits, nothing else
// (no blanks). Nothing when the value does not fit; "-0" is accepted for unsigned types.
template <std::integral T> std::optional<T> integerValue(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    if (!negative) {
        if (magnitude > static_cast<std::uint64_t>(std::numeric_limits<T>::max()))
            return std::nullopt;
        return static_cast<T>(magnitude);
    }
    if (magnitude == 0)
        return T(0);
    if constexpr (std::is_unsigned_v<T>) {
        return std::nullopt;
    } else {
        // The magnitude of the minimum is max + 1.
        if (magnitude - 1 > static_cast<std::uint64_t>(std::numeric_limits<T>::max()))
            return std::nullopt;
        return static_cast<T>(-static_cast<T>(magnitude - 1) - 1);
    }
}

} // namespace osccore
