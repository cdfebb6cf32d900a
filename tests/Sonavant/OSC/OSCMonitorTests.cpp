#include "Sonavant/OSC/OSCMonitor.h"

#include "OSCTestSupport.h"

#include <gtest/gtest.h>

using namespace osctest;

TEST(OSCMonitorTest, LinesArriveInOneBatchAndALaterLineStartsAnother) {
    auto monitor = OSCMonitor::make();
    std::vector<std::string> appends;
    auto subscription = monitor->outputLog.observe([&](const std::string& next) { appends.push_back(next); });
    monitor->logOutput("one");
    monitor->logOutput("two");
    monitor->logOutput("three");
    ASSERT_TRUE(mainLoopUntil([&] { return !appends.empty(); }));
    EXPECT_EQ(monitor->outputLog.get(), "one\ntwo\nthree\n");

    monitor->logOutput("four");
    ASSERT_TRUE(mainLoopUntil([&] { return appends.size() == 2; }));
    EXPECT_EQ(monitor->outputLog.get(), "one\ntwo\nthree\nfour\n");
    EXPECT_TRUE(monitor->inputLog.get().empty());
    EXPECT_FALSE(monitor->receivedIndicatorActive.get());
}

TEST(OSCMonitorTest, SentIndicatorFlashesOnAndOff) {
    auto monitor = OSCMonitor::make();
    std::vector<bool> states;
    auto subscription = monitor->sentIndicatorActive.observe([&](bool on) { states.push_back(on); });
    monitor->flashSentIndicator();
    monitor->flashSentIndicator();
    ASSERT_TRUE(mainLoopUntil([&] { return states.size() == 4; }));
    EXPECT_EQ(states, (std::vector<bool>{true, true, false, false}));
    EXPECT_FALSE(monitor->sentIndicatorActive.get());
}

TEST(OSCMonitorTest, AMonitorLetGoOfIsLeftAlone) {
    auto monitor = OSCMonitor::make();
    monitor->logOutput("orphan");
    std::weak_ptr<OSCMonitor> weak = monitor;
    monitor.reset();
    // Its queued work holds it only weakly: nothing keeps it, nothing runs on it later.
    EXPECT_TRUE(eventually([&] { return weak.expired(); }));
    platform::MainRunLoop::adoptCurrentThread();
    platform::MainRunLoop::runFor(std::chrono::milliseconds(50));
}
