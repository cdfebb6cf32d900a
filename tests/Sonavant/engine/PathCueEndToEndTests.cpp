// Path cues over real sockets on loopback: playback reaching a fake desk, remote play and
// stop on the receive port, and fade-cue generation against a fake QLab.

#include "ShowControlTestSupport.h"

#include "OSCCore/OSCObject.h"
#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/cues/FadeCueGenerator.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "tools/FakeDesk.h"

#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

using namespace showcontrol_test;

namespace {

std::shared_ptr<PathCue> pathCue(double number, std::vector<Point> nodes, std::vector<platform::UUID> targets,
                                 double time) {
    auto c = cue(number);
    c->nodesMeters = std::move(nodes);
    c->soundObjectIDs = std::move(targets);
    c->time = time;
    c->name = "Cue " + std::to_string(int(number));
    return c;
}

double distance(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// One OSC message as the peer received it: address and its arguments as "type:value".
struct Seen {
    std::string address;
    std::vector<std::string> arguments;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen) {
    out << seen.address;
    for (const auto& a : seen.arguments)
        out << " " << a;
    return out;
}

std::string argumentText(const OSCValue& value) {
    if (auto* s = value.as<std::string>())
        return "s:" + *s;
    if (auto* i = value.as<std::int32_t>())
        return "i:" + std::to_string(*i);
    if (value.as<float>())
        return "f"; // the value is checked where it matters
    return "?";
}

// What QLab received, without the level engine's own desk messages.
std::vector<Seen> qlabDialogue(const FakeDesk& qlab) {
    std::vector<Seen> seen;
    for (const auto& message : qlab.messages()) {
        std::string address(message.addressPattern().rawAddress());
        if (address.rfind("/ch/", 0) == 0)
            continue;
        Seen one{address, {}};
        for (const auto& value : message.values())
            one.arguments.push_back(argumentText(value));
        seen.push_back(std::move(one));
    }
    return seen;
}

class PathCueEndToEndTest : public ShowControlFixture {
protected:
    void TearDown() override {
        if (view)
            view->pathManager->stopAllPlayback();
        // A run still going finishes on its own (bounded waits) before the next test.
        mainLoopUntil([] { return !FadeCueGenerator::isRunning(); }, 10s);
        ShowControlFixture::TearDown();
    }

    // A view started the way the application starts it, sending to `deskPort`.
    ContentView& start(std::uint16_t deskPort, MixingDesk desk = testDesk(),
                       std::shared_ptr<DeskOutlet> outlet = nullptr) {
        auto& v = makeView("127.0.0.1", std::to_string(deskPort), std::move(outlet));
        v.selectedDesk = desk;
        show->receivePort = "0";
        v.saveState();
        v.cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};
        v.onAppearLoad();
        EXPECT_TRUE(mainLoopUntil([&] { return ActionDispatcher::updateOSC != nullptr; }));
        presenter = std::make_shared<RecordingPresenter>();
        v.presenter = presenter;
        return v;
    }
    std::shared_ptr<SoundObject> sourceNumbered(std::int64_t number) const {
        for (const auto& s : show->soundObjects.get())
            if (s->number.get() == number)
                return s;
        return nullptr;
    }
    static std::map<std::string, std::int32_t> lastLevels(const std::vector<OSCMessage>& messages) {
        std::map<std::string, std::int32_t> last;
        for (const auto& message : messages)
            if (!message.values().empty())
                if (auto* value = message.values()[0].as<std::int32_t>())
                    last[std::string(message.addressPattern().rawAddress())] = *value;
        return last;
    }
    // Waits until the peer has had nothing new for a while (staggered and held sends drained).
    static void drain(const FakeDesk& desk) {
        std::size_t count = desk.datagramCount();
        for (int i = 0; i < 50; ++i) {
            settle(200ms);
            if (desk.datagramCount() == count)
                return;
            count = desk.datagramCount();
        }
    }

    std::shared_ptr<RecordingPresenter> presenter;
};

TEST_F(PathCueEndToEndTest, AnAbsoluteCuePlaysToTheDeskAndEndsOnItsLastNode) {
    show->soundObjects = {source(1, 0, 0)};
    show->speakers = {speaker(1, 0, 0), speaker(2, 2, 2), speaker(3, 4, 0)};
    FakeDesk desk(false);
    auto& v = start(desk.udpPort());
    auto moved = sourceNumbered(1);
    ASSERT_TRUE(moved);
    drain(desk);
    desk.clear();

    auto c = pathCue(1, {{0, 0}, {2, 0}, {2, 2}}, {moved->id}, 4.0);
    v.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{c};
    v.pathManager->selectCue(c, false);
    const double started = platform::MainRunLoop::now();
    v.playSelectedCues();
    ASSERT_TRUE(mainLoopUntil([&] { return platform::MainRunLoop::now() - started >= 2.0; }));
    EXPECT_LT(distance(moved->positionMeters, {2, 0}), 0.3) << "about 2 s in";
    ASSERT_TRUE(mainLoopUntil([&] { return platform::MainRunLoop::now() - started >= 3.0; }));
    EXPECT_LT(distance(moved->positionMeters, {2, 1}), 0.3) << "about 3 s in";
    EXPECT_GT(desk.datagramCount(), 0u) << "levels while it plays";

    ASSERT_TRUE(mainLoopUntil([&] { return !v.pathManager->hasRunningPlayback(); }));
    EXPECT_EQ(moved->positionMeters.get(), (Point{2, 2}));
    drain(desk);
    const std::size_t after = desk.datagramCount();
    settle(500ms);
    EXPECT_EQ(desk.datagramCount(), after) << "nothing more once the sends have drained";

    // The last level per loudspeaker is the one for the end node.
    auto recorded = std::make_shared<RecordingOutlet>();
    auto still = emptyShow();
    still->soundObjects = {source(1, 2, 2)};
    still->speakers = {speaker(1, 0, 0), speaker(2, 2, 2), speaker(3, 4, 0)};
    ContentView reference(still, Binding<std::string>("127.0.0.1"), Binding<std::string>("9"),
                          Binding<bool>(true), 320.0, recorded);
    reference.selectedDesk = testDesk();
    reference.updateRelativeLevels();
    ASSERT_TRUE(eventually([&] { return recorded->count() == 3; }));
    const auto last = lastLevels(desk.messages());
    for (const auto& sent : recorded->sent()) {
        ASSERT_TRUE(last.count(sent.address)) << sent.address;
        EXPECT_EQ(std::to_string(last.at(sent.address)), sent.argument) << sent.address;
    }
}

TEST_F(PathCueEndToEndTest, RemotePlayAndStopArriveOnTheReceivePort) {
    show->soundObjects = {source(1, 0, 0)};
    show->speakers = {speaker(1, 0, 0)};
    FakeDesk desk(false);
    auto& v = start(desk.udpPort());
    ASSERT_TRUE(v.oscReceiver);
    const auto port = v.oscReceiver->localPort();
    auto moved = sourceNumbered(1);
    auto broken = pathCue(1, {{0, 0}, {5, 0}}, {moved->id}, 30);
    broken->hasError = true;
    auto two = pathCue(2, {{0, 0}, {0, 5}}, {moved->id}, 30);
    two->loop = true;
    v.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{broken, two};

    desk.send(port, OSCMessage("/sonavant/cue/play/1", {}));
    settle(300ms);
    EXPECT_FALSE(v.pathManager->hasRunningPlayback()) << "a cue with an error is ignored";

    desk.send(port, OSCMessage("/sonavant/cue/play/2", {}));
    ASSERT_TRUE(mainLoopUntil([&] { return v.pathManager->playingCueIDs->count(two->id) > 0; }));
    ASSERT_TRUE(mainLoopUntil([&] { return moved->positionMeters->y > 0.05; }));
    desk.send(port, OSCMessage("/sonavant/cue/stop/", {}));
    ASSERT_TRUE(mainLoopUntil([&] { return !v.pathManager->hasRunningPlayback(); }));
    const Point stopped = moved->positionMeters;
    settle(300ms);
    EXPECT_EQ(moved->positionMeters.get(), stopped);
}

// ---- Fade cues -----------------------------------------------------------------------------

MixingDesk qlabDesk() {
    MixingDesk d = testDesk();
    d.name = d.displayName = "QLab 5";
    return d;
}

class FadeCueEndToEndTest : public PathCueEndToEndTest {
protected:
    // Two sources, three loudspeakers along x, and a selected cue walking the first source
    // past them; a 0.3 m step adds its time to the next fade.
    ContentView& startWithCue(FakeDesk& qlab, MixingDesk desk = qlabDesk(),
                              std::shared_ptr<DeskOutlet> outlet = nullptr) {
        show->soundObjects = {source(1, 0, 0), source(2, 0, 1)};
        show->speakers = {speaker(1, 0, 0), speaker(2, 3, 0), speaker(3, 6, 0)};
        auto& v = start(qlab.udpPort(), desk, std::move(outlet));
        drain(qlab);
        qlab.clear();
        fadeCue = pathCue(1, {{0, 0}, {3, 0}, {3.3, 0}, {6, 0}},
                          {sourceNumbered(1)->id, sourceNumbered(2)->id}, 6.3);
        fadeCue->objectOffsets = std::map<platform::UUID, Point>{{sourceNumbered(2)->id, {0, 1}}};
        v.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{fadeCue};
        v.pathManager->selectCue(fadeCue, false);
        return v;
    }
    bool runToTheEnd(ContentView& v) {
        log = std::make_unique<platform::LogCapture>();
        v.validateFadeCuePreconditions();
        return mainLoopUntil(
            [&] {
                return log->contains("✅ Fade cue generation complete.") ||
                       log->contains("🛑 User canceled fade cue generation due to missing QLab reply.");
            },
            20s);
    }

    std::shared_ptr<PathCue> fadeCue;
    std::unique_ptr<platform::LogCapture> log;
};

TEST_F(FadeCueEndToEndTest, FullDialogueMakesAGroupOfTargetedFades) {
    FakeDesk qlab(false);
    auto& v = startWithCue(qlab);
    qlab.answerLikeQLab(v.oscReceiver->localPort(), "SELECTED-7");
    ASSERT_TRUE(v.disableOSCThrottling->get() == false);
    log = std::make_unique<platform::LogCapture>();
    v.validateFadeCuePreconditions();
    ASSERT_TRUE(mainLoopUntil([&] { return log->contains("🚀 Starting fade cue generation"); }));
    EXPECT_TRUE(v.disableOSCThrottling->get());
    v.validateFadeCuePreconditions(); // a second run would share the reply addresses
    EXPECT_TRUE(log->contains("⚠️ Fade cue generation is already running"));
    ASSERT_TRUE(mainLoopUntil([&] { return log->contains("✅ Fade cue generation complete."); }, 20s));
    ASSERT_TRUE(mainLoopUntil([] { return !FadeCueGenerator::isRunning(); }));
    EXPECT_FALSE(v.disableOSCThrottling->get()) << "restored";
    settle(100ms);

    const auto seen = qlabDialogue(qlab);
    std::vector<Seen> expected{{"/cue/selected/uniqueID", {}},
                               {"/new", {"s:group"}},
                               {"/cue_id/CUE-1/name", {"s:Sonavant Fades"}},
                               {"/cue_id/CUE-1/mode", {"i:6"}},
                               {"/cue/selected/level/1/1", {}}};
    for (int fade = 1; fade <= 2; ++fade) {
        const std::string id = "/cue_id/CUE-" + std::to_string(fade + 1);
        expected.push_back({"/new", {"s:fade"}});
        expected.push_back({id + "/name", {"s:Sonavant-Fade " + std::to_string(fade)}});
        expected.push_back({id + "/cueTargetId", {"s:SELECTED-7"}});
        expected.push_back({id + "/duration", {"f"}});
        expected.push_back({id + "/continueMode", {"i:2"}});
        for (int row : {1, 2})
            for (int channel : {1, 2, 3})
                expected.push_back(
                    {id + "/level/" + std::to_string(row) + "/" + std::to_string(channel), {"f"}});
        expected.push_back(
            {"/move/CUE-" + std::to_string(fade + 1), {"i:" + std::to_string(fade), "s:CUE-1"}});
    }
    EXPECT_EQ(seen, expected);

    // 6.3 s over 6 m: 3.15 s for the first fade; the short step's share goes into the second.
    std::vector<float> durations;
    for (const auto& message : qlab.messages())
        if (message.addressPattern().rawAddress().ends_with("/duration"))
            durations.push_back(*message.values()[0].as<float>());
    ASSERT_EQ(durations.size(), 2u);
    EXPECT_NEAR(durations[0], 3.15f, 1e-4);
    EXPECT_NEAR(durations[1], 0.315f + 2.835f, 1e-4);
    EXPECT_EQ(sourceNumbered(2)->positionMeters.get(), (Point{6, 1})) << "offsets kept, last node reached";
}

TEST_F(FadeCueEndToEndTest, SilentQLabAndCloseSendsOnlyTheFirstQuery) {
    FakeDesk qlab(false); // listens, never answers
    auto& v = startWithCue(qlab);
    presenter->alertAnswers = {"Close"};
    ASSERT_TRUE(runToTheEnd(v));
    ASSERT_EQ(presenter->alerts.size(), 1u);
    EXPECT_EQ(presenter->alerts[0].title, "QLab did not reply");
    EXPECT_EQ(presenter->alerts[0].buttons, (std::vector<std::string>{"Generate Anyway", "Close"}));
    settle(100ms);
    EXPECT_EQ(qlabDialogue(qlab), (std::vector<Seen>{{"/cue/selected/uniqueID", {}}}));
    EXPECT_FALSE(v.disableOSCThrottling->get());
}

TEST_F(FadeCueEndToEndTest, SilentQLabAndGenerateAnywayMakesUntargetedFades) {
    FakeDesk qlab(false);
    auto& v = startWithCue(qlab);
    presenter->alertAnswers = {"Generate Anyway"};
    ASSERT_TRUE(runToTheEnd(v));
    settle(100ms);
    std::vector<Seen> expected{{"/cue/selected/uniqueID", {}}};
    for (int fade = 1; fade <= 2; ++fade) {
        expected.push_back({"/new", {"s:fade"}});
        expected.push_back({"/cue/selected/name", {"s:Sonavant-Fade " + std::to_string(fade)}});
        expected.push_back({"/cue/selected/duration", {"f"}});
        expected.push_back({"/cue/selected/continueMode", {"i:2"}});
    }
    EXPECT_EQ(qlabDialogue(qlab), expected);
}

TEST_F(FadeCueEndToEndTest, WithoutAGroupReplyTheFadesStayOutsideAGroup) {
    FakeDesk qlab(false);
    auto& v = startWithCue(qlab);
    qlab.answerLikeQLab(v.oscReceiver->localPort(), "SELECTED-7");
    qlab.setQLabMakesGroups(false);
    // A late answer to an earlier run's "/new" waits in the receiver; it must not become the group.
    qlab.send(v.oscReceiver->localPort(), OSCMessage("/reply/new", {OSCValue("{\"data\":\"STALE\"}")}));
    ASSERT_TRUE(eventually([] { return AwaitedReplies::shared().bufferedReplyCount() > 0; }));
    ASSERT_TRUE(runToTheEnd(v));
    settle(100ms);
    const auto seen = qlabDialogue(qlab);
    for (const auto& one : seen) {
        EXPECT_EQ(one.address.rfind("/move/", 0), std::string::npos) << one;
        EXPECT_EQ(one.address.find("/mode"), std::string::npos) << one;
        EXPECT_EQ(one.address.find("STALE"), std::string::npos) << one;
    }
    EXPECT_NE(std::find(seen.begin(), seen.end(), Seen{"/cue_id/CUE-1/name", {"s:Sonavant-Fade 1"}}),
              seen.end());
}

// The desk send path made slow on purpose: each level leaves through the network `delay`
// after the level engine hands it over.
class SlowDeskOutlet : public DeskOutlet, public std::enable_shared_from_this<SlowDeskOutlet> {
public:
    explicit SlowDeskOutlet(std::chrono::milliseconds delay) : delay_(delay) {}
    void sendUDP(bool enabled, const std::string& address, const std::string& host, std::uint16_t port,
                 const OSCSendArgument& argument) override {
        {
            std::lock_guard lock(mutex_);
            ++pending_;
        }
        platform::DispatchQueue::global()->asyncAfter(
            delay_, [self = shared_from_this(), enabled, address, host, port, argument] {
                DeskOutlet::network()->sendUDP(enabled, address, host, port, argument);
                self->oneSent();
            });
    }
    void sendTCP(const std::string& text, const std::string& address, const std::string& host,
                 std::uint16_t port) override {
        DeskOutlet::network()->sendTCP(text, address, host, port);
    }
    void afterSends(std::function<void()> done) override {
        {
            std::lock_guard lock(mutex_);
            if (pending_ > 0)
                return waiting_.push_back(std::move(done));
        }
        DeskOutlet::network()->afterSends(std::move(done));
    }

private:
    void oneSent() {
        std::vector<std::function<void()>> due;
        {
            std::lock_guard lock(mutex_);
            if (--pending_ == 0)
                due.swap(waiting_);
        }
        for (auto& done : due)
            DeskOutlet::network()->afterSends(std::move(done));
    }

    const std::chrono::milliseconds delay_;
    std::mutex mutex_;
    std::size_t pending_ = 0;
    std::vector<std::function<void()>> waiting_;
};

TEST_F(FadeCueEndToEndTest, EachStepsLevelsReachQLabBetweenItsOwnNewAndTheNext) {
    FakeDesk qlab(false);
    MixingDesk desk = qlabDesk(); // levels addressed to the cue selected in QLab, as QLab 5's
    desk.mixOSCSend = "/cue/selected/level/{n}/{m}";
    desk.OSCFloat = true;
    // Slower than the pause after each "/new": only order can keep the levels on their cue.
    auto& v = startWithCue(qlab, desk, std::make_shared<SlowDeskOutlet>(400ms));
    qlab.answerLikeQLab(v.oscReceiver->localPort(), "SELECTED-7");
    ASSERT_TRUE(runToTheEnd(v));
    drain(qlab);

    // Per fade cue k: the levels it was given, and the level sends that arrived after its
    // "/new" and before the next one.
    std::map<int, std::map<std::string, float>> given;
    std::map<int, std::vector<std::pair<std::string, float>>> arrived;
    int fades = 0;
    for (const auto& message : qlab.messages()) {
        const std::string address(message.addressPattern().rawAddress());
        const auto& values = message.values();
        if (address == "/new" && !values.empty() && values[0].as<std::string>() &&
            *values[0].as<std::string>() == "fade") {
            ++fades;
            continue;
        }
        const float* level = values.empty() ? nullptr : values[0].as<float>();
        if (!level)
            continue;
        const std::string selected = "/cue/selected/level/";
        if (address.starts_with(selected))
            arrived[fades].push_back({address.substr(selected.size()), *level});
        for (int k : {1, 2}) {
            const std::string made = "/cue_id/CUE-" + std::to_string(k + 1) + "/level/";
            if (address.starts_with(made))
                given[k][address.substr(made.size())] = *level;
        }
    }
    ASSERT_EQ(fades, 2);
    for (int k : {1, 2}) {
        SCOPED_TRACE("fade " + std::to_string(k));
        ASSERT_EQ(given[k].size(), 6u);
        EXPECT_FALSE(arrived[k].empty()) << "the step's own levels follow its \"/new\"";
        for (const auto& [pair, level] : arrived[k]) {
            ASSERT_TRUE(given[k].count(pair)) << pair;
            EXPECT_NEAR(level, given[k].at(pair), 0.006) << pair;
        }
    }
}

TEST_F(FadeCueEndToEndTest, NoLevelOfAStepReachesQLabBeforeItsNewCueIsMade) {
    FakeDesk qlab(false);
    MixingDesk desk = qlabDesk();
    desk.mixOSCSend = "/cue/selected/level/{n}/{m}";
    desk.OSCFloat = true;
    auto& v = startWithCue(qlab, desk);
    // QLab makes a cue, and selects it, only when it answers: 300 ms after each request.
    constexpr auto answerDelay = 300ms;
    qlab.setReplyDelay(answerDelay);
    qlab.answerLikeQLab(v.oscReceiver->localPort(), "SELECTED-7");
    ASSERT_TRUE(runToTheEnd(v));
    drain(qlab);

    int fades = 0;
    FakeDesk::Clock::time_point made;
    std::map<int, int> levels; // per fade cue, the level sends that followed its "/new"
    for (const auto& datagram : qlab.datagrams()) {
        std::optional<OSCMessage> message;
        try {
            if (auto object = decodeOSCObject(ByteView(datagram.bytes)); object && object->message())
                message = *object->message();
        } catch (const std::exception&) {
        }
        if (!message)
            continue;
        const std::string address(message->addressPattern().rawAddress());
        const auto& values = message->values();
        if (address == "/new" && !values.empty() && values[0].as<std::string>() &&
            *values[0].as<std::string>() == "fade") {
            ++fades;
            made = datagram.arrival + answerDelay;
            continue;
        }
        if (fades == 0 || !address.starts_with("/cue/selected/level/") || values.empty() ||
            !values[0].as<float>())
            continue;
        ++levels[fades];
        EXPECT_GE(datagram.arrival, made)
            << address << " of fade " << fades << " arrived "
            << std::chrono::duration_cast<std::chrono::milliseconds>(made - datagram.arrival).count()
            << " ms before QLab answered its \"/new\"";
    }
    ASSERT_EQ(fades, 2);
    EXPECT_GT(levels[1], 0);
    EXPECT_GT(levels[2], 0);
}

TEST_F(PathCueEndToEndTest, TheEngineFollowsTheViewsZoom) {
    auto& v = makeView();
    EXPECT_EQ(v.pathManager->appState(), show);
    v.zoomLevel = 37.5;
    EXPECT_EQ(v.pathManager->currentZoomLevel.get(), 37.5);
}

TEST_F(PathCueEndToEndTest, FadeCueChecksAlertForTheFirstFailureOnly) {
    auto& v = makeView();
    presenter = std::make_shared<RecordingPresenter>();
    v.presenter = presenter;
    auto check = [&] {
        presenter->alerts.clear();
        v.validateFadeCuePreconditions();
        return presenter->alerts.empty() ? std::string() : presenter->alerts[0].title;
    };
    show->oscOutputOn = false;
    EXPECT_EQ(check(), "OSC Output is Disabled") << "even without a desk";
    show->oscOutputOn = true;
    EXPECT_EQ(check(), "QLab Not Selected");
    auto lower = qlabDesk();
    lower.displayName = "qlab 5";
    v.selectedDesk = lower;
    EXPECT_EQ(check(), "QLab Not Selected");
    auto padded = qlabDesk();
    padded.displayName = "QLab 5 \n";
    v.selectedDesk = padded;
    EXPECT_EQ(check(), "No Path Cue Selected");
    auto one = pathCue(1, {{0, 0}}, {}, 1);
    v.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{one};
    v.pathManager->selectCue(one, false);
    EXPECT_EQ(check(), "Not Enough Path Nodes");
    EXPECT_EQ(presenter->alerts[0].buttons, std::vector<std::string>{"OK"});
    one->nodesMeters.push_back({1, 0});
    platform::LogCapture log;
    EXPECT_EQ(check(), "");
    EXPECT_TRUE(
        mainLoopUntil([&] { return log.contains("❌ OSCReceiver not initialized — cannot proceed."); }));
}

} // namespace
