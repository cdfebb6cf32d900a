// Throughput of the desk send entry: level messages through sendOSCMessage (the sender
// queue and the pool of ten clients) to a loopback listener that counts what arrives.
// "lost" must stay 0.

#include "Sonavant/OSC/OSCClientPool.h"
#include "support/Loopback.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Counts datagrams on 127.0.0.1 at an ephemeral port.
class CountingListener {
public:
    CountingListener() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int size = 16 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        port_ = support::bindToLoopback(fd_);
        thread_ = std::thread([this] {
            char buffer[2048];
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 50) > 0)
                    while (::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) >= 0)
                        count_.fetch_add(1, std::memory_order_relaxed);
            }
        });
    }
    ~CountingListener() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }
    std::uint64_t count() const { return count_.load(); }
    bool waitFor(std::uint64_t target, std::chrono::milliseconds timeout) const {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (count() < target) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<std::uint64_t> count_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void BM_SendOSCMessage(benchmark::State& state) {
    CountingListener listener;
    const auto batch = static_cast<std::uint64_t>(state.range(0));
    std::uint64_t sent = 0;
    for (auto _ : state) {
        for (std::uint64_t i = 0; i < batch; ++i)
            sendOSCMessage(true, "/ch/12/mix/3/level", "127.0.0.1", listener.port(),
                           static_cast<int>(i % 100));
        sent += batch;
        if (!listener.waitFor(sent, std::chrono::seconds(10))) {
            state.SkipWithError("messages lost");
            break;
        }
    }
    listener.waitFor(sent, std::chrono::seconds(1));
    state.SetItemsProcessed(static_cast<std::int64_t>(sent));
    state.counters["lost"] = static_cast<double>(sent - std::min(sent, listener.count()));
}

BENCHMARK(BM_SendOSCMessage)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
