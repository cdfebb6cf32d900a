// Latency of one remote command: from the datagram leaving a peer on loopback to its
// callback's work running on the main thread (the receiver's dispatch queue, then the main
// queue), over 1,000 track commands sent one at a time. Reports p50 and p99.

#include "OSCCore/OSCMessage.h"
#include "Sonavant/OSC/OSCReceiver.h"
#include "platform/RunLoop.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void BM_ReceiveToMainThread(benchmark::State& state) {
    platform::MainRunLoop::adoptCurrentThread();
    auto receiver = OSCReceiver::make(0);
    std::optional<Clock::time_point> handled;
    receiver->onTrackPosition = [&](std::int64_t, double, double) {
        platform::DispatchQueue::main()->async([&] { handled = Clock::now(); });
    };
    receiver->start();

    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(receiver->localPort());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto bytes = OSCMessage("/sonavant/track/1", {OSCValue(1.5f), OSCValue(-2.0f)}).rawData();

    std::vector<double> latencies;
    for (auto _ : state) {
        latencies.clear();
        for (int i = 0; i < 1000; ++i) {
            handled.reset();
            const auto sent = Clock::now();
            ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            if (!platform::MainRunLoop::runUntil([&] { return handled.has_value(); },
                                                 std::chrono::seconds(2))) {
                state.SkipWithError("command lost");
                break;
            }
            latencies.push_back(std::chrono::duration<double, std::micro>(*handled - sent).count());
        }
    }
    ::close(fd);
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) {
        return latencies[std::min(latencies.size() - 1, std::size_t(q * latencies.size()))];
    };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = latencies.back();
}

BENCHMARK(BM_ReceiveToMainThread)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
