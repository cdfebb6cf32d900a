// OSC level messages over loopback: an OSCClient sending to an OSCServer, beside a plain
// blocking sendto/recvfrom loop of the same datagrams (what this machine manages without
// any of our machinery). The OSC path keeps at most kWindow datagrams in flight, within
// what a loopback socket queues, so that a lost datagram means a fault, not an overrun;
// "lost" counts them and must stay 0. The last line gives the OSC rate over the plain one.

#include "OSCCore/OSCMessage.h"
#include "osc-transport/OSCClient.h"
#include "osc-transport/OSCServer.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kWindow = 128; // a loopback socket here queues 256 datagrams at most

OSCMessage levelMessage(int i) {
    return OSCMessage("/ch/" + std::to_string(1 + i % 32) + "/mix/01/level", {0.75f});
}

void BM_PlainSendtoRecvfrom(benchmark::State& state) {
    const int receiver = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length);
    timeval deadline{5, 0};
    ::setsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);

    const Data datagram = levelMessage(0).rawData();
    std::uint8_t buffer[2048];
    std::int64_t lost = 0;
    for (auto _ : state) {
        ::sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&address),
                 sizeof address);
        if (::recvfrom(receiver, buffer, sizeof buffer, 0, nullptr, nullptr) <= 0)
            ++lost;
    }
    ::close(sender);
    ::close(receiver);
    state.SetItemsProcessed(state.iterations());
    state.counters["datagrams_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["lost"] = static_cast<double>(lost);
}

void BM_OSCClientToOSCServer(benchmark::State& state) {
    struct Counter {
        std::mutex mutex;
        std::condition_variable cv;
        std::int64_t received = 0;
        std::atomic<std::int64_t> receivedNow{0};
    };
    auto counter = std::make_shared<Counter>();
    auto server = OSCServer::make(0, OSCTimeTagMode::ignore, [counter](const OSCMessage&, const OSCTimeTag&) {
        {
            std::lock_guard lock(counter->mutex);
            counter->receivedNow.store(++counter->received, std::memory_order_relaxed);
        }
        counter->cv.notify_one();
    });
    const auto& received = counter->receivedNow;
    server->start();
    const auto port = server->boundPort();
    OSCClient client;

    std::int64_t sent = 0;
    int i = 0;
    for (auto _ : state) {
        if (sent - received.load(std::memory_order_relaxed) >= kWindow) {
            // Refill in bursts: wait for half the window to drain, not for every datagram.
            std::unique_lock lock(counter->mutex);
            if (!counter->cv.wait_for(lock, std::chrono::seconds(5),
                                      [&] { return sent - counter->received <= kWindow / 2; })) {
                state.SkipWithError("datagrams stopped arriving");
                break;
            }
        }
        client.send(levelMessage(i++), "127.0.0.1", port);
        ++sent;
    }
    std::int64_t arrived;
    {
        std::unique_lock lock(counter->mutex);
        counter->cv.wait_for(lock, std::chrono::seconds(5), [&] { return counter->received >= sent; });
        arrived = counter->received;
    }
    server->stop();

    state.SetItemsProcessed(sent);
    state.counters["datagrams_per_s"] =
        benchmark::Counter(static_cast<double>(sent), benchmark::Counter::kIsRate);
    state.counters["lost"] = static_cast<double>(sent - arrived);
}

// Collects both rates for the closing ratio line.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            auto it = run.counters.find("datagrams_per_s");
            if (it == run.counters.end() || run.run_type != Run::RT_Iteration)
                continue;
            (run.benchmark_name().find("Plain") != std::string::npos ? plainRate : oscRate) =
                it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double plainRate = 0;
    double oscRate = 0;
};

} // namespace

BENCHMARK(BM_PlainSendtoRecvfrom)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_OSCClientToOSCServer)->UseRealTime()->MinTime(1.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.plainRate > 0 && reporter.oscRate > 0)
        std::printf("OSC path %.0f datagrams/s, plain loop %.0f datagrams/s, ratio_to_plain %.2f\n",
                    reporter.oscRate, reporter.plainRate, reporter.oscRate / reporter.plainRate);
    benchmark::Shutdown();
    return 0;
}
