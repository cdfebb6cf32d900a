// The engine object: configuration, errors, binding, options, address records, closing.

#include "UdpTestSupport.h"
#include "sockets/UdpSocketEngine.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace udptest;

TEST(UdpSocketEngine, FreshObjectDefaultsAndConfiguration) {
    EngineWithDelegate e;
    auto& engine = *e.engine;
    EXPECT_TRUE(engine.isIPv4Enabled());
    EXPECT_TRUE(engine.isIPv6Enabled());
    EXPECT_TRUE(engine.isIPVersionNeutral());
    EXPECT_EQ(engine.maxReceiveIPv4BufferSize(), 65535);
    EXPECT_EQ(engine.maxReceiveIPv6BufferSize(), 65535u);
    EXPECT_EQ(engine.maxSendBufferSize(), 65535);
    EXPECT_EQ(engine.socketFD(), -1);
    EXPECT_TRUE(engine.isClosed());
    EXPECT_FALSE(engine.isConnected());
    EXPECT_EQ(engine.localPort(), 0);
    EXPECT_EQ(engine.socketQueue()->label(), "UdpSocketEngine");

    engine.setPreferIPv6();
    EXPECT_TRUE(engine.isIPv6Preferred());
    EXPECT_FALSE(engine.isIPv4Preferred());
    engine.setPreferIPv4();
    EXPECT_TRUE(engine.isIPv4Preferred());
    EXPECT_FALSE(engine.isIPv6Preferred());
    engine.setIPVersionNeutral();
    EXPECT_TRUE(engine.isIPVersionNeutral());
    engine.setIPv6Enabled(false);
    EXPECT_FALSE(engine.isIPv6Enabled());
    EXPECT_FALSE(engine.isIPv6()); // before sockets exist: whether the family is enabled

    // Closing an object that never made sockets tells nobody.
    engine.close();
    e.drainDelegateQueue();
    EXPECT_TRUE(e.delegate->snapshot(e.delegate->closed).empty());
}

TEST(UdpSocketEngineDeathTest, ConcurrentSocketQueueIsRefused) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        UdpSocketEngine::make({}, nullptr, platform::DispatchQueue::global(platform::QoS::defaultQoS)),
        "must not be a concurrent queue");
}

TEST(UdpSocketEngine, OperationsNeedDelegateAndQueue) {
    auto engine = UdpSocketEngine::make();
    std::optional<SocketError> error;
    EXPECT_FALSE(engine->bindToPort(0, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, UdpSocketEngineError::errorDomain);
    EXPECT_EQ(error->code, 1);
    EXPECT_EQ(error->localizedDescription(),
              "Attempting to use socket without a delegate. Set a delegate first.");

    auto delegate = std::make_shared<RecordingDelegate>();
    engine->synchronouslySetDelegate(delegate);
    EXPECT_FALSE(engine->enableBroadcast(true, &error));
    EXPECT_EQ(error->localizedDescription(),
              "Attempting to use socket without a delegate queue. Set a delegate queue first.");
    EXPECT_TRUE(engine->isClosed());
}

TEST(UdpSocketEngine, BindPortZeroGivesOnePortOnBothFamilies) {
    EngineWithDelegate e;
    std::optional<SocketError> error;
    ASSERT_TRUE(e.engine->bindToPort(0, &error)) << error->description();
    const auto port = e.engine->localPort();
    EXPECT_NE(port, 0);
    EXPECT_TRUE(e.engine->isIPv4());
    EXPECT_TRUE(e.engine->isIPv6());
    EXPECT_EQ(e.engine->localPort_IPv4(), port);
    EXPECT_EQ(e.engine->localPort_IPv6(), port);
    EXPECT_EQ(e.engine->localHost_IPv4(), "0.0.0.0");
    EXPECT_EQ(e.engine->localHost_IPv6(), "::");

    // A second bind on the same object is refused and the first stays.
    EXPECT_FALSE(e.engine->bindToPort(0, &error));
    EXPECT_EQ(error->localizedDescription(), "Cannot bind a socket more than once.");
    EXPECT_EQ(e.engine->localPort(), port);
}

TEST(UdpSocketEngine, PortHeldElsewhereFailsWithAddressInUse) {
    EngineWithDelegate first, second, third;
    ASSERT_TRUE(first.engine->bindToPort(0));
    const auto port = first.engine->localPort();

    std::optional<SocketError> error;
    EXPECT_FALSE(second.engine->bindToPort(port, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, SocketError::posixDomain);
    EXPECT_EQ(error->code, EADDRINUSE);
    EXPECT_EQ(error->localizedFailureReason(), "Error in bind() function");
    EXPECT_TRUE(second.engine->isClosed()); // nothing half-made stays behind

    // Also when only the IPv6 side is taken: the IPv4 socket is closed with it.
    RawUdp raw6(AF_INET6);
    EXPECT_FALSE(third.engine->bindToPort(raw6.port(), std::string("localhost"), &error));
    EXPECT_EQ(error->code, EADDRINUSE);
    EXPECT_TRUE(third.engine->isClosed());
}

TEST(UdpSocketEngine, ReusePortLetsTwoObjectsShareAPort) {
    EngineWithDelegate first, second;
    ASSERT_TRUE(first.engine->enableReusePort(true));
    ASSERT_TRUE(first.engine->bindToPort(0));
    ASSERT_TRUE(second.engine->enableReusePort(true));
    std::optional<SocketError> error;
    EXPECT_TRUE(second.engine->bindToPort(first.engine->localPort(), &error)) << error->description();
}

TEST(UdpSocketEngine, BindToInterfaceOrAddress) {
    EngineWithDelegate byNumber, byName, unknown, byAddress;
    std::optional<SocketError> error;
    ASSERT_TRUE(byNumber.engine->bindToPort(0, std::string("127.0.0.1"), &error));
    EXPECT_TRUE(byNumber.engine->isIPv4());
    EXPECT_EQ(byNumber.engine->localHost(), "127.0.0.1");
    EXPECT_EQ(byNumber.engine->localPort_IPv6(), 0);

    ASSERT_TRUE(byName.engine->bindToPort(0, std::string("lo"), &error));
    EXPECT_EQ(byName.engine->localHost_IPv4(), "127.0.0.1");

    EXPECT_FALSE(unknown.engine->bindToPort(0, std::string("no-such-interface0"), &error));
    EXPECT_EQ(error->code, 2);
    EXPECT_EQ(error->localizedDescription(),
              "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.");

    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const auto* p = reinterpret_cast<const std::uint8_t*>(&a);
    ASSERT_TRUE(byAddress.engine->bindToAddress(Bytes(p, p + sizeof a), &error));
    EXPECT_EQ(byAddress.engine->localHost(), "::1");
    EXPECT_NE(byAddress.engine->localPort(), 0);
    EXPECT_FALSE(byAddress.engine->isIPv4());
}

TEST(UdpSocketEngine, BroadcastAndReusePortOptions) {
    EngineWithDelegate ipv6Only, both;
    ipv6Only.engine->setIPv4Enabled(false);
    std::optional<SocketError> error;
    EXPECT_FALSE(ipv6Only.engine->enableBroadcast(true, &error));
    EXPECT_FALSE(error); // no IPv4 socket: false without an error

    // Options made before binding create the sockets; the bind then uses them.
    EXPECT_TRUE(both.engine->enableBroadcast(true, &error));
    EXPECT_FALSE(both.engine->isClosed());
    EXPECT_TRUE(both.engine->enableReusePort(false, &error));
    EXPECT_TRUE(both.engine->bindToPort(0, &error));
    int value = 0;
    both.engine->performBlock([&] {
        socklen_t length = sizeof value;
        ::getsockopt(both.engine->socket4FD(), SOL_SOCKET, SO_BROADCAST, &value, &length);
    });
    EXPECT_EQ(value, 1);
}

TEST(UdpSocketEngine, AddressRecords) {
    sockaddr_in a4{};
    a4.sin_family = AF_INET;
    a4.sin_port = htons(49900);
    ::inet_pton(AF_INET, "192.0.2.7", &a4.sin_addr);
    const auto* p4 = reinterpret_cast<const std::uint8_t*>(&a4);
    const Bytes record4(p4, p4 + sizeof a4);

    std::string host;
    std::uint16_t port = 0;
    int family = 0;
    EXPECT_TRUE(UdpSocketEngine::getHost(&host, &port, &family, record4));
    EXPECT_EQ(host, "192.0.2.7");
    EXPECT_EQ(port, 49900);
    EXPECT_EQ(family, AF_INET);
    EXPECT_TRUE(UdpSocketEngine::isIPv4Address(record4));

    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(6000);
    ::inet_pton(AF_INET6, "fd00::2", &a6.sin6_addr);
    const auto* p6 = reinterpret_cast<const std::uint8_t*>(&a6);
    const Bytes record6(p6, p6 + sizeof a6);
    EXPECT_EQ(UdpSocketEngine::hostFromAddress(record6), "fd00::2");
    EXPECT_EQ(UdpSocketEngine::portFromAddress(record6), 6000);
    EXPECT_TRUE(UdpSocketEngine::isIPv6Address(record6));

    // Too short for its family, or no family at all.
    EXPECT_FALSE(
        UdpSocketEngine::getHost(&host, &port, &family, Bytes(record6.begin(), record6.begin() + 20)));
    EXPECT_EQ(port, 0);
    EXPECT_EQ(family, 0);
    EXPECT_TRUE(host.empty());
    EXPECT_EQ(UdpSocketEngine::familyFromAddress(Bytes(16, 0)), 0);
    EXPECT_EQ(UdpSocketEngine::familyFromAddress(Bytes{}), 0);
}

TEST(UdpSocketEngine, CloseReportsOnceAndObjectCanBindAgain) {
    EngineWithDelegate e;
    ASSERT_TRUE(e.engine->bindToPort(0));
    const auto port = e.engine->localPort();
    e.engine->close();
    ASSERT_TRUE(e.delegate->waitFor([&] { return e.delegate->closed.size() == 1; }));
    EXPECT_FALSE(e.delegate->closed[0]); // a requested close has no error
    EXPECT_TRUE(e.engine->isClosed());
    EXPECT_EQ(e.engine->localPort(), 0);

    // The descriptors are gone at once: the same port binds again straight away.
    std::optional<SocketError> error;
    EXPECT_TRUE(e.engine->bindToPort(port, &error)) << error->description();
    e.engine->close();
    e.engine->close();
    EXPECT_TRUE(e.delegate->waitFor([&] { return e.delegate->closed.size() == 2; }));
    e.drainDelegateQueue();
    EXPECT_EQ(e.delegate->snapshot(e.delegate->closed).size(), 2u);
}

TEST(UdpSocketEngine, ReleasedDelegateGetsNothingAndNothingFails) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto queue = platform::DispatchQueue::makeSerial("udp.test.gone");
    auto engine = UdpSocketEngine::make(delegate, queue);
    ASSERT_TRUE(engine->bindToPort(0, std::string("127.0.0.1")));
    ASSERT_TRUE(engine->beginReceiving());
    const auto port = engine->localPort();
    delegate.reset();

    RawUdp sender;
    ASSERT_TRUE(sender.sendTo(port, bytes("nobody listens")));
    engine->sendData(bytes("x"), "127.0.0.1", sender.port(), 1.0, 1);
    EXPECT_TRUE(sender.receive().has_value()); // sends still go out
    engine->close();
    queue->sync([] {});
}
