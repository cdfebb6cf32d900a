// A desk address or port edited in the settings: once the new destination reads as one and
// has rested, the desk there gets every level once; numbers typed on the way get nothing,
// and a desk pick or an Undo, which send every pair themselves, start no second round.

#include "EngineTestSupport.h"
#include "ShowControlTestSupport.h"
#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "tools/FakeDesk.h"

#include <algorithm>
#include <map>

using namespace showcontrol_test;

namespace {

using SendRecord = enginetest::RecordingOutlet;

// The last value per address that reached `host`:`port`, from the `from`-th send on.
std::map<std::string, std::string> lastAt(const SendRecord& outlet, const std::string& host,
                                          std::uint16_t port, std::size_t from = 0) {
    std::map<std::string, std::string> last;
    const auto sent = outlet.sent();
    for (std::size_t i = from; i < sent.size(); ++i)
        if (sent[i].host == host && sent[i].port == port)
            last[sent[i].address] = sent[i].argument.text();
    return last;
}

class DeskDestinationTest : public ShowControlFixture {
protected:
    // Two inputs on two loudspeakers: four pairs, started up as the application does.
    ContentView& startedView(const std::string& host, const std::string& port, MixingDesk desk,
                             std::shared_ptr<DeskOutlet> viewOutlet) {
        auto& v = makeView(host, port, std::move(viewOutlet));
        v.selectedDesk = desk;
        show->selectedDesk = desk;
        show->receivePort = "0";
        show->speakers = std::vector<Speaker>{speaker(1, 0.5, 0.5), speaker(2, 2.0, 0.5)};
        show->soundObjects =
            std::vector<std::shared_ptr<SoundObject>>{source(1, 0.6, 0.6), source(2, 1.8, 0.4)};
        v.saveState();
        v.cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};
        v.onAppearLoad();
        EXPECT_TRUE(mainLoopUntil([&] { return ActionDispatcher::updateOSC != nullptr; }));
        return v;
    }
    // The program's levels, whole numbers as the desk takes them, per input and mix (mix n is
    // loudspeaker n; a TCP desk counts from zero).
    std::map<std::string, std::string> programLevels(int first = 1) const {
        std::map<std::string, std::string> levels;
        for (const auto& source : show->soundObjects.get())
            for (const auto& [speakerID, level] : show->mixerLevels->at(source->id))
                levels["/ch/" + std::to_string(source->number - 1 + first) + "/mix/" +
                       std::to_string(speakerID - 1 + first) + "/level"] =
                    std::to_string(static_cast<long long>(std::llround(level)));
        return levels;
    }
    // Types `text` into a field one key at a time, `gap` apart on the loop's clock.
    static void type(Binding<std::string>& field, const std::string& text, std::chrono::milliseconds gap) {
        for (std::size_t n = 1; n <= text.size(); ++n) {
            field.set(text.substr(0, n));
            platform::MainRunLoop::advance(gap);
        }
    }
};

} // namespace

TEST_F(DeskDestinationTest, ARestedNewPortOrAddressGetsEveryLevelOnceAndNothingOnTheWay) {
    auto outlet = std::make_shared<SendRecord>();
    auto& v = startedView("127.0.0.1", "49900", testDesk(), outlet);
    ASSERT_TRUE(eventually([&] { return outlet->count() == 4; }));
    const auto levels = programLevels();
    ASSERT_EQ(levels.size(), 4u);
    EXPECT_EQ(lastAt(*outlet, "127.0.0.1", 49900), levels);
    platform::MainRunLoop::useFakeTime(true);

    // 43110 typed 100 ms apart: 4, 43, 431 and 4311 never rest.
    type(v.targetPort, "43110", 100ms);
    platform::MainRunLoop::advance(390ms);
    settle(150ms);
    EXPECT_EQ(outlet->count(), 4u);
    platform::MainRunLoop::advance(20ms);
    ASSERT_TRUE(eventually([&] { return outlet->count() == 8; }));
    settle(150ms);
    EXPECT_EQ(outlet->count(), 8u) << "one round per rested destination";
    EXPECT_EQ(lastAt(*outlet, "127.0.0.1", 43110), levels);
    for (std::uint16_t port : {4, 43, 431, 4311})
        EXPECT_TRUE(lastAt(*outlet, "127.0.0.1", port).empty()) << port;
    // The old destination keeps its last levels: nothing is taken down there.
    EXPECT_EQ(lastAt(*outlet, "127.0.0.1", 49900), levels);

    // A port that does not read as one, and no address, get nothing; typing back to where the
    // desk is starts no round either. (Addresses are pasted whole: a test connects to loopback only.)
    v.targetPort.set("70000");
    platform::MainRunLoop::advance(600ms);
    v.targetPort.set("4311");
    v.targetPort.set("43110");
    platform::MainRunLoop::advance(600ms);
    v.targetDeskIP.set("");
    v.targetPort.set("43111");
    platform::MainRunLoop::advance(600ms);
    settle(150ms);
    EXPECT_EQ(outlet->count(), 8u);

    // The address given: the new destination rests and gets its round.
    v.targetDeskIP.set("127.0.0.1");
    platform::MainRunLoop::advance(500ms);
    ASSERT_TRUE(eventually([&] { return outlet->count() == 12; }));
    EXPECT_EQ(lastAt(*outlet, "127.0.0.1", 43111), levels);

    // Output off: nothing goes; switching it on later sends every pair as it always does.
    show->oscOutputOn = false;
    v.targetPort.set("43112");
    platform::MainRunLoop::advance(600ms);
    settle(150ms);
    EXPECT_EQ(outlet->count(), 12u);
    show->oscOutputOn = true;
}

// SoundScape mode: every source's position instead.
TEST_F(DeskDestinationTest, InSoundScapeModeARestedNewPortGetsEveryPosition) {
    auto outlet = std::make_shared<SendRecord>();
    show->isSoundScapeMode = true;
    auto& v = startedView("127.0.0.1", "49900", testDesk(), outlet);
    ASSERT_TRUE(eventually([&] { return outlet->count() == 2; }));
    const auto positions = lastAt(*outlet, "127.0.0.1", 49900);
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_EQ(positions.begin()->first, "/dbaudio1/positioning/source_position_xy/1");
    platform::MainRunLoop::useFakeTime(true);

    type(v.targetPort, "50011", 100ms);
    platform::MainRunLoop::advance(400ms);
    ASSERT_TRUE(eventually([&] { return outlet->count() == 4; }));
    EXPECT_EQ(lastAt(*outlet, "127.0.0.1", 50011), positions);
    settle(150ms);
    EXPECT_EQ(outlet->count(), 4u);
}

TEST_F(DeskDestinationTest, ADeskPickOrAnUndoSetsThePortWithoutASecondRound) {
    auto outlet = std::make_shared<SendRecord>();
    auto& v = startedView("127.0.0.1", "49900", testDesk(), outlet);
    ASSERT_TRUE(eventually([&] { return outlet->count() == 4; }));
    platform::MainRunLoop::useFakeTime(true);

    // A pick while a typed port waits: the pick decides, with its own send.
    type(v.targetPort, "4311", 100ms);
    MixingDesk picked = testDesk();
    picked.defaultPort = 8000;
    v.selectDesk(picked);
    EXPECT_EQ(v.targetPort.get(), "8000");
    ASSERT_TRUE(eventually([&] { return outlet->count() == 8; }));
    EXPECT_EQ(lastAt(*outlet, "127.0.0.1", 8000).size(), 4u);
    platform::MainRunLoop::advance(600ms);
    settle(150ms);
    EXPECT_EQ(outlet->count(), 8u);
    EXPECT_TRUE(lastAt(*outlet, "127.0.0.1", 4311).empty()) << "the typed port never rested";

    // Its Undo gives back the show and the port the pick replaced (the typed one) and sends
    // them; the port change adds nothing.
    show->undo();
    ASSERT_EQ(v.targetPort.get(), "4311");
    ASSERT_EQ(show->soundObjects->size(), 2u);
    mainLoopUntil([&] { return outlet->count() >= 12; }, 2s);
    const std::size_t afterUndo = outlet->count();
    platform::MainRunLoop::advance(600ms);
    settle(200ms);
    EXPECT_EQ(outlet->count(), afterUndo);

    // Each Undo below must leave the desk at the typed port holding the show's levels.
    auto typeAndRest = [&](const std::string& port) {
        type(v.targetPort, port, 100ms);
        platform::MainRunLoop::advance(500ms);
        ASSERT_TRUE(
            mainLoopUntil([&] { return lastAt(*outlet, "127.0.0.1", std::stoi(port)) == programLevels(); }));
    };
    // What an Undo sends goes to `port` and holds the program's levels: every pair's after a
    // pick (the desk was cleared), the moved ones' after an edit.
    auto undoReaches = [&](const std::string& port, bool everyPair) {
        ASSERT_TRUE(mainLoopUntil([&] { return v.staggeredSendsOutstanding() == 0; }));
        const std::size_t mark = outlet->count();
        show->undo();
        EXPECT_EQ(v.targetPort.get(), port);
        auto heldByTheDesk = [&] {
            const auto levels = programLevels(), sent = lastAt(*outlet, "127.0.0.1", std::stoi(port), mark);
            if (everyPair)
                return sent == levels;
            return !sent.empty() && std::all_of(sent.begin(), sent.end(), [&](const auto& s) {
                return levels.count(s.first) && levels.at(s.first) == s.second;
            });
        };
        EXPECT_TRUE(mainLoopUntil(heldByTheDesk, 2s)) << port;
        const auto sent = outlet->sent();
        EXPECT_TRUE(std::all_of(sent.begin() + mark, sent.end(), [&](const SendRecord::Sent& s) {
            return s.port == std::stoi(port);
        })) << port;
    };
    auto nudge = [&] {
        show->saveStateForUndo();
        const auto& moved = show->soundObjects->front();
        const Point to{moved->positionMeters.get().x + 0.3, moved->positionMeters.get().y};
        moved->positionMeters = to;
        moved->position = metresToCanvas(show->canvasOrientation, to, v.zoomLevel, show->zeroPoint);
        v.updateRelativeLevels();
    };
    // An edit recorded before the port was typed: its Undo keeps the typed port.
    nudge();
    typeAndRest("43121");
    undoReaches("43121", false);
    // The same desk picked again: the pick set its default port, and Undo gives back the typed one.
    nudge();
    typeAndRest("43131");
    v.selectDesk(*v.selectedDesk.get());
    EXPECT_EQ(v.targetPort.get(), std::to_string(testDesk().defaultPort));
    undoReaches("43131", true);
    // Right after an Undo (the pick records no entry of its own), another desk picked.
    typeAndRest("43141");
    v.selectDesk(picked);
    undoReaches("43141", true);
    EXPECT_EQ(v.selectedDesk.get(), testDesk());
}

// A TCP desk moved to another port: the new link, once ready, carries every level.
TEST_F(DeskDestinationTest, ATCPDeskAtANewPortGetsEveryLineOnceItsLinkIsReady) {
    disconnectTCP();
    PersistentTCPClient::forgetMissedLines();
    FakeDesk before, after;
    auto& v = startedView("127.0.0.1", std::to_string(before.tcpPort()), testDesk(false), nullptr);
    ASSERT_TRUE(before.waitForLines(4, deadline));
    const auto levels = programLevels(0);
    EXPECT_EQ(before.lastValuePerAddress(), levels);
    platform::MainRunLoop::useFakeTime(true);

    v.targetPort.set(std::to_string(after.tcpPort()));
    platform::MainRunLoop::advance(500ms);
    ASSERT_TRUE(mainLoopUntil([&] { return after.lineCount() >= 4; }));
    settle(200ms);
    EXPECT_EQ(after.lineCount(), 4u);
    EXPECT_EQ(after.lastValuePerAddress(), levels);
    EXPECT_EQ(before.lineCount(), 4u);

    // The link check refreshing the healthy new link sends nothing more.
    for (std::size_t connections : {2, 3}) {
        v.checkTCPConnection();
        ASSERT_TRUE(after.waitForConnections(connections, deadline));
        settle(150ms);
    }
    EXPECT_EQ(after.lineCount(), 4u);
    disconnectTCP();
}
