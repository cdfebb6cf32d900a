// After the operator's edits the desk holds what the program shows: a zoom change.

#include "CanvasTestSupport.h"

#include <gtest/gtest.h>

using namespace enginetest;

TEST(DeskMatchesProgram, AZoomChangeSendsTheLevelsItChanges) {
    canvastest::Canvas c;
    c.state->panningMode = PanningMode::linear;
    c.addSpeaker(1, {100, 500});
    c.addSource(1, {200, 500}); // 1 m apart
    c.view.updateRelativeLevels();
    const auto& id = c.state->soundObjects->at(0)->id;
    // The full-level radius is 30 canvas points: 0.3 m at zoom 100, 0.4 m at 75.
    EXPECT_NEAR(c.state->mixerLevels->at(id).at(1), -4.0, 1e-9);
    c.levelPasses = 0;
    c.view.zoomLevel = 75;
    c.view.zoomLevelChanged(75);
    EXPECT_EQ(c.levelPasses, 1);
    EXPECT_NEAR(c.state->mixerLevels->at(id).at(1), -2.0, 1e-9);
    ASSERT_TRUE(eventually([&] {
        const auto sent = c.outlet->sent();
        return !sent.empty() && sent.back().address == "/ch/1/mix/1/level" &&
               sent.back().argument.storage() == OSCSendArgument::Storage(std::int64_t{-2});
    }));
}
