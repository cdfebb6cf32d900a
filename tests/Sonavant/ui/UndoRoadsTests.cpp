// Undo over the roads of the main view: Clear and the edits that record only before them,
// the launched and the opened show as the base, a desk pick, and clicks that change nothing.

#include "CanvasTestSupport.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/ui/ArrowKeyMoveHandler.h"
#include "Sonavant/ui/CueSidebarModel.h"

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
    for (const auto& s : c.outlet->sent()) {
        if (isLevel(s))
            EXPECT_EQ(s.port, 49900) << s.address;
    }
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

namespace {

constexpr const char* otherDeskID = "0D000000-0000-4000-8000-0000000000D2";
constexpr const char* otherAreaID = "0E000000-0000-4000-8000-0000000000E1";

// A show to open whose every field a file holds differs from the launched show's.
std::shared_ptr<AppState> anotherShow() {
    MixingDesk desk = enginetest::udpDesk();
    desk.id = *platform::UUID::parse(otherDeskID);
    desk.name = desk.displayName = "Other Desk";
    desk.defaultPort = 50020;
    auto show = enginetest::firstLaunchState();
    Speaker speaker = enginetest::speakerAt(4, {0, 0}, 4);
    speaker.positionMeters = {-2, 1};
    show->speakers = std::vector{speaker};
    auto source = enginetest::sourceAt(9, {0, 0}, desk);
    source->positionMeters = Point{2, -1};
    show->soundObjects = std::vector{source};
    ObjectGroup group;
    group.name = "Band";
    group.soundObjectIDs = {source->id};
    show->groups = std::vector{group};
    Snapshot snapshot;
    snapshot.number = 1;
    snapshot.name = "Top";
    snapshot.fill(show->speakers.get(), show->soundObjects.get());
    show->snapshots = std::vector{snapshot};
    show->selectedDesk = desk;
    show->targetPort = "50020";
    show->showZeroPoint = false;
    show->range = 8;
    show->minLevel = 5;
    show->maxLevel = 95;
    show->minMaxRelitive = true;
    show->pathCues = std::vector{cueWithID(cueB, 3)};
    AudienceArea area;
    area.id = *platform::UUID::parse(otherAreaID);
    area.name = "Stalls";
    area.color = "teal";
    area.nodesMeters = {{-1, -1}, {1, -1}, {1, 1}};
    show->audienceAreas = std::vector{area};
    show->selectedAudienceAreaID = area.id;
    show->isEditingAudienceArea = true;
    show->zeroPointPosition = ZeroPointPosition::center;
    show->receivePort = "7001";
    show->backgroundImageURL = "file:///show/plan.png";
    show->showBackgroundImage = true;
    show->backgroundImageOffset = Point{3, 4};
    show->backgroundImageScale = 2;
    show->freezeStates = PerSourcePerSpeaker<bool>{{source->id, {{4, true}}}};
    show->muteStates = PerSourcePerSpeaker<bool>{{source->id, {{4, true}}}};
    show->canvasOrientation = CanvasOrientation::right;
    show->backgroundImageRotation = 15;
    show->showSidebar = false;
    show->constantPowerPan = false;
    show->panningMode = PanningMode::sine;
    show->showSpeakerFocus = true;
    show->showSpeakerCoverage = true;
    show->defaultSpeakerWidth = 90;
    show->audienceAwarePanLaw = true;
    return show;
}

// A saved show as the undo comparison takes it: without the canvas points, which follow the
// canvas and the zoom, and without the output switch, which stays as the operator set it.
std::string asCompared(AppStatePersistence& files, const std::filesystem::path& file) {
    auto show = files.loadState(file);
    if (!show)
        return "unreadable";
    show->zeroPoint = Point{0, 0};
    show->oscOutputOn = true;
    show->speakers.update([](auto& list) {
        for (auto& s : list)
            s.position = {0, 0};
    });
    for (const auto& source : show->soundObjects.get())
        source->position = Point{0, 0};
    return AppStatePersistence::encodeState(*show, file);
}

} // namespace

TEST(UndoRoads, OpenIsUndoneToTheWholeShowBeforeItAndRedoneToTheOpenedOne) {
    Canvas c;
    AppStatePersistence files(c.folder.path() / "support", c.defaults);
    c.view.persistence = &files;
    const MixingDesk launched = c.view.selectedDesk.get().value();
    const auto opened = c.folder.path() / "Other.sonavant";
    files.saveState(*anotherShow(), opened);

    c.addSource(1, onCanvas(c, {1, 2}));
    c.view.addSpeaker();
    c.state->panningMode = PanningMode::linear; // as the settings window sets it
    c.view.targetPort.set("49901");
    const auto fileA = c.folder.path() / "A.sonavant";
    files.saveState(*c.state, fileA);
    c.view.handleImportResult({opened, {}});
    ASSERT_EQ(c.state->soundObjects->size(), 1u);
    ASSERT_EQ(c.view.selectedDesk.get()->displayName, "Other Desk");
    const auto fileB = c.folder.path() / "B.sonavant";
    files.saveState(*c.state, fileB);
    ASSERT_NE(asCompared(files, fileA), asCompared(files, fileB));

    ASSERT_FALSE(AppState::undoStack.empty()) << "Undo stays available after Open";
    c.state->undo();
    const auto undone = c.folder.path() / "undone.sonavant";
    files.saveState(*c.state, undone);
    EXPECT_EQ(asCompared(files, undone), asCompared(files, fileA));
    EXPECT_EQ(c.state->panningMode.get(), PanningMode::linear);
    EXPECT_EQ(c.view.selectedDesk.get(), std::optional(launched));
    EXPECT_EQ(c.view.targetPort.get(), "49901");

    c.state->redo();
    const auto redone = c.folder.path() / "redone.sonavant";
    files.saveState(*c.state, redone);
    EXPECT_EQ(asCompared(files, redone), asCompared(files, fileB));
    EXPECT_EQ(c.view.selectedDesk.get()->displayName, "Other Desk");
    EXPECT_EQ(cueIDs(c), std::vector<std::string>{cueB});

    // Undo again and an edit: the way forward to the opened show ends, as after any edit.
    c.state->undo();
    ASSERT_EQ(c.state->soundObjects->front()->number.get(), 1);
    c.view.selectedObjects = std::set<std::string>{soundObjectKey(c.state->soundObjects->front()->id)};
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::right);
    EXPECT_TRUE(AppState::redoStack.empty());

    // Across an Open that keeps the desk, the port the view sent to comes back as well.
    c.view.handleImportResult({fileA, {}});
    ASSERT_EQ(c.view.selectedDesk.get(), std::optional(launched));
    c.view.targetPort.set("49902"); // as an Open that gives the desk its own port does
    c.state->undo();
    EXPECT_EQ(c.view.targetPort.get(), "49901");
    EXPECT_NEAR(c.state->soundObjects->front()->positionMeters->x, 1.10, 1e-9) << "the nudge is back";
}

TEST(UndoRoads, OneUndoTakesBackTheNudgeBeforeAViewSettingNoUndoGivesBack) {
    auto road = [](const char* setting, const std::function<void(Canvas&)>& change,
                   const std::function<bool(Canvas&)>& changed) {
        SCOPED_TRACE(setting);
        Canvas c;
        c.addSource(1, onCanvas(c, {3.0, 2.0}));
        c.click(c.state->soundObjects->front()->position); // select the input
        arrowKeyMoveHandler(c.view).handleMove(MoveDirection::right);
        ASSERT_NEAR(c.state->soundObjects->front()->positionMeters->x, 3.10, 1e-9);
        change(c);
        c.state->undo();
        EXPECT_NEAR(c.state->soundObjects->front()->positionMeters->x, 3.00, 1e-9);
        EXPECT_TRUE(changed(c)) << "no edit records it, so no step gives it back";
        c.state->redo();
        EXPECT_NEAR(c.state->soundObjects->front()->positionMeters->x, 3.10, 1e-9);
    };
    road(
        "the sidebar's area-edit button",
        [](Canvas& c) { CueSidebarModel(c.view).toggleAudienceAreaEditing(); },
        [](Canvas& c) { return c.state->isEditingAudienceArea.get(); });
    road(
        "the loudspeaker focus display", [](Canvas& c) { c.state->showSpeakerFocus = true; },
        [](Canvas& c) { return c.state->showSpeakerFocus.get(); });
}

namespace {

std::shared_ptr<SoundObject> sourceNumbered(Canvas& c, std::int64_t number) {
    for (const auto& s : c.state->soundObjects.get())
        if (s->number.get() == number)
            return s;
    throw std::runtime_error("no source");
}

// A cue that moves one source along y from x 0 to `length` metres in `seconds`.
std::shared_ptr<PathCue> sweep(const char* id, const SoundObject& source, double y, double length,
                               double seconds) {
    auto cue = cueWithID(id, 1);
    cue->soundObjectIDs = {source.id};
    cue->nodesMeters = {{0, y}, {length, y}};
    cue->time = seconds;
    return cue;
}

void play(Canvas& c, const char* id) {
    for (const auto& cue : c.view.pathManager->pathCues.get())
        if (cue->id.string() == id)
            c.view.pathManager->selectCue(cue, false);
    c.view.playSelectedCues();
}

} // namespace

TEST(UndoRoads, UndoWithACuePlayingOrASourceTrackedTakesBackTheOperatorsLastEdit) {
    FakeTime time;
    auto nudged = [](Canvas& c) { return sourceNumbered(c, 1)->positionMeters->x; };
    // (a) Three edits, two undone, then a click on an input while a cue moves another source.
    {
        Canvas c;
        c.addSource(1, onCanvas(c, {1, 1}));
        c.addSource(2, onCanvas(c, {0, -2}));
        c.addSource(3, onCanvas(c, {-2, 2}));
        c.view.pathManager->pathCues = std::vector{sweep(cueA, *sourceNumbered(c, 2), -2, 4, 10)};
        c.click(sourceNumbered(c, 1)->position);
        for (int i = 0; i < 3; ++i)
            arrowKeyMoveHandler(c.view).handleMove(MoveDirection::right);
        ASSERT_NEAR(nudged(c), 1.30, 1e-9);
        c.state->undo();
        c.state->undo();
        ASSERT_NEAR(nudged(c), 1.10, 1e-9);
        play(c, cueA);
        time.advance(0.5);
        ASSERT_NEAR(sourceNumbered(c, 2)->positionMeters->x, 0.2, 1e-6) << "0.5 s of 10 s along 4 m";
        c.click(sourceNumbered(c, 3)->position);
        time.advance(0.5);
        c.state->undo();
        EXPECT_NEAR(nudged(c), 1.00, 1e-9);
        EXPECT_EQ(AppState::redoStack.size(), 3u);
        for (double x : {1.10, 1.20, 1.30}) {
            time.advance(0.2);
            c.state->redo();
            EXPECT_NEAR(nudged(c), x, 1e-9);
        }
        time.advance(0.1);
        EXPECT_NEAR(sourceNumbered(c, 2)->positionMeters->x, 0.68, 1e-6) << "the cue plays on: 1.7 s of 10 s";
    }
    // (b) An opened show with a 6 s cue, Add Output, the cue played, Undo 1.5 s in.
    {
        Canvas c;
        AppStatePersistence files(c.folder.path() / "support", c.defaults);
        c.view.persistence = &files;
        auto show = enginetest::firstLaunchState();
        auto source = enginetest::sourceAt(1, {0, 0}, enginetest::udpDesk());
        source->positionMeters = Point{0, 0};
        show->soundObjects = std::vector{source};
        show->pathCues = std::vector{sweep(cueB, *source, 0, 6, 6)};
        const auto file = c.folder.path() / "Cue.sonavant";
        files.saveState(*show, file);
        c.view.handleImportResult({file, {}});
        c.view.addSpeaker();
        ASSERT_EQ(c.state->speakers->size(), 1u);
        play(c, cueB);
        time.advance(1.5);
        ASSERT_NEAR(sourceNumbered(c, 1)->positionMeters->x, 1.5, 1e-6);
        c.state->undo();
        EXPECT_TRUE(c.state->speakers->empty()) << "one Undo takes back Add Output";
        time.advance(0.5);
        EXPECT_NEAR(sourceNumbered(c, 1)->positionMeters->x, 2.0, 1e-6) << "the cue plays on";
        c.state->redo();
        EXPECT_EQ(c.state->speakers->size(), 1u);
    }
    // A tracked source: two nudges, one undone, a click while a tracker moves source 2.
    {
        Canvas c;
        c.addSource(1, onCanvas(c, {1, 1}));
        c.addSource(2, onCanvas(c, {0, -2}));
        c.addSource(3, onCanvas(c, {-2, 2}));
        c.click(sourceNumbered(c, 1)->position);
        arrowKeyMoveHandler(c.view).handleMove(MoveDirection::right);
        arrowKeyMoveHandler(c.view).handleMove(MoveDirection::right);
        c.state->undo();
        ASSERT_NEAR(nudged(c), 1.10, 1e-9);
        for (int i = 1; i <= 5; ++i) {
            time.advance(0.1);
            c.view.handleTrackPosition(2, 0.1 * i, -2);
        }
        c.click(sourceNumbered(c, 3)->position);
        c.view.handleTrackPosition(2, 0.6, -2);
        c.state->undo();
        EXPECT_NEAR(nudged(c), 1.00, 1e-9);
        c.state->redo();
        c.state->redo();
        EXPECT_NEAR(nudged(c), 1.20, 1e-9);
        // The tracker places the source once more and stops: after the lapse that place is
        // the show's, and an Undo of the next edit (a nudge of the clicked input) returns to it.
        c.view.handleTrackPosition(2, 0.7, -2);
        time.advance(ContentView::trackingLapse + 0.1);
        arrowKeyMoveHandler(c.view).handleMove(MoveDirection::up);
        c.state->undo();
        EXPECT_NEAR(nudged(c), 1.20, 1e-9);
        EXPECT_NEAR(sourceNumbered(c, 2)->positionMeters->x, 0.7, 1e-9);
    }
}
