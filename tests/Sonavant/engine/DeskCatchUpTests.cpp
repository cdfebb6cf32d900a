// The desk catches up: a remote position too far away for a distance still gives a result.

#include "EngineTestSupport.h"

#include "platform/Log.h"

#include <gtest/gtest.h>

#include <thread>

using namespace enginetest;

TEST(DeskCatchUp, ARemotePositionBeyondAnyDistanceIsOutOfRangeOrRefusedForADS100) {
    Fixture f;
    f.state->soundObjects = std::vector{sourceAt(1, {0, 0}, udpDesk())};
    f.state->speakers = std::vector{speakerAt(1, {0, 0}, 1)};
    f.view.updateRelativeLevels();
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 1; }));

    // Levels: the distance overflows; the pair is as far as any source out of range.
    f.view.handleTrackPosition(1, 1e300, 1e300);
    EXPECT_EQ(f.state->soundObjects->at(0)->positionMeters.get(), (Point{1e300, 1e300}));
    EXPECT_EQ(f.state->mixerLevels->begin()->second.at(1), -90.0);
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 2; }));
    EXPECT_EQ(f.outlet->sent().back().address, "/ch/1/mix/1/level");
    EXPECT_EQ(f.outlet->sent().back().argument.storage(), OSCSendArgument::Storage(std::int64_t{-90}));

    // SoundScape: a DS100 takes no such number; the command is refused and the source stays.
    f.state->isSoundScapeMode = true;
    f.view.handleTrackPosition(1, 2.0, 1.0);
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 3; }));
    platform::LogCapture log;
    f.view.handleTrackPosition(1, 1e300, 1e300);
    EXPECT_TRUE(log.contains("❌ Ignoring track position with a non-finite value."));
    EXPECT_EQ(f.state->soundObjects->at(0)->positionMeters.get(), (Point{2.0, 1.0}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(f.outlet->count(), 3u);
}
