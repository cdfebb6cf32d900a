#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/DeskRoute.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>

using platform::consoleLog;

namespace {

using Clock = SendTimeTable::Clock;

constexpr auto interval =
    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(ContentView::throttleInterval));

// The DS100's angle of the canvas orientation.
double soundScapeAngle(CanvasOrientation orientation) {
    switch (orientation) {
    case CanvasOrientation::top:
        return 0;
    case CanvasOrientation::right:
        return std::numbers::pi / 2;
    case CanvasOrientation::bottom:
        return std::numbers::pi;
    case CanvasOrientation::left:
        return 3 * std::numbers::pi / 2;
    }
    return 0;
}

// Metres with four decimals (halves away from zero) as a float; none when that is no
// finite float.
std::optional<float> fourDecimals(double metres) {
    const double rounded = std::round(metres * 10000) / 10000;
    if (!std::isfinite(rounded) || std::fabs(rounded) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(rounded);
}

void releaseHeldPosition(std::shared_ptr<SendTimeTable> table, const std::string& key) {
    auto due = table->release(key, Clock::now(), interval);
    if (due.send)
        due.send();
    else if (due.waitAgain)
        platform::DispatchQueue::global()->asyncAfter(*due.waitAgain,
                                                      [table, key] { releaseHeldPosition(table, key); });
}

} // namespace

std::optional<std::pair<float, float>> ContentView::soundScapePosition(Point canvas) const {
    const double theta = soundScapeAngle(appState->canvasOrientation);
    const double c = std::cos(theta), s = std::sin(theta);
    const double zoom = zoomLevel;
    const Point zero = appState->zeroPoint;
    const double dx = canvas.x - zero.x, dy = canvas.y - zero.y;
    const auto x = fourDecimals((c * dx + s * dy) / zoom);
    const auto y = fourDecimals((c * dy - s * dx) / zoom);
    if (!x || !y)
        return std::nullopt;
    return std::pair{*x, *y};
}

void ContentView::sendSoundScapePositions(const MixingDesk& desk, std::uint16_t port) {
    consoleLog("SoundScape mode active – sending OSC messages with position data.");

    // The list is copied: a send must not see it change under it.
    const auto sources = appState->soundObjects.get();
    for (const auto& sourcePointer : sources) {
        if (disableSoundObjectOSCUpdates)
            continue;
        const SoundObject& source = *sourcePointer;
        const auto position = soundScapePosition(source.position);
        const std::string key = "soundscape-" + source.id.string();
        if (!position) {
            consoleLog("Error: Position of " + key + " is not a finite number; not sent.");
            continue;
        }
        const auto [x, y] = *position;
        const std::string address = soundscapePositionAddress(desk, source.number);

        // While output is off nothing counts as sent: the DS100 keeps the old positions.
        if (!appState->oscOutputOn)
            continue;
        auto [it, inserted] = lastSentSoundScapePositions.try_emplace(key, SoundScapeSentPosition{x, y, 1});
        if (sendEveryPair_) {
            it->second = {x, y, 1};
        } else if (!inserted) {
            SoundScapeSentPosition& last = it->second;
            if (last.x != x || last.y != y) {
                last = {x, y, 1};
            } else {
                const std::int64_t count = last.count + 1;
                if (count % repeatDivisor(source.number) != 0) {
                    last.count = count;
                    continue;
                }
                last.count = 0;
            }
        }

        // The DS100 takes the vertical offset first.
        SendTimeTable::Release send = [outlet = outlet, host = targetDeskIP, address, port,
                                       values = std::vector<float>{y, x}] {
            outlet->sendUDP(true, address, host.get(), port, OSCSendArgument(values));
        };
        SendTimeTable::Release held = heldUntilOutputOn(outputOnForSends_, send);
        const auto admission =
            lastSendTime->admit(key, ++nextSendSequence_, Clock::now(), interval, true, held);
        switch (admission.verdict) {
        case SendTimeTable::Verdict::send:
            send();
            break;
        case SendTimeTable::Verdict::holdFirst:
            platform::DispatchQueue::global()->asyncAfter(
                admission.wait, [table = lastSendTime, key] { releaseHeldPosition(table, key); });
            [[fallthrough]];
        case SendTimeTable::Verdict::held:
        case SendTimeTable::Verdict::dropped:
            consoleLog("⏱️ Skipping send for " + key + " (throttled)");
            break;
        }
    }
    consoleLog("SoundScape OSC update completed for all sound objects.");
}
