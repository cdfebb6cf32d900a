#include "OSCCore/OSCAddressSpace.h"

#include <gtest/gtest.h>

namespace {

// Jobs are kept and run by the test, so nothing runs behind its back.
struct Space {
    std::vector<std::function<void()>> jobs;
    OSCAddressSpace space{[this](std::function<void()> job) { jobs.push_back(std::move(job)); }};
    std::vector<OSCAddressSpace::MethodID> find(const char* pattern) const {
        return space.methods(OSCAddressPattern(pattern));
    }
};

using Ids = std::vector<OSCAddressSpace::MethodID>;

} // namespace

TEST(AddressSpace, RegistersAndMatchesByDepth) {
    Space s;
    const auto b = s.space.registerMethod("/a/b");
    EXPECT_EQ(s.find("/a"), Ids{});
    EXPECT_EQ(s.find("/a/b"), Ids{b});
    EXPECT_EQ(s.find("/a/*"), Ids{b});
    const auto a = s.space.registerMethod("/a");
    EXPECT_EQ(s.find("/a"), Ids{a});
    EXPECT_EQ(s.find("/a/b"), Ids{b});
    EXPECT_EQ(s.space.registerMethod("/a/b"), b); // same address, same id

    const auto root = s.space.registerMethod("/");
    EXPECT_EQ(s.find("/*"), Ids{a});
    EXPECT_NE(root, a);
    EXPECT_EQ(s.find("/"), Ids{});

    Space order;
    const auto x1 = order.space.registerMethod("/x/1");
    const auto x2 = order.space.registerMethod("/x/2");
    const auto y1 = order.space.registerMethod(std::vector<std::string>{"y", "1"});
    EXPECT_EQ(order.find("/*/1"), (Ids{x1, y1}));
    EXPECT_EQ(order.find("/x/*"), (Ids{x1, x2}));
    EXPECT_EQ(order.find("/{y,x}/1"), (Ids{x1, y1}));
    order.space.removeAllMethods();
    EXPECT_EQ(order.find("/*/*"), Ids{});
}

TEST(AddressSpace, Unregistering) {
    Space s;
    const auto b = s.space.registerMethod("/a/b");
    s.space.registerMethod("/a");
    EXPECT_TRUE(s.space.unregisterMethod("/a"));
    EXPECT_EQ(s.find("/a"), Ids{});
    EXPECT_EQ(s.find("/a/b"), Ids{b});
    EXPECT_FALSE(s.space.unregisterMethod("/a")); // now a container
    EXPECT_FALSE(s.space.unregisterMethod("/nothing/here"));
    EXPECT_FALSE(s.space.unregisterMethod("/"));

    s.space.registerMethod("/x/1");
    s.space.registerMethod("/x/2");
    EXPECT_TRUE(s.space.unregisterMethod("/x/1"));
    EXPECT_TRUE(s.space.unregisterMethod(std::vector<std::string>{"x", "2"}));
    EXPECT_EQ(s.find("/x"), Ids{});
    EXPECT_EQ(s.find("/x/*"), Ids{});
}

TEST(AddressSpace, DispatchStartsEveryBlockWithTheValues) {
    Space s;
    std::vector<std::string> calls;
    const auto one = s.space.registerMethod(
        "/m/one", [&](std::vector<OSCValue> v) { calls.push_back("one " + v[0].description()); });
    const auto two = s.space.registerMethod("/m/two");
    const auto three = s.space.registerMethod(
        "/m/three", [&](std::vector<OSCValue> v) { calls.push_back("three " + v[0].description()); });
    const Ids ids = s.space.dispatch(OSCMessage("/m/*", {std::int32_t{5}}));
    EXPECT_EQ(ids, (Ids{one, two, three}));
    ASSERT_EQ(s.jobs.size(), 2u);
    EXPECT_TRUE(calls.empty()); // not run by dispatch itself
    for (auto& job : s.jobs)
        job();
    EXPECT_EQ(calls, (std::vector<std::string>{"one 5", "three 5"}));
}
