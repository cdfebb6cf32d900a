#pragma once
// The alternative OSC string ("S"): written like a string, told apart by its tag.

#include <string>
#include <string_view>

struct OSCStringAltValue {
    std::string string;

    OSCStringAltValue() = default;
    explicit OSCStringAltValue(std::string text) : string(std::move(text)) {}

    bool operator==(const OSCStringAltValue&) const = default;
    bool operator==(std::string_view text) const { return string == text; }
};
