// One master tick of the path-cue engine: every playing cue moves its sources, then one
// level pass sends what changed. 1, 10 and 50 cues share the show's sources round robin;
// the levels go to a silent outlet or over UDP to a loopback socket nobody reads.
// Console lines go to standard output: run with it redirected and --benchmark_out.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "support/ShowFixtures.h"
#include "support/SilentOutlet.h"

#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>

namespace {

using support::SilentOutlet;

// A loopback UDP port that takes datagrams and never reads them.
struct SinkSocket {
    int fd = -1;
    std::uint16_t port = 0;
    SinkSocket() {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~SinkSocket() {
        if (fd >= 0)
            ::close(fd);
    }
};

// The calling thread's processor time (user and system), in seconds.
double threadSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + 1e-6 * double(t.tv_usec); };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::shared_ptr<AppState> benchShow(int sources, int speakers) {
    const Point zero{0, 2000};
    auto state = support::emptyShow(
        {.imageScale = 1.0, .panning = PanningMode::constantPower, .range = 8.0, .zeroPoint = zero});
    std::mt19937 random(7);
    std::uniform_real_distribution<double> metres(0, 20), angle(-180, 180);
    const MixingDesk desk = support::mixDesk("Bench", 128);
    std::vector<Speaker> list;
    for (int i = 0; i < speakers; ++i) {
        Speaker s;
        s.id = i + 1;
        s.channelNumber = s.displayNumber = i + 1;
        s.type = "Mix";
        s.positionMeters = {metres(random), metres(random)};
        s.position = metresToCanvas(CanvasOrientation::top, s.positionMeters, 100, zero);
        s.focus = angle(random);
        s.width = 70;
        list.push_back(s);
    }
    state->speakers = list;
    std::vector<std::shared_ptr<SoundObject>> objects;
    for (int i = 0; i < sources; ++i)
        objects.push_back(
            std::make_shared<SoundObject>("Input", i + 1, desk, metres(random), metres(random), 100, zero));
    state->soundObjects = objects;
    return state;
}

void masterTick(benchmark::State& bench) {
    const int sessions = static_cast<int>(bench.range(0));
    const int sources = static_cast<int>(bench.range(1));
    const int speakers = static_cast<int>(bench.range(2));
    const bool network = bench.range(3) != 0;

    SinkSocket sink;
    auto state = benchShow(sources, speakers);
    ContentView view(state, Binding<std::string>("127.0.0.1"),
                     Binding<std::string>(std::to_string(sink.port)), Binding<bool>(true), 320.0,
                     network ? DeskOutlet::network() : std::make_shared<SilentOutlet>());
    view.selectedDesk = support::mixDesk("Bench", 128);
    view.updateRelativeLevels();

    // Long circles, so every tick moves every source and no cue ends.
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
        cues.push_back(std::make_shared<PathCue>(platform::UUID::random(), "Cue", 1e6, targets, nodes, c + 1,
                                                 std::nullopt, std::nullopt, false, std::nullopt,
                                                 TriggerNextOption::none, c % 2 == 1));
    }
    manager.pathCues = cues;
    for (const auto& cue : cues)
        manager.playPathCue(
            cue, 100, [&view] { view.updateRelativeLevels(); }, std::nullopt);

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
    manager.stopAllPlayback();
    auto summary = [&](std::vector<double>& samples, const std::string& name) {
        if (samples.empty())
            return;
        std::sort(samples.begin(), samples.end());
        double sum = 0;
        for (double t : samples)
            sum += t;
        bench.counters[name + "_mean_us"] = 1e6 * sum / double(samples.size());
        bench.counters[name + "_p99_us"] =
            1e6 * samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    };
    summary(cpu, "cpu");
    summary(wall, "wall");
    bench.SetLabel(network ? "loopback" : "null outlet");
}

// The engine's own share: the same ticks without a level pass.
void sessionsOnly(benchmark::State& bench) {
    const int sessions = static_cast<int>(bench.range(0));
    const int sources = static_cast<int>(bench.range(1));
    auto state = benchShow(sources, 0);
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

BENCHMARK(sessionsOnly)->ArgsProduct({{1, 10, 50}, {16, 64, 128}})->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
