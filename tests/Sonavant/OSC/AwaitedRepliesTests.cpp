#include "Sonavant/OSC/AwaitedReplies.h"

#include "OSCTestSupport.h"
#include "Sonavant/OSC/OSCClientPool.h"
#include "Sonavant/OSC/OSCReceiver.h"
#include "tools/FakeDesk.h"

#include <gtest/gtest.h>

using namespace osctest;
using Reply = std::optional<std::string>;

namespace {

// A receiver listening on an ephemeral port, and a peer that sends it replies.
class AwaitedRepliesTest : public ::testing::Test {
protected:
    void SetUp() override {
        receiver = OSCReceiver::make(0);
        receiver->start();
    }

    void reply(const std::string& address, std::vector<OSCValue> values) {
        peer.send(receiver->localPort(), OSCMessage(address, std::move(values)));
    }

    // Waits on the main queue, as the fade-cue generation does.
    Reply awaitOnMain(const std::string& address, double timeout) {
        bool done = false;
        Reply result;
        receiver->awaitReply(address, timeout, [&](const Reply& text) {
            EXPECT_FALSE(done) << "resumed twice";
            done = true;
            result = text;
        });
        EXPECT_TRUE(
            mainLoopUntil([&] { return done; }, std::chrono::milliseconds(int(timeout * 1000) + 5000)));
        return result;
    }

    // A unique address per test keeps the process-wide tables from mixing tests.
    std::string unique(const std::string& stem) {
        return stem + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    FakeDesk peer{false};
    std::shared_ptr<OSCReceiver> receiver;
};

} // namespace

TEST_F(AwaitedRepliesTest, ReplyInTimeGivesItsDataMember) {
    const auto address = unique("/reply/new");
    bool done = false;
    Reply result;
    receiver->awaitReply(address, 2.0, [&](const Reply& text) {
        done = true;
        result = text;
    });
    // Registration may still be queued: the reply is kept either way.
    reply(address, {OSCValue(R"({"status":"ok","data":"ABC-123"})")});
    ASSERT_TRUE(mainLoopUntil([&] { return done; }));
    EXPECT_EQ(result, "ABC-123");
}

TEST_F(AwaitedRepliesTest, EarlyReplyIsBufferedUnderItsExactAddressOnly) {
    platform::LogCapture log;
    const auto address = unique("/reply/cue/selected/uniqueID");
    reply(address, {OSCValue(R"({"data":"CUE-7"})")});
    ASSERT_TRUE(logged(log, "🕒 Buffering early reply for " + address + ": CUE-7"));

    // A prefix of the address does not take a buffered reply.
    EXPECT_EQ(awaitOnMain(unique("/reply/cue/selected"), 0.1), std::nullopt);
    EXPECT_EQ(awaitOnMain(address, 2.0), "CUE-7");
    EXPECT_TRUE(log.contains("⚡️ Using buffered reply for " + address + ": CUE-7"));
    EXPECT_EQ(awaitOnMain(address, 0.1), std::nullopt);
}

TEST_F(AwaitedRepliesTest, RegisteredPrefixWaitsAllReceiveOneReply) {
    const auto base = unique("/reply/cue");
    int done = 0;
    Reply a, b;
    receiver->awaitReply(base, 2.0, [&](const Reply& t) { a = t, ++done; });
    receiver->awaitReply(base + "/level", 2.0, [&](const Reply& t) { b = t, ++done; });
    // Both waits are registered when awaitReply returns.
    EXPECT_GE(AwaitedReplies::shared().channelCount(), 2u);
    reply(base + "/level/0/1", {OSCValue(R"({"data":"-6.0"})")});
    ASSERT_TRUE(mainLoopUntil([&] { return done == 2; }));
    EXPECT_EQ(a, "-6.0");
    EXPECT_EQ(b, "-6.0");
}

TEST_F(AwaitedRepliesTest, ReplyTextsAndRepliesWithoutArguments) {
    EXPECT_EQ(AwaitedReplies::replyText(R"({"data":"x"})"), "x");
    EXPECT_EQ(AwaitedReplies::replyText("plain text"), "plain text");
    EXPECT_EQ(AwaitedReplies::replyText(R"({"data":5})"), R"({"data":5})");
    EXPECT_EQ(AwaitedReplies::replyText(R"(["data"])"), R"(["data"])");
    EXPECT_EQ(AwaitedReplies::replyText(R"({"nodata":"x"})"), R"({"nodata":"x"})");
    EXPECT_EQ(AwaitedReplies::replyText("{\"data\":\"x\""), "{\"data\":\"x\"");
    // Escapes, further members and non-ASCII text are read as JSON reads them.
    EXPECT_EQ(AwaitedReplies::replyText(R"({"data":"a\u0041\"b"})"), "aA\"b");
    EXPECT_EQ(AwaitedReplies::replyText(R"({"data":"x","more":"y"})"), "x");
    EXPECT_EQ(AwaitedReplies::replyText("{\"data\":\"caf\xc3\xa9\"}"), "caf\xc3\xa9");
    EXPECT_EQ(AwaitedReplies::replyText("{\"data\":\"caf\xc3\"}"), "{\"data\":\"caf\xc3\"}");
    EXPECT_EQ(AwaitedReplies::replyText(R"({"data":"tab	here"})"), R"({"data":"tab	here"})");

    const auto address = unique("/reply/plain");
    reply(address, {});
    reply(address, {OSCValue("just text")});
    EXPECT_EQ(awaitOnMain(address, 2.0), "just text");
}

TEST_F(AwaitedRepliesTest, NoReplyEndsWithNothingAndALateOneWaitsForTheNextWait) {
    const auto address = unique("/reply/late");
    EXPECT_EQ(awaitOnMain(address, 0.05), std::nullopt);
    ASSERT_TRUE(eventually([] { return AwaitedReplies::shared().channelCount() == 0; }));
    // The ended wait no longer listens, so the late reply is kept, not swallowed.
    platform::LogCapture log;
    reply(address, {OSCValue("too late")});
    ASSERT_TRUE(logged(log, "🕒 Buffering early reply for " + address + ": too late"));
    EXPECT_EQ(awaitOnMain(address, 1.0), "too late");
}

TEST_F(AwaitedRepliesTest, ReplyRacingItsRegistrationIsNeverLost) {
    auto& replies = AwaitedReplies::shared();
    for (int i = 0; i < 50; ++i) {
        const auto address = unique("/reply/race") + "/" + std::to_string(i);
        replies.handleReply(address, "answer " + std::to_string(i));
        EXPECT_EQ(receiver->awaitReplyBlocking(address, 2.0), "answer " + std::to_string(i));
    }
}

TEST_F(AwaitedRepliesTest, EarlyReplyBufferIsCapped) {
    auto& replies = AwaitedReplies::shared();
    const auto stem = unique("/reply/flood");
    for (int i = 0; i < 500; ++i)
        replies.handleReply(stem + "/" + std::to_string(i), "x");
    replies.handleReply(stem + "/last", "newest");
    EXPECT_EQ(receiver->awaitReplyBlocking(stem + "/last", 0.0), "newest");
    EXPECT_LE(replies.bufferedReplyCount(), AwaitedReplies::earlyReplyLimit);
    // The oldest went first; a reply that came again counts from its new arrival.
    for (int i = 0; i < 70; ++i)
        replies.handleReply(stem + "/again/" + std::to_string(i), "v1");
    replies.handleReply(stem + "/again/6", "v2"); // the oldest kept, now the newest
    replies.handleReply(stem + "/again/70", "x");
    EXPECT_EQ(replies.bufferedReplyCount(), AwaitedReplies::earlyReplyLimit);
    EXPECT_EQ(receiver->awaitReplyBlocking(stem + "/again/6", 0.0), "v2");
    EXPECT_EQ(receiver->awaitReplyBlocking(stem + "/again/7", 0.0), std::nullopt);
    EXPECT_EQ(receiver->awaitReplyBlocking(stem + "/again/8", 0.0), "v1");
    EXPECT_EQ(receiver->awaitReplyBlocking(stem + "/again/69", 0.0), "v1");
}

// Kept entries are reused as new addresses push old ones out, many times over: each kept
// address answers with its own newest text, and what was pushed out answers nothing.
TEST_F(AwaitedRepliesTest, EarlyRepliesStayTrueToTheirAddressesThroughManyEvictions) {
    auto& replies = AwaitedReplies::shared();
    const auto stem = unique("/reply/cycle");
    constexpr int limit = static_cast<int>(AwaitedReplies::earlyReplyLimit);
    const int total = 5 * limit + 7;
    for (int i = 0; i < total; ++i)
        replies.handleReply(stem + "/" + std::to_string(i),
                            std::string(R"({"data":"t)") + std::to_string(i) + "\"}");
    replies.handleReply(stem + "/" + std::to_string(total - limit), "again"); // the oldest kept, refreshed
    replies.handleReply(stem + "/late", "late");                              // pushes out the next oldest
    EXPECT_EQ(replies.bufferedReplyCount(), AwaitedReplies::earlyReplyLimit);
    EXPECT_EQ(receiver->awaitReplyBlocking(stem + "/" + std::to_string(total - limit), 0.0), "again");
    EXPECT_EQ(receiver->awaitReplyBlocking(stem + "/" + std::to_string(total - limit + 1), 0.0),
              std::nullopt);
    for (int i = total - limit + 2; i < total; ++i)
        EXPECT_EQ(receiver->awaitReplyBlocking(stem + "/" + std::to_string(i), 0.0), "t" + std::to_string(i));
    EXPECT_EQ(receiver->awaitReplyBlocking(stem + "/late", 0.0), "late");
    EXPECT_EQ(receiver->awaitReplyBlocking(stem + "/0", 0.0), std::nullopt);
    EXPECT_EQ(replies.bufferedReplyCount(), 0u);
}

// A reply discarded as stale is never handed to a later wait; one that comes after the
// discard is.
TEST_F(AwaitedRepliesTest, DiscardedReplyIsNeverTakenButTheNextOneIs) {
    auto& replies = AwaitedReplies::shared();
    const auto address = unique("/reply/cue/selected/uniqueID");
    replies.handleReply(address, R"({"data":"stale"})");
    replies.discardEarlyReply(address);
    EXPECT_EQ(receiver->awaitReplyBlocking(address, 0.05), std::nullopt);
    replies.handleReply(address, R"({"data":"fresh"})");
    EXPECT_EQ(receiver->awaitReplyBlocking(address, 2.0), "fresh");
}

TEST_F(AwaitedRepliesTest, FakeQLabAnswersItsQueries) {
    peer.answerLikeQLab(receiver->localPort(), "SELECTED-1");
    const auto port = peer.udpPort();
    bool done = false;
    Reply selected;
    receiver->awaitReply("/reply/cue/selected/uniqueID", 2.0, [&](const Reply& t) {
        done = true;
        selected = t;
    });
    sendOSCMessage(true, "/cue/selected/uniqueID", "127.0.0.1", port);
    ASSERT_TRUE(mainLoopUntil([&] { return done; }));
    EXPECT_EQ(selected, "SELECTED-1");

    sendOSCMessage(true, "/new", "127.0.0.1", port);
    EXPECT_EQ(awaitOnMain("/reply/new", 2.0), "CUE-1");
    // Silence: the wait simply ends empty.
    peer.stopAnswering();
    sendOSCMessage(true, "/new", "127.0.0.1", port);
    EXPECT_EQ(awaitOnMain("/reply/new", 0.2), std::nullopt);
}
