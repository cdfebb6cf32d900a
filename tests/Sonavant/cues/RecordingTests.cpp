// Recording a path, making the cue, numbering and selection.

#include "PathCueTestSupport.h"

#include "platform/Log.h"

using namespace cuetest;

TEST_F(PathCueFixture, RecordedNodesAreAMetreApartAndEachRecordingStartsAfresh) {
    // Zoom 100, zero point (0, 600): one metre is 100 canvas points.
    platform::LogCapture log;
    manager->recordNode({0, 600});
    manager->recordNode({50, 600});
    EXPECT_TRUE(log.contains("⛔️ Skipped point (distance only 0.5)"));
    manager->recordNode({100, 600});
    EXPECT_TRUE(log.contains("✅ Node added at (1.0, 0.0) (distance: 1.0)"));
    manager->recordNode({100, 600}); // the same point again
    EXPECT_TRUE(log.contains("🔁 Added final duplicate point (loop closure)"));
    EXPECT_EQ(manager->currentPathNodes->size(), 3u);
    manager->addFinalNode({5, 605}, {}, 100); // near the start: closes the loop
    ASSERT_EQ(manager->pathCues->size(), 1u);
    auto loop = manager->pathCues.get()[0];
    EXPECT_EQ(loop->nodesMeters.back(), loop->nodesMeters.front());
    EXPECT_TRUE(loop->hasError) << "no targets";
    EXPECT_TRUE(manager->currentPathNodes->empty());

    // A new recording measures from its own seed, not from where the last one ended.
    manager->currentPathNodes = std::vector<Point>{{1000, 600}};
    manager->recordNode({150, 600}); // 0.5 m from the last recording's last point
    EXPECT_EQ(manager->currentPathNodes->size(), 2u);
    manager->recordNode({200, 600});
    EXPECT_EQ(manager->currentPathNodes->size(), 2u) << "0.5 m from the last kept node";
    manager->addFinalNode({1400, 600}, {}, 100);
    EXPECT_EQ(manager->pathCues.get()[1]->nodesMeters, (std::vector<Point>{{10, 0}, {1.5, 0}, {14, 0}}));
    manager->addFinalNode({0, 0}, {}, 100);
    EXPECT_TRUE(log.contains("⚠️ Skipping addFinalNode: No valid path to finalize"));
}

TEST_F(PathCueFixture, AFinishedPathBecomesANumberedSelectedCueWithOffsetsFromThePrimary) {
    auto three = addSource(3, 4, 0);
    auto firstOne = addSource(1, 1, 1);
    auto secondOne = addSource(1, 2, 2);
    addCues({makeCue(1, {{0, 0}, {1, 0}}, {}), makeCue(5, {{0, 0}, {1, 0}}, {})});
    manager->defaultTime = 7.0;
    manager->currentPathNodes = std::vector<Point>{{0, 600}};
    manager->addFinalNode({200, 400}, {three, firstOne, secondOne}, 50);
    ASSERT_EQ(manager->pathCues->size(), 3u);
    auto cue = manager->pathCues.get()[2];
    EXPECT_EQ(cue->name, "Cue 3");
    EXPECT_EQ(cue->number, 2.0);
    EXPECT_EQ(cue->time, 7.0);
    EXPECT_EQ(cue->baseZoomLevel, 50.0);
    EXPECT_EQ(cue->nodesMeters, (std::vector<Point>{{0, 0}, {4, 4}})) << "converted with the given zoom";
    EXPECT_EQ(cue->soundObjectIDs, (std::vector<platform::UUID>{three->id, firstOne->id, secondOne->id}));
    EXPECT_EQ(cue->primarySoundObjectID, firstOne->id);
    EXPECT_EQ(cue->objectOffsets->at(firstOne->id), (Point{0, 0}));
    EXPECT_EQ(cue->objectOffsets->at(three->id), (Point{3, -1}));
    EXPECT_FALSE(cue->hasError);
    EXPECT_EQ(manager->selectedCue.get(), cue);
    EXPECT_EQ(manager->selectedCueIDs.get(), std::set<platform::UUID>{cue->id});

    manager->selectCue(cue, true);
    EXPECT_TRUE(manager->selectedCueIDs->empty());
    EXPECT_EQ(manager->selectedCue.get(), nullptr);
}

TEST_F(PathCueFixture, NextCueNumberFillsTheLowestGapAndIsNeverBelowOne) {
    auto numbered = [&](std::vector<double> numbers) {
        std::vector<std::shared_ptr<PathCue>> cues;
        for (double n : numbers)
            cues.push_back(makeCue(n, {}, {}));
        manager->pathCues = cues;
        return manager->nextCueNumber();
    };
    EXPECT_EQ(numbered({}), 1.0);
    EXPECT_EQ(numbered({1, 2, 4}), 3.0);
    EXPECT_EQ(numbered({1.5, 2}), 3.0);
    EXPECT_EQ(numbered({2.7}), 1.0);
    EXPECT_EQ(numbered({1, 2, 3}), 4.0);
    EXPECT_EQ(numbered({-3, -1.5}), 1.0);
    EXPECT_EQ(numbered({0.5}), 1.0);
    EXPECT_EQ(numbered({1, std::nan(""), 1e300}), 2.0);
}
