#include "Sonavant/ui/TopBarRules.h"
#include "Sonavant/ui/WindowFrame.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace topbar;

TEST(TopBarRulesTest, DeskTitleSoundScapeAndOutputSwitch) {
    EXPECT_EQ(deskMenuTitle(std::nullopt), "Select Mixing Desk");
    MixingDesk desk;
    desk.displayName = "D&B Soundscape";
    EXPECT_EQ(deskMenuTitle(desk), "D&B Soundscape");
    EXPECT_TRUE(isSoundScapeDesk(desk));
    EXPECT_FALSE(isSoundScapeDesk(std::nullopt));
    for (const char* near : {"D&B SoundScape", "D&B Soundscape ", " D&B Soundscape", "D&B DS100 Matrix"}) {
        desk.displayName = near;
        EXPECT_FALSE(isSoundScapeDesk(desk)) << near;
    }
    EXPECT_EQ(outputSwitchTitle(true), "OSC: On");
    EXPECT_EQ(outputSwitchTitle(false), "OSC: Off");
}

TEST(TopBarRulesTest, LevelSteppersKeepMinimumBelowMaximumAndStayUsableWhenCrossed) {
    // Ordinary: the minimum stops at max - 1, the maximum at min + 1, and 0 and 100 hold.
    EXPECT_EQ(minLevelRange(10, 20), (StepRange{0, 19}));
    EXPECT_EQ(maxLevelRange(10, 20), (StepRange{11, 100}));
    EXPECT_EQ(stepped(19, +1, 1, minLevelRange(19, 20)), 19);
    EXPECT_FALSE(canStep(19, +1, minLevelRange(19, 20)));
    EXPECT_EQ(stepped(11, -1, 1, maxLevelRange(10, 11)), 11);
    EXPECT_EQ(stepped(100, +1, 1, maxLevelRange(0, 100)), 100);
    EXPECT_EQ(stepped(0, -1, 1, minLevelRange(0, 100)), 0);

    // Typed values that cross or leave 0..100: no empty range, and a step brings the value back.
    EXPECT_EQ(minLevelRange(5, 0), (StepRange{0, 0}));
    EXPECT_EQ(maxLevelRange(150, 100), (StepRange{100, 100}));
    EXPECT_EQ(stepped(5, -1, 1, minLevelRange(5, 0)), 0);
    EXPECT_EQ(stepped(150, -1, 1, maxLevelRange(150, 150)), 100);
    EXPECT_EQ(stepped(-7, +1, 1, minLevelRange(-7, 50)), 0);
}

TEST(TopBarRulesTest, ZoomStepsByFiveAndTypedZoomIsFiniteAndPositive) {
    EXPECT_EQ(stepped(100, +1, zoomStep, zoomRange), 105);
    EXPECT_EQ(stepped(200, +1, zoomStep, zoomRange), 200);
    EXPECT_EQ(stepped(5, -1, zoomStep, zoomRange), 5);
    EXPECT_EQ(stepped(3, -1, zoomStep, zoomRange), 5); // a typed zoom below the range comes back into it

    // Typed: written as typed, outside the stepper range too.
    EXPECT_EQ(typedZoom("3"), 3.0);
    EXPECT_EQ(typedZoom(" 450 "), 450.0);
    EXPECT_EQ(typedZoom("0.5"), 0.5);
    for (const char* bad : {"0", "-5", "", "abc", "nan", "inf", "1e999", "12px", "-0"})
        EXPECT_FALSE(typedZoom(bad).has_value()) << bad;

    EXPECT_EQ(typedLevel("42"), 42);
    EXPECT_EQ(typedLevel("-3"), -3);
    EXPECT_EQ(typedLevel("+7"), 7);
    EXPECT_EQ(typedLevel("250"), 250);
    for (const char* bad : {"", "4.5", "x", "99999999999"})
        EXPECT_FALSE(typedLevel(bad).has_value()) << bad;

    EXPECT_EQ(zoomText(100), "100");
    EXPECT_EQ(zoomText(2.6), "3");
}

TEST(WindowFrameTest, ReadsTheFirstFourNumbersAndWritesTheRectangleForm) {
    using namespace windowframe;
    EXPECT_EQ(parse("{{10, 20}, {1000, 700}}"), (Frame{10, 20, 1000, 700}));
    EXPECT_EQ(parse(format({-40, 5, 812, 640})), (Frame{-40, 5, 812, 640}));
    // The system's own form carries the screen's frame after the window's.
    EXPECT_EQ(parse("100 200 900 650 0 0 1920 1055 "), (Frame{100, 200, 900, 650}));
    EXPECT_EQ(parse("{{10.4, 20.6}, {1000.5, 700}}"), (Frame{10, 21, 1001, 700}));
    for (const char* bad : {"", "{{1, 2}, {3}}", "{{0, 0}, {0, 600}}", "{{0, 0}, {800, -1}}", "hello",
                            "{{0, 0}, {1e300, 600}}"})
        EXPECT_FALSE(parse(bad).has_value()) << bad;
    EXPECT_EQ(format({1, 2, 3, 4}), "{{1, 2}, {3, 4}}");
}
