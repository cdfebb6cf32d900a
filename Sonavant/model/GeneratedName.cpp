#include "Sonavant/model/GeneratedName.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <vector>

namespace {

// Non-ASCII white space and line breaks (separators and NEL) in UTF-8.
constexpr std::array<std::string_view, 19> unicodeSpaces{
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
    "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
    "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
    "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};

std::size_t spaceAtStart(std::string_view s) {
    if (s.empty())
        return 0;
    if (s[0] == ' ' || (s[0] >= '\t' && s[0] <= '\r'))
        return 1;
    for (auto u : unicodeSpaces)
        if (s.starts_with(u))
            return u.size();
    return 0;
}

std::size_t spaceAtEnd(std::string_view s) {
    if (s.empty())
        return 0;
    char c = s.back();
    if (c == ' ' || (c >= '\t' && c <= '\r'))
        return 1;
    for (auto u : unicodeSpaces)
        if (s.ends_with(u))
            return u.size();
    return 0;
}

std::string_view trimmed(std::string_view s) {
    while (auto n = spaceAtStart(s))
        s.remove_prefix(n);
    while (auto n = spaceAtEnd(s))
        s.remove_suffix(n);
    return s;
}

bool isWholeNumber(std::string_view s) {
    if (s.starts_with('+')) {
        s.remove_prefix(1);
        if (s.starts_with('-'))
            return false;
    }
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

} // namespace

bool isGeneratedName(std::string_view name, std::initializer_list<std::string_view> prefixes) {
    std::vector<std::string_view> pieces;
    std::string_view rest = trimmed(name);
    while (!rest.empty()) {
        auto blank = rest.find(' ');
        auto piece = rest.substr(0, blank);
        if (!piece.empty())
            pieces.push_back(piece);
        if (blank == std::string_view::npos)
            break;
        rest.remove_prefix(blank + 1);
    }
    if (pieces.size() != 2 || !isWholeNumber(pieces[1]))
        return false;
    for (auto prefix : prefixes)
        if (pieces[0] == prefix)
            return true;
    return false;
}
