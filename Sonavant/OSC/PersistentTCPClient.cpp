#include "Sonavant/OSC/PersistentTCPClient.h"

#include "platform/Log.h"

#include <charconv>
#include <utility>
#include <vector>

namespace {

std::mutex sharedMutex;
std::shared_ptr<PersistentTCPClient> sharedClient;

// Whether the desk on the shared link missed lines since it last had a ready link, and who
// wants to hear when it has one again.
std::mutex linkMutex;
bool deskMissedLines = false;
std::vector<std::weak_ptr<std::function<void()>>> restoredHandlers;

bool isShared(const PersistentTCPClient* client) {
    std::lock_guard lock(sharedMutex);
    return sharedClient.get() == client;
}

void noteMissedLines() {
    std::lock_guard lock(linkMutex);
    deskMissedLines = true;
}

// Under the link lock, so that a client replaced (and its debt forgiven) meanwhile owes nothing.
void noteMissedLinesIfShared(const PersistentTCPClient* client) {
    std::lock_guard lock(linkMutex);
    if (isShared(client))
        deskMissedLines = true;
}

void linkReady() {
    std::vector<std::shared_ptr<std::function<void()>>> handlers;
    {
        std::lock_guard lock(linkMutex);
        if (!std::exchange(deskMissedLines, false))
            return;
        // Handlers stay registered for every later restoration; only those let go leave.
        std::erase_if(restoredHandlers, [&](const auto& weak) {
            auto handler = weak.lock();
            if (!handler)
                return true;
            handlers.push_back(std::move(handler));
            return false;
        });
    }
    for (const auto& handler : handlers)
        (*handler)();
}

} // namespace

std::shared_ptr<void> PersistentTCPClient::observeLinkRestored(std::function<void()> handler) {
    auto held = std::make_shared<std::function<void()>>(std::move(handler));
    std::lock_guard lock(linkMutex);
    restoredHandlers.push_back(held);
    return held;
}

void PersistentTCPClient::forgetMissedLines() {
    std::lock_guard lock(linkMutex);
    deskMissedLines = false;
}

bool PersistentTCPClient::readyOrCatchUpLater() {
    // Under the link lock: a link that turns ready after the check finds the mark.
    std::lock_guard lock(linkMutex);
    auto client = shared();
    if (client && client->currentState().kind == State::Kind::ready)
        return true;
    deskMissedLines = true;
    return false;
}

std::shared_ptr<PersistentTCPClient> PersistentTCPClient::make(std::string host, std::uint16_t port) {
    return std::shared_ptr<PersistentTCPClient>(new PersistentTCPClient(std::move(host), port));
}

PersistentTCPClient::~PersistentTCPClient() {
    if (connection_)
        connection_->cancel();
}

std::shared_ptr<TCPConnection> PersistentTCPClient::connection() const {
    std::lock_guard lock(mutex_);
    return connection_;
}

PersistentTCPClient::State PersistentTCPClient::currentState() const {
    std::lock_guard lock(mutex_);
    return currentState_;
}

void PersistentTCPClient::connect() {
    auto connection = TCPConnection::make(host_, port_, platform::QoS::background);
    std::weak_ptr<PersistentTCPClient> weak = weak_from_this();
    std::weak_ptr<TCPConnection> weakConnection = connection;
    connection->setStateHandler([weak, weakConnection](const State& state) {
        auto client = weak.lock();
        auto connection = weakConnection.lock();
        if (client && connection)
            client->stateChanged(connection, state);
    });
    std::shared_ptr<TCPConnection> previous;
    {
        std::lock_guard lock(mutex_);
        previous = std::exchange(connection_, connection);
    }
    // A second connect must not leave the first connection running unowned.
    if (previous)
        previous->cancel();
    connection->start();
}

void PersistentTCPClient::stateChanged(const std::shared_ptr<TCPConnection>& connection, const State& state) {
    {
        std::lock_guard lock(mutex_);
        // A connection we have replaced says nothing about the one we hold.
        if (connection_ && connection_ != connection)
            return;
        currentState_ = state;
    }
    switch (state.kind) {
    case State::Kind::failed: {
        platform::consoleLog("PersistentTCPClient: Connection failed with error " +
                             (state.error ? state.error->description : std::string()));
        noteMissedLinesIfShared(this);
        connection->cancel();
        std::lock_guard lock(mutex_);
        if (connection_ == connection)
            connection_.reset();
        break;
    }
    case State::Kind::ready:
        platform::consoleLog("PersistentTCPClient: Connection ready");
        if (isShared(this))
            linkReady();
        break;
    default:
        break;
    }
}

void PersistentTCPClient::send(const std::string& text) {
    auto connection = this->connection();
    if (!connection) {
        platform::consoleLog("PersistentTCPClient: Connection not established");
        noteMissedLinesIfShared(this);
        return;
    }
    platform::consoleLog("PersistentTCPClient: Sending message: " + text);
    const bool shared = isShared(this);
    connection->send(std::vector<std::uint8_t>(text.begin(), text.end()),
                     [shared](const std::optional<TCPConnection::Error>& error) {
                         if (error) {
                             platform::consoleLog("PersistentTCPClient: Failed to send message: " +
                                                  error->description);
                             if (shared)
                                 noteMissedLines();
                         } else {
                             platform::consoleLog("PersistentTCPClient: Message sent successfully");
                         }
                     });
}

void PersistentTCPClient::disconnect() {
    std::shared_ptr<TCPConnection> connection;
    {
        std::lock_guard lock(mutex_);
        connection = std::exchange(connection_, nullptr);
    }
    if (connection)
        connection->cancel();
    platform::consoleLog("PersistentTCPClient: Connection cancelled");
}

std::shared_ptr<PersistentTCPClient> PersistentTCPClient::shared() {
    std::lock_guard lock(sharedMutex);
    return sharedClient;
}

std::shared_ptr<PersistentTCPClient>
PersistentTCPClient::exchangeShared(std::shared_ptr<PersistentTCPClient> client) {
    std::lock_guard lock(sharedMutex);
    return std::exchange(sharedClient, std::move(client));
}

void sendDeskMessage(bool useUDP, const std::string& text, const std::string& address,
                     const std::string& host, std::uint16_t port, const OSCSendArgument& argument) {
    if (useUDP) {
        sendOSCMessage(true, address, host, port, argument);
        return;
    }
    std::shared_ptr<PersistentTCPClient> client;
    bool created = false;
    {
        // Two first sends at once must make one client, not two.
        std::lock_guard lock(sharedMutex);
        if (!sharedClient) {
            sharedClient = PersistentTCPClient::make(host, port);
            created = true;
        }
        client = sharedClient;
    }
    if (created)
        client->connect();
    client->send(text);
}

void disconnectTCP() {
    platform::consoleLog("Disconnecting TCP connection because OSC is toggled OFF or refresh required.");
    auto client = PersistentTCPClient::exchangeShared(nullptr);
    if (client)
        client->disconnect();
}

void reconnectTCPIfNeeded(std::optional<bool> deskUsesUDP, const std::string& targetDeskIP,
                          const std::string& targetPort) {
    if (!deskUsesUDP) {
        platform::consoleLog("Error: No selected desk.");
        return;
    }
    auto port = parsePortNumber(targetPort);
    if (targetDeskIP.empty() || targetPort.empty() || !port) {
        platform::consoleLog("Error: Cannot reconnect TCP because targetDeskIP or port is missing.");
        return;
    }
    if (*deskUsesUDP) {
        platform::consoleLog("Desk is in UDP mode – closing TCP connection and not reconnecting.");
        disconnectTCP();
        return;
    }
    platform::consoleLog("Reconnecting TCP connection because desk.UDP is false.");
    auto client = PersistentTCPClient::make(targetDeskIP, *port);
    // The replaced client closes its connection when the last holder lets go of it.
    auto previous = PersistentTCPClient::exchangeShared(client);
    if (previous) {
        if (auto connection = previous->connection())
            connection->cancel();
    }
    client->connect();
}

std::optional<std::uint16_t> parsePortNumber(const std::string& text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty())
        return std::nullopt;
    for (char c : digits)
        if (c < '0' || c > '9')
            return std::nullopt;
    unsigned long value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value > 65535)
        return std::nullopt;
    if (negative && value != 0)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}
