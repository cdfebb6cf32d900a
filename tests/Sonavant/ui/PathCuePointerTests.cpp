// The path cues' pointer layer with the canvas's router: the drawing drag beside the item
// gestures, the ending release, and node handles.

#include "Sonavant/ui/CanvasTestSupport.h"
#include "Sonavant/ui/PathCuePointerLayer.h"

#include <gtest/gtest.h>

using namespace canvastest;

namespace {

struct PathCuePointerTest : Canvas, ::testing::Test {
    PathCuePointerLayer layer;
    PathCuePointerTest() { router.addLayer(&layer); }

    void rightClick(Point at) {
        router.handle({CanvasPointerEvent::Kind::press, at, 0, CanvasPointerEvent::Button::right});
        router.handle({CanvasPointerEvent::Kind::release, at, 0, CanvasPointerEvent::Button::right});
    }
    std::shared_ptr<PathCue> selectedCueWith(std::vector<Point> metres) {
        auto cue = std::make_shared<PathCue>(
            platform::UUID::random(), "Cue 1", 4.0, std::vector<platform::UUID>{}, std::move(metres), 1.0,
            std::nullopt, std::nullopt, false, std::nullopt, TriggerNextOption::none, false);
        view.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{cue};
        view.pathManager->selectCue(cue, false);
        return cue;
    }
};

TEST_F(PathCuePointerTest, AStrokeFromTheSelectedSourceDrawsAndLeavesTheSourceWhereItIs) {
    auto source = addSource(1, {200, 300});
    click({200, 300});
    ASSERT_TRUE(view.isSoundObjectSelected(*source));
    view.startDrawingPath();
    const auto undoBefore = undoCount();
    const int passesBefore = levelPasses;

    drag({200, 300}, {500, 300}, 30);
    EXPECT_TRUE(near(source->position, {200, 300})) << "the stroke moved the source";
    EXPECT_EQ(levelPasses, passesBefore);
    EXPECT_EQ(undoCount(), undoBefore) << "the stroke's state is the one the click recorded";
    EXPECT_EQ(view.pathManager->currentPathNodes->size(), 4u); // the seed and three metres
    EXPECT_TRUE(view.isRecordingPath.get());

    // A plain click continues the path; a right click ends it, keeping the selection.
    click({500, 150});
    EXPECT_TRUE(view.isRecordingPath.get());
    EXPECT_TRUE(view.isSoundObjectSelected(*source));
    rightClick({520, 100});
    EXPECT_FALSE(view.isRecordingPath.get());
    ASSERT_EQ(view.pathManager->pathCues->size(), 1u);
    auto cue = view.pathManager->pathCues->front();
    EXPECT_EQ(cue->soundObjectIDs, std::vector<platform::UUID>{source->id});
    EXPECT_TRUE(view.isSoundObjectSelected(*source)) << "the ending click cleared the selection";

    // After the drawing, strokes move sources again.
    drag({200, 300}, {260, 300});
    EXPECT_TRUE(near(source->position, {260, 300}));
}

TEST_F(PathCuePointerTest, AControlClickEndsThePathAndShiftLocksTheStroke) {
    auto source = addSource(1, {100, 100});
    view.selectItem(soundObjectKey(source->id));
    view.startDrawingPath();
    drag({100, 100}, {400, 130}, 10, shift);
    for (const Point& node : view.pathManager->currentPathNodes.get())
        EXPECT_EQ(node.y, 100.0);
    click({400, 400}, ContentView::controlModifierFlag);
    EXPECT_FALSE(view.isRecordingPath.get());
    EXPECT_EQ(view.pathManager->pathCues->size(), 1u);
}

TEST_F(PathCuePointerTest, NodeHandlesDragTheirNodeButNotWhileAPathIsDrawn) {
    const Point zero = state->zeroPoint;
    auto cue = selectedCueWith({{0, 0}, {1, 0}});
    const Point node1{zero.x + 100, zero.y};
    ASSERT_TRUE(layer.hitTest(view, {node1.x + 4, node1.y + 3}));
    EXPECT_FALSE(layer.hitTest(view, {node1.x + 9, node1.y}));

    drag(node1, {node1.x + 50, node1.y - 80}, 5);
    EXPECT_TRUE(view.selectedObjects->contains(pathNodeKey(cue->id, 1)));
    EXPECT_TRUE(near(view.displayedCueNodes(*cue)[1], {node1.x + 50, node1.y - 80}));

    // While drawing, the same stroke draws instead.
    auto source = addSource(1, {50, 50});
    view.selectItem(soundObjectKey(source->id));
    view.startDrawingPath();
    const auto nodes = cue->nodesMeters;
    drag({node1.x + 50, node1.y - 80}, {node1.x + 300, node1.y - 80}, 5);
    EXPECT_EQ(cue->nodesMeters, nodes);
    EXPECT_GT(view.pathManager->currentPathNodes->size(), 1u);
}

} // namespace
