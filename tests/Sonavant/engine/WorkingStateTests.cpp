#include "ShowControlTestSupport.h"

#include "Sonavant/engine/BackgroundImageBookmark.h"
#include "platform/Serialization.h"

#include <fstream>

using namespace showcontrol_test;
using platform::Value;
using platform::ValueObject;

namespace {

class WorkingStateTest : public ShowControlFixture {
protected:
    std::string touchFile(const std::string& name) {
        auto path = folder.path() / name;
        std::ofstream(path) << "png";
        return path.string();
    }
    void storeText(const char* key, const std::string& text) {
        defaults->set(key, Value(platform::Bytes(text.begin(), text.end())));
    }
};

TEST_F(WorkingStateTest, RoundTripRestoresEverySavedField) {
    const std::string image = touchFile("plan image.png");
    auto a = source(1, 1.5, 2.0);
    auto b = source(7, -3.0, 0.25);
    show->soundObjects = {a, b};
    show->speakers = {speaker(1, 2, 3), speaker(4, -1, 1)};
    ObjectGroup group;
    group.name = "Front";
    group.speakerIDs = {1};
    group.soundObjectIDs = {a->id};
    show->groups = {group};
    Snapshot snapshot;
    snapshot.number = 3;
    snapshot.recallTime = 2.5;
    snapshot.fill(show->speakers, show->soundObjects);
    show->snapshots = {snapshot};
    show->range = 7.5;
    show->minLevel = 10;
    show->maxLevel = 0;
    show->minMaxRelitive = true;
    show->showGrid = true;
    show->zeroPoint = Point{12.5, 480};
    show->zeroPointPosition = ZeroPointPosition::topRight;
    show->isSoundScapeMode = true;
    show->receivePort = "7001";
    show->backgroundImageURL = BackgroundImageBookmark::fileURL(image);
    show->showBackgroundImage = true;
    show->backgroundImageOffset = Point{-4, 9.5};
    show->backgroundImageScale = 0.75;
    show->freezeStates = PerSourcePerSpeaker<bool>{{a->id, {{1, true}, {4, false}}}};
    show->muteStates = PerSourcePerSpeaker<bool>{{b->id, {{4, true}}}};
    show->canvasOrientation = CanvasOrientation::left;
    show->backgroundImageRotation = 12.0;

    auto& saver = makeView("10.0.0.9", "10023");
    saver.showZeroPoint = false;
    saver.oscOutputOn = false;
    saver.zoomLevel = 150.0;
    saver.selectedDesk = testDesk();
    saver.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{cue(1.5), cue(2)};
    saver.pathManager->defaultTime = 8.0;
    saver.saveState();
    ASSERT_TRUE(defaults->synchronize());

    // A new view over a new show, from a store read back from the file.
    view.reset();
    defaults = std::make_unique<platform::UserDefaults>(folder.path());
    show = emptyShow();
    show->pathCues = std::vector{cue(7)}; // as the autosave restored them
    auto& loader = makeView();
    loader.loadState();

    ASSERT_EQ(show->soundObjects->size(), 2u);
    EXPECT_EQ(show->soundObjects.get()[1]->id, b->id);
    EXPECT_EQ(show->soundObjects.get()[1]->positionMeters.get(), (Point{-3.0, 0.25}));
    ASSERT_EQ(show->speakers->size(), 2u);
    EXPECT_EQ(show->speakers.get()[1].positionMeters, (Point{-1, 1}));
    ASSERT_EQ(show->groups->size(), 1u);
    EXPECT_EQ(show->groups.get()[0].soundObjectIDs, std::vector{a->id});
    ASSERT_EQ(show->snapshots->size(), 1u);
    EXPECT_EQ(show->snapshots.get()[0].speakerStates.size(), 2u);
    EXPECT_EQ(show->snapshots.get()[0].recallTime, 2.5);
    EXPECT_EQ(loader.selectedDesk.get(), testDesk()) << "the saved desk, ids included";
    EXPECT_EQ(show->range.get(), 7.5);
    EXPECT_FALSE(loader.oscOutputOn.get());
    EXPECT_EQ(loader.targetDeskIP.get(), "10.0.0.9");
    EXPECT_EQ(loader.targetPort.get(), "10023");
    EXPECT_EQ(show->minLevel.get(), 10);
    EXPECT_EQ(show->maxLevel.get(), 0) << "a stored 0 is kept";
    EXPECT_TRUE(show->minMaxRelitive.get());
    EXPECT_FALSE(loader.showZeroPoint.get());
    EXPECT_TRUE(show->showGrid.get());
    EXPECT_EQ(loader.zoomLevel.get(), 150.0);
    EXPECT_EQ(show->zeroPoint.get(), (Point{12.5, 480}));
    EXPECT_EQ(show->zeroPointPosition.get(), ZeroPointPosition::topRight);
    EXPECT_TRUE(show->isSoundScapeMode.get());
    EXPECT_EQ(show->receivePort.get(), "7001");
    EXPECT_EQ(show->backgroundImageURL.get(), BackgroundImageBookmark::fileURL(image));
    EXPECT_TRUE(show->showBackgroundImage.get());
    EXPECT_EQ(show->backgroundImageOffset.get(), (Point{-4, 9.5}));
    EXPECT_EQ(show->backgroundImageScale.get(), 0.75);
    ASSERT_EQ(loader.pathManager->pathCues.get().size(), 2u);
    EXPECT_EQ(loader.pathManager->pathCues.get()[0]->number, 1.5);
    EXPECT_EQ(show->pathCues.get(), loader.pathManager->pathCues.get()) << "the working state's cues win";
    EXPECT_EQ(loader.pathManager->defaultTime.get(), 8.0);
    EXPECT_EQ(show->freezeStates.get(), (PerSourcePerSpeaker<bool>{{a->id, {{1, true}, {4, false}}}}));
    EXPECT_EQ(show->muteStates.get(), (PerSourcePerSpeaker<bool>{{b->id, {{4, true}}}}));
    EXPECT_EQ(show->canvasOrientation.get(), CanvasOrientation::left);
    EXPECT_EQ(show->backgroundImageRotation.get(), 12.0);
}

TEST_F(WorkingStateTest, FirstLaunchGivesTheDefaultsAndKeepsWhatTheAutosaveRestored) {
    auto kept = source(2, 1, 1);
    show->soundObjects = {kept};
    const auto restoredCue = cue(3);
    show->pathCues = std::vector{restoredCue};
    show->groups = {ObjectGroup{}};
    show->zeroPoint = Point{3, 4};
    auto& v = makeView();
    v.selectedDesk = testDesk();
    platform::LogCapture log;
    v.loadState();

    EXPECT_TRUE(log.contains("⚠️ No saved sound objects found."));
    EXPECT_TRUE(log.contains("✅ App state loaded successfully."));
    EXPECT_TRUE(log.contains("🔹 Loaded 1 sound objects with corrected numbering."));
    EXPECT_EQ(show->soundObjects.get(), std::vector{kept});
    EXPECT_TRUE(show->groups->empty());
    EXPECT_EQ(show->zeroPoint.get(), (Point{3, 4}));
    EXPECT_EQ(show->range.get(), 5.0);
    EXPECT_EQ(v.targetDeskIP.get(), "192.168.0.2");
    EXPECT_EQ(v.targetPort.get(), "49900");
    EXPECT_EQ(show->receivePort.get(), "6000");
    EXPECT_EQ(v.zoomLevel.get(), 100.0);
    EXPECT_EQ(show->minLevel.get(), 0);
    EXPECT_EQ(show->maxLevel.get(), 100);
    EXPECT_FALSE(v.oscOutputOn.get());
    EXPECT_TRUE(v.showZeroPoint.get());
    EXPECT_EQ(show->backgroundImageScale.get(), 1.0);
    EXPECT_EQ(show->canvasOrientation.get(), CanvasOrientation::top);
    EXPECT_EQ(v.pathManager->defaultTime.get(), 5.0);
    EXPECT_EQ(v.pathManager->pathCues.get(), std::vector{restoredCue})
        << "the autosave's cues are the engine's";
    EXPECT_EQ(v.selectedDesk.get(), testDesk()) << "the desk from the list stays";
}

TEST_F(WorkingStateTest, WrongTypesAndUnreadableValuesReadAsAbsent) {
    defaults->set("savedRange", Value(0.0));
    defaults->set("savedZoomLevel", Value(-3.0));
    defaults->set("savedMaxLevel", Value("loud"));
    defaults->set("savedMinLevel", Value(std::int64_t{1} << 40));
    defaults->set("savedShowZeroPoint", Value(1));
    defaults->set("savedTargetPort", Value(49901));
    defaults->set("savedZeroPointPosition", Value("Middle"));
    defaults->set("savedCanvasOrientation", Value("up"));
    defaults->set("savedZeroPoint", Value(ValueObject{{"x", Value(12)}}));
    defaults->set("savedBackgroundImageOffset", Value(ValueObject{{"x", Value("1")}, {"y", Value(2.0)}}));
    defaults->set("savedBackgroundImageScale", Value("big"));
    defaults->set("savedDefaultTime", Value(0.0));
    storeText("savedSpeakers", "[{\"id\": \"one\"}]");
    storeText("savedSnapshots", "not json");
    storeText("savedFreezeStates", "[\"not-a-uuid\", {\"1\": true}]");
    storeText("savedPathCues", "[1, 2]");
    show->speakers = {speaker(9, 0, 0)};
    show->zeroPointPosition = ZeroPointPosition::center;
    auto& v = makeView();
    v.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{cue(4)};
    v.loadState();

    EXPECT_EQ(show->range.get(), 5.0);
    EXPECT_EQ(v.zoomLevel.get(), 100.0);
    EXPECT_EQ(show->maxLevel.get(), 100);
    EXPECT_EQ(show->minLevel.get(), 0);
    EXPECT_TRUE(v.showZeroPoint.get());
    EXPECT_EQ(v.targetPort.get(), "49900");
    EXPECT_EQ(show->zeroPointPosition.get(), ZeroPointPosition::bottomLeft);
    EXPECT_EQ(show->canvasOrientation.get(), CanvasOrientation::top);
    EXPECT_EQ(show->zeroPoint.get(), (Point{12, 0}));
    EXPECT_EQ(show->backgroundImageOffset.get(), (Point{0, 0}));
    EXPECT_EQ(show->backgroundImageScale.get(), 1.0);
    EXPECT_EQ(v.pathManager->defaultTime.get(), 5.0);
    ASSERT_EQ(show->speakers->size(), 1u);
    EXPECT_EQ(show->speakers.get()[0].id, 9);
    EXPECT_TRUE(show->snapshots->empty());
    EXPECT_TRUE(show->freezeStates->empty());
    ASSERT_EQ(v.pathManager->pathCues.get().size(), 1u);
    EXPECT_EQ(v.pathManager->pathCues.get()[0]->number, 4);
}

TEST_F(WorkingStateTest, AValueThatCannotBeWrittenKeepsThePreviousOne) {
    show->speakers = {speaker(1, 1, 1)};
    auto& v = makeView();
    v.saveState();
    const auto before = defaults->data("savedSpeakers");
    ASSERT_TRUE(before);

    // No reader could take a position that is no number back.
    show->speakers.update([](std::vector<Speaker>& list) { list[0].position.x = std::nan(""); });
    show->range = 9.0;
    v.saveState();
    EXPECT_EQ(defaults->data("savedSpeakers"), before);
    EXPECT_EQ(defaults->real("savedRange"), 9.0) << "the other keys are still written";
}

TEST_F(WorkingStateTest, NoDeskSavedClearsTheDeskFromTheList) {
    auto& v = makeView();
    v.selectedDesk = std::nullopt;
    v.saveState();
    v.selectedDesk = testDesk();
    v.loadState();
    EXPECT_FALSE(v.selectedDesk->has_value());
}

TEST_F(WorkingStateTest, BackgroundImageBookmarks) {
    const std::string image = touchFile("floor.png");
    show->backgroundImageURL = BackgroundImageBookmark::fileURL(image);
    auto& v = makeView();
    v.saveState();
    ASSERT_TRUE(defaults->data("savedBackgroundImageBookmark"));
    const auto stored = defaults->data("savedBackgroundImageBookmark");

    {
        // Not a file: no bookmark, and the old one stays.
        platform::LogCapture log;
        show->backgroundImageURL = std::string("https://example.com/plan.png");
        v.saveState();
        EXPECT_TRUE(log.contains("Error creating bookmark for background image URL: "));
        EXPECT_EQ(defaults->data("savedBackgroundImageBookmark"), stored);
    }
    {
        // The file has gone: the bookmark is stale, the address still comes back.
        platform::LogCapture log;
        std::filesystem::remove(image);
        show->backgroundImageURL = std::nullopt;
        v.loadState();
        EXPECT_TRUE(log.contains("Background image bookmark is stale."));
        EXPECT_EQ(show->backgroundImageURL.get(), BackgroundImageBookmark::fileURL(image));
    }
    {
        platform::LogCapture log;
        defaults->set("savedBackgroundImageBookmark", Value(platform::Bytes{'x'}));
        show->backgroundImageURL = std::string("file:///kept.png");
        v.loadState();
        EXPECT_TRUE(log.contains("Error resolving background image bookmark: "));
        EXPECT_EQ(show->backgroundImageURL.get(), std::string("file:///kept.png"));
    }
    EXPECT_EQ(BackgroundImageBookmark::filePath("file:///a%20b/c.png"), std::string("/a b/c.png"));
    EXPECT_EQ(BackgroundImageBookmark::fileURL("/a b/c.png"), "file:///a%20b/c.png");
    EXPECT_FALSE(BackgroundImageBookmark::filePath("file:///bad%2"));
}

TEST_F(WorkingStateTest, DeskDefinitionsFile) {
    auto& v = makeView();
    v.loadMixingDesks();
    ASSERT_FALSE(v.mixingDesks->empty()) << "the shipped file";
    EXPECT_EQ(v.selectedDesk.get(), v.mixingDesks->front());
    const auto shipped = v.mixingDesks.get();

    {
        platform::LogCapture log;
        const auto broken = folder.path() / "broken.plist";
        std::ofstream(broken) << "<plist><dict><key>mixingDesks</key><array><dict/></array></dict></plist>";
        v.loadMixingDesks(broken);
        EXPECT_TRUE(log.contains("Error reading desks: "));
        EXPECT_EQ(v.mixingDesks.get(), shipped);
    }
    {
        platform::LogCapture log;
        v.loadMixingDesks(std::nullopt);
        v.loadMixingDesks(folder.path() / "missing.plist");
        EXPECT_EQ(v.mixingDesks.get(), shipped) << "a file that cannot be read changes nothing";
    }
    const auto empty = folder.path() / "empty.plist";
    std::ofstream(empty) << platform::writePropertyList(
        Value(ValueObject{{"mixingDesks", Value(platform::ValueArray{})}}));
    v.loadMixingDesks(empty);
    EXPECT_TRUE(v.mixingDesks->empty());
    EXPECT_FALSE(v.selectedDesk->has_value());
}

} // namespace
