#pragma once
// The one text connection to a desk that takes its commands as lines over TCP, and the
// router that hands every desk command to UDP or to that connection.

#include "Sonavant/OSC/OSCClientPool.h"
#include "Sonavant/OSC/TCPConnection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class PersistentTCPClient : public std::enable_shared_from_this<PersistentTCPClient> {
public:
    using State = TCPConnection::State;

    static std::shared_ptr<PersistentTCPClient> make(std::string host, std::uint16_t port);
    // A client that is let go closes its connection: replacing the shared client never
    // leaves the old connection open.
    ~PersistentTCPClient();
    PersistentTCPClient(const PersistentTCPClient&) = delete;
    PersistentTCPClient& operator=(const PersistentTCPClient&) = delete;

    void connect();
    // Sends the text's bytes as they are; the caller supplies the line feed.
    void send(const std::string& text);
    void disconnect();

    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }
    std::shared_ptr<TCPConnection> connection() const;
    State currentState() const;

    // The process-wide client that every TCP desk send uses (absent at start).
    static std::shared_ptr<PersistentTCPClient> shared();
    // Installs `client` and returns the one it replaces.
    static std::shared_ptr<PersistentTCPClient> exchangeShared(std::shared_ptr<PersistentTCPClient> client);

    // The desk on the shared link missed lines: its connection failed or a line could not
    // be sent. The next time the shared link becomes ready, `handler` runs (on the
    // connection's queue), for as long as the returned token is held. A link closed and
    // opened while healthy (the periodic refresh) runs nothing.
    static std::shared_ptr<void> observeLinkRestored(std::function<void()> handler);
    // The desk on the shared link is to get everything once its link is ready: true when it
    // is ready now (send at once); otherwise its next ready link counts as a restoration.
    static bool readyOrCatchUpLater();
    // The shared link now leads to another desk (a new address or port): what was missed on
    // the way is not owed to it. Call after installing the new client.
    static void forgetMissedLines();

private:
    PersistentTCPClient(std::string host, std::uint16_t port) : host_(std::move(host)), port_(port) {}
    void stateChanged(const std::shared_ptr<TCPConnection>& connection, const State& state);

    const std::string host_;
    const std::uint16_t port_;
    mutable std::mutex mutex_;
    std::shared_ptr<TCPConnection> connection_;
    State currentState_;
};

// Routes one desk command: UDP commands to sendOSCMessage (output treated as enabled, the
// caller has checked the switch), TCP text to the shared client, made on first use.
void sendDeskMessage(bool useUDP, const std::string& text, const std::string& address,
                     const std::string& host, std::uint16_t port, const OSCSendArgument& argument = {});

// Closes and forgets the shared client.
void disconnectTCP();

// Replaces the shared client with a fresh connection to the desk when the desk takes TCP,
// or drops it for a UDP desk. `deskUsesUDP` is absent when no desk is selected.
void reconnectTCPIfNeeded(std::optional<bool> deskUsesUDP, const std::string& targetDeskIP,
                          const std::string& targetPort);

// An unsigned 16-bit decimal port: optional sign, digits only, 0 to 65535.
std::optional<std::uint16_t> parsePortNumber(const std::string& text);
