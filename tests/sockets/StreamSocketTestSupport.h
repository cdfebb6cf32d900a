#pragma once
// Helpers for the stream socket tests: a delegate that records every callback (and can echo,
// answer timeouts and decide on trust), a blocking raw peer, and bounded waits.

#include "sockets/StreamSocket.h"
#include "sockets/StreamSocketTrust.h"

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace streamtest {

using namespace std::chrono_literals;
constexpr auto kDeadline = 10s;

class RecordingDelegate : public StreamSocketDelegate {
public:
    explicit RecordingDelegate(std::string label = "StreamSocketTests.delegate")
        : queue(platform::DispatchQueue::makeSerial(std::move(label))) {}

    // ---- Behaviour, set before use ----
    bool echo = false;                      // accepted sockets read whatever comes and write it back
    std::vector<double> readTimeoutAnswers; // consumed in order; 0 once empty
    std::vector<double> writeTimeoutAnswers;
    bool evaluatesTrust = false;
    std::function<bool(const StreamSocketTrust&)> trustDecision;
    int trustAnswers = 1; // how many times the handler is called

    // ---- Records (guarded by mutex) ----
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::shared_ptr<StreamSocket>> accepted;
    int connects = 0;
    std::string connectedHost, connectedUrl;
    std::uint16_t connectedPort = 0;
    std::vector<std::pair<std::int64_t, std::string>> reads;
    std::vector<std::uint64_t> partialReads;
    std::vector<std::int64_t> writes;
    std::vector<std::pair<std::int64_t, double>> readTimeouts, writeTimeouts;
    int readStreamClosed = 0;
    int secured = 0;
    int trustRequests = 0;
    std::shared_ptr<StreamSocketTrust> trust;
    int disconnects = 0;
    std::optional<SocketError> disconnectError;

    platform::DispatchQueuePtr queue;

    template <class Predicate>
    bool waitFor(Predicate predicate, std::chrono::milliseconds deadline = kDeadline) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, deadline, [&] { return predicate(); });
    }
    // Every callback posted so far has run.
    void flush() {
        queue->sync([] {});
    }
    std::string readText(std::size_t index) const {
        std::lock_guard lock(mutex);
        return index < reads.size() ? reads[index].second : std::string();
    }

    void socketDidAcceptNewSocket(StreamSocket&, std::shared_ptr<StreamSocket> newSocket) override {
        if (echo)
            newSocket->readDataWithTimeout(-1, 0);
        record([&] { accepted.push_back(newSocket); });
    }
    void socketDidConnectToHost(StreamSocket&, const std::string& host, std::uint16_t port) override {
        record([&] {
            ++connects;
            connectedHost = host;
            connectedPort = port;
        });
    }
    void socketDidConnectToUrl(StreamSocket&, const std::string& url) override {
        record([&] {
            ++connects;
            connectedUrl = url;
        });
    }
    void socketDidReadData(StreamSocket& sock, const StreamSocketData& data, std::int64_t tag) override {
        if (echo) {
            sock.writeData(data.toVector(), -1, tag);
            sock.readDataWithTimeout(-1, tag);
        }
        record([&] { reads.emplace_back(tag, data.toString()); });
    }
    void socketDidReadPartialDataOfLength(StreamSocket&, std::uint64_t length, std::int64_t) override {
        record([&] { partialReads.push_back(length); });
    }
    double socketShouldTimeoutReadWithTag(StreamSocket&, std::int64_t tag, double elapsed,
                                          std::uint64_t) override {
        double answer = 0;
        record([&] {
            readTimeouts.emplace_back(tag, elapsed);
            if (!readTimeoutAnswers.empty()) {
                answer = readTimeoutAnswers.front();
                readTimeoutAnswers.erase(readTimeoutAnswers.begin());
            }
        });
        return answer;
    }
    void socketDidCloseReadStream(StreamSocket&) override {
        record([&] { ++readStreamClosed; });
    }
    void socketDidWriteDataWithTag(StreamSocket&, std::int64_t tag) override {
        record([&] { writes.push_back(tag); });
    }
    double socketShouldTimeoutWriteWithTag(StreamSocket&, std::int64_t tag, double elapsed,
                                           std::uint64_t) override {
        double answer = 0;
        record([&] {
            writeTimeouts.emplace_back(tag, elapsed);
            if (!writeTimeoutAnswers.empty()) {
                answer = writeTimeoutAnswers.front();
                writeTimeoutAnswers.erase(writeTimeoutAnswers.begin());
            }
        });
        return answer;
    }
    void socketDidSecure(StreamSocket&) override {
        record([&] { ++secured; });
    }
    bool socketDidReceiveTrust(StreamSocket&, std::shared_ptr<StreamSocketTrust> peerTrust,
                               std::function<void(bool)> completionHandler) override {
        if (!evaluatesTrust)
            return false;
        const bool answer = trustDecision ? trustDecision(*peerTrust) : true;
        record([&] {
            ++trustRequests;
            trust = peerTrust;
        });
        for (int i = 0; i < trustAnswers; ++i)
            completionHandler(i == 0 ? answer : !answer);
        return true;
    }
    void socketDidDisconnect(StreamSocket&, const std::optional<SocketError>& error) override {
        record([&] {
            ++disconnects;
            disconnectError = error;
        });
    }

private:
    template <class F> void record(F&& change) {
        {
            std::lock_guard lock(mutex);
            change();
        }
        changed.notify_all();
    }
};

inline std::shared_ptr<StreamSocket> makeSocket(const std::shared_ptr<RecordingDelegate>& delegate) {
    return StreamSocket::make(delegate, delegate->queue);
}

// A blocking socket on the other end, under the test's direct control.
class RawPeer {
public:
    explicit RawPeer(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawPeer() { close(); }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    bool connected() const { return connected_; }
    bool send(const std::string& text) {
        return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }
    // Reads until `length` bytes came, end of stream or the receive deadline.
    std::string receive(std::size_t length) {
        std::string result;
        char buffer[4096];
        while (result.size() < length) {
            const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, length - result.size()), 0);
            if (n <= 0)
                break;
            result.append(buffer, static_cast<std::size_t>(n));
        }
        return result;
    }
    void shutdownWrite() { ::shutdown(fd_, SHUT_WR); }
    void close() {
        if (fd_ != -1)
            ::close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool connected_ = false;
};

inline std::string errorText(const std::optional<SocketError>& error) {
    return error ? error->localizedDescription() : std::string();
}

} // namespace streamtest
