#include "Sonavant/model/AppState.h"
#include "platform/Log.h"

#include "AppStateTestSupport.h"

#include <gtest/gtest.h>

using namespace appstate_test;

TEST(AppStateUndo, HistoryKeepsTwentyEntriesAndAPushClearsRedo) {
    HistoryReset reset;
    auto live = firstLaunchState();
    for (int i = 1; i <= 21; ++i) {
        live->range = i;
        live->saveStateForUndo();
    }
    ASSERT_EQ(AppState::undoStack.size(), 20u);
    EXPECT_EQ(AppState::undoStack.front()->range, 2.0); // the first push is gone
    EXPECT_EQ(AppState::undoStack.back()->range, 21.0);
    EXPECT_NE(AppState::undoStack.back().get(), live.get());

    live->range = 22;
    live->undo();
    EXPECT_EQ(live->range, 21.0);
    ASSERT_EQ(AppState::redoStack.size(), 1u);
    live->redo();
    EXPECT_EQ(live->range, 22.0);
    live->undo();
    EXPECT_EQ(AppState::redoStack.size(), 1u);
    live->range = 30; // an edit after the undo
    live->saveStateForUndo();
    EXPECT_TRUE(AppState::redoStack.empty());

    // Empty lists: nothing happens.
    AppState::clearHistory();
    live->undo();
    live->redo();
    EXPECT_EQ(live->range, 30.0);
}

TEST(AppStateUndo, IdenticalEntriesAreSkippedInOneStep) {
    HistoryReset reset;
    auto live = firstLaunchState();
    live->range = 1;
    live->saveStateForUndo();
    live->range = 2;
    live->saveStateForUndo(); // pushed without a change after it
    live->saveStateForUndo();
    live->undo();
    EXPECT_EQ(live->range, 1.0);
    EXPECT_TRUE(AppState::undoStack.empty());
    ASSERT_EQ(AppState::redoStack.size(), 1u);
    EXPECT_EQ(AppState::redoStack.front()->range, 2.0);

    // Only identical entries left: they go, and nothing else changes.
    AppState::clearHistory();
    live->saveStateForUndo();
    live->saveStateForUndo();
    int announced = 0;
    auto subscription = live->range.observe([&](double) { ++announced; });
    live->undo();
    EXPECT_TRUE(AppState::undoStack.empty());
    EXPECT_TRUE(AppState::redoStack.empty());
    EXPECT_EQ(announced, 0);
}

TEST(AppStateUndo, UndoRestoresTheShowAndItsAreasButNotTheViewSettings) {
    HistoryReset reset;
    auto live = fullShow();
    const auto areas = live->audienceAreas.get();
    live->saveStateForUndo();

    live->speakers.update([](auto& list) { list.pop_back(); });
    live->soundObjects = std::vector<std::shared_ptr<SoundObject>>{};
    live->pathCues = std::vector<std::shared_ptr<PathCue>>{};
    live->groups = std::vector<ObjectGroup>{};
    live->selectedDesk = std::nullopt;
    live->minLevel = 0;
    live->audienceAreas = std::vector<AudienceArea>{};
    live->panningMode = PanningMode::linear;
    live->showSpeakerFocus = false;
    live->showGrid = true;
    live->mixerLevels = PerSourcePerSpeaker<double>{{platform::UUID::random(), {{1, 1.0}}}};

    live->undo();
    EXPECT_EQ(live->speakers->size(), 2u);
    EXPECT_EQ(live->soundObjects->size(), 2u);
    EXPECT_EQ(live->pathCues->size(), 1u);
    EXPECT_EQ(live->groups->size(), 1u);
    EXPECT_TRUE(live->selectedDesk->has_value());
    EXPECT_EQ(live->minLevel, 10);
    EXPECT_EQ(live->audienceAreas.get(), areas);
    EXPECT_EQ(live->panningMode.get(), PanningMode::linear);
    EXPECT_FALSE(live->showSpeakerFocus);
    EXPECT_TRUE(live->showGrid);
    EXPECT_TRUE(live->mixerLevels->empty()); // came back through coding
    EXPECT_EQ(live->speakers.get()[1].focus, 45.5);
}

TEST(AppStateUndo, NothingIsPushedWhileRestoring) {
    HistoryReset reset;
    auto live = firstLaunchState();
    live->saveStateForUndo();
    live->range = 9;
    live->saveStateForUndo();
    live->range = 10;

    // An observer that pushes on every change, as editing code does.
    bool sawRestoring = false;
    auto subscription = live->range.observe([&](double) {
        sawRestoring = sawRestoring || AppState::isRestoring;
        live->saveStateForUndo();
    });
    live->undo();
    EXPECT_TRUE(sawRestoring);
    EXPECT_FALSE(AppState::isRestoring);
    EXPECT_EQ(live->range, 9.0);
    EXPECT_EQ(AppState::undoStack.size(), 1u);
    EXPECT_EQ(AppState::redoStack.size(), 1u);
}

TEST(AppStateUndo, AFailedCopyNeverStoresTheLiveState) {
    HistoryReset reset;
    auto live = firstLaunchState();
    live->range = 1;
    live->saveStateForUndo();
    live->range = 2;
    live->soundObjects.update([](auto& list) { list.push_back(nullptr); }); // cannot be coded

    platform::LogCapture log;
    EXPECT_EQ(live->deepCopy(), nullptr);
    live->saveStateForUndo();
    EXPECT_TRUE(log.contains("❌ Deep copy failed: "));
    ASSERT_EQ(AppState::undoStack.size(), 1u);
    EXPECT_NE(AppState::undoStack.front().get(), live.get());

    // The way back still works; there is just no way forward to the broken state.
    live->undo();
    EXPECT_EQ(live->range, 1.0);
    EXPECT_TRUE(live->soundObjects->empty());
    EXPECT_TRUE(AppState::redoStack.empty());
}

TEST(AppStateUndo, ACopyHoldsExactlyWhatADocumentHolds) {
    auto live = fullShow();
    live->showGrid = true;
    live->selectedSoundObject = live->soundObjects->front();
    live->mixerLevels = PerSourcePerSpeaker<double>{{live->soundObjects->front()->id, {{1, 0.5}}}};

    auto copy = live->deepCopy();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->encode(), AppState::decode(live->encode(), "")->encode());
    EXPECT_FALSE(copy->showGrid);
    EXPECT_EQ(copy->selectedSoundObject.get(), nullptr);
    EXPECT_TRUE(copy->mixerLevels->empty());

    // Nothing is shared with the live show.
    EXPECT_NE(copy->soundObjects->front(), live->soundObjects->front());
    EXPECT_EQ(copy->soundObjects->front()->id, live->soundObjects->front()->id);
    live->soundObjects->front()->name = "Renamed";
    live->pathCues->front()->nodesMeters.push_back({9, 9});
    EXPECT_EQ(copy->soundObjects->front()->name.get(), "Input 1");
    EXPECT_EQ(copy->pathCues->front()->nodesMeters.size(), 3u);
}

TEST(AppStateUndo, EntriesCompareByMetresAndTheOutputSwitchStaysAsItIs) {
    HistoryReset reset;
    auto live = fullShow();
    std::vector<AppState::Replacement> announced;
    auto subscription = live->replaced.sink([&](const AppState::Replacement& r) { announced.push_back(r); });
    const Point metresBefore = live->speakers.get()[0].positionMeters;
    live->saveStateForUndo(); // before a drag
    live->speakers.update([](auto& list) {
        list[0].positionMeters = {9, 9};
        list[0].position = {900, -300};
    });
    live->saveStateForUndo(); // after it

    // A zoom and canvas change: every canvas point and the zero point move, no metre does.
    live->speakers.update([](auto& list) {
        for (auto& s : list)
            s.position = {s.position.x * 0.9, s.position.y * 0.9};
    });
    for (const auto& source : live->soundObjects.get())
        source->position = Point{source->position->x + 7, source->position->y};
    live->zeroPoint = Point{321, 123};
    live->oscOutputOn = false;

    live->undo(); // one real edit back, not the entry equal in metres
    EXPECT_EQ(live->speakers.get()[0].positionMeters, metresBefore);
    EXPECT_FALSE(live->oscOutputOn) << "undo keeps the live output switch";
    EXPECT_EQ(announced, std::vector<AppState::Replacement>{AppState::Replacement::restored});
    live->redo();
    EXPECT_EQ(live->speakers.get()[0].positionMeters, (Point{9, 9}));
    EXPECT_FALSE(live->oscOutputOn);
    EXPECT_EQ(announced.size(), 2u);

    auto copy = live->deepCopy();
    copy->oscOutputOn = true;
    copy->zeroPoint = Point{1, 2};
    copy->speakers.update([](auto& list) { list[0].position = {5, 5}; });
    EXPECT_TRUE(AppState::sameShow(*live, *copy));
    copy->speakers.update([](auto& list) { list[0].positionMeters = {5, 5}; });
    EXPECT_FALSE(AppState::sameShow(*live, *copy));

    // Opening a show is announced as such.
    live->load(*fullShow());
    EXPECT_EQ(announced.back(), AppState::Replacement::opened);
}

TEST(AppStateUndo, PushesThatChangeNothingRecordNothingAndKeepTheWayForward) {
    HistoryReset reset;
    auto live = firstLaunchState();
    for (double range : {1.0, 2.0, 3.0}) {
        live->range = range;
        live->saveStateForUndo();
        live->saveStateForUndo(); // a click between edits: the same show
    }
    EXPECT_EQ(AppState::undoStack.size(), 3u);
    live->range = 4; // an edit that recorded only before itself

    // A click after an undo records nothing and keeps the redo list.
    live->undo();
    EXPECT_EQ(live->range, 3.0);
    live->saveStateForUndo();
    EXPECT_EQ(AppState::undoStack.size(), 2u);
    ASSERT_EQ(AppState::redoStack.size(), 1u);
    live->undo();
    live->saveStateForUndo();
    live->undo();
    EXPECT_EQ(live->range, 1.0);
    live->redo();
    live->saveStateForUndo();
    live->redo();
    live->redo();
    EXPECT_EQ(live->range, 4.0);
    EXPECT_TRUE(AppState::redoStack.empty());

    // An edit after an undo whose push came before it (the state the undo left): the undo
    // after it returns to that state, and the edit has ended the old way forward.
    live->undo();
    EXPECT_EQ(live->range, 3.0);
    live->saveStateForUndo();
    live->range = 5;
    live->undo();
    EXPECT_EQ(live->range, 3.0);
    live->redo();
    EXPECT_EQ(live->range, 5.0);
    live->redo();
    EXPECT_EQ(live->range, 5.0) << "4 is no longer ahead";
    live->undo();
    live->undo();
    EXPECT_EQ(live->range, 2.0);
    live->undo();
    EXPECT_EQ(live->range, 1.0);
    EXPECT_TRUE(AppState::undoStack.empty());
}
