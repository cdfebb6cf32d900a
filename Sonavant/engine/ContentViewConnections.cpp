// Keeping the connections in step with the settings: a new receive port moves the
// receiver, a new desk address or port rebuilds the TCP link, and the periodic link check
// keeps a TCP desk's connection fresh. Also the windows the menus open through the view.

#include "Sonavant/OSC/OSCClientPool.h"
#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/engine/ShowControlText.h"
#include "platform/Log.h"

using platform::consoleLog;

void ContentView::restartOSCReceiver(const std::string& newPort) {
    // Runs start to finish on the main thread (the stop and the start do not wait on
    // anything that needs it), so restarts never interleave: one queued after another finds
    // the receiver the first one stored and stops it.
    consoleLog("🔁 receivePort changed to " + newPort + ", restarting OSCReceiver...");
    if (oscReceiver)
        oscReceiver->stop();
    const auto port = parsePortNumber(newPort);
    if (!port) {
        consoleLog("⚠️ Invalid port entered: " + newPort);
        return;
    }
    auto receiver = OSCReceiver::make(*port);
    // The full set, also when there was no receiver to take them from.
    installReceiverCallbacks(*receiver);
    try {
        receiver->start();
    } catch (const std::exception& error) {
        consoleLog("❌ Failed to restart OSCReceiver on new port " + newPort + ": " +
                   receiverErrorText(error));
        return;
    }
    oscReceiver = receiver;
    consoleLog("✅ OSCReceiver restarted on port " + newPort);
}

void ContentView::reconnectTCPClient() {
    if (auto client = PersistentTCPClient::shared())
        client->disconnect();
    const std::string portText = targetPort.get();
    const auto port = parsePortNumber(portText);
    if (!port) {
        consoleLog("Invalid port number: " + portText);
        return;
    }
    auto client = PersistentTCPClient::make(targetDeskIP.get(), *port);
    PersistentTCPClient::exchangeShared(client);
    // The new destination catches up through its own round, not through the old one's debt.
    PersistentTCPClient::forgetMissedLines();
    client->connect();
}

std::pair<std::string, std::string> ContentView::deskDestination() const {
    return {targetDeskIP.get(), targetPort.get()};
}

void ContentView::deskDestinationChanged() {
    reconnectTCPClient();
    if (destinationRest_)
        destinationRest_->invalidate();
    destinationRest_ = nullptr;
    if (deskRoadDepth_ > 0) {
        // The road sends every pair to where it points.
        settledDestination_ = deskDestination();
        return;
    }
    // Every keystroke starts the rest again: numbers typed on the way get nothing.
    destinationRest_ = platform::RunLoopTimer::scheduled(deskDestinationRest, false,
                                                         [rested = whileAlive([](ContentView& view) {
                                                              view.deskDestinationRested();
                                                          })](platform::RunLoopTimer&) { rested(); });
}

void ContentView::deskDestinationRested() {
    destinationRest_ = nullptr;
    const auto destination = deskDestination();
    const auto& desk = selectedDesk.get();
    if (!desk || destination == settledDestination_)
        return;
    const auto& [host, portText] = destination;
    const bool valid = parsePortNumber(portText) && (desk->UDP ? isValidIPv4Address(host) : !host.empty());
    if (!valid)
        return;
    // With output off nothing goes; switching it on sends every pair anyway.
    settledDestination_ = destination;
    if (!appState->oscOutputOn)
        return;
    if (!desk->UDP && !appState->isSoundScapeMode && !PersistentTCPClient::readyOrCatchUpLater())
        return;
    consoleLog("The desk is now at " + host + ":" + portText + "; sending every level once.");
    sendEveryPairOnce();
}

void ContentView::checkTCPConnection() {
    auto readyClient = [] {
        auto client = PersistentTCPClient::shared();
        return client && client->currentState() == PersistentTCPClient::State::Kind::ready;
    };
    // The live output switch decides: the operator turning output off closes the link.
    const auto& desk = selectedDesk.get();
    if (appState->oscOutputOn && desk && !desk->UDP) {
        if (readyClient())
            disconnectTCP();
        reconnectTCPIfNeeded(desk->UDP, targetDeskIP.get(), targetPort.get());
        return;
    }
    if (readyClient())
        disconnectTCP();
}

void ContentView::openMixerWindow() {
    if (presenter)
        presenter->showMixerWindow(*this);
}
