// Sources and groups: deletion, group clean-up and the small look-ups built on them.
#include "Sonavant/engine/ContentView.h"
#include "platform/Log.h"

#include <algorithm>
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
