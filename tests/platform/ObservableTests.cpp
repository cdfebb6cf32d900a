#include "platform/Observable.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace platform;

TEST(Published, AnnouncesBeforeTheValueIsVisible) {
    Published<int> level = 1;
    std::vector<std::pair<int, int>> seen; // (property during the announcement, argument)
    auto token = level.observe([&](const int& next) { seen.emplace_back(level.get(), next); });
    level = 2;
    level = 2; // every assignment, also of an equal value
    level.update([](int& v) { v += 5; });
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}, {2, 7}}));
    EXPECT_EQ(level.get(), 7);

    // sink delivers the current value at once, then every assignment.
    std::vector<int> sunk;
    auto sinkToken = level.sink([&](const int& v) { sunk.push_back(v); });
    level = 8;
    EXPECT_EQ(sunk, (std::vector<int>{7, 8}));
}

TEST(Published, ExchangeAnnouncesLikeSetAndReturnsTheOldValue) {
    Published<std::vector<int>> items = std::vector<int>{1, 2};
    std::vector<std::pair<std::vector<int>, std::vector<int>>> seen; // (property, argument)
    auto token = items.observe([&](const std::vector<int>& next) { seen.emplace_back(items.get(), next); });
    const std::vector<int> old = items.exchange(std::vector<int>{3});
    EXPECT_EQ(old, (std::vector<int>{1, 2}));
    EXPECT_EQ(items.get(), std::vector<int>{3});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, (std::vector<int>{1, 2})); // still the old value while announcing
    EXPECT_EQ(seen[0].second, std::vector<int>{3});

    // A subscriber that destroys the owner: nothing to hand back.
    struct Owner {
        Published<std::vector<int>> items{std::vector<int>{7}};
    };
    auto owner = std::make_unique<Owner>();
    Subscription killer = owner->items.observe([&](const std::vector<int>&) { owner.reset(); });
    EXPECT_TRUE(owner->items.exchange(std::vector<int>{8}).empty());
    EXPECT_EQ(owner, nullptr);
}

TEST(Published, DroppingTheTokenEndsTheSubscription) {
    Published<std::string> name = std::string("a");
    int calls = 0;
    {
        auto token = name.observe([&](const std::string&) { ++calls; });
        name = "b";
        Subscription moved = std::move(token);
        EXPECT_FALSE(token.isActive());
        name = "c";
    }
    name = "d";
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(name.subscriberCount(), 0u);

    SubscriptionBag bag;
    name.observe([&](const std::string&) { ++calls; }).store(bag);
    name.observe([&](const std::string&) { ++calls; }).store(bag);
    name = "e";
    EXPECT_EQ(calls, 4);
    bag.clear();
    name = "f";
    EXPECT_EQ(calls, 4);

    // Reassigning a token ends the subscription it held.
    Subscription t = name.observe([&](const std::string&) { ++calls; });
    t = name.observe([&](const std::string&) { calls += 10; });
    name = "g";
    EXPECT_EQ(calls, 14);
}

TEST(Published, CallbacksMayChangeSubscriptionsWhileAnnouncing) {
    Published<int> value = 0;
    std::vector<std::string> log;
    Subscription self, other, added;
    self = value.observe([&](const int& v) {
        log.push_back("self " + std::to_string(v));
        self.cancel(); // its own token, mid-call
    });
    other = value.observe([&](const int& v) {
        log.push_back("other " + std::to_string(v));
        if (!added.isActive())
            added = value.observe([&](const int& w) { log.push_back("added " + std::to_string(w)); });
    });
    value = 1; // "added" joins during this announcement and does not receive it
    value = 2;
    EXPECT_EQ(log, (std::vector<std::string>{"self 1", "other 1", "other 2", "added 2"}));

    // A subscriber cancelling a later one prevents that one's call.
    Published<int> v2 = 0;
    int laterCalls = 0;
    Subscription later;
    auto first = v2.observe([&](const int&) { later.cancel(); });
    later = v2.observe([&](const int&) { ++laterCalls; });
    v2 = 1;
    EXPECT_EQ(laterCalls, 0);
}

TEST(Published, TokensAndOwnersMayGoInAnyOrder) {
    Subscription token;
    {
        Published<int> shortLived = 0;
        token = shortLived.observe([](const int&) {});
    }
    token.cancel(); // publisher gone: nothing to do, no crash

    // A subscriber that destroys the owner of the property during the announcement.
    struct Owner {
        Published<std::vector<int>> items;
    };
    auto owner = std::make_unique<Owner>();
    Subscription killer = owner->items.observe([&](const std::vector<int>&) { owner.reset(); });
    owner->items = std::vector<int>{1, 2, 3};
    EXPECT_EQ(owner, nullptr);
}

TEST(Subject, SendsToCurrentSubscribersOnly) {
    Subject<std::string> replies;
    replies.send("nobody listens");
    std::vector<std::string> got;
    auto token = replies.sink([&](const std::string& s) { got.push_back(s); });
    replies.send("one");
    token.cancel();
    replies.send("two");
    EXPECT_EQ(got, std::vector<std::string>{"one"});

    Subject<void> ping;
    int pings = 0;
    SubscriptionBag bag;
    ping.sink([&] {
            ++pings;
            bag.clear(); // drops its own token from inside the call
        })
        .store(bag);
    ping.send();
    ping.send();
    EXPECT_EQ(pings, 1);
}
