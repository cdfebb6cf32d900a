// Operator edits and DS100 replies during a running snapshot recall: what an edit sets of an
// item leaves the fade, and the fade goes on for everything else.

#include "CanvasTestSupport.h"
#include "Sonavant/engine/SelectionKeys.h"
#include "Sonavant/ui/ArrowKeyMoveHandler.h"
#include "Sonavant/ui/SpeakerSheetModel.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <thread>

using namespace canvastest;
using namespace std::chrono_literals;

TEST(SnapshotFadeEdits, DragsArrowKeysFocusHandlesAndSheetEditsKeepWhatTheySet) {
    FakeTime time;
    Canvas c;
    auto dragged = c.addSource(1, {300, 300});
    auto faded = c.addSource(2, {500, 300});
    c.addSpeaker(1, {200, 200});
    c.addSpeaker(2, {420, 400});
    Snapshot snap;
    snap.number = 1;
    snap.recallTime = 0.6;
    snap.soundObjectStates = {SoundObjectState{dragged->id, {2, 2}}, SoundObjectState{faded->id, {-2, -2}}};
    snap.speakerStates = {SpeakerState{1, {1, 1}, 90, 120}, SpeakerState{2, {-1, -1}, 45, 60}};
    c.view.recallSnapshot(snap);
    time.advance(0.2);
    ASSERT_TRUE(c.view.isSnapshotFading());

    const Point from = dragged->position;
    c.drag(from, {from.x + 50, from.y});
    ASSERT_TRUE(near(dragged->position, {from.x + 50, from.y}));
    const Point draggedTo = dragged->positionMeters;
    c.view.selectedObjects = std::set<std::string>{speakerKey(2)};
    arrowKeyMoveHandler(c.view).handleMove(MoveDirection::up);
    const Point nudgedTo = c.speaker(2).positionMeters;
    SpeakerSheetModel(c.view, 1).setWidth(40);
    const Point handle = c.speaker(1).position;
    c.view.speakerFocusDragged(1, {handle.x + 100, handle.y});
    const double turnedTo = c.speaker(1).focus;

    time.advance(1.0);
    EXPECT_FALSE(c.view.isSnapshotFading());
    EXPECT_EQ(dragged->positionMeters.get(), draggedTo);
    EXPECT_EQ(c.speaker(2).positionMeters, nudgedTo);
    EXPECT_EQ(c.speaker(1).width, 40);
    EXPECT_EQ(c.speaker(1).focus, turnedTo);
    // What no edit touched reached the snapshot.
    EXPECT_EQ(faded->positionMeters.get(), (Point{-2, -2}));
    EXPECT_EQ(c.speaker(1).positionMeters, (Point{1, 1}));
    EXPECT_EQ(c.speaker(2).focus, 45);
    EXPECT_EQ(c.speaker(2).width, 60);
}

TEST(SnapshotFadeEdits, ZeroSelectedAndADS100ReplyKeepWhatTheySet) {
    FakeTime time;
    Canvas c;
    c.state->panningMode = PanningMode::linear;
    const Point zero = c.state->zeroPoint;
    auto zeroed = c.addSource(1, {zero.x + 200, zero.y - 100});
    auto replied = c.addSource(2, {zero.x + 300, zero.y - 200});
    c.addSpeaker(1, zero);
    c.addSpeaker(2, {zero.x + 100, zero.y - 400});
    Snapshot snap;
    snap.number = 1;
    snap.recallTime = 0.6;
    snap.soundObjectStates = {SoundObjectState{zeroed->id, {4, 3}}, SoundObjectState{replied->id, {-3, -3}}};
    snap.speakerStates = {SpeakerState{2, {6, 0}, 0, 70}};
    c.view.recallSnapshot(snap);
    time.advance(0.2);
    ASSERT_TRUE(c.view.isSnapshotFading());

    c.view.selectedObjects = std::set<std::string>{soundObjectKey(zeroed->id), speakerKey(2)};
    c.view.zeroSelected();
    c.view.handleRemoteObjectXY(2, 1.0f, 0.5f);
    const Point repliedAt = replied->positionMeters;

    time.advance(1.0);
    EXPECT_FALSE(c.view.isSnapshotFading());
    EXPECT_EQ(zeroed->positionMeters.get(), (Point{0, 0}));
    EXPECT_EQ(zeroed->position.get(), zero);
    EXPECT_EQ(c.speaker(2).positionMeters, (Point{0, 0}));
    EXPECT_EQ(replied->positionMeters.get(), repliedAt);

    // Input 1 on both loudspeakers at one spot: the top of the range on each, to the end.
    auto lastAt = [&](const std::string& address) {
        std::string last;
        for (const auto& sent : c.outlet->sent())
            if (sent.address == address)
                last = sent.argument.text();
        return last;
    };
    const std::string mix1 = "/ch/1/mix/1/level", mix2 = "/ch/1/mix/2/level";
    EXPECT_TRUE(enginetest::eventually([&] { return lastAt(mix1) == "10" && lastAt(mix2) == "10"; }))
        << lastAt(mix1) << " " << lastAt(mix2);
    std::this_thread::sleep_for(150ms); // longer than any stagger and throttle of these sends
    EXPECT_EQ(lastAt(mix1), "10");
    EXPECT_EQ(lastAt(mix2), "10");
}
