#pragma once
// The stored frame of a window, kept in the user defaults as "{{x, y}, {w, h}}".

#include <optional>
#include <string>

namespace windowframe {

inline constexpr const char* mainWindowKey = "NSWindow Frame MainWindow";

struct Frame {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Frame&) const = default;
};

// The first four numbers of the text, in order; none when there are fewer than four or the
// size is not positive. Extra numbers (a screen frame) are ignored.
std::optional<Frame> parse(const std::string& text);
std::string format(const Frame& frame);

} // namespace windowframe
