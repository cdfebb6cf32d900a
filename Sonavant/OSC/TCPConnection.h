#pragma once
// One outgoing TCP connection on non-blocking sockets and the dispatch reactor: resolves the
// host, tries each address in turn, holds writes until the connection is ready and finishes
// partial writes. Incoming bytes are read and discarded, so a peer that closes is noticed.

#include "platform/Dispatch.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TCPConnection : public std::enable_shared_from_this<TCPConnection> {
public:
    struct Error {
        int code = 0; // errno, or a resolver code for a failed resolution
        std::string description;
    };

    struct State {
        enum class Kind { setup, preparing, ready, failed, cancelled };
        Kind kind = Kind::setup;
        std::optional<Error> error; // with failed
        bool operator==(Kind k) const { return kind == k; }
    };

    using StateHandler = std::function<void(const State&)>;
    using SendCompletion = std::function<void(const std::optional<Error>&)>;

    // The state handler and the send completions run on one serial queue of this priority.
    static std::shared_ptr<TCPConnection> make(std::string host, std::uint16_t port,
                                               platform::QoS qos = platform::QoS::background);
    ~TCPConnection();
    TCPConnection(const TCPConnection&) = delete;
    TCPConnection& operator=(const TCPConnection&) = delete;

    // Runs on the connection's own serial queue, once per new state.
    void setStateHandler(StateHandler handler);
    // Starts resolving and connecting. Once only.
    void start();
    // Queues the bytes; the completion runs once they are all written, or with the error
    // that ended the connection first.
    void send(std::vector<std::uint8_t> bytes, SendCompletion completion = {});
    // Closes the socket; pending sends complete with ECANCELED. Final.
    void cancel();

    State state() const;
    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }

private:
    TCPConnection(std::string host, std::uint16_t port, platform::QoS qos);

    struct PendingWrite {
        std::vector<std::uint8_t> bytes;
        std::size_t offset = 0;
        SendCompletion completion;
    };

    void setState(State state);
    void resolved(std::vector<std::vector<std::uint8_t>> addresses, std::optional<Error> error);
    void connectNext();
    void connectFinished();
    void flush();
    void readAvailable();
    void fail(Error error);
    void closeSocket();
    void completeAll(const Error& error);
    void armWrite(bool on);
    bool openSocket(const std::vector<std::uint8_t>& address);

    const std::string host_;
    const std::uint16_t port_;
    platform::DispatchQueuePtr queue_;

    mutable std::mutex stateMutex_;
    State state_;
    StateHandler stateHandler_;

    // Owned by queue_.
    std::vector<std::vector<std::uint8_t>> addresses_; // sockaddr bytes, in resolver order
    std::size_t nextAddress_ = 0;
    std::optional<Error> lastConnectError_;
    int fd_ = -1;
    platform::DispatchSourcePtr readSource_;
    platform::DispatchSourcePtr writeSource_;
    bool readArmed_ = false;
    bool writeArmed_ = false;
    bool started_ = false;
    bool connecting_ = false;
    bool ended_ = false;
    std::deque<PendingWrite> pending_;
};
