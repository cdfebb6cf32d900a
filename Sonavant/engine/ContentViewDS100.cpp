// Asking a DS100 where the sources and loudspeakers are. The questions go out one every
// 0.05 s; the answers come back to the receive port and are applied as replies arrive.

#include "Sonavant/OSC/OSCClientPool.h"
#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/engine/ContentView.h"
#include "platform/Log.h"

#include <algorithm>
#include <chrono>
#include <set>

using platform::consoleLog;

namespace {

constexpr auto questionSpacing = std::chrono::milliseconds(50);
constexpr int speakerAnswerGraceSeconds = 10;
constexpr const char* sourcePositionQuestion = "/dbaudio1/positioning/source_position/";

} // namespace

void ContentView::querySoundObjectPositions() {
    std::set<std::int64_t> numbers;
    for (const auto& source : appState->soundObjects.get())
        numbers.insert(source->number.get());
    pendingSoundObjectQueries = static_cast<std::int64_t>(numbers.size());

    const std::string portText = targetPort.get();
    const auto port = parsePortNumber(portText);
    if (!port) {
        consoleLog("Invalid port for querying sound object positions.");
        return;
    }
    // Each question waits on the main queue, where the output switch may be read, and is
    // dropped if output is off when it falls due.
    std::int64_t place = 0;
    for (std::int64_t number : numbers) {
        const std::string address = sourcePositionQuestion + std::to_string(number);
        platform::DispatchQueue::main()->asyncAfter(
            questionSpacing * place++, [show = appState, host = targetDeskIP, address, port = *port] {
                if (show->oscOutputOn)
                    sendOSCMessage(true, address, host.get(), port);
            });
    }
}

void ContentView::querySpeakerPositions() {
    const std::string portText = targetPort.get();
    const auto port = parsePortNumber(portText);
    if (!port) {
        consoleLog("Invalid port for querying speaker positions.");
        return;
    }
    appState->soundscapeSpeakers = std::vector<SoundscapeSpeaker>{};
    if (oscReceiver) {
        OSCReceiver::querySoundscapeSpeakerPositions(targetDeskIP.get(), *port);
        // The last question leaves after 3.2 s; a slow answer still counts a while after.
        speakerAnswersExpected = speakersPerQuery;
        speakerAnswersUntil = std::chrono::steady_clock::now() + questionSpacing * speakersPerQuery +
                              std::chrono::seconds(speakerAnswerGraceSeconds);
    }
}
