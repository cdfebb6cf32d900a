#include "EngineTestSupport.h"

#include "platform/Log.h"

#include <gtest/gtest.h>

#include <limits>

using namespace enginetest;

namespace {

struct SoundScape : Fixture {
    SoundScape() {
        state->isSoundScapeMode = true;
        state->zeroPoint = Point{100, 500};
        state->soundObjects = std::vector{sourceAt(1, {350, 300}, udpDesk())};
    }
    std::vector<float> lastValues() const {
        return std::get<std::vector<float>>(outlet->sent().back().argument.storage());
    }
};

} // namespace

TEST(SoundScapePositions, TurnedByOrientationRoundedAndSentVerticalFirst) {
    for (const auto& [orientation, expected] : std::vector<std::pair<CanvasOrientation, std::vector<float>>>{
             {CanvasOrientation::top, {-2.0f, 2.5f}},
             {CanvasOrientation::right, {-2.5f, -2.0f}},
             {CanvasOrientation::bottom, {2.0f, -2.5f}},
             {CanvasOrientation::left, {2.5f, 2.0f}}}) {
        SoundScape f;
        f.state->canvasOrientation = orientation;
        platform::LogCapture log;
        f.view.updateRelativeLevels();
        ASSERT_EQ(f.outlet->count(), 1u);
        EXPECT_EQ(f.lastValues(), expected) << rawValue(orientation);
        EXPECT_EQ(f.outlet->sent()[0].address, "/dbaudio1/positioning/source_position_xy/1");
        EXPECT_TRUE(log.contains("SoundScape mode active – sending OSC messages with position data."));
        EXPECT_TRUE(log.contains("SoundScape OSC update completed for all sound objects."));
        EXPECT_TRUE(f.state->mixerLevels->empty());
    }

    // Four decimals, halves away from zero; the desk's own template.
    SoundScape f;
    MixingDesk desk = udpDesk();
    desk.positionOSC = "/ds100/{n}/xy";
    f.view.selectedDesk = desk;
    f.state->soundObjects->at(0)->position = Point{100 + 1.23456, 500 + 0.0051};
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.outlet->sent()[0].address, "/ds100/1/xy");
    EXPECT_EQ(f.lastValues(), (std::vector<float>{0.0001f, 0.0123f}));
}

TEST(SoundScapePositions, UnchangedPositionsRepeatAndHeldBackOnesWait) {
    SoundScape f;
    f.view.updateRelativeLevels();
    ASSERT_EQ(f.outlet->count(), 1u);
    for (int i = 0; i < 49; ++i)
        f.view.updateRelativeLevels();
    EXPECT_EQ(f.outlet->count(), 1u);

    // The 50th unchanged update of source 1 is due again.
    f.view.updateRelativeLevels();
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 2; }));

    // The last position of a fast drag is held back by the throttle, not lost.
    platform::LogCapture log;
    f.state->soundObjects->at(0)->position = Point{150, 500};
    f.view.updateRelativeLevels();
    f.state->soundObjects->at(0)->position = Point{160, 500};
    f.view.updateRelativeLevels();
    const std::string key = "soundscape-" + f.state->soundObjects->at(0)->id.string();
    EXPECT_TRUE(log.contains("⏱️ Skipping send for " + key + " (throttled)"));
    ASSERT_TRUE(eventually([&] { return f.lastValues() == std::vector<float>{0.0f, 0.6f}; }));
}

TEST(SoundScapePositions, PausedOffOrUndefinedSourcesSendNothing) {
    SoundScape f;
    f.view.disableSoundObjectOSCUpdates = true;
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.outlet->count(), 0u);
    EXPECT_TRUE(f.view.lastSentSoundScapePositions.empty());

    f.view.disableSoundObjectOSCUpdates = false;
    f.state->oscOutputOn = false;
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.outlet->count(), 0u);
    EXPECT_TRUE(f.view.lastSentSoundScapePositions.empty()) << "nothing counts as sent while off";

    f.state->oscOutputOn = true;
    f.state->soundObjects->at(0)->position = Point{std::numeric_limits<double>::infinity(), 0};
    platform::LogCapture log;
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.outlet->count(), 0u);
    EXPECT_TRUE(log.contains("is not a finite number; not sent."));

    f.view.zoomLevel = 0;
    f.state->soundObjects->at(0)->position = Point{1, 1};
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.outlet->count(), 0u);
}
