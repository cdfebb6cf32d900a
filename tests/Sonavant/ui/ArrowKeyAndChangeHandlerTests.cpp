// Arrow-key moves, the key-repeat gate, and the canvas's change handlers (first showing,
// resize, zoom, level settings).

#include "CanvasTestSupport.h"
#include "Sonavant/ui/ArrowKeyMoveHandler.h"
#include "Sonavant/ui/KeyRepeatGate.h"

#include "platform/RunLoop.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

using namespace canvastest;

TEST(ArrowKeys, StepTenPointsOnScreenAndMetresFollowTheOrientation) {
    Canvas c;
    auto a = c.addSource(1, {100, 100});
    c.addSpeaker(1, {300, 300});
    const auto pathNode = pathNodeKey(platform::UUID::random(), 0);
    c.view.selectedObjects =
        std::set<std::string>{soundObjectKey(a->id), speakerKey(1), pathNode, "speaker-x"};
    const Point metres = a->positionMeters;

    c.levelPasses = 0;
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::up);
    EXPECT_TRUE(near(a->position, {100, 90}));
    EXPECT_NEAR(a->positionMeters->y, metres.y + 0.1, 1e-9);
    EXPECT_NEAR(a->positionMeters->x, metres.x, 1e-9);
    EXPECT_TRUE(near(c.speaker(1).position, {300, 290}));
    EXPECT_EQ(c.levelPasses, 1);
    EXPECT_EQ(c.undoCount(), 2u); // the state before the press and after it

    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::left);
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::right);
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::right);
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::down);
    EXPECT_TRUE(near(a->position, {110, 100}));
    EXPECT_EQ(c.undoCount(), 6u); // and one per further press

    // Under "right" up is still up on the screen, and lowers x in metres.
    c.state->canvasOrientation = CanvasOrientation::right;
    c.view.refreshPositionsAfterZeroPointChange();
    const Point before = a->positionMeters, screen = a->position;
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::up);
    EXPECT_TRUE(near(a->position, {screen.x, screen.y - 10}, 1e-9));
    EXPECT_NEAR(a->positionMeters->x, before.x - 0.1, 1e-9);
    EXPECT_NEAR(a->positionMeters->y, before.y, 1e-9);

    // An empty selection still sends once but records nothing: Undo is not used up by it.
    c.view.selectedObjects = std::set<std::string>{};
    c.levelPasses = 0;
    const auto undo = c.undoCount();
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::up);
    EXPECT_EQ(c.levelPasses, 1);
    EXPECT_EQ(c.undoCount(), undo);
    // A selection of path nodes only moves nothing either.
    c.view.selectedObjects = std::set<std::string>{pathNode};
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::up);
    EXPECT_EQ(c.undoCount(), undo);
}

TEST(ArrowKeys, HeldKeyRepeatsDoNotPileUp) {
    KeyRepeatGate gate;
    EXPECT_TRUE(gate.offer(false)); // the press itself
    // Repeats that arrive while its move still waits are dropped...
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(gate.offer(true));
    // ...but separate presses never are.
    EXPECT_TRUE(gate.offer(false));
    EXPECT_EQ(gate.pending(), 2);
    gate.done();
    gate.done();
    // Once the work has run, the next repeat moves again.
    EXPECT_TRUE(gate.offer(true));
    EXPECT_FALSE(gate.offer(true));
}

namespace {

struct PlayingEngine : PathManager {
    int zoomChanges = 0;
    PlayingEngine() {
        currentPathNodes = std::vector<Point>{{500, 500}};
        currentZoomLevel.observe([this](const double&) { ++zoomChanges; }).store(observers);
    }
    bool hasRunningPlayback() const override { return true; }
    platform::SubscriptionBag observers;
};

} // namespace

TEST(CanvasChanges, AppearResizeAndZoomKeepMetresAndMoveTheDrawing) {
    Canvas c; // appeared at 800 x 600 with the zero point (0, 0)
    EXPECT_EQ(c.state->zeroPoint.get(), (Point{0, 600}));
    EXPECT_EQ(c.view.canvasSize.get(), (ViewSize{800, 600}));

    c.state->zeroPointPosition = ZeroPointPosition::center;
    auto a = c.addSource(1, {500, 250});
    c.addSpeaker(1, {100, 100});
    const Point sourceMetres = a->positionMeters, speakerMetres = c.speaker(1).positionMeters;
    c.view.canvasResized({1000, 600}, {{1000, 600}, {{0, 0}, {1000, 600}}});
    EXPECT_EQ(c.state->zeroPoint.get(), (Point{500, 300}));
    EXPECT_EQ(a->positionMeters.get(), sourceMetres);
    EXPECT_TRUE(near(a->position, metresToCanvas(CanvasOrientation::top, sourceMetres, 100, {500, 300})));
    EXPECT_TRUE(
        near(c.speaker(1).position, metresToCanvas(CanvasOrientation::top, speakerMetres, 100, {500, 300})));

    // A zoom change re-projects every item, also while a cue plays, and tells the engine.
    auto engine = std::make_shared<PlayingEngine>();
    c.view.pathManager = engine;
    c.view.zoomLevel = 50.0;
    c.view.zoomLevelChanged(50.0);
    EXPECT_EQ(engine->currentZoomLevel.get(), 50.0);
    EXPECT_EQ(engine->zoomChanges, 1);
    EXPECT_TRUE(near(a->position, metresToCanvas(CanvasOrientation::top, sourceMetres, 50, {500, 300})));
    EXPECT_TRUE(
        near(c.speaker(1).position, metresToCanvas(CanvasOrientation::top, speakerMetres, 50, {500, 300})));
    // No rubber band may start on a point of the path being drawn.
    EXPECT_FALSE(c.view.isCanvasSpotFree({510, 510}));
    EXPECT_TRUE(c.view.isCanvasSpotFree({520, 500}));
}

TEST(CanvasChanges, LevelSettingsSaveTheWorkingStateThenSend) {
    Canvas c;
    c.addSource(1, {100, 100});
    c.addSpeaker(1, {120, 100});
    c.state->range = 7.5;
    c.levelPasses = 0;
    c.view.levelSettingsChanged();
    EXPECT_EQ(c.levelPasses, 1);
    // Both files follow half a second after the change.
    EXPECT_TRUE(platform::MainRunLoop::runUntil(
        [&] { return c.defaults.number("savedRange") == std::optional<double>(7.5); }, 5s));
}
