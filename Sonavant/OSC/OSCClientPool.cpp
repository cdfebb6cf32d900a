#include "Sonavant/OSC/OSCClientPool.h"

#include "Sonavant/OSC/OSCMonitor.h"
#include "platform/Log.h"

#include <charconv>
#include <cmath>
#include <variant>

OSCClientPool& OSCClientPool::shared() {
    // Lives as long as the process.
    static auto* pool = new OSCClientPool();
    return *pool;
}

OSCClientPool::OSCClientPool() {
    for (auto& client : clients)
        client = std::make_unique<OSCClient>();
}

OSCClient& OSCClientPool::next() {
    auto& client = *clients[nextIndex];
    nextIndex = (nextIndex + 1) % clients.size();
    return client;
}

std::array<std::uint16_t, OSCClientPool::clientCount> OSCClientPool::localPorts() {
    return oscSenderQueue()->syncResult([this] {
        std::array<std::uint16_t, clientCount> ports{};
        for (std::size_t i = 0; i < clientCount; ++i)
            ports[i] = clients[i]->localPort();
        return ports;
    });
}

const platform::DispatchQueuePtr& oscSenderQueue() {
    // Never destroyed: staggered sends may still run on worker threads while the process exits.
    static const auto* queue = new platform::DispatchQueuePtr(
        platform::DispatchQueue::makeSerial("oscSenderQueue", platform::QoS::background));
    return *queue;
}

bool isValidIPv4Address(std::string_view host) {
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        std::size_t start = i;
        unsigned value = 0;
        while (i < host.size() && host[i] >= '0' && host[i] <= '9' && i - start < 3)
            value = value * 10 + static_cast<unsigned>(host[i++] - '0');
        const std::size_t digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && host[start] == '0'))
            return false;
        ++parts;
        if (i == host.size())
            return parts == 4;
        if (host[i] != '.' || parts == 4)
            return false;
        ++i;
    }
}

void sendOSCMessage(bool enabled, const std::string& address, const std::string& host, std::uint16_t port,
                    const OSCSendArgument& argument) {
    if (!enabled) {
        platform::consoleLog("OSC output is disabled.");
        return;
    }
    if (!isValidIPv4Address(host)) {
        platform::consoleLog("Invalid IP address: " + host);
        return;
    }
    oscSenderQueue()->async(
        [argument, address, host, port] { sendOSCMessageNow(argument, address, host, port); });
}

namespace {

// The double as "%.2f" would write it, read back as a float.
float twoDecimals(double value) {
    char buffer[400];
    auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    float result = 0;
    if (written.ec == std::errc()) {
        auto parsed = std::from_chars(buffer, written.ptr, result);
        if (parsed.ec == std::errc() && parsed.ptr == written.ptr)
            return result;
    }
    return static_cast<float>(value);
}

} // namespace

void sendOSCMessageNow(const OSCSendArgument& argument, const std::string& address, const std::string& host,
                       std::uint16_t port) {
    auto& client = OSCClientPool::shared().next();
    std::vector<OSCValue> values;
    const auto& storage = argument.storage();
    bool finite = true;
    if (std::holds_alternative<std::monostate>(storage)) {
    } else if (auto list = std::get_if<std::vector<float>>(&storage)) {
        for (float value : *list) {
            finite = finite && std::isfinite(value);
            values.emplace_back(value);
        }
    } else if (auto integer = std::get_if<std::int64_t>(&storage)) {
        values.emplace_back(OSCInt{*integer}); // travels as "i"
    } else if (auto real = std::get_if<double>(&storage)) {
        float value = twoDecimals(*real);
        finite = std::isfinite(value);
        values.emplace_back(value);
    } else {
        platform::consoleLog("Unsupported argument type: " + argument.typeName());
        return;
    }
    // A desk has no use for an infinite or undefined level or position.
    if (!finite) {
        platform::consoleLog("Failed to send OSC message: non-finite argument " + argument.text() + " for " +
                             address);
        return;
    }
    try {
        client.send(OSCMessage(address, std::move(values)), host, port);
    } catch (const std::exception& error) {
        platform::consoleLog(std::string("Failed to send OSC message: ") + error.what());
        return;
    }
    std::string line =
        "OSC message sent to " + host + ":" + std::to_string(port) + " with address: " + address;
    if (!argument.isNone())
        line += " and argument: " + argument.text();
    platform::consoleLog(line);
    if (OSCMonitor::registered()) {
        platform::DispatchQueue::main()->async([line] {
            if (auto monitor = OSCMonitor::registered())
                monitor->logOutput(line);
        });
    }
}
