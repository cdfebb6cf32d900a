// One pointer move of a canvas drag, from the pointer event to the level pass done and the
// sends queued, without painting: the canvas's pointer router moves a source (or a
// loudspeaker) of 64 sources x 64 loudspeakers, one event every 16 ms, the levels going over
// UDP to a loopback socket nobody reads. The send queue has the rest of each 16 ms.
// Console lines go to standard output: run with it redirected and --benchmark_out.

#include "MainThreadSupport.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/CanvasPointerRouter.h"
#include "platform/RunLoop.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;
using benchsupport::reportMicroseconds;
using benchsupport::scatteredShow;
using benchsupport::SinkSocket;
using benchsupport::threadSeconds;

constexpr auto eventInterval = 16ms;

// Where a press lands on an item of `kind`, if one is not covered by another.
std::optional<Point> pressPoint(const ContentView& view, CanvasHitTarget::Kind kind) {
    const AppState& state = *view.appState;
    std::vector<Point> candidates;
    if (kind == CanvasHitTarget::Kind::soundObject)
        for (const auto& source : state.soundObjects.get())
            candidates.push_back(source->position);
    else
        for (const Speaker& speaker : state.speakers.get())
            candidates.push_back(speaker.position);
    for (Point p : candidates)
        if (CanvasHitTest::at(view, p, {}).kind == kind)
            return p;
    return std::nullopt;
}

void dragEvent(benchmark::State& bench) {
    const auto kind =
        bench.range(2) == 0 ? CanvasHitTarget::Kind::soundObject : CanvasHitTarget::Kind::speaker;
    SinkSocket sink;
    auto state = scatteredShow(static_cast<int>(bench.range(0)), static_cast<int>(bench.range(1)));
    ContentView view(state, Binding<std::string>("127.0.0.1"),
                     Binding<std::string>(std::to_string(sink.port)), Binding<bool>(true), 320.0,
                     DeskOutlet::network());
    view.selectedDesk = support::mixDesk("Bench", 128);
    view.updateRelativeLevels();
    platform::MainRunLoop::runFor(1s); // the first pass's sends leave

    const auto start = pressPoint(view, kind);
    if (!start) {
        bench.SkipWithError("no item to press");
        return;
    }
    CanvasPointerRouter router(view);
    router.handle({CanvasPointerEvent::Kind::press, *start});

    // Round and round a 2 m circle, so every event changes the dragged item's levels.
    std::vector<double> cpu, wall;
    int step = 0;
    for (auto _ : bench) {
        const double angle = 0.05 * ++step;
        const Point at{start->x + 200 * std::sin(angle), start->y + 200 * (1 - std::cos(angle))};
        const double cpuBegin = threadSeconds();
        const auto begin = std::chrono::steady_clock::now();
        router.handle({CanvasPointerEvent::Kind::move, at});
        const auto end = std::chrono::steady_clock::now();
        cpu.push_back(threadSeconds() - cpuBegin);
        wall.push_back(std::chrono::duration<double>(end - begin).count());
        bench.SetIterationTime(wall.back());
        platform::MainRunLoop::runFor(
            std::max<platform::Duration>(platform::Duration::zero(), eventInterval - (end - begin)));
    }
    router.handle({CanvasPointerEvent::Kind::release, *start});
    reportMicroseconds(bench, cpu, "cpu");
    reportMicroseconds(bench, wall, "wall");
    bench.SetLabel(kind == CanvasHitTarget::Kind::soundObject ? "source drag" : "loudspeaker drag");
}

} // namespace

BENCHMARK(dragEvent)
    ->Args({64, 64, 0})
    ->Args({64, 64, 1})
    ->Args({128, 128, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(600);

BENCHMARK_MAIN();
