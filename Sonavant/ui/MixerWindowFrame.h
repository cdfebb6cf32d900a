#pragma once
// The mixer window's size rule and its frame as kept under "MixerWindowFrame": the text
// "{{x, y}, {width, height}}" in screen points, top-left origin.

#include <optional>
#include <string>
#include <string_view>

struct MixerWindowFrame {
    static constexpr double width = 430;     // fixed
    static constexpr double minHeight = 300; // no upper bound
    static constexpr double rightInset = 20; // first opening: from the screen's right edge
    static constexpr double topInset = 40;   // and from its top
    static constexpr const char* defaultsKey = "MixerWindowFrame";

    double x = 0;
    double y = 0;
    double w = width;
    double h = minHeight;
    bool operator==(const MixerWindowFrame&) const = default;

    std::string text() const;
    // None for a text that is not four finite numbers in that form or has no area.
    static std::optional<MixerWindowFrame> parse(std::string_view text);
    // Where the window opens the first time, in a screen's visible area.
    static MixerWindowFrame firstPlacement(double visibleX, double visibleY, double visibleWidth);
    // A size the window may take: the fixed width and the height, not below the minimum.
    static MixerWindowFrame constrained(MixerWindowFrame frame);
};
