// The loudspeaker overlay and its focus handle, the edge markers, range circles and DS100
// markers.

#include "CanvasTestSupport.h"
#include "Sonavant/ui/CanvasHitTest.h"
#include "Sonavant/ui/CanvasMarkerGeometry.h"
#include "Sonavant/ui/SpeakerOverlayGeometry.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

using namespace canvastest;

TEST(SpeakerOverlay, GeometryOfConeArrowLineAndHandle) {
    Speaker s = enginetest::speakerAt(1, {400, 300}, 1, "Mix", 0, 70);
    auto g = SpeakerOverlayGeometry::of(s, true, CanvasOrientation::top, true, true);
    // Focus 0 under "top" points straight down the canvas.
    EXPECT_TRUE(near(g.lineEnd, {400, 600}, 1e-9));
    EXPECT_TRUE(near(g.handleCentre, {400, 450}, 1e-9));
    EXPECT_TRUE(near(g.arrow.tip, {400, 300 + 15 + 8.4}, 1e-9));
    const double wing = 18 * std::sqrt(0.5);
    EXPECT_TRUE(near(g.arrow.wing1, {400 - wing, 315 - wing}, 1e-9));
    EXPECT_TRUE(near(g.arrow.wing2, {400 + wing, 315 - wing}, 1e-9));
    EXPECT_NEAR(g.cone.endAngle - g.cone.startAngle, 70 * std::numbers::pi / 180, 1e-12);
    EXPECT_NEAR((g.cone.endAngle + g.cone.startAngle) / 2, std::numbers::pi / 2, 1e-12);

    // Focus 90 under "right": 270 degrees on screen, straight up.
    s.focus = 90;
    g = SpeakerOverlayGeometry::of(s, true, CanvasOrientation::right, true, true);
    EXPECT_TRUE(near(g.lineEnd, {400, 0}, 1e-9));

    // What is shown under the switches: the handle needs both the arrow and the selection.
    g = SpeakerOverlayGeometry::of(s, true, CanvasOrientation::top, false, false);
    EXPECT_FALSE(g.showsCone || g.showsArrow || g.showsHandle);
    g = SpeakerOverlayGeometry::of(s, false, CanvasOrientation::top, true, false);
    EXPECT_TRUE(g.showsArrow);
    EXPECT_FALSE(g.showsHandle);
}

TEST(SpeakerOverlay, FocusHandleTurnsTheLoudspeakerTowardsThePointer) {
    Canvas c;
    c.addSpeaker(1, {400, 300});
    c.addSource(1, {750, 50});
    c.state->showSpeakerFocus = true;
    c.state->showSpeakerCoverage = true;

    // Not selected: no handle, the press at its place lands on the background.
    EXPECT_EQ(CanvasHitTest::at(c.view, {400, 450}).kind, CanvasHitTarget::Kind::background);
    c.click({400, 300});
    EXPECT_EQ(CanvasHitTest::at(c.view, {400, 450}).kind, CanvasHitTarget::Kind::focusHandle);
    // The cone and the dotted line take no hits.
    EXPECT_EQ(CanvasHitTest::at(c.view, {400, 560}).kind, CanvasHitTarget::Kind::background);

    // Under 10 points nothing turns.
    c.drag({400, 450}, {409, 450});
    EXPECT_EQ(c.speaker(1).focus, 0);
    EXPECT_TRUE(c.view.selectedObjects->contains(speakerKey(1)));

    const auto undoBefore = c.undoCount();
    c.levelPasses = 0;
    c.press({400, 450});
    c.moveTo({600, 300}); // straight to the right under "top"
    EXPECT_DOUBLE_EQ(c.speaker(1).focus, -90);
    EXPECT_EQ(c.levelPasses, 1);
    c.moveTo({600, 300}); // no change, no pass
    EXPECT_EQ(c.levelPasses, 1);
    c.release({600, 300});
    EXPECT_EQ(c.undoCount(), undoBefore); // the handle pushes nothing

    struct Case {
        CanvasOrientation orientation;
        Point pointer;
        double focus;
    };
    for (const Case& k :
         {Case{CanvasOrientation::top, {400, 500}, 0}, Case{CanvasOrientation::right, {600, 300}, 180},
          Case{CanvasOrientation::left, {400, 100}, -90}, Case{CanvasOrientation::bottom, {400, 100}, 0}}) {
        c.state->canvasOrientation = k.orientation;
        c.view.speakerFocusDragged(1, k.pointer);
        EXPECT_DOUBLE_EQ(c.speaker(1).focus, k.focus) << rawValue(k.orientation);
    }
}

TEST(CanvasMarkers, EdgeMarkersRangeCirclesAndDS100Markers) {
    using M = CanvasMarkerGeometry;
    EXPECT_EQ(M::offCanvasMarkerPosition({-50, 200}, 800, 600), (Point{6, 200}));
    EXPECT_EQ(M::offCanvasMarkerPosition({400, 700}, 800, 600), (Point{400, 594}));
    EXPECT_EQ(M::offCanvasMarkerPosition({-50, -50}, 800, 600), (Point{6, 0}));
    EXPECT_EQ(M::offCanvasMarkerPosition({900, 700}, 800, 600), (Point{794, 600}));
    EXPECT_EQ(M::offCanvasMarkerPosition({400, -1}, 800, 600), (Point{400, 6}));
    EXPECT_EQ(M::rangeCircleDiameter(5, 100), 1030);
    EXPECT_EQ(M::rangeCircleDiameter(5, 0), 1030); // a zoom of 0 draws at the default scale

    // Loudspeakers first, then sources; the right and bottom edges are outside.
    Canvas c;
    c.addSpeaker(1, {800, 10});
    c.addSpeaker(2, {10, 10});
    auto a = c.addSource(1, {10, 600});
    a->outlineColour = "red";
    auto b = c.addSource(2, {-1, 10});
    b->outlineColour = "";
    const auto markers = c.view.offCanvasMarkers({{0, 0}, {800, 600}});
    ASSERT_EQ(markers.size(), 3u);
    EXPECT_EQ(markers[0].key, speakerKey(1));
    EXPECT_EQ(markers[1].key, soundObjectKey(a->id));
    EXPECT_EQ(markers[1].outline, std::optional<std::string>("red"));
    EXPECT_EQ(markers[2].outline, std::nullopt);

    // A DS100 loudspeaker is reported in the DS100's frame: (x, y) is at (y, -x) metres here
    // and its rotation is a quarter turn behind, so rotation 0 points down the canvas under
    // "top" and a further quarter under "right".
    SoundscapeSpeaker s;
    s.speakerNumber = 3;
    s.x = 2;
    s.y = 1;
    const auto m = M::soundscapeSpeakerMarker(s, CanvasOrientation::right, 100, {0, 600});
    EXPECT_NEAR(std::fabs(m.adjustedAngle), 180, 1e-9);
    EXPECT_TRUE(near(m.position, metresToCanvas(CanvasOrientation::right, {1, -2}, 100, {0, 600})));
    EXPECT_NE(
        m.logEntry.find("🧭 Speaker 3:\n    Raw rotation: 0.0\n    Canvas orientation: Right → 90.0°"),
        std::string::npos);
    EXPECT_NEAR(M::soundscapeSpeakerMarker(s, CanvasOrientation::top, 100, {0, 600}).adjustedAngle, 90, 1e-9);
    // Where a source the DS100 reports at the same spot is drawn, under every orientation.
    for (CanvasOrientation orientation : allCanvasOrientations)
        EXPECT_TRUE(near(M::soundscapeSpeakerMarker(s, orientation, 80, {40, 500}).position,
                         metresToCanvas(orientation, ds100ToShowMetres(2, 1), 80, {40, 500})));
}

TEST(HitOrder, FrontToBackWithPluggedInLayers) {
    Canvas c;
    auto a = c.addSource(1, {100, 100});
    auto b = c.addSource(2, {110, 100});
    c.addSpeaker(1, {100, 100});
    // The later source lies on top; sources lie above loudspeakers.
    EXPECT_EQ(CanvasHitTest::at(c.view, {105, 100}).object, b);
    EXPECT_EQ(CanvasHitTest::at(c.view, {90, 100}).object, a);
    EXPECT_EQ(CanvasHitTest::at(c.view, {100, 114}).kind, CanvasHitTarget::Kind::soundObject);
    EXPECT_EQ(CanvasHitTest::at(c.view, {130, 130}).kind, CanvasHitTarget::Kind::background);

    struct Layer : CanvasPointerLayer {
        double z;
        bool everything = false;
        int presses = 0, moves = 0, releases = 0;
        explicit Layer(double z) : z(z) {}
        double zIndex(const ContentView&) const override { return z; }
        bool hitTest(const ContentView&, Point p) const override { return p.x < 300; }
        bool observesAllEvents(const ContentView&) const override { return everything; }
        void pointerPressed(ContentView&, const CanvasPointerEvent&) override { ++presses; }
        void pointerMoved(ContentView&, const CanvasPointerEvent&, Point) override { ++moves; }
        void pointerReleased(ContentView&, const CanvasPointerEvent&, Point) override { ++releases; }
    };
    Layer below(4), above(1000);
    c.router.addLayer(&below);
    c.drag({200, 200}, {250, 250}); // beside the items: the layer owns it, no rubber band
    EXPECT_EQ(below.presses, 1);
    EXPECT_EQ(below.moves, 4);
    EXPECT_EQ(below.releases, 1);
    EXPECT_FALSE(c.view.selectionRect->has_value());
    EXPECT_EQ(CanvasHitTest::at(c.view, {105, 100}, c.router.layers()).object, b);
    c.router.addLayer(&above);
    EXPECT_EQ(CanvasHitTest::at(c.view, {105, 100}, c.router.layers()).layer, &above);
    c.router.removeLayer(&above);
    c.router.removeLayer(&below);

    // A layer that observes everything sees a source drag beside the source.
    Layer observer(7);
    observer.everything = true;
    c.router.addLayer(&observer);
    c.drag({110, 100}, {110, 140});
    EXPECT_TRUE(near(b->position, {110, 140}));
    EXPECT_EQ(observer.presses + observer.moves + observer.releases, 6);
}
