#include "Sonavant/OSC/OSCReceiver.h"

#include "OSCCore/NumberText.h"
#include "OSCCore/OSCValueMasking.h"
#include "Sonavant/OSC/OSCClientPool.h"
#include "platform/Log.h"
#include "sockets/UdpSocketEngineError.h"

#include <charconv>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <future>
#include <span>
#include <string_view>

namespace {

constexpr std::string_view cuePlayPrefix = "/sonavant/cue/play/";
constexpr std::string_view snapshotRecallPrefix = "/sonavant/snapshot/recall/";
constexpr std::string_view speakerReplyPrefix = "/dbaudio1/positioning/speaker_position/";
constexpr std::string_view sourceReplyPrefix = "/dbaudio1/positioning/source_position/";
constexpr std::string_view cueStopPrefix = "/sonavant/cue/stop/";
constexpr std::string_view trackPrefix = "/sonavant/track/";
constexpr std::string_view speakerPositionAddress = "/sonavant/speaker/position/";
constexpr std::string_view speakerFocusAddress = "/sonavant/speaker/focus/";
constexpr std::string_view speakerWidthAddress = "/sonavant/speaker/width/";
constexpr std::string_view replyPrefix = "/reply/";

constexpr const char* nonFiniteText = "Non-finite number";
constexpr int remoteReceiveBufferSize = 4 * 1024 * 1024;

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Drops a leading '+', which from_chars does not take; false when no number can follow.
bool dropPlusSign(std::string_view& text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return false;
    }
    return !text.empty();
}

// Optional sign, then decimal digits only, within the signed 64-bit range.
std::optional<std::int64_t> parseInteger(std::string_view text) {
    if (!dropPlusSign(text))
        return std::nullopt;
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Decimal text with optional sign, fraction and exponent; the whole text must be read.
std::optional<double> parseFloating(std::string_view text) {
    if (!dropPlusSign(text))
        return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size())
        return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // The text is valid but beyond a double: read it as the C library does (infinity
        // or a value next to zero), in the C locale whatever the process locale is.
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
        std::string copy(text);
        return strtod_l(copy.c_str(), nullptr, cLocale);
    }
    if (ec != std::errc())
        return std::nullopt;
    return value;
}

// A loudspeaker id sent as a number: truncated toward zero; none when it does not fit.
std::optional<std::int64_t> speakerID(double value) {
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!std::isfinite(value) || value >= limit || value < -limit)
        return std::nullopt;
    return static_cast<std::int64_t>(std::trunc(value));
}

// Exactly N numeric arguments (any integer or float kind) as doubles; throws the codec's
// OSCValueMaskError otherwise.
template <std::size_t N> std::array<double, N> numbers(std::span<const OSCValue> values) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        auto tuple = masked<std::conditional_t<true, AnyOSCNumberValue, decltype(I)>...>(values);
        return std::array<double, N>{std::get<I>(tuple).doubleValue()...};
    }
    (std::make_index_sequence<N>{});
}

template <std::size_t N> bool allFinite(const std::array<double, N>& values) {
    for (double v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

// A tracking command's numbers, read either way: refused when one is not finite.
void deliverTrack(const std::function<void(std::int64_t, double, double)>& callback, std::int64_t number,
                  const std::array<double, 2>& xy) {
    if (!allFinite(xy)) {
        platform::consoleLog(std::string("❌ Failed to parse /sonavant/track/ values: ") + nonFiniteText);
        return;
    }
    if (callback)
        callback(number, xy[0], xy[1]);
}

void logUnwrapError(const std::string& noun, const char* reason) {
    platform::consoleLog("SoundScape: Error unwrapping " + noun + " position values: " + reason);
}

// A DS100 position reply for one `noun` (speaker or sound object): its number from the
// address and its N values; none, logged, when either cannot be read.
template <std::size_t N>
std::optional<std::pair<std::int64_t, std::array<double, N>>>
readPositionReply(const OSCMessage& message, std::string_view prefix, const std::string& noun) {
    const std::string address(message.addressPattern().rawAddress());
    if (!startsWith(address, prefix))
        return std::nullopt;
    platform::consoleLog("SoundScape: Full OSC " + noun + " message received: " + message.description());
    auto number = parseInteger(std::string_view(address).substr(prefix.size()));
    if (!number) {
        platform::consoleLog("SoundScape: Failed to parse " + noun + " number from address: " + address);
        return std::nullopt;
    }
    try {
        return std::pair(*number, numbers<N>(message.values()));
    } catch (const std::exception& error) {
        logUnwrapError(noun, error.what());
        return std::nullopt;
    }
}

void logRawPosition(const std::string& noun, std::int64_t number, float x, float y) {
    platform::consoleLog("SoundScape: Received " + noun + " " + std::to_string(number) +
                         " raw position (meters): X=" + osccore::numberText(x) +
                         ", Y=" + osccore::numberText(y));
}

// "[a, b, …]" of the items' descriptions, into a buffer the caller keeps: a flood of
// messages costs no allocation here once the buffer has grown.
template <class Items, class Describe>
void appendListText(std::string& text, const Items& items, Describe describe) {
    text += '[';
    bool first = true;
    for (const auto& item : items) {
        if (!first)
            text += ", ";
        first = false;
        describe(text, item);
    }
    text += ']';
}

void appendValuesText(std::string& text, const OSCMessage& message) {
    appendListText(text, message.values(), [](std::string& out, const OSCValue& value) {
        if (const auto* string = value.as<std::string>())
            out += *string;
        else
            out += value.description();
    });
}

std::string errorText(const std::exception& error) {
    if (auto socketError = dynamic_cast<const UdpSocketEngineError*>(&error))
        return socketError->error().localizedDescription();
    return error.what();
}

} // namespace

std::shared_ptr<OSCReceiver> OSCReceiver::make(std::uint16_t port) {
    std::shared_ptr<OSCReceiver> receiver(new OSCReceiver(port));
    std::weak_ptr<OSCReceiver> weak = receiver;
    // Dispatched where the server decodes, one datagram at a time and each bundle's messages
    // in order: a bundle is one piece of work, not a hop per message.
    receiver->oscServer_->setHandler([weak](const OSCMessage& message, const OSCTimeTag&) {
        if (auto self = weak.lock())
            self->handleMessage(message);
    });
    receiver->oscServer_->setViewHandler([weak](const OSCMessageView& message, ByteView bytes) {
        if (auto self = weak.lock())
            self->handleMessageView(message, bytes);
    });
    return receiver;
}

OSCReceiver::OSCReceiver(std::uint16_t port)
    // Reading and dispatch are what a remote control waits for: they go before output work.
    : oscServer_(OSCServer::make(port, OSCTimeTagMode::ignore, nullptr, platform::QoS::userInitiated)) {
    // A controller may burst far faster than commands are handled: the kernel holds the
    // burst (up to what it allows) instead of dropping it.
    oscServer_->setReceiveBufferSize(remoteReceiveBufferSize);
}

OSCReceiver::~OSCReceiver() = default;

void OSCReceiver::start() {
    platform::consoleLog("🔧 OSCReceiver: Attempting to start OSC server…");
    try {
        oscServer_->start();
    } catch (const std::exception& error) {
        platform::consoleLog("❌ OSCReceiver: Failed to start OSC server — " + errorText(error));
        throw;
    }
    platform::consoleLog("✅ OSCReceiver: Successfully started on port " + std::to_string(localPort()));
}

void OSCReceiver::stop() {
    oscServer_->stop();
    platform::consoleLog("OSCReceiver: Stopped listening");
}

std::uint16_t OSCReceiver::localPort() const {
    auto bound = oscServer_->boundPort();
    return bound != 0 ? bound : oscServer_->localPort();
}

void OSCReceiver::awaitReply(const std::string& address, double timeout,
                             std::function<void(const std::optional<std::string>&)> completion,
                             platform::DispatchQueuePtr queue) {
    platform::consoleLog("⚙️ awaitReply called for: " + address);
    AwaitedReplies::shared().wait(address, timeout,
                                  [queue = std::move(queue), completion = std::move(completion)](
                                      const std::optional<std::string>& text) {
                                      queue->async([completion, text] { completion(text); });
                                  });
}

std::optional<std::string> OSCReceiver::awaitReplyBlocking(const std::string& address, double timeout) {
    platform::consoleLog("⚙️ awaitReply called for: " + address);
    auto promise = std::make_shared<std::promise<std::optional<std::string>>>();
    auto future = promise->get_future();
    AwaitedReplies::shared().wait(
        address, timeout, [promise](const std::optional<std::string>& text) { promise->set_value(text); });
    return future.get();
}

void OSCReceiver::handleMessage(const OSCMessage& message) {
    const std::string_view view = message.addressPattern().rawAddress();
    thread_local std::string values;
    values.clear();
    appendValuesText(values, message);
    platform::consoleLog({"📥 Received OSC: ", view, " — values: ", values});
    const auto address = [view] { return std::string(view); }; // for the rarer lines

    if (startsWith(view, cuePlayPrefix)) {
        auto number = parseFloating(view.substr(cuePlayPrefix.size()));
        if (!number)
            return;
        if (!std::isfinite(*number)) {
            platform::consoleLog("OSCReceiver: Ignoring cue play command with a non-finite cue number: " +
                                 address());
            return;
        }
        platform::consoleLog("OSCReceiver: Received cue play command for cue " +
                             osccore::numberText(*number));
        if (onCuePlay)
            onCuePlay(*number);
        return;
    }
    if (startsWith(view, snapshotRecallPrefix)) {
        auto number = parseInteger(view.substr(snapshotRecallPrefix.size()));
        if (!number)
            return;
        platform::consoleLog("OSCReceiver: Received snapshot recall command for snapshot " +
                             std::to_string(*number));
        if (onSnapshotRecall)
            onSnapshotRecall(*number);
        return;
    }
    if (startsWith(view, speakerReplyPrefix)) {
        handleSoundscapeSpeakerPosition(message);
        return;
    }
    if (startsWith(view, sourceReplyPrefix)) {
        handleSoundscapeSourcePosition(message);
        return;
    }
    if (startsWith(view, cueStopPrefix)) {
        platform::consoleLog("OSCReceiver: Received stop playback command");
        platform::DispatchQueue::main()->async([self = shared_from_this()] {
            if (self->onStopPlayback)
                self->onStopPlayback();
        });
        return;
    }
    if (startsWith(view, trackPrefix)) {
        auto number = parseInteger(view.substr(trackPrefix.size()));
        if (!number)
            return;
        std::array<double, 2> xy;
        try {
            xy = numbers<2>(message.values());
        } catch (const std::exception& error) {
            platform::consoleLog(std::string("❌ Failed to parse /sonavant/track/ values: ") + error.what());
            return;
        }
        deliverTrack(onTrackPosition, *number, xy);
        return;
    }
    // The three loudspeaker rows: the id is the first argument, then one or two numbers.
    auto speakerRow = [&](std::string_view rowAddress, auto count, const auto& callback, auto call) {
        constexpr std::size_t n = decltype(count)::value;
        const std::string failure = "❌ Failed to parse " + std::string(rowAddress) + " values: ";
        std::array<double, n> values;
        try {
            values = numbers<n>(message.values());
        } catch (const std::exception& error) {
            platform::consoleLog(failure + error.what());
            return;
        }
        if (!allFinite(values)) {
            platform::consoleLog(failure + nonFiniteText);
            return;
        }
        if (!callback)
            return;
        auto id = speakerID(values[0]);
        if (!id) {
            platform::consoleLog(failure + "Loudspeaker id out of range");
            return;
        }
        call(*id, values);
    };
    if (view == speakerPositionAddress) {
        speakerRow(speakerPositionAddress, std::integral_constant<std::size_t, 3>{}, onSpeakerPosition,
                   [&](std::int64_t id, const auto& v) { onSpeakerPosition(id, v[1], v[2]); });
        return;
    }
    if (view == speakerFocusAddress) {
        speakerRow(speakerFocusAddress, std::integral_constant<std::size_t, 2>{}, onSpeakerFocus,
                   [&](std::int64_t id, const auto& v) { onSpeakerFocus(id, v[1]); });
        return;
    }
    if (view == speakerWidthAddress) {
        speakerRow(speakerWidthAddress, std::integral_constant<std::size_t, 2>{}, onSpeakerWidth,
                   [&](std::int64_t id, const auto& v) { onSpeakerWidth(id, v[1]); });
        return;
    }
    if (startsWith(view, replyPrefix)) {
        platform::consoleLog({"OSCReceiver: Received reply: ", view});
        const auto& arguments = message.values();
        if (arguments.empty())
            return AwaitedReplies::shared().handleReply(view, std::nullopt);
        const auto* text = arguments.front().as<std::string>();
        AwaitedReplies::shared().handleReply(view, text ? std::string_view(*text)
                                                        : std::string_view(arguments.front().description()));
        return;
    }
    platform::consoleLog({"OSCReceiver: Unhandled OSC message with address: ", view});
}

void OSCReceiver::handleMessageView(const OSCMessageView& message, ByteView bytes) {
    const std::string_view view = message.address();
    const bool isReply = startsWith(view, replyPrefix);
    // A tracking command read in place only when it holds the two numbers it needs: the
    // errors for anything else are the full path's.
    bool isTrack = !isReply && startsWith(view, trackPrefix) && message.argumentCount() == 2;
    for (const OSCArgumentView a : message)
        isTrack = isTrack && a.number();
    if (!isReply && !isTrack) {
        handleMessage(OSCMessage::fromRawData(bytes));
        return;
    }
    thread_local std::string values;
    values.clear();
    appendListText(values, message,
                   [](std::string& text, OSCArgumentView argument) { argument.appendDescription(text); });
    if (isReply) {
        // Both lines of a reply at one moment: one time stamp and one turn of the console lock.
        platform::consoleLogLines(
            {{"📥 Received OSC: ", view, " — values: ", values}, {"OSCReceiver: Received reply: ", view}});
    } else {
        platform::consoleLog({"📥 Received OSC: ", view, " — values: ", values});
    }

    if (isTrack) {
        auto number = parseInteger(view.substr(trackPrefix.size()));
        if (!number)
            return;
        std::array<double, 2> xy;
        auto argument = message.begin();
        for (double& v : xy) {
            v = *(*argument).number();
            ++argument;
        }
        deliverTrack(onTrackPosition, *number, xy);
        return;
    }
    if (message.argumentCount() == 0)
        return AwaitedReplies::shared().handleReply(view, std::nullopt);
    const OSCArgumentView text = *message.begin();
    if (text.tag() == 's')
        return AwaitedReplies::shared().handleReply(view, text.string());
    thread_local std::string description;
    description.clear();
    text.appendDescription(description);
    AwaitedReplies::shared().handleReply(view, description);
}

void OSCReceiver::handleSoundscapeSpeakerPosition(const OSCMessage& message) {
    auto reply = readPositionReply<6>(message, speakerReplyPrefix, "speaker");
    if (!reply)
        return;
    const auto& [number, values] = *reply;
    SoundscapeSpeaker speaker;
    speaker.speakerNumber = number;
    speaker.x = static_cast<float>(values[0]);
    speaker.y = static_cast<float>(values[1]);
    speaker.rotation = static_cast<float>(values[3]);
    // Checked after narrowing: a double beyond the float range becomes infinite there.
    if (!std::isfinite(speaker.x) || !std::isfinite(speaker.y) || !std::isfinite(speaker.rotation)) {
        logUnwrapError("speaker", nonFiniteText);
        return;
    }
    logRawPosition("speaker", number, speaker.x, speaker.y);
    if (onSoundscapeSpeaker)
        onSoundscapeSpeaker(speaker);
}

void OSCReceiver::handleSoundscapeSourcePosition(const OSCMessage& message) {
    auto reply = readPositionReply<3>(message, sourceReplyPrefix, "sound object");
    if (!reply)
        return;
    const auto& [number, values] = *reply;
    const float x = static_cast<float>(values[0]);
    const float y = static_cast<float>(values[1]);
    if (!std::isfinite(x) || !std::isfinite(y)) {
        logUnwrapError("sound object", nonFiniteText);
        return;
    }
    logRawPosition("sound object", number, x, y);
    if (onSoundscapeObjectPosition)
        onSoundscapeObjectPosition(number, x, y);
}

void OSCReceiver::querySoundscapeSpeakerPositions(const std::string& host, std::uint16_t port) {
    for (int i = 1; i <= 64; ++i) {
        std::string address = std::string(speakerReplyPrefix) + std::to_string(i);
        platform::DispatchQueue::global(platform::QoS::defaultQoS)
            ->asyncAfter(std::chrono::milliseconds(50 * i), [address, host, port] {
                // The query goes out whatever the output switch says.
                sendOSCMessage(true, address, host, port);
            });
    }
}
