#pragma once
// A show, a path-cue engine on it and the main run loop on fake time.

#include "Sonavant/cues/PathManager.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "platform/RunLoop.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace cuetest {

using namespace std::chrono_literals;

inline std::shared_ptr<PathCue> makeCue(double number, std::vector<Point> nodes,
                                        std::vector<platform::UUID> targets, double time = 4.0) {
    return std::make_shared<PathCue>(platform::UUID::random(), "Cue " + std::to_string(int(number)), time,
                                     std::move(targets), std::move(nodes), number, std::nullopt, std::nullopt,
                                     false, std::nullopt, TriggerNextOption::none, false);
}

class PathCueFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::MainRunLoop::adoptCurrentThread();
        platform::MainRunLoop::useFakeTime(true);
        show = support::emptyShow({.zeroPoint = Point{0, 600}});
        manager = std::make_shared<PathManager>();
        manager->setAppState(show);
    }
    void TearDown() override {
        manager->stopAllPlayback();
        manager.reset();
        platform::MainRunLoop::advance(200ms); // steps queued for the gone engine
        platform::MainRunLoop::useFakeTime(false);
    }

    std::shared_ptr<SoundObject> addSource(std::int64_t number, double x, double y) {
        auto s = support::inputAt(number, support::mixDesk("Test", 8), x, y, show->zeroPoint);
        show->soundObjects.update([&](auto& list) { list.push_back(s); });
        return s;
    }
    void addCues(std::initializer_list<std::shared_ptr<PathCue>> cues) {
        manager->pathCues.update([&](auto& list) { list.insert(list.end(), cues.begin(), cues.end()); });
    }
    PathManager::LevelUpdate counter() {
        return [this] { ++levelUpdates; };
    }
    // Advances fake time in steps the size of a tick plus a little, so the 0.05 s timer fires.
    void advance(double seconds) {
        platform::MainRunLoop::advance(
            std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(seconds)));
    }

    std::shared_ptr<AppState> show;
    std::shared_ptr<PathManager> manager;
    int levelUpdates = 0;
};

inline ::testing::AssertionResult near(Point actual, Point expected, double tolerance = 1e-9) {
    if (std::hypot(actual.x - expected.x, actual.y - expected.y) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << actual.x << ", " << actual.y << ") is not (" << expected.x << ", " << expected.y << ")";
}

} // namespace cuetest
