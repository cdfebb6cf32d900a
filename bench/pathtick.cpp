// One master tick of the path-cue engine: every playing cue moves its sources, then one
// level pass sends what changed. 1, 10 and 50 cues share the show's sources round robin;
// the levels go to a silent outlet or over UDP to a loopback socket nobody reads.
// Console lines go to standard output: run with it redirected and --benchmark_out.

#include "MainThreadSupport.h"
#include "Sonavant/engine/ContentView.h"
#include "platform/RunLoop.h"
#include "support/SilentOutlet.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

using benchsupport::reportMicroseconds;
using benchsupport::scatteredShow;
using benchsupport::SinkSocket;
using benchsupport::threadSeconds;
using support::SilentOutlet;

// A show of `sources` x `speakers` with `sessions` cues playing long circles, so every tick
// moves every source and no cue ends; the cues share the sources round robin.
struct PlayingShow {
    SinkSocket sink;
    std::shared_ptr<AppState> state;
    ContentView view;
    PlayingShow(int sessions, int sources, int speakers, bool network)
        : state(scatteredShow(sources, speakers)),
          view(state, Binding<std::string>("127.0.0.1"), Binding<std::string>(std::to_string(sink.port)),
               Binding<bool>(true), 320.0,
               network ? DeskOutlet::network() : std::make_shared<SilentOutlet>()) {
        view.selectedDesk = support::mixDesk("Bench", 128);
        view.updateRelativeLevels();
        auto& manager = *view.pathManager;
        std::vector<std::shared_ptr<PathCue>> cues;
        for (int c = 0; c < sessions; ++c) {
            std::vector<platform::UUID> targets;
            for (int s = c; s < sources; s += sessions)
                targets.push_back(state->soundObjects.get()[std::size_t(s)]->id);
            std::vector<Point> nodes;
            for (int n = 0; n <= 36; ++n) {
                const double t = n * std::acos(-1.0) / 18;
                nodes.push_back({10 + 6 * std::cos(t + c), 10 + 6 * std::sin(t + c)});
            }
            cues.push_back(std::make_shared<PathCue>(platform::UUID::random(), "Cue", 1e6, targets, nodes,
                                                     c + 1, std::nullopt, std::nullopt, false, std::nullopt,
                                                     TriggerNextOption::none, c % 2 == 1));
        }
        manager.pathCues = cues;
        for (const auto& cue : cues)
            manager.playPathCue(
                cue, 100, [this] { view.updateRelativeLevels(); }, std::nullopt);
    }
    ~PlayingShow() { view.pathManager->stopAllPlayback(); }
};

// Ticks back to back: the send queue never catches up, so this is the worst case.
void masterTick(benchmark::State& bench) {
    const bool network = bench.range(3) != 0;
    PlayingShow show(static_cast<int>(bench.range(0)), static_cast<int>(bench.range(1)),
                     static_cast<int>(bench.range(2)), network);
    auto& manager = *show.view.pathManager;

    // Per tick: the main thread's own processor time (what the tick costs on one core) and
    // the wall time (which also holds whatever else the machine did meanwhile).
    std::vector<double> cpu, wall;
    for (auto _ : bench) {
        const double cpuBegin = threadSeconds();
        const auto begin = std::chrono::steady_clock::now();
        manager.masterTick();
        const auto end = std::chrono::steady_clock::now();
        cpu.push_back(threadSeconds() - cpuBegin);
        wall.push_back(std::chrono::duration<double>(end - begin).count());
        bench.SetIterationTime(wall.back());
    }
    reportMicroseconds(bench, cpu, "cpu");
    reportMicroseconds(bench, wall, "wall");
    bench.SetLabel(network ? "loopback" : "null outlet");
}

// Ticks at their real cadence: the playback timer fires once per 50 ms of the run loop's
// (fake) clock, and the rest of each 50 ms of real time goes to the send queue and the
// main queue, as in the running application.
void cadenceTick(benchmark::State& bench) {
    using namespace std::chrono_literals;
    platform::MainRunLoop::useFakeTime(true);
    {
        PlayingShow show(static_cast<int>(bench.range(0)), static_cast<int>(bench.range(1)),
                         static_cast<int>(bench.range(2)), true);
        platform::MainRunLoop::runFor(1s); // the first pass's sends leave
        std::vector<double> cpu, wall;
        const auto tick = std::chrono::duration_cast<platform::Duration>(
            std::chrono::duration<double>(PathManager::tickInterval));
        for (auto _ : bench) {
            const double cpuBegin = threadSeconds();
            const auto begin = std::chrono::steady_clock::now();
            platform::MainRunLoop::advance(tick);
            const auto end = std::chrono::steady_clock::now();
            cpu.push_back(threadSeconds() - cpuBegin);
            wall.push_back(std::chrono::duration<double>(end - begin).count());
            bench.SetIterationTime(wall.back());
            platform::MainRunLoop::runFor(std::max(platform::Duration::zero(), tick - (end - begin)));
        }
        reportMicroseconds(bench, cpu, "cpu");
        reportMicroseconds(bench, wall, "wall");
        bench.SetLabel("loopback, one tick per 50 ms");
    }
    platform::MainRunLoop::useFakeTime(false);
}

// The engine's own share: the same ticks without a level pass.
void sessionsOnly(benchmark::State& bench) {
    const int sessions = static_cast<int>(bench.range(0));
    const int sources = static_cast<int>(bench.range(1));
    auto state = scatteredShow(sources, 0);
    PathManager manager;
    manager.setAppState(state);
    std::vector<std::shared_ptr<PathCue>> cues;
    for (int c = 0; c < sessions; ++c) {
        std::vector<platform::UUID> targets;
        for (int s = c; s < sources; s += sessions)
            targets.push_back(state->soundObjects.get()[std::size_t(s)]->id);
        cues.push_back(std::make_shared<PathCue>(
            platform::UUID::random(), "Cue", 1e6, targets, std::vector<Point>{{0, 0}, {5, 0}, {5, 5}}, c + 1,
            std::nullopt, std::nullopt, false, std::nullopt, TriggerNextOption::none, c % 2 == 1));
    }
    manager.pathCues = cues;
    for (const auto& cue : cues)
        manager.playPathCue(
            cue, 100, [] {}, std::nullopt);
    for (auto _ : bench)
        manager.masterTick();
    manager.stopAllPlayback();
}

void allShows(benchmark::internal::Benchmark* b) {
    for (int network : {0, 1})
        for (int sessions : {1, 10, 50})
            for (int sources : {16, 64, 128})
                for (int speakers : {16, 64})
                    b->Args({sessions, sources, speakers, network});
}

} // namespace

BENCHMARK(masterTick)->Apply(allShows)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

BENCHMARK(cadenceTick)
    ->Args({10, 64, 64})
    ->Args({10, 128, 64})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(400);

BENCHMARK(sessionsOnly)->ArgsProduct({{1, 10, 50}, {16, 64, 128}})->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
