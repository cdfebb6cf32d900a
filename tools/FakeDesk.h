#pragma once
// A loopback peer for end-to-end tests: a desk that listens for UDP datagrams and TCP text
// lines on 127.0.0.1 (ephemeral ports) and records each with its arrival time. It can answer
// like a DS100 (position questions) or like QLab ("/reply" answers with JSON), and it can
// send datagrams of its own. One background thread; every accessor is thread-safe.

#include "OSCCore/OSCMessage.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class FakeDesk {
public:
    using Clock = std::chrono::steady_clock;

    struct Datagram {
        std::vector<std::uint8_t> bytes;
        Clock::time_point arrival;
        std::uint16_t fromPort = 0;
    };

    struct Line {
        std::string text; // without the line feed
        Clock::time_point arrival;
        std::size_t connection = 0; // 1 for the first accepted connection, and so on
    };

    enum class Personality { listener, ds100, qlab };

    // Binds UDP (and, with `listenTCP`, a TCP listener) on 127.0.0.1, port 0.
    explicit FakeDesk(bool listenTCP = true);
    ~FakeDesk();
    FakeDesk(const FakeDesk&) = delete;
    FakeDesk& operator=(const FakeDesk&) = delete;

    std::uint16_t udpPort() const { return udpPort_; }
    std::uint16_t tcpPort() const { return tcpPort_; }

    // What arrived, in arrival order.
    std::vector<Datagram> datagrams() const;
    std::size_t datagramCount() const;
    // The datagrams that decode as OSC messages (bundles are skipped).
    std::vector<OSCMessage> messages() const;
    std::vector<std::string> addresses() const;
    std::vector<Line> lines() const;
    std::size_t lineCount() const;
    // The value each address's last line carried: the address is the line up to its last space.
    std::map<std::string, std::string> lastValuePerAddress() const;
    void clear();

    // Bounded waits; true when the count was reached in time.
    bool waitForDatagrams(std::size_t count, std::chrono::milliseconds timeout) const;
    bool waitForLines(std::size_t count, std::chrono::milliseconds timeout) const;
    bool waitForConnections(std::size_t accepted, std::chrono::milliseconds timeout) const;
    // Waits until `open` TCP connections are open (after a close, fewer).
    bool waitForOpenConnections(std::size_t open, std::chrono::milliseconds timeout) const;

    // TCP: connections accepted so far and those still open.
    std::size_t acceptedConnections() const;
    std::size_t openConnections() const;
    // Closes the accepted connections; the listener stays.
    void dropConnections();
    // Closes the listener and every connection (the desk goes away)...
    void stopListening();
    // ...and listens again on the same port (it comes back). False when the port is taken.
    bool resumeListening();

    // Answers. Replies go from the desk's UDP socket to 127.0.0.1 at `replyPort`, or to
    // the sender's port when it is absent.
    void answerLikeDS100(std::optional<std::uint16_t> replyPort);
    void answerLikeQLab(std::optional<std::uint16_t> replyPort, std::optional<std::string> selectedCueID);
    void stopAnswering();
    // Holds every answer back this long (late replies).
    void setReplyDelay(std::chrono::milliseconds delay);
    // DS100 positions; numbers not set answer with positions made from the number
    // (loudspeaker n: x n, y -n/2, rotation 5n; source n: x n, y n/2).
    void setDS100Speaker(std::int64_t number, std::vector<float> sixValues);
    void setDS100Source(std::int64_t number, std::vector<float> threeValues);
    // QLab: the "data" of the answer to every "/new" is "CUE-<k>" with k counting from 1.
    std::size_t qlabCuesCreated() const;
    // QLab: leaves "/new" "group" unanswered (no group is made) when false.
    void setQLabMakesGroups(bool makes);

    // Sends from the desk's UDP socket to 127.0.0.1:port.
    void sendDatagram(std::uint16_t port, const std::vector<std::uint8_t>& bytes);
    void send(std::uint16_t port, const OSCMessage& message);

private:
    struct Connection {
        int fd = -1;
        std::size_t number = 0;
        std::string buffer;
    };
    struct DueReply {
        Clock::time_point due;
        std::uint16_t port;
        std::vector<std::uint8_t> bytes;
    };

    void run();
    void wake();
    // Runs `task` on the desk's thread and waits for it (socket changes the thread polls).
    void runOnThread(std::function<void()> task);
    void readUDP();
    void acceptTCP();
    bool readTCP(Connection& connection);
    void answer(const std::vector<std::uint8_t>& bytes, std::uint16_t fromPort);
    void closeConnections();
    std::optional<OSCMessage> answerFor(const OSCMessage& message);

    int udpFd_ = -1;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::uint16_t udpPort_ = 0;
    std::uint16_t tcpPort_ = 0;
    bool listenTCP_ = true;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Datagram> datagrams_;
    std::vector<Line> lines_;
    std::vector<Connection> connections_;
    std::size_t accepted_ = 0;
    bool stopping_ = false;
    Personality personality_ = Personality::listener;
    std::optional<std::uint16_t> replyPort_;
    std::optional<std::string> selectedCueID_;
    std::chrono::milliseconds replyDelay_{0};
    std::map<std::int64_t, std::vector<float>> speakers_;
    std::map<std::int64_t, std::vector<float>> sources_;
    std::size_t qlabCues_ = 0;
    bool qlabMakesGroups_ = true;
    std::vector<DueReply> dueReplies_;
    std::vector<std::function<void()>> tasks_;
    std::uint64_t tasksQueued_ = 0;
    std::uint64_t tasksDone_ = 0;

    std::thread thread_;
};
