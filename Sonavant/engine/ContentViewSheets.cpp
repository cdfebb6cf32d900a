// The loudspeaker and input sheets' hooks: channel search and validation, deletion, and
// opening a sheet for an item found by id.
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"

#include <algorithm>
#include <set>

std::optional<std::int64_t> ContentView::findLowestChannel(const std::string& type,
                                                           std::int64_t highestChannel,
                                                           std::int64_t ignoredSpeakerID) const {
    if (highestChannel < 1)
        return std::nullopt;
    // The taken channels within range, so a huge bound from a desk file costs nothing extra.
    std::set<std::int64_t> taken;
    for (const auto& speaker : appState->speakers.get())
        if (speaker.id != ignoredSpeakerID && speaker.type == type && speaker.channelNumber >= 1 &&
            speaker.channelNumber <= highestChannel)
            taken.insert(speaker.channelNumber);
    std::int64_t channel = 1;
    for (std::int64_t used : taken) {
        if (used != channel)
            break;
        if (channel == highestChannel)
            return std::nullopt;
        ++channel;
    }
    return channel;
}

std::optional<std::int64_t> ContentView::findLowestChannel(const std::string& type,
                                                           std::int64_t ignoredSpeakerID) const {
    return findLowestChannel(type, sheetChannelSearchLimit, ignoredSpeakerID);
}

std::optional<std::string> ContentView::validateChannel(const std::string& type, std::int64_t channel,
                                                        std::int64_t speakerID) const {
    const auto& desk = selectedDesk.get();
    if (!desk)
        return std::nullopt;
    const std::optional<std::int64_t> count = desk->mixName == type ? desk->mixNum : desk->mtxNum;
    const std::int64_t highest = count.value_or(1);
    if (channel < 1 || channel > highest)
        return "Channel " + std::to_string(channel) + " is out of valid range [1..." +
               std::to_string(highest) + "]";
    const auto& speakers = appState->speakers.get();
    const bool inUse = std::any_of(speakers.begin(), speakers.end(), [&](const Speaker& other) {
        return other.id != speakerID && other.type == type && other.channelNumber == channel;
    });
    if (inUse)
        return "Channel " + std::to_string(channel) + " for " + type + " is already in use.";
    return std::nullopt;
}

void ContentView::onDelete(std::int64_t speakerID) {
    // The state before the deletion is what undo must return to; a record taken only after
    // it equals the live state, is passed over, and undo would fall back to an older entry,
    // reverting unrecorded edits as well. The record after it lets a later operation that
    // records only its result be undone without undoing the deletion too.
    appState->saveStateForUndo();
    auto speakers = appState->speakers.get();
    std::erase_if(speakers, [&](const Speaker& speaker) { return speaker.id == speakerID; });
    if (speakers.size() != appState->speakers->size()) {
        appState->speakers = std::move(speakers);
        // Every remaining loudspeaker's share may change ("Constant Power" normalises over
        // them); the levels belong to the state recorded after the deletion.
        updateRelativeLevels();
    }
    appState->saveStateForUndo();
}

std::optional<Speaker> ContentView::speakerWithID(std::int64_t speakerID) const {
    for (const auto& speaker : appState->speakers.get())
        if (speaker.id == speakerID)
            return speaker;
    return std::nullopt;
}

std::shared_ptr<SoundObject> ContentView::soundObjectWithID(const platform::UUID& sourceID) const {
    for (const auto& source : appState->soundObjects.get())
        if (source && source->id == sourceID)
            return source;
    return nullptr;
}

void ContentView::presentSpeakerSheet(std::int64_t speakerID) {
    auto speaker = speakerWithID(speakerID);
    if (!speaker)
        return;
    activeSpeaker = std::move(speaker);
    if (presenter)
        presenter->showSpeakerSheet(*this, speakerID);
}

void ContentView::presentInputSheet(const platform::UUID& sourceID) {
    auto source = soundObjectWithID(sourceID);
    if (!source)
        return;
    activeSoundObject = std::move(source);
    if (presenter)
        presenter->showInputSheet(*this, sourceID);
}
