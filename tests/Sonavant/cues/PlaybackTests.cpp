// Playback: where sessions put their sources, what the engine sends, loops, chains, Stop.

#include "PathCueTestSupport.h"

#include "Sonavant/cues/PlaybackSession.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"

using namespace cuetest;

namespace {

const std::vector<Point> lPath{{0, 0}, {2, 0}, {2, 2}};

} // namespace

TEST(PlaybackSessionPath, PointsFollowArcLengthAndTheEndIsExact) {
    EXPECT_TRUE(near(PlaybackSession::pointAlong(lPath, 0.5), {2, 0}));
    EXPECT_TRUE(near(PlaybackSession::pointAlong(lPath, 0.75), {2, 1}));
    EXPECT_TRUE(near(PlaybackSession::pointAlong(lPath, 1.0), {2, 2}));
    EXPECT_TRUE(near(PlaybackSession::pointAlong(lPath, 7.0), {2, 2}));
    EXPECT_TRUE(near(PlaybackSession::pointAlong(lPath, 0.0), {0, 0}));
    // A short middle segment is walked at the same speed as the rest, without a jump.
    const std::vector<Point> shortMiddle{{0, 0}, {1, 0}, {1.5, 0}, {2.5, 0}};
    EXPECT_TRUE(near(PlaybackSession::pointAlong(shortMiddle, 1.25 / 2.5), {1.25, 0}));
    EXPECT_TRUE(near(PlaybackSession::pointAlong(shortMiddle, 1.5 / 2.5), {1.5, 0}));
    // Repeated nodes and a path of no length stay put instead of dividing by zero.
    EXPECT_TRUE(near(PlaybackSession::pointAlong({{1, 1}, {1, 1}, {3, 1}}, 0.5), {2, 1}));
    EXPECT_TRUE(near(PlaybackSession::pointAlong({{1, 1}, {1, 1}}, 0.5), {1, 1}));
}

TEST_F(PathCueFixture, AnAbsoluteCueEndsOnItsLastNodeWithOneLevelPassPerTick) {
    auto a = addSource(1, 5, 5);
    auto b = addSource(2, 5, 5);
    auto first = makeCue(1, lPath, {a->id});
    auto second = makeCue(2, {{0, 0}, {0, 3}}, {b->id}, 1.0);
    addCues({first, second});
    manager->playPathCue(first, 100, counter(), std::nullopt);
    manager->playPathCue(second, 100, counter(), std::nullopt);

    advance(2.0);
    EXPECT_TRUE(near(a->positionMeters, {2, 0}, 0.06));
    EXPECT_TRUE(near(b->positionMeters, {0, 3})) << "the short cue ended on its last node";
    EXPECT_NEAR(levelUpdates, 40, 1) << "one pass per tick however many cues play";
    EXPECT_EQ(manager->playingCueIDs.get(), std::set<platform::UUID>{first->id});

    advance(1.0);
    EXPECT_TRUE(near(a->positionMeters, {2, 1}, 0.06));
    EXPECT_TRUE(
        near(a->position, metresToCanvas(CanvasOrientation::top, a->positionMeters, 100, show->zeroPoint)));
    advance(1.5);
    EXPECT_TRUE(near(a->positionMeters, {2, 2}));
    EXPECT_FALSE(manager->hasRunningPlayback());
    const int sent = levelUpdates;
    advance(1.0);
    EXPECT_EQ(levelUpdates, sent) << "nothing after the end";
    EXPECT_NEAR(sent, 80, 1) << "the end node's levels went out once";
}

TEST_F(PathCueFixture, AbsoluteOffsetsKeepTheFormationAroundThePrimary) {
    auto p = addSource(1, 0, 0);
    auto q = addSource(2, 1, 0);
    auto cue = makeCue(1, {{0, 0}, {4, 0}}, {p->id, q->id}, 1.0);
    cue->primarySoundObjectID = p->id;
    cue->objectOffsets = std::map<platform::UUID, Point>{{q->id, {1, 0}}};
    addCues({cue});
    manager->playPathCue(cue, 100, counter(), std::nullopt);
    advance(1.2);
    EXPECT_TRUE(near(p->positionMeters, {4, 0}));
    EXPECT_TRUE(near(q->positionMeters, {5, 0}));
}

TEST_F(PathCueFixture, ARelativeCueMovesEveryTargetByThePathsDisplacementInMetres) {
    auto p = addSource(1, 1, 1);
    auto q = addSource(2, 3, 1);
    auto r = addSource(3, -2, 4);
    auto cue = makeCue(1, {{5, 5}, {6, 5}, {6, 7}}, {q->id, r->id}, 3.0);
    cue->relative = true;
    cue->primarySoundObjectID = p->id; // the primary is not among the targets: they still move
    addCues({cue});
    manager->playPathCue(cue, 100, counter(), std::nullopt);
    EXPECT_EQ(manager->relativeOffsets.count(cue->id), 0u) << "drawn unshifted: its primary is no target";

    advance(1.0);
    EXPECT_TRUE(near(q->positionMeters, {4, 1}, 0.06));
    EXPECT_TRUE(near(r->positionMeters, {-1, 4}, 0.06));
    // The operator turns and zooms the canvas mid-cue: the room stays, the drawing follows.
    show->canvasOrientation = CanvasOrientation::right;
    manager->currentZoomLevel = 40.0;
    manager->zoomChanged();
    advance(2.5);
    EXPECT_TRUE(near(q->positionMeters, {4, 3}));
    EXPECT_TRUE(near(r->positionMeters, {-1, 6}));
    EXPECT_TRUE(near(p->positionMeters, {1, 1})) << "not a target";
    for (const auto& moved : {q, r})
        EXPECT_TRUE(near(moved->position, metresToCanvas(CanvasOrientation::right, moved->positionMeters, 40,
                                                         show->zeroPoint)));

    // With its primary among the targets, the path is drawn from the primary.
    auto drawn = makeCue(2, {{5, 5}, {6, 5}}, {p->id}, 1.0);
    drawn->relative = true;
    drawn->primarySoundObjectID = p->id;
    addCues({drawn});
    manager->playPathCue(drawn, 40, counter(), std::nullopt);
    EXPECT_TRUE(near(manager->relativeOffsets.at(drawn->id), {-4, -4}));
    EXPECT_TRUE(near(manager->relativeCanvasOffset(drawn->id, CanvasOrientation::top, 40), {-160, 160}));
    advance(1.5);
    EXPECT_EQ(manager->relativeOffsets.count(drawn->id), 0u) << "dropped when the cue ended";
}

TEST_F(PathCueFixture, CountedAndEndlessLoopsAndStopEndsScheduledRestarts) {
    auto s = addSource(1, 0, 0);
    auto counted = makeCue(1, {{0, 0}, {1, 0}}, {s->id}, 1.0);
    counted->loop = true;
    counted->loopCount = 3;
    addCues({counted});
    manager->selectCue(counted, false);
    platform::LogCapture log;
    manager->playPathCue(counted, 100, counter(), std::nullopt);
    advance(2.5);
    EXPECT_TRUE(manager->hasRunningPlayback()) << "third pass";
    advance(1.0);
    EXPECT_FALSE(manager->hasRunningPlayback());
    EXPECT_TRUE(manager->selectedCueIDs->empty());
    EXPECT_EQ(manager->selectedCue.get(), nullptr);
    std::size_t starts = 0;
    for (const auto& line : log.lines())
        starts += line.find("🚀 playPathCue CALLED for cue Cue 1") != std::string::npos;
    EXPECT_EQ(starts, 3u);

    auto endless = makeCue(2, {{0, 0}, {1, 0}}, {s->id}, 0.5);
    endless->loop = true;
    addCues({endless});
    manager->startPathCue(endless, 100, counter(), std::nullopt);
    advance(3.0);
    EXPECT_TRUE(manager->hasRunningPlayback());
    // Stop right after a pass ended, while its restart is scheduled.
    for (int i = 0; i < 200 && manager->hasRunningPlayback(); ++i)
        advance(0.005);
    ASSERT_FALSE(manager->hasRunningPlayback());
    manager->stopAllPlayback();
    advance(1.0);
    EXPECT_FALSE(manager->hasRunningPlayback()) << "the scheduled restart did not run";
    const int sent = levelUpdates;
    advance(1.0);
    EXPECT_EQ(levelUpdates, sent);
}

TEST_F(PathCueFixture, ChainsFollowTheCueNumbersAndTheSelectionMovesOn) {
    auto s = addSource(1, 0, 0);
    auto one = makeCue(1, {{0, 0}, {1, 0}}, {s->id}, 0.5);
    auto two = makeCue(2, {{0, 0}, {1, 0}}, {s->id}, 0.5);
    auto three = makeCue(3, {{0, 0}, {1, 0}}, {s->id}, 0.5);
    addCues({three, one, two}); // list order is not chaining order
    one->triggerNext = TriggerNextOption::simultaneous;
    two->triggerNext = TriggerNextOption::sequential;

    manager->selectCue(one, false);
    manager->playSelectedCues([] { return 100.0; }, counter());
    EXPECT_EQ(manager->playingCueIDs.get(), (std::set<platform::UUID>{one->id, two->id}));
    manager->playPathCue(one, 100, counter(), std::nullopt); // a restart: cue 2 is not started again
    EXPECT_EQ(manager->simultaneousFired.count(one->id), 1u);

    advance(0.7);
    EXPECT_TRUE(manager->playingCueIDs->count(three->id)) << "cue 3 follows the sequential cue 2";
    EXPECT_EQ(manager->selectedCueIDs.get(), std::set<platform::UUID>{two->id}) << "moved on after cue 1";
    advance(1.0);
    EXPECT_FALSE(manager->hasRunningPlayback());
    EXPECT_EQ(manager->selectedCueIDs.get(), std::set<platform::UUID>{one->id})
        << "after the last comes the first";

    // A remote start deselects its cue when it ends.
    manager->selectCue(three, false);
    manager->startPathCue(three, 100, counter(), std::nullopt);
    advance(1.0);
    EXPECT_TRUE(manager->selectedCueIDs->empty());
}

TEST_F(PathCueFixture, DeletingAPlayingCueOrItsLastTargetEndsIt) {
    auto s = addSource(1, 0, 0);
    auto cue = makeCue(1, {{0, 0}, {9, 0}}, {s->id}, 10);
    cue->loop = true;
    addCues({cue});
    manager->selectCue(cue, false);
    manager->playPathCue(cue, 100, counter(), std::nullopt);
    advance(0.5);
    manager->pathCues = std::vector<std::shared_ptr<PathCue>>{};
    EXPECT_FALSE(manager->hasRunningPlayback());
    EXPECT_TRUE(manager->selectedCueIDs->empty());
    EXPECT_EQ(manager->selectedCue.get(), nullptr);
    const Point where = s->positionMeters;
    advance(1.0);
    EXPECT_EQ(s->positionMeters.get(), where);
}

TEST_F(PathCueFixture, CuesThatCannotPlayFinishAtOnceWithoutMovingAnything) {
    auto s = addSource(1, 1, 1);
    auto single = makeCue(1, {{0, 0}}, {s->id});
    auto instant = makeCue(2, {{0, 0}, {1, 0}}, {s->id}, 0.0);
    addCues({single, instant});
    manager->playPathCue(single, 100, counter(), std::nullopt);
    manager->playPathCue(instant, 100, counter(), std::nullopt);
    advance(0.2);
    EXPECT_FALSE(manager->hasRunningPlayback());
    EXPECT_EQ(levelUpdates, 0);
    EXPECT_TRUE(near(s->positionMeters, {1, 1}));

    PathManager unlinked;
    platform::LogCapture log;
    unlinked.playPathCue(single, 100, counter(), std::nullopt);
    EXPECT_FALSE(unlinked.hasRunningPlayback());
}

TEST_F(PathCueFixture, ARestoredListIsMatchedByCueIdAndAnOpenedOneReplacesIt) {
    auto s = addSource(1, 0, 0);
    auto looping = makeCue(1, {{0, 0}, {1, 0}}, {s->id}, 0.5);
    looping->loop = true;
    auto doomed = makeCue(2, {{0, 0}, {0, 1}}, {s->id}, 10.0);
    addCues({looping, doomed});
    manager->selectCue(looping, false);
    manager->selectCue(doomed, true);
    manager->selectedCue = looping;
    manager->playPathCue(looping, 100, counter(), std::nullopt);
    manager->startPathCue(doomed, 100, counter(), std::nullopt);
    advance(0.2);

    // An entry taken before `doomed` was drawn, with `looping` renamed: copies, as history
    // entries hold them, plus a cue the live list no longer has.
    auto entryLooping = std::make_shared<PathCue>(*looping);
    entryLooping->name = "Walk";
    auto returning = makeCue(3, {{1, 1}, {2, 2}}, {s->id});
    manager->restoreCues({entryLooping, returning});

    ASSERT_EQ(manager->pathCues->size(), 2u);
    EXPECT_EQ(manager->pathCues.get()[0], looping) << "the running cue keeps its record";
    EXPECT_EQ(looping->name, "Walk");
    EXPECT_EQ(manager->pathCues.get()[1], returning);
    EXPECT_EQ(manager->playingCueIDs.get(), std::set<platform::UUID>{looping->id});
    EXPECT_EQ(manager->selectedCueIDs.get(), std::set<platform::UUID>{looping->id});
    ASSERT_TRUE(manager->selectedCue.get());
    EXPECT_EQ(manager->selectedCue.get()->id, looping->id);
    // Passes end and start again: the loop still finds its cue.
    {
        platform::LogCapture log;
        advance(2.0);
        std::size_t starts = 0;
        for (const auto& line : log.lines())
            starts += line.find("🚀 playPathCue CALLED for cue Walk") != std::string::npos;
        EXPECT_GE(starts, 2u) << "still looping";
    }

    auto opened = makeCue(1, {{0, 0}, {3, 0}}, {s->id});
    manager->replaceCues({opened, nullptr});
    EXPECT_FALSE(manager->hasRunningPlayback());
    EXPECT_TRUE(manager->selectedCueIDs->empty());
    EXPECT_EQ(manager->pathCues.get(), std::vector<std::shared_ptr<PathCue>>{opened});
    advance(1.0);
    EXPECT_FALSE(manager->hasRunningPlayback()) << "no restart of the old show's loop";
}
