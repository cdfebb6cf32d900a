// Edits that change levels reach the desk with exactly one pass: the loudspeaker sheet's focus
// and width, deleting loudspeakers, editing audience areas under the pan-law switch, and the
// level settings whichever window changes them.

#include "CanvasTestSupport.h"
#include "Sonavant/engine/SelectionKeys.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/ui/CanvasMarkerGeometry.h"
#include "Sonavant/ui/SpeakerSheetModel.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

using namespace canvastest;
using namespace std::chrono_literals;

namespace {

std::size_t saveLines(const platform::LogCapture& log) {
    std::size_t n = 0;
    for (const auto& line : log.lines())
        n += line.find("✅ App state saved successfully.") != std::string::npos ? 1 : 0;
    return n;
}

void settle() {
    platform::MainRunLoop::runFor(50ms);
}

// A show whose levels depend on every loudspeaker and on the audience area: two mixes aiming
// at one area, the pan-law switch on.
struct AreaShow : Canvas {
    AreaShow() {
        addSource(1, {300, 300});
        addSpeaker(1, {200, 300});
        addSpeaker(2, {420, 300});
        state->panningMode = PanningMode::constantPower;
        AudienceArea area;
        area.id = platform::UUID::random();
        area.nodesMeters = {{2, 2}, {4, 2}, {4, 4}};
        state->audienceAreas = std::vector{area};
        state->selectedAudienceAreaID = area.id;
        state->audienceAwarePanLaw = true;
        state->showSpeakerFocus = true;
        state->showSpeakerCoverage = true;
        view.updateRelativeLevels();
        levelPasses = 0;
    }
    double level(std::int64_t speakerID) const {
        return state->mixerLevels->at(state->soundObjects->at(0)->id).at(speakerID);
    }
    // Runs the main queue until `condition`, with a deadline.
    bool mainLoopUntil(const std::function<bool()>& condition) {
        return platform::MainRunLoop::runUntil(condition, 5s);
    }
};

} // namespace

TEST(DeskFollowsEdits, TheSpeakerSheetsFocusAndWidthRunOnePassPerChange) {
    AreaShow c;
    SpeakerSheetModel sheet(c.view, 1);
    const double before = c.level(1);
    sheet.setFocus(90);
    EXPECT_EQ(c.levelPasses, 1);
    EXPECT_NE(c.level(1), before) << "the focus feeds the audience factors";
    sheet.setFocus(90); // the same value: nothing to send
    EXPECT_EQ(c.levelPasses, 1);
    const double turned = c.level(1);
    sheet.setWidth(10);
    EXPECT_EQ(c.levelPasses, 2);
    EXPECT_NE(c.level(1), turned);
    EXPECT_TRUE(sheet.setWidthText("10"));
    EXPECT_EQ(c.levelPasses, 2);
}

TEST(DeskFollowsEdits, DeletingALoudspeakerSendsTheOthersNewShare) {
    for (bool fromSheet : {true, false}) {
        SCOPED_TRACE(fromSheet ? "sheet" : "Ctrl+Backspace");
        AreaShow c;
        c.state->audienceAwarePanLaw = false;
        c.view.updateRelativeLevels();
        const double shared = c.level(2);
        c.levelPasses = 0;
        if (fromSheet) {
            SpeakerSheetModel(c.view, 1).deleteSpeaker();
        } else {
            c.view.selectedObjects = std::set<std::string>{speakerKey(1)};
            c.view.deleteSelection();
        }
        EXPECT_EQ(c.levelPasses, 1);
        EXPECT_GT(c.level(2), shared) << "alone, loudspeaker 2 takes the whole power";
        ASSERT_TRUE(enginetest::eventually([&] { return c.outlet->countFor("/ch/1/mix/2/level") >= 1; }));
        // One Undo still brings the loudspeaker back.
        c.state->undo();
        EXPECT_EQ(c.state->speakers->size(), 2u);
    }
}

TEST(DeskFollowsEdits, AreaEditsUnderThePanLawSwitchSendAndTheLastAreaTurnsItOff) {
    AreaShow c;
    c.view.watchLevelSettings();
    c.view.duplicateAudienceArea();
    EXPECT_EQ(c.levelPasses, 1);
    c.view.deleteAudienceArea(); // the copy, which is selected
    EXPECT_EQ(c.levelPasses, 2);

    // The last one goes: the switch turns off first, and its watch runs the one pass.
    c.view.removeAllAudienceAreas();
    EXPECT_FALSE(c.state->audienceAwarePanLaw.get());
    ASSERT_TRUE(c.mainLoopUntil([&] { return c.levelPasses == 3; }));
    settle();
    EXPECT_EQ(c.levelPasses, 3);

    // Without the switch, area edits send nothing.
    c.view.addAudienceArea();
    c.view.duplicateAudienceArea();
    EXPECT_EQ(c.levelPasses, 3);
}

TEST(DeskFollowsEdits, EachLevelSettingRunsOnePassAndOneSave) {
    AreaShow c;
    c.view.watchLevelSettings();
    int saves = 0;
    platform::LogCapture log;
    auto change = [&](const std::string& what, auto&& edit) {
        SCOPED_TRACE(what);
        const int passes = c.levelPasses;
        const auto lines = saveLines(log);
        edit();
        ASSERT_TRUE(c.mainLoopUntil([&] { return c.levelPasses == passes + 1; }));
        ASSERT_TRUE(c.mainLoopUntil([&] { return saveLines(log) == lines + 1; }));
        settle();
        EXPECT_EQ(c.levelPasses, passes + 1);
        EXPECT_EQ(saveLines(log), lines + 1);
        ++saves;
    };
    change("range", [&] { c.state->range = 7.0; });
    change("minimum", [&] { c.state->minLevel = 10; });
    change("maximum", [&] { c.state->maxLevel = 90; });
    change("pan law", [&] { c.state->panningMode = PanningMode::sine; });
    change("audience switch", [&] { c.state->audienceAwarePanLaw = false; });
    EXPECT_EQ(c.defaults.number("savedRange"), std::optional<double>(7.0));
    c.state->range = 7.0; // the same value: nothing
    settle();
    EXPECT_EQ(c.levelPasses, saves);

    // A quick slider drag: a pass per step, one save of both files half a second after its first
    // step, with the value of that moment.
    const auto lines = saveLines(log);
    // The steps land within one turn of the main queue, so a loaded machine cannot stretch
    // them past the write's half second.
    for (double range : {7.1, 7.2, 7.3, 7.4})
        c.state->range = range;
    ASSERT_TRUE(c.mainLoopUntil([&] { return c.levelPasses == saves + 4; }));
    ASSERT_TRUE(c.mainLoopUntil([&] { return saveLines(log) == lines + 1; }));
    settle();
    EXPECT_EQ(saveLines(log), lines + 1);
    EXPECT_EQ(c.defaults.number("savedRange"), std::optional<double>(7.4));
}

TEST(DeskFollowsEdits, ADS100SourceAndLoudspeakerAtOneSpotAreDrawnAtOneSpot) {
    for (CanvasOrientation orientation : allCanvasOrientations) {
        Canvas c;
        c.state->canvasOrientation = orientation;
        auto source = c.addSource(1, {100, 100});
        c.view.handleRemoteObjectXY(1, 1.0f, 0.5f);
        EXPECT_EQ(source->positionMeters.get(), (Point{0.5, -1.0}));
        SoundscapeSpeaker cabinet;
        cabinet.x = 1.0f;
        cabinet.y = 0.5f;
        const auto marker = CanvasMarkerGeometry::soundscapeSpeakerMarker(
            cabinet, orientation, c.view.zoomLevel, c.state->zeroPoint);
        EXPECT_NEAR(marker.position.x, source->position->x, 1e-9);
        EXPECT_NEAR(marker.position.y, source->position->y, 1e-9);
    }
}
