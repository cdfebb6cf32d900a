// How the canvas draws over time: item moves that ease from where an item is drawn, the
// fade of the drawing hint, and the DS100 markers' console entries when markers are built.

#include "Sonavant/ui/CanvasEasing.h"
#include "Sonavant/ui/SoundscapeMarkerLog.h"

#include <gtest/gtest.h>

TEST(CanvasEasing, TheCurveEasesInAndOutAndStaysWithinItsEnds) {
    EXPECT_EQ(canvaseasing::easeInOut(-1), 0);
    EXPECT_EQ(canvaseasing::easeInOut(0), 0);
    EXPECT_EQ(canvaseasing::easeInOut(1), 1);
    EXPECT_EQ(canvaseasing::easeInOut(7), 1);
    EXPECT_EQ(canvaseasing::easeInOut(std::nan("")), 0);
    EXPECT_NEAR(canvaseasing::easeInOut(0.5), 0.5, 1e-9); // symmetric
    EXPECT_NEAR(canvaseasing::easeInOut(0.25) + canvaseasing::easeInOut(0.75), 1, 1e-9);
    EXPECT_LT(canvaseasing::easeInOut(0.1), 0.1); // slow start
    EXPECT_GT(canvaseasing::easeInOut(0.9), 0.9); // slow end
    double last = 0;
    for (int i = 1; i <= 100; ++i) {
        const double v = canvaseasing::easeInOut(i / 100.0);
        EXPECT_GE(v, last);
        last = v;
    }
}

TEST(CanvasEasing, AMoveStartsWhereTheItemIsDrawnAndEndsWhereItIs) {
    ItemMoveEasing easing;
    easing.beginFrame(10);
    // First seen: drawn where it is, nothing moving.
    EXPECT_EQ(easing.drawn("a", {0, 0}).x, 0);
    EXPECT_FALSE(easing.isMoving());

    easing.beginFrame(10.01);
    const Point start = easing.drawn("a", {100, 0});
    EXPECT_EQ(start.x, 0); // still where it was drawn
    EXPECT_TRUE(easing.isMoving());

    easing.beginFrame(10.01 + ItemMoveEasing::duration / 2);
    EXPECT_NEAR(easing.drawn("a", {100, 0}).x, 50, 1e-6);
    // Moved again half way: the new move starts from the drawn 50, not from 0 or 100.
    easing.beginFrame(10.01 + ItemMoveEasing::duration / 2);
    EXPECT_NEAR(easing.drawn("a", {200, 0}).x, 50, 1e-6);
    easing.beginFrame(10.01 + ItemMoveEasing::duration);
    const double between = easing.drawn("a", {200, 0}).x;
    EXPECT_GT(between, 50);
    EXPECT_LT(between, 200);

    easing.beginFrame(11);
    EXPECT_EQ(easing.drawn("a", {200, 0}).x, 200);
    EXPECT_FALSE(easing.isMoving());

    // An item not drawn in a frame is forgotten: when it comes back it does not ease.
    easing.beginFrame(12);
    easing.beginFrame(12.001);
    EXPECT_EQ(easing.drawn("a", {500, 0}).x, 500);
    EXPECT_FALSE(easing.isMoving());
    // clear() makes every item jump.
    easing.clear();
    easing.beginFrame(12.002);
    EXPECT_EQ(easing.drawn("a", {700, 0}).x, 700);
}

TEST(CanvasEasing, TheHintFadesInAndOutFromWhereverItIs) {
    OpacityFade fade;
    EXPECT_EQ(fade.opacity(false, 0), 0); // first call settles
    EXPECT_FALSE(fade.isFading(0));
    EXPECT_EQ(fade.opacity(true, 1), 0); // the fade in starts
    EXPECT_TRUE(fade.isFading(1.1));
    EXPECT_NEAR(fade.opacity(true, 1 + OpacityFade::duration / 2), 0.5, 1e-6);
    // Hidden half way: fades out from one half.
    EXPECT_NEAR(fade.opacity(false, 1 + OpacityFade::duration / 2), 0.5, 1e-6);
    EXPECT_EQ(fade.opacity(false, 5), 0);
    EXPECT_FALSE(fade.isFading(5));
}

TEST(SoundscapeMarkers, EntriesWhenAMarkerIsBuiltAndOnEveryOrientationChange) {
    SoundscapeSpeaker one, two;
    one.speakerNumber = 1;
    two.speakerNumber = 2;
    two.rotation = 90;
    SoundscapeMarkerLog log;
    const std::vector<SoundscapeSpeaker> both{one, two};
    EXPECT_EQ(log.entries(both, CanvasOrientation::top, 100, {0, 0}).size(), 2u);
    // Repaints build nothing.
    EXPECT_TRUE(log.entries(both, CanvasOrientation::top, 100, {0, 0}).empty());
    EXPECT_TRUE(log.entries(both, CanvasOrientation::top, 50, {10, 10}).empty());
    // Each orientation change, back to one seen before too, builds every marker again.
    for (CanvasOrientation o : {CanvasOrientation::right, CanvasOrientation::top, CanvasOrientation::right}) {
        const auto entries = log.entries(both, o, 100, {0, 0});
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_NE(entries[0].find(o == CanvasOrientation::right ? "Canvas orientation: Right"
                                                                : "Canvas orientation: Top"),
                  std::string::npos);
    }
    // A turned loudspeaker, and one that went and came back.
    auto turned = both;
    turned[1].rotation = 45;
    const auto entries = log.entries(turned, CanvasOrientation::right, 100, {0, 0});
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_NE(entries[0].find("🧭 Speaker 2:"), std::string::npos);
    EXPECT_EQ(log.entries({turned[1]}, CanvasOrientation::right, 100, {0, 0}).size(), 0u);
    EXPECT_EQ(log.entries(turned, CanvasOrientation::right, 100, {0, 0}).size(), 1u);
}
