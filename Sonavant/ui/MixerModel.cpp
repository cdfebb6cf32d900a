#include "Sonavant/ui/MixerModel.h"

#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/DeskRoute.h"
#include "Sonavant/ui/MixerFaderMaths.h"
#include "Sonavant/ui/MixerPairFlags.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <cmath>
#include <vector>

using platform::consoleLog;

namespace {

// Sources in number order; equal numbers keep their list order.
std::vector<std::shared_ptr<SoundObject>> byNumber(const std::vector<std::shared_ptr<SoundObject>>& list) {
    std::vector<std::shared_ptr<SoundObject>> sorted;
    for (const auto& s : list)
        if (s)
            sorted.push_back(s);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a->number.get() < b->number.get(); });
    return sorted;
}

} // namespace

MixerModel::MixerModel(Inputs inputs) : inputs_(std::move(inputs)) {
    if (!inputs_.outlet)
        inputs_.outlet = DeskOutlet::network();
}

MixerModel::Inputs MixerModel::inputsOf(ContentView& view) {
    return {view.appState, view.targetDeskIP,          view.targetPort,
            view.outlet,   view.saveStateWhileAlive(), view.mixerSendLink()};
}

const Speaker* MixerModel::speaker(std::int64_t speakerID) const {
    for (const Speaker& s : appState().speakers.get())
        if (s.id == speakerID)
            return &s;
    return nullptr;
}

DeskRange MixerModel::faderRange(const Speaker& speaker) const {
    const auto& source = selected();
    return mixerFaderRange(appState().selectedDesk.get(), source ? source->type.get() : std::string(),
                           speaker.type);
}

bool MixerModel::isMuted(std::int64_t speakerID) const {
    const auto& source = selected();
    return source && pairFlag(appState().muteStates, source->id, speakerID);
}

bool MixerModel::isFrozen(std::int64_t speakerID) const {
    const auto& source = selected();
    return source && pairFlag(appState().freezeStates, source->id, speakerID);
}

double MixerModel::faderValue(const Speaker& speaker) const {
    const DeskRange range = faderRange(speaker);
    const auto& source = selected();
    if (!source)
        return range.lower;
    if (isMuted(speaker.id))
        return range.lower;
    if (isFrozen(speaker.id))
        if (auto it = sliderOverrides_.find({source->id, speaker.id}); it != sliderOverrides_.end())
            return it->second;
    const auto& levels = appState().mixerLevels.get();
    if (auto row = levels.find(source->id); row != levels.end())
        if (auto level = row->second.find(speaker.id); level != row->second.end())
            return level->second;
    return range.lower;
}

void MixerModel::faderChanged(std::int64_t speakerID, double value) {
    const auto source = selected();
    const Speaker* found = speaker(speakerID);
    if (!source || !found)
        return;
    const Speaker target = *found;
    const double level = faderLevel(value, faderRange(target));
    sliderOverrides_[{source->id, speakerID}] = level;
    ++moves_[{source->id, speakerID}];
    appState().mixerLevels.update([&](auto& levels) { levels[source->id][speakerID] = level; });
    send(target, *source, level);
}

std::optional<std::uint64_t> MixerModel::send(const Speaker& speaker, const SoundObject& source,
                                              double value) {
    auto address = deskOSCAddress(speaker, source);
    if (!address)
        return std::nullopt;
    auto port = parsePortNumber(inputs_.targetPort.get());
    if (!port)
        return std::nullopt;
    const bool on = appState().oscOutputOn;
    const auto& desk = appState().selectedDesk.get();
    std::string sentAddress = *address;
    if (desk && !desk->UDP) {
        // A desk that takes text over TCP reads no datagrams: the line the level engine
        // would send, its address counting from 0 and the level as a whole number.
        const DeskRoute route = routeDeskSend(*desk, source.type, source.number, speaker.type,
                                              speaker.channelNumber, DeskRouteCaller::levelEngine);
        const double whole = std::round(value);
        if (!route.address || !std::isfinite(whole) || std::fabs(whole) > 2147483647.0)
            return std::nullopt;
        if (!on) {
            consoleLog("OSC output is disabled.");
            return std::nullopt;
        }
        sentAddress = *route.address;
        inputs_.outlet->sendTCP(sentAddress + " " + std::to_string(static_cast<long long>(whole)) + "\n",
                                sentAddress, inputs_.targetDeskIP.get(), *port);
    } else {
        // One float, whatever the desk's number kind.
        inputs_.outlet->sendUDP(on, *address, inputs_.targetDeskIP.get(), *port, OSCSendArgument(value));
        if (!on)
            return std::nullopt;
    }
    const std::uint64_t mark = inputs_.levels.sent ? inputs_.levels.sent(source.id, speaker.id, sentAddress,
                                                                         value, faderRange(speaker).lower)
                                                   : 0;
    lastSends_[{source.id, speaker.id}] = mark;
    return mark;
}

void MixerModel::faderEditingChanged(std::int64_t speakerID, bool editing) {
    if (editing)
        return;
    const Speaker* found = speaker(speakerID);
    consoleLog("Finished interacting with fader for speaker " + (found ? found->displayName : std::string()));
}

void MixerModel::faderEditingEnded(std::int64_t speakerID) {
    save();
    const auto source = selected();
    if (!source)
        return;
    const auto pair = std::make_pair(source->id, speakerID);
    auto level = sliderOverrides_.find(pair);
    if (level == sliderOverrides_.end())
        return;
    std::weak_ptr<MixerModel*> alive = alive_;
    const auto lastSend = lastSends_.find(pair);
    platform::DispatchQueue::main()->asyncAfter(
        settleDelay, [alive, pair, value = level->second, moves = moves_[pair], sourceRef = source,
                      mark = lastSend == lastSends_.end() ? std::nullopt : std::optional(lastSend->second)] {
            auto model = alive.lock();
            if (!model)
                return;
            MixerModel& self = **model;
            const Speaker* target = self.speaker(pair.second);
            // Moved again, or muted meanwhile: the newer state stands.
            if (!target || self.moves_[pair] != moves ||
                pairFlag(self.appState().muteStates, pair.first, pair.second))
                return;
            // A level pass sent the pair since: the desk has the level the fader shows now.
            const auto& isLast = self.inputs_.levels.isLast;
            if (mark && isLast && !isLast(pair.first, pair.second, *mark))
                return;
            const Speaker copy = *target;
            self.send(copy, *sourceRef, value);
        });
}

void MixerModel::toggleFreeze(std::int64_t speakerID) {
    const auto source = selected();
    if (!source)
        return;
    auto freeze = appState().freezeStates.get();
    auto mute = appState().muteStates.get();
    const bool on = togglePairFlag(freeze, mute, source->id, speakerID);
    if (on)
        appState().muteStates = std::move(mute);
    appState().freezeStates = std::move(freeze);
    save();
}

void MixerModel::toggleMute(std::int64_t speakerID) {
    const auto source = selected();
    if (!source)
        return;
    auto mute = appState().muteStates.get();
    auto freeze = appState().freezeStates.get();
    const bool on = togglePairFlag(mute, freeze, source->id, speakerID);
    if (on)
        appState().freezeStates = std::move(freeze);
    appState().muteStates = std::move(mute);
    save();
}

void MixerModel::sendRangeMinimum(std::int64_t speakerID) {
    const auto source = selected();
    if (!source)
        return;
    toggleMute(speakerID);
    const Speaker* found = speaker(speakerID);
    if (!found)
        return;
    if (!isMuted(speakerID)) {
        // Nothing sent here: the level engine sends the pair's level as a new one.
        if (inputs_.levels.unmuted)
            inputs_.levels.unmuted(source->id, speakerID);
        return;
    }
    const Speaker target = *found;
    send(target, *source, faderRange(target).lower);
}

void MixerModel::selectPrevious() {
    const auto source = selected();
    if (!source)
        return;
    const auto sorted = byNumber(appState().soundObjects);
    auto it = std::find_if(sorted.begin(), sorted.end(), [&](const auto& s) { return s->id == source->id; });
    if (it == sorted.end() || it == sorted.begin())
        return;
    appState().selectedSoundObject = *std::prev(it);
}

void MixerModel::selectNext() {
    const auto source = selected();
    if (!source)
        return;
    const auto sorted = byNumber(appState().soundObjects);
    auto it = std::find_if(sorted.begin(), sorted.end(), [&](const auto& s) { return s->id == source->id; });
    if (it == sorted.end() || std::next(it) == sorted.end())
        return;
    appState().selectedSoundObject = *std::next(it);
}

void MixerModel::renameSource(const std::string& name) {
    const auto source = selected();
    if (!source)
        return;
    source->name = name;
    // Observers of the selection hear of the new name.
    appState().selectedSoundObject = source;
}

void MixerModel::renameSpeaker(std::int64_t speakerID, const std::string& name) {
    if (!speaker(speakerID))
        return;
    appState().speakers.update([&](std::vector<Speaker>& list) {
        for (Speaker& s : list)
            if (s.id == speakerID) {
                s.displayName = name;
                return;
            }
    });
}

void MixerModel::submitName() {
    save();
}

void MixerModel::save() {
    if (inputs_.saveAppState)
        inputs_.saveAppState();
}

NamedColor MixerModel::kindColour() const {
    const auto& source = selected();
    const auto& desk = appState().selectedDesk.get();
    if (!source || !desk)
        return NamedColor::white;
    if (source->type.get() == desk->inputName)
        return colorNamed(desk->inputColour);
    if (desk->mixName == source->type.get())
        return colorNamed(desk->mixColour.value_or("white"));
    return NamedColor::white;
}

NamedColor MixerModel::speakerAccentColour(const Speaker& speaker) const {
    const auto& desk = appState().selectedDesk.get();
    if (!desk)
        return NamedColor::gray;
    if (desk->mixName == speaker.type)
        return colorNamed(desk->mixColour.value_or("white"));
    if (desk->mtxName == speaker.type)
        return colorNamed(desk->mtxColour.value_or("white"));
    return NamedColor::gray;
}

void MixerModel::faderAppeared(const Speaker& speaker) const {
    consoleLog("Applying accent color for speaker " + std::to_string(speaker.id) + ": " +
               std::string(colourName(speakerAccentColour(speaker))));
}

bool MixerModel::onAppear() {
    if (!selected() && !appState().soundObjects->empty()) {
        const auto sorted = byNumber(appState().soundObjects);
        if (!sorted.empty())
            appState().selectedSoundObject = sorted.front();
    }
    const bool close = appState().isSoundScapeMode;
    const auto& desk = appState().selectedDesk.get();
    consoleLog("MixerView onAppear: selected desk = " + (desk ? desk->displayName : std::string("nil")));
    const DeskRange range = desk ? parseDeskRange(desk->mixOSCSendRange).value_or(mixerfader::fallbackRange)
                                 : mixerfader::fallbackRange;
    consoleLog("OSC Range: " + platform::numberText(range.lower) + " to " +
               platform::numberText(range.upper));
    return close;
}

std::optional<std::string> MixerModel::deskOSCAddress(const Speaker& speaker,
                                                      const SoundObject& source) const {
    const auto& desk = appState().selectedDesk.get();
    if (!desk)
        return std::nullopt;
    const DeskRoute route = routeDeskSend(*desk, source.type, source.number, speaker.type,
                                          speaker.channelNumber, DeskRouteCaller::mixer);
    switch (route.row) {
    case DeskRouteRow::mixToMix:
        consoleLog("Skipping Mix to Mix case. No OSC message sent.");
        return std::nullopt;
    case DeskRouteRow::inputToMatrix: {
        const bool enabled = desk->inputToMtx.value_or(false);
        consoleLog(std::string("Input to MTX = ") + (enabled ? "true" : "false"));
        if (!enabled) {
            consoleLog("Skipping Input to MTX as InputToMtx is not enabled. No OSC message sent.");
            return std::nullopt;
        }
        break;
    }
    case DeskRouteRow::mixToMatrix:
    case DeskRouteRow::inputToMix:
        break;
    case DeskRouteRow::cueToMix:
    case DeskRouteRow::unsupported:
        consoleLog("Skipping unsupported sound type: " + source.type.get());
        return std::nullopt;
    }
    return route.address;
}
