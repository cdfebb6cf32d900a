// Receiving once and continuously, the receive filter, both families, connecting, multicast.

#include "UdpTestSupport.h"
#include "sockets/UdpSocketEngine.h"
#include "support/Eventually.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <thread>

#include <linux/sock_diag.h>
#include <sys/socket.h>

using namespace udptest;

namespace {

// A receiver bound to port 0 on all interfaces.
struct Receiver : EngineWithDelegate {
    Receiver() {
        std::optional<SocketError> error;
        bound = engine->bindToPort(0, &error);
        port = engine->localPort();
    }
    bool bound = false;
    std::uint16_t port = 0;
};

} // namespace

TEST(UdpSocketEngineReceive, ReceivingNeedsSockets) {
    EngineWithDelegate e;
    std::optional<SocketError> error;
    EXPECT_FALSE(e.engine->beginReceiving(&error));
    EXPECT_EQ(error->localizedDescription(),
              "Must bind socket before you can receive data. You can do this "
              "explicitly via bind, or implicitly via connect or by sending data.");
}

TEST(UdpSocketEngineReceive, ContinuouslyOnBothFamiliesWithEmptyDatagrams) {
    Receiver r;
    ASSERT_TRUE(r.bound);
    ASSERT_TRUE(r.engine->beginReceiving());
    ASSERT_TRUE(r.engine->beginReceiving()); // harmless twice
    RawUdp sender4(AF_INET), sender6(AF_INET6);
    ASSERT_TRUE(sender4.sendTo(r.port, bytes("four")));
    ASSERT_TRUE(sender6.sendTo(r.port, bytes("six")));
    ASSERT_TRUE(sender4.sendTo(r.port, Bytes{})); // empty: data, not a close
    ASSERT_TRUE(sender4.sendTo(r.port, bytes("after empty")));
    auto& d = *r.delegate;
    ASSERT_TRUE(d.waitFor([&] { return d.received.size() == 4; }));

    int fromIPv6 = 0, empty = 0;
    std::string lastIPv4;
    for (const auto& got : d.received) {
        if (UdpSocketEngine::isIPv4Address(got.address))
            lastIPv4 = text(got.data);
        fromIPv6 += UdpSocketEngine::isIPv6Address(got.address);
        empty += got.data.empty();
        if (UdpSocketEngine::isIPv6Address(got.address)) {
            EXPECT_EQ(text(got.data), "six");
            EXPECT_EQ(UdpSocketEngine::hostFromAddress(got.address), "::1");
            EXPECT_EQ(UdpSocketEngine::portFromAddress(got.address), sender6.port());
        }
    }
    EXPECT_EQ(fromIPv6, 1);
    EXPECT_EQ(empty, 1);
    EXPECT_EQ(lastIPv4, "after empty");
    EXPECT_TRUE(d.closed.empty());
    EXPECT_FALSE(r.engine->isClosed());
}

TEST(UdpSocketEngineReceive, ManyDatagramsArriveInOrder) {
    Receiver r;
    ASSERT_TRUE(r.engine->beginReceiving());
    RawUdp sender;
    constexpr int kCount = 150; // several read passes, within what loopback queues
    for (int i = 0; i < kCount; ++i)
        ASSERT_TRUE(sender.sendTo(r.port, bytes(std::to_string(i))));
    auto& d = *r.delegate;
    ASSERT_TRUE(d.waitFor([&] { return d.received.size() == kCount; }));
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(text(d.received[i].data), std::to_string(i));
}

// A delegate that cannot keep up: reading stops at the backlog limit, the rest waits in the
// kernel, and every datagram arrives, in order, once delivery goes on. The datagrams wait in
// the kernel before reading begins, so each read takes a whole batch of 64: the backlog then
// holds exactly the batches read until the limit was reached. Limits of 1 to 3 bytes resume
// only when the backlog is empty.
TEST(UdpSocketEngineReceive, ReadingStopsAtTheBacklogLimitAndResumesWithNothingLost) {
    constexpr std::size_t kSize = 16; // each counts 16 + 96 against the backlog
    constexpr int kCount = 2 * 64 + 16;
    struct Case {
        std::size_t limit;
        std::size_t backlogAtStop;
    };
    for (const Case c : {Case{1, 7168}, Case{2, 7168}, Case{3, 7168}, Case{7168, 7168}, Case{7169, 14336}}) {
        SCOPED_TRACE("limit " + std::to_string(c.limit));
        Receiver r;
        ASSERT_TRUE(r.bound);
        r.engine->setReceiveBacklogLimit(c.limit);
        int fd = -1;
        r.engine->performBlock([&] { fd = r.engine->socket4FD(); });
        // The kernel's count of the bytes it holds for the socket grows with each arrival.
        auto kernelHolds = [fd] {
            std::uint32_t memory[SK_MEMINFO_VARS] = {};
            socklen_t length = sizeof memory;
            ::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, memory, &length);
            return memory[SK_MEMINFO_RMEM_ALLOC];
        };
        RawUdp sender;
        auto datagram = [](int i) {
            Bytes data(kSize, '.');
            const std::string number = std::to_string(i);
            std::copy(number.begin(), number.end(), data.begin());
            return data;
        };
        for (int i = 0; i < kCount; ++i) {
            const auto before = kernelHolds();
            ASSERT_TRUE(sender.sendTo(r.port, datagram(i)));
            ASSERT_TRUE(support::eventually([&] { return kernelHolds() > before; }, kDeadline)) << i;
        }

        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        r.delegateQueue->async([released] { released.wait(); }); // delivery held up
        ASSERT_TRUE(r.engine->beginReceiving());
        ASSERT_TRUE(
            support::eventually([&] { return r.engine->receiveBacklogBytes() >= c.limit; }, kDeadline));
        r.engine->performBlock([] {}); // the reading pass has ended
        EXPECT_EQ(r.engine->receiveBacklogBytes(), c.backlogAtStop) << "reading went on past the limit";

        release.set_value();
        auto& d = *r.delegate;
        ASSERT_TRUE(d.waitFor([&] { return d.received.size() == kCount; })) << "reading did not resume";
        for (int i = 0; i < kCount; ++i)
            EXPECT_EQ(d.received[i].data, datagram(i)) << i;
        EXPECT_TRUE(support::eventually([&] { return r.engine->receiveBacklogBytes() == 0; }, kDeadline));
    }
}

TEST(UdpSocketEngineReceive, OnceThenPauseThenAgain) {
    Receiver r;
    RawUdp sender;
    ASSERT_TRUE(r.engine->receiveOnce());
    ASSERT_TRUE(sender.sendTo(r.port, bytes("1")));
    ASSERT_TRUE(sender.sendTo(r.port, bytes("2")));
    auto& d = *r.delegate;
    ASSERT_TRUE(d.waitFor([&] { return d.received.size() == 1; }));
    r.engine->performBlock([] {});
    r.drainDelegateQueue();
    EXPECT_EQ(r.delegate->snapshot(d.received).size(), 1u);

    ASSERT_TRUE(r.engine->receiveOnce());
    ASSERT_TRUE(d.waitFor([&] { return d.received.size() == 2; }));
    EXPECT_EQ(text(d.received[1].data), "2");

    ASSERT_TRUE(r.engine->beginReceiving());
    r.engine->pauseReceiving();
    r.engine->performBlock([] {}); // the pause is asynchronous: let it take effect
    ASSERT_TRUE(sender.sendTo(r.port, bytes("3")));
    // Give the datagram every chance to be (wrongly) delivered before looking.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    r.engine->performBlock([] {});
    r.drainDelegateQueue();
    EXPECT_EQ(r.delegate->snapshot(d.received).size(), 2u);
    ASSERT_TRUE(r.engine->beginReceiving());
    ASSERT_TRUE(d.waitFor([&] { return d.received.size() == 3; }));
    EXPECT_EQ(text(d.received[2].data), "3");
}

TEST(UdpSocketEngineReceive, FilterRefusesAndLeavesContext) {
    for (bool async : {false, true}) {
        Receiver r;
        auto filterQueue = platform::DispatchQueue::makeSerial("udp.test.rfilter");
        r.engine->setReceiveFilter(
            [](const Bytes& data, const Bytes&, std::any& context) {
                context = std::string("seen ") + text(data);
                return data.empty() || data[0] != 'x';
            },
            filterQueue, async);
        ASSERT_TRUE(r.engine->receiveOnce());
        RawUdp sender;
        ASSERT_TRUE(sender.sendTo(r.port, bytes("xno")));
        ASSERT_TRUE(sender.sendTo(r.port, bytes("yes")));
        ASSERT_TRUE(sender.sendTo(r.port, bytes("later")));
        auto& d = *r.delegate;
        ASSERT_TRUE(d.waitFor([&] { return d.received.size() == 1; }));
        EXPECT_EQ(text(d.received[0].data), "yes");
        EXPECT_EQ(std::any_cast<std::string>(d.received[0].context), "seen yes");
        ASSERT_TRUE(r.engine->beginReceiving());
        ASSERT_TRUE(d.waitFor([&] { return d.received.size() == 2; }));
        EXPECT_EQ(text(d.received[1].data), "later");
    }
}

TEST(UdpSocketEngineReceive, LongDatagramIsCutToTheReceiveSize) {
    Receiver r;
    r.engine->setMaxReceiveIPv4BufferSize(8);
    ASSERT_TRUE(r.engine->beginReceiving());
    RawUdp sender;
    ASSERT_TRUE(sender.sendTo(r.port, bytes("0123456789abcdef")));
    auto& d = *r.delegate;
    ASSERT_TRUE(d.waitFor([&] { return d.received.size() == 1; }));
    EXPECT_EQ(text(d.received[0].data), "01234567");
}

TEST(UdpSocketEngineReceive, ConnectedSocketTalksToItsPeerOnly) {
    EngineWithDelegate e;
    RawUdp peer, stranger;
    std::optional<SocketError> error;
    ASSERT_TRUE(e.engine->connectToHost("127.0.0.1", peer.port(), &error));
    auto& d = *e.delegate;
    ASSERT_TRUE(d.waitFor([&] { return d.connected.size() == 1; }));
    EXPECT_TRUE(e.engine->isConnected());
    EXPECT_EQ(e.engine->connectedHost(), "127.0.0.1");
    EXPECT_EQ(e.engine->connectedPort(), peer.port());
    EXPECT_FALSE(e.engine->isIPv6());
    EXPECT_FALSE(e.engine->connectToHost("127.0.0.1", peer.port(), &error));
    EXPECT_EQ(error->localizedDescription(), "Cannot connect a socket more than once.");

    e.engine->sendData(bytes("to peer"), 1.0, 1);
    e.engine->sendData(bytes("elsewhere"), "127.0.0.1", stranger.port(), 1.0, 2);
    std::uint16_t enginePort = 0;
    auto got = peer.receive(&enginePort);
    ASSERT_TRUE(got);
    EXPECT_EQ(text(*got), "to peer");
    ASSERT_TRUE(d.waitFor([&] { return d.notSent.size() == 1; }));
    EXPECT_EQ(d.notSent[0].second->localizedDescription(),
              "Cannot specify destination of packet for connected socket");

    ASSERT_TRUE(e.engine->beginReceiving());
    ASSERT_TRUE(stranger.sendTo(enginePort, bytes("stranger"))); // the system may drop it already
    ASSERT_TRUE(peer.sendTo(enginePort, bytes("reply")));
    ASSERT_TRUE(d.waitFor([&] { return !d.received.empty(); }));
    EXPECT_EQ(text(d.received[0].data), "reply");
    e.drainDelegateQueue();
    EXPECT_EQ(e.delegate->snapshot(d.received).size(), 1u);

    EngineWithDelegate unresolvable;
    ASSERT_TRUE(unresolvable.engine->connectToHost("no-such-host.invalid", 9, &error));
    ASSERT_TRUE(
        unresolvable.delegate->waitFor([&] { return unresolvable.delegate->notConnected.size() == 1; }, 30s));
    EXPECT_FALSE(unresolvable.engine->isConnected());
}

TEST(UdpSocketEngineReceive, MulticastPreconditions) {
    EngineWithDelegate e;
    std::optional<SocketError> error;
    EXPECT_FALSE(e.engine->joinMulticastGroup("239.255.0.1", &error));
    EXPECT_EQ(error->localizedDescription(), "Must bind a socket before joining a multicast group.");
    ASSERT_TRUE(e.engine->bindToPort(0, std::string("127.0.0.1")));
    EXPECT_FALSE(e.engine->joinMulticastGroup("not-a-group", &error));
    EXPECT_EQ(error->localizedDescription(), "Unknown group. Specify valid group IP address.");
    EXPECT_FALSE(e.engine->joinMulticastGroup("ff02::1234", std::string("127.0.0.1"), &error));
    EXPECT_EQ(error->localizedDescription(), "Socket, group, and interface do not have matching IP versions");
}
