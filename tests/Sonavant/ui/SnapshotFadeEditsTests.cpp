// Operator edits during a running snapshot recall: what an edit sets of an item leaves the
// fade, and the fade goes on for everything else.

#include "CanvasTestSupport.h"
#include "Sonavant/engine/SelectionKeys.h"
#include "Sonavant/ui/ArrowKeyMoveHandler.h"
#include "Sonavant/ui/SpeakerSheetModel.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

using namespace canvastest;

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
