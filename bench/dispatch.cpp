// Dispatch costs the socket engines pay: a hop onto a serial queue, a sync round trip, and
// a reactor round trip (write on one end of a socket pair, read event on the other).
#include "platform/Dispatch.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include <sys/socket.h>
#include <unistd.h>

using namespace platform;

namespace {

void BM_SerialAsyncThroughput(benchmark::State& state) {
    auto queue = DispatchQueue::makeSerial("bench.async");
    const int batch = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::atomic<int> done{0};
        for (int i = 0; i < batch; ++i)
            queue->async([&] { done.fetch_add(1, std::memory_order_relaxed); });
        queue->sync([] {});
        benchmark::DoNotOptimize(done.load());
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_SerialAsyncThroughput)->Arg(1000);

void BM_SerialSyncRoundTrip(benchmark::State& state) {
    auto queue = DispatchQueue::makeSerial("bench.sync");
    int value = 0;
    for (auto _ : state)
        queue->sync([&] { ++value; });
    benchmark::DoNotOptimize(value);
}
BENCHMARK(BM_SerialSyncRoundTrip);

void BM_AsyncHopLatency(benchmark::State& state) {
    auto queue = DispatchQueue::makeSerial("bench.hop");
    std::mutex mutex;
    std::condition_variable cv;
    for (auto _ : state) {
        bool done = false;
        queue->async([&] {
            std::lock_guard lock(mutex);
            done = true;
            cv.notify_one();
        });
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return done; });
    }
}
BENCHMARK(BM_AsyncHopLatency)->UseRealTime();

void BM_ReactorRoundTrip(benchmark::State& state) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
        state.SkipWithError("socketpair");
        return;
    }
    auto queue = DispatchQueue::makeSerial("bench.reactor");
    auto source = DispatchSource::makeRead(fds[0], queue);
    std::mutex mutex;
    std::condition_variable cv;
    std::uint64_t events = 0;
    source->setEventHandler([&] {
        char buffer[64];
        while (::read(fds[0], buffer, sizeof buffer) > 0) {
        }
        std::lock_guard lock(mutex);
        ++events;
        cv.notify_one();
    });
    std::atomic<bool> closed{false};
    source->setCancelHandler([&] { closed = true; });
    source->resume();
    std::uint64_t expected = 0;
    for (auto _ : state) {
        ++expected;
        if (::write(fds[1], "x", 1) != 1)
            break;
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return events >= expected; });
    }
    source->cancel();
    while (!closed)
        ::usleep(100);
    ::close(fds[0]);
    ::close(fds[1]);
}
BENCHMARK(BM_ReactorRoundTrip)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
