// Add Output and Add Input, New Blank Canvas, Zero Selected, deleting the selection, the
// DS100 project panel, the audience-area tools and snapshot capture, on a view without a
// network (levels go to a recording outlet).

#include "ShowControlTestSupport.h"

#include "Sonavant/engine/SelectionKeys.h"

#include <fstream>

using namespace showcontrol_test;

namespace {

class EditingTest : public ShowControlFixture {
protected:
    ContentView& start(std::optional<MixingDesk> desk = testDesk()) {
        auto& v = makeView("127.0.0.1", "49900", outlet);
        v.selectedDesk = desk;
        // As start-up leaves them: the level pass that follows every undo writes the view's
        // desk into the show.
        show->selectedDesk = desk;
        v.presenter = presenter;
        v.canvasSize = ViewSize{1000, 600};
        show->zeroPoint = Point{0, 600};
        return v;
    }
    std::vector<std::int64_t> speakerIDs() const {
        std::vector<std::int64_t> ids;
        for (const auto& s : show->speakers.get())
            ids.push_back(s.id);
        return ids;
    }

    std::shared_ptr<RecordingOutlet> outlet = std::make_shared<RecordingOutlet>();
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    platform::LogCapture log;
};

MixingDesk deskWithKinds() {
    MixingDesk d = testDesk();
    d.mtxEnabled = true;
    d.mtxName = "Matrix";
    d.mtxNum = 2;
    d.mixNum = 1;
    d.groupEnabled = true;
    d.groupName = "Group";
    d.groupNum = 1;
    return d;
}

} // namespace

TEST_F(EditingTest, AddOutputPlacesNumbersAndUndoesOneActionAtATime) {
    auto& v = start();
    v.addSpeaker();
    v.addSpeaker();
    ASSERT_EQ(speakerIDs(), (std::vector<std::int64_t>{1, 2}));
    for (const auto& s : show->speakers.get()) {
        EXPECT_EQ(s.type, "Mix");
        EXPECT_EQ(s.channelNumber, s.id);
        EXPECT_EQ(s.width, 70.0);
        // The middle 80 % of a 10 m x 6 m canvas whose zero point is its bottom left corner.
        EXPECT_GE(s.positionMeters.x, 1.0);
        EXPECT_LE(s.positionMeters.x, 9.0);
        EXPECT_GE(s.positionMeters.y, 0.6);
        EXPECT_LE(s.positionMeters.y, 5.4);
        EXPECT_NEAR(s.position.x, s.positionMeters.x * 100, 1e-9);
        EXPECT_NEAR(s.position.y, 600 - s.positionMeters.y * 100, 1e-9);
    }
    v.addSoundObject();
    ASSERT_EQ(show->soundObjects->size(), 1u);
    const auto input = show->soundObjects.get()[0];
    EXPECT_EQ(input->name.get(), "Input 1");
    EXPECT_EQ(v.selectedObjects.get(), std::set<std::string>{SelectionKeys::soundObject(input->id)});
    EXPECT_EQ(show->selectedSoundObject.get(), input);
    EXPECT_GE(input->positionMeters->x, 2.5);
    EXPECT_LE(input->positionMeters->x, 7.5);
    EXPECT_EQ(show->mixerLevels->at(input->id).size(), 2u) << "levels for both loudspeakers";

    show->undo();
    EXPECT_TRUE(show->soundObjects->empty());
    EXPECT_EQ(speakerIDs().size(), 2u);
    show->undo();
    EXPECT_EQ(speakerIDs(), std::vector<std::int64_t>{1});
    show->undo();
    EXPECT_TRUE(speakerIDs().empty());
    show->redo();
    EXPECT_EQ(speakerIDs(), std::vector<std::int64_t>{1});
}

TEST_F(EditingTest, NewLoudspeakerIdNeverCollidesAndTakesTheLowestFreeChannel) {
    auto& v = start();
    v.addSpeaker();
    v.addSpeaker();
    v.selectedObjects = std::set<std::string>{"speaker-1"};
    v.deleteSelection();
    v.addSpeaker();
    ASSERT_EQ(speakerIDs(), (std::vector<std::int64_t>{2, 3}));
    EXPECT_EQ(show->speakers.get()[1].channelNumber, 1) << "channel 1 is free again";
}

TEST_F(EditingTest, AddOutputChoosesMatrixThenMixThenGroupAndStopsWhenAllAreFull) {
    auto& v = start(deskWithKinds());
    for (int i = 0; i < 4; ++i)
        v.addSpeaker();
    std::vector<std::string> types;
    for (const auto& s : show->speakers.get())
        types.push_back(s.type + " " + std::to_string(s.channelNumber));
    EXPECT_EQ(types, (std::vector<std::string>{"Matrix 1", "Matrix 2", "Mix 1", "Group 1"}));
    const auto history = AppState::undoStack.size();
    v.addSpeaker();
    EXPECT_EQ(show->speakers->size(), 4u);
    EXPECT_EQ(countLines(log, "Cannot add more speakers. All types have reached their limits."), 1u);
    EXPECT_EQ(AppState::undoStack.size(), history) << "nothing changed: nothing recorded";

    // A matrix kind without a name: typed "Matrix", which the desk counts no channels for.
    MixingDesk unnamed = testDesk();
    unnamed.mtxEnabled = true;
    unnamed.mtxNum = 4;
    show->speakers = std::vector<Speaker>{speaker(5, 1, 1)};
    v.selectedDesk = unnamed;
    v.addSpeaker();
    EXPECT_EQ(show->speakers.get().back().type, "Matrix");
    EXPECT_EQ(show->speakers.get().back().channelNumber, 6) << "no free channel: the id";
}

TEST_F(EditingTest, AddInputNumbersTypesAndOutputRules) {
    auto& v = start(std::nullopt);
    v.addSoundObject();
    EXPECT_TRUE(show->soundObjects->empty());
    EXPECT_EQ(countLines(log, "Error: No desk selected. Cannot add sound object."), 1u);
    v.addSpeaker();
    EXPECT_TRUE(show->speakers->empty());

    v.selectedDesk = testDesk();
    show->soundObjects = {source(1, 1, 1), source(2, 1, 1), source(4, 1, 1)};
    v.addSoundObject();
    EXPECT_EQ(show->soundObjects.get().back()->number.get(), 3);

    MixingDesk sends = testDesk();
    sends.mixSendEnabled = true;
    v.selectedDesk = sends;
    v.targetPort = "70000";
    v.addSoundObject();
    EXPECT_EQ(show->soundObjects.get().back()->type.get(), "Mix");
    EXPECT_EQ(show->soundObjects.get().back()->number.get(), 1);
    EXPECT_EQ(countLines(log, "Warning: Missing targetDeskIP or targetPort. Skipping OSC update."), 1u);
    EXPECT_EQ(v.selectedObjects->size(), 1u) << "added and selected all the same";

    v.targetPort = "49900";
    show->isSoundScapeMode = true;
    const auto sentBefore = outlet->count();
    v.addSoundObject();
    EXPECT_EQ(countLines(log, "SoundScape mode active"), 1u);
    EXPECT_EQ(outlet->count(), sentBefore) << "no levels in SoundScape mode";
}

TEST_F(EditingTest, ZeroSelectedMovesNamedItemsAndUndoesInOneStep) {
    auto& v = start();
    auto input = source(2, 3, 2);
    show->soundObjects = {input};
    show->speakers = std::vector<Speaker>{speaker(3, 1, 1), speaker(4, 2, 2)};
    AppState::clearHistory();
    v.selectedObjects = std::set<std::string>{"speaker-3", SelectionKeys::soundObject(input->id),
                                              "speaker-abc", "pathNode:X:1"};
    v.zeroSelected();
    EXPECT_EQ(show->speakers.get()[0].positionMeters, (Point{0, 0}));
    EXPECT_EQ(show->speakers.get()[0].position, (Point{0, 600}));
    EXPECT_EQ(show->speakers.get()[1].positionMeters, (Point{2, 2}));
    EXPECT_EQ(input->positionMeters.get(), (Point{0, 0}));
    EXPECT_FALSE(show->mixerLevels->empty()) << "levels sent";
    show->undo();
    EXPECT_EQ(show->speakers.get()[0].positionMeters, (Point{1, 1}));
}

TEST_F(EditingTest, DeleteSelectionRemovesItemsNodesAndEmptyGroupsAndUndoesInOneStep) {
    auto& v = start();
    auto kept = source(1, 1, 1), gone = source(2, 1, 1);
    show->soundObjects = {kept, gone};
    show->speakers = std::vector<Speaker>{speaker(1, 1, 1), speaker(2, 1, 1), speaker(3, 1, 1)};
    auto three = cue(1), five = cue(2), untouched = cue(3);
    three->nodesMeters = {{0, 0}, {1, 1}, {2, 2}};
    five->nodesMeters = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
    five->soundObjectIDs = {gone->id};
    v.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{three, five, untouched};
    ObjectGroup mixed{.name = "mixed", .speakerIDs = {1}, .soundObjectIDs = {kept->id}};
    ObjectGroup allGone{.name = "gone", .speakerIDs = {1, 2}, .soundObjectIDs = {gone->id}};
    ObjectGroup empty{.name = "empty", .speakerIDs = {}, .soundObjectIDs = {}};
    show->groups = std::vector<ObjectGroup>{mixed, allGone, empty};
    AppState::clearHistory();

    v.selectedObjects = std::set<std::string>{};
    v.deleteSelection();
    EXPECT_EQ(show->groups->size(), 3u) << "an empty selection changes nothing, not even the groups";
    EXPECT_TRUE(AppState::undoStack.empty());

    v.selectedObjects = std::set<std::string>{"speaker-1",
                                              "speaker-2",
                                              "speaker-99",
                                              SelectionKeys::soundObject(gone->id),
                                              "pathNode:" + three->id.string() + ":0",
                                              "pathNode:" + three->id.string() + ":2",
                                              "pathNode:" + five->id.string() + ":0",
                                              "pathNode:" + five->id.string() + ":2",
                                              "pathNode:" + five->id.string() + ":+2",
                                              "pathNode:" + five->id.string() + ":9",
                                              "pathNode:" + five->id.string() + ":-1"};
    v.deleteSelection();
    EXPECT_EQ(speakerIDs(), std::vector<std::int64_t>{3});
    ASSERT_EQ(show->soundObjects->size(), 1u);
    EXPECT_EQ(show->soundObjects.get()[0], kept);
    ASSERT_EQ(v.pathManager->pathCues.get().size(), 2u) << "the three-node cue lost two nodes and went";
    EXPECT_EQ(v.pathManager->pathCues.get()[0], five);
    EXPECT_EQ(five->nodesMeters, (std::vector<Point>{{1, 1}, {3, 3}, {4, 4}}));
    EXPECT_TRUE(five->hasError) << "its only source was deleted";
    EXPECT_TRUE(v.selectedObjects->empty());
    ASSERT_EQ(show->groups->size(), 1u);
    EXPECT_EQ(show->groups.get()[0].name, "mixed");
    EXPECT_EQ(show->groups.get()[0].speakerIDs, std::vector<std::int64_t>{1}) << "stale ids stay";
    EXPECT_EQ(countLines(log, "Empty groups removed."), 1u);

    show->undo();
    EXPECT_EQ(speakerIDs(), (std::vector<std::int64_t>{1, 2, 3})) << "one Undo brings back both loudspeakers";
    EXPECT_EQ(show->soundObjects->size(), 2u);
    EXPECT_EQ(show->groups->size(), 3u);
    show->undo();
    EXPECT_EQ(speakerIDs(), (std::vector<std::int64_t>{1, 2, 3})) << "and nothing before it";
}

TEST_F(EditingTest, NewBlankCanvasResetsTheTableAndLeavesTheRest) {
    auto& v = start();
    MixingDesk first = testDesk();
    first.name = "First";
    v.mixingDesks = std::vector<MixingDesk>{first, testDesk()};
    v.cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};
    defaults->set("savedBackgroundImageBookmark", platform::Value(std::string("/tmp/x.png")));
    show->speakers = std::vector<Speaker>{speaker(1, 1, 1)};
    show->soundObjects = {source(1, 1, 1)};
    show->selectedDesk = testDesk();
    show->oscOutputOn = false;
    show->targetPort = "1234";
    show->showZeroPoint = false;
    show->range = 9;
    show->minLevel = 10;
    show->maxLevel = 90;
    show->receivePort = "7000";
    show->isSoundScapeMode = true;
    show->backgroundImageURL = std::string("file:///tmp/x.png");
    show->showBackgroundImage = true;
    show->backgroundImageOffset = Point{3, 4};
    show->backgroundImageScale = 2.0;
    show->canvasOrientation = CanvasOrientation::left;
    show->backgroundImageRotation = 30;
    show->panningMode = PanningMode::sine;
    show->defaultSpeakerWidth = 45;
    show->audienceAreas =
        std::vector<AudienceArea>{AudienceArea{.name = "Audience", .color = "red", .nodesMeters = {}}};
    v.zoomLevel = 80;

    v.newBlankCanvas();
    EXPECT_TRUE(show->speakers->empty());
    EXPECT_TRUE(show->soundObjects->empty());
    EXPECT_EQ(show->selectedDesk.get(), std::nullopt);
    EXPECT_EQ(v.selectedDesk->value().name, "First");
    EXPECT_TRUE(show->oscOutputOn);
    EXPECT_EQ(show->targetDeskIP.get(), "127.0.0.1");
    EXPECT_EQ(show->targetPort.get(), "8000");
    EXPECT_TRUE(show->showZeroPoint);
    EXPECT_EQ(show->range.get(), 5.0);
    EXPECT_EQ(show->minLevel.get(), 0);
    EXPECT_EQ(show->maxLevel.get(), 100);
    EXPECT_EQ(show->zeroPointPosition.get(), ZeroPointPosition::center);
    EXPECT_EQ(show->zeroPoint.get(), (Point{500, 300}));
    EXPECT_FALSE(show->isSoundScapeMode);
    EXPECT_EQ(show->receivePort.get(), "6000");
    EXPECT_EQ(show->backgroundImageURL.get(), std::nullopt);
    EXPECT_FALSE(show->showBackgroundImage);
    EXPECT_EQ(show->backgroundImageOffset.get(), (Point{0, 0}));
    EXPECT_EQ(show->backgroundImageScale.get(), 1.0);
    EXPECT_FALSE(defaults->object("savedBackgroundImageBookmark").has_value());
    EXPECT_EQ(countLines(log, "Application reset to default state."), 1u);
    // Left as they were.
    EXPECT_EQ(show->canvasOrientation.get(), CanvasOrientation::left);
    EXPECT_EQ(show->backgroundImageRotation.get(), 30);
    EXPECT_EQ(show->panningMode.get(), PanningMode::sine);
    EXPECT_EQ(show->defaultSpeakerWidth.get(), 45);
    EXPECT_EQ(show->audienceAreas->size(), 1u);
    EXPECT_EQ(v.zoomLevel.get(), 80);

    // The clearing inside is a step of its own: first the cleared show with its settings,
    // then the show as it was.
    show->undo();
    EXPECT_TRUE(show->speakers->empty());
    EXPECT_EQ(show->range.get(), 9);
    show->undo();
    EXPECT_EQ(show->speakers->size(), 1u);
}

TEST_F(EditingTest, SnapshotsNumberCaptureUpdateDeleteAndUndo) {
    auto& v = start();
    show->speakers = std::vector<Speaker>{speaker(1, 1, 1)};
    AppState::clearHistory();
    v.addSnapshot();
    v.addSnapshot();
    v.addSnapshot();
    auto snaps = show->snapshots.get();
    ASSERT_EQ(snaps.size(), 3u);
    EXPECT_EQ(countLines(log, "\u2705 Snapshot 1 added: Snapshot 1"), 1u);
    EXPECT_EQ(snaps[0].speakerStates.size(), 1u);
    EXPECT_EQ(snaps[0].recallTime, 1.0);
    v.deleteSnapshot(snaps[1]);
    EXPECT_EQ(countLines(log, "\U0001F5D1 Snapshot 2 deleted."), 1u);
    v.addSnapshot();
    EXPECT_EQ(show->snapshots.get().back().number, 4);
    EXPECT_EQ(show->snapshots.get().back().name, "Snapshot 3");

    show->undo();
    EXPECT_EQ(show->snapshots->size(), 2u) << "Undo takes back the last snapshot only";
    show->undo();
    EXPECT_EQ(show->snapshots->size(), 3u) << "then the deletion";

    Snapshot edited = show->snapshots.get()[0];
    edited.name = "Intro";
    edited.number = 7;
    edited.recallTime = 2.5;
    show->speakers = std::vector<Speaker>{speaker(2, 3, 3)};
    show->soundObjects = {source(1, 1, 1)};
    const auto history = AppState::undoStack.size();
    v.updateSnapshot(edited);
    const Snapshot& updated = show->snapshots.get()[0];
    EXPECT_EQ(updated.id, edited.id);
    EXPECT_EQ(updated.name, "Intro");
    EXPECT_EQ(updated.number, 7);
    EXPECT_EQ(updated.recallTime, 2.5);
    ASSERT_EQ(updated.speakerStates.size(), 1u);
    EXPECT_EQ(updated.speakerStates[0].speakerID, 2);
    EXPECT_EQ(updated.soundObjectStates.size(), 1u);
    EXPECT_EQ(AppState::undoStack.size(), history);
    Snapshot stranger;
    v.updateSnapshot(stranger);
    EXPECT_EQ(show->snapshots->size(), 3u);
}

TEST_F(EditingTest, ImportPanelRefusesOtherFilesAndReportsFailures) {
    auto& v = start();
    v.importDbprFile();
    EXPECT_EQ(presenter->openPanels.size(), 1u);
    EXPECT_TRUE(presenter->alerts.empty()) << "a cancelled panel does nothing";

    for (const char* name : {"x.DBPR", "notes.txt"}) {
        presenter->nextOpen = folder.path() / name;
        v.importDbprFile();
    }
    ASSERT_EQ(presenter->alerts.size(), 2u);
    EXPECT_EQ(presenter->alerts[0].title, "Unsupported File");
    EXPECT_EQ(presenter->alerts[0].text, "Please select a .dbpr file.");

    const auto garbage = folder.path() / "garbage.dbpr";
    std::ofstream(garbage) << "this is no database";
    presenter->nextOpen = garbage;
    show->soundscapeSpeakers = std::vector<SoundscapeSpeaker>{SoundscapeSpeaker{}};
    AppState::clearHistory();
    v.importDbprFile();
    ASSERT_EQ(presenter->alerts.size(), 3u);
    EXPECT_EQ(presenter->alerts[2].title, "Import Failed");
    EXPECT_FALSE(presenter->alerts[2].text.empty());
    EXPECT_EQ(show->soundscapeSpeakers->size(), 1u);
    EXPECT_TRUE(AppState::undoStack.empty());
}

TEST_F(EditingTest, AudienceAreaToolsNameCopiesAndGuardThemselves) {
    auto& v = start();
    AppState::clearHistory();
    v.deleteAudienceArea();
    v.duplicateAudienceArea();
    EXPECT_TRUE(AppState::undoStack.empty());
    v.removeAllAudienceAreas();
    EXPECT_EQ(AppState::undoStack.size(), 1u) << "Clear records an entry even without areas";

    AudienceArea area{.name = "Audience", .color = "blue", .nodesMeters = {{0, 0}, {2, 0}, {2, 2}}};
    show->audienceAreas = std::vector<AudienceArea>{area};
    show->selectedAudienceAreaID = area.id;
    v.duplicateAudienceArea();
    v.duplicateAudienceArea();
    const auto& areas = show->audienceAreas.get();
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(areas[1].name, "Audience Copy");
    EXPECT_EQ(areas[2].name, "Audience Copy Copy");
    EXPECT_EQ(areas[2].nodesMeters, (std::vector<Point>{{2, 2}, {4, 2}, {4, 4}}));
    EXPECT_EQ(show->selectedAudienceAreaID.get(), areas[2].id);
    v.deleteAudienceArea();
    EXPECT_EQ(show->audienceAreas->size(), 2u);
    EXPECT_EQ(show->selectedAudienceAreaID.get(), std::nullopt);
    show->selectedAudienceAreaID = platform::UUID::random();
    v.deleteAudienceArea();
    EXPECT_EQ(show->audienceAreas->size(), 2u);
}
