// Making, refreshing and deleting snapshots (the snapshots window's buttons).

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/SnapshotRules.h"
#include "platform/Log.h"

#include <algorithm>

void ContentView::addSnapshot() {
    Snapshot snapshot;
    snapshot.id = platform::UUID::random();
    snapshot.number = SnapshotRules::nextNumber(appState->snapshots);
    snapshot.name = SnapshotRules::newName(appState->snapshots);
    snapshot.recallTime = SnapshotRules::newRecallTime;
    snapshot.fill(appState->speakers, appState->soundObjects);
    // Recorded before as well, so Undo takes back the new snapshot and nothing else.
    appState->saveStateForUndo();
    appState->snapshots.update([&](std::vector<Snapshot>& list) { list.push_back(snapshot); });
    platform::consoleLog("\u2705 Snapshot " + std::to_string(snapshot.number) + " added: " + snapshot.name);
    writeAutosaveAndWorkingState();
    appState->saveStateForUndo();
}

void ContentView::updateSnapshot(const Snapshot& given) {
    const auto& list = appState->snapshots.get();
    auto it = std::find_if(list.begin(), list.end(), [&](const Snapshot& s) { return s.id == given.id; });
    if (it == list.end())
        return;
    const auto index = it - list.begin();
    Snapshot replacement;
    replacement.id = given.id;
    replacement.number = given.number;
    replacement.name = given.name;
    replacement.recallTime = given.recallTime;
    replacement.fill(appState->speakers, appState->soundObjects);
    appState->snapshots.update(
        [&](std::vector<Snapshot>& snapshots) { snapshots[index] = std::move(replacement); });
}

void ContentView::deleteSnapshot(const Snapshot& given) {
    appState->saveStateForUndo();
    appState->snapshots.update([&](std::vector<Snapshot>& list) {
        std::erase_if(list, [&](const Snapshot& s) { return s.id == given.id; });
    });
    platform::consoleLog("\U0001F5D1 Snapshot " + std::to_string(given.number) + " deleted.");
    writeAutosaveAndWorkingState();
    appState->saveStateForUndo();
}
