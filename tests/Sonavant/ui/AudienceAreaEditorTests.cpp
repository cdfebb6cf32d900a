#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/ui/AudienceAreaGesture.h"
#include "support/ShowFixtures.h"
#include "support/SilentOutlet.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using support::SilentOutlet;

struct HistoryReset {
    HistoryReset() { AppState::clearHistory(); }
    ~HistoryReset() { AppState::clearHistory(); }
};

// An 800 × 600 canvas at zoom 100 with the zero point at (100, 500).
struct Editor : HistoryReset {
    std::shared_ptr<AppState> state = support::emptyShow({.imageScale = 1.0, .zeroPoint = {100, 500}});
    ContentView view{
        state, Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"), Binding<bool>(true),
        320.0, std::make_shared<SilentOutlet>()};
    AudienceAreaGesture gesture{view};

    Editor() { view.canvasSize = ViewSize{800, 600}; }

    const AudienceArea& area(std::size_t i = 0) const { return state->audienceAreas.get().at(i); }
    // One area with the given nodes, selected, edit mode on.
    platform::UUID editArea(std::vector<Point> nodes) {
        AudienceArea a;
        a.name = "Stalls";
        a.color = "teal";
        a.nodesMeters = std::move(nodes);
        state->audienceAreas.update([&](auto& list) { list.push_back(a); });
        state->selectedAudienceAreaID = a.id;
        state->isEditingAudienceArea = true;
        return a.id;
    }
    Point onCanvas(Point metres) const {
        return metresToCanvas(state->canvasOrientation, metres, view.zoomLevel, state->zeroPoint);
    }
};

void expectNear(Point actual, Point expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
}

} // namespace

TEST(AudienceAreaEditor, ANewAreaLandsInTheMiddleOfTheCanvasUnderEveryOrientation) {
    Editor e;
    e.view.addAudienceArea();
    ASSERT_EQ(e.state->audienceAreas->size(), 1u);
    EXPECT_EQ(e.area().nodesMeters, (std::vector<Point>{{2, 3}, {4, 3}, {4, 1}, {2, 1}}));
    EXPECT_EQ(e.area().name, "Audience");
    EXPECT_EQ(e.area().color, "blue");
    EXPECT_EQ(e.state->selectedAudienceAreaID.get(), e.area().id);
    EXPECT_FALSE(e.state->isEditingAudienceArea); // adding does not switch edit mode on
    ASSERT_EQ(AppState::undoStack.size(), 2u);    // before the addition and after it
    EXPECT_TRUE(AppState::undoStack.front()->audienceAreas->empty());

    for (auto orientation : {CanvasOrientation::right, CanvasOrientation::bottom, CanvasOrientation::left}) {
        Editor turned;
        turned.state->canvasOrientation = orientation;
        turned.view.addAudienceArea();
        Point mean;
        for (const auto& n : turned.area().nodesMeters) {
            const Point c = turned.onCanvas(n);
            mean.x += c.x / 4;
            mean.y += c.y / 4;
        }
        expectNear(mean, {400, 300});
    }
}

TEST(AudienceAreaEditor, NodeDragsFollowThePointerAndCanBeUndone) {
    Editor e;
    const auto id = e.editArea({{2, 3}, {4, 3}, {4, 1}, {2, 1}});
    const auto before = e.area().nodesMeters;
    e.view.zoomLevel = 50;

    // (+50, −20) points at zoom 50 is (+1.0, +0.4) metres, whatever happened between.
    e.view.audienceAreaNodeDragChanged(id, 2, {10, 10});
    EXPECT_TRUE(e.view.dragStartNodeMeters->contains(id.string() + "-node-2"));
    e.view.audienceAreaNodeDragChanged(id, 2, {50, -20});
    expectNear(e.area().nodesMeters[2], {5.0, 1.4});
    EXPECT_EQ(e.area().nodesMeters[0], before[0]);
    e.view.audienceAreaNodeDragEnded(id, 2);
    EXPECT_TRUE(e.view.dragStartNodeMeters->empty());

    // One entry before the drag, one after it.
    ASSERT_EQ(AppState::undoStack.size(), 2u);
    EXPECT_EQ(AppState::undoStack[0]->audienceAreas.get()[0].nodesMeters, before);
    EXPECT_EQ(AppState::undoStack[1]->audienceAreas.get(), e.state->audienceAreas.get());
    const auto moved = e.area().nodesMeters;
    e.state->undo();
    EXPECT_EQ(e.area().nodesMeters, before);
    e.state->redo();
    EXPECT_EQ(e.area().nodesMeters, moved);

    // Under a turned canvas the node still moves by exactly the pointer's translation.
    e.state->canvasOrientation = CanvasOrientation::right;
    const Point start = e.onCanvas(e.area().nodesMeters[0]);
    e.view.audienceAreaNodeDragChanged(id, 0, {30, 40});
    e.view.audienceAreaNodeDragEnded(id, 0);
    expectNear(e.onCanvas(e.area().nodesMeters[0]), {start.x + 30, start.y + 40});
}

TEST(AudienceAreaEditor, WholeAreaDragsMoveEveryNodeAndGoneAreasAreLeftAlone) {
    Editor e;
    const auto id = e.editArea({{2, 3}, {4, 3}, {4, 1}, {2, 1}});
    e.view.audienceAreaDragChanged(id, {0, 0});
    e.view.audienceAreaDragChanged(id, {100, 50});
    e.view.audienceAreaDragChanged(id, {150, -100});
    EXPECT_EQ(e.area().nodesMeters, (std::vector<Point>{{3.5, 4}, {5.5, 4}, {5.5, 2}, {3.5, 2}}));
    e.view.audienceAreaDragEnded(id);
    EXPECT_TRUE(e.view.dragStartAllNodes->empty());
    EXPECT_EQ(AppState::undoStack.size(), 2u);
    e.state->undo();
    EXPECT_EQ(e.area().nodesMeters, (std::vector<Point>{{2, 3}, {4, 3}, {4, 1}, {2, 1}}));

    // An area removed mid-drag, or a node index it no longer has: nothing changes, nothing breaks.
    Editor f;
    const auto gone = f.editArea({{0, 0}, {1, 0}, {1, 1}});
    f.view.audienceAreaDragChanged(gone, {10, 10});
    f.state->audienceAreas = std::vector<AudienceArea>{};
    f.view.audienceAreaDragChanged(gone, {20, 20});
    f.view.audienceAreaDragEnded(gone);
    EXPECT_TRUE(f.state->audienceAreas->empty());
    const auto other = f.editArea({{0, 0}, {1, 0}, {1, 1}});
    const auto undoCount = AppState::undoStack.size();
    f.view.audienceAreaNodeDragChanged(other, 7, {10, 10});
    f.view.audienceAreaNodeDragEnded(other, 7);
    EXPECT_EQ(AppState::undoStack.size(), undoCount);
    EXPECT_EQ(f.area().nodesMeters, (std::vector<Point>{{0, 0}, {1, 0}, {1, 1}}));
    f.view.setAudienceAreaName(gone, "Gone");
    f.view.setAudienceAreaColor(gone, "red");
    f.view.setAudienceAreaName(other, "Balcony");
    f.view.setAudienceAreaColor(other, "indigo");
    EXPECT_EQ(f.area().name, "Balcony");
    EXPECT_EQ(f.area().color, "indigo");
    EXPECT_EQ(AppState::undoStack.size(), undoCount); // name and colour push nothing
}

TEST(AudienceAreaEditor, AnAreaDragSendsLevelsWhenTheAreasShapeThePanLaw) {
    Editor e;
    const auto desk = support::acmeDesk();
    e.view.selectedDesk = desk;
    e.state->speakers = std::vector<Speaker>{support::speakerAt(1, {400, 200}, 1)};
    e.state->soundObjects = std::vector<std::shared_ptr<SoundObject>>{support::sourceAt(1, {300, 300}, desk)};
    const auto id = e.editArea({{2, 3}, {4, 3}, {4, 1}, {2, 1}});
    int passes = 0;
    auto counting = e.state->mixerLevels.observe([&](const auto&) { ++passes; });

    e.view.audienceAreaDragChanged(id, {40, 0});
    e.view.audienceAreaDragEnded(id);
    e.view.audienceAreaNodeDragChanged(id, 1, {40, 0});
    e.view.audienceAreaNodeDragEnded(id, 1);
    EXPECT_EQ(passes, 0); // the areas do not shape the levels

    e.state->audienceAwarePanLaw = true;
    e.view.audienceAreaDragChanged(id, {40, 0});
    EXPECT_EQ(passes, 0); // not on every change
    e.view.audienceAreaDragEnded(id);
    EXPECT_EQ(passes, 1);
    e.view.audienceAreaNodeDragChanged(id, 1, {-40, 0});
    e.view.audienceAreaNodeDragEnded(id, 1);
    EXPECT_EQ(passes, 2);
    e.view.addAudienceArea();
    EXPECT_EQ(passes, 3);
}

TEST(AudienceAreaEditor, FiguresStackTheEditedAreaOnTopAndAnchorItsPanel) {
    std::vector<AudienceArea> areas(3);
    areas[0].nodesMeters = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
    areas[1].nodesMeters = {{1, 1}, {3, 1}, {3, -1}, {1, -1}}; // two lowest nodes: the left one anchors
    areas[1].color = "Teal";
    areas[2].color = "chartreuse";
    const Point zero{100, 500};
    auto figures = audienceAreaFigures(areas, areas[1].id, true, CanvasOrientation::top, 100, zero);
    ASSERT_EQ(figures.size(), 3u);
    EXPECT_EQ(figures.back().id, areas[1].id);
    EXPECT_EQ(figures.back().zIndex, 101);
    EXPECT_EQ(figures[0].id, areas[0].id);
    EXPECT_EQ(figures[1].id, areas[2].id);
    EXPECT_EQ(figures.back().colour, NamedColor::teal);
    EXPECT_EQ(figures[1].colour, NamedColor::gray);
    EXPECT_EQ(figures.back().centre, (Point{300, 500}));
    EXPECT_EQ(figures.back().panelAnchor(), (Point{200, 600}));
    EXPECT_EQ(figures.back().panelCentre(), (Point{260, 630}));
    EXPECT_EQ(figures.back().outlineWidth(), 2.0);
    EXPECT_EQ(figures[0].outlineOpacity(), 0.5);
    EXPECT_EQ(figures[1].panelAnchor(), figures[1].centre); // no nodes

    // Outside edit mode: the show's order, no heavy outline, and nothing to hit.
    figures = audienceAreaFigures(areas, areas[1].id, false, CanvasOrientation::top, 100, zero);
    EXPECT_EQ(figures[1].id, areas[1].id);
    EXPECT_EQ(figures[1].outlineWidth(), 1.0);
    EXPECT_EQ(AudienceAreaHit::at(figures, {250, 450}).kind, AudienceAreaHit::Kind::none);

    // While editing: handles first, then the topmost outline.
    figures = audienceAreaFigures(areas, areas[1].id, true, CanvasOrientation::top, 100, zero);
    auto hit = AudienceAreaHit::at(figures, {206, 393}); // near node 0 of the edited area (200, 400)
    EXPECT_EQ(hit.kind, AudienceAreaHit::Kind::node);
    EXPECT_EQ(hit.node, 0u);
    hit = AudienceAreaHit::at(figures, {250, 450}); // where both areas overlap
    EXPECT_EQ(hit.kind, AudienceAreaHit::Kind::area);
    EXPECT_EQ(hit.id, areas[1].id);
    EXPECT_TRUE(hit.selected);
    hit = AudienceAreaHit::at(figures, {150, 350});
    EXPECT_EQ(hit.id, areas[0].id);
    EXPECT_FALSE(hit.selected);
    EXPECT_EQ(AudienceAreaHit::at(figures, {700, 100}).kind, AudienceAreaHit::Kind::none);

    EXPECT_EQ(AudienceAreaFigure::colourChoices(),
              (std::vector<std::string>{"black", "blue", "brown", "cyan", "gray", "green", "indigo", "mint",
                                        "orange", "pink", "purple", "red", "teal", "white", "yellow"}));
    EXPECT_EQ(AudienceAreaFigure::colourLabel("indigo"), "Indigo");

    // A figure-eight outline is hit in both loops.
    std::vector<Point> eight{{0, 0}, {10, 10}, {10, 0}, {0, 10}};
    EXPECT_TRUE(polygonContains(eight, {2, 5}));
    EXPECT_TRUE(polygonContains(eight, {8, 5}));
    EXPECT_FALSE(polygonContains(eight, {5, 1}));
    EXPECT_FALSE(polygonContains({{0, 0}, {10, 10}}, {5, 5}));
}

TEST(AudienceAreaEditor, GesturesTapToSelectAndDragWhatTheyPress) {
    Editor e;
    const auto first = e.editArea({{0, 0}, {2, 0}, {2, 2}, {0, 2}});  // canvas (100…300, 300…500)
    const auto second = e.editArea({{4, 0}, {6, 0}, {6, 2}, {4, 2}}); // canvas (500…700, 300…500)
    EXPECT_EQ(e.state->selectedAudienceAreaID.get(), second);

    // A tap on the other area selects it; a press that wanders off does not.
    EXPECT_TRUE(e.gesture.press({150, 450}));
    e.gesture.move({170, 450});
    e.gesture.release({170, 450});
    EXPECT_EQ(e.state->selectedAudienceAreaID.get(), second);
    EXPECT_TRUE(e.gesture.press({150, 450}));
    e.gesture.release({152, 451});
    EXPECT_EQ(e.state->selectedAudienceAreaID.get(), first);
    EXPECT_TRUE(AppState::undoStack.empty());

    // A press on a handle without movement is a drag: the node stays, and the pushes before and
    // after it find the same show: one state.
    EXPECT_TRUE(e.gesture.press({300, 300}));
    EXPECT_TRUE(e.gesture.isActive());
    e.gesture.release({300, 300});
    EXPECT_EQ(e.area(0).nodesMeters[2], (Point{2, 2}));
    EXPECT_EQ(AppState::undoStack.size(), 1u);

    // Dragging node 2 by (50, 0) points at zoom 100 moves it 0.5 m.
    e.gesture.press({302, 298});
    e.gesture.move({330, 298});
    e.gesture.release({352, 298});
    expectNear(e.area(0).nodesMeters[2], {2.5, 2});

    // Dragging inside the selected area moves it whole.
    e.gesture.press({150, 450});
    e.gesture.move({250, 450});
    e.gesture.cancel();
    EXPECT_FALSE(e.gesture.isActive());
    expectNear(e.area(0).nodesMeters[0], {1, 0});
    expectNear(e.area(0).nodesMeters[2], {3.5, 2});
    EXPECT_TRUE(e.view.dragStartAllNodes->empty());

    // Empty canvas, or edit mode off: the press is not the editor's.
    EXPECT_FALSE(e.gesture.press({450, 100}));
    e.state->isEditingAudienceArea = false;
    EXPECT_FALSE(e.gesture.press({250, 450}));
}
