#include "Sonavant/OSC/OSCClientPool.h"

#include "OSCCore/OSCValueMasking.h"
#include "OSCTestSupport.h"
#include "Sonavant/OSC/OSCMonitor.h"
#include "tools/FakeDesk.h"

#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <set>

using namespace osctest;

namespace {

// Everything handed to the sender queue before this call has been sent.
void drainSenderQueue() {
    oscSenderQueue()->sync([] {});
}

} // namespace

TEST(OSCClientPoolTest, AcceptsOnlyStrictDottedIPv4) {
    for (auto good : {"127.0.0.1", "0.0.0.0", "255.255.255.255", "192.168.1.20", "10.0.0.1"})
        EXPECT_TRUE(isValidIPv4Address(good)) << good;
    for (auto bad : {"", "localhost", "256.0.0.1", "1.2.3", "1.2.3.4.5", "01.2.3.4", "1.2.3.04", "1..3.4",
                     "1.2.3.4.", ".1.2.3", " 1.2.3.4", "1.2.3.4 ", "1.2.3.4%eth0", "::1", "0x7f.0.0.1",
                     "1.2.3.-4", "1234.1.1.1", "1.2.3.4/24", "127.1"})
        EXPECT_FALSE(isValidIPv4Address(bad)) << bad;
}

TEST(OSCClientPoolTest, RefusesWithoutQueueingWhenOffOrAddressInvalid) {
    FakeDesk desk(false);
    platform::LogCapture log;
    sendOSCMessage(false, "/x", "127.0.0.1", desk.udpPort(), 1);
    sendOSCMessage(false, "/x", "127.0.0.1", desk.udpPort(), 1);
    EXPECT_EQ(countLines(log, "OSC output is disabled."), 2u);
    sendOSCMessage(true, "/x", "localhost", desk.udpPort(), 1);
    EXPECT_TRUE(log.contains("Invalid IP address: localhost"));
    for (const OSCSendArgument& unsupported :
         {OSCSendArgument(1.5f), OSCSendArgument("text"), OSCSendArgument(true)})
        sendOSCMessage(true, "/x", "127.0.0.1", desk.udpPort(), unsupported);
    // Undefined numbers never reach a desk.
    sendOSCMessage(true, "/x", "127.0.0.1", desk.udpPort(), std::numeric_limits<double>::quiet_NaN());
    sendOSCMessage(true, "/x", "127.0.0.1", desk.udpPort(),
                   std::vector<float>{1, std::numeric_limits<float>::infinity()});
    drainSenderQueue();
    EXPECT_TRUE(log.contains("Unsupported argument type: Float"));
    EXPECT_TRUE(log.contains("Unsupported argument type: String"));
    EXPECT_TRUE(log.contains("Unsupported argument type: Bool"));
    EXPECT_EQ(countLines(log, "Failed to send OSC message: non-finite argument"), 2u);
    // A marker proves the queue has sent what it was going to.
    sendOSCMessage(true, "/marker", "127.0.0.1", desk.udpPort());
    ASSERT_TRUE(desk.waitForDatagrams(1, deadline));
    EXPECT_FALSE(desk.waitForDatagrams(2, 100ms));
    EXPECT_EQ(desk.addresses(), std::vector<std::string>{"/marker"});
}

TEST(OSCClientPoolTest, ArgumentsBecomeTheirOSCValues) {
    FakeDesk desk(false);
    platform::LogCapture log;
    const auto port = desk.udpPort();
    sendOSCMessage(true, "/none", "127.0.0.1", port);
    sendOSCMessage(true, "/int", "127.0.0.1", port, 42);
    sendOSCMessage(true, "/double", "127.0.0.1", port, 0.1256);
    sendOSCMessage(true, "/floats", "127.0.0.1", port, std::vector<float>{1.5f, -2.0f});
    sendOSCMessage(true, "/toobig", "127.0.0.1", port, std::int64_t{1} << 40);
    ASSERT_TRUE(desk.waitForDatagrams(4, deadline));
    drainSenderQueue();
    std::map<std::string, OSCMessage> byAddress;
    for (const auto& message : desk.messages())
        byAddress.emplace(std::string(message.addressPattern().rawAddress()), message);
    ASSERT_EQ(byAddress.size(), 4u);
    EXPECT_TRUE(byAddress.at("/none").values().empty());
    EXPECT_EQ(byAddress.at("/int").values(), std::vector<OSCValue>{OSCValue(std::int32_t{42})});
    EXPECT_EQ(byAddress.at("/double").values(), std::vector<OSCValue>{OSCValue(0.13f)});
    EXPECT_EQ(byAddress.at("/floats").values(), (std::vector<OSCValue>{OSCValue(1.5f), OSCValue(-2.0f)}));
    const auto target = "OSC message sent to 127.0.0.1:" + std::to_string(port);
    EXPECT_TRUE(log.contains(target + " with address: /none"));
    EXPECT_FALSE(log.contains(target + " with address: /none and argument"));
    EXPECT_TRUE(log.contains(target + " with address: /int and argument: 42"));
    EXPECT_TRUE(log.contains(target + " with address: /double and argument: 0.1256"));
    EXPECT_TRUE(log.contains(target + " with address: /floats and argument: [1.5, -2.0]"));
    EXPECT_TRUE(log.contains("Failed to send OSC message: "));
}

TEST(OSCClientPoolTest, ElevenSendsUseTenSourcePortsInTurn) {
    FakeDesk desk(false);
    for (int i = 0; i < 11; ++i)
        sendOSCMessage(true, "/turn/" + std::to_string(i), "127.0.0.1", desk.udpPort(), i);
    ASSERT_TRUE(desk.waitForDatagrams(11, deadline));
    // Ten sockets send independently, so arrival order says nothing: match by address.
    std::map<std::string, std::uint16_t> portOf;
    auto datagrams = desk.datagrams();
    auto messages = desk.messages();
    ASSERT_EQ(messages.size(), datagrams.size());
    for (std::size_t i = 0; i < messages.size(); ++i)
        portOf[std::string(messages[i].addressPattern().rawAddress())] = datagrams[i].fromPort;
    std::set<std::uint16_t> firstTen;
    for (int i = 0; i < 10; ++i)
        firstTen.insert(portOf.at("/turn/" + std::to_string(i)));
    EXPECT_EQ(firstTen.size(), 10u);
    EXPECT_EQ(portOf.at("/turn/10"), portOf.at("/turn/0"));
    auto ports = OSCClientPool::shared().localPorts();
    EXPECT_EQ(std::set<std::uint16_t>(ports.begin(), ports.end()), firstTen);
}

TEST(OSCClientPoolTest, RegisteredMonitorGetsEverySentLine) {
    FakeDesk desk(false);
    auto monitor = OSCMonitor::make();
    OSCMonitor::setRegistered(monitor);
    sendOSCMessage(true, "/watched", "127.0.0.1", desk.udpPort(), 3);
    ASSERT_TRUE(mainLoopUntil([&] { return !monitor->outputLog.get().empty(); }));
    EXPECT_EQ(monitor->outputLog.get(), "OSC message sent to 127.0.0.1:" + std::to_string(desk.udpPort()) +
                                            " with address: /watched and argument: 3\n");
    OSCMonitor::setRegistered(nullptr);
}
