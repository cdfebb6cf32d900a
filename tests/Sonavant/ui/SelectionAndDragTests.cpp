// Selection keys, clicks, item drags and the rubber band, driven through the pointer router
// with plain events, as the canvas widget drives them.

#include "CanvasTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace canvastest;

TEST(SelectionKeys, BuildAndParseAsEveryPartExchangesThem) {
    const auto id = *platform::UUID::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    EXPECT_EQ(soundObjectKey(id), "soundObject-E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(speakerKey(-4), "speaker--4");
    EXPECT_EQ(pathNodeKey(id, 3), "pathNode:E621E1F8-C36C-495A-93FC-0C247A3E6E5F:3");
    EXPECT_EQ(soundObjectIDFromKey(soundObjectKey(id)), id);
    EXPECT_EQ(speakerIDFromKey("speaker-12"), 12);
    EXPECT_EQ(speakerIDFromKey("speaker--4"), -4);
    EXPECT_EQ(speakerIDFromKey("speaker-speaker-3"), 3); // every occurrence of the prefix goes
    // Sources are tested first; malformed rests are skipped.
    EXPECT_EQ(speakerIDFromKey(soundObjectKey(id)), std::nullopt);
    EXPECT_EQ(speakerIDFromKey("speaker-3x"), std::nullopt);
    EXPECT_EQ(speakerIDFromKey("speaker-"), std::nullopt);
    EXPECT_EQ(speakerIDFromKey("speaker-+3"), std::nullopt);
    EXPECT_EQ(speakerIDFromKey("speaker-99999999999999999999"), std::nullopt);
    EXPECT_EQ(soundObjectIDFromKey("soundObject-nope"), std::nullopt);
    EXPECT_EQ(soundObjectIDFromKey(pathNodeKey(id, 0)), std::nullopt);
}

TEST(CanvasClicks, ShiftAddsWithoutTogglingAndAPlainClickKeepsAGroup) {
    Canvas c;
    auto a = c.addSource(1, {100, 100});
    auto b = c.addSource(2, {200, 100});
    c.addSpeaker(1, {300, 100});

    c.click({100, 100});
    EXPECT_EQ(c.view.selectedObjects.get(), std::set<std::string>{soundObjectKey(a->id)});
    EXPECT_EQ(c.view.localSelectedSoundObject.get(), a);
    EXPECT_EQ(c.state->selectedSoundObject.get(), a);
    EXPECT_EQ(c.undoCount(), 1u); // the press on an unselected source: the first state recorded

    c.click({200, 100}, shift);
    c.click({300, 100}, shift);
    c.click({200, 100}, shift); // already selected: no toggle, no push
    const std::set<std::string> all{soundObjectKey(a->id), soundObjectKey(b->id), speakerKey(1)};
    EXPECT_EQ(c.view.selectedObjects.get(), all);
    EXPECT_EQ(c.undoCount(), 1u);                              // selecting changes no show: no further state
    EXPECT_EQ(c.view.localSelectedSoundObject.get(), nullptr); // the loudspeaker click cleared it

    // A click without Shift on a member keeps the group, so it can be dragged together.
    c.click({100, 100});
    EXPECT_EQ(c.view.selectedObjects.get(), all);
    c.drag({100, 100}, {110, 120});
    EXPECT_TRUE(near(a->position, {110, 120}));
    EXPECT_TRUE(near(b->position, {210, 120}));
    EXPECT_TRUE(near(c.speaker(1).position, {310, 120}));

    // The background click clears; its pushes find the show as recorded after the drag and
    // record nothing.
    const auto before = c.undoCount();
    c.click({600, 500});
    EXPECT_TRUE(c.view.selectedObjects->empty());
    c.click({600, 500});
    EXPECT_EQ(c.undoCount(), before);

    // While a path is drawn the click keeps the selection but still pushes.
    c.click({110, 120});
    c.view.isRecordingPath = true;
    c.click({600, 500});
    EXPECT_EQ(c.view.selectedObjects->size(), 1u);
}

TEST(CanvasClicks, DoubleClicksOpenTheSheetsThroughThePresenter) {
    Canvas c;
    auto a = c.addSource(1, {100, 100});
    c.addSpeaker(7, {300, 100});

    c.doubleClick({100, 100});
    EXPECT_EQ(c.presenter->inputSheets, std::vector<platform::UUID>{a->id});
    EXPECT_EQ(c.view.activeSoundObject.get(), a);
    EXPECT_EQ(c.undoCount(), 1u); // the first press; the double-click changes no show

    c.doubleClick({300, 100});
    EXPECT_EQ(c.presenter->speakerSheets, std::vector<std::int64_t>{7});
    ASSERT_TRUE(c.view.activeSpeaker->has_value());
    EXPECT_EQ((*c.view.activeSpeaker)->id, 7);
    EXPECT_EQ(c.view.selectedObjects.get(), std::set<std::string>{speakerKey(7)});
    EXPECT_EQ(c.undoCount(), 1u); // the press records no change; opening a loudspeaker pushes nothing

    c.doubleClick({600, 500}); // the background opens nothing
    EXPECT_EQ(c.presenter->inputSheets.size() + c.presenter->speakerSheets.size(), 2u);
}

TEST(ItemDrags, ThresholdsUndoPushesAndLevelsFollowEveryMove) {
    Canvas c;
    auto a = c.addSource(1, {100, 100});
    c.addSpeaker(1, {400, 100});
    c.addSpeaker(2, {500, 100});
    const Point metresBefore = a->positionMeters;

    // 2 points on a source and 9 on a loudspeaker are clicks: nothing moves.
    c.drag({100, 100}, {102, 100}, 2);
    EXPECT_EQ(a->position.get(), (Point{100, 100}));
    c.drag({400, 100}, {409, 100}, 3);
    EXPECT_EQ(c.speaker(1).position, (Point{400, 100}));
    EXPECT_EQ(c.view.dragStartPositions->size(), 0u);

    // A source drag: a push at the press (unselected), one at the first move, one at the end;
    // the first two find the same show, so two states; a level pass on every move and one at
    // the end.
    c.click({600, 500});
    AppState::clearHistory();
    c.levelPasses = 0;
    c.drag({100, 100}, {140, 100}, 8);
    EXPECT_TRUE(near(a->position, {140, 100}));
    EXPECT_EQ(c.undoCount(), 2u);
    EXPECT_EQ(c.levelPasses, 9); // every move (5 points each, all past 3) and the end
    EXPECT_NEAR(a->positionMeters->x, metresBefore.x + 0.4, 1e-9);
    EXPECT_TRUE(c.view.dragStartPositions->empty());
    EXPECT_EQ(c.view.dragStartLocation.get(), (Point{0, 0}));
    // One undo step puts the source back.
    c.state->undo();
    EXPECT_TRUE(near(c.state->soundObjects.get()[0]->positionMeters, metresBefore));

    // A loudspeaker drag moves the selected loudspeakers only, even with sources selected.
    c.click({600, 500});
    c.click({140, 100});
    c.click({400, 100}, shift);
    c.click({500, 100}, shift);
    const Point sourceAt = c.state->soundObjects.get()[0]->position;
    c.drag({400, 100}, {400, 150}, 5);
    EXPECT_TRUE(near(c.speaker(1).position, {400, 150}));
    EXPECT_TRUE(near(c.speaker(2).position, {500, 150}));
    EXPECT_TRUE(near(c.state->soundObjects.get()[0]->position, sourceAt));
    EXPECT_NEAR(c.speaker(2).positionMeters.y, (600 - 150) / 100.0, 1e-9);
}

TEST(ItemDrags, FinalPositionsBecomeMetresUnderTheOrientation) {
    for (auto [orientation, expected] : {std::pair{CanvasOrientation::top, Point{2, 2}},
                                         std::pair{CanvasOrientation::right, Point{-2, 2}}}) {
        Canvas c;
        c.state->canvasOrientation = orientation;
        c.state->zeroPoint = Point{100, 500};
        auto a = c.addSource(1, {150, 450});
        c.drag({150, 450}, {300, 300});
        EXPECT_TRUE(near(a->position, {300, 300}));
        EXPECT_TRUE(near(a->positionMeters, expected, 1e-12)) << rawValue(orientation);
        // The canvas position and the metres agree.
        EXPECT_TRUE(near(metresToCanvas(orientation, a->positionMeters, 100, {100, 500}), {300, 300}, 1e-9));
    }
}

TEST(ItemDrags, BrokenLocationsAndZoomZeroNeverReachAStoredPosition) {
    Canvas c;
    auto a = c.addSource(1, {100, 100});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    c.press({100, 100});
    c.moveTo({nan, 120});
    c.moveTo({110, inf});
    c.moveTo({1e300, 100});
    EXPECT_EQ(a->position.get(), (Point{100, 100}));
    // Called directly, the handlers refuse them too.
    c.view.moveSelectedObjects({{100, 100}, {-1e12, 5}}, *a);
    c.view.updateSelectionRect({{nan, 0}, {1, 1}});
    c.view.speakerFocusDragged(1, {nan, nan});
    EXPECT_EQ(a->position.get(), (Point{100, 100}));
    EXPECT_FALSE(c.view.selectionRect->has_value());
    c.release({100, 100});

    // A zoom of 0 converts with the default scale instead of dividing by zero.
    c.view.zoomLevel = 0.0;
    c.drag({100, 100}, {200, 100});
    EXPECT_TRUE(std::isfinite(a->positionMeters->x) && std::isfinite(a->positionMeters->y));
    EXPECT_NEAR(a->positionMeters->x, 2.0, 1e-9);
}

TEST(RubberBand, SelectsSourcesOnlyWithTheEdgesAsGiven) {
    Canvas c;
    auto inside = c.addSource(1, {200, 200});
    auto onLeft = c.addSource(2, {100, 250});
    auto onRight = c.addSource(3, {400, 250});
    auto onBottom = c.addSource(4, {250, 300});
    auto onTop = c.addSource(5, {250, 100});
    c.addSpeaker(1, {300, 200});

    c.drag({117, 250}, {400, 300}); // starts 17 points from a source: nothing happens
    EXPECT_FALSE(c.view.selectionRect->has_value());

    AppState::clearHistory();
    c.press({400, 100});
    c.moveTo({398, 100}); // under 5 points: no band yet
    EXPECT_FALSE(c.view.selectionRect->has_value());
    c.moveTo({300, 200});
    c.moveTo({100, 300});
    ASSERT_TRUE(c.view.selectionRect->has_value());
    EXPECT_EQ(**c.view.selectionRect, (ViewRect{{100, 100}, {300, 200}}));
    c.release({100, 300});
    const std::set<std::string> expected{soundObjectKey(inside->id), soundObjectKey(onLeft->id),
                                         soundObjectKey(onTop->id)};
    EXPECT_EQ(c.view.selectedObjects.get(), expected);
    EXPECT_FALSE(c.view.selectionRect->has_value());
    EXPECT_FALSE(c.view.selectionStart->has_value());
    EXPECT_EQ(c.undoCount(), 1u); // start and end: the same show, one state

    // With Shift the band adds; without it an empty band clears every kind of key.
    c.view.selectedObjects.update([](auto& keys) { keys.insert("pathNode:X:0"); });
    c.drag({600, 400}, {700, 500}, 4, shift);
    EXPECT_EQ(c.view.selectedObjects->size(), 4u);
    c.drag({600, 400}, {700, 500});
    EXPECT_TRUE(c.view.selectedObjects->empty());
    (void)onRight;
    (void)onBottom;

    // No band while drawing a path or before the canvas was laid out.
    c.view.isRecordingPath = true;
    c.drag({600, 400}, {700, 500});
    EXPECT_FALSE(c.view.selectionRect->has_value());
}

TEST(EditMode, PressesDragsAndClicksDoNothing) {
    Canvas c;
    auto a = c.addSource(1, {100, 100});
    c.addSpeaker(1, {300, 100});
    c.state->isEditingAudienceArea = true;
    c.drag({100, 100}, {200, 200});
    c.drag({300, 100}, {300, 300});
    c.doubleClick({100, 100});
    c.drag({600, 400}, {700, 500});
    c.click({600, 400});
    EXPECT_EQ(a->position.get(), (Point{100, 100}));
    EXPECT_EQ(c.speaker(1).position, (Point{300, 100}));
    EXPECT_TRUE(c.view.selectedObjects->empty());
    EXPECT_EQ(c.undoCount(), 0u);
    EXPECT_TRUE(c.presenter->inputSheets.empty());
}
