#include "EngineTestSupport.h"

#include "Sonavant/model/ImportDBPR.h"
#include "platform/Log.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <limits>
#include <sqlite3.h>

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

TEST(SoundScapePositions, TheSwitchAndUpdateOSCSendEveryPositionButAnImportsOwnSwitchDoesNot) {
    SoundScape f;
    f.state->soundObjects.update([](auto& list) { list.push_back(sourceAt(2, {150, 300}, udpDesk())); });
    f.view.updateRelativeLevels();
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 2; }));

    // Off, a move, on: every position once, the moved one where it is now.
    f.view.setOSCOutput(false);
    f.state->soundObjects->at(0)->position = Point{450, 300};
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.outlet->count(), 2u);
    f.view.setOSCOutput(true);
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 4; }));
    std::vector<float> moved;
    for (std::size_t i = 2; i < 4; ++i)
        if (f.outlet->sent()[i].address == "/dbaudio1/positioning/source_position_xy/1")
            moved = std::get<std::vector<float>>(f.outlet->sent()[i].argument.storage());
    EXPECT_EQ(moved, (std::vector<float>{-2.0f, 3.5f}));

    // "Update OSC" with nothing changed: every position once more (the held ones leave later).
    f.view.sendEveryPairOnce();
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 6; }));

    // A .dbpr import turns output off and on by itself: that adds no resend.
    support::TempFolder folder;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((folder / "a.dbpr").c_str(), &db), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(db,
                         "CREATE TABLE Cabinets (CabinetId INTEGER, OriginX REAL, OriginY REAL, "
                         "HorizontalAngle REAL, SourceGroupId INTEGER);"
                         "CREATE TABLE MatrixInputs (MatrixInput INTEGER, Name TEXT, InputMode INTEGER);"
                         "INSERT INTO MatrixInputs VALUES (1, 'Kick', 1), (2, 'Vox', 1);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
    }
    bool queried = false;
    importDBPR(folder / "a.dbpr", *f.state, 100, 100, 500, [&] { queried = true; });
    ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return queried; }, deadline));
    EXPECT_TRUE(f.state->oscOutputOn.get());
    platform::MainRunLoop::runFor(100ms);
    EXPECT_EQ(f.outlet->count(), 6u) << "no position at the import's own switch-on";
}
