#pragma once
// The metre grid of the canvas: one line per metre through the zero point in each direction,
// the two lines through the zero point drawn heavier, and a ring on the zero point.

#include "Sonavant/model/Geometry.h"

#include <cstdint>
#include <vector>

struct MetreGrid {
    // Where a line comes from: right of, left of, below or above the zero point.
    enum class Family { right, left, below, above };
    struct Line {
        Family family = Family::right;
        std::int64_t index = 0; // metres from the zero point, within its family
        Point from;
        Point to;
        double width = 1; // 4 for the lines through the zero point
    };

    static constexpr double opacity = 0.3;     // lines and ring alike
    static constexpr double ringDiameter = 40; // points
    static constexpr double ringWidth = 2;
    // Lines closer together than this would paint the canvas solid: no lines are drawn then.
    static constexpr double minimumSpacing = 1; // points
    // A bound on each family whatever the canvas size (a canvas this wide does not exist).
    static constexpr std::int64_t maximumLinesPerFamily = 20000;

    std::vector<Line> lines; // families in the order above, each from the zero point outward
    bool hasRing = false;
    Point ringCentre;

    std::size_t count(Family family) const;
};

// The grid of a canvas `width` × `height` points with the zero point (zeroX, zeroY) and
// `zoom` points per metre (the argument order is the canvas layer's). The outermost line of a
// family may lie up to one metre past the canvas edge. Lines that would lie entirely off the
// canvas on the near side of a zero point outside the canvas are left out, and a zoom that is
// not finite or below `minimumSpacing`, or a canvas or zero point that is not finite, draws no
// lines at all.
MetreGrid metreGrid(double width, double zeroX, double zeroY, double zoom, double height);
