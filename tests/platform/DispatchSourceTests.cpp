// Read and write sources on descriptors, driven by the epoll reactor.
#include "platform/Dispatch.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace platform;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 10s;

bool waitFor(const std::function<bool()>& pred, Duration timeout = kDeadline) {
    return MainRunLoop::runUntil(pred, timeout);
}

struct SocketPair {
    int a = -1, b = -1;
    explicit SocketPair(int type = SOCK_STREAM) {
        int fds[2];
        if (::socketpair(AF_UNIX, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
            throw std::runtime_error("socketpair");
        a = fds[0];
        b = fds[1];
    }
    ~SocketPair() {
        if (a >= 0)
            ::close(a);
        if (b >= 0)
            ::close(b);
    }
};

void writeAll(int fd, const std::string& text) {
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Serial queues drained by the pool or by a thread of their own: sources behave alike on both.
class DispatchSourceOnSerialQueue : public ::testing::TestWithParam<bool> {
protected:
    static DispatchQueuePtr makeQueue(std::string label) {
        return GetParam() ? DispatchQueue::makeSerialOnOwnThread(std::move(label))
                          : DispatchQueue::makeSerial(std::move(label));
    }
};

INSTANTIATE_TEST_SUITE_P(Threads, DispatchSourceOnSerialQueue, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "OwnThread" : "Pool"; });

TEST_P(DispatchSourceOnSerialQueue, ReadSourceIsCreatedSuspendedAndReportsBytesAvailable) {
    SocketPair pair;
    auto queue = makeQueue("read");
    auto source = DispatchSource::makeRead(pair.a, queue);
    EXPECT_EQ(source->fd(), pair.a);
    EXPECT_EQ(source->type(), DispatchSource::Type::read);
    std::mutex mutex;
    std::vector<std::size_t> reported;
    std::string received;
    source->setEventHandler([&] {
        char buffer[256];
        const ssize_t n = ::read(pair.a, buffer, sizeof buffer);
        std::lock_guard lock(mutex);
        reported.push_back(source->data());
        if (n > 0)
            received.append(buffer, static_cast<std::size_t>(n));
    });
    writeAll(pair.b, "hello");
    MainRunLoop::runFor(30ms);
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(reported.empty()) << "a new source is suspended";
    }
    source->resume();
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(mutex);
        return received == "hello";
    }));
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_EQ(reported[0], 5u);
    }
    source->cancel();
}

TEST(DispatchSource, LevelTriggeredButNeverReentrant) {
    SocketPair pair;
    // A concurrent target queue: only the source itself can keep handlers from overlapping.
    auto source = DispatchSource::makeRead(pair.a, DispatchQueue::global());
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    std::atomic<int> events{0};
    std::atomic<std::size_t> total{0};
    source->setEventHandler([&] {
        if (inside.fetch_add(1) != 0)
            overlap = true;
        events.fetch_add(1);
        char byte;
        if (::read(pair.a, &byte, 1) == 1) // one byte per event: the rest keeps it ready
            total.fetch_add(1);
        std::this_thread::sleep_for(1ms);
        inside.fetch_sub(1);
    });
    writeAll(pair.b, std::string(20, 'x'));
    source->resume();
    ASSERT_TRUE(waitFor([&] { return total.load() == 20; }));
    MainRunLoop::runFor(30ms);
    EXPECT_FALSE(overlap.load());
    EXPECT_EQ(events.load(), 20);
    source->cancel();
}

TEST_P(DispatchSourceOnSerialQueue, SuspendStopsEventsAndResumeRestartsThem) {
    SocketPair pair;
    auto queue = makeQueue("suspend");
    auto source = DispatchSource::makeRead(pair.a, queue);
    std::atomic<int> events{0};
    std::atomic<bool> drain{true};
    source->setEventHandler([&] {
        events.fetch_add(1);
        if (drain) {
            char buffer[64];
            while (::read(pair.a, buffer, sizeof buffer) > 0) {
            }
        }
    });
    source->resume();
    writeAll(pair.b, "1");
    ASSERT_TRUE(waitFor([&] { return events.load() == 1; }));
    queue->sync([&] {
        source->suspend();
        drain = false;
    });
    writeAll(pair.b, "2");
    MainRunLoop::runFor(50ms);
    EXPECT_EQ(events.load(), 1);
    queue->sync([&] { drain = true; });
    source->resume();
    ASSERT_TRUE(waitFor([&] { return events.load() == 2; }));
    source->cancel();
}

TEST_P(DispatchSourceOnSerialQueue, SuspendAfterAnEventWasQueuedHoldsThatEvent) {
    SocketPair pair;
    auto queue = makeQueue("suspend-queued");
    auto source = DispatchSource::makeRead(pair.a, queue);
    std::atomic<int> events{0};
    source->setEventHandler([&] {
        events.fetch_add(1);
        char buffer[64];
        while (::read(pair.a, buffer, sizeof buffer) > 0) {
        }
    });
    std::atomic<bool> release{false};
    queue->async([&] { // hold the queue while the event arrives, then suspend before it runs
        while (!release)
            std::this_thread::sleep_for(1ms);
        source->suspend();
    });
    source->resume();
    writeAll(pair.b, "x");
    MainRunLoop::runFor(30ms);
    release = true;
    queue->sync([] {});
    MainRunLoop::runFor(30ms);
    EXPECT_EQ(events.load(), 0);
    source->resume();
    ASSERT_TRUE(waitFor([&] { return events.load() == 1; }));
    source->cancel();
}

TEST_P(DispatchSourceOnSerialQueue, WriteSourceReportsRoomAndWaitsWhileFull) {
    SocketPair pair;
    auto queue = makeQueue("write");
    auto source = DispatchSource::makeWrite(pair.a, queue);
    EXPECT_EQ(source->type(), DispatchSource::Type::write);
    std::atomic<int> events{0};
    std::atomic<std::size_t> lastData{0};
    source->setEventHandler([&] {
        lastData = source->data();
        events.fetch_add(1);
        source->suspend(); // nothing to write: stop firing
    });
    source->resume();
    ASSERT_TRUE(waitFor([&] { return events.load() == 1; }));
    EXPECT_GT(lastData.load(), 0u);

    // Fill the socket until it refuses; a resumed write source must then stay quiet.
    const std::string chunk(4096, 'z');
    while (::write(pair.a, chunk.data(), chunk.size()) > 0) {
    }
    queue->sync([&] { source->resume(); });
    MainRunLoop::runFor(50ms);
    EXPECT_EQ(events.load(), 1);
    // Drain the other end: room again, the event comes.
    char buffer[65536];
    while (::read(pair.b, buffer, sizeof buffer) > 0) {
    }
    ASSERT_TRUE(waitFor([&] { return events.load() == 2; }));
    EXPECT_GT(lastData.load(), 0u);
    source->cancel();
}

TEST_P(DispatchSourceOnSerialQueue, ReadAndWriteSourcesOnOneDescriptorCoexist) {
    SocketPair pair;
    auto queue = makeQueue("both");
    auto reader = DispatchSource::makeRead(pair.a, queue);
    auto writer = DispatchSource::makeWrite(pair.a, queue);
    std::atomic<int> reads{0}, writes{0};
    reader->setEventHandler([&] {
        char buffer[64];
        while (::read(pair.a, buffer, sizeof buffer) > 0) {
        }
        reads.fetch_add(1);
    });
    writer->setEventHandler([&] {
        writes.fetch_add(1);
        writer->suspend();
    });
    reader->resume();
    writer->resume();
    ASSERT_TRUE(waitFor([&] { return writes.load() == 1; }));
    writeAll(pair.b, "ping");
    ASSERT_TRUE(waitFor([&] { return reads.load() == 1; }));
    // Cancelling the writer leaves the reader working.
    writer->cancel();
    writeAll(pair.b, "pong");
    ASSERT_TRUE(waitFor([&] { return reads.load() == 2; }));
    queue->sync([&] { writer->resume(); }); // resume after cancel is harmless
    MainRunLoop::runFor(20ms);
    EXPECT_EQ(writes.load(), 1);
    reader->cancel();
}

TEST_P(DispatchSourceOnSerialQueue, DescriptorClosesOnlyAfterBothSourcesAreCancelled) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    const int fd = fds[0];
    auto queue = makeQueue("close-after-both");
    auto reader = DispatchSource::makeRead(fd, queue);
    auto writer = DispatchSource::makeWrite(fd, queue);
    auto remaining = std::make_shared<std::atomic<int>>(2);
    std::atomic<bool> closed{false};
    auto closeWhenLast = [remaining, fd, &closed] {
        if (remaining->fetch_sub(1) == 1) {
            ::close(fd);
            closed = true;
        }
    };
    reader->setCancelHandler(closeWhenLast);
    writer->setCancelHandler(closeWhenLast);
    reader->resume();
    queue->async([&] { reader->cancel(); });
    MainRunLoop::runFor(30ms);
    EXPECT_FALSE(closed.load());
    writer->cancel(); // still suspended: its cancel completes anyway
    ASSERT_TRUE(waitFor([&] { return closed.load(); }));
    ::close(fds[1]);
}

TEST(DispatchSource, CancelHandlerRunsOnceAfterTheLastEvent) {
    SocketPair pair;
    auto queue = DispatchQueue::global(QoS::userInitiated);
    auto source = DispatchSource::makeRead(pair.a, queue);
    std::mutex mutex;
    std::vector<std::string> log;
    std::atomic<bool> inHandler{false}, release{false};
    source->setEventHandler([&] {
        {
            std::lock_guard lock(mutex);
            log.push_back("event");
        }
        inHandler = true;
        while (!release)
            std::this_thread::sleep_for(1ms);
        char buffer[64];
        while (::read(pair.a, buffer, sizeof buffer) > 0) {
        }
    });
    source->setCancelHandler([&] {
        std::lock_guard lock(mutex);
        log.push_back("cancel");
    });
    source->resume();
    writeAll(pair.b, "data");
    ASSERT_TRUE(waitFor([&] { return inHandler.load(); }));
    source->cancel();
    EXPECT_TRUE(source->isCancelled());
    writeAll(pair.b, "more"); // ready again, but cancelled
    MainRunLoop::runFor(20ms);
    release = true;
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(mutex);
        return !log.empty() && log.back() == "cancel";
    }));
    MainRunLoop::runFor(30ms);
    std::lock_guard lock(mutex);
    EXPECT_EQ(log, (std::vector<std::string>{"event", "cancel"}));
}

TEST_P(DispatchSourceOnSerialQueue, NoEventReachesACancelledSourceEvenWhenTheDescriptorIsReused) {
    auto queue = makeQueue("reuse");
    std::atomic<int> lateEvents{0};
    std::atomic<int> newEvents{0};
    int reusedNumbers = 0;
    for (int round = 0; round < 200; ++round) {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
        const int oldFd = fds[0];
        auto cancelled = std::make_shared<bool>(false); // touched on the queue only
        auto closed = std::make_shared<std::atomic<bool>>(false);
        auto source = DispatchSource::makeRead(oldFd, queue);
        source->setEventHandler([cancelled, &lateEvents] {
            if (*cancelled)
                lateEvents.fetch_add(1); // must never happen
            // Read nothing: the descriptor stays ready, so events keep coming until cancel.
        });
        source->setCancelHandler([oldFd, closed] {
            ::close(oldFd);
            closed->store(true);
        });
        source->resume();
        ::write(fds[1], "x", 1);
        if (round % 2)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        queue->sync([&] {
            source->cancel();
            *cancelled = true;
        });
        ASSERT_TRUE(waitFor([&] { return closed->load(); }));

        // The number comes back at once for a new descriptor with its own source.
        int again[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, again), 0);
        if (again[0] == oldFd || again[1] == oldFd)
            ++reusedNumbers;
        const int newFd = again[0] == oldFd ? again[0] : again[1] == oldFd ? again[1] : again[0];
        const int peer = newFd == again[0] ? again[1] : again[0];
        auto fresh = DispatchSource::makeRead(newFd, queue);
        auto freshSeen = std::make_shared<std::atomic<bool>>(false);
        fresh->setEventHandler([newFd, freshSeen, &newEvents] {
            char buffer[16];
            while (::read(newFd, buffer, sizeof buffer) > 0) {
            }
            if (!freshSeen->exchange(true))
                newEvents.fetch_add(1);
        });
        auto freshClosed = std::make_shared<std::atomic<bool>>(false);
        fresh->setCancelHandler([newFd, peer, freshClosed] {
            ::close(newFd);
            ::close(peer);
            freshClosed->store(true);
        });
        fresh->resume();
        ::write(peer, "y", 1);
        ASSERT_TRUE(waitFor([&] { return freshSeen->load(); }));
        fresh->cancel();
        ASSERT_TRUE(waitFor([&] { return freshClosed->load(); }));
        ::close(fds[1]);
    }
    queue->sync([] {});
    EXPECT_EQ(lateEvents.load(), 0);
    EXPECT_EQ(newEvents.load(), 200);
    EXPECT_GT(reusedNumbers, 100); // the scenario really reused descriptor numbers
}

TEST_P(DispatchSourceOnSerialQueue, PipeEndOfStreamReportsZero) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    auto queue = makeQueue("pipe");
    auto source = DispatchSource::makeRead(fds[0], queue);
    std::mutex mutex;
    std::vector<std::size_t> data;
    std::atomic<bool> eof{false}, closed{false};
    source->setEventHandler([&] {
        const std::size_t available = source->data();
        {
            std::lock_guard lock(mutex);
            data.push_back(available);
        }
        if (available == 0) {
            // Told last: the test's locals are gone once it sees it.
            source->cancel();
            eof = true;
            return;
        }
        char buffer[64];
        while (::read(fds[0], buffer, sizeof buffer) > 0) {
        }
    });
    source->setCancelHandler([&] {
        ::close(fds[0]);
        closed = true;
    });
    source->resume();
    ASSERT_EQ(::write(fds[1], "abc", 3), 3);
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(mutex);
        return !data.empty();
    }));
    ::close(fds[1]);
    ASSERT_TRUE(waitFor([&] { return eof.load() && closed.load(); }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(data.front(), 3u);
    EXPECT_EQ(data.back(), 0u);
}

TEST_P(DispatchSourceOnSerialQueue, EmptyDatagramIsNotEndOfStream) {
    SocketPair pair(SOCK_DGRAM);
    auto queue = makeQueue("dgram");
    auto source = DispatchSource::makeRead(pair.a, queue);
    std::atomic<std::size_t> reported{999};
    source->setEventHandler([&] {
        reported = source->data();
        char buffer[16];
        ::recv(pair.a, buffer, sizeof buffer, 0);
        source->suspend();
    });
    source->resume();
    ASSERT_EQ(::send(pair.b, "", 0, 0), 0);
    ASSERT_TRUE(waitFor([&] { return reported.load() != 999; }));
    EXPECT_GT(reported.load(), 0u);
    source->cancel();
}

TEST(DispatchSource, EventsOnTheMainQueueRunWhenTheLoopRuns) {
    SocketPair pair;
    auto source = DispatchSource::makeRead(pair.a, DispatchQueue::main());
    bool seen = false; // main thread only
    bool onMain = false;
    source->setEventHandler([&] {
        onMain = MainRunLoop::isMainThread() && DispatchQueue::main()->isCurrent();
        seen = true;
        char buffer[16];
        while (::read(pair.a, buffer, sizeof buffer) > 0) {
        }
    });
    bool cancelled = false;
    source->setCancelHandler([&] { cancelled = true; });
    source->resume();
    writeAll(pair.b, "m");
    ASSERT_TRUE(waitFor([&] { return seen; }));
    EXPECT_TRUE(onMain);
    source->cancel();
    ASSERT_TRUE(waitFor([&] { return cancelled; }));
}

TEST_P(DispatchSourceOnSerialQueue, ListeningSocketReportsPendingConnections) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    auto queue = makeQueue("accept");
    auto source = DispatchSource::makeRead(listener, queue);
    std::atomic<int> accepted{0};
    source->setEventHandler([&] {
        EXPECT_GT(source->data(), 0u);
        for (std::size_t i = 0; i < source->data(); ++i) {
            const int child = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (child < 0)
                break;
            ::close(child);
            accepted.fetch_add(1);
        }
    });
    std::atomic<bool> closed{false};
    source->setCancelHandler([&] {
        ::close(listener);
        closed = true;
    });
    source->resume();
    std::vector<int> clients;
    for (int i = 0; i < 3; ++i) {
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        clients.push_back(client);
    }
    ASSERT_TRUE(waitFor([&] { return accepted.load() == 3; }));
    source->cancel();
    ASSERT_TRUE(waitFor([&] { return closed.load(); }));
    for (int client : clients)
        ::close(client);
}

TEST_P(DispatchSourceOnSerialQueue, RegularFileIsAlwaysReadable) {
    char path[] = "/tmp/sonavant-dispatch-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::unlink(path);
    ASSERT_EQ(::write(fd, "12345", 5), 5);
    ::lseek(fd, 0, SEEK_SET);
    auto queue = makeQueue("file");
    auto source = DispatchSource::makeRead(fd, queue);
    std::atomic<std::size_t> reported{999};
    source->setEventHandler([&] {
        reported = source->data();
        source->cancel();
    });
    std::atomic<bool> closed{false};
    source->setCancelHandler([&] {
        ::close(fd);
        closed = true;
    });
    source->resume();
    ASSERT_TRUE(waitFor([&] { return closed.load(); }));
    EXPECT_EQ(reported.load(), 5u);
}

} // namespace
