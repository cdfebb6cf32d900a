#include "Sonavant/cues/FadeCueGenerator.h"

#include "Sonavant/cues/MainTask.h"
#include "Sonavant/cues/WithTimeout.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/model/SoundObject.h"
#include "platform/Log.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <unordered_set>
#include <utility>

using platform::consoleLog;

namespace {

using Reply = std::optional<std::string>;
using LevelSnapshot = std::map<platform::UUID, std::map<std::int64_t, double>>;

bool running = false;

void logStamped(const std::string& text) {
    consoleLog("[" + platform::logTimestamp() + text);
}

// `co_await ReplyWait{...}`: the reply text, or none after the timeout.
struct ReplyWait {
    const FadeCueDialogue& dialogue;
    std::string address;
    double timeout;
    Reply result;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        dialogue.awaitReply(address, timeout, [this, handle](const Reply& reply) {
            result = reply;
            handle.resume();
        });
    }
    Reply await_resume() { return std::move(result); }
};

// `co_await TimedReplyWait{...}`: the reply wait raced against a deadline.
struct TimedReplyWait {
    const FadeCueDialogue& dialogue;
    std::string address;
    double timeout;
    double deadline;
    TimeoutOutcome<Reply> outcome;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        withTimeout<Reply>(
            deadline,
            [this](std::function<void(Reply)> done) {
                dialogue.awaitReply(address, timeout, [done](const Reply& reply) { done(reply); });
            },
            [this, handle](TimeoutOutcome<Reply> result) {
                outcome = std::move(result);
                handle.resume();
            });
    }
    TimeoutOutcome<Reply> await_resume() { return std::move(outcome); }
};

// `co_await` it: the level sends it released have all left.
struct LevelSendsLeft {
    struct State {
        bool left = false;
        std::coroutine_handle<> waiting;
    };
    std::shared_ptr<State> state = std::make_shared<State>();
    bool await_ready() const noexcept { return state->left; }
    void await_suspend(std::coroutine_handle<> handle) { state->waiting = handle; }
    void await_resume() const noexcept {}
};

// The level engine's pass, its desk sends held until `releaseLevelSends`.
void heldLevelPass(const FadeCueDialogue& d) {
    if (d.holdLevelSends)
        d.holdLevelSends();
    d.updateRelativeLevels();
}

LevelSendsLeft releaseLevelSends(const FadeCueDialogue& d) {
    LevelSendsLeft sends;
    if (!d.releaseLevelSends) {
        sends.state->left = true;
        return sends;
    }
    d.releaseLevelSends([state = sends.state] {
        state->left = true;
        if (auto handle = std::exchange(state->waiting, {}))
            handle.resume();
    });
    return sends;
}

LevelSnapshot snapshot(const AppState& show, const std::vector<std::shared_ptr<SoundObject>>& targets) {
    LevelSnapshot levels;
    const auto& mixer = show.mixerLevels.get();
    for (const auto& target : targets) {
        auto it = mixer.find(target->id);
        levels[target->id] = it == mixer.end() ? std::map<std::int64_t, double>{} : it->second;
    }
    return levels;
}

std::string levelRow(const SoundObject& object) {
    return object.type.get() == "Cue" ? "0" : std::to_string(object.number.get());
}

// Awaitables with members that own memory are named, never temporaries of the co_await
// expression: this compiler destroys such temporaries twice.
MainTask generate(FadeCueGenerator::Run run, FadeCueDialogue d, std::function<void()> finished) {
    AppState& show = *run.appState;
    const auto cue = run.cue;
    const std::string host = run.host;
    const std::uint16_t port = FadeCueGenerator::port(run.portText);
    const double zoom = run.zoom;
    const CanvasOrientation orientation = show.canvasOrientation;
    const Point zero = show.zeroPoint;
    const std::vector<Point> nodes = cue->nodesMeters;
    const double pathLength = polylineLength(nodes);
    const double cueTime = cue->time;
    std::vector<std::shared_ptr<SoundObject>> targets;
    {
        const std::unordered_set<platform::UUID> ids(cue->soundObjectIDs.begin(), cue->soundObjectIDs.end());
        for (const auto& object : show.soundObjects.get())
            if (ids.count(object->id))
                targets.push_back(object);
    }
    auto send = [&](const std::string& address, std::vector<OSCValue> values) {
        d.send(OSCMessage(address, std::move(values)), host, port);
    };

    logStamped("] 🚀 Starting fade cue generation for cue: " + cue->name);
    const bool throttlingBefore = d.throttlingDisabled();
    d.setThrottlingDisabled(true);
    auto end = [&] {
        d.setThrottlingDisabled(throttlingBefore);
        running = false;
        if (finished)
            finished();
    };

    const std::string uuidReply = "/reply/cue/selected/uniqueID";
    logStamped("] ⚙️ Registering reply listener for: " + uuidReply);
    co_await MainQueuePause{0.2};
    logStamped("] 📤 Sending OSC message: /cue/selected/uniqueID");
    d.discardStaleReply(uuidReply);
    send("/cue/selected/uniqueID", {});
    Reply selectedCueID;
    {
        TimedReplyWait wait{d, uuidReply, 2.0, 4.0, {}};
        auto outcome = co_await wait;
        if (auto* reply = std::get_if<Reply>(&outcome)) {
            selectedCueID = *reply;
        } else {
            logStamped("] ⏱ UUID request timed out.");
        }
        logStamped("] 📨 UUID reply received: " + selectedCueID.value_or("nil"));
    }

    if (!selectedCueID && !d.generateWithoutReply()) {
        consoleLog("🛑 User canceled fade cue generation due to missing QLab reply.");
        end();
        co_return;
    }

    Reply groupID;
    if (selectedCueID) {
        d.discardStaleReply("/reply/new");
        send("/new", {OSCValue("group")});
        ReplyWait wait{d, "/reply/new", 2.0, {}};
        groupID = co_await wait;
        if (groupID) {
            send("/cue_id/" + *groupID + "/name", {OSCValue(FadeCueGenerator::groupName)});
            send("/cue_id/" + *groupID + "/mode", {OSCValue(std::int32_t{6})});
        }
    }

    // A relative cue moves every target by the path's displacement from its first node.
    std::map<platform::UUID, Point> baselines;
    if (cue->relative)
        for (const auto& target : targets)
            baselines.emplace(target->id, target->positionMeters.get());

    // Every pass's level sends leave before the next "/new": QLab applies them to the cue
    // selected when they arrive.
    heldLevelPass(d);
    {
        LevelSendsLeft sent = releaseLevelSends(d);
        co_await sent;
    }

    const auto& speakers = show.speakers.get();
    if (selectedCueID && !targets.empty() && !speakers.empty()) {
        const std::string address = "/cue/selected/level/" + levelRow(*targets.front()) + "/" +
                                    std::to_string(speakers.front().channelNumber);
        logStamped("] 🔍 Verifying level confirmation at " + address + "…");
        co_await MainQueuePause{0.1};
        d.discardStaleReply("/reply" + address);
        send(address, {});
        TimedReplyWait wait{d, "/reply" + address, 2.0, 2.0, {}};
        auto outcome = co_await wait;
        if (auto* reply = std::get_if<Reply>(&outcome)) {
            logStamped("] 📨 Level reply received: " + reply->value_or("nil"));
            consoleLog(*reply ? "✅ Level reply received from QLab."
                              : "⚠️ No level reply received — proceeding cautiously.");
        } else {
            consoleLog("⏱ Level query timed out — proceeding cautiously.");
        }
    }

    LevelSnapshot levelsBefore = snapshot(show, targets);
    std::int32_t fadeNumber = 1;
    float pendingDuration = 0;
    for (std::size_t i = 1; i < nodes.size(); ++i) {
        const double segment = std::hypot(nodes[i].x - nodes[i - 1].x, nodes[i].y - nodes[i - 1].y);
        double share = cueTime * (segment / pathLength);
        if (!std::isfinite(share))
            share = 0;
        if (segment < 0.5 || std::isnan(pathLength)) {
            pendingDuration += float(share);
            continue;
        }
        for (const auto& target : targets) {
            Point metres = nodes[i];
            if (cue->relative) {
                const Point base = baselines[target->id];
                metres = {base.x + nodes[i].x - nodes[0].x, base.y + nodes[i].y - nodes[0].y};
            } else if (cue->objectOffsets) {
                auto offset = cue->objectOffsets->find(target->id);
                if (offset != cue->objectOffsets->end())
                    metres = {nodes[i].x + offset->second.x, nodes[i].y + offset->second.y};
            }
            target->position = metresToCanvas(orientation, metres, zoom, zero);
            target->positionMeters = metres;
        }
        heldLevelPass(d);
        LevelSnapshot levelsNow = snapshot(show, targets);
        if (levelsNow == levelsBefore) {
            LevelSendsLeft sent = releaseLevelSends(d);
            co_await sent;
            pendingDuration += float(share);
            continue;
        }

        const float duration = pendingDuration + float(share);
        const std::string title = "Sonavant-Fade " + std::to_string(fadeNumber);
        Reply fadeID;
        if (selectedCueID)
            d.discardStaleReply("/reply/new");
        send("/new", {OSCValue("fade")});
        if (selectedCueID) {
            ReplyWait wait{d, "/reply/new", 2.0, {}};
            fadeID = co_await wait;
        }
        // This step's levels go to the fade cue just made, and have left before the next "/new".
        LevelSendsLeft sent = releaseLevelSends(d);
        co_await MainQueuePause{0.1};
        co_await sent;
        if (!fadeID) {
            send("/cue/selected/name", {OSCValue(title)});
            send("/cue/selected/duration", {OSCValue(duration)});
            send("/cue/selected/continueMode", {OSCValue(std::int32_t{2})});
        } else {
            const std::string base = "/cue_id/" + *fadeID;
            send(base + "/name", {OSCValue(title)});
            send(base + "/cueTargetId", {OSCValue(selectedCueID.value_or(""))});
            send(base + "/duration", {OSCValue(duration)});
            send(base + "/continueMode", {OSCValue(std::int32_t{2})});
            for (const auto& target : targets) {
                for (const auto& [speakerID, level] : levelsNow[target->id]) {
                    // Levels are addressed by the loudspeaker's output channel, as the check is.
                    const auto& list = show.speakers.get();
                    auto speaker = std::find_if(list.begin(), list.end(),
                                                [&](const Speaker& s) { return s.id == speakerID; });
                    if (speaker == list.end())
                        continue;
                    send(base + "/level/" + levelRow(*target) + "/" + std::to_string(speaker->channelNumber),
                         {OSCValue(float(level))});
                    co_await MainQueuePause{0.01};
                }
            }
            if (groupID)
                send("/move/" + *fadeID, {OSCValue(fadeNumber), OSCValue(*groupID)});
        }
        ++fadeNumber;
        pendingDuration = 0;
        levelsBefore = std::move(levelsNow);
    }

    logStamped("] ✅ Fade cue generation complete.");
    end();
}

} // namespace

bool FadeCueGenerator::isRunning() {
    return running;
}

std::uint16_t FadeCueGenerator::port(const std::string& text) {
    unsigned value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [rest, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || rest != last || value > 65535)
        return defaultQLabPort;
    return static_cast<std::uint16_t>(value);
}

bool FadeCueGenerator::start(Run run, FadeCueDialogue dialogue, std::function<void()> finished) {
    if (running || !run.appState || !run.cue)
        return false;
    running = true;
    generate(std::move(run), std::move(dialogue), std::move(finished));
    return true;
}
