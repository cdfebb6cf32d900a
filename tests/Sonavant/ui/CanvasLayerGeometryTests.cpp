#include "Sonavant/ui/FloorPlanPlacement.h"
#include "Sonavant/ui/MetreGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Family = MetreGrid::Family;

std::vector<double> positions(const MetreGrid& grid, Family family) {
    std::vector<double> out;
    for (const auto& l : grid.lines)
        if (l.family == family)
            out.push_back(family == Family::right || family == Family::left ? l.from.x : l.from.y);
    return out;
}

double widthOf(const MetreGrid& grid, Family family, std::int64_t index) {
    for (const auto& l : grid.lines)
        if (l.family == family && l.index == index)
            return l.width;
    return -1;
}

} // namespace

TEST(MetreGrid, OneLinePerMetreThroughTheZeroPointWithTheOuterLineUpToAMetrePastTheEdge) {
    // Zero point bottom left.
    auto g = metreGrid(1000, 0, 600, 100, 600);
    EXPECT_EQ(positions(g, Family::right),
              (std::vector<double>{0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000}));
    EXPECT_EQ(g.count(Family::left), 0u);
    EXPECT_EQ(positions(g, Family::below), (std::vector<double>{600}));
    EXPECT_EQ(positions(g, Family::above), (std::vector<double>{500, 400, 300, 200, 100, 0}));
    EXPECT_EQ(widthOf(g, Family::right, 0), 4);
    EXPECT_EQ(widthOf(g, Family::below, 0), 4);
    EXPECT_EQ(widthOf(g, Family::right, 1), 1);
    EXPECT_EQ(widthOf(g, Family::above, 1), 1);
    ASSERT_TRUE(g.hasRing);
    EXPECT_EQ(g.ringCentre, (Point{0, 600}));
    for (const auto& l : g.lines) { // vertical lines span the height, horizontal the width
        if (l.family == Family::right || l.family == Family::left)
            EXPECT_EQ(l.to, (Point{l.from.x, 600}));
        else
            EXPECT_EQ(l.to, (Point{1000, l.from.y}));
    }

    // Zero point in the middle.
    g = metreGrid(1000, 500, 300, 100, 600);
    EXPECT_EQ(positions(g, Family::right), (std::vector<double>{500, 600, 700, 800, 900, 1000}));
    EXPECT_EQ(positions(g, Family::left), (std::vector<double>{400, 300, 200, 100, 0}));
    EXPECT_EQ(positions(g, Family::below), (std::vector<double>{300, 400, 500, 600}));
    EXPECT_EQ(positions(g, Family::above), (std::vector<double>{200, 100, 0}));

    // A distance to the edge that is not whole metres: the last line lies past it.
    g = metreGrid(1000, 0, 600, 150, 600);
    EXPECT_EQ(g.count(Family::right), 8u);
    EXPECT_DOUBLE_EQ(positions(g, Family::right).back(), 1050);
}

TEST(MetreGrid, NonsenseZoomsAndFarZeroPointsDrawABoundedGrid) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double zoom : {0.0, -100.0, nan, inf, 0.5, 1e-300}) {
        auto g = metreGrid(1000, 500, 300, zoom, 600);
        EXPECT_TRUE(g.lines.empty()) << zoom;
        EXPECT_TRUE(g.hasRing) << zoom; // the zero point is still marked
    }
    EXPECT_FALSE(metreGrid(1000, nan, 300, 100, 600).hasRing);
    EXPECT_TRUE(metreGrid(inf, 0, 0, 100, 600).lines.empty());

    // A zero point left of the canvas: only the lines on the canvas (and one past its edge).
    auto g = metreGrid(1000, -250, 300, 100, 600);
    auto right = positions(g, Family::right);
    ASSERT_FALSE(right.empty());
    EXPECT_EQ(right.front(), 50);
    EXPECT_EQ(right.back(), 1050);
    EXPECT_EQ(g.count(Family::left), 0u);
    // Right of it: the mirror image.
    g = metreGrid(1000, 1250, 300, 100, 600);
    EXPECT_EQ(g.count(Family::right), 0u);
    auto left = positions(g, Family::left);
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(left.front(), 950);
    EXPECT_EQ(left.back(), -50);
    // Far away, and on an absurd canvas: still bounded.
    EXPECT_TRUE(metreGrid(1000, -1e30, 1e30, 100, 600).lines.empty());
    g = metreGrid(1e12, 0, 0, 1, 1e12);
    EXPECT_LE(g.lines.size(), 4u * MetreGrid::maximumLinesPerFamily);
}

TEST(FloorPlanPlacement, KeepsItsSizeAndPlaceInMetres) {
    const ViewSize image{400, 300};
    const Point zero{100, 500};
    // Scale 1.0 at zoom 100: its own size, centred on the zero point.
    auto p = floorPlanPlacement(image, 1.0, 100, zero, {0, 0}, 0);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->size, image);
    EXPECT_EQ(p->centre, zero);
    // Zoom 200 doubles it; scale 0.5 halves it.
    p = floorPlanPlacement(image, 1.0, 200, zero, {0, 0}, 0);
    EXPECT_EQ(p->size, (ViewSize{800, 600}));
    p = floorPlanPlacement(image, 0.5, 100, zero, {0, 0}, 90);
    EXPECT_EQ(p->size, (ViewSize{200, 150}));
    EXPECT_EQ(p->rotation, 90);
    // The offset is in tenths of a metre along the canvas axes: (10, 0) is one metre right.
    p = floorPlanPlacement(image, 1.0, 100, zero, {10, 0}, 0);
    EXPECT_EQ(p->centre, (Point{200, 500}));
    p = floorPlanPlacement(image, 1.0, 50, zero, {-20, 5}, 0);
    EXPECT_EQ(p->centre, (Point{0, 525}));

    // Nothing to draw rather than a broken picture.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(floorPlanPlacement({0, 300}, 1.0, 100, zero, {}, 0));
    EXPECT_FALSE(floorPlanPlacement(image, 0, 100, zero, {}, 0));
    EXPECT_FALSE(floorPlanPlacement(image, -1, 100, zero, {}, 0));
    EXPECT_FALSE(floorPlanPlacement(image, nan, 100, zero, {}, 0));
    EXPECT_FALSE(floorPlanPlacement(image, 1, 0, zero, {}, 0));
    EXPECT_FALSE(floorPlanPlacement(image, 1e308, 1e3, zero, {}, 0));
    p = floorPlanPlacement(image, 1.0, 100, zero, {nan, 10}, nan);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->centre, (Point{100, 600}));
    EXPECT_EQ(p->rotation, 0);
}

TEST(FloorPlanPlacement, TheFileIsTheShowsFileURLWhileSwitchedOn) {
    EXPECT_EQ(floorPlanFile(true, "file:///tmp/Plan%20A.png"), "/tmp/Plan A.png");
    EXPECT_EQ(floorPlanFile(true, "/srv/plan.png"), "/srv/plan.png");
    EXPECT_FALSE(floorPlanFile(false, "file:///tmp/plan.png"));
    EXPECT_FALSE(floorPlanFile(true, std::nullopt));
    EXPECT_FALSE(floorPlanFile(true, "https://example.com/plan.png"));
    EXPECT_FALSE(floorPlanFile(true, "not a url"));
    EXPECT_FALSE(floorPlanFile(true, "file:///tmp/%zz.png"));
}
