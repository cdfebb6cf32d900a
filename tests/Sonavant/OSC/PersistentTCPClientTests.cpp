#include "Sonavant/OSC/PersistentTCPClient.h"

#include "OSCTestSupport.h"
#include "tools/FakeDesk.h"

#include <atomic>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace osctest;
using State = PersistentTCPClient::State;

namespace {

std::size_t openDescriptors() {
    std::size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

// Every test starts and ends without a shared client.
class PersistentTCPClientTest : public ::testing::Test {
protected:
    void SetUp() override { PersistentTCPClient::exchangeShared(nullptr); }
    void TearDown() override { PersistentTCPClient::exchangeShared(nullptr); }
};

} // namespace

TEST_F(PersistentTCPClientTest, FirstSendConnectsAndHoldsTheTextUntilReady) {
    FakeDesk desk;
    platform::LogCapture log;
    sendDeskMessage(false, "/mix/1 42\n", "/mix/1", "127.0.0.1", desk.tcpPort());
    sendDeskMessage(false, "/mix/2 7\n", "/mix/2", "127.0.0.1", desk.tcpPort());
    ASSERT_TRUE(desk.waitForLines(2, deadline));
    auto lines = desk.lines();
    EXPECT_EQ(lines[0].text, "/mix/1 42");
    EXPECT_EQ(lines[1].text, "/mix/2 7");
    EXPECT_EQ(desk.acceptedConnections(), 1u);
    EXPECT_TRUE(logged(log, "PersistentTCPClient: Connection ready"));
    EXPECT_TRUE(logged(log, "PersistentTCPClient: Sending message: /mix/1 42\n"));
    EXPECT_TRUE(
        eventually([&] { return countLines(log, "PersistentTCPClient: Message sent successfully") == 2; }));
    EXPECT_EQ(PersistentTCPClient::shared()->currentState().kind, State::Kind::ready);
    // UDP commands never touch the text link.
    EXPECT_EQ(desk.lineCount(), 2u);
}

TEST_F(PersistentTCPClientTest, LinkSurvivesADeskThatClosesAndComesBack) {
    FakeDesk desk;
    platform::LogCapture log;
    sendDeskMessage(false, "/a 1\n", "/a", "127.0.0.1", desk.tcpPort());
    ASSERT_TRUE(desk.waitForLines(1, deadline));

    desk.stopListening();
    ASSERT_TRUE(logged(log, "PersistentTCPClient: Connection failed with error "));
    ASSERT_TRUE(eventually([] { return !PersistentTCPClient::shared()->connection(); }));
    sendDeskMessage(false, "/a 2\n", "/a", "127.0.0.1", desk.tcpPort());
    EXPECT_TRUE(log.contains("PersistentTCPClient: Connection not established"));

    // While the desk is away the link check keeps trying; nothing piles up.
    for (int i = 0; i < 3; ++i) {
        reconnectTCPIfNeeded(false, "127.0.0.1", std::to_string(desk.tcpPort()));
        ASSERT_TRUE(eventually([] {
            auto client = PersistentTCPClient::shared();
            return client && client->currentState().kind == State::Kind::cancelled;
        }));
    }

    ASSERT_TRUE(desk.resumeListening());
    reconnectTCPIfNeeded(false, "127.0.0.1", std::to_string(desk.tcpPort()));
    sendDeskMessage(false, "/a 3\n", "/a", "127.0.0.1", desk.tcpPort());
    ASSERT_TRUE(desk.waitForLines(2, deadline));
    EXPECT_EQ(desk.lines()[1].text, "/a 3");
    EXPECT_EQ(desk.openConnections(), 1u);
}

// Every return of a desk that missed lines is heard by every holder, also by one that
// ignores the first (output off, another desk) and by those registered after it.
TEST_F(PersistentTCPClientTest, EveryRestorationIsHeardByEveryHolder) {
    FakeDesk desk;
    const auto port = std::to_string(desk.tcpPort());
    std::atomic<int> ignored = 0, heard = 0;
    auto early = PersistentTCPClient::observeLinkRestored([&] { ++ignored; });
    auto counting = PersistentTCPClient::observeLinkRestored([&] { ++heard; });
    {
        auto gone =
            PersistentTCPClient::observeLinkRestored([] { ADD_FAILURE() << "a released holder ran"; });
    }
    sendDeskMessage(false, "/a 1\n", "/a", "127.0.0.1", desk.tcpPort());
    ASSERT_TRUE(desk.waitForLines(1, deadline));
    EXPECT_EQ(heard, 0); // the first connection missed nothing

    for (int round = 1; round <= 3; ++round) {
        desk.dropConnections();
        ASSERT_TRUE(eventually([] { return !PersistentTCPClient::shared()->connection(); }));
        reconnectTCPIfNeeded(false, "127.0.0.1", port);
        ASSERT_TRUE(eventually([&] { return heard == round; })) << "restoration " << round;
        EXPECT_TRUE(eventually([&] { return ignored == round; }));
    }
    // A healthy refresh of the link is no restoration.
    disconnectTCP();
    reconnectTCPIfNeeded(false, "127.0.0.1", port);
    ASSERT_TRUE(
        eventually([] { return PersistentTCPClient::shared()->currentState().kind == State::Kind::ready; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(heard, 3);
}

TEST_F(PersistentTCPClientTest, ReplacingOrDroppingTheClientClosesItsConnection) {
    FakeDesk desk;
    const auto port = std::to_string(desk.tcpPort());
    reconnectTCPIfNeeded(false, "127.0.0.1", port);
    ASSERT_TRUE(desk.waitForConnections(1, deadline));
    for (int i = 0; i < 5; ++i)
        reconnectTCPIfNeeded(false, "127.0.0.1", port);
    ASSERT_TRUE(desk.waitForConnections(6, deadline));
    EXPECT_TRUE(desk.waitForOpenConnections(1, deadline));

    platform::LogCapture log;
    disconnectTCP();
    EXPECT_FALSE(PersistentTCPClient::shared());
    EXPECT_TRUE(log.contains("Disconnecting TCP connection because OSC is toggled OFF or refresh required."));
    EXPECT_TRUE(log.contains("PersistentTCPClient: Connection cancelled"));
    EXPECT_TRUE(desk.waitForOpenConnections(0, deadline));

    // A client let go of without a disconnect closes its connection too.
    auto client = PersistentTCPClient::make("127.0.0.1", desk.tcpPort());
    client->connect();
    ASSERT_TRUE(desk.waitForOpenConnections(1, deadline));
    client.reset();
    EXPECT_TRUE(desk.waitForOpenConnections(0, deadline));
}

TEST_F(PersistentTCPClientTest, ReconnectChecksDeskAddressAndPort) {
    platform::LogCapture log;
    auto original = PersistentTCPClient::make("127.0.0.1", 1);
    PersistentTCPClient::exchangeShared(original);

    reconnectTCPIfNeeded(std::nullopt, "127.0.0.1", "49900");
    EXPECT_TRUE(log.contains("Error: No selected desk."));
    for (auto [ip, port] : {std::pair{"127.0.0.1", "70000"},
                            {"127.0.0.1", ""},
                            {"", "49900"},
                            {"127.0.0.1", "4a"},
                            {"127.0.0.1", "-1"}}) {
        reconnectTCPIfNeeded(false, ip, port);
        EXPECT_EQ(PersistentTCPClient::shared(), original) << ip << ":" << port;
    }
    EXPECT_EQ(countLines(log, "Error: Cannot reconnect TCP because targetDeskIP or port is missing."), 5u);

    reconnectTCPIfNeeded(true, "127.0.0.1", "49900");
    EXPECT_TRUE(log.contains("Desk is in UDP mode – closing TCP connection and not reconnecting."));
    EXPECT_FALSE(PersistentTCPClient::shared());
}

TEST_F(PersistentTCPClientTest, UnreachableDeskLeaksNoConnections) {
    // A port nobody listens on: bind one, then let it go.
    FakeDesk desk;
    const auto port = desk.tcpPort();
    desk.stopListening();
    platform::LogCapture log;

    reconnectTCPIfNeeded(false, "127.0.0.1", std::to_string(port));
    ASSERT_TRUE(logged(log, "PersistentTCPClient: Connection failed with error "));
    const auto before = openDescriptors();
    for (int i = 0; i < 50; ++i)
        reconnectTCPIfNeeded(false, "127.0.0.1", std::to_string(port));
    // Replaced clients close quietly; the last one fails on its own.
    ASSERT_TRUE(eventually(
        [] { return PersistentTCPClient::shared()->currentState().kind == State::Kind::cancelled; }));
    EXPECT_TRUE(eventually([&] { return openDescriptors() <= before; }));
}

TEST_F(PersistentTCPClientTest, LargeTextIsWrittenWhole) {
    FakeDesk desk;
    std::string big(4 << 20, 'x');
    sendDeskMessage(false, big + "\n", "", "127.0.0.1", desk.tcpPort());
    sendDeskMessage(false, "/after 1\n", "", "127.0.0.1", desk.tcpPort());
    ASSERT_TRUE(desk.waitForLines(2, 10s));
    EXPECT_EQ(desk.lines()[0].text, big);
    EXPECT_EQ(desk.lines()[1].text, "/after 1");
}

// Only a name the hosts file holds: a test never asks the machine's resolver.
TEST_F(PersistentTCPClientTest, HostNamesAreResolved) {
    FakeDesk desk;
    sendDeskMessage(false, "/named 1\n", "", "localhost", desk.tcpPort());
    ASSERT_TRUE(desk.waitForLines(1, deadline));
    EXPECT_EQ(desk.lines()[0].text, "/named 1");
}

TEST(PortNumberTest, AcceptsUnsigned16BitDecimals) {
    EXPECT_EQ(parsePortNumber("49900"), 49900);
    EXPECT_EQ(parsePortNumber("+80"), 80);
    EXPECT_EQ(parsePortNumber("-0"), 0);
    EXPECT_EQ(parsePortNumber("65535"), 65535);
    for (auto bad : {"", "+", "-1", "65536", "70000", "8 0", " 80", "80 ", "0x50", "99999999999999999999"})
        EXPECT_FALSE(parsePortNumber(bad)) << bad;
}
