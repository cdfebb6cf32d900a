#pragma once
// Helpers for the UDP engine tests: a delegate that records every callback, and a plain
// blocking socket on loopback to talk to the engine from outside. Every wait has a deadline.

#include "sockets/UdpSocketEngine.h"
#include "support/Loopback.h"

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace udptest {

using Bytes = UdpSocketEngine::Bytes;
using namespace std::chrono_literals;
constexpr auto kDeadline = 10s;

inline Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
inline std::string text(const Bytes& data) {
    return std::string(data.begin(), data.end());
}

class RecordingDelegate : public UdpSocketEngineDelegate {
public:
    struct Received {
        Bytes data;
        Bytes address;
        std::any context;
    };

    void udpSocketDidConnectToAddress(UdpSocketEngine&, const Bytes& address) override {
        record([&] { connected.push_back(address); });
    }
    void udpSocketDidNotConnect(UdpSocketEngine&, const std::optional<SocketError>& error) override {
        record([&] { notConnected.push_back(error); });
    }
    void udpSocketDidSendDataWithTag(UdpSocketEngine&, std::int64_t tag) override {
        record([&] { sent.push_back(tag); });
    }
    void udpSocketDidNotSendDataWithTag(UdpSocketEngine&, std::int64_t tag,
                                        const std::optional<SocketError>& error) override {
        record([&] { notSent.emplace_back(tag, error); });
    }
    void udpSocketDidReceiveData(UdpSocketEngine&, const Bytes& data, const Bytes& address,
                                 const std::any& context) override {
        record([&] { received.push_back({data, address, context}); });
    }
    void udpSocketDidCloseWithError(UdpSocketEngine&, const std::optional<SocketError>& error) override {
        record([&] { closed.push_back(error); });
    }

    // Waits until pred() (called under the lock) holds; false at the deadline.
    template <class Pred> bool waitFor(Pred pred, std::chrono::milliseconds deadline = kDeadline) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, deadline, pred);
    }
    // Lets callbacks already queued run out, then returns a copy of what arrived.
    template <class T> T snapshot(const T& field) {
        std::lock_guard lock(mutex);
        return field;
    }

    std::mutex mutex;
    std::condition_variable cv;
    std::vector<Bytes> connected;
    std::vector<std::optional<SocketError>> notConnected;
    std::vector<std::int64_t> sent;
    std::vector<std::pair<std::int64_t, std::optional<SocketError>>> notSent;
    std::vector<Received> received;
    std::vector<std::optional<SocketError>> closed;

private:
    template <class F> void record(F f) {
        {
            std::lock_guard lock(mutex);
            f();
        }
        cv.notify_all();
    }
};

struct EngineWithDelegate {
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    platform::DispatchQueuePtr delegateQueue = platform::DispatchQueue::makeSerial("udp.test.delegate");
    std::shared_ptr<UdpSocketEngine> engine = UdpSocketEngine::make(delegate, delegateQueue);

    // Runs a block on the delegate queue and waits: every callback queued before it has run.
    void drainDelegateQueue() {
        delegateQueue->sync([] {});
    }
};

// A plain blocking datagram socket on loopback, with a receive deadline.
class RawUdp {
public:
    explicit RawUdp(int family = AF_INET) : family_(family) {
        fd_ = ::socket(family, SOCK_DGRAM, 0);
        timeval tv{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        if (family == AF_INET6) {
            int on = 1;
            ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        }
        port_ = support::bindToLoopback(fd_, family);
    }
    ~RawUdp() { ::close(fd_); }
    RawUdp(const RawUdp&) = delete;
    RawUdp& operator=(const RawUdp&) = delete;

    std::uint16_t port() const { return port_; }
    int fd() const { return fd_; }

    bool sendTo(std::uint16_t port, const Bytes& data) const {
        if (family_ == AF_INET6) {
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_addr = in6addr_loopback;
            a.sin6_port = htons(port);
            return ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
                   static_cast<ssize_t>(data.size());
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        return ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
               static_cast<ssize_t>(data.size());
    }

    // The next datagram, or nothing after the 5 s deadline.
    std::optional<Bytes> receive(std::uint16_t* fromPort = nullptr) const {
        Bytes buffer(65536);
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return std::nullopt;
        buffer.resize(static_cast<std::size_t>(n));
        if (fromPort)
            *fromPort = from.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6&>(from).sin6_port)
                                                   : ntohs(reinterpret_cast<sockaddr_in&>(from).sin_port);
        return buffer;
    }

    // Whether a datagram is waiting now (no wait).
    bool hasPending() const {
        char byte;
        return ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
    }

private:
    int family_;
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace udptest
