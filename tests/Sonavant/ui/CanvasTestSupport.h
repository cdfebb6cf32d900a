#pragma once
// A main view on a first-launch show with the test desk and a recording outlet, a canvas of
// 800 x 600 laid out, a few sources and loudspeakers, and counters for level passes and
// undo pushes.

#include "Sonavant/engine/EngineTestSupport.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/ui/CanvasPointerRouter.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "support/RecordingPresenter.h"
#include "support/TempFolder.h"

#include <chrono>
#include <cmath>
#include <memory>

namespace canvastest {

struct Canvas : enginetest::Fixture {
    support::TempFolder folder;
    platform::UserDefaults defaults{folder.path()};
    std::shared_ptr<support::RecordingPresenter> presenter = std::make_shared<support::RecordingPresenter>();
    CanvasPointerRouter router{view};
    int levelPasses = 0;
    platform::Subscription passCounter;

    Canvas() {
        AppState::clearHistory();
        view.userDefaults = &defaults;
        view.presenter = presenter;
        view.canvasAppeared(CanvasGeometryProxy{{800, 600}, {{0, 0}, {800, 600}}});
        passCounter = state->mixerLevels.observe([this](const auto&) { ++levelPasses; });
    }
    ~Canvas() { AppState::clearHistory(); }

    std::shared_ptr<SoundObject> addSource(std::int64_t number, Point canvas) {
        auto source = enginetest::sourceAt(number, canvas, enginetest::udpDesk());
        source->positionMeters =
            canvasToMetres(state->canvasOrientation, canvas, view.zoomLevel, state->zeroPoint);
        state->soundObjects.update([&](auto& list) { list.push_back(source); });
        return source;
    }
    Speaker& addSpeaker(std::int64_t id, Point canvas) {
        Speaker s = enginetest::speakerAt(id, canvas, id);
        s.positionMeters = canvasToMetres(state->canvasOrientation, canvas, view.zoomLevel, state->zeroPoint);
        state->speakers.update([&](auto& list) { list.push_back(s); });
        return speaker(id);
    }
    Speaker& speaker(std::int64_t id) {
        for (auto& s : const_cast<std::vector<Speaker>&>(state->speakers.get()))
            if (s.id == id)
                return s;
        throw std::runtime_error("no loudspeaker");
    }

    static std::size_t undoCount() { return AppState::undoStack.size(); }

    void send(CanvasPointerEvent::Kind kind, Point at, std::uint64_t modifiers = 0) {
        router.handle({kind, at, modifiers, CanvasPointerEvent::Button::left});
    }
    void press(Point at, std::uint64_t modifiers = 0) {
        send(CanvasPointerEvent::Kind::press, at, modifiers);
    }
    void moveTo(Point at, std::uint64_t modifiers = 0) {
        send(CanvasPointerEvent::Kind::move, at, modifiers);
    }
    void release(Point at, std::uint64_t modifiers = 0) {
        send(CanvasPointerEvent::Kind::release, at, modifiers);
    }
    // A drag in `steps` equal moves.
    void drag(Point from, Point to, int steps = 4, std::uint64_t modifiers = 0) {
        press(from, modifiers);
        for (int i = 1; i <= steps; ++i)
            moveTo({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps}, modifiers);
        release(to, modifiers);
    }
    void click(Point at, std::uint64_t modifiers = 0) {
        press(at, modifiers);
        release(at, modifiers);
    }
    void doubleClick(Point at) {
        click(at);
        send(CanvasPointerEvent::Kind::doubleClick, at);
        release(at);
    }
};

// The main run loop on a clock of the test's own, for cues and fades.
struct FakeTime {
    FakeTime() { platform::MainRunLoop::useFakeTime(true); }
    ~FakeTime() { platform::MainRunLoop::useFakeTime(false); }
    static void advance(double seconds) {
        platform::MainRunLoop::advance(
            std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(seconds)));
    }
};

inline constexpr std::uint64_t shift = ContentView::shiftModifierFlag;

inline bool near(Point a, Point b, double tolerance = 1e-9) {
    return std::abs(a.x - b.x) <= tolerance && std::abs(a.y - b.y) <= tolerance;
}

} // namespace canvastest
