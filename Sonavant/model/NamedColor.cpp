#include "Sonavant/model/NamedColor.h"

#include <string>

namespace {
// Lower-cases as full Unicode lower-casing would for every text that can end up as one of
// the table's names: ASCII letters, and the Kelvin sign (U+212A), which lower-cases to "k".
// Any other non-ASCII character stays non-ASCII and so cannot match.
std::string lowerCased(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z')
            out.push_back(static_cast<char>(c - 'A' + 'a'));
        else if (name.substr(i, 3) == "\xE2\x84\xAA") {
            out.push_back('k');
            i += 2;
        } else
            out.push_back(c);
    }
    return out;
}
} // namespace

std::string_view colourName(NamedColor colour) {
    return colourNames[static_cast<int>(colour)];
}

NamedColor colorNamed(std::string_view name) {
    const std::string lower = lowerCased(name);
    for (std::size_t i = 0; i < colourNames.size(); ++i)
        if (colourNames[i] == lower)
            return static_cast<NamedColor>(i);
    return NamedColor::gray;
}
