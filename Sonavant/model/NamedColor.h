#pragma once
// Objects carry colours by name. The core only resolves a name to one of the fifteen
// standard colours; the views give each its RGB.

#include <array>
#include <string_view>

enum class NamedColor {
    red,
    orange,
    yellow,
    green,
    blue,
    purple,
    pink,
    brown,
    gray,
    black,
    white,
    cyan,
    mint,
    teal,
    indigo
};

// The table's names in order; the audience-area editor offers them as choices.
inline constexpr std::array<std::string_view, 15> colourNames{
    "red",  "orange", "yellow", "green", "blue", "purple", "pink",  "brown",
    "gray", "black",  "white",  "cyan",  "mint", "teal",   "indigo"};

std::string_view colourName(NamedColor colour);

// Looked up in lower case; any other name ("defaultColour" and the empty text included)
// gives gray.
NamedColor colorNamed(std::string_view name);
