// A crash gives back the newest show, whole. The built program is killed with SIGKILL after
// an edit and one tick of its own (shortened) autosave timer, and started again from the same
// home: its show is the one written last, all 37 keys of it. The menu commands that replace
// the show wholesale (Open, Open Recent, Undo, Redo, the end of a drawn path) are run on the
// application's own objects in this process, with the autosave timer far away; a kill right
// after each is what is on disk at that moment, so the test copies those files into a fresh
// home and starts the built program from it. A second launch beside a running one ends and
// leaves the first alone.
//
// The built program comes from SONAVANT_APP and runs under the offscreen platform; its desk
// is a fake one on 127.0.0.1.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/model/AppSaveContainer.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/model/AudienceArea.h"
#include "Sonavant/model/MixingDeskRoot.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/MenuBar.h"
#include "Sonavant/shell/SonavantApp.h"
#include "gui/GuiTestMain.h"
#include "platform/Files.h"
#include "platform/Serialization.h"
#include "platform/UserDefaults.h"
#include "support/Eventually.h"
#include "support/Loopback.h"
#include "support/RecordingPresenter.h"
#include "support/ShowFixtures.h"
#include "tools/FakeDesk.h"

#include "crash/ProgramUnderTest.h"

#include <QAction>
#include <QMenu>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::Value;

using programtest::fileText;
using programtest::Home;
using programtest::Program;
using programtest::seedWorkingState;
using programtest::waitUntil;

namespace {

ino_t inodeOf(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The "appState" dictionary of a show file in either form; none while it does not read.
std::optional<Value> showIn(const fs::path& file) {
    try {
        const std::string bytes = platform::readFile(file);
        if (file.extension() == ".json")
            return platform::readJSON(bytes);
        const Value root = platform::readPropertyList(bytes);
        if (const Value* show = root.find("appState"))
            return *show;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// The working state's sources, as stored (JSON bytes under "savedSoundObjects").
std::optional<Value> storedSources(const Home& home) {
    try {
        const Value root = platform::readPropertyList(platform::readFile(home.workingState()));
        const Value* stored = root.find("savedSoundObjects");
        const platform::Bytes* bytes = stored ? stored->asData() : nullptr;
        if (bytes)
            return platform::readJSON(std::string(bytes->begin(), bytes->end()));
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// The metres of the first source of a coded list of sources.
std::optional<Point> firstSourceMetres(const Value& sources) {
    const auto* list = sources.asArray();
    if (!list || list->empty())
        return std::nullopt;
    const Value* metres = (*list)[0].find("positionMeters");
    const auto* pair = metres ? metres->asArray() : nullptr;
    if (!pair || pair->size() != 2)
        return std::nullopt;
    double sx = 0, sy = 0;
    const double* x = (*pair)[0].asNumber(sx);
    const double* y = (*pair)[1].asNumber(sy);
    if (!x || !y)
        return std::nullopt;
    return Point{*x, *y};
}

std::optional<Point> firstSourceIn(const std::optional<Value>& show) {
    const Value* sources = show ? show->find("soundObjects") : nullptr;
    return sources ? firstSourceMetres(*sources) : std::nullopt;
}

// Every one of the 37 show keys equal; the keys that differ are listed.
std::string differences(const Value& expected, const Value& actual) {
    std::string out;
    for (const std::string& key : AppState::codingKeys()) {
        const Value* e = expected.find(key);
        const Value* a = actual.find(key);
        if (!e && !a)
            continue;
        if (!e || !a || !(*e == *a))
            out += key + " (expected " + (e ? platform::writeJSON(*e) : "nothing") + ", got " +
                   (a ? platform::writeJSON(*a) : "nothing") + ")\n";
    }
    return out;
}

MixingDesk firstShippedDesk() {
    return MixingDeskRoot::readFile(*mixingDesksResourcePath()).mixingDesks.front();
}

// A show with everything the working state does not hold as well: audience areas and a pan
// law other than the first launch's.
std::shared_ptr<AppState> showWith(int speakers, int sources, int areas, PanningMode law, double range) {
    const MixingDesk desk = firstShippedDesk();
    auto show = support::emptyShow({.imageScale = 1.0, .panning = law, .range = range});
    show->selectedDesk = desk;
    std::vector<Speaker> speakerList;
    for (int i = 1; i <= speakers; ++i)
        speakerList.push_back(
            Speaker(i, 1.0 * i, 2.0, 70.0, 100.0, {0, 600}, i, desk.mixName.value_or(desk.inputName), desk));
    show->speakers = speakerList;
    std::vector<std::shared_ptr<SoundObject>> sourceList;
    for (int i = 1; i <= sources; ++i)
        sourceList.push_back(
            std::make_shared<SoundObject>(desk.inputName, i, desk, 3.0, 0.5 * i, 100.0, Point{0, 600}));
    show->soundObjects = sourceList;
    std::vector<AudienceArea> areaList;
    for (int i = 0; i < areas; ++i)
        areaList.push_back({platform::UUID::random(),
                            "Stalls " + std::to_string(i + 1),
                            "blue",
                            {{-2.0 - i, 1}, {2, 1}, {2, 4.0 + i}, {-2, 4}}});
    show->audienceAreas = areaList;
    show->audienceAwarePanLaw = areas > 0;
    show->receivePort = "0";
    return show;
}

std::string listeningLine(std::uint16_t receivePort) {
    return "OSCReceiver: Successfully started on port " + std::to_string(receivePort);
}

// Seeds `home` (the desk at loopback, a show of two loudspeakers, one area, the sine law and
// the input at 3 m in the autosave) and runs the program once, ended as the operator ends it:
// the working state then holds the input at 3 m too. False, with the run's console, when the
// run did not go so.
bool runOnce(const Home& home, std::uint16_t deskPort, std::uint16_t receivePort, const std::string& interval,
             std::string& console) {
    {
        platform::UserDefaults defaults(home.config());
        defaults.set("savedRange", 7.5); // the working state's range overrides the show's at launch
        seedWorkingState(defaults, deskPort, receivePort);
    }
    const auto start = showWith(2, 1, 1, PanningMode::sine, 7.5);
    start->receivePort = std::to_string(receivePort);
    platform::writeFileAtomically(home.autosave(), AppStatePersistence::encodeState(*start, home.autosave()));
    Program first(home, "first");
    const bool ran = first.start(interval) &&
                     waitUntil([&] { return first.logContains(listeningLine(receivePort)); }) &&
                     first.end(SIGTERM);
    console = first.log();
    return ran;
}

// The show a fresh start of the program in `home` gives: what its first autosave tick
// writes. The program is ended after.
std::optional<Value> showAfterRestart(const Home& home, const std::string& name) {
    const ino_t before = inodeOf(home.autosave());
    Program program(home, name);
    if (!program.start("0.3"))
        return std::nullopt;
    if (!waitUntil([&] { return inodeOf(home.autosave()) != before && showIn(home.autosave()); }, 60s)) {
        qWarning("%s never autosaved:\n%s", name.c_str(), program.log().c_str());
        return std::nullopt;
    }
    auto show = showIn(home.autosave());
    program.end(SIGTERM);
    return show;
}

} // namespace

class CrashRecoveryTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(programtest::prepareHomes("sonavant-crash", homes_), "SONAVANT_APP names no program");
    }

    void cleanupTestCase() { programtest::removeHomes(homes_, QTest::currentTestFailed()); }

    // A double-click while the program runs: the second launch ends at once with a non-zero
    // status and the first keeps its files, its socket and its show. The first launch removed
    // the temporary files that interrupted writes had left, and only those; a kill leaves no
    // lock behind.
    void aSecondLaunchWithTheSameAutosaveEndsAndLeavesTheFirstAlone() {
        FakeDesk desk;
        const std::uint16_t receivePort = support::freeUdpPort();
        const Home home = Home::make(homes_, "two-launches");
        {
            platform::UserDefaults defaults(home.config());
            seedWorkingState(defaults, desk.udpPort(), receivePort);
        }
        const auto start = showWith(2, 1, 0, PanningMode::sine, 5.0);
        start->receivePort = std::to_string(receivePort);
        platform::writeFileAtomically(home.autosave(),
                                      AppStatePersistence::encodeState(*start, home.autosave()));
        const std::vector<fs::path> leftovers = {home.data() / ".autosave.sonavant.tmp-0123456789ab",
                                                 home.config() / ".Sonavant.plist.tmp-a0b1c2d3e4f5"};
        const std::vector<fs::path> lookalikes = {home.data() / ".autosave.sonavant.tmp-0123456789AB",
                                                  home.data() / "autosave.sonavant.tmp-0123456789ab",
                                                  home.config() / ".Sonavant.plist.tmp-a0b1c2d3e4f56"};
        for (const auto& file : leftovers)
            std::ofstream(file) << "partial";
        for (const auto& file : lookalikes)
            std::ofstream(file) << "someone else's";

        const std::string listening =
            "OSCReceiver: Successfully started on port " + std::to_string(receivePort);
        Program first(home, "first-launch");
        QVERIFY(first.start("0.3"));
        QVERIFY2(waitUntil([&] { return first.logContains(listening); }), first.log().c_str());
        for (const auto& file : leftovers)
            QVERIFY2(!fs::exists(file), file.c_str());
        for (const auto& file : lookalikes)
            QVERIFY2(fs::exists(file), file.c_str());

        // A write of the first's under way as the second starts.
        const fs::path underway = home.data() / ".autosave.sonavant.tmp-fedcba987654";
        std::ofstream(underway) << "partial";
        Program second(home, "second-launch");
        QVERIFY(second.start("0.3"));
        const auto status = second.exitStatus(30s);
        QVERIFY2(status, second.log().c_str());
        QVERIFY(*status != 0);
        QVERIFY2(second.logContains("Sonavant is already running"), second.log().c_str());
        QVERIFY2(!second.logContains("OSCReceiver"), second.log().c_str());
        QVERIFY(fs::exists(underway));
        QVERIFY(first.running());

        // The first still listens and still saves.
        desk.send(receivePort, OSCMessage("/sonavant/track/1", {OSCValue(4.0f), OSCValue(0.5f)}));
        QVERIFY2(waitUntil([&] {
                     return firstSourceIn(showIn(home.autosave())) == Point{4.0, 0.5};
                 }),
                 first.log().c_str());
        QVERIFY(first.end(SIGKILL));

        Program third(home, "third-launch");
        QVERIFY(third.start("0.3"));
        QVERIFY2(waitUntil([&] { return third.logContains(listening); }), third.log().c_str());
        QVERIFY(!third.logContains("already running"));
        QVERIFY(third.end(SIGTERM));
    }

    // The program's own timer, shortened; a remote move stands in for the drag.
    void aKillAfterAnEditAndOneAutosaveTickGivesThatShowBack() {
        FakeDesk desk;
        const std::uint16_t receivePort = support::freeUdpPort();
        const Home home = Home::make(homes_, "edit-then-tick");
        std::string console;
        QVERIFY2(runOnce(home, desk.udpPort(), receivePort, "0.3", console), console.c_str());
        QCOMPARE(firstSourceMetres(*storedSources(home)), std::optional(Point{3.0, 0.5}));
        const std::string listening = listeningLine(receivePort);

        Program second(home, "second");
        QVERIFY(second.start("0.3"));
        QVERIFY2(waitUntil([&] { return second.logContains(listening); }), second.log().c_str());
        desk.send(receivePort, OSCMessage("/sonavant/track/1", {OSCValue(4.0f), OSCValue(0.5f)}));
        // One tick writes both: the autosave, then the working state.
        QVERIFY2(waitUntil([&] {
                     return firstSourceIn(showIn(home.autosave())) == Point{4.0, 0.5};
                 }),
                 second.log().c_str());
        QVERIFY2(waitUntil([&] {
                     auto sources = storedSources(home);
                     return sources && firstSourceMetres(*sources) == Point{4.0, 0.5};
                 }),
                 "the autosave tick did not write the working state");
        QVERIFY(second.end(SIGKILL));
        const auto written = showIn(home.autosave());
        QVERIFY(written);

        const auto restarted = showAfterRestart(home, "third");
        QVERIFY(restarted);
        QCOMPARE(firstSourceIn(restarted), std::optional(Point{4.0, 0.5}));
        QCOMPARE(restarted->find("audienceAreas")->asArray()->size(), std::size_t(1));
        QCOMPARE(*restarted->find("panningMode")->asText(), std::string("Sine Curved"));
        QCOMPARE(*restarted->find("range")->asReal(), 7.5);
        const std::string diff = differences(*written, *restarted);
        QVERIFY2(diff.empty(), diff.c_str());
    }

    // A kill between the renames of one joint write: the autosave is in place, the working
    // state is not. strace kills the program as the writer's thread enters its second rename,
    // the working state's of the final save after a remote move; the next start must give
    // the autosave's show whole, not the older working state's sources on top of it.
    void aKillBetweenTheTwoRenamesGivesTheAutosavesShowWhole() {
        QVERIFY2(::system("strace -V >/dev/null 2>&1") == 0,
                 "strace is missing (scripts/setup.sh installs it)");
        FakeDesk desk;
        const std::uint16_t receivePort = support::freeUdpPort();
        const Home home = Home::make(homes_, "between-renames");
        std::string console;
        QVERIFY2(runOnce(home, desk.udpPort(), receivePort, "3600", console), console.c_str());
        // Both files written together: the input at 3 m in each.
        QCOMPARE(firstSourceMetres(*storedSources(home)), std::optional(Point{3.0, 0.5}));
        const std::string listening = listeningLine(receivePort);

        Program second(home, "second");
        QVERIFY(second.start("3600", {},
                             {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=rename", "-e",
                              "inject=rename:signal=KILL:when=2"}));
        QVERIFY2(waitUntil([&] { return second.logContains(listening); }), second.log().c_str());
        desk.send(receivePort, OSCMessage("/sonavant/track/1", {OSCValue(4.0f), OSCValue(0.5f)}));
        QVERIFY2(waitUntil([&] { return second.logContains("updating position."); }), second.log().c_str());
        // To the program itself: strace ending would end the tracing.
        const std::string children = fileText("/proc/" + std::to_string(second.pid()) + "/task/" +
                                              std::to_string(second.pid()) + "/children");
        const pid_t traced = std::atoi(children.c_str());
        QVERIFY2(traced > 0, children.c_str());
        ::kill(traced, SIGTERM);
        QVERIFY(second.waitForEnd(30s));
        const auto written = showIn(home.autosave());
        QVERIFY(written);
        QCOMPARE(firstSourceIn(written), std::optional(Point{4.0, 0.5}));
        QCOMPARE(firstSourceMetres(*storedSources(home)), std::optional(Point{3.0, 0.5}));

        const auto restarted = showAfterRestart(home, "third");
        QVERIFY(restarted);
        QCOMPARE(firstSourceIn(restarted), std::optional(Point{4.0, 0.5}));
        const std::string diff = differences(*written, *restarted);
        QVERIFY2(diff.empty(), diff.c_str());
    }

    // Open, Open Recent, Undo, Redo and a path's end on the application's own objects, each
    // followed by a "kill": the files on disk at that moment, started from in a fresh home.
    void aKillAfterEachWholesaleChangeGivesThatShowBack() {
        FakeDesk desk;
        const Home here{guitest::prepareEnvironment()};
        // This process's own store: the application reads it from there.
        seedWorkingState(platform::UserDefaults::standard(), desk.udpPort(), support::freeUdpPort());
        // No tick of the running application's own writes the files during this case.
        ::setenv(AppStatePersistence::autosaveIntervalVariable, "3600", 1);

        const fs::path showA = homes_ / "A.sonavant";
        const fs::path showB = homes_ / "B.json";
        const auto a = showWith(3, 1, 1, PanningMode::sine, 6.0);
        const auto b = showWith(1, 2, 2, PanningMode::linear, 9.0);
        b->minLevel = 10;
        platform::writeFileAtomically(showA, AppStatePersistence::encodeState(*a, showA));
        platform::writeFileAtomically(showB, AppStatePersistence::encodeState(*b, showB));

        auto presenter = std::make_shared<support::RecordingPresenter>();
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        options.presenter = presenter;
        options.terminate = [] {};
        auto app = std::make_unique<SonavantApp>(options);
        app->start();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 10000);
        MenuBar* menus = app->mainWindow().findChild<MenuBar*>();
        QVERIFY(menus);
        ContentView& view = app->contentView();
        QTRY_VERIFY_WITH_TIMEOUT(view.appState->selectedDesk.get().has_value(), 10000);

        struct Kill {
            std::string name;
            Home home;
            Value show;
        };
        std::vector<Kill> kills;
        auto kill = [&](const std::string& name) {
            // Once the writer's thread has put both files on disk.
            view.waitForWrites();
            Home copy = Home::make(homes_, name);
            for (const auto& [from, to] : {std::pair{here.autosave(), copy.autosave()},
                                           std::pair{here.workingState(), copy.workingState()}})
                if (fs::exists(from))
                    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
            kills.push_back({name, copy, app->appState()->encode()});
        };
        auto trigger = [&](const char* title) {
            menus->refresh();
            QAction* action = menus->action(title);
            QVERIFY2(action && action->isEnabled(), title);
            action->trigger();
        };

        presenter->nextOpen = showA;
        trigger("Open...");
        QTRY_COMPARE_WITH_TIMEOUT(app->appState()->speakers->size(), std::size_t(3), 10000);
        kill("after-open");

        app->persistence().addRecentFile(showB);
        menus->rebuildOpenRecent();
        QAction* recent = nullptr;
        for (QAction* item : menus->openRecentMenu()->actions())
            if (item->data().toString() == QString::fromStdString(showB.string()))
                recent = item;
        QVERIFY(recent && recent->isEnabled());
        recent->trigger();
        QCOMPARE(app->appState()->soundObjects->size(), std::size_t(2));
        kill("after-open-recent");

        view.addSpeaker();
        QCOMPARE(app->appState()->speakers->size(), std::size_t(2));
        trigger("Undo");
        QCOMPARE(app->appState()->speakers->size(), std::size_t(1));
        kill("after-undo");
        trigger("Redo");
        QCOMPARE(app->appState()->speakers->size(), std::size_t(2));
        kill("after-redo");

        const auto source = app->appState()->soundObjects->front();
        view.selectedObjects = std::set<std::string>{soundObjectKey(source->id)};
        trigger("Draw Path");
        QVERIFY(view.isRecordingPath.get());
        const Point from = source->position;
        for (int step = 1; step <= 3; ++step)
            view.addPathPointFromDrag({{from.x + 40.0 * step, from.y - 25.0 * step}, from});
        ContentView::CanvasDrag end{{from.x + 160, from.y - 100}, from};
        end.control = true;
        view.endPathOnControlClick(end);
        QCOMPARE(app->appState()->pathCues->size(), std::size_t(1));
        const auto cue = app->appState()->pathCues->front();
        kill("after-path-end");

        for (const Kill& k : kills) {
            const auto restarted = showAfterRestart(k.home, k.name);
            QVERIFY2(restarted, k.name.c_str());
            const std::string diff = differences(k.show, *restarted);
            QVERIFY2(diff.empty(), (k.name + ":\n" + diff).c_str());
        }
        // Literally: the areas and pan law of the show opened last, and the drawn cue.
        const auto last = showAfterRestart(kills.back().home, "after-path-end-again");
        QVERIFY(last);
        QCOMPARE(last->find("audienceAreas")->asArray()->size(), std::size_t(2));
        QCOMPARE(*last->find("panningMode")->asText(), std::string("Linear"));
        QCOMPARE(*last->find("minLevel")->asInteger(), std::int64_t(10));
        const auto* cues = last->find("pathCues")->asArray();
        QVERIFY(cues && cues->size() == 1);
        QCOMPARE(*(*cues)[0].find("id")->asText(), cue->id.string());
        QCOMPARE((*cues)[0].find("nodesMeters")->asArray()->size(), cue->nodesMeters.size());

        app.reset();
    }

private:
    fs::path homes_;
};

SONAVANT_GUI_TEST_MAIN(CrashRecoveryTests)
#include "CrashRecoveryTests.moc"
