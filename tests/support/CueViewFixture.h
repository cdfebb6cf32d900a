#pragma once
// A main view over a small show with sources, a desk with a mix section and some cues, for
// the path drawing, the cue sidebar's and the properties sheet's rules. The main run loop
// runs on fake time.

#include "Sonavant/engine/ContentView.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "support/RecordingPresenter.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

#include <chrono>

namespace cueedit {

using namespace std::chrono_literals;

class CueEditingFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::MainRunLoop::adoptCurrentThread();
        platform::MainRunLoop::useFakeTime(true);
        AppState::clearHistory();
        show = support::emptyShow({.zeroPoint = Point{0, 600}});
        desk = support::acmeDesk();
        show->selectedDesk = desk;
        view = std::make_unique<ContentView>(show);
        presenter = std::make_shared<support::RecordingPresenter>();
        view->presenter = presenter;
        manager = view->pathManager;
    }
    void TearDown() override {
        manager->stopAllPlayback();
        view.reset();
        platform::MainRunLoop::advance(200ms);
        platform::MainRunLoop::useFakeTime(false);
        AppState::clearHistory();
    }

    std::shared_ptr<SoundObject> addSource(std::int64_t number, double x = 0, double y = 0,
                                           std::string type = "Input") {
        auto s = std::make_shared<SoundObject>(std::move(type), number, desk, x, y, 100.0, show->zeroPoint);
        show->soundObjects.update([&](auto& list) { list.push_back(s); });
        return s;
    }
    std::shared_ptr<PathCue> addCue(double number, std::vector<platform::UUID> targets = {},
                                    std::vector<Point> nodes = {{0, 0}, {2, 0}, {2, 2}}) {
        auto c = std::make_shared<PathCue>(platform::UUID::random(), "Cue " + std::to_string(int(number)),
                                           4.0, std::move(targets), std::move(nodes), number, std::nullopt,
                                           std::nullopt, false, std::nullopt, TriggerNextOption::none, false);
        c->hasError = c->soundObjectIDs.empty();
        manager->pathCues.update([&](auto& list) { list.push_back(c); });
        return c;
    }
    // How often the cue list was announced since the call.
    std::function<int()> countAnnouncements() {
        auto count = std::make_shared<int>(0);
        announcements.insert(manager->pathCues.observe([count](const auto&) { ++*count; }));
        return [count] { return *count; };
    }

    MixingDesk desk;
    std::shared_ptr<AppState> show;
    std::unique_ptr<ContentView> view;
    std::shared_ptr<support::RecordingPresenter> presenter;
    std::shared_ptr<PathManager> manager;
    platform::SubscriptionBag announcements;
};

} // namespace cueedit
