// The send queue: order, resolution, address choice, filter, waiting for room, timeouts.

#include "UdpTestSupport.h"
#include "sockets/UdpSocketEngine.h"
#include "sockets/UdpSocketEngineInternal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <future>

using namespace udptest;

namespace {

// Plays a socket without room: refuses `refusals` sends (forever when negative) with `error`.
class RefusingSendTo {
public:
    RefusingSendTo(int refusals, int error) {
        refusalsLeft.store(refusals);
        errorToGive.store(error);
        original = udp_engine::sendToFunction.exchange(&refuse);
    }
    ~RefusingSendTo() { udp_engine::sendToFunction.store(original); }

    static inline std::atomic<int> refusalsLeft{0};
    static inline std::atomic<int> errorToGive{0};
    static inline std::atomic<int> calls{0};

private:
    static long refuse(int fd, const void* buffer, std::size_t length, int flags, const sockaddr* address,
                       socklen_t addressLength) {
        ++calls;
        const int left = refusalsLeft.load();
        if (left != 0) {
            if (left > 0)
                --refusalsLeft;
            errno = errorToGive.load();
            return -1;
        }
        return ::sendto(fd, buffer, length, flags, address, addressLength);
    }
    udp_engine::SendToFunction original;
};

} // namespace

TEST(UdpSocketEngineSend, UnboundObjectSendsInOrderAndLearnsItsPort) {
    EngineWithDelegate e;
    RawUdp receiver;
    // The first host needs the resolver; the later ones do not, and must still wait their turn.
    e.engine->sendData(bytes("one"), "127.1", receiver.port(), 1.0, 1);
    for (int i = 2; i <= 20; ++i)
        e.engine->sendData(bytes(std::to_string(i)), "127.0.0.1", receiver.port(), 1.0, i);
    e.engine->sendData(Bytes{}, "127.0.0.1", receiver.port(), 1.0, 99); // empty: ignored

    std::uint16_t fromPort = 0;
    auto first = receiver.receive(&fromPort);
    ASSERT_TRUE(first);
    EXPECT_EQ(text(*first), "one");
    for (int i = 2; i <= 20; ++i) {
        auto next = receiver.receive();
        ASSERT_TRUE(next);
        EXPECT_EQ(text(*next), std::to_string(i));
    }
    ASSERT_TRUE(e.delegate->waitFor([&] { return e.delegate->sent.size() == 20; }));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(e.delegate->sent[i], i + 1);
    EXPECT_EQ(e.engine->localPort(), fromPort);
    e.drainDelegateQueue();
    EXPECT_TRUE(e.delegate->snapshot(e.delegate->notSent).empty());
}

TEST(UdpSocketEngineSend, AddressChoiceFollowsPreferenceAndBinding) {
    RawUdp receiver4(AF_INET), receiver6(AF_INET6);
    {
        EngineWithDelegate neutral; // "localhost" lists IPv4 first
        neutral.engine->sendData(bytes("v4"), "localhost", receiver4.port(), 1.0, 1);
        auto got = receiver4.receive();
        ASSERT_TRUE(got);
        EXPECT_EQ(text(*got), "v4");
    }
    {
        EngineWithDelegate preferIPv6;
        preferIPv6.engine->setPreferIPv6();
        preferIPv6.engine->sendData(bytes("v6"), "localhost", receiver6.port(), 1.0, 1);
        auto got = receiver6.receive();
        ASSERT_TRUE(got);
        EXPECT_EQ(text(*got), "v6");
    }
    {
        EngineWithDelegate boundToIPv4;
        ASSERT_TRUE(boundToIPv4.engine->bindToPort(0, std::string("127.0.0.1")));
        boundToIPv4.engine->sendData(bytes("x"), "::1", receiver6.port(), 1.0, 7);
        boundToIPv4.engine->setPreferIPv6(); // IPv6 is deactivated: "localhost" must still go out
        boundToIPv4.engine->sendData(bytes("still v4"), "localhost", receiver4.port(), 1.0, 8);
        auto& d = *boundToIPv4.delegate;
        ASSERT_TRUE(d.waitFor([&] { return d.notSent.size() == 1 && d.sent.size() == 1; }));
        EXPECT_EQ(d.notSent[0].first, 7);
        EXPECT_EQ(d.notSent[0].second->code, 5);
        EXPECT_EQ(d.notSent[0].second->localizedDescription(),
                  "IPv6 has been deactivated due to bind/connect, and DNS lookup found no IPv4 address(es).");
        auto got = receiver4.receive();
        ASSERT_TRUE(got);
        EXPECT_EQ(text(*got), "still v4");
    }
    {
        EngineWithDelegate ipv4Disabled;
        ipv4Disabled.engine->setIPv4Enabled(false);
        ipv4Disabled.engine->sendData(bytes("x"), "127.0.0.1", receiver4.port(), 1.0, 3);
        auto& d = *ipv4Disabled.delegate;
        ASSERT_TRUE(d.waitFor([&] { return d.notSent.size() == 1; }));
        EXPECT_EQ(d.notSent[0].second->localizedDescription(),
                  "IPv4 has been disabled and DNS lookup found no IPv6 address(es).");
    }
}

TEST(UdpSocketEngineSend, BadDestinationsAreReportedAndTheQueueGoesOn) {
    EngineWithDelegate e;
    RawUdp receiver;
    e.engine->sendData(bytes("a"), "", receiver.port(), 1.0, 1);
    e.engine->sendData(bytes("b"), "no-such-host.invalid", receiver.port(), 1.0, 2);
    e.engine->sendData(bytes("c"), 1.0, 3); // no destination on an unconnected socket
    e.engine->sendDataToAddress(bytes("d"), Bytes(16, 0), 1.0, 4);
    e.engine->sendData(bytes("e"), "127.0.0.1", receiver.port(), 1.0, 5);
    auto& d = *e.delegate;
    ASSERT_TRUE(d.waitFor([&] { return d.notSent.size() == 4 && d.sent.size() == 1; }, 30s));
    EXPECT_EQ(d.notSent[0].first, 1);
    EXPECT_EQ(d.notSent[0].second->code, 2);
    EXPECT_EQ(d.notSent[0].second->localizedDescription(),
              "The host param is nil. Should be domain name or IP address string.");
    EXPECT_EQ(d.notSent[1].first, 2);
    EXPECT_EQ(d.notSent[1].second->domain, SocketError::netDBDomain);
    EXPECT_EQ(d.notSent[2].second->localizedDescription(),
              "You must specify destination of packet for a non-connected socket");
    EXPECT_EQ(d.notSent[3].second->code, 2);
    auto got = receiver.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(text(*got), "e");
}

TEST(UdpSocketEngineSend, SendFilterVetoCountsAsSent) {
    for (bool async : {false, true}) {
        EngineWithDelegate e;
        RawUdp receiver;
        auto filterQueue = platform::DispatchQueue::makeSerial("udp.test.filter");
        e.engine->setSendFilter(
            [](const Bytes& data, const Bytes& address, std::int64_t) {
                return data[0] != 'x' && UdpSocketEngine::hostFromAddress(address) == "127.0.0.1";
            },
            filterQueue, async);
        e.engine->sendData(bytes("xdrop"), "127.0.0.1", receiver.port(), 1.0, 1);
        e.engine->sendData(bytes("keep"), "127.0.0.1", receiver.port(), 1.0, 2);
        auto got = receiver.receive();
        ASSERT_TRUE(got);
        EXPECT_EQ(text(*got), "keep");
        ASSERT_TRUE(e.delegate->waitFor([&] { return e.delegate->sent.size() == 2; }));
        EXPECT_EQ(e.delegate->sent, (std::vector<std::int64_t>{1, 2}));
        EXPECT_FALSE(receiver.hasPending());
    }
}

TEST(UdpSocketEngineSend, RefusedSendWaitsForRoomWithoutTimeout) {
    EngineWithDelegate e;
    RawUdp receiver;
    ASSERT_TRUE(e.engine->bindToPort(0, std::string("127.0.0.1")));
    {
        RefusingSendTo full(3, ENOBUFS);
        e.engine->sendData(bytes("late"), "127.0.0.1", receiver.port(), -1.0, 1);
        e.engine->sendData(bytes("next"), "127.0.0.1", receiver.port(), -1.0, 2);
        auto first = receiver.receive();
        auto second = receiver.receive();
        ASSERT_TRUE(first && second);
        EXPECT_EQ(text(*first), "late");
        EXPECT_EQ(text(*second), "next");
        ASSERT_TRUE(e.delegate->waitFor([&] { return e.delegate->sent.size() == 2; }));
    }
    EXPECT_TRUE(e.delegate->snapshot(e.delegate->notSent).empty());
}

TEST(UdpSocketEngineSend, PacketWithoutRoomTimesOutAndTheNextGoes) {
    EngineWithDelegate e;
    RawUdp receiver;
    ASSERT_TRUE(e.engine->bindToPort(0, std::string("127.0.0.1")));
    {
        RefusingSendTo full(-1, EAGAIN);
        e.engine->sendData(bytes("stuck"), "127.0.0.1", receiver.port(), 0.2, 1);
        ASSERT_TRUE(e.delegate->waitFor([&] { return e.delegate->notSent.size() == 1; }));
    }
    e.engine->sendData(bytes("free"), "127.0.0.1", receiver.port(), 0.2, 2);
    auto got = receiver.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(text(*got), "free");
    auto& d = *e.delegate;
    ASSERT_TRUE(d.waitFor([&] { return d.sent.size() == 1; }));
    EXPECT_EQ(d.notSent[0].first, 1);
    EXPECT_EQ(d.notSent[0].second->code, 3);
    EXPECT_EQ(d.notSent[0].second->localizedDescription(), "Send operation timed out");
    EXPECT_EQ(d.sent[0], 2);
}

TEST(UdpSocketEngineSend, SystemSendErrorClosesAndNextSendReopens) {
    EngineWithDelegate e;
    RawUdp receiver;
    // The filter holds the first packet until the second one is queued behind it.
    std::promise<void> gate;
    auto opened = gate.get_future().share();
    e.engine->setSendFilter(
        [opened](const Bytes&, const Bytes&, std::int64_t) {
            return opened.wait_for(kDeadline) == std::future_status::ready;
        },
        platform::DispatchQueue::makeSerial("udp.test.gate"));
    {
        RefusingSendTo broken(1, EPERM);
        e.engine->sendData(bytes("refused"), "127.0.0.1", receiver.port(), 1.0, 1);
        e.engine->sendData(bytes("dropped"), "127.0.0.1", receiver.port(), 1.0, 2);
        e.engine->performBlock([] {});
        gate.set_value();
        ASSERT_TRUE(e.delegate->waitFor([&] { return e.delegate->closed.size() == 1; }));
    }
    ASSERT_TRUE(e.delegate->closed[0]);
    EXPECT_EQ(e.delegate->closed[0]->code, EPERM);
    EXPECT_EQ(e.delegate->closed[0]->localizedFailureReason(), "Error in send() function.");
    e.engine->sendData(bytes("again"), "127.0.0.1", receiver.port(), 1.0, 3);
    auto got = receiver.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(text(*got), "again");
    ASSERT_TRUE(e.delegate->waitFor([&] { return e.delegate->sent.size() == 1; }));
    EXPECT_EQ(e.delegate->sent[0], 3);
    EXPECT_TRUE(e.delegate->snapshot(e.delegate->notSent).empty()); // dropped silently by the close
}

TEST(UdpSocketEngineSend, CloseDropsQueuedPacketsSilently) {
    EngineWithDelegate e;
    RawUdp receiver;
    ASSERT_TRUE(e.engine->bindToPort(0, std::string("127.0.0.1")));
    {
        RefusingSendTo full(-1, EAGAIN);
        for (int i = 0; i < 5; ++i)
            e.engine->sendData(bytes("q"), "127.0.0.1", receiver.port(), -1.0, i);
        e.engine->performBlock([] {}); // all five queued
        e.engine->close();
    }
    ASSERT_TRUE(e.delegate->waitFor([&] { return e.delegate->closed.size() == 1; }));
    e.drainDelegateQueue();
    EXPECT_TRUE(e.delegate->snapshot(e.delegate->sent).empty());
    EXPECT_TRUE(e.delegate->snapshot(e.delegate->notSent).empty());
    EXPECT_FALSE(receiver.hasPending());
}

TEST(UdpSocketEngineSend, CloseAfterSendingLetsTheQueueDrain) {
    EngineWithDelegate e;
    RawUdp receiver;
    for (int i = 0; i < 3; ++i)
        e.engine->sendData(bytes(std::to_string(i)), "127.0.0.1", receiver.port(), 1.0, i);
    e.engine->closeAfterSending();
    ASSERT_TRUE(e.delegate->waitFor([&] { return e.delegate->closed.size() == 1; }));
    EXPECT_EQ(e.delegate->snapshot(e.delegate->sent).size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(receiver.receive());
}
