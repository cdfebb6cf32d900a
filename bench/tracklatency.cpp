// From a remote "/sonavant/track/N" datagram on the receive port to the level datagram that
// leaves for the desk: the whole road (receiver, hop to the main thread, level engine,
// staggered send, client pool) with a real main view over loopback sockets.
//
// TrackToLevelLatency sends one command at a time and waits for its level: p50, p99 and max
// over 1,000 commands, with the loudspeaker's stagger (its id x 10 ms) subtracted. The send
// throttle is off (as during fade-cue generation) so that every command's level goes out.
// TrackRate sends commands at a fixed rate for one second and reports whether the main
// view kept up: the last command handled, and the lag of the last quarter no larger than that
// of the first (a growing backlog shows as a growing lag). Commands that queued up behind the
// main thread merge into the newest, so handled_share may be below 1. The closing line names the
// highest rate that kept up. Console lines go to /dev/null while measuring.

#include "OSCCore/OSCMessage.h"
#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/engine/ContentView.h"
#include "bench/LatencySupport.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "support/Loopback.h"
#include "support/ShowFixtures.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::int64_t speakerID = 1;
constexpr auto stagger = 10ms * speakerID;

using benchsupport::ms;

MixingDesk benchDesk() {
    MixingDesk d = support::mixDesk("Bench", 16);
    d.OSCFloat = true;
    return d;
}

using benchsupport::ListeningDesk;

// Plays a remote control surface: sends track commands to the receive port.
class Controller {
public:
    explicit Controller(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        address_.sin_family = AF_INET;
        address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address_.sin_port = htons(port);
    }
    ~Controller() { ::close(fd_); }
    void track(std::int64_t number, float x, float y) {
        const Data bytes =
            OSCMessage("/sonavant/track/" + std::to_string(number), {OSCValue(x), OSCValue(y)}).rawData();
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address_),
                 sizeof address_);
    }

private:
    int fd_ = -1;
    sockaddr_in address_{};
};

// Console lines off while measuring; the app's cost of writing them stays in.
class QuietConsole {
public:
    QuietConsole() {
        std::cout.flush();
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::close(null);
    }
    ~QuietConsole() {
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
    }

private:
    int saved_ = -1;
};

// One main view over a show of one source and one loudspeaker, started as the app does.
struct Rig {
    Rig() : folder("tracklatency"), defaults(folder.path()) {
        platform::MainRunLoop::adoptCurrentThread();
        show = std::make_shared<AppState>(
            std::vector<Speaker>{support::mixSpeakerAt(speakerID, benchDesk(), 0, 0, {0, 600})},
            std::vector<std::shared_ptr<SoundObject>>{support::inputAt(1, benchDesk(), 1, 1, {0, 600})},
            std::vector<ObjectGroup>{}, std::vector<Snapshot>{}, std::nullopt, true, "127.0.0.1", "49900",
            true, 5.0, 0, 100, false, std::vector<std::shared_ptr<PathCue>>{}, Point{0, 600},
            ZeroPointPosition::bottomLeft, false, "0", std::nullopt, false, Point{0, 0}, 1.0,
            CanvasOrientation::top, 0.0, true, true, PanningMode::linear);
        view = std::make_unique<ContentView>(show, Binding<std::string>("127.0.0.1"),
                                             Binding<std::string>(std::to_string(desk.port())));
        view->userDefaults = &defaults;
        view->selectedDesk = benchDesk();
        view->saveState();
        view->disableOSCThrottling->set(true);
        view->onAppearLoad();
        platform::MainRunLoop::runUntil([] { return ActionDispatcher::updateOSC != nullptr; }, 10s);
        desk.waitFor(1, 5s);
        platform::MainRunLoop::runFor(50ms);
        source = show->soundObjects.get()[0];
        controller = std::make_unique<Controller>(view->oscReceiver ? view->oscReceiver->localPort() : 0);
    }
    ~Rig() { view.reset(); }

    support::TempFolder folder;
    platform::UserDefaults defaults;
    ListeningDesk desk;
    std::shared_ptr<AppState> show;
    std::unique_ptr<ContentView> view;
    std::shared_ptr<SoundObject> source;
    std::unique_ptr<Controller> controller;
};


void BM_TrackToLevelLatency(benchmark::State& state) {
    QuietConsole quiet;
    Rig rig;
    // Two places with different levels, so every command changes the level; nothing else in
    // flight before the next command.
    benchsupport::measureCommandToDatagram(
        state, rig.desk, [&](int i) { rig.controller->track(1, (i % 2) ? 1.0f : 2.5f, 1.0f); }, stagger, 1ms);
}

std::vector<std::pair<int, bool>> rateResults;

void BM_TrackRate(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    QuietConsole quiet;
    Rig rig;
    bool keptUp = false;
    double firstLag = 0, lastLag = 0, handledShare = 0, sentRate = 0;
    for (auto _ : state) {
        const int commands = rate; // one second's worth
        std::vector<Clock::time_point> sentAt(commands), handledAt(commands);
        std::vector<char> handled(commands, 0);
        int handledCount = 0;
        // x carries the command's index, so the main thread knows which one it handles.
        auto subscription = rig.source->positionMeters.observe([&](const Point& p) {
            const long index = std::lround(p.x * 1000.0) - 10'000;
            if (index >= 0 && index < commands && !handled[index]) {
                handled[index] = 1;
                handledAt[index] = Clock::now();
                ++handledCount;
            }
        });
        std::atomic<bool> done{false};
        std::thread sender([&] {
            const auto start = Clock::now();
            const auto spacing =
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
            for (int k = 0; k < commands; ++k) {
                std::this_thread::sleep_until(start + spacing * k);
                sentAt[k] = Clock::now();
                rig.controller->track(1, static_cast<float>(10.0 + k / 1000.0), 1.0f);
            }
            done = true;
        });
        // Commands for one source that queue up behind the main thread merge into the newest,
        // so not every one is seen: the last one must be, without a growing lag.
        platform::MainRunLoop::runUntil([&] { return done && handled[commands - 1]; }, 10s);
        sender.join();
        sentRate = commands / std::chrono::duration<double>(sentAt.back() - sentAt.front()).count();
        platform::MainRunLoop::runFor(20ms);

        auto averageLag = [&](int from, int to) {
            double sum = 0;
            int n = 0;
            for (int k = from; k < to; ++k)
                if (handled[k]) {
                    sum += ms(handledAt[k] - sentAt[k]);
                    ++n;
                }
            return n ? sum / n : INFINITY;
        };
        firstLag = averageLag(0, commands / 4);
        lastLag = averageLag(commands - commands / 4, commands);
        handledShare = static_cast<double>(handledCount) / commands;
        keptUp = handled[commands - 1] && lastLag <= 2 * firstLag + 1.0;
    }
    state.counters["handled_share"] = handledShare;
    state.counters["lag_first_quarter_ms"] = firstLag;
    state.counters["lag_last_quarter_ms"] = lastLag;
    state.counters["kept_up"] = keptUp ? 1 : 0;
    state.counters["sent_per_s"] = sentRate;
    // A rate the sender itself could not reach was not offered.
    rateResults.emplace_back(rate, keptUp && sentRate >= 0.95 * rate);
}

} // namespace

BENCHMARK(BM_TrackToLevelLatency)->Iterations(1000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackRate)
    ->Arg(250)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Arg(8000)
    ->Arg(16000)
    ->Arg(32000)
    ->Arg(64000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    int best = 0;
    for (const auto& [rate, keptUp] : rateResults)
        if (keptUp)
            best = std::max(best, rate);
    std::printf("Highest sustained track rate: %d commands/s\n", best);
    return 0;
}
