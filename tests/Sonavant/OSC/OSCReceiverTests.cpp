#include "Sonavant/OSC/OSCReceiver.h"

#include "OSCCore/OSCBundle.h"
#include "OSCCore/OSCDecodeError.h"
#include "OSCTestSupport.h"
#include "tools/FakeDesk.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <mutex>
#include <random>
#include <set>
#include <sstream>

using namespace osctest;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string num(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

// Records every callback as one line of text, in call order, from any thread.
class Recorder {
public:
    void add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

void install(OSCReceiver& receiver, Recorder& recorder) {
    receiver.onCuePlay = [&](double n) { recorder.add("play " + num(n)); };
    receiver.onSnapshotRecall = [&](std::int64_t n) { recorder.add("recall " + std::to_string(n)); };
    receiver.onStopPlayback = [&] { recorder.add("stop"); };
    receiver.onTrackPosition = [&](std::int64_t n, double x, double y) {
        recorder.add("track " + std::to_string(n) + " " + num(x) + " " + num(y));
    };
    receiver.onSpeakerPosition = [&](std::int64_t id, double x, double y) {
        recorder.add("speaker " + std::to_string(id) + " " + num(x) + " " + num(y));
    };
    receiver.onSpeakerFocus = [&](std::int64_t id, double v) {
        recorder.add("focus " + std::to_string(id) + " " + num(v));
    };
    receiver.onSpeakerWidth = [&](std::int64_t id, double v) {
        recorder.add("width " + std::to_string(id) + " " + num(v));
    };
    receiver.onSoundscapeSpeaker = [&](const SoundscapeSpeaker& s) {
        recorder.add("ds100speaker " + std::to_string(s.speakerNumber) + " " + num(s.x) + " " + num(s.y) +
                     " " + num(s.rotation));
    };
    receiver.onSoundscapeObjectPosition = [&](std::int64_t n, float x, float y) {
        recorder.add("ds100source " + std::to_string(n) + " " + num(x) + " " + num(y));
    };
}

struct Row {
    OSCMessage message;
    std::string event; // empty: no callback
    std::string line;  // a console line beyond "📥 Received OSC: ", or empty for none at all
};

} // namespace

TEST(OSCReceiverTest, DispatchesEveryRowOfTheTableAndRefusesItsNearMisses) {
    auto receiver = OSCReceiver::make(0);
    Recorder recorder;
    install(*receiver, recorder);
    const std::string trackFailure = "❌ Failed to parse /sonavant/track/ values: ";
    const std::string speakerReplyFailure = "SoundScape: Error unwrapping speaker position values: ";
    const std::vector<Row> rows = {
        {OSCMessage("/sonavant/cue/play/2.5"), "play 2.5",
         "OSCReceiver: Received cue play command for cue 2.5"},
        {OSCMessage("/sonavant/cue/play/7", {OSCValue(1)}), "play 7",
         "OSCReceiver: Received cue play command for cue 7.0"},
        {OSCMessage("/sonavant/cue/play/-1e2"), "play -100", "for cue -100.0"},
        {OSCMessage("/sonavant/cue/play/"), "", ""},
        {OSCMessage("/sonavant/cue/play/abc"), "", ""},
        {OSCMessage("/sonavant/cue/play/1.5x"), "", ""},
        {OSCMessage("/sonavant/cue/play/+-1"), "", ""},
        {OSCMessage("/sonavant/cue/play/inf"), "", "non-finite cue number"},
        {OSCMessage("/sonavant/cue/play/nan"), "", "non-finite cue number"},
        {OSCMessage("/sonavant/cue/play/1e999"), "", "non-finite cue number"},
        {OSCMessage("/sonavant/snapshot/recall/+3"), "recall 3", "for snapshot 3"},
        {OSCMessage("/sonavant/snapshot/recall/-2"), "recall -2", "for snapshot -2"},
        {OSCMessage("/sonavant/snapshot/recall/3.0"), "", ""},
        {OSCMessage("/sonavant/snapshot/recall/+-3"), "", ""},
        {OSCMessage("/sonavant/snapshot/recall/-"), "", ""},
        {OSCMessage("/sonavant/snapshot/recall/"), "", ""},
        {OSCMessage("/sonavant/snapshot/recall/99999999999999999999"), "", ""},
        {OSCMessage("/sonavant/track/4", {OSCValue(1), OSCValue(2.5f)}), "track 4 1 2.5", ""},
        {OSCMessage("/sonavant/track/+4", {OSCValue(std::int64_t{-1}), OSCValue(0.25)}), "track 4 -1 0.25",
         ""},
        {OSCMessage("/sonavant/track/4", {OSCValue(1.0f)}), "", trackFailure + "Invalid argument count"},
        {OSCMessage("/sonavant/track/4", {OSCValue(1), OSCValue(2), OSCValue(3)}), "",
         trackFailure + "Invalid argument count"},
        {OSCMessage("/sonavant/track/4", {OSCValue("x"), OSCValue(2)}), "",
         trackFailure + "Mismatched types"},
        {OSCMessage("/sonavant/track/4", {OSCValue(true), OSCValue(2)}), "",
         trackFailure + "Mismatched types"},
        {OSCMessage("/sonavant/track/4", {OSCValue(kNaN), OSCValue(2)}), "",
         trackFailure + "Non-finite number"},
        {OSCMessage("/sonavant/track/4", {OSCValue(1), OSCValue(float(-kInf))}), "",
         trackFailure + "Non-finite number"},
        {OSCMessage("/sonavant/track/x", {OSCValue(1), OSCValue(2)}), "", ""},
        {OSCMessage("/sonavant/track/4.5", {OSCValue(1), OSCValue(2)}), "", ""},
        {OSCMessage("/sonavant/speaker/position/", {OSCValue(3.9), OSCValue(1), OSCValue(2)}),
         "speaker 3 1 2", ""},
        {OSCMessage("/sonavant/speaker/position/", {OSCValue(-0.5f), OSCValue(1), OSCValue(2)}),
         "speaker 0 1 2", ""},
        {OSCMessage("/sonavant/speaker/position/", {OSCValue(1), OSCValue(2)}), "",
         "❌ Failed to parse /sonavant/speaker/position/ values: Invalid argument count"},
        {OSCMessage("/sonavant/speaker/position/", {OSCValue(1e300), OSCValue(1), OSCValue(2)}), "",
         "❌ Failed to parse /sonavant/speaker/position/ values: Loudspeaker id out of range"},
        {OSCMessage("/sonavant/speaker/position/", {OSCValue(kInf), OSCValue(1), OSCValue(2)}), "",
         "❌ Failed to parse /sonavant/speaker/position/ values: Non-finite number"},
        {OSCMessage("/sonavant/speaker/position/5", {OSCValue(1), OSCValue(1), OSCValue(2)}), "",
         "OSCReceiver: Unhandled OSC message with address: /sonavant/speaker/position/5"},
        {OSCMessage("/sonavant/speaker/focus/", {OSCValue(2), OSCValue(45.5f)}), "focus 2 45.5", ""},
        {OSCMessage("/sonavant/speaker/focus/", {OSCValue(2), OSCValue(kNaN)}), "",
         "❌ Failed to parse /sonavant/speaker/focus/ values: Non-finite number"},
        {OSCMessage("/sonavant/speaker/focus", {OSCValue(2), OSCValue(45)}), "",
         "OSCReceiver: Unhandled OSC message with address: /sonavant/speaker/focus"},
        {OSCMessage("/sonavant/speaker/width/", {OSCValue(std::int64_t{2}), OSCValue(90)}), "width 2 90", ""},
        {OSCMessage("/sonavant/speaker/width/", {OSCValue(2), OSCValue("wide")}), "",
         "❌ Failed to parse /sonavant/speaker/width/ values: Mismatched types"},
        {OSCMessage("/sonavant/cue/stop/"), "stop", "OSCReceiver: Received stop playback command"},
        {OSCMessage("/sonavant/cue/stop/now", {OSCValue(1)}), "stop",
         "OSCReceiver: Received stop playback command"},
        {OSCMessage("/sonavant/cue/stop"), "",
         "OSCReceiver: Unhandled OSC message with address: /sonavant/cue/stop"},
        {OSCMessage("/reply/anything", {OSCValue("x")}), "", "OSCReceiver: Received reply: /reply/anything"},
        {OSCMessage("/reply"), "", "OSCReceiver: Unhandled OSC message with address: /reply"},
        {OSCMessage("/dbaudio1/positioning/speaker_position/12",
                    {OSCValue(1.5f), OSCValue(-2.0f), OSCValue(0.0f), OSCValue(90.0f), OSCValue(0.0f),
                     OSCValue(0.0f)}),
         "ds100speaker 12 1.5 -2 90", "SoundScape: Received speaker 12 raw position (meters): X=1.5, Y=-2.0"},
        {OSCMessage("/dbaudio1/positioning/speaker_position/3",
                    {OSCValue(1), OSCValue(2), OSCValue(3), OSCValue(4), OSCValue(5), OSCValue(6)}),
         "ds100speaker 3 1 2 4", "SoundScape: Full OSC speaker message received: "},
        {OSCMessage("/dbaudio1/positioning/speaker_position/3",
                    {OSCValue(1), OSCValue(2), OSCValue(3), OSCValue(4), OSCValue(5)}),
         "", speakerReplyFailure + "Invalid argument count"},
        {OSCMessage(
             "/dbaudio1/positioning/speaker_position/3",
             {OSCValue(1), OSCValue(2), OSCValue(3), OSCValue(4), OSCValue(5), OSCValue(6), OSCValue(7)}),
         "", speakerReplyFailure + "Invalid argument count"},
        {OSCMessage("/dbaudio1/positioning/speaker_position/3",
                    {OSCValue(1e300), OSCValue(2), OSCValue(3), OSCValue(4), OSCValue(5), OSCValue(6)}),
         "", speakerReplyFailure + "Non-finite number"},
        {OSCMessage("/dbaudio1/positioning/speaker_position/"), "",
         "SoundScape: Failed to parse speaker number from address: /dbaudio1/positioning/speaker_position/"},
        {OSCMessage("/dbaudio1/positioning/speaker_position/a"), "",
         "SoundScape: Failed to parse speaker number from address: /dbaudio1/positioning/speaker_position/a"},
        {OSCMessage("/dbaudio1/positioning/source_position/3",
                    {OSCValue(1.25f), OSCValue(2.5f), OSCValue(0.0f)}),
         "ds100source 3 1.25 2.5",
         "SoundScape: Received sound object 3 raw position (meters): X=1.25, Y=2.5"},
        {OSCMessage("/dbaudio1/positioning/source_position/3", {OSCValue(1.25f), OSCValue(2.5f)}), "",
         "SoundScape: Error unwrapping sound object position values: Invalid argument count"},
        {OSCMessage("/dbaudio1/positioning/source_position/x", {OSCValue(1), OSCValue(2), OSCValue(3)}), "",
         "SoundScape: Failed to parse sound object number from address: "
         "/dbaudio1/positioning/source_position/x"},
        {OSCMessage("/foo"), "", "OSCReceiver: Unhandled OSC message with address: /foo"},
        {OSCMessage("/sonavant/cue/pla*/1"), "",
         "OSCReceiver: Unhandled OSC message with address: /sonavant/cue/pla*/1"},
    };
    for (const auto& row : rows) {
        const std::string address(row.message.addressPattern().rawAddress());
        SCOPED_TRACE(address + " " + row.message.description());
        recorder.clear();
        platform::LogCapture log;
        receiver->handleMessage(row.message);
        // A reply is kept before handleMessage returns: its lines are in this row's capture.
        if (row.event == "stop") {
            ASSERT_TRUE(mainLoopUntil([&] { return !recorder.events().empty(); }));
        }
        EXPECT_EQ(recorder.events(), row.event.empty() ? std::vector<std::string>{} : std::vector{row.event});
        auto lines = log.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].rfind("📥 Received OSC: " + address + " — values: [", 0), 0u) << lines[0];
        if (row.line.empty()) {
            EXPECT_EQ(lines.size(), 1u) << lines.back();
        } else {
            EXPECT_TRUE(log.contains(row.line));
        }
    }
}

TEST(OSCReceiverTest, ReceivedLineListsTheValuesAndRepliesKeepFreshIds) {
    auto receiver = OSCReceiver::make(0);
    std::vector<SoundscapeSpeaker> speakers;
    receiver->onSoundscapeSpeaker = [&](const SoundscapeSpeaker& s) { speakers.push_back(s); };
    platform::LogCapture log;
    receiver->handleMessage(OSCMessage("/sonavant/track/4", {OSCValue(1), OSCValue(2.5f), OSCValue("a b")}));
    EXPECT_TRUE(log.contains("📥 Received OSC: /sonavant/track/4 — values: [1, 2.5, a b]"));

    OSCMessage reply(
        "/dbaudio1/positioning/speaker_position/12",
        {OSCValue(1.5f), OSCValue(-2.0f), OSCValue(0.0f), OSCValue(90.0f), OSCValue(0.0f), OSCValue(0.0f)});
    receiver->handleMessage(reply);
    receiver->handleMessage(reply);
    ASSERT_EQ(speakers.size(), 2u);
    EXPECT_NE(speakers[0].id, speakers[1].id);
    EXPECT_EQ(speakers[0].speakerNumber, 12);
    EXPECT_EQ(speakers[0].rotation, 90.0f);

    // Without callbacks the lines still come and nothing else happens.
    auto bare = OSCReceiver::make(0);
    bare->handleMessage(OSCMessage("/sonavant/cue/play/1"));
    bare->handleMessage(OSCMessage("/sonavant/speaker/width/", {OSCValue(1), OSCValue(2)}));
    EXPECT_TRUE(log.contains("for cue 1.0"));
}

TEST(OSCReceiverTest, BadDatagramsAreRefusedAndTheNextCommandStillWorks) {
    FakeDesk peer(false);
    auto receiver = OSCReceiver::make(0);
    Recorder recorder;
    install(*receiver, recorder);
    receiver->start();
    const auto port = receiver->localPort();
    ASSERT_NE(port, 0);

    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(512);
    for (auto& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    peer.sendDatagram(port, noise);
    peer.sendDatagram(port, {});
    peer.sendDatagram(port, std::vector<std::uint8_t>(65507, 0x2f));
    // The largest message a datagram holds, well formed.
    peer.send(port, OSCMessage("/sonavant/cue/play/9", {OSCValue(std::string(65000, 'a'))}));
    peer.send(port, OSCMessage("/sonavant/cue/play/abc"));
    peer.send(port, OSCMessage("/sonavant/track/1", {OSCValue(kNaN), OSCValue(0.0)}));
    peer.send(port, OSCMessage("/sonavant/cue/play/1"));
    ASSERT_TRUE(eventually([&] {
        auto events = recorder.events();
        return !events.empty() && events.back() == "play 1";
    }));
    for (const auto& event : recorder.events())
        EXPECT_TRUE(event == "play 1" || event == "play 9") << event;
}

TEST(OSCReceiverTest, CommandsArriveInOrderAndAFloodEndsAtTheLastPosition) {
    FakeDesk peer(false);
    auto receiver = OSCReceiver::make(0);
    // Like the main view: every callback hands its work to the main queue.
    std::vector<std::string> onMain;
    std::vector<std::pair<std::int64_t, double>> track;
    receiver->onCuePlay = [&](double n) {
        platform::DispatchQueue::main()->async([&, n] { onMain.push_back("play " + num(n)); });
    };
    receiver->onStopPlayback = [&] { onMain.push_back("stop"); };
    receiver->onTrackPosition = [&](std::int64_t n, double x, double) {
        platform::DispatchQueue::main()->async([&, n, x] { track.emplace_back(n, x); });
    };
    receiver->start();
    const auto port = receiver->localPort();

    for (int round = 0; round < 20; ++round) {
        peer.send(port, OSCMessage("/sonavant/cue/play/1"));
        peer.send(port, OSCMessage("/sonavant/cue/stop/"));
        peer.send(port, OSCMessage("/sonavant/cue/play/2"));
    }
    ASSERT_TRUE(mainLoopUntil([&] { return onMain.size() == 60; }));
    for (std::size_t i = 0; i < onMain.size(); i += 3) {
        EXPECT_EQ(onMain[i], "play 1");
        EXPECT_EQ(onMain[i + 1], "stop");
        EXPECT_EQ(onMain[i + 2], "play 2");
    }

    // Bursts keep the flood within what a socket buffer holds; order is what is checked.
    constexpr int total = 10000;
    constexpr int burst = 250;
    for (int sent = 0; sent < total;) {
        for (int i = 0; i < burst; ++i, ++sent)
            peer.send(port, OSCMessage("/sonavant/track/5", {OSCValue(float(sent)), OSCValue(0.0f)}));
        const double lastOfBurst = sent - 1;
        mainLoopUntil([&] { return !track.empty() && track.back().second == lastOfBurst; }, 2s);
    }
    ASSERT_TRUE(mainLoopUntil([&] { return !track.empty() && track.back().second == total - 1; }));
    EXPECT_GT(track.size(), std::size_t(total * 9 / 10));
    for (std::size_t i = 1; i < track.size(); ++i)
        ASSERT_LT(track[i - 1].second, track[i].second) << "position " << i << " stepped backwards";
    EXPECT_EQ(track.back(), (std::pair<std::int64_t, double>(5, total - 1)));
}

TEST(OSCReceiverTest, BundlesAreDispatchedMessageByMessage) {
    FakeDesk peer(false);
    auto receiver = OSCReceiver::make(0);
    Recorder recorder;
    install(*receiver, recorder);
    receiver->start();
    OSCBundle bundle(
        {OSCObject(OSCMessage("/sonavant/cue/play/3")), OSCObject(OSCMessage("/sonavant/snapshot/recall/4"))},
        OSCTimeTag::immediate());
    peer.sendDatagram(receiver->localPort(), bundle.rawData());
    ASSERT_TRUE(eventually([&] { return recorder.events().size() == 2; }));
    EXPECT_EQ(recorder.events(), (std::vector<std::string>{"play 3", "recall 4"}));
}

// A bundle is one piece of work: its messages, nested ones included, are dispatched in their
// order on one thread, and a reply among them reaches its wait (or the early-reply table)
// before the next message is looked at, with every "📥 Received OSC: " line in that order.
TEST(OSCReceiverTest, ABundleOfCommandsAndRepliesIsDispatchedInOrderInOneStep) {
    FakeDesk peer(false);
    auto receiver = OSCReceiver::make(0);
    Recorder recorder;
    std::mutex threadsMutex;
    std::set<std::thread::id> threads;
    receiver->onTrackPosition = [&](std::int64_t n, double, double) {
        {
            std::lock_guard lock(threadsMutex);
            threads.insert(std::this_thread::get_id());
        }
        recorder.add("track " + std::to_string(n));
    };
    receiver->start();
    const std::string waited = "/reply/bundle/waited", kept = "/reply/bundle/kept";
    AwaitedReplies::shared().wait(waited, 5.0, [&](const std::optional<std::string>& text) {
        recorder.add("reply " + text.value_or("none"));
    });
    auto track = [](int n) {
        return OSCObject(
            OSCMessage("/sonavant/track/" + std::to_string(n), {OSCValue(1.0f), OSCValue(2.0f)}));
    };
    OSCBundle inner({OSCObject(OSCMessage(kept, {OSCValue(R"({"data":"K"})")})), track(3)});
    OSCBundle bundle({track(1), OSCObject(OSCMessage(waited, {OSCValue(R"({"data":"W"})")})), track(2),
                      OSCObject(inner), track(4)});
    platform::LogCapture log;
    peer.sendDatagram(receiver->localPort(), bundle.rawData());
    ASSERT_TRUE(eventually([&] { return recorder.events().size() == 5; }));
    EXPECT_EQ(recorder.events(),
              (std::vector<std::string>{"track 1", "reply W", "track 2", "track 3", "track 4"}));
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(receiver->awaitReplyBlocking(kept, 0.0), "K");

    std::vector<std::string> received;
    for (const auto& line : log.lines())
        if (line.rfind("📥 Received OSC: ", 0) == 0)
            received.push_back(line.substr(line.find(':') + 2, line.find(" — ") - line.find(':') - 2));
    EXPECT_EQ(received, (std::vector<std::string>{"/sonavant/track/1", waited, "/sonavant/track/2", kept,
                                                  "/sonavant/track/3", "/sonavant/track/4"}));
}

TEST(OSCReceiverTest, StartFailsOnAPortInUseAndCanRestart) {
    auto first = OSCReceiver::make(0);
    first->start();
    platform::LogCapture log;
    auto second = OSCReceiver::make(first->localPort());
    EXPECT_ANY_THROW(second->start());
    EXPECT_TRUE(log.contains("🔧 OSCReceiver: Attempting to start OSC server…"));
    EXPECT_TRUE(log.contains("❌ OSCReceiver: Failed to start OSC server — "));

    const auto port = first->localPort();
    first->stop();
    EXPECT_TRUE(log.contains("OSCReceiver: Stopped listening"));
    second->start();
    EXPECT_TRUE(log.contains("✅ OSCReceiver: Successfully started on port " + std::to_string(port)));

    // The inlet's kernel buffer holds a burst: a few MB, or all the kernel allows.
    long allowed = 4 * 1024 * 1024;
    if (std::ifstream limit("/proc/sys/net/core/rmem_max"); limit >> allowed)
        allowed = std::min(allowed, 4L * 1024 * 1024);
    EXPECT_GE(second->oscServer()->receiveBufferSize(), allowed);
}

TEST(OSCReceiverTest, LoudspeakerQueryAsksForOneToSixtyFourAndRepliesComeBack) {
    FakeDesk ds100(false);
    auto receiver = OSCReceiver::make(0);
    std::mutex mutex;
    std::set<std::int64_t> numbers;
    receiver->onSoundscapeSpeaker = [&](const SoundscapeSpeaker& s) {
        std::lock_guard lock(mutex);
        numbers.insert(s.speakerNumber);
    };
    receiver->start();
    ds100.setDS100Speaker(7, {1.5f, -2.0f, 0.0f, 90.0f, 0.0f, 0.0f});
    ds100.answerLikeDS100(receiver->localPort());

    OSCReceiver::querySoundscapeSpeakerPositions("127.0.0.1", ds100.udpPort());
    ASSERT_TRUE(ds100.waitForDatagrams(64, 10s));
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return numbers.size() == 64;
    }));
    auto addresses = ds100.addresses();
    ASSERT_EQ(addresses.size(), 64u);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(addresses[i], "/dbaudio1/positioning/speaker_position/" + std::to_string(i + 1));
    for (const auto& message : ds100.messages())
        EXPECT_TRUE(message.values().empty());
    std::lock_guard lock(mutex);
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), 64);
}

// Messages read in place must do exactly what decoded ones do: the same console lines, the
// same callbacks with the same arguments, the same reply texts kept, in the same order, and
// anything the in-place reader leaves out (errors, arrays, deep nesting) is still handled.
TEST(OSCReceiverTest, MessagesReadInPlaceDoWhatDecodedOnesDo) {
    auto inPlace = OSCReceiver::make(0);
    auto decoded = OSCReceiver::make(0);
    decoded->oscServer()->setViewHandler(nullptr);
    Recorder recorder;
    install(*inPlace, recorder);
    install(*decoded, recorder);
    inPlace->onStopPlayback = decoded->onStopPlayback = nullptr;

    const std::vector<std::string> replyAddresses = {"/reply/a", "/reply/b", "/reply/c", "/reply/d"};
    auto message = [](const std::string& address, OSCValues values = {}) {
        return OSCObject(OSCMessage(address, std::move(values)));
    };
    const Data blob{1, 2, 3};
    const std::vector<OSCObject> elements = {
        message("/sonavant/track/1", {OSCValue(1.5f), OSCValue(-2.25f)}),
        message("/sonavant/track/+2", {OSCValue(std::int32_t{3}), OSCValue(std::int64_t{1} << 40)}),
        message("/sonavant/track/3", {OSCValue(0.1), OSCValue(1e300)}),
        message("/sonavant/track/4", {OSCValue(kNaN), OSCValue(1.0)}),
        message("/sonavant/track/5", {OSCValue(kInf), OSCValue(1.0f)}),
        message("/sonavant/track/6", {OSCValue(1.0f)}),
        message("/sonavant/track/7", {OSCValue(1.0f), OSCValue("2")}),
        message("/sonavant/track/7", {OSCValue(1.0f), OSCValue(true)}),
        message("/sonavant/track/x", {OSCValue(1.0f), OSCValue(2.0f)}),
        message("/sonavant/track/99999999999999999999", {OSCValue(1.0f), OSCValue(2.0f)}),
        message("/reply/a", {OSCValue(R"({"data":"A"})"), OSCValue(std::int32_t{1})}),
        message("/reply/b", {OSCValue(std::int32_t{-7})}),
        message("/reply/c"),
        message("/reply/d", {OSCValue(blob), OSCValue(false), OSCValue(OSCNullValue{}),
                             OSCValue(OSCImpulseValue{}), OSCValue(2.5), OSCValue(std::int64_t{-9})}),
        message("/reply/b", {OSCValue(0.125f)}),
        message("/reply/c", {OSCValue(true)}),
        message("/sonavant/cue/play/2.5"),
        message("/sonavant/snapshot/recall/4"),
        message("/sonavant/speaker/focus/", {OSCValue(std::int32_t{3}), OSCValue(0.5f)}),
        message("/dbaudio1/positioning/source_position/2", {OSCValue(1.0f), OSCValue(2.0f), OSCValue(0.0f)}),
        message("/elsewhere", {OSCValue("text")}),
        message("/reply/a", {OSCValue(OSCArrayValue({std::int32_t{1}}))}),
    };
    std::vector<Data> datagrams;
    for (const auto& element : elements)
        datagrams.push_back(element.rawData());
    const OSCBundle inner({elements[0], elements[10], OSCObject(OSCBundle({elements[11], elements[3]}))});
    std::vector<OSCObject> all(elements.begin(), elements.end() - 1);
    all.insert(all.begin() + 5, OSCObject(inner));
    const Data mixed = OSCBundle(all).rawData();
    datagrams.push_back(mixed);
    datagrams.push_back(OSCBundle(elements).rawData()); // one array among them
    // Nesting at the full decoder's limit and one beyond it.
    for (int depth : {OSCBundle::maxNestingDepth, OSCBundle::maxNestingDepth + 1}) {
        OSCObject nested = elements[0];
        for (int i = 0; i < depth; ++i)
            nested = OSCObject(OSCBundle({nested, elements[11]}));
        datagrams.push_back(nested.rawData());
    }
    datagrams.push_back(Data(mixed.begin(), mixed.begin() + 40));
    datagrams.push_back({'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0});
    datagrams.push_back(
        {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 4, 'x', 0, 0, 0});
    std::mt19937 random(2929);
    for (int round = 0; round < 3000; ++round) {
        Data bytes = mixed;
        for (int e = 1 + static_cast<int>(random() % 3); e > 0; --e)
            bytes[random() % bytes.size()] =
                static_cast<std::uint8_t>(random() % 4 ? random() : ",ifdhsbTFNI["[random() % 12]);
        datagrams.push_back(std::move(bytes));
    }

    // Everything one datagram does through one receiver: console lines, callbacks, and the
    // reply texts it left for a later wait.
    auto run = [&](OSCReceiver& receiver, const Data& datagram) {
        recorder.clear();
        std::vector<std::string> effects;
        {
            platform::LogCapture log;
            receiver.oscServer()->handleDatagram(datagram);
            effects = log.lines();
        }
        for (auto& event : recorder.events())
            effects.push_back("event " + event);
        // Taken back at once (a reply was just kept), so the next datagram starts afresh.
        for (const auto& address : replyAddresses)
            if (std::find(effects.begin(), effects.end(), "OSCReceiver: Received reply: " + address) !=
                effects.end())
                effects.push_back("kept " + receiver.awaitReplyBlocking(address, 0.0).value_or("-"));
        return effects;
    };
    // Garbage refused before any decoder runs is named as the decoder names it.
    for (const Data& garbage : {Data{1, 2, 3}, Data{}, Data{0, 0, 0, 0}, Data{'#', 'b', 'u', 'n'}}) {
        std::string reason;
        try {
            OSCMessage::fromRawData(ByteView(garbage));
        } catch (const OSCDecodeError& error) {
            reason = error.what();
        }
        ASSERT_FALSE(reason.empty());
        EXPECT_EQ(run(*inPlace, garbage), std::vector<std::string>{"OSCServer: " + reason});
    }
    int readInPlace = 0;
    for (const Data& datagram : datagrams) {
        const auto expected = run(*decoded, datagram);
        const auto got = run(*inPlace, datagram);
        ASSERT_EQ(got, expected) << "datagram of " << datagram.size() << " bytes";
        readInPlace += !expected.empty() && expected.front().rfind("📥", 0) == 0;
    }
    EXPECT_GT(readInPlace, 100); // the mutations do not all end in errors
}
