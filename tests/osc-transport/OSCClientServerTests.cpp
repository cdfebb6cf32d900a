// OSCClient to OSCServer over loopback: messages, nested bundles, time tags, bad datagrams,
// start and stop.

#include "OSCCore/OSCBundle.h"
#include "OSCCore/OSCEncodeError.h"
#include "OSCCore/OSCMessage.h"
#include "OSCTransportTestSupport.h"
#include "osc-transport/OSCClient.h"
#include "osc-transport/OSCServer.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace osctest;

namespace {

std::shared_ptr<OSCServer> startedServer(Recorder& recorder, OSCTimeTagMode mode) {
    auto server = OSCServer::make(0, mode, recorder.handler());
    server->start();
    return server;
}

void sendRaw(std::uint16_t port, const std::string& bytes) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::close(fd);
}

} // namespace

TEST(OSCClientServer, MessagesReachTheServerOverBothFamilies) {
    Recorder recorder;
    auto server = startedServer(recorder, OSCTimeTagMode::ignore);
    ASSERT_TRUE(server->isStarted());
    EXPECT_EQ(server->localPort(), 0);
    const auto port = server->boundPort();
    ASSERT_NE(port, 0);

    OSCClient client;
    EXPECT_FALSE(client.isStarted());
    client.send(OSCMessage("/level/1", {std::int32_t(42), 0.5f, "text"}), "127.0.0.1", port);
    ASSERT_TRUE(recorder.waitForCount(1));
    EXPECT_NE(client.localPort(), 0); // bound implicitly by the first send
    client.send(OSCMessage("/over/six"), "::1", port);
    client.send(OSCMessage("/by/name"), "localhost", port);
    ASSERT_TRUE(recorder.waitForCount(3));

    const auto got = recorder.deliveries();
    EXPECT_EQ(got[0].message, OSCMessage("/level/1", {std::int32_t(42), 0.5f, "text"}));
    EXPECT_TRUE(got[0].timeTag.isImmediate()); // a bare message
    EXPECT_EQ(got[1].address, "/over/six");
    EXPECT_EQ(got[2].address, "/by/name");

    // Sending to a name nobody knows returns normally; the failure stays on the socket queue.
    EXPECT_NO_THROW(client.send(OSCMessage("/nowhere"), "no-such-host.invalid", port));
}

TEST(OSCClientServer, NestedBundlesArriveInElementOrderWithTheirOwnTags) {
    Recorder recorder;
    auto server = startedServer(recorder, OSCTimeTagMode::ignore);
    const OSCTimeTag outerTag = OSCTimeTag::fromTimeIntervalSinceNow(3600); // ignored: at once
    const OSCTimeTag innerTag = OSCTimeTag::fromTimeIntervalSinceNow(-10);
    OSCBundle inner({OSCMessage("/b"), OSCMessage("/c")}, innerTag);
    OSCBundle outer({OSCMessage("/a"), inner, OSCMessage("/d")}, outerTag);

    OSCClient client;
    client.send(outer, "127.0.0.1", server->boundPort());
    ASSERT_TRUE(recorder.waitForCount(4));
    const auto got = recorder.deliveries();
    EXPECT_EQ(recorder.addresses(), (std::vector<std::string>{"/a", "/b", "/c", "/d"}));
    EXPECT_EQ(got[0].timeTag, outerTag);
    EXPECT_EQ(got[1].timeTag, innerTag);
    EXPECT_EQ(got[2].timeTag, innerTag);
    EXPECT_EQ(got[3].timeTag, outerTag);
}

TEST(OSCClientServer, FutureTagsWaitInOsc10ModeOnly) {
    Recorder recorder;
    auto server = startedServer(recorder, OSCTimeTagMode::osc1_0);
    OSCClient client;
    const auto port = server->boundPort();
    client.send(OSCBundle({OSCMessage("/future")}, OSCTimeTag::fromTimeIntervalSinceNow(1.0)), "127.0.0.1",
                port);
    client.send(OSCBundle({OSCMessage("/past")}, OSCTimeTag::fromTimeIntervalSinceNow(-5)), "127.0.0.1",
                port);
    client.send(OSCBundle({OSCMessage("/immediate")}), "127.0.0.1", port);
    client.send(OSCMessage("/bare"), "127.0.0.1", port);
    ASSERT_TRUE(recorder.waitForCount(4));
    // The future message is held back behind everything sent after it.
    EXPECT_EQ(recorder.addresses(), (std::vector<std::string>{"/past", "/immediate", "/bare", "/future"}));

    server->setTimeTagMode(OSCTimeTagMode::ignore);
    client.send(OSCBundle({OSCMessage("/future2")}, OSCTimeTag::fromTimeIntervalSinceNow(3600)), "127.0.0.1",
                port);
    client.send(OSCMessage("/bare2"), "127.0.0.1", port);
    ASSERT_TRUE(recorder.waitForCount(6));
    EXPECT_EQ(recorder.deliveries()[4].address, "/future2");
    EXPECT_EQ(recorder.deliveries()[5].address, "/bare2");
}

TEST(OSCClientServer, UndecodableDatagramIsDroppedAndTheNextOneArrives) {
    platform::LogCapture log;
    Recorder recorder;
    auto server = startedServer(recorder, OSCTimeTagMode::ignore);
    const auto port = server->boundPort();
    sendRaw(port, "random bytes");
    sendRaw(port, std::string("#bundle\0\0\0", 10));
    sendRaw(port, ""); // empty: not a message, and no close either
    OSCClient client;
    client.send(OSCMessage("/after"), "127.0.0.1", port);
    ASSERT_TRUE(recorder.waitForCount(1));
    EXPECT_EQ(recorder.addresses(), (std::vector<std::string>{"/after"}));
    EXPECT_TRUE(log.contains("OSCServer: Malformed data: "));
    EXPECT_TRUE(server->isStarted());
}

TEST(OSCClientServer, ServerStartStopAndPortInUse) {
    Recorder recorder;
    auto first = OSCServer::make(0, OSCTimeTagMode::ignore, recorder.handler());
    first->start();
    first->start(); // started: nothing
    const auto port = first->boundPort();

    auto second = OSCServer::make(port, OSCTimeTagMode::ignore);
    try {
        second->start();
        FAIL() << "a port in use must not bind";
    } catch (const UdpSocketEngineError& error) {
        EXPECT_EQ(error.domain(), SocketError::posixDomain);
        EXPECT_EQ(error.code(), EADDRINUSE);
        EXPECT_EQ(error.error().localizedFailureReason(), "Error in bind() function");
    }
    EXPECT_FALSE(second->isStarted());

    first->stop();
    EXPECT_FALSE(first->isStarted());
    EXPECT_EQ(first->boundPort(), 0);
    second->start(); // the port is free again at once
    EXPECT_TRUE(second->isStarted());
    EXPECT_EQ(second->boundPort(), port);

    // A stopped server keeps its handler: the messages reach it after a restart.
    second->stop();
    second->setHandler(recorder.handler());
    second->start();
    OSCClient client;
    client.send(OSCMessage("/again"), "127.0.0.1", port);
    ASSERT_TRUE(recorder.waitForCount(1));
}

TEST(OSCClientServer, ClientStartStopAndEncodingFailure) {
    Recorder recorder;
    auto server = startedServer(recorder, OSCTimeTagMode::ignore);
    OSCClient client(std::nullopt, true, true);
    EXPECT_TRUE(client.isPortReuseEnabled());
    EXPECT_TRUE(client.isIPv4BroadcastEnabled());
    client.start();
    const auto port = client.localPort();
    EXPECT_NE(port, 0);
    client.start(); // binds once
    EXPECT_EQ(client.localPort(), port);
    client.stop();
    EXPECT_FALSE(client.isStarted());
    client.start();
    EXPECT_TRUE(client.isStarted());

    EXPECT_THROW(client.send(OSCMessage("/bad", {std::uint64_t(~0ull)}), "127.0.0.1", server->boundPort()),
                 OSCEncodeError);
    client.send(OSCMessage("/good"), "127.0.0.1", server->boundPort());
    ASSERT_TRUE(recorder.waitForCount(1));
    EXPECT_EQ(recorder.addresses(), (std::vector<std::string>{"/good"}));
}
