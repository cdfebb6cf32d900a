#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/model/PanningMode.h"
#include "Sonavant/model/ZeroPointPosition.h"

#include "ModelTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using platform::CodingError;
using platform::Value;

TEST(CanvasGeometry, WorkedValuesAndInverseUnderEveryOrientation) {
    struct Case {
        CanvasOrientation orientation;
        Point canvas;
    };
    const Case cases[] = {{CanvasOrientation::top, {500, 100}},
                          {CanvasOrientation::right, {600, 400}},
                          {CanvasOrientation::bottom, {300, 500}},
                          {CanvasOrientation::left, {200, 200}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.orientation)));
        Point p = metresToCanvas(c.orientation, 1, 2, 100, 400, 300);
        EXPECT_NEAR(p.x, c.canvas.x, 1e-9);
        EXPECT_NEAR(p.y, c.canvas.y, 1e-9);
        Point m = canvasToMetres(c.orientation, c.canvas.x, c.canvas.y, 100, 400, 300);
        EXPECT_NEAR(m.x, 1, 1e-12);
        EXPECT_NEAR(m.y, 2, 1e-12);
        // The zero point stays put whatever the turn and zoom.
        for (double zoom : {1.0, 37.5, 100.0})
            EXPECT_EQ(metresToCanvas(c.orientation, 0, 0, zoom, 412.25, -7.5), (Point{412.25, -7.5}));
        // Forward and back, away from the worked value.
        Point q = canvasToMetres(c.orientation, metresToCanvas(c.orientation, {-3.25, 7.5}, 42, {10, 20}), 42,
                                 {10, 20});
        EXPECT_NEAR(q.x, -3.25, 1e-12);
        EXPECT_NEAR(q.y, 7.5, 1e-12);
    }
    // Orientation top is the plain formula, exactly.
    EXPECT_EQ(metresToCanvas(CanvasOrientation::top, 1.5, -2.25, 80, 400, 300), (Point{520, 480}));
}

TEST(CanvasGeometry, BadZoomAndNonFiniteInputNeverYieldNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto finite = [](Point p) { return std::isfinite(p.x) && std::isfinite(p.y); };
    for (auto o : allCanvasOrientations) {
        for (double zoom : {0.0, -5.0, nan, inf}) {
            // A zoom that is no positive number counts as the default zoom.
            Point m = canvasToMetres(o, 600, 400, zoom, 400, 300);
            Point expected = canvasToMetres(o, 600, 400, defaultZoom, 400, 300);
            EXPECT_EQ(m, expected);
            EXPECT_EQ(metresToCanvas(o, 1, 2, zoom, 400, 300),
                      metresToCanvas(o, 1, 2, defaultZoom, 400, 300));
        }
        // A non-finite coordinate counts as the zero point's.
        EXPECT_EQ(metresToCanvas(o, nan, 0, 100, 400, 300), (Point{400, 300}));
        EXPECT_TRUE(finite(metresToCanvas(o, inf, -inf, 100, 400, 300)));
        EXPECT_TRUE(finite(canvasToMetres(o, nan, inf, 100, nan, 300)));
        EXPECT_TRUE(finite(metresToCanvas(o, 1e308, 1e308, 1e10, 0, 0)));
        EXPECT_TRUE(finite(canvasToMetres(o, 1.7e308, -1.7e308, 1e-300, 0, 0)));
    }
    EXPECT_TRUE(finite(metresToCanvasUnturned(nan, inf, 0, {nan, 5})));
}

TEST(CanvasGeometry, PolylineLength) {
    EXPECT_EQ(polylineLength({}), 0);
    EXPECT_EQ(polylineLength({{3, 4}}), 0);
    EXPECT_DOUBLE_EQ(polylineLength({{0, 0}, {3, 4}, {3, 0}}), 9); // open: not closed back to the start
}

TEST(ShowEnumerations, RawValuesAreExactAndCodeAsText) {
    EXPECT_EQ(canvasOrientationFromRawValue("left"), CanvasOrientation::left);
    EXPECT_EQ(canvasOrientationFromRawValue("Top"), std::nullopt);
    EXPECT_EQ(panningModeFromRawValue("Constant Power"), PanningMode::constantPower);
    EXPECT_EQ(panningModeFromRawValue("constant power"), std::nullopt);
    EXPECT_EQ(panningModeFromRawValue("Constant Power "), std::nullopt);
    EXPECT_EQ(zeroPointPositionFromRawValue("Center"), ZeroPointPosition::center);
    EXPECT_EQ(zeroPointPositionFromRawValue("Centre"), std::nullopt);

    ASSERT_EQ(allZeroPointPositions.size(), 9u);
    EXPECT_EQ(rawValue(allZeroPointPositions.front()), "Top Left");
    EXPECT_EQ(rawValue(allZeroPointPositions[4]), "Center");
    EXPECT_EQ(rawValue(allZeroPointPositions.back()), "Bottom Right");
    EXPECT_EQ(rawValue(allPanningModes[1]), "Sine Curved");

    for (auto mode : allPanningModes)
        EXPECT_EQ(platform::decodeValue<PanningMode>(throughJSON(platform::encodeValue(mode))), mode);
    for (auto position : allZeroPointPositions)
        EXPECT_EQ(
            platform::decodeValue<ZeroPointPosition>(throughPropertyList(platform::encodeValue(position))),
            position);
    EXPECT_EQ(platform::encodeValue(CanvasOrientation::bottom), Value("bottom"));

    try {
        platform::decodeValue<CanvasOrientation>(Value("Top"), "appState.canvasOrientation");
        FAIL() << "Top accepted";
    } catch (const CodingError& e) {
        EXPECT_EQ(e.reason(), CodingError::Reason::dataCorrupted);
        EXPECT_EQ(e.path(), "appState.canvasOrientation");
    }
    EXPECT_THROW(platform::decodeValue<PanningMode>(Value(3)), CodingError);
}
