// Drawing a path with the canvas's drag values, the path-cue layer's placement of cues and
// node drags, and the cue list's Draw Path and Delete Path.

#include "EngineTestSupport.h"

#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "platform/RunLoop.h"
#include "support/CueViewFixture.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace {

using namespace std::chrono_literals;
using Drag = ContentView::CanvasDrag;

class PathDrawingTest : public cueedit::CueEditingFixture {
protected:
    std::shared_ptr<SoundObject> addSource(std::int64_t number, double x, double y, bool selected) {
        auto s = support::inputAt(number, support::acmeDesk(), x, y, show->zeroPoint);
        show->soundObjects.update([&](auto& list) { list.push_back(s); });
        if (selected)
            view->selectedObjects.update([&](auto& keys) { keys.insert("soundObject-" + s->id.string()); });
        return s;
    }
    std::shared_ptr<PathCue> addCue(std::vector<Point> nodes, double number = 1) {
        auto c = std::make_shared<PathCue>(
            platform::UUID::random(), "Cue", 4.0, std::vector<platform::UUID>{}, std::move(nodes), number,
            std::nullopt, std::nullopt, false, std::nullopt, TriggerNextOption::none, false);
        manager->pathCues.update([&](auto& list) { list.push_back(c); });
        return c;
    }
    static Drag at(Point p, Point start = {}, bool shift = false) {
        return Drag{p, start, shift, false, false};
    }
    static double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }
};

TEST_F(PathDrawingTest, DrawPathStartsAtTheLowestNumberedSelectedSourceAndMenuHooksReachIt) {
    view->startDrawingPath();
    EXPECT_FALSE(view->isRecordingPath.get()); // nothing selected
    auto five = addSource(5, 1, 1, true);
    auto two = addSource(2, 3, 1, true);
    addSource(1, 0, 0, false);
    (void)five;
    // The menu's "Draw Path" reaches it through its action slot.
    view->installMenuActions();
    ActionDispatcher::invoke(ActionDispatcher::drawPath);
    ActionDispatcher::reset();
    EXPECT_TRUE(view->isRecordingPath.get());
    EXPECT_EQ(manager->currentPathNodes.get(), std::vector<Point>{two->position.get()});
}

TEST_F(PathDrawingTest, AStrokeOffersItsPointsPushesOneUndoStateAndAControlReleaseMakesTheCue) {
    auto s = addSource(1, 0, 0, true); // canvas (0, 600)
    addCue({{0, 0}}, 1);
    addCue({{0, 0}}, 5);
    view->startDrawingPath();
    const Point start = s->position;
    // A stroke in 10-point steps: every change is offered, nodes keep a metre apart.
    for (int step = 1; step <= 40; ++step)
        view->addPathPointFromDrag(at({start.x + step * 10.0, start.y}, start));
    EXPECT_EQ(AppState::undoStack.size(), 1u) << "one undo state per stroke";
    EXPECT_EQ(view->lastDragPosition.get(), (Point{start.x + 400, start.y}));
    // A plain release leaves the path open; the next stroke's push finds the same show (the
    // nodes being drawn are not part of it) and records nothing.
    const auto nodesBeforeRelease = manager->currentPathNodes->size();
    view->endPathOnControlClick(at({start.x + 400, start.y}, start));
    EXPECT_TRUE(view->isRecordingPath.get());
    EXPECT_EQ(manager->currentPathNodes->size(), nodesBeforeRelease) << "no second node on the same spot";
    EXPECT_EQ(AppState::undoStack.size(), 1u);
    for (int step = 1; step <= 25; ++step)
        view->addPathPointFromDrag(at({start.x + 400, start.y - step * 10.0}, start));
    EXPECT_EQ(AppState::undoStack.size(), 1u);

    Drag end = at({start.x + 400, start.y - 250}, start);
    end.rightButton = true;
    view->endPathOnControlClick(end);
    EXPECT_FALSE(view->isRecordingPath.get());
    ASSERT_EQ(manager->pathCues->size(), 3u);
    auto cue = manager->pathCues->back();
    EXPECT_EQ(cue->number, 2.0);
    EXPECT_EQ(cue->name, "Cue 3");
    EXPECT_EQ(cue->soundObjectIDs, std::vector<platform::UUID>{s->id});
    EXPECT_EQ(manager->selectedCueIDs.get(), std::set<platform::UUID>{cue->id});
    for (std::size_t i = 1; i + 1 < cue->nodesMeters.size(); ++i)
        EXPECT_GE(distance(cue->nodesMeters[i], cue->nodesMeters[i - 1]), 1.0 - 1e-9) << i;
    EXPECT_TRUE(manager->currentPathNodes->empty());
}

TEST_F(PathDrawingTest, ShiftLocksAnAxisAndNothingHappensOutsideDrawing) {
    addSource(1, 0, 0, true);
    view->addPathPointFromDrag(at({50, 50}));
    EXPECT_TRUE(manager->currentPathNodes->empty());
    EXPECT_EQ(view->lastDragPosition.get(), std::nullopt);

    manager->currentPathNodes = std::vector<Point>{};
    EXPECT_EQ(view->pathPointToOffer(at({30, 60}, {10, 20}, true)), (Point{10, 60})); // anchor: the start
    manager->currentPathNodes = std::vector<Point>{{100, 100}};
    EXPECT_EQ(view->pathPointToOffer(at({110, 110}, {}, true)), (Point{110, 100})); // a tie goes horizontal
    EXPECT_EQ(view->pathPointToOffer(at({101, 150}, {}, true)), (Point{100, 150}));

    view->startDrawingPath();
    show->isEditingAudienceArea = true;
    const auto before = manager->currentPathNodes.get();
    view->addPathPointFromDrag(at({500, 100}));
    EXPECT_EQ(manager->currentPathNodes.get(), before);
    EXPECT_FALSE(view->itemDragsEnabled()) << "sources stay put while a path is drawn";
}

TEST_F(PathDrawingTest, OnlySelectedCuesAreDrawnAndARelativeCueWhereItWouldPlay) {
    auto s = addSource(1, 2, 1, false);
    auto absolute = addCue({{0, 0}, {1, 0}});
    auto relative = addCue({{0, 0}, {1, 0}});
    relative->relative = true;
    relative->primarySoundObjectID = s->id;
    EXPECT_TRUE(view->displayedCues().empty());
    manager->selectCue(relative, false);
    manager->selectCue(absolute, true);
    EXPECT_EQ(view->displayedCues(), (std::vector<std::shared_ptr<PathCue>>{absolute, relative}));

    EXPECT_EQ(view->displayedCueNodes(*absolute), (std::vector<Point>{{0, 600}, {100, 600}}));
    // Not playing: drawn from its primary source.
    EXPECT_EQ(view->displayedCueNodes(*relative), (std::vector<Point>{{200, 500}, {300, 500}}));
    // With an offset (it has started): shifted by it.
    manager->relativeOffsets[relative->id] = Point{0.5, 0.5};
    EXPECT_EQ(view->displayedCueNodes(*relative), (std::vector<Point>{{50, 550}, {150, 550}}));
    EXPECT_EQ(pathNodeKey(relative->id, 1), "pathNode:" + relative->id.string() + ":1");
}

TEST_F(PathDrawingTest, NodeDragsPutTheNodeUnderThePointerAlsoOnAShiftedRelativeCue) {
    auto s = addSource(1, 2, 1, true);
    auto absolute = addCue({{0, 0}, {1, 0}, {1, 1}});
    auto relative = addCue({{0, 0}, {1, 0}, {1, 1}});
    relative->relative = true;
    relative->primarySoundObjectID = s->id;
    manager->selectCue(absolute, false);
    manager->selectCue(relative, true);

    view->dragCueNode(at({150, 550}), absolute, 1);
    EXPECT_EQ(view->selectedObjects.get(), std::set<std::string>{pathNodeKey(absolute->id, 1)});
    EXPECT_EQ(AppState::undoStack.size(), 1u);
    view->dragCueNode(at({160, 540}), absolute, 1);
    EXPECT_EQ(AppState::undoStack.size(), 1u) << "a selected node moves without a new entry";
    view->finishCueNodeDrag(at({170, 530}), absolute, 1);
    EXPECT_EQ(AppState::undoStack.size(), 2u);
    EXPECT_EQ(view->displayedCueNodes(*absolute)[1], (Point{170, 530}));
    EXPECT_EQ(absolute->nodesMeters[1], (Point{1.7, 0.7}));

    // Drawn from its source, shifted by (200, -100): the node still lands under the pointer.
    view->dragCueNode(at({420, 380}), relative, 2);
    view->finishCueNodeDrag(at({420, 380}), relative, 2);
    const Point drawn = view->displayedCueNodes(*relative)[2];
    EXPECT_NEAR(drawn.x, 420, 1e-9);
    EXPECT_NEAR(drawn.y, 380, 1e-9);
    // And while it plays, shifted by its offset.
    manager->relativeOffsets[relative->id] = Point{-1, 2};
    view->finishCueNodeDrag(at({10, 20}), relative, 1);
    const Point moved = view->displayedCueNodes(*relative)[1];
    EXPECT_NEAR(moved.x, 10, 1e-9);
    EXPECT_NEAR(moved.y, 20, 1e-9);

    // A node past the end, or a cue no longer listed, changes nothing.
    const auto nodes = absolute->nodesMeters;
    view->moveCueNode(*absolute, 9, {0, 0});
    manager->pathCues = std::vector<std::shared_ptr<PathCue>>{relative};
    view->moveCueNode(*absolute, 0, {0, 0});
    EXPECT_EQ(absolute->nodesMeters, nodes);
}

TEST_F(PathDrawingTest, DeletePathRemovesEverySelectedCueAndPushesAnUndoState) {
    auto one = addSource(1, 0, 0, false);
    auto a = addCue({{0, 0}, {1, 0}}, 1), b = addCue({{0, 0}, {1, 0}}, 2), c = addCue({{0, 0}, {1, 0}}, 3);
    b->soundObjectIDs = {one->id};
    manager->selectCue(a, false);
    manager->selectCue(b, true);
    manager->playPathCue(b, 100, {}, std::nullopt);
    view->deleteSelectedPath();
    EXPECT_EQ(manager->pathCues.get(), std::vector<std::shared_ptr<PathCue>>{c});
    EXPECT_TRUE(manager->selectedCueIDs->empty());
    EXPECT_EQ(manager->selectedCue.get(), nullptr);
    EXPECT_TRUE(manager->playingCueIDs->empty());
    EXPECT_EQ(AppState::undoStack.size(), 2u); // before the deletion and after it
    view->deleteSelectedPath();                // nothing selected: the cues stay, nothing is recorded
    EXPECT_EQ(manager->pathCues->size(), 1u);
    EXPECT_EQ(AppState::undoStack.size(), 2u);
}

} // namespace
