#include "EngineTestSupport.h"

#include "Sonavant/engine/AudienceFactors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace enginetest;

namespace {

// Zero point (0, 0), zoom 100: a node at (x, y) metres lies at canvas (100x, -100y).
struct AreaFixture : Fixture {
    void areas(std::vector<std::vector<Point>> nodeLists) {
        std::vector<AudienceArea> list;
        for (auto& nodes : nodeLists) {
            AudienceArea area;
            area.nodesMeters = std::move(nodes);
            list.push_back(area);
        }
        state->audienceAreas = list;
    }
};

} // namespace

TEST(AudienceFactors, WithoutAreasAnAudienceAwareShowIsSilent) {
    AreaFixture f;
    const Speaker speaker = speakerAt(1, {0, 0}, 1, "Mix", 0, 70);
    EXPECT_EQ(f.view.audienceFocusFactor(speaker), 0.0);
    EXPECT_EQ(f.view.audienceCoverageFactor(speaker), 0.0);
    // Only a loudspeaker wider than a full half turn's worth of focus limits hears anything.
    EXPECT_EQ(f.view.audienceFocusFactor(speakerAt(1, {0, 0}, 1, "Mix", 0, 400)), 1.0);

    f.state->audienceAwarePanLaw = true;
    f.state->speakers = std::vector{speaker};
    f.state->soundObjects = std::vector{sourceAt(1, {0, 0}, udpDesk())};
    for (PanningMode mode : allPanningModes) {
        f.state->panningMode = mode;
        f.view.updateRelativeLevels();
        EXPECT_EQ(f.state->mixerLevels->begin()->second.at(1), -90.0) << rawValue(mode);
    }
}

TEST(AudienceFactors, NearestNodeAngleGivesTheFactor) {
    AreaFixture f;
    // Orientation top: focus 0 aims down the canvas (bearing 90 degrees).
    const Speaker speaker = speakerAt(1, {0, 0}, 1, "Mix", 0, 100);

    // A node straight along the aim is full level whatever else there is.
    f.areas({{{10, 10}}, {{0, -3}}});
    EXPECT_EQ(f.view.audienceFocusFactor(speaker), 1.0);
    EXPECT_EQ(f.view.audienceCoverageFactor(speaker), 1.0);

    // Nearest node 60 degrees off the aim.
    const double angle = (90 - 60) * std::acos(-1.0) / 180;
    f.areas({{{std::cos(angle) * 2, -std::sin(angle) * 2}}});
    EXPECT_NEAR(f.view.audienceFocusFactor(speaker), 1 - (60.0 - 50) / (70 - 50), 1e-9);
    EXPECT_NEAR(f.view.audienceCoverageFactor(speaker), 1 - (60.0 - 52) / (110 - 52), 1e-9);

    // Focus 180 at orientation top is an aim of 270, taken as -90: straight up the canvas.
    f.areas({{{0, 3}}});
    EXPECT_EQ(f.view.audienceFocusFactor(speakerAt(1, {0, 0}, 1, "Mix", 180, 70)), 1.0);
    EXPECT_EQ(f.view.audienceFocusFactor(speakerAt(1, {0, 0}, 1, "Mix", 0, 70)), 0.0);

    // The orientation turns both the aim and the nodes.
    f.state->canvasOrientation = CanvasOrientation::right;
    EXPECT_EQ(f.view.audienceFocusFactor(speakerAt(1, {0, 0}, 1, "Mix", 180, 70)), 1.0);
}

TEST(AudienceFactors, AnyFocusEndsAndUndefinedOnesPointNowhere) {
    AreaFixture f;
    f.areas({{{0, -3}}});
    // Whole turns are the same aim, however many.
    EXPECT_EQ(f.view.audienceFocusFactor(speakerAt(1, {0, 0}, 1, "Mix", 360.0 * 1e12, 70)), 1.0);
    EXPECT_EQ(f.view.audienceFocusFactor(speakerAt(1, {0, 0}, 1, "Mix", -720, 70)), 1.0);
    EXPECT_EQ(f.view.audienceFocusFactor(speakerAt(1, {0, 0}, 1, "Mix", 1e308, 70)),
              f.view.audienceFocusFactor(speakerAt(1, {0, 0}, 1, "Mix", std::fmod(1e308, 360.0), 70)));
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(f.view.audienceFocusFactor(speakerAt(1, {0, 0}, 1, "Mix", inf, 70)), 0.0);
    EXPECT_EQ(f.view.audienceCoverageFactor(speakerAt(1, {0, 0}, 1, "Mix", 0, std::nan(""))), 0.0);
}
