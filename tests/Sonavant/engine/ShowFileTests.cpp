// "Save As..." and "Open..." from the main view: the panels the view asks for, the forms
// the export writes, what an import copies into the live show and what it leaves alone,
// and that every failure changes nothing and is told to the operator.

#include "ShowControlTestSupport.h"

#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/model/MixingDeskRoot.h"
#include "platform/Files.h"
#include "platform/NotificationCenter.h"
#include "platform/Serialization.h"
#include "tools/FakeDesk.h"

#include <algorithm>
#include <filesystem>
#include <set>

using namespace showcontrol_test;
namespace fs = std::filesystem;

namespace {

// The definition the application ships for the desk shown as `name`.
MixingDesk shippedDesk(const std::string& name) {
    const auto desks = MixingDeskRoot::readFile(*mixingDesksResourcePath()).mixingDesks;
    auto desk =
        std::find_if(desks.begin(), desks.end(), [&](const MixingDesk& d) { return d.displayName == name; });
    if (desk != desks.end())
        return *desk;
    ADD_FAILURE() << "no shipped desk " << name;
    return {};
}

class ShowFileTest : public ShowControlFixture {
protected:
    void SetUp() override {
        ShowControlFixture::SetUp();
        files = std::make_unique<AppStatePersistence>(folder.path() / "support", *defaults);
        auto& v = makeView("127.0.0.1", "9");
        v.persistence = files.get();
        v.presenter = presenter;
        show->speakers = {speaker(2, 1.5, 2.5)};
        show->soundObjects = {source(3, 0.5, 1)};
        show->range = 7.5;
        show->backgroundImageRotation = 30.0;
        show->panningMode = PanningMode::sine;
    }
    void TearDown() override {
        ShowControlFixture::TearDown();
        AppState::clearHistory();
    }
    static std::string encoded(const AppState& state) { return platform::writeJSON(state.encode()); }
    // Two inputs near two outputs of `desk`, saved with the port of another machine.
    fs::path deskShow(const MixingDesk& desk, const std::string& name) {
        const Point zero = show->zeroPoint;
        show->selectedDesk = desk;
        show->targetPort = "7777";
        const std::string mix = desk.mixName.value_or("Mix");
        show->speakers = std::vector<Speaker>{Speaker(1, 0.5, 0.5, 70.0, 100.0, zero, 1, mix, desk),
                                              Speaker(2, 2.0, 0.5, 70.0, 100.0, zero, 2, mix, desk)};
        show->soundObjects = std::vector<std::shared_ptr<SoundObject>>{
            support::inputAt(1, desk, 0.6, 0.6, zero), support::inputAt(2, desk, 1.9, 0.4, zero)};
        const fs::path file = folder.path() / name;
        view->handleExportResult({file, {}});
        return file;
    }

    std::unique_ptr<AppStatePersistence> files;
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
};

TEST_F(ShowFileTest, ExportWritesThePropertyListUnlessTheNameSaysJSONAndListsTheFileFirst) {
    const fs::path bare = folder.path() / "Gala";
    view->handleExportResult({bare, {}});
    const fs::path written = folder.path() / "Gala.sonavant";
    ASSERT_TRUE(fs::exists(written));
    EXPECT_FALSE(fs::exists(bare));
    EXPECT_NE(platform::readFile(written).find("<plist"), std::string::npos);

    view->handleExportResult({folder.path() / "Gala.json", {}});
    const std::string json = platform::readFile(folder.path() / "Gala.json");
    ASSERT_FALSE(json.empty());
    EXPECT_EQ(json.front(), '{');

    view->handleExportResult({folder.path() / "Gala.xml", {}});
    EXPECT_NE(platform::readFile(folder.path() / "Gala.xml").find("<plist"), std::string::npos);

    EXPECT_EQ(files->recentFiles(),
              (std::vector<std::string>{(folder.path() / "Gala.xml").string(),
                                        (folder.path() / "Gala.json").string(), written.string()}));
    EXPECT_TRUE(presenter->alerts.empty());
}

TEST_F(ShowFileTest, FailedOrCancelledExportsWriteNothingAndAFailureIsShown) {
    platform::LogCapture log;
    view->handleExportResult({std::nullopt, "The panel failed."});
    EXPECT_TRUE(log.lines().empty()) << "an error outcome prints nothing";

    // A folder that does not exist: the write fails.
    view->handleExportResult({folder.path() / "missing" / "Gala.sonavant", {}});
    EXPECT_EQ(countLines(log, "❌ Export failed: "), 1u);
    ASSERT_EQ(presenter->alerts.size(), 1u);
    EXPECT_EQ(presenter->alerts[0].title, "The show could not be saved.");
    EXPECT_TRUE(files->recentFiles().empty()) << "a failed export is no recent file";

    // A show that cannot be written whole leaves the earlier file as it was.
    const fs::path target = folder.path() / "Gala.sonavant";
    view->handleExportResult({target, {}});
    const std::string before = platform::readFile(target);
    show->range = std::numeric_limits<double>::quiet_NaN();
    view->handleExportResult({target, {}});
    EXPECT_EQ(platform::readFile(target), before);
    EXPECT_EQ(presenter->alerts.size(), 2u);
}

TEST_F(ShowFileTest, SaveAsNeverReplacesAFileTheUserMayNotWrite) {
    const fs::path target = folder.path() / "Locked.sonavant";
    platform::writeFileAtomically(target, "the operator's earlier show\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::replace);
    platform::LogCapture log;
    view->handleExportResult({target, {}});
    EXPECT_EQ(platform::readFile(target), "the operator's earlier show\n");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(countLines(log, "❌ Export failed: "), 1u);
    ASSERT_EQ(presenter->alerts.size(), 1u);
    EXPECT_EQ(presenter->alerts[0].title, "The show could not be saved.");
    EXPECT_NE(presenter->alerts[0].text.find(target.string()), std::string::npos);
    EXPECT_NE(presenter->alerts[0].text.find("may not be written"), std::string::npos)
        << presenter->alerts[0].text;
    EXPECT_TRUE(files->recentFiles().empty());

    // With a write bit back, the same Save As replaces it.
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
    view->handleExportResult({target, {}});
    EXPECT_NE(platform::readFile(target).find("<plist"), std::string::npos);
    EXPECT_EQ(presenter->alerts.size(), 1u);
    EXPECT_EQ(files->recentFiles(), std::vector<std::string>{target.string()});
}

TEST_F(ShowFileTest, ImportOfEitherFormGivesBackTheSavedShowAndLeavesTheViewsOwnStateAlone) {
    const auto saved = show->deepCopy();
    view->handleExportResult({folder.path() / "Gala", {}});
    view->handleExportResult({folder.path() / "Gala.json", {}});

    const MixingDesk desk = testDesk();
    view->selectedDesk = desk;
    view->zoomLevel = 140.0;
    view->pathManager->pathCues = std::vector{cue(1)};
    // The level pass after opening writes the view's desk into the show, as every pass does.
    saved->selectedDesk = desk;

    for (const char* name : {"Gala.sonavant", "Gala.json"}) {
        SCOPED_TRACE(name);
        show->speakers = std::vector<Speaker>{};
        show->soundObjects = std::vector<std::shared_ptr<SoundObject>>{};
        show->range = 1.0;
        show->panningMode = PanningMode::linear;
        view->handleImportResult({folder.path() / name, {}});
        EXPECT_TRUE(AppState::sameShow(*show, *saved));
        // Drawn at its metres under the view's own zoom, not at the points saved with it.
        EXPECT_EQ(show->soundObjects.get()[0]->position.get(),
                  metresToCanvas(CanvasOrientation::top, Point{0.5, 1}, 140.0, show->zeroPoint));
        EXPECT_EQ(view->selectedDesk.get(), std::optional(desk));
        EXPECT_EQ(view->zoomLevel.get(), 140.0);
        EXPECT_TRUE(view->pathManager->pathCues->empty()) << "the opened show's cues replace the engine's";
        EXPECT_EQ(files->recentFiles().front(), (folder.path() / name).string());
        auto bookmark = defaults->data("SavedStateFileBookmark");
        ASSERT_TRUE(bookmark);
        EXPECT_EQ(std::string(bookmark->begin(), bookmark->end()), (folder.path() / name).string());
    }
    EXPECT_TRUE(presenter->alerts.empty());
}

TEST_F(ShowFileTest, OpenKeepsTheOutputSwitchAndTakesTheShowsDeskWithItsLink) {
    FakeDesk peer;
    MixingDesk tcp = testDesk(false);
    tcp.id = *platform::UUID::parse("0C000000-0000-4000-8000-00000000000C");
    tcp.name = tcp.displayName = "Acme TCP";
    tcp.defaultPort = peer.tcpPort();
    show->selectedDesk = tcp;
    show->oscOutputOn = true;
    show->isSoundScapeMode = true; // the file disagrees with its desk
    show->receivePort = "7123";
    const fs::path file = folder.path() / "Tcp.sonavant";
    view->handleExportResult({file, {}});

    view->selectedDesk = testDesk();
    view->targetPort.set("9");
    show->oscOutputOn = false;
    show->receivePort = "6000";
    platform::LogCapture log;
    view->handleImportResult({file, {}});
    EXPECT_EQ(view->selectedDesk.get(), std::optional(tcp));
    EXPECT_FALSE(show->oscOutputOn) << "the live switch stays";
    EXPECT_FALSE(show->isSoundScapeMode) << "decided from the desk";
    EXPECT_EQ(show->receivePort.get(), "7123");
    EXPECT_EQ(view->targetPort.get(), std::to_string(peer.tcpPort())) << "the desk's own port";
    EXPECT_TRUE(log.contains("Reconnecting TCP connection because desk.UDP is false."));
    EXPECT_TRUE(peer.waitForConnections(1, deadline));
    disconnectTCP();
}

TEST_F(ShowFileTest, OpenOfAnotherDesksShowSendsToThatDesksDefaultPort) {
    const MixingDesk qlab = shippedDesk("QLab 5"), matrix = shippedDesk("D&B DS100 Matrix"),
                     cl5 = shippedDesk("Yamaha CL5 (TCP)");
    auto outlet = std::make_shared<RecordingOutlet>();
    auto& v = makeView("127.0.0.1", "9", outlet);
    v.persistence = files.get();
    v.presenter = presenter;
    const fs::path matrixShow = deskShow(matrix, "Matrix.sonavant");
    const fs::path cl5Show = deskShow(cl5, "CL5.sonavant");
    const fs::path qlabShow = deskShow(qlab, "QLab.sonavant");

    auto portsOf = [&](const std::string& prefix) {
        std::set<std::uint16_t> ports;
        for (const auto& sent : outlet->sent())
            if (sent.address.starts_with(prefix))
                ports.insert(sent.port);
        return ports;
    };
    const std::string gain = "/dbaudio1/matrixnode/gain/", line = "set MIXER:Current/InCh/ToMix/Level ";
    v.selectDesk(qlab);
    ASSERT_EQ(v.targetPort.get(), "53000");
    v.handleImportResult({matrixShow, {}});
    EXPECT_EQ(v.targetPort.get(), "50010");
    EXPECT_EQ(show->targetPort.get(), "7777") << "the file's own port is only kept";
    ASSERT_TRUE(eventually([&] { return !portsOf(gain).empty(); }));
    // Undo gives the desk and port the Open replaced; Redo the opened desk's.
    show->undo();
    EXPECT_EQ(v.selectedDesk.get(), std::optional(qlab));
    EXPECT_EQ(v.targetPort.get(), "53000");
    show->redo();
    EXPECT_EQ(v.selectedDesk.get(), std::optional(matrix));
    EXPECT_EQ(v.targetPort.get(), "50010");
    v.selectDesk(qlab);
    v.handleImportResult({cl5Show, {}});
    EXPECT_EQ(v.targetPort.get(), "49280");
    ASSERT_NE(PersistentTCPClient::shared(), nullptr);
    EXPECT_EQ(PersistentTCPClient::shared()->port(), 49280);
    ASSERT_TRUE(eventually([&] { return !portsOf(line).empty(); }));
    EXPECT_EQ(portsOf(gain), std::set<std::uint16_t>{50010});
    EXPECT_EQ(portsOf(line), std::set<std::uint16_t>{49280});

    // The same desk keeps the port the operator set.
    v.selectDesk(qlab);
    v.targetPort.set("53001");
    v.handleImportResult({qlabShow, {}});
    EXPECT_EQ(v.targetPort.get(), "53001");
    disconnectTCP();
}

TEST_F(ShowFileTest, OpenUnderAnotherDeskReachesTheOpenedDesk) {
    FakeDesk qlabPeer, matrixPeer, cl5Peer;
    auto here = [](const std::string& name, std::uint16_t port) {
        MixingDesk local = shippedDesk(name);
        local.defaultPort = port; // its fake on loopback
        return local;
    };
    const MixingDesk qlab = here("QLab 5", qlabPeer.udpPort()),
                     matrix = here("D&B DS100 Matrix", matrixPeer.udpPort()),
                     cl5 = here("Yamaha CL5 (TCP)", cl5Peer.tcpPort());
    const fs::path matrixShow = deskShow(matrix, "Matrix.sonavant");
    const fs::path cl5Show = deskShow(cl5, "CL5.sonavant");
    show->soundObjects = std::vector<std::shared_ptr<SoundObject>>{}; // the pick sends nothing

    view->selectDesk(qlab);
    view->handleImportResult({matrixShow, {}});
    ASSERT_TRUE(matrixPeer.waitForDatagrams(4, deadline)); // two inputs on two matrices
    for (const auto& address : matrixPeer.addresses())
        EXPECT_TRUE(address.starts_with("/dbaudio1/matrixnode/gain/")) << address;

    view->selectDesk(qlab);
    view->handleImportResult({cl5Show, {}});
    EXPECT_TRUE(cl5Peer.waitForConnections(1, deadline));
    ASSERT_TRUE(cl5Peer.waitForLines(4, deadline));
    for (const auto& received : cl5Peer.lines())
        EXPECT_TRUE(received.text.starts_with("set MIXER:Current/InCh/ToMix/Level ")) << received.text;
    settle(100ms); // longer than any stagger and throttle of these sends
    EXPECT_EQ(qlabPeer.datagramCount(), 0u);
    disconnectTCP();
}

TEST_F(ShowFileTest, TheShowCarriesTheEnginesCuesThroughFilesAndUndo) {
    auto drawn = cue(1);
    drawn->loop = true;
    drawn->loopCount = 3;
    view->pathManager->pathCues = std::vector{drawn, cue(2)};
    EXPECT_EQ(show->pathCues.get(), view->pathManager->pathCues.get()) << "one list";
    view->handleExportResult({folder.path() / "Cues.sonavant", {}});
    view->handleExportResult({folder.path() / "Cues.json", {}});

    for (const char* name : {"Cues.sonavant", "Cues.json"}) {
        SCOPED_TRACE(name);
        view->pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{};
        view->pathManager->selectCue(cue(9), false);
        view->handleImportResult({folder.path() / name, {}});
        ASSERT_EQ(view->pathManager->pathCues->size(), 2u);
        const auto& back = *view->pathManager->pathCues.get()[0];
        EXPECT_EQ(back.id, drawn->id);
        EXPECT_EQ(back.loopCount, std::optional<std::int64_t>(3));
        EXPECT_EQ(show->pathCues.get(), view->pathManager->pathCues.get());
        EXPECT_TRUE(view->pathManager->selectedCueIDs->empty());
    }

    // "Delete Path" records the show first: one Undo brings the cue back.
    const auto kept = view->pathManager->pathCues.get();
    view->pathManager->selectCue(kept[1], false);
    view->deleteSelectedPath();
    EXPECT_EQ(view->pathManager->pathCues->size(), 1u);
    show->undo();
    ASSERT_EQ(view->pathManager->pathCues->size(), 2u);
    EXPECT_EQ(view->pathManager->pathCues.get()[0], kept[0]) << "a cue still there keeps its record";
    EXPECT_EQ(view->pathManager->pathCues.get()[1]->id, kept[1]->id);
    EXPECT_EQ(show->pathCues.get(), view->pathManager->pathCues.get());
    // Redo takes it again, and the sheet open on it closes.
    view->editPathCue(view->pathManager->pathCues.get()[1]);
    show->redo();
    EXPECT_EQ(view->pathManager->pathCues->size(), 1u);
    EXPECT_EQ(view->cueForProperties.get(), nullptr);
}

TEST_F(ShowFileTest, UndoAfterAZoomChangeGoesBackOneEditAtTheLiveZoomAndKeepsTheSwitch) {
    view->selectedDesk = testDesk();
    show->selectedDesk = testDesk();
    view->cachedGeometryProxy = CanvasGeometryProxy{{800, 500}, {}};
    show->zeroPointPosition = ZeroPointPosition::bottomLeft;
    view->updateZeroPoint();
    auto moved = show->soundObjects.get()[0];
    const Point before = moved->positionMeters;
    show->saveStateForUndo();
    moved->positionMeters = Point{2, 2};
    moved->position = metresToCanvas(CanvasOrientation::top, Point{2, 2}, 100, show->zeroPoint);
    show->saveStateForUndo();
    view->zoomLevel = 90;
    view->zoomLevelChanged(90);
    show->oscOutputOn = false;
    show->mixerLevels = PerSourcePerSpeaker<double>{};

    show->undo();
    moved = show->soundObjects.get()[0]; // the entry's record
    EXPECT_EQ(moved->positionMeters.get(), before);
    EXPECT_EQ(moved->position.get(), metresToCanvas(CanvasOrientation::top, before, 90, Point{0, 500}));
    EXPECT_FALSE(show->oscOutputOn);
    ASSERT_TRUE(show->mixerLevels->count(moved->id)) << "one level pass after the restore";
}

TEST_F(ShowFileTest, AFileThatIsNeitherFormChangesNothingAndIsShownBesideTheConsoleLine) {
    view->handleExportResult({folder.path() / "Gala.sonavant", {}});
    const std::string whole = platform::readFile(folder.path() / "Gala.sonavant");
    platform::writeFileAtomically(folder.path() / "Truncated.sonavant", whole.substr(0, whole.size() / 2));
    platform::writeFileAtomically(folder.path() / "Other.json", R"({"speakers": 3})");
    const auto recentBefore = files->recentFiles();

    show->range = 2.0;
    const std::string before = encoded(*show);
    platform::LogCapture log;
    for (const char* name : {"Truncated.sonavant", "Other.json"}) {
        view->handleImportResult({folder.path() / name, {}});
        EXPECT_EQ(encoded(*show), before) << name;
    }
    EXPECT_EQ(countLines(log, "❌ Import failed: "), 2u);
    ASSERT_EQ(presenter->alerts.size(), 2u);
    EXPECT_EQ(presenter->alerts[0].title, "The show could not be opened.");
    EXPECT_NE(presenter->alerts[0].text.find("Truncated.sonavant"), std::string::npos);
    EXPECT_EQ(files->recentFiles(), recentBefore);

    // A file that has gone, and an error from the panel.
    view->handleImportResult({folder.path() / "Gone.sonavant", {}});
    EXPECT_EQ(countLines(log, "❌ Import failed: "), 3u);
    view->handleImportResult({std::nullopt, "No permission."});
    EXPECT_EQ(countLines(log, "❌ File import failed: No permission."), 1u);
    EXPECT_EQ(encoded(*show), before);
}

TEST_F(ShowFileTest, TheMenuNotificationsOpenThePanelsWithTheirTypesAndDefaultName) {
    show->receivePort = "0";
    view->saveState(); // the start-up reads the working state back
    view->onAppearLoad();
    ASSERT_TRUE(mainLoopUntil([&] { return ActionDispatcher::updateOSC != nullptr; }));

    presenter->nextSave = folder.path() / "FromMenu";
    postAppNotification(exportStateNotification);
    ASSERT_TRUE(mainLoopUntil([&] { return fs::exists(folder.path() / "FromMenu.sonavant"); }));
    const double exportedRange = show->range;
    ASSERT_EQ(presenter->savePanels.size(), 1u);
    EXPECT_EQ(presenter->savePanels[0].defaultName, "SonavantState");
    EXPECT_EQ(presenter->savePanels[0].extensions, (std::vector<std::string>{"sonavant", "xml", "json"}));
    EXPECT_FALSE(view->isExporting);

    show->range = exportedRange + 1;
    presenter->nextOpen = folder.path() / "FromMenu.sonavant";
    postAppNotification(importStateNotification);
    ASSERT_TRUE(mainLoopUntil([&] { return show->range.get() == exportedRange; }));
    ASSERT_EQ(presenter->openPanels.size(), 1u);
    // What the export writes by default must be offered for opening.
    const auto& offered = presenter->openPanels[0].extensions;
    EXPECT_NE(std::find(offered.begin(), offered.end(), "sonavant"), offered.end());
    EXPECT_FALSE(view->isImporting);

    // Cancelled panels change nothing.
    presenter->nextOpen.reset();
    show->range = 4.0;
    postAppNotification(importStateNotification);
    ASSERT_TRUE(mainLoopUntil([&] { return presenter->openPanels.size() == 2; }));
    settle(50ms);
    EXPECT_EQ(show->range.get(), 4.0);
}

TEST_F(ShowFileTest, APanLawChangeFromASettingsWindowSendsAndOutlivesNoView) {
    auto outlet = std::make_shared<RecordingOutlet>();
    auto& v = makeView("127.0.0.1", "9000", outlet);
    v.selectedDesk = testDesk();
    v.cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};
    v.watchLevelSettings();
    show->panningMode = PanningMode::linear; // as any settings window writes it
    ASSERT_TRUE(mainLoopUntil([&] { return outlet->count() > 0; }));
    view.reset();
    show->panningMode = PanningMode::power; // the window may outlive the view it was opened from
    settle(50ms);
}

} // namespace
