#include "ShowControlTestSupport.h"

#include "Sonavant/model/CanvasGeometry.h"

#include "Sonavant/OSC/OSCReceiver.h"
#include "platform/NotificationCenter.h"

#include <cmath>
#include <limits>

using namespace showcontrol_test;

namespace {

constexpr Point zero{0, 600};

class ShowControlTest : public ShowControlFixture {
protected:
    ContentView& recordingView() {
        auto& v = makeView("127.0.0.1", "49900", outlet);
        v.selectedDesk = testDesk();
        v.cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};
        v.updateZeroPoint();
        return v;
    }
    void expectNear(Point actual, Point expected) {
        EXPECT_NEAR(actual.x, expected.x, 1e-9);
        EXPECT_NEAR(actual.y, expected.y, 1e-9);
    }
    std::shared_ptr<RecordingOutlet> outlet = std::make_shared<RecordingOutlet>();
};

TEST_F(ShowControlTest, ZeroPointFollowsTheAnchorAndReprojectsFromMetres) {
    auto s = source(1, 2, 1);
    show->soundObjects = {s};
    show->speakers = {speaker(1, -1, 0.5)};
    auto& v = makeView();
    v.updateZeroPoint();
    EXPECT_EQ(show->zeroPoint.get(), (Point{0, 0})) << "nothing before the canvas is laid out";

    v.cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};
    v.updateZeroPoint();
    EXPECT_EQ(show->zeroPoint.get(), (Point{0, 600}));
    expectNear(s->position, {200, 500});
    expectNear(show->speakers.get()[0].position, {-100, 550});

    show->canvasOrientation = CanvasOrientation::bottom;
    v.refreshPositionsAfterZeroPointChange();
    expectNear(s->position, {-200, 700});
    EXPECT_EQ(s->positionMeters.get(), (Point{2, 1})) << "the room itself never moves";

    show->zeroPointPosition = ZeroPointPosition::center;
    v.updateZeroPoint();
    EXPECT_EQ(show->zeroPoint.get(), (Point{500, 300}));

    // Also while a cue plays: it keeps its sources in metres, only the drawing moves.
    auto engine = std::make_shared<RecordingCueEngine>();
    engine->playing = true;
    v.pathManager = engine;
    const Point metres = s->positionMeters;
    show->canvasOrientation = CanvasOrientation::top;
    v.refreshPositionsAfterZeroPointChange();
    EXPECT_EQ(s->position.get(),
              metresToCanvas(CanvasOrientation::top, metres, v.zoomLevel, show->zeroPoint));
}

TEST_F(ShowControlTest, TrackCommandsMoveTheFirstSourceWithThatNumber) {
    auto first = source(3, 0, 0);
    auto second = source(3, 1, 1);
    show->soundObjects = {first, second};
    show->speakers = {speaker(1, 0, 0)};
    auto& v = recordingView();
    platform::LogCapture log;

    v.handleTrackPosition(3, 1.5, 2.0);
    EXPECT_TRUE(log.contains("🟢 onTrackPosition fired: id=3, x=1.5, y=2.0"));
    EXPECT_TRUE(log.contains("✅ Found sound object 3, updating position."));
    EXPECT_EQ(first->positionMeters.get(), (Point{1.5, 2.0}));
    expectNear(first->position, {150, 400});
    EXPECT_EQ(second->positionMeters.get(), (Point{1, 1}));
    EXPECT_TRUE(eventually([&] { return outlet->count() > 0; })) << "the level follows";

    show->canvasOrientation = CanvasOrientation::right;
    v.handleTrackPosition(3, 1.5, 2.0);
    EXPECT_EQ(first->positionMeters.get(), (Point{1.5, 2.0}));
    expectNear(first->position, {200, 750}); // a quarter turn about the zero point

    v.handleTrackPosition(9, 1, 1);
    EXPECT_TRUE(log.contains("❌ No sound object with number 9 found."));
    v.handleTrackPosition(3, std::nan(""), 1);
    v.handleTrackPosition(3, 1, INFINITY);
    EXPECT_EQ(first->positionMeters.get(), (Point{1.5, 2.0}));
}

TEST_F(ShowControlTest, LoudspeakerCommandsChangeTheLoudspeakerWithThatId) {
    show->speakers = {speaker(2, 0, 0), speaker(3, 1, 1), speaker(3, 4, 4)};
    show->soundObjects = {source(1, 0, 0)};
    auto& v = recordingView();

    v.handleRemoteSpeakerFocus(3, 400);
    v.handleRemoteSpeakerWidth(3, -20);
    v.handleRemoteSpeakerPosition(3, -2, 0.5);
    const auto& speakers = show->speakers.get();
    EXPECT_EQ(speakers[1].focus, 400) << "as received, not clamped";
    EXPECT_EQ(speakers[1].width, -20);
    EXPECT_EQ(speakers[1].positionMeters, (Point{-2, 0.5}));
    expectNear(speakers[1].position, {-200, 550});
    EXPECT_EQ(speakers[2].positionMeters, (Point{4, 4})) << "only the first with that id";

    const auto before = show->speakers.get();
    v.handleRemoteSpeakerFocus(7, 10);
    v.handleRemoteSpeakerFocus(3, NAN);
    v.handleRemoteSpeakerWidth(3, -INFINITY);
    v.handleRemoteSpeakerPosition(3, NAN, 0);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(show->speakers.get()[i].focus, before[i].focus);
        EXPECT_EQ(show->speakers.get()[i].width, before[i].width);
        EXPECT_EQ(show->speakers.get()[i].positionMeters, before[i].positionMeters);
    }
}

TEST_F(ShowControlTest, DS100RepliesPlaceSourcesAndCountDown) {
    auto s = source(2, 0, 0);
    show->soundObjects = {s};
    auto& v = recordingView();
    v.pendingSoundObjectQueries = 3;
    v.disableSoundObjectOSCUpdates = true;

    // The DS100's (x, y) is (y, -x) here: the inverse of what the SoundScape send turns.
    v.handleRemoteObjectXY(2, 1.25f, -0.5f);
    EXPECT_EQ(s->positionMeters.get(), (Point{-0.5, -1.25}));
    expectNear(s->position, {-50, 725});
    v.handleRemoteObjectXY(8, 1, 1);
    EXPECT_TRUE(v.disableSoundObjectOSCUpdates.get());
    v.handleRemoteObjectXY(2, NAN, 1);
    EXPECT_EQ(v.pendingSoundObjectQueries.get(), 0);
    EXPECT_FALSE(v.disableSoundObjectOSCUpdates.get()) << "the third answer ends the wait";
    EXPECT_EQ(s->positionMeters.get(), (Point{-0.5, -1.25}));

    // Answers to a query.
    v.speakerAnswersExpected = ContentView::speakersPerQuery;
    v.speakerAnswersUntil = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    SoundscapeSpeaker reported;
    reported.speakerNumber = 4;
    reported.x = 1;
    v.handleSoundscapeSpeakerReply(reported);
    v.handleSoundscapeSpeakerReply(reported);
    reported.rotation = NAN;
    v.handleSoundscapeSpeakerReply(reported);
    EXPECT_EQ(show->soundscapeSpeakers->size(), 2u) << "appended as they come, nothing non-finite";
}

TEST_F(ShowControlTest, CuePlayStartsTheFirstCueWithExactlyThatNumber) {
    auto engine = std::make_shared<RecordingCueEngine>();
    auto two = cue(2.0), twoAgain = cue(2.0), twoAndHalf = cue(2.5), broken = cue(3, true);
    engine->pathCues = std::vector<std::shared_ptr<PathCue>>{twoAndHalf, two, twoAgain, broken};
    auto& v = recordingView();
    v.pathManager = engine;
    v.zoomLevel = 80.0;

    v.handleCuePlay(2);
    v.handleCuePlay(2.25);
    v.handleCuePlay(3);
    ASSERT_EQ(engine->started.size(), 1u);
    EXPECT_EQ(engine->started[0], two);
    EXPECT_EQ(engine->lastZoom, 80.0);
    EXPECT_FALSE(engine->lastLoopCount);
    ASSERT_TRUE(engine->lastStep);
    view.reset();
    engine->lastStep(); // a step after the view went does nothing

    auto& again = recordingView();
    again.pathManager = engine;
    again.handleStopPlayback();
    EXPECT_EQ(engine->stops, 1);
}

class SnapshotFadeTest : public ShowControlTest {
protected:
    void SetUp() override {
        ShowControlTest::SetUp();
        platform::MainRunLoop::useFakeTime(true);
        moving = source(1, 0, 0);
        show->soundObjects = {moving};
        Speaker s = speaker(5, 1, 1);
        s.focus = 0;
        s.width = 60;
        show->speakers = {s};
    }
    Snapshot snapshot(std::int64_t number, double recallTime, Point sourceTarget, Point speakerTarget,
                      double focus = 90, double width = 120) {
        Snapshot snap;
        snap.number = number;
        snap.recallTime = recallTime;
        snap.soundObjectStates = {SoundObjectState{moving->id, sourceTarget}};
        snap.speakerStates = {SpeakerState{5, speakerTarget, focus, width}, SpeakerState{99, {7, 7}, 0, 0}};
        return snap;
    }
    void advance(double seconds) {
        platform::MainRunLoop::advance(
            std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(seconds)));
    }
    std::shared_ptr<SoundObject> moving;
};

TEST_F(SnapshotFadeTest, FadesLinearlyAndLandsExactlyOnTheTargets) {
    auto& v = recordingView();
    show->snapshots = {snapshot(2, 2.0, {4, 2}, {3, -1}), snapshot(2, 0.5, {9, 9}, {9, 9})};
    const auto undoBefore = AppState::undoStack.size();

    v.recallSnapshot(2);
    EXPECT_TRUE(v.isSnapshotFading());
    advance(1.0);
    EXPECT_NEAR(moving->positionMeters->x, 2.0, 0.05);
    EXPECT_NEAR(moving->positionMeters->y, 1.0, 0.05);
    EXPECT_NEAR(show->speakers.get()[0].focus, 45, 2);
    EXPECT_NEAR(show->speakers.get()[0].width, 90, 2);
    EXPECT_TRUE(v.isSnapshotFading());

    advance(1.05);
    EXPECT_FALSE(v.isSnapshotFading());
    EXPECT_EQ(moving->position.get(), (Point{400, 400}));
    EXPECT_EQ(moving->positionMeters.get(), (Point{4, 2}));
    EXPECT_EQ(show->speakers.get()[0].positionMeters, (Point{3, -1}));
    EXPECT_EQ(show->speakers.get()[0].focus, 90);
    EXPECT_EQ(show->speakers.get()[0].width, 120);
    EXPECT_EQ(AppState::undoStack.size(), undoBefore + 2) << "one entry before the recall, one after";
    v.waitForWrites();
    EXPECT_TRUE(defaults->real("savedRange")) << "the working state is saved at the end";

    advance(1.0);
    EXPECT_EQ(moving->positionMeters.get(), (Point{4, 2})) << "nothing moves after the end";
    v.recallSnapshot(17);
    EXPECT_EQ(AppState::undoStack.size(), undoBefore + 2) << "an unknown number does nothing";
}

TEST_F(SnapshotFadeTest, ARecallTimeOfZeroOrLessEndsInOneStep) {
    auto& v = recordingView();
    for (double recallTime : {0.0, -3.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        v.recallSnapshot(snapshot(1, recallTime, {1, 2}, {2, 1}));
        advance(1.0 / 60.0 + 1e-6);
        EXPECT_FALSE(v.isSnapshotFading()) << recallTime;
        EXPECT_EQ(moving->positionMeters.get(), (Point{1, 2})) << recallTime;
        v.recallSnapshot(snapshot(1, 0, {0, 0}, {1, 1}));
        advance(1.0 / 60.0 + 1e-6);
    }
}

TEST_F(SnapshotFadeTest, ANewRecallTakesOverFromARunningFade) {
    auto& v = recordingView();
    v.recallSnapshot(snapshot(1, 2.0, {8, 0}, {1, 1}));
    advance(0.5);
    v.recallSnapshot(snapshot(2, 1.0, {-1, 0}, {1, 1}));
    advance(1.1);
    EXPECT_FALSE(v.isSnapshotFading());
    EXPECT_EQ(moving->positionMeters.get(), (Point{-1, 0}));
    advance(1.0);
    EXPECT_EQ(moving->positionMeters.get(), (Point{-1, 0})) << "the first fade no longer writes";
}

TEST_F(SnapshotFadeTest, AZoomChangeDuringTheFadeMovesNothingOffItsMetres) {
    auto& v = recordingView();
    v.recallSnapshot(snapshot(1, 2.0, {1, 2}, {0, 3}));
    advance(1.0);
    v.zoomLevel = 50;
    v.refreshPositionsAfterZeroPointChange(); // as the canvas does on a zoom change
    advance(1.05);
    ASSERT_FALSE(v.isSnapshotFading());
    EXPECT_EQ(moving->positionMeters.get(), (Point{1, 2}));
    EXPECT_EQ(moving->position.get(), (Point{50, 500}));
    EXPECT_EQ(show->speakers.get()[0].positionMeters, (Point{0, 3}));
    EXPECT_EQ(show->speakers.get()[0].position, (Point{0, 450}));
}

TEST_F(SnapshotFadeTest, ItemsThatAreGoneAreSkipped) {
    auto& v = recordingView();
    auto other = source(2, 0, 0);
    show->soundObjects = {moving, other};
    v.recallSnapshot(snapshot(1, 1.0, {3, 3}, {2, 2}));
    advance(0.3);
    show->soundObjects = {other};
    advance(0.8);
    EXPECT_FALSE(v.isSnapshotFading()) << "the fade still ends on time";
    EXPECT_EQ(show->speakers.get()[0].positionMeters, (Point{2, 2}));
    EXPECT_LT(moving->positionMeters->x, 3.0);
}

TEST_F(SnapshotFadeTest, ClearAndNewBlankCanvasEndARunningFade) {
    auto& v = recordingView();
    v.recallSnapshot(snapshot(1, 1.0, {3, 3}, {2, 2}));
    advance(0.3);
    v.clearCanvas();
    EXPECT_FALSE(v.isSnapshotFading());
    const auto undoAfterClear = AppState::undoStack.size();
    advance(1.0);
    EXPECT_EQ(AppState::undoStack.size(), undoAfterClear) << "no end of a fade records later";

    show->soundObjects = {moving};
    v.recallSnapshot(snapshot(1, 1.0, {3, 3}, {2, 2}));
    advance(0.3);
    v.newBlankCanvas();
    EXPECT_FALSE(v.isSnapshotFading());
}

class ShowControlStartupTest : public ShowControlTest {
protected:
    void SetUp() override {
        ShowControlTest::SetUp();
        show->soundObjects = {source(1, 0.5, 0.5)};
        show->speakers = {speaker(1, 1, 1)};
    }
    // Stores what the view should start with, as a previous run would have left it.
    ContentView& startingView(const std::string& receivePort) {
        auto& v = makeView("127.0.0.1", "49900", outlet);
        v.selectedDesk = testDesk();
        show->receivePort = receivePort;
        v.saveState();
        v.presenter = presenter;
        v.cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};
        return v;
    }
    void startUp(ContentView& v) {
        v.onAppearLoad();
        ASSERT_TRUE(mainLoopUntil([&] { return ActionDispatcher::updateOSC != nullptr; }));
        settle(50ms);
    }
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
};

TEST_F(ShowControlStartupTest, StartsOnceWithReceiverObserversSlotsAndTheFirstSend) {
    auto& v = startingView("0");
    platform::LogCapture log;
    startUp(v);
    ASSERT_TRUE(v.oscReceiver);
    EXPECT_NE(v.oscReceiver->localPort(), 0);
    EXPECT_TRUE(v.tcpRefreshTimer);
    EXPECT_EQ(show->zeroPoint.get(), (Point{0, 600})) << "the zero point is placed";
    EXPECT_EQ(show->selectedDesk.get(), testDesk());
    EXPECT_EQ(v.pathManager->appState(), show);
    EXPECT_TRUE(eventually([&] { return outlet->count() == 1; }));
    settle(100ms);
    EXPECT_EQ(outlet->count(), 1u) << "the second run at start-up finds nothing changed";
    for (auto* slot : {&ActionDispatcher::addOutput, &ActionDispatcher::addInput, &ActionDispatcher::clear,
                       &ActionDispatcher::drawPath, &ActionDispatcher::deletePath,
                       &ActionDispatcher::newBlankCanvas, &ActionDispatcher::getPositionsFromDS100,
                       &ActionDispatcher::getSpeakersFromDS100, &ActionDispatcher::zeroSelected})
        EXPECT_TRUE(*slot);

    const std::size_t speakers = show->speakers->size();
    ActionDispatcher::invoke(ActionDispatcher::addOutput);
    EXPECT_TRUE(eventually([&] { return show->speakers->size() == speakers + 1; }));

    auto& centre = platform::NotificationCenter::defaultCenter();
    centre.post(openMixerNotification);
    centre.post(generateFadeCuesNotification);
    centre.post(exportStateNotification);
    centre.post(importStateNotification);
    EXPECT_EQ(presenter->mixerRequests, 1);
    // The fade-cue command checks its preconditions: the test desk is not QLab.
    ASSERT_EQ(presenter->alerts.size(), 1u);
    EXPECT_EQ(presenter->alerts[0].title, "QLab Not Selected");
    EXPECT_TRUE(v.isExporting.get());
    EXPECT_TRUE(v.isImporting.get());

    // Appearing again starts nothing more.
    const auto receiver = v.oscReceiver;
    v.onAppearLoad();
    settle(50ms);
    EXPECT_TRUE(log.contains("ContentView: Already on screen; start-up skipped."));
    EXPECT_EQ(v.oscReceiver, receiver);
    centre.post(openMixerNotification);
    EXPECT_EQ(presenter->mixerRequests, 2);

    const auto port = receiver->localPort();
    v.zoomLevel = 123.0;
    v.onDisappearCleanup();
    EXPECT_FALSE(v.tcpRefreshTimer);
    // The working state is in the store (said saved once a write puts it on disk).
    EXPECT_EQ(defaults->number("savedZoomLevel"), std::optional(123.0));
    ASSERT_TRUE(mainLoopUntil([&] { return log.contains("OSCReceiver: Stopped listening"); }));
    EXPECT_TRUE(udpPortIsFree(port));
}

TEST_F(ShowControlStartupTest, AnEmptyOrInvalidReceivePortSkipsOnlyTheReceiver) {
    for (const std::string port : {"", "70000", "60a"}) {
        SCOPED_TRACE(port);
        ActionDispatcher::reset();
        auto& v = startingView(port);
        platform::LogCapture log;
        startUp(v);
        EXPECT_FALSE(v.oscReceiver);
        EXPECT_TRUE(v.tcpRefreshTimer) << "the link check runs without a receiver";
        EXPECT_FALSE(log.contains("OSCReceiver"));
        // "Show Mixer" and "Generate Fade Cues" work all the same.
        const int mixers = presenter->mixerRequests;
        const auto alerts = presenter->alerts.size();
        platform::NotificationCenter::defaultCenter().post(openMixerNotification);
        EXPECT_EQ(presenter->mixerRequests, mixers + 1);
        platform::NotificationCenter::defaultCenter().post(generateFadeCuesNotification);
        ASSERT_EQ(presenter->alerts.size(), alerts + 1);
        EXPECT_EQ(presenter->alerts.back().title, "QLab Not Selected");
        EXPECT_TRUE(ActionDispatcher::getSpeakersFromDS100);
        EXPECT_EQ(show->zeroPoint.get(), (Point{0, 600}));
        view.reset();
    }
}

TEST_F(ShowControlStartupTest, APortInUseGivesTheFailureLineAndStartUpGoesOn) {
    auto holder = OSCReceiver::make(0);
    holder->start();
    auto& v = startingView(std::to_string(holder->localPort()));
    platform::LogCapture log;
    startUp(v);
    EXPECT_TRUE(log.contains("❌ Failed to start OSCReceiver: "));
    EXPECT_TRUE(log.contains("in use"));
    EXPECT_FALSE(v.oscReceiver);
    EXPECT_TRUE(v.tcpRefreshTimer) << "the link check runs all the same";
    EXPECT_TRUE(ActionDispatcher::updateOSC);
    EXPECT_TRUE(eventually([&] { return outlet->count() == 1; }));
    holder->stop();
}

TEST_F(ShowControlStartupTest, ReceivePortChangesRestartTheReceiver) {
    auto& v = startingView("");
    startUp(v);
    ASSERT_FALSE(v.oscReceiver);
    platform::LogCapture log;

    show->receivePort = "0";
    ASSERT_TRUE(mainLoopUntil([&] { return v.oscReceiver != nullptr; }));
    EXPECT_TRUE(v.oscReceiver->onTrackPosition) << "a first receiver gets every callback";
    EXPECT_TRUE(v.oscReceiver->onSoundscapeObjectPosition);
    const auto first = v.oscReceiver;

    show->receivePort = "abc";
    ASSERT_TRUE(mainLoopUntil([&] { return log.contains("⚠️ Invalid port entered: abc"); }));
    EXPECT_EQ(first->localPort(), 0) << "the old one is stopped";
    EXPECT_EQ(v.oscReceiver, first);

    // Several changes in a row end with the last one listening and every other stopped.
    show->receivePort = "0";
    show->receivePort = "+0";
    show->receivePort = "-0";
    ASSERT_TRUE(mainLoopUntil([&] { return log.contains("✅ OSCReceiver restarted on port -0"); }));
    std::vector<std::uint16_t> ports;
    const std::string started = "Successfully started on port ";
    for (const auto& line : log.lines())
        if (auto at = line.find(started); at != std::string::npos)
            ports.push_back(static_cast<std::uint16_t>(std::stoi(line.substr(at + started.size()))));
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports.back(), v.oscReceiver->localPort());
    for (std::size_t i = 0; i + 1 < ports.size(); ++i)
        EXPECT_TRUE(udpPortIsFree(ports[i])) << ports[i];
    EXPECT_FALSE(udpPortIsFree(ports.back()));

    // Assigning the port it already has is no change.
    const auto restarts = countLines(log, "🔁 receivePort changed to ");
    show->receivePort = std::string(show->receivePort.get());
    settle(50ms);
    EXPECT_EQ(countLines(log, "🔁 receivePort changed to "), restarts);
}

} // namespace
