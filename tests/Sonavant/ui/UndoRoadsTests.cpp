// Undo over the roads of the main view: Clear and the edits that record only before them,
// the launched and the opened show as the base, a desk pick, and clicks that change nothing.

#include "CanvasTestSupport.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/ui/ArrowKeyMoveHandler.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace canvastest;

namespace {

Point onCanvas(Canvas& c, Point metres) {
    return metresToCanvas(c.state->canvasOrientation, metres, c.view.zoomLevel, c.state->zeroPoint);
}

std::shared_ptr<PathCue> cueWithID(const char* id, double number) {
    return std::make_shared<PathCue>(*platform::UUID::parse(id), "Cue", 4.0, std::vector<platform::UUID>{},
                                     std::vector<Point>{{0, 0}, {1, 1}}, number, std::nullopt, std::nullopt,
                                     false, std::nullopt, TriggerNextOption::none, false);
}

std::vector<std::string> cueIDs(const Canvas& c) {
    std::vector<std::string> ids;
    for (const auto& cue : c.view.pathManager->pathCues.get())
        ids.push_back(cue->id.string());
    return ids;
}

// The show as a saved file would hold it, its canvas points worked out from its metres as
// an undo or an open draws them.
std::string savedFile(Canvas& c) {
    c.view.refreshPositionsAfterZeroPointChange();
    return AppStatePersistence::encodeState(*c.state, "show.sonavant");
}

constexpr const char* cueA = "0A000000-0000-4000-8000-000000000001";
constexpr const char* cueB = "0B000000-0000-4000-8000-000000000002";

} // namespace

TEST(UndoRoads, ClearIsUndoneToTheStateJustBeforeIt) {
    Canvas c;
    // The launched show is the base: Clear as the first edit, then Undo.
    c.addSource(1, onCanvas(c, {3.0, 2.0}));
    c.view.clearCanvas();
    EXPECT_TRUE(c.state->soundObjects->empty());
    c.state->undo();
    ASSERT_EQ(c.state->soundObjects->size(), 1u);
    auto a = c.state->soundObjects->front();
    EXPECT_NEAR(a->positionMeters->x, 3.0, 1e-9);

    // An arrow nudge from 3.00 to 3.10 m, Clear, Undo: 3.10 m.
    c.view.selectedObjects = std::set<std::string>{soundObjectKey(a->id)};
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::right);
    EXPECT_NEAR(a->positionMeters->x, 3.10, 1e-9);
    c.view.clearCanvas();
    c.state->undo();
    ASSERT_EQ(c.state->soundObjects->size(), 1u);
    EXPECT_NEAR(c.state->soundObjects->front()->positionMeters->x, 3.10, 1e-9);
    c.state->undo();
    EXPECT_NEAR(c.state->soundObjects->front()->positionMeters->x, 3.00, 1e-9);

    // Delete Path of cue B, Clear, Undo: cue A alone comes back.
    c.view.pathManager->pathCues = std::vector{cueWithID(cueA, 1), cueWithID(cueB, 2)};
    c.view.pathManager->selectCue(c.view.pathManager->pathCues.get()[1], false);
    c.view.deleteSelectedPath();
    EXPECT_EQ(cueIDs(c), std::vector<std::string>{cueA});
    c.view.clearCanvas();
    EXPECT_TRUE(cueIDs(c).empty());
    c.state->undo();
    EXPECT_EQ(cueIDs(c), std::vector<std::string>{cueA});
    c.state->undo();
    EXPECT_EQ(cueIDs(c), (std::vector<std::string>{cueA, cueB}));

    // An audience area added, then Clear (which keeps areas): Undo stops right before Clear.
    c.view.addAudienceArea();
    ASSERT_EQ(c.state->audienceAreas->size(), 1u);
    c.view.clearCanvas();
    c.state->undo();
    EXPECT_EQ(cueIDs(c), (std::vector<std::string>{cueA, cueB}));
    EXPECT_EQ(c.state->audienceAreas->size(), 1u);
}

TEST(UndoRoads, TheOpenedShowIsWhatUndoAfterClearReturnsTo) {
    Canvas c;
    AppStatePersistence files(c.folder.path() / "support", c.defaults);
    c.view.persistence = &files;
    c.addSource(7, onCanvas(c, {2.5, 1.5}));
    const auto file = c.folder.path() / "Opened.sonavant";
    files.saveState(*c.state, file);
    c.view.clearCanvas();
    c.addSource(8, onCanvas(c, {1, 1}));

    c.view.handleImportResult({file, {}});
    ASSERT_EQ(c.state->soundObjects->size(), 1u);
    c.view.clearCanvas();
    c.state->undo();
    ASSERT_EQ(c.state->soundObjects->size(), 1u);
    EXPECT_EQ(c.state->soundObjects->front()->number.get(), 7);
    EXPECT_EQ(c.state->soundObjects->front()->positionMeters.get(), (Point{2.5, 1.5}));
}

TEST(UndoRoads, ADeskPickIsUndoneWithTheDeskItsPortAndTheShowItCleared) {
    Canvas c;
    const MixingDesk old = c.view.selectedDesk.get().value();
    c.addSource(1, onCanvas(c, {1, 1}));
    c.addSpeaker(1, onCanvas(c, {1.5, 1}));
    c.state->receivePort = "6000";

    MixingDesk soundScape = enginetest::udpDesk();
    soundScape.id = platform::UUID::random();
    soundScape.name = soundScape.displayName = "D&B Soundscape";
    soundScape.defaultPort = 50010;
    c.view.selectDesk(soundScape);
    EXPECT_EQ(c.view.targetPort.get(), "50010");
    EXPECT_TRUE(c.state->isSoundScapeMode);
    EXPECT_EQ(c.state->receivePort.get(), "50011");
    EXPECT_TRUE(c.state->soundObjects->empty());

    c.state->undo();
    EXPECT_EQ(c.view.selectedDesk.get(), std::optional(old));
    EXPECT_EQ(c.state->selectedDesk.get(), std::optional(old));
    EXPECT_EQ(c.view.targetPort.get(), "49900");
    EXPECT_FALSE(c.state->isSoundScapeMode);
    EXPECT_EQ(c.state->receivePort.get(), "6000");
    ASSERT_EQ(c.state->soundObjects->size(), 1u);

    // Redo gives the pick back, with its port; Undo takes it back again.
    c.state->redo();
    EXPECT_EQ(c.view.selectedDesk.get(), std::optional(soundScape));
    EXPECT_EQ(c.view.targetPort.get(), "50010");
    EXPECT_TRUE(c.state->isSoundScapeMode);
    EXPECT_TRUE(c.state->soundObjects->empty());
    c.state->undo();
    EXPECT_EQ(c.view.selectedDesk.get(), std::optional(old));
    EXPECT_EQ(c.view.targetPort.get(), "49900");

    // Levels go to the old desk's port again (the pick itself sent positions to the DS100).
    auto isLevel = [](const enginetest::RecordingOutlet::Sent& s) {
        return s.address.rfind("/dbaudio1/", 0) != 0;
    };
    c.view.selectedObjects = std::set<std::string>{soundObjectKey(c.state->soundObjects->front()->id)};
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::up);
    ASSERT_TRUE(enginetest::eventually([&] {
        const auto sent = c.outlet->sent();
        return std::any_of(sent.begin(), sent.end(), isLevel);
    }));
    for (const auto& s : c.outlet->sent())
        if (isLevel(s))
            EXPECT_EQ(s.port, 49900) << s.address;
}

TEST(UndoRoads, ClicksUseNoHistoryAndTenUndosWalkBackTenEdits) {
    Canvas c;
    c.addSource(1, onCanvas(c, {1, 1}));
    c.addSource(2, onCanvas(c, {3, 1}));
    c.addSpeaker(1, onCanvas(c, {2, 3}));
    auto source = [&](std::int64_t number) {
        for (const auto& s : c.state->soundObjects.get())
            if (s->number.get() == number)
                return s;
        throw std::runtime_error("no source");
    };
    c.view.pathManager->pathCues = std::vector{cueWithID(cueA, 1)};
    // A corner no added item lands on.
    const Point empty{785, 585};
    auto clickAround = [&] {
        c.click(empty); // a tap on the canvas
        c.click(source(1)->position);
        c.drag(empty, {795, 595}); // a rubber band over nothing
    };

    c.view.updateRelativeLevels(); // as at launch: the show takes the view's desk
    std::vector<std::string> files{savedFile(c)};
    auto edit = [&](const std::function<void()>& change) {
        clickAround();
        change();
        files.push_back(savedFile(c));
        clickAround();
    };
    edit([&] { c.drag(source(1)->position, onCanvas(c, {1.5, 1.5})); });
    edit([&] {
        c.click(source(2)->position);
        arrowKeyMoveHandler(c.view).handleMove(MoveDirection::right);
    });
    edit([&] { c.drag(c.speaker(1).position, onCanvas(c, {2.5, 3})); });
    edit([&] {
        c.click(source(2)->position);
        c.view.zeroSelected();
    });
    edit([&] { c.view.addSpeaker(); });
    edit([&] {
        c.click(source(1)->position);
        arrowKeyMoveHandler(c.view).handleMove(MoveDirection::up);
        c.view.selectedObjects = std::set<std::string>{};
        arrowKeyMoveHandler(c.view).handleMove(MoveDirection::up); // moves nothing
    });
    edit([&] { c.view.addSoundObject(); });
    edit([&] {
        c.click(source(2)->position);
        c.view.deleteSelection();
    });
    edit([&] { c.drag(source(1)->position, onCanvas(c, {4, 2})); });
    edit([&] {
        c.view.pathManager->selectCue(c.view.pathManager->pathCues.get()[0], false);
        c.view.deleteSelectedPath();
    });
    ASSERT_EQ(files.size(), 11u);
    EXPECT_TRUE(near(source(1)->positionMeters, {4, 2}));
    EXPECT_TRUE(cueIDs(c).empty());

    for (int step = 9; step >= 0; --step) {
        c.state->undo();
        EXPECT_TRUE(savedFile(c) == files[step]) << "after undo to step " << step;
        clickAround();
    }
    EXPECT_TRUE(near(source(1)->positionMeters, {1, 1}));
    EXPECT_EQ(cueIDs(c), std::vector<std::string>{cueA});
    for (int step = 1; step <= 10; ++step) {
        c.state->redo();
        EXPECT_TRUE(savedFile(c) == files[step]) << "after redo to step " << step;
        clickAround();
    }
    EXPECT_TRUE(near(source(1)->positionMeters, {4, 2}));
}
