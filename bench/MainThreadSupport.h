#pragma once
// What the main-thread benchmarks share: a big show laid out in metres, a loopback port that
// takes datagrams and never reads them, the calling thread's processor time, and the mean
// and 99th percentile of the samples taken per event.

#include "Sonavant/model/CanvasGeometry.h"
#include "support/Loopback.h"
#include "support/ShowFixtures.h"

#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace benchsupport {

// A loopback UDP port that takes datagrams and never reads them.
struct SinkSocket {
    int fd = -1;
    std::uint16_t port = 0;
    SinkSocket() {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (fd >= 0)
            port = support::bindToLoopback(fd);
    }
    ~SinkSocket() {
        if (fd >= 0)
            ::close(fd);
    }
    SinkSocket(const SinkSocket&) = delete;
    SinkSocket& operator=(const SinkSocket&) = delete;
};

// The calling thread's processor time (user and system), in seconds. The thread's own clock:
// what getrusage or /proc report is sampled at the scheduler's tick, far coarser than one
// event. Asked of the kernel directly, whose answer on a 64-bit machine is two 64-bit words.
inline double threadSeconds() {
    static_assert(sizeof(long) == 8, "a 64-bit machine");
    struct {
        long seconds;
        long nanoseconds;
    } reading{};
    ::syscall(SYS_clock_gettime, CLOCK_THREAD_CPUTIME_ID, &reading);
    return double(reading.seconds) + 1e-9 * double(reading.nanoseconds);
}

// `sources` inputs and `speakers` mixes scattered over 20 x 20 m, drawn at 100 points a metre.
inline std::shared_ptr<AppState> scatteredShow(int sources, int speakers) {
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

// Per-event figures as counters `name`_mean_us and `name`_p50_us / `name`_p99_us.
inline void reportMicroseconds(benchmark::State& bench, std::vector<double> samples,
                               const std::string& name) {
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double t : samples)
        sum += t;
    const auto at = [&](std::size_t percent) {
        return 1e6 * samples[std::min(samples.size() - 1, samples.size() * percent / 100)];
    };
    bench.counters[name + "_mean_us"] = 1e6 * sum / double(samples.size());
    bench.counters[name + "_p50_us"] = at(50);
    bench.counters[name + "_p99_us"] = at(99);
}

} // namespace benchsupport
