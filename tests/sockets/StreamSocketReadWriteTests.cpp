// Queued reads (available data, fixed length, up to a terminator) and writes, their
// timeouts, maximum lengths, the pre-buffer and the peer's close.

#include "StreamSocketTestSupport.h"

#include <cerrno>
#include <cmath>
#include <gtest/gtest.h>

using namespace streamtest;

namespace {

// A listening StreamSocket and a raw peer connected to it; `sock` is the accepted side.
struct RawPair {
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<StreamSocket> listener = makeSocket(delegate);
    std::shared_ptr<StreamSocket> sock;
    std::unique_ptr<RawPeer> peer;

    RawPair() {
        EXPECT_TRUE(listener->acceptOnInterface("127.0.0.1", 0));
        peer = std::make_unique<RawPeer>(listener->localPort());
        EXPECT_TRUE(peer->connected());
        EXPECT_TRUE(delegate->waitFor([&] { return delegate->accepted.size() == 1; }));
        sock = delegate->accepted.at(0);
    }
    ~RawPair() {
        if (sock)
            sock->disconnect();
    }
};

} // namespace

TEST(StreamSocketReadWrite, TerminatorSplitAcrossArrivalsAndRestLeftForTheNextRead) {
    RawPair pair;
    auto& d = *pair.delegate;
    pair.sock->readDataToData(StreamSocket::CRLFData(), 5, 1);
    ASSERT_TRUE(pair.peer->send("abc\r"));
    ASSERT_TRUE(d.waitFor([&] { return d.partialReads.size() == 1; }));
    EXPECT_EQ(d.partialReads[0], 4u);
    ASSERT_TRUE(pair.peer->send("\nxyz"));
    ASSERT_TRUE(d.waitFor([&] { return d.reads.size() == 1; }));
    EXPECT_EQ(d.readText(0), "abc\r\n");

    // "xyz" waits in the pre-buffer; a length read takes it without a new arrival.
    pair.sock->readDataToLength(3, 5, 2);
    ASSERT_TRUE(d.waitFor([&] { return d.reads.size() == 2; }));
    EXPECT_EQ(d.readText(1), "xyz");

    // Two terminator reads over one arrival; the second is served from the pre-buffer.
    ASSERT_TRUE(pair.peer->send("a\nb\n"));
    pair.sock->readDataToData(StreamSocket::LFData(), 5, 3);
    pair.sock->readDataToData(StreamSocket::LFData(), 5, 4);
    ASSERT_TRUE(d.waitFor([&] { return d.reads.size() == 4; }));
    EXPECT_EQ(d.readText(2), "a\n");
    EXPECT_EQ(d.readText(3), "b\n");
    EXPECT_EQ(d.reads[3].first, 4);

    // No read under way: progress is not a number.
    std::int64_t tag = -1;
    std::uint64_t bytesDone = 1, bytesTotal = 1;
    EXPECT_TRUE(std::isnan(pair.sock->progressOfReadReturningTag(&tag, &bytesDone, &bytesTotal)));
    EXPECT_EQ(bytesDone, 0u);
}

TEST(StreamSocketReadWrite, LengthReadReportsPartialProgressAndFillsACallersBuffer) {
    RawPair pair;
    auto& d = *pair.delegate;
    pair.sock->readDataToLength(100, 5, 1);
    ASSERT_TRUE(pair.peer->send(std::string(60, 'x')));
    ASSERT_TRUE(d.waitFor([&] { return d.partialReads.size() == 1; }));
    EXPECT_EQ(d.partialReads[0], 60u);
    std::int64_t tag = 0;
    std::uint64_t done = 0, total = 0;
    EXPECT_FLOAT_EQ(pair.sock->progressOfReadReturningTag(&tag, &done, &total), 0.6f);
    EXPECT_EQ(tag, 1);
    EXPECT_EQ(total, 100u);
    ASSERT_TRUE(pair.peer->send(std::string(40, 'y')));
    ASSERT_TRUE(d.waitFor([&] { return d.reads.size() == 1; }));
    EXPECT_EQ(d.readText(0), std::string(60, 'x') + std::string(40, 'y'));
    EXPECT_EQ(d.partialReads.size(), 1u);

    // Into the caller's buffer at offset 4: the data views those bytes; the buffer keeps its length.
    auto buffer =
        std::make_shared<std::vector<std::uint8_t>>(std::vector<std::uint8_t>{'H', 'E', 'A', 'D', '-', '-'});
    pair.sock->readDataToLength(5, 5, buffer, 4, 2);
    ASSERT_TRUE(pair.peer->send("12345"));
    ASSERT_TRUE(d.waitFor([&] { return d.reads.size() == 2; }));
    EXPECT_EQ(d.readText(1), "12345");
    EXPECT_EQ(std::string(buffer->begin(), buffer->end()), "HEAD12345");

    // An offset past the buffer's end is refused without a callback.
    pair.sock->readDataToLength(1, 5, buffer, 100, 3);
    pair.sock->readDataWithTimeout(5, 4);
    ASSERT_TRUE(pair.peer->send("z"));
    ASSERT_TRUE(d.waitFor([&] { return d.reads.size() == 3; }));
    EXPECT_EQ(d.reads[2].first, 4);
}

TEST(StreamSocketReadWrite, TerminatorReadHonoursItsMaximumLength) {
    RawPair pair;
    auto& d = *pair.delegate;
    pair.sock->readDataToData(StreamSocket::LFData(), 5, 10, 1);
    ASSERT_TRUE(pair.peer->send("123456789"));
    ASSERT_TRUE(d.waitFor([&] { return d.partialReads.size() == 1; }));
    EXPECT_EQ(d.partialReads[0], 9u);
    d.flush();
    EXPECT_EQ(d.disconnects, 0); // nine bytes still fit

    // The tenth byte is not the terminator: the read has reached its maximum.
    ASSERT_TRUE(pair.peer->send("0\n"));
    ASSERT_TRUE(d.waitFor([&] { return d.disconnects == 1; }));
    ASSERT_TRUE(d.disconnectError);
    EXPECT_EQ(d.disconnectError->code, StreamSocketReadMaxedOutError);
    EXPECT_EQ(d.disconnectError->localizedDescription(), "Read operation reached set maximum length");
    EXPECT_TRUE(d.reads.empty());

    // An available-data read stops at its maximum and leaves the rest for later.
    RawPair second;
    auto& e = *second.delegate;
    ASSERT_TRUE(second.peer->send("abcdefgh"));
    second.sock->readDataWithTimeout(5, nullptr, 0, 3, 1);
    second.sock->readDataWithTimeout(5, 2);
    ASSERT_TRUE(e.waitFor([&] { return e.reads.size() == 2; }));
    EXPECT_EQ(e.readText(0), "abc");
    EXPECT_EQ(e.readText(1), "defgh");
}

TEST(StreamSocketReadWrite, ReadTimeoutCanBeExtendedByTheDelegateThenCloses) {
    RawPair pair;
    auto& d = *pair.delegate;
    {
        std::lock_guard lock(d.mutex);
        d.readTimeoutAnswers = {0.2};
    }
    pair.sock->readDataToLength(10, 0.1, 7);
    ASSERT_TRUE(d.waitFor([&] { return d.disconnects == 1; }));
    ASSERT_EQ(d.readTimeouts.size(), 2u);
    EXPECT_EQ(d.readTimeouts[0].first, 7);
    EXPECT_DOUBLE_EQ(d.readTimeouts[0].second, 0.1);
    EXPECT_DOUBLE_EQ(d.readTimeouts[1].second, 0.1 + 0.2);
    ASSERT_TRUE(d.disconnectError);
    EXPECT_EQ(d.disconnectError->code, StreamSocketReadTimeoutError);
    EXPECT_EQ(d.disconnectError->localizedDescription(), "Read operation timed out");
}

TEST(StreamSocketReadWrite, WriteTimeoutWhenThePeerStopsReading) {
    RawPair pair;
    auto& d = *pair.delegate;
    // Far more than the loopback socket buffers hold while the peer reads nothing.
    std::vector<std::uint8_t> big(64 * 1024 * 1024, 0x55);
    pair.sock->writeData(std::move(big), 0.3, 9);
    ASSERT_TRUE(d.waitFor([&] { return d.disconnects == 1; }));
    ASSERT_TRUE(d.disconnectError);
    EXPECT_EQ(d.disconnectError->code, StreamSocketWriteTimeoutError);
    EXPECT_EQ(d.disconnectError->localizedDescription(), "Write operation timed out");
    ASSERT_EQ(d.writeTimeouts.size(), 1u);
    EXPECT_EQ(d.writeTimeouts[0].first, 9);
    EXPECT_TRUE(d.writes.empty());
}

TEST(StreamSocketReadWrite, PeerClosingMidReadEndsWithClosedError) {
    RawPair pair;
    auto& d = *pair.delegate;
    pair.sock->readDataToLength(10, 5, 1);
    ASSERT_TRUE(pair.peer->send("1234"));
    pair.peer->close();
    ASSERT_TRUE(d.waitFor([&] { return d.disconnects == 1; }));
    ASSERT_TRUE(d.disconnectError);
    EXPECT_EQ(d.disconnectError->code, StreamSocketClosedError);
    EXPECT_TRUE(d.reads.empty());
}

TEST(StreamSocketReadWrite, BytesLeftAtEndOfStreamCanStillBeRead) {
    RawPair pair;
    auto& d = *pair.delegate;
    pair.sock->readDataToData(StreamSocket::LFData(), 5, 1);
    ASSERT_TRUE(pair.peer->send("a\nb\n"));
    ASSERT_TRUE(d.waitFor([&] { return d.reads.size() == 1; }));
    pair.peer->close();
    // Whether or not the end of stream is seen first, the buffered line is still delivered.
    pair.sock->readDataToData(StreamSocket::LFData(), 5, 2);
    ASSERT_TRUE(d.waitFor([&] { return d.disconnects == 1; }));
    EXPECT_EQ(d.readText(0), "a\n");
    EXPECT_EQ(d.readText(1), "b\n");
    EXPECT_EQ(d.disconnectError->code, StreamSocketClosedError);
}

TEST(StreamSocketReadWrite, HalfDuplexKeepsWritingAfterThePeerStopsSending) {
    RawPair pair;
    auto& d = *pair.delegate;
    pair.sock->setAutoDisconnectOnClosedReadStream(false);
    EXPECT_FALSE(pair.sock->autoDisconnectOnClosedReadStream());
    pair.sock->readDataWithTimeout(5, 1);
    pair.peer->shutdownWrite();
    ASSERT_TRUE(d.waitFor([&] { return d.readStreamClosed == 1; }));
    pair.sock->writeData(StreamSocketData::fromString("still here"), 5, 2);
    EXPECT_EQ(pair.peer->receive(10), "still here");
    ASSERT_TRUE(d.waitFor([&] { return d.writes.size() == 1; }));
    d.flush();
    EXPECT_EQ(d.disconnects, 0);
}
