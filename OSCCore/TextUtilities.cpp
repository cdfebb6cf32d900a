#include "OSCCore/TextUtilities.h"

#include "OSCCore/TextCharacters.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace osccore {

std::vector<std::string_view> addressComponents(std::string_view address) {
    std::vector<std::string_view> parts;
    if (!address.empty() && address.front() == '/')
        address.remove_prefix(1);
    if (!address.empty() && address.back() == '/')
        address.remove_suffix(1);
    if (address.empty())
        return parts;
    for (;;) {
        const auto slash = address.find('/');
        parts.push_back(address.substr(0, slash));
        if (slash == std::string_view::npos)
            break;
        address.remove_prefix(slash + 1);
    }
    return parts;
}

namespace {

bool isWhiteOrNewline(UChar32 c) {
    return u_isUWhiteSpace(c) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

} // namespace

std::string_view trimmed(std::string_view text) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    auto length = static_cast<std::int32_t>(text.size());
    std::int32_t start = 0;
    while (start < length) {
        std::int32_t next = start;
        UChar32 c;
        U8_NEXT(s, next, length, c);
        if (c < 0 || !isWhiteOrNewline(c))
            break;
        start = next;
    }
    std::int32_t end = length;
    while (end > start) {
        std::int32_t previous = end;
        UChar32 c;
        U8_PREV(s, start, previous, c);
        if (c < 0 || !isWhiteOrNewline(c))
            break;
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

bool isASCII(std::string_view text) {
    return isASCIIBytes(text);
}

} // namespace osccore
