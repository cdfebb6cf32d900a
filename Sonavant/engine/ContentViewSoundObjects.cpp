// Sources and groups: deletion, group clean-up and the small look-ups built on them.
#include "Sonavant/engine/ContentView.h"
#include "platform/Log.h"

#include <algorithm>
#include <limits>
#include <set>

void ContentView::removeEmptyGroups() {
    std::set<std::int64_t> speakerIDs;
    for (const auto& speaker : appState->speakers.get())
        speakerIDs.insert(speaker.id);
    std::set<platform::UUID> sourceIDs;
    for (const auto& source : appState->soundObjects.get())
        sourceIDs.insert(source->id);

    auto groups = appState->groups.get();
    std::erase_if(groups, [&](const ObjectGroup& group) {
        return std::none_of(group.speakerIDs.begin(), group.speakerIDs.end(),
                            [&](std::int64_t id) { return speakerIDs.count(id) > 0; }) &&
               std::none_of(group.soundObjectIDs.begin(), group.soundObjectIDs.end(),
                            [&](const platform::UUID& id) { return sourceIDs.count(id) > 0; });
    });
    if (groups.size() != appState->groups.get().size())
        appState->groups = std::move(groups);
    platform::consoleLog("Empty groups removed.");
}

void ContentView::deleteSoundObject(const std::shared_ptr<SoundObject>& source) {
    if (!source)
        return;
    const platform::UUID id = source->id;
    auto objects = appState->soundObjects.get();
    std::erase_if(objects, [&](const auto& object) { return object && object->id == id; });
    appState->soundObjects = std::move(objects);
    platform::consoleLog("Deleted sound object. Remaining objects keep their numbers.");
    if (pathManager) {
        for (const auto& cue : pathManager->pathCues.get()) {
            if (!cue)
                continue;
            const auto before = cue->soundObjectIDs.size();
            std::erase(cue->soundObjectIDs, id);
            if (cue->soundObjectIDs.empty()) {
                cue->hasError = true;
                // Nothing left to move.
                if (before > 0)
                    pathManager->stopCue(cue->id);
            }
        }
    }
    if (pathManager)
        pathManager->pathCues = pathManager->pathCues.get(); // the cue rows show the change
    appState->selectedSoundObject = nullptr;
    appState->saveStateForUndo();
    // What was sent for the source comes down.
    updateRelativeLevels();
}

std::int64_t ContentView::nextSoundObjectNumber(const std::string& type) const {
    std::set<std::int64_t> used;
    for (const auto& object : appState->soundObjects.get())
        if (object && object->type.get() == type)
            used.insert(object->number.get());
    if (used.empty())
        return 1;
    for (std::int64_t n = 1; n <= 512; ++n)
        if (!used.count(n))
            return n;
    const std::int64_t largest = *used.rbegin();
    return largest == std::numeric_limits<std::int64_t>::max() ? largest : largest + 1;
}

namespace {

bool inSection(const Speaker& speaker, const std::optional<std::string>& sectionName) {
    return sectionName && speaker.type == *sectionName;
}

} // namespace

bool ContentView::speakerIsMatrix(const Speaker& speaker, const MixingDesk& desk) {
    return inSection(speaker, desk.mtxName);
}

bool ContentView::speakerIsMix(const Speaker& speaker, const MixingDesk& desk) {
    return inSection(speaker, desk.mixName);
}

bool ContentView::speakerIsGroup(const Speaker& speaker, const MixingDesk& desk) {
    return inSection(speaker, desk.groupName);
}

std::vector<std::shared_ptr<SoundObject>> ContentView::objectsMatchingString(const std::string& type) const {
    std::vector<std::shared_ptr<SoundObject>> found;
    for (const auto& object : appState->soundObjects.get())
        if (object && object->type.get() == type)
            found.push_back(object);
    return found;
}

std::vector<std::shared_ptr<SoundObject>>
ContentView::objectsWithIDs(const std::vector<platform::UUID>& ids) const {
    const std::set<platform::UUID> wanted(ids.begin(), ids.end());
    std::vector<std::shared_ptr<SoundObject>> found;
    for (const auto& object : appState->soundObjects.get())
        if (object && wanted.count(object->id))
            found.push_back(object);
    return found;
}

bool ContentView::soundObjectHasID(const SoundObject& source, const platform::UUID& id) {
    return source.id == id;
}

std::pair<platform::UUID, std::map<std::int64_t, double>>
ContentView::objectLevelEntry(const SoundObject& source) const {
    const auto& levels = appState->mixerLevels.get();
    auto it = levels.find(source.id);
    return {source.id, it == levels.end() ? std::map<std::int64_t, double>{} : it->second};
}
