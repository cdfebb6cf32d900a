// Start-up and shutdown of the main view: desk definitions, working state, the remote
// control receiver with its callbacks, the menu commands, the TCP link check and the first
// send; and what stops when the view goes.

#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ShowControlText.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NumberText.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <string_view>

using platform::consoleLog;
using platform::DispatchQueue;

double ContentView::linkCheckInterval(const char* setting) {
    if (!setting)
        return defaultLinkCheckSeconds;
    if (auto seconds = platform::positiveNumber(setting))
        return *seconds;
    consoleLog(std::string("❌ ") + linkCheckIntervalVariable + "=\"" + setting +
               "\" is not a positive number of seconds; the TCP link check runs every 10 seconds.");
    return defaultLinkCheckSeconds;
}

std::function<void()> ContentView::whileAlive(std::function<void(ContentView&)> action) {
    std::weak_ptr<ContentView*> alive = aliveToken_;
    return [alive, action = std::move(action)] {
        if (auto view = alive.lock())
            action(**view);
    };
}

void ContentView::onMainQueue(std::function<void(ContentView&)> effect) {
    DispatchQueue::main()->async(whileAlive(std::move(effect)));
}

void ContentView::onAppearLoad() {
    // A second appearance would start a second receiver on the busy port and observe
    // every menu command twice.
    if (onScreen_) {
        consoleLog("ContentView: Already on screen; start-up skipped.");
        return;
    }
    onScreen_ = true;
    loadMixingDesks();
    loadState();
    observeSettingChanges();
    onMainQueue([](ContentView& view) { view.startReceiverAndObservers(); });
}

void ContentView::startReceiverAndObservers() {
    auto& notifications = platform::NotificationCenter::defaultCenter();
    notificationObservers_.clear();

    const std::string portText = appState->receivePort;
    const auto port = portText.empty() ? std::nullopt : parsePortNumber(portText);
    // The mixer and fade-cue commands and the link check do not depend on the receiver: a
    // port that is empty or bad at start-up must not leave them dead for the whole run.
    notificationObservers_.insert(notifications.addObserver(
        openMixerNotification, [this](const platform::Notification&) { openMixerWindow(); }));
    notificationObservers_.insert(
        notifications.addObserver(generateFadeCuesNotification,
                                  [this](const platform::Notification&) { validateFadeCuePreconditions(); }));

    if (tcpRefreshTimer)
        tcpRefreshTimer->cancel();
    auto timer = platform::DispatchTimer::make(DispatchQueue::global(platform::QoS::background));
    std::weak_ptr<ContentView*> alive = aliveToken_;
    timer->setEventHandler([alive] {
        DispatchQueue::main()->async([alive] {
            if (auto view = alive.lock())
                (*view)->checkTCPConnection();
        });
    });
    const auto interval = std::chrono::duration_cast<platform::Duration>(
        std::chrono::duration<double>(linkCheckSeconds > 0 ? linkCheckSeconds : defaultLinkCheckSeconds));
    timer->schedule(interval, interval, platform::Duration::zero());
    timer->resume();
    tcpRefreshTimer = timer;

    if (port) {
        auto receiver = OSCReceiver::make(*port);
        installReceiverCallbacks(*receiver);
        try {
            receiver->start();
            oscReceiver = receiver;
        } catch (const std::exception& error) {
            consoleLog("❌ Failed to start OSCReceiver: " + receiverErrorText(error));
        }
    }

    installMenuActions();
    appState->selectedDesk = selectedDesk.get();
    pathManager->setAppState(appState);
    updateZeroPoint();
    if (!appState->isSoundScapeMode)
        updateRelativeLevels();

    notificationObservers_.insert(
        notifications.addObserver(exportStateNotification, [this](const platform::Notification&) {
            // The flag stands for the panel until it has closed; a second request meanwhile is one.
            if (!isExporting.get()) {
                isExporting = true;
                onMainQueue([](ContentView& view) { view.presentExporter(); });
            }
        }));
    notificationObservers_.insert(
        notifications.addObserver(importStateNotification, [this](const platform::Notification&) {
            if (!isImporting.get()) {
                isImporting = true;
                onMainQueue([](ContentView& view) { view.presentImporter(); });
            }
        }));

    onMainQueue([](ContentView& view) {
        if (auto desk = view.appState->selectedDesk.get()) {
            view.selectedDesk = *desk;
            view.updateRelativeLevels();
        }
    });
}

void ContentView::installMenuActions() {
    auto editing = [this](void (ContentView::*operation)()) {
        return whileAlive([operation](ContentView& view) { (view.*operation)(); });
    };
    ActionDispatcher::addOutput = editing(&ContentView::addSpeaker);
    ActionDispatcher::addInput = editing(&ContentView::addSoundObject);
    ActionDispatcher::updateOSC = whileAlive([](ContentView& view) { view.sendEveryPairOnce(); });
    ActionDispatcher::clear = editing(&ContentView::clearCanvas);
    ActionDispatcher::drawPath = editing(&ContentView::startDrawingPath);
    ActionDispatcher::deletePath = editing(&ContentView::deleteSelectedPath);
    ActionDispatcher::newBlankCanvas = editing(&ContentView::newBlankCanvas);
    ActionDispatcher::getPositionsFromDS100 =
        whileAlive([](ContentView& view) { view.querySoundObjectPositions(); });
    ActionDispatcher::getSpeakersFromDS100 =
        whileAlive([](ContentView& view) { view.querySpeakerPositions(); });
    ActionDispatcher::zeroSelected = editing(&ContentView::zeroSelected);
}

void ContentView::installReceiverCallbacks(OSCReceiver& receiver) {
    // The receiver calls from its own queue: nothing of the view is touched there, not even
    // to find out whether it still exists. Commands wait in the remote queue; the first one
    // of a batch schedules the drain.
    std::weak_ptr<ContentView*> alive = aliveToken_;
    auto queue = remoteCommands;
    auto push = [alive, queue](RemoteCommandQueue::Command command) {
        if (!queue->push(std::move(command)))
            return;
        auto drain = [alive] {
            if (auto view = alive.lock())
                (*view)->drainRemoteCommands();
        };
        const auto delay = queue->drainDelay();
        if (delay == std::chrono::steady_clock::duration::zero()) {
            DispatchQueue::main()->async(std::move(drain));
            return;
        }
        // Real time, not the main loop's clock: the wait is about the machine's load.
        DispatchQueue::global()->asyncAfter(
            std::chrono::duration_cast<platform::Duration>(delay),
            [drain = std::move(drain)] { DispatchQueue::main()->async(drain); });
    };
    auto hop = [push, alive](std::function<void(ContentView&)> effect) {
        push({std::nullopt, [alive, effect = std::move(effect)] {
                  if (auto view = alive.lock())
                      effect(**view);
              }});
    };
    // Set-value commands travel as data; the drain applies them and runs one level pass for a
    // run of them.
    auto set = [push](RemoteCommandQueue::SetValue value, std::int64_t item, double a, double b = 0) {
        push({RemoteCommandQueue::Key{value, item}, nullptr, {a, b}});
    };
    using SetValue = RemoteCommandQueue::SetValue;
    receiver.onCuePlay = [hop](double number) { hop([number](ContentView& v) { v.handleCuePlay(number); }); };
    receiver.onStopPlayback = [hop] { hop([](ContentView& v) { v.handleStopPlayback(); }); };
    receiver.onSnapshotRecall = [hop](std::int64_t number) {
        hop([number](ContentView& v) { v.recallSnapshot(number); });
    };
    receiver.onTrackPosition = [set](std::int64_t number, double x, double y) {
        set(SetValue::trackPosition, number, x, y);
    };
    receiver.onSpeakerPosition = [set](std::int64_t id, double x, double y) {
        set(SetValue::speakerPosition, id, x, y);
    };
    receiver.onSpeakerFocus = [set](std::int64_t id, double focus) {
        set(SetValue::speakerFocus, id, focus);
    };
    receiver.onSpeakerWidth = [set](std::int64_t id, double width) {
        set(SetValue::speakerWidth, id, width);
    };
    // DS100 replies are never merged: each source answer counts down the pending queries.
    receiver.onSoundscapeSpeaker = [hop](const SoundscapeSpeaker& speaker) {
        hop([speaker](ContentView& v) { v.handleSoundscapeSpeakerReply(speaker); });
    };
    receiver.onSoundscapeObjectPosition = [hop](std::int64_t number, float x, float y) {
        hop([=](ContentView& v) { v.handleRemoteObjectXY(number, x, y); });
    };
}

void ContentView::observeSettingChanges() {
    settingObservers_.clear();
    // Show fields announce an assignment before it is visible, and announce unchanged
    // values too: compare with what is still visible, and act once the new value is in.
    settingObservers_.insert(appState->receivePort.observe([this](const std::string& newPort) {
        if (newPort != appState->receivePort.get())
            onMainQueue([newPort](ContentView& view) { view.restartOSCReceiver(newPort); });
    }));
    settingObservers_.insert(appState->zeroPointPosition.observe([this](ZeroPointPosition position) {
        if (position != appState->zeroPointPosition.get())
            onMainQueue([](ContentView& view) { view.updateZeroPoint(); });
    }));
    settingObservers_.insert(appState->canvasOrientation.observe([this](CanvasOrientation orientation) {
        if (orientation != appState->canvasOrientation.get())
            onMainQueue([](ContentView& view) { view.refreshPositionsAfterZeroPointChange(); });
    }));
    // Bindings announce after the change, and only real changes.
    settledDestination_ = deskDestination();
    settingObservers_.insert(targetDeskIP.observe([this](const std::string&) { deskDestinationChanged(); }));
    settingObservers_.insert(targetPort.observe([this](const std::string&) { deskDestinationChanged(); }));
    watchLevelSettings();
}

void ContentView::onDisappearCleanup() {
    if (tcpRefreshTimer)
        tcpRefreshTimer->cancel();
    tcpRefreshTimer = nullptr;
    saveState();
    settingObservers_.clear();
    if (destinationRest_)
        destinationRest_->invalidate();
    destinationRest_ = nullptr;
    endLevelSettingWatches();
    onScreen_ = false;
    if (auto receiver = oscReceiver)
        DispatchQueue::main()->async([receiver] { receiver->stop(); });
}

void ContentView::stopOSCReceiver() {
    if (oscReceiver)
        oscReceiver->stop();
}

ContentView::ShowControlTeardown::~ShowControlTeardown() {
    // What the run loop, the dispatch layer or the network would otherwise keep running
    // for a view that no longer exists.
    if (view->tcpRefreshTimer)
        view->tcpRefreshTimer->cancel();
    view->endSnapshotFade();
    if (view->oscReceiver)
        view->oscReceiver->oscServer()->stop();
}
