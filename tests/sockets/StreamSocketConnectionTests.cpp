// Listening, accepting, connecting over IPv4, IPv6 and local sockets, and disconnecting.

#include "StreamSocketTestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace streamtest;

namespace {

struct Listener {
    std::shared_ptr<RecordingDelegate> delegate =
        std::make_shared<RecordingDelegate>("StreamSocketTests.server");
    std::shared_ptr<StreamSocket> socket;

    explicit Listener(const std::string& interface = "localhost") {
        delegate->echo = true;
        socket = makeSocket(delegate);
        SocketError error;
        EXPECT_TRUE(socket->acceptOnInterface(interface, 0, &error)) << error.description();
    }
};

// Connects, sends a line and expects it back.
void expectEcho(StreamSocket& client, RecordingDelegate& delegate, const std::string& line) {
    ASSERT_TRUE(delegate.waitFor([&] { return delegate.connects == 1; }));
    client.writeData(StreamSocketData::fromString(line), 5, 1);
    client.readDataToData(StreamSocket::LFData(), 5, 2);
    ASSERT_TRUE(delegate.waitFor([&] { return delegate.reads.size() == 1; }));
    EXPECT_EQ(delegate.readText(0), line);
    EXPECT_EQ(delegate.writes, std::vector<std::int64_t>{1});
}

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/stream-socket-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string path(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace

TEST(StreamSocketConnection, EchoOverIPv4AndThePeersCloseIsReported) {
    Listener server("127.0.0.1");
    const std::uint16_t port = server.socket->localPort();
    ASSERT_NE(port, 0);
    EXPECT_TRUE(server.socket->isIPv4());
    EXPECT_FALSE(server.socket->isIPv6());

    auto delegate = std::make_shared<RecordingDelegate>();
    auto client = makeSocket(delegate);
    SocketError error;
    ASSERT_TRUE(client->connectToHost("127.0.0.1", port, 5, &error)) << error.description();
    expectEcho(*client, *delegate, "hello over IPv4\n");
    EXPECT_EQ(delegate->connectedHost, "127.0.0.1");
    EXPECT_EQ(delegate->connectedPort, port);
    EXPECT_EQ(client->connectedPort(), port);
    EXPECT_EQ(client->localHost(), "127.0.0.1");
    EXPECT_TRUE(client->isConnected());

    // A second connect while connected is refused.
    EXPECT_FALSE(client->connectToHost("127.0.0.1", port, 5, &error));
    EXPECT_EQ(error.code, StreamSocketBadConfigError);
    EXPECT_EQ(error.localizedDescription(),
              "Attempting to connect while connected or accepting connections. Disconnect first.");

    // The owner's disconnect carries no error; the accepted side learns the peer closed.
    client->disconnect();
    EXPECT_TRUE(client->isDisconnected());
    ASSERT_TRUE(delegate->waitFor([&] { return delegate->disconnects == 1; }));
    EXPECT_FALSE(delegate->disconnectError);
    ASSERT_TRUE(server.delegate->waitFor([&] { return server.delegate->disconnects == 1; }));
    ASSERT_TRUE(server.delegate->disconnectError);
    EXPECT_EQ(server.delegate->disconnectError->domain, StreamSocketError::domain);
    EXPECT_EQ(server.delegate->disconnectError->code, StreamSocketClosedError);
    EXPECT_EQ(server.delegate->disconnectError->localizedDescription(), "Socket closed by remote peer");
}

TEST(StreamSocketConnection, EchoOverIPv6OnThePortSharedWithIPv4) {
    Listener server("loopback");
    const std::uint16_t port = server.socket->localPort();
    EXPECT_TRUE(server.socket->isIPv4());
    EXPECT_TRUE(server.socket->isIPv6());

    auto delegate = std::make_shared<RecordingDelegate>();
    auto client = makeSocket(delegate);
    ASSERT_TRUE(client->connectToHost("::1", port, 5));
    expectEcho(*client, *delegate, "hello over IPv6\n");
    EXPECT_EQ(delegate->connectedHost, "::1");
    EXPECT_TRUE(client->isIPv6());
    EXPECT_FALSE(client->isIPv4());
    EXPECT_EQ(client->connectedHost(), "::1");
}

TEST(StreamSocketConnection, LocalhostTriesThePreferredFamilyFirst) {
    Listener server("loopback");
    const std::uint16_t port = server.socket->localPort();
    for (bool preferIPv4 : {true, false}) {
        auto delegate = std::make_shared<RecordingDelegate>();
        auto client = makeSocket(delegate);
        client->setIPv4PreferredOverIPv6(preferIPv4);
        ASSERT_TRUE(client->connectToHost("localhost", port, 5));
        ASSERT_TRUE(delegate->waitFor([&] { return delegate->connects == 1; }));
        EXPECT_EQ(delegate->connectedHost, preferIPv4 ? "127.0.0.1" : "::1");
        // The other family's attempt is gone and stays gone after its delay.
        EXPECT_EQ(client->isIPv4(), preferIPv4);
        EXPECT_EQ(client->isIPv6(), !preferIPv4);
        expectEcho(*client, *delegate, "either way\n");
    }
}

TEST(StreamSocketConnection, EchoOverLocalSocketAndItsFileGoesWithTheListener) {
    TempFolder folder;
    const std::string path = folder.path("echo.sock");
    auto serverDelegate = std::make_shared<RecordingDelegate>("StreamSocketTests.server");
    serverDelegate->echo = true;
    auto server = makeSocket(serverDelegate);
    SocketError error;
    ASSERT_TRUE(server->acceptOnUrl(path, &error)) << error.description();
    EXPECT_TRUE(std::filesystem::exists(path));

    auto delegate = std::make_shared<RecordingDelegate>();
    auto client = makeSocket(delegate);
    ASSERT_TRUE(client->connectToUrl(path, 5, &error)) << error.description();
    expectEcho(*client, *delegate, "hello over a local socket\n");
    EXPECT_EQ(delegate->connectedUrl, path);
    EXPECT_EQ(client->connectedUrl(), path);

    server->disconnect();
    EXPECT_FALSE(std::filesystem::exists(path));

    // A listener replaces a stale socket file but never another kind of file.
    const std::string plainFile = folder.path("notes.txt");
    std::ofstream(plainFile) << "keep me";
    auto other = makeSocket(serverDelegate);
    EXPECT_FALSE(other->acceptOnUrl(plainFile, &error));
    EXPECT_EQ(error.localizedDescription(), "Could not remove previous unix domain socket at given url.");
    EXPECT_TRUE(std::filesystem::exists(plainFile));

    // Nobody listening: the connect fails through the delegate.
    auto lonely = std::make_shared<RecordingDelegate>();
    auto lonelyClient = makeSocket(lonely);
    ASSERT_TRUE(lonelyClient->connectToUrl(path, 5));
    ASSERT_TRUE(lonely->waitFor([&] { return lonely->disconnects == 1; }));
    ASSERT_TRUE(lonely->disconnectError);
    EXPECT_EQ(lonely->disconnectError->domain, SocketError::posixDomain);
    EXPECT_EQ(lonely->disconnectError->code, ENOENT);
    EXPECT_EQ(lonely->disconnectError->localizedFailureReason(), "Error in connect() function");
}

TEST(StreamSocketConnection, ReportsConfigurationAndParameterErrors) {
    auto delegate = std::make_shared<RecordingDelegate>();
    SocketError error;

    EXPECT_THROW(StreamSocket::make({}, nullptr, platform::DispatchQueue::global()), std::invalid_argument);
    auto orphan = StreamSocket::make();
    EXPECT_FALSE(orphan->connectToHost("127.0.0.1", 9, &error));
    EXPECT_EQ(error.code, StreamSocketBadConfigError);
    EXPECT_EQ(error.localizedDescription(),
              "Attempting to connect without a delegate. Set a delegate first.");
    EXPECT_FALSE(orphan->acceptOnPort(0, &error));
    EXPECT_EQ(error.localizedDescription(), "Attempting to accept without a delegate. Set a delegate first.");
    orphan->synchronouslySetDelegate(delegate);
    EXPECT_FALSE(orphan->connectToHost("127.0.0.1", 9, &error));
    EXPECT_EQ(error.localizedDescription(),
              "Attempting to connect without a delegate queue. Set a delegate queue first.");

    auto sock = makeSocket(delegate);
    EXPECT_FALSE(sock->connectToHost("", 9, &error));
    EXPECT_EQ(error.code, StreamSocketBadParamError);
    EXPECT_EQ(error.localizedDescription(),
              "Invalid host parameter (nil or \"\"). Should be a domain name or IP address string.");
    EXPECT_FALSE(sock->connectToAddress(StreamSocket::Address(5, 0), &error));
    EXPECT_EQ(error.localizedDescription(), "A valid IPv4 or IPv6 address was not given");
    EXPECT_FALSE(sock->connectToUrl("", 1, &error));
    EXPECT_EQ(error.localizedDescription(), "Invalid unix domain socket url.");
    EXPECT_FALSE(sock->acceptOnInterface("no-such-interface0", 0, &error));
    EXPECT_EQ(error.localizedDescription(),
              "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.");

    sock->setIPv4Enabled(false);
    EXPECT_FALSE(sock->connectToAddress(StreamSocket::lookupHost("localhost", 9)[0], &error));
    EXPECT_EQ(error.localizedDescription(), "IPv4 has been disabled and an IPv4 address was passed.");
    sock->setIPv6Enabled(false);
    EXPECT_FALSE(sock->acceptOnPort(0, &error));
    EXPECT_EQ(error.localizedDescription(),
              "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");

    // None of this started the socket, and disconnecting an idle socket reports nothing.
    sock->disconnect();
    orphan->disconnect();
    delegate->flush();
    EXPECT_EQ(delegate->disconnects, 0);
    EXPECT_TRUE(sock->isDisconnected());
}

TEST(StreamSocketConnection, ListensOnAnInterfaceNamedWithAPortSuffix) {
    // A port that was just free: a closed listener gives it back at once.
    std::uint16_t port;
    {
        Listener probe("127.0.0.1");
        port = probe.socket->localPort();
    }
    Listener server("lo:" + std::to_string(port));
    EXPECT_FALSE(server.socket->isConnected());
    EXPECT_FALSE(server.socket->isDisconnected());
    EXPECT_EQ(server.socket->localPort(), port);
    EXPECT_EQ(server.socket->localHost(), "127.0.0.1");

    auto delegate = std::make_shared<RecordingDelegate>();
    auto client = makeSocket(delegate);
    ASSERT_TRUE(client->connectToHost("::1", port, 5));
    expectEcho(*client, *delegate, "by name\n");
}

TEST(StreamSocketConnection, RefusedConnectionReachesTheDelegate) {
    // A port nobody listens on: take one, then give it back.
    std::uint16_t port;
    {
        Listener probe("127.0.0.1");
        port = probe.socket->localPort();
    }
    auto delegate = std::make_shared<RecordingDelegate>();
    auto client = makeSocket(delegate);
    ASSERT_TRUE(client->connectToHost("127.0.0.1", port, 5));
    ASSERT_TRUE(delegate->waitFor([&] { return delegate->disconnects == 1; }));
    ASSERT_TRUE(delegate->disconnectError);
    EXPECT_EQ(delegate->disconnectError->domain, SocketError::posixDomain);
    EXPECT_EQ(delegate->disconnectError->code, ECONNREFUSED);
    EXPECT_EQ(delegate->disconnectError->localizedFailureReason(), "Error in connect() function");
    EXPECT_EQ(delegate->connects, 0);
}

TEST(StreamSocketConnection, DisconnectAfterWritingSendsWhatWasQueuedFirst) {
    Listener server("127.0.0.1");
    server.delegate->echo = false;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto client = makeSocket(delegate);
    ASSERT_TRUE(client->connectToHost("127.0.0.1", server.socket->localPort(), 5));
    ASSERT_TRUE(server.delegate->waitFor([&] { return server.delegate->accepted.size() == 1; }));
    auto child = server.delegate->accepted[0];

    client->writeData(StreamSocketData::fromString("one,"), 5, 1);
    client->writeData(StreamSocketData::fromString("two."), 5, 2);
    client->disconnectAfterWriting();
    client->writeData(StreamSocketData::fromString("dropped"), 5, 3);

    ASSERT_TRUE(delegate->waitFor([&] { return delegate->disconnects == 1; }));
    EXPECT_FALSE(delegate->disconnectError);
    EXPECT_EQ(delegate->writes, (std::vector<std::int64_t>{1, 2}));

    // The peer gets both writes and then the end of the stream.
    child->readDataToData(StreamSocketData::fromString(".").toVector(), 5, 7);
    ASSERT_TRUE(server.delegate->waitFor([&] { return server.delegate->disconnects == 1; }));
    EXPECT_EQ(server.delegate->readText(0), "one,two.");
    EXPECT_EQ(server.delegate->disconnectError->code, StreamSocketClosedError);
}

TEST(StreamSocketConnection, WrapsAnAlreadyConnectedDescriptor) {
    Listener server("127.0.0.1");
    RawPeer raw(server.socket->localPort());
    ASSERT_TRUE(raw.connected());

    auto delegate = std::make_shared<RecordingDelegate>();
    SocketError error;
    const int fd = ::dup(raw.fd());
    auto wrapped = StreamSocket::socketFromConnectedSocketFD(fd, delegate, delegate->queue, &error);
    ASSERT_TRUE(wrapped) << error.description();
    ASSERT_TRUE(delegate->waitFor([&] { return delegate->connects == 1; }));
    EXPECT_EQ(delegate->connectedHost, "127.0.0.1");
    expectEcho(*wrapped, *delegate, "wrapped\n");

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    EXPECT_FALSE(StreamSocket::socketFromConnectedSocketFD(pipeEnds[0], delegate, delegate->queue, &error));
    EXPECT_EQ(error.localizedDescription(),
              "Attempt to create socket from socket FD failed. getpeername() failed");
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}
