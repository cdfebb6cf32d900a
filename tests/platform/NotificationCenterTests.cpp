#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace platform;

TEST(NotificationCenter, ObserversOfTheNameRunOnPost) {
    MainRunLoop::adoptCurrentThread();
    NotificationCenter center;
    std::vector<std::string> got;
    auto mixer = center.addObserver("OpenMixer", [&](const Notification& n) { got.push_back(n.name); });
    auto fades = center.addObserver("GenerateFadeCues", [&](const Notification& n) {
        got.push_back(n.name + ":" + *n.userInfo.find("cue")->asText());
    });
    center.post("OpenMixer");
    center.post("GenerateFadeCues", ValueObject{{"cue", "3"}});
    center.post("ExportState"); // nobody listens
    EXPECT_EQ(got, (std::vector<std::string>{"OpenMixer", "GenerateFadeCues:3"}));
    mixer.cancel();
    center.post("OpenMixer");
    EXPECT_EQ(got.size(), 2u);
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}

TEST(NotificationCenter, PostFromAnotherThreadIsDeliveredOnTheMainThread) {
    MainRunLoop::adoptCurrentThread();
    NotificationCenter center;
    auto mainThread = std::this_thread::get_id();
    int calls = 0;
    bool onMain = false;
    auto token = center.addObserver("ImportState", [&](const Notification&) {
        ++calls;
        onMain = std::this_thread::get_id() == mainThread;
    });
    std::thread([&] { center.post("ImportState"); }).join();
    EXPECT_EQ(calls, 0); // not on the posting thread
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return calls == 1; }, std::chrono::seconds(5)));
    EXPECT_TRUE(onMain);
}
