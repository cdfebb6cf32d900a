// OSCSocket: one socket that sends and receives, its errors, and losing its socket.

#include "OSCCore/OSCMessage.h"
#include "OSCTransportTestSupport.h"
#include "osc-transport/OSCServer.h"
#include "osc-transport/OSCSocket.h"
#include "sockets/UdpSocketEngineInternal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

using namespace osctest;

TEST(OSCSocket, TalksToItselfAndToAServer) {
    Recorder own, other;
    auto socket = OSCSocket::make(std::nullopt, std::string("127.0.0.1"), std::nullopt,
                                  OSCTimeTagMode::ignore, false, own.handler());
    EXPECT_EQ(socket->localPort(), 0);
    socket->start();
    ASSERT_NE(socket->localPort(), 0);
    EXPECT_EQ(socket->remotePort(), socket->localPort()); // no remote port: its own

    socket->send(OSCMessage("/self", {std::int32_t(7)}));
    ASSERT_TRUE(own.waitForCount(1));
    EXPECT_EQ(own.deliveries()[0].message, OSCMessage("/self", {std::int32_t(7)}));

    auto server = OSCServer::make(0, OSCTimeTagMode::ignore, other.handler());
    server->start();
    socket->setRemotePort(server->boundPort());
    EXPECT_EQ(socket->remotePort(), server->boundPort());
    socket->send(OSCBundle({OSCMessage("/there")}));
    socket->send(OSCMessage("/six"), std::string("::1"), socket->localPort());
    ASSERT_TRUE(other.waitForCount(1));
    EXPECT_EQ(other.addresses(), (std::vector<std::string>{"/there"}));
    ASSERT_TRUE(own.waitForCount(2));
    EXPECT_EQ(own.deliveries()[1].address, "/six");
}

TEST(OSCSocket, SendingNeedsAStartAndAHost) {
    auto socket = OSCSocket::make();
    try {
        socket->send(OSCMessage("/x"), std::string("127.0.0.1"), 9);
        FAIL();
    } catch (const UdpSocketEngineError& error) {
        EXPECT_EQ(error.code(), 4);
        EXPECT_EQ(error.userInfo().at("Reason"), "OSC socket has not been started yet.");
    }
    socket->start();
    try {
        socket->send(OSCMessage("/x"));
        FAIL();
    } catch (const UdpSocketEngineError& error) {
        EXPECT_EQ(error.code(), 4);
        EXPECT_EQ(error.userInfo().at("Reason"),
                  "Remote host is not specified in OSCSocket.remoteHost property or "
                  "in host parameter in call to send().");
    }
    socket->setRemoteHost(std::string("127.0.0.1"));
    EXPECT_NO_THROW(socket->send(OSCMessage("/x")));
}

TEST(OSCSocket, StopsSayingStartedWhenItsSocketCloses) {
    Recorder recorder;
    auto socket = OSCSocket::make(std::nullopt, std::string("127.0.0.1"), std::nullopt,
                                  OSCTimeTagMode::ignore, false, recorder.handler());
    socket->start();
    // A system send error closes the socket underneath.
    auto original = udp_engine::sendToFunction.exchange(
        [](int, const void*, std::size_t, int, const sockaddr*, socklen_t) -> long {
            errno = EPERM;
            return -1;
        });
    socket->send(OSCMessage("/fails"));
    bool stopped = false;
    for (int i = 0; i < 1000 && !stopped; ++i) {
        stopped = !socket->isStarted();
        if (!stopped)
            std::this_thread::sleep_for(10ms);
    }
    udp_engine::sendToFunction.store(original);
    EXPECT_TRUE(stopped);

    // It starts again and works.
    socket->start();
    EXPECT_TRUE(socket->isStarted());
    socket->send(OSCMessage("/works"));
    ASSERT_TRUE(recorder.waitForCount(1));
    EXPECT_TRUE(socket->isStarted());
}
