#include "Sonavant/ui/MetreGrid.h"

#include <algorithm>
#include <cmath>

namespace {

// The whole steps from `first` to `last` of one family, kept to the bound. The quotients are
// finite here, but may be far beyond an integer's range when the zero point is far away.
struct Steps {
    std::int64_t first = 0;
    std::int64_t last = -1;
};

Steps steps(double first, double last) {
    const double bound = static_cast<double>(MetreGrid::maximumLinesPerFamily);
    // Beyond 2^53 metres whole steps are no longer exact: such a zero point draws nothing.
    if (!(last >= first) || last < 0 || first > 9.0e15)
        return {};
    if (last - first >= bound)
        last = first + bound - 1;
    return {static_cast<std::int64_t>(first), static_cast<std::int64_t>(last)};
}

} // namespace

std::size_t MetreGrid::count(Family family) const {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [family](const Line& l) { return l.family == family; }));
}

MetreGrid metreGrid(double w, double zx, double zy, double z, double h) {
    MetreGrid grid;
    if (!std::isfinite(w) || !std::isfinite(h) || !std::isfinite(zx) || !std::isfinite(zy))
        return grid;
    grid.hasRing = true;
    grid.ringCentre = {zx, zy};
    if (!std::isfinite(z) || z < MetreGrid::minimumSpacing)
        return grid;

    using Family = MetreGrid::Family;
    auto vertical = [&](Family family, std::int64_t i, double x) {
        grid.lines.push_back({family, i, {x, 0}, {x, h}, i == 0 ? 4.0 : 1.0});
    };
    auto horizontal = [&](Family family, std::int64_t i, double y) {
        grid.lines.push_back({family, i, {0, y}, {w, y}, i == 0 ? 4.0 : 1.0});
    };

    // Right of the zero point: i = 0 … ceil((w − zx) / z); a zero point left of the canvas
    // starts at the first line on it.
    auto right = steps(std::max(0.0, std::ceil(-zx / z)), std::ceil((w - zx) / z));
    for (auto i = right.first; i <= right.last; ++i)
        vertical(Family::right, i, zx + static_cast<double>(i) * z);
    // Left of it: i = 1 … ceil(zx / z).
    auto left = steps(std::max(1.0, std::ceil((zx - w) / z)), std::ceil(zx / z));
    for (auto i = left.first; i <= left.last; ++i)
        vertical(Family::left, i, zx - static_cast<double>(i) * z);
    // Below it: i = 0 … ceil((h − zy) / z).
    auto below = steps(std::max(0.0, std::ceil(-zy / z)), std::ceil((h - zy) / z));
    for (auto i = below.first; i <= below.last; ++i)
        horizontal(Family::below, i, zy + static_cast<double>(i) * z);
    // Above it: i = 1 … ceil(zy / z).
    auto above = steps(std::max(1.0, std::ceil((zy - h) / z)), std::ceil(zy / z));
    for (auto i = above.first; i <= above.last; ++i)
        horizontal(Family::above, i, zy - static_cast<double>(i) * z);
    return grid;
}
