// "Generate Fade Cues": the checks before a run, and the run's reach into the main view
// (QLab messages through the view's client, replies through its receiver, the alert
// through the presenter, the level engine and its throttle).
#include "Sonavant/OSC/AwaitedReplies.h"
#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/cues/FadeCueGenerator.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "osc-transport/OSCClient.h"
#include "platform/Log.h"

#include <cctype>

using platform::consoleLog;

namespace {

std::string trimmed(const std::string& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(text[first])))
        ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1])))
        --last;
    return text.substr(first, last - first);
}

} // namespace

void ContentView::validateFadeCuePreconditions() {
    auto fail = [this](const std::string& title, const std::string& text) {
        if (presenter)
            presenter->showAlert({PresenterAlert::Style::warning, title, text, {"OK"}});
        else
            consoleLog("⚠️ " + title + ": " + text);
    };
    if (!appState->oscOutputOn)
        return fail("OSC Output is Disabled", "Please turn OSC Output ON before generating Fade Cues.");
    const auto& desk = selectedDesk.get();
    if (!desk || trimmed(desk->displayName) != "QLab 5")
        return fail("QLab Not Selected",
                    "You must select QLab 5 as your mixing desk before generating fade cues.");
    const auto cue = pathManager ? pathManager->selectedCue.get() : nullptr;
    if (!cue)
        return fail("No Path Cue Selected", "Please select a valid path cue before generating fade cues.");
    if (cue->nodesMeters.size() < 2)
        return fail("Not Enough Path Nodes", "At least 2 path nodes are required to generate fade cues.");
    // Two runs would take each other's replies.
    if (FadeCueGenerator::isRunning())
        return refuseSecondFadeCueRun();
    onMainQueue([](ContentView& view) { view.generateFadeCues(); });
}

void ContentView::generateFadeCues() {
    if (!oscReceiver) {
        consoleLog("❌ OSCReceiver not initialized — cannot proceed.");
        return;
    }
    const auto cue = pathManager ? pathManager->selectedCue.get() : nullptr;
    if (!cue || cue->nodesMeters.size() < 2)
        return; // gone since the command
    std::weak_ptr<ContentView*> alive = aliveToken_;
    auto view = [alive]() -> ContentView* {
        auto token = alive.lock();
        return token ? *token : nullptr;
    };
    FadeCueDialogue dialogue;
    dialogue.send = [view](const OSCMessage& message, const std::string& host, std::uint16_t port) {
        if (auto* v = view()) {
            try {
                v->oscClient->send(message, host, port);
            } catch (const std::exception&) {
                // A message that cannot go is as good as lost; the run goes on.
            }
        }
    };
    dialogue.awaitReply = [view](const std::string& address, double timeout,
                                 FadeCueDialogue::ReplyCompletion completion) {
        auto* v = view();
        if (!v || !v->oscReceiver) {
            platform::DispatchQueue::main()->async([completion] { completion(std::nullopt); });
            return;
        }
        v->oscReceiver->awaitReply(address, timeout, std::move(completion));
    };
    dialogue.discardStaleReply = [](const std::string& address) {
        AwaitedReplies::shared().discardEarlyReply(address);
    };
    dialogue.generateWithoutReply = [view] {
        auto* v = view();
        return v && v->showQLabNoReplyAlert();
    };
    dialogue.updateRelativeLevels = [view] {
        if (auto* v = view())
            v->updateRelativeLevels();
    };
    dialogue.holdLevelSends = [view] {
        if (auto* v = view())
            v->holdLevelSends();
    };
    dialogue.releaseLevelSends = [view](std::function<void()> left) {
        if (auto* v = view())
            v->releaseLevelSends(std::move(left));
        else
            platform::DispatchQueue::main()->async(std::move(left));
    };
    auto throttle = disableOSCThrottling; // outlives the view if need be
    dialogue.throttlingDisabled = [throttle] { return throttle->get(); };
    dialogue.setThrottlingDisabled = [throttle](bool on) { throttle->set(on); };

    if (!FadeCueGenerator::start({appState, cue, targetDeskIP.get(), targetPort.get(), zoomLevel.get()},
                                 std::move(dialogue)))
        refuseSecondFadeCueRun();
}

void ContentView::refuseSecondFadeCueRun() {
    consoleLog("⚠️ Fade cue generation is already running; wait for it to finish.");
    if (presenter)
        presenter->showAlert({PresenterAlert::Style::warning,
                              "Fade Cues Are Being Generated",
                              "Sonavant is still generating fade cues in QLab. Wait until that run has "
                              "finished, then generate fade cues again.",
                              {"OK"}});
}

bool ContentView::showQLabNoReplyAlert() {
    PresenterAlert alert{
        PresenterAlert::Style::warning,
        "QLab did not reply",
        "QLab did not respond to our OSC query. Please check your network settings and ensure "
        "QLab is running and configured to accept OSC messages.\n\nYou can still generate fade "
        "cues, but they will not be grouped or explicitly targeted in QLab.",
        {"Generate Anyway", "Close"}};
    // Headless, the default button answers.
    return !presenter || presenter->showAlert(alert) == 0;
}

void ContentView::awaitQLabReply(const std::string& address,
                                 std::function<void(const std::optional<std::string>&)> completion) {
    if (!oscReceiver) {
        platform::DispatchQueue::main()->async([completion] { completion(std::nullopt); });
        return;
    }
    oscReceiver->awaitReply(address, 2.0, std::move(completion));
}
