#include "ShowControlTestSupport.h"

#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/engine/RemoteCommandQueue.h"

#include <thread>

using namespace showcontrol_test;

namespace {

using SetValue = RemoteCommandQueue::SetValue;

TEST(RemoteCommandQueueTest, NewestValuePerItemAndKindWinsButNothingCrossesAnotherCommand) {
    RemoteCommandQueue queue;
    std::vector<std::string> ran;
    auto keyed = [&](SetValue value, std::int64_t item, std::string label) {
        return queue.push({RemoteCommandQueue::Key{value, item}, [&ran, label] { ran.push_back(label); }});
    };
    auto other = [&](std::string label) {
        return queue.push({std::nullopt, [&ran, label] { ran.push_back(label); }});
    };

    EXPECT_TRUE(keyed(SetValue::trackPosition, 1, "track1 a")) << "the first command asks for a drain";
    EXPECT_FALSE(keyed(SetValue::trackPosition, 1, "track1 b"));
    keyed(SetValue::trackPosition, 2, "track2");
    // A loudspeaker's position, focus and width are separate values; ids are separate items.
    keyed(SetValue::speakerPosition, 1, "pos1");
    keyed(SetValue::speakerFocus, 1, "focus1 a");
    keyed(SetValue::speakerWidth, 1, "width1");
    keyed(SetValue::speakerFocus, 2, "focus2");
    keyed(SetValue::speakerFocus, 1, "focus1 b");
    other("recall");
    keyed(SetValue::trackPosition, 1, "track1 c"); // after the recall: not merged into "b"
    other("play");
    other("stop");
    keyed(SetValue::trackPosition, 1, "track1 d");
    keyed(SetValue::trackPosition, 1, "track1 e");
    EXPECT_EQ(queue.pending(), 11u);
    EXPECT_EQ(queue.coalesced(), 3u);

    for (auto& command : queue.takeAll())
        command.run();
    EXPECT_EQ(ran, (std::vector<std::string>{"track1 b", "track2", "pos1", "focus1 b", "width1", "focus2",
                                             "recall", "track1 c", "play", "stop", "track1 e"}));
    EXPECT_EQ(queue.pending(), 0u);
    EXPECT_TRUE(keyed(SetValue::trackPosition, 1, "again")) << "an emptied queue asks for a new drain";
}

TEST(RemoteCommandQueueTest, ADrainRightAfterAnotherWaitsTheRestOfTheSpacingOnly) {
    RemoteCommandQueue queue;
    EXPECT_EQ(queue.drainDelay(), std::chrono::steady_clock::duration::zero()) << "nothing drained yet";
    const auto drained = std::chrono::steady_clock::now();
    queue.takeAll();
    const auto delay = queue.drainDelay();
    const auto since = std::chrono::steady_clock::now() - drained;
    if (since < RemoteCommandQueue::drainSpacing) { // not held up here past the spacing
        EXPECT_GT(delay, std::chrono::steady_clock::duration::zero());
        EXPECT_LE(delay, std::chrono::steady_clock::duration(RemoteCommandQueue::drainSpacing));
        EXPECT_GE(delay + since, std::chrono::steady_clock::duration(RemoteCommandQueue::drainSpacing) -
                                     std::chrono::microseconds(1));
    }
    std::this_thread::sleep_for(RemoteCommandQueue::drainSpacing);
    EXPECT_EQ(queue.drainDelay(), std::chrono::steady_clock::duration::zero());
}

// Set-value commands that travel as data merge like closures: the newest numbers win, a
// merged data command carries no older closure, and a closure replaced by data runs no more.
TEST(RemoteCommandQueueTest, ValuesGivenAsDataMergeLikeClosures) {
    RemoteCommandQueue queue;
    auto data = [&](SetValue value, std::int64_t item, double a, double b = 0) {
        return queue.push({RemoteCommandQueue::Key{value, item}, nullptr, {a, b}});
    };
    bool closureRan = false;
    queue.push({RemoteCommandQueue::Key{SetValue::speakerWidth, 4}, [&] { closureRan = true; }});
    data(SetValue::trackPosition, 1, 1, 2);
    data(SetValue::speakerWidth, 4, 30);
    data(SetValue::trackPosition, 1, 3, 4);
    queue.push({std::nullopt, [] {}});
    data(SetValue::trackPosition, 1, 5, 6);
    auto commands = queue.takeAll();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_FALSE(commands[0].run) << "the width's closure was replaced by data";
    EXPECT_EQ(commands[0].values[0], 30);
    EXPECT_FALSE(commands[1].run);
    EXPECT_EQ(commands[1].values, (std::array<double, 2>{3, 4}));
    EXPECT_TRUE(commands[2].run);
    EXPECT_EQ(commands[3].values, (std::array<double, 2>{5, 6}));
    EXPECT_FALSE(closureRan);
}

class RemoteFloodTest : public ShowControlFixture {
protected:
    ContentView& recordingView() {
        auto& v = makeView("127.0.0.1", "49900", outlet);
        v.selectedDesk = testDesk();
        v.cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};
        v.updateZeroPoint();
        return v;
    }
    std::shared_ptr<RecordingOutlet> outlet = std::make_shared<RecordingOutlet>();
};

// A cue engine that notes where source 1 stood when a cue started.
class NotingCueEngine : public RecordingCueEngine {
public:
    std::shared_ptr<SoundObject> watched;
    std::vector<Point> positionsAtStart;
    void startPathCue(const std::shared_ptr<PathCue>& cue, double zoom, std::function<void()> step,
                      std::optional<std::int64_t> loopCount) override {
        positionsAtStart.push_back(watched->positionMeters.get());
        RecordingCueEngine::startPathCue(cue, zoom, std::move(step), loopCount);
    }
};

TEST_F(RemoteFloodTest, AFloodCostsOneLevelPassPerRunAndKeepsOrderAroundOtherCommands) {
    auto s = source(1, 0, 0);
    show->soundObjects = {s};
    show->speakers = {speaker(1, 0, 0), speaker(2, 1, 0)};
    auto& v = recordingView();
    auto engine = std::make_shared<NotingCueEngine>();
    engine->watched = s;
    engine->pathCues = std::vector<std::shared_ptr<PathCue>>{cue(7)};
    v.pathManager = engine;
    auto receiver = OSCReceiver::make(0);
    v.installReceiverCallbacks(*receiver);
    platform::LogCapture log;

    // The receiver's queue delivers a burst while the main thread is busy elsewhere.
    std::thread controller([&] {
        for (int i = 0; i < 2000; ++i) {
            receiver->onTrackPosition(1, i / 1000.0, 1);
            receiver->onSpeakerFocus(i % 2 + 1, i);
            receiver->onSpeakerWidth(1, 10 + i % 50);
        }
        receiver->onCuePlay(7);
        receiver->onTrackPosition(1, 5, 5);
        receiver->onSpeakerPosition(2, 3, 4);
        SoundscapeSpeaker unasked;
        unasked.speakerNumber = 9;
        receiver->onSoundscapeSpeaker(unasked);
        receiver->onSoundscapeSpeaker(unasked);
    });
    controller.join();
    ASSERT_TRUE(
        mainLoopUntil([&] { return v.remoteCommands->pending() == 0 && engine->started.size() == 1; }));
    settle(50ms);

    EXPECT_EQ(s->positionMeters.get(), (Point{5, 5})) << "the last command wins";
    ASSERT_EQ(engine->positionsAtStart.size(), 1u);
    EXPECT_EQ(engine->positionsAtStart[0], (Point{1.999, 1})) << "the play saw every command sent before it";
    EXPECT_EQ(show->speakers.get()[0].focus, 1998);
    EXPECT_EQ(show->speakers.get()[1].focus, 1999);
    EXPECT_EQ(show->speakers.get()[0].width, 10 + 1999 % 50);
    EXPECT_EQ(show->speakers.get()[1].positionMeters, (Point{3, 4}));
    EXPECT_EQ(show->soundscapeSpeakers->size(), 1u) << "an unasked reply refreshes its entry";
    EXPECT_GE(v.remoteCommands->coalesced(), 5990u);
    // At most a pass per drain and run, never one per command.
    EXPECT_LE(countLines(log, "Starting update for"), 10u);
    EXPECT_LE(countLines(log, "🟢 onTrackPosition fired"), 10u);

    // Commands right after a drain wait for the spacing, then take effect: none is left behind.
    for (int i = 1; i <= 20; ++i) {
        receiver->onTrackPosition(1, i, 2);
        ASSERT_TRUE(mainLoopUntil([&] { return s->positionMeters.get() == (Point{double(i), 2}); })) << i;
    }
}

TEST_F(RemoteFloodTest, UnaskedLoudspeakerRepliesAreBoundedWhileAnswersToAQueryAreKept) {
    auto& v = recordingView();
    SoundscapeSpeaker reply;
    // Unasked: one entry per loudspeaker, refreshed; never more entries than a query gets.
    for (int round = 0; round < 5; ++round)
        for (int number = 1; number <= 200; ++number) {
            reply.speakerNumber = number;
            reply.x = static_cast<float>(round);
            v.handleSoundscapeSpeakerReply(reply);
        }
    ASSERT_EQ(show->soundscapeSpeakers->size(), static_cast<std::size_t>(ContentView::speakersPerQuery));
    EXPECT_EQ(show->soundscapeSpeakers.get()[0].x, 4.0f) << "refreshed by the newest reply";

    // After a query: its answers are added as they come, duplicates included.
    show->soundscapeSpeakers = std::vector<SoundscapeSpeaker>{};
    v.speakerAnswersExpected = ContentView::speakersPerQuery;
    v.speakerAnswersUntil = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    reply.speakerNumber = 3;
    for (int i = 0; i < ContentView::speakersPerQuery; ++i)
        v.handleSoundscapeSpeakerReply(reply);
    EXPECT_EQ(show->soundscapeSpeakers->size(), static_cast<std::size_t>(ContentView::speakersPerQuery));
    // Beyond what was asked, the flood bound applies again.
    for (int i = 0; i < 100; ++i)
        v.handleSoundscapeSpeakerReply(reply);
    EXPECT_EQ(show->soundscapeSpeakers->size(), static_cast<std::size_t>(ContentView::speakersPerQuery));
}

} // namespace
