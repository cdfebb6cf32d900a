// The desk definitions the desk menu offers, read from the file shipped with the application.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/MixingDeskRoot.h"
#include "platform/Log.h"

void ContentView::loadMixingDesks() {
    loadMixingDesks(mixingDesksResourcePath());
}

void ContentView::loadMixingDesks(const std::optional<std::filesystem::path>& file) {
    if (!file)
        return;
    MixingDeskRoot root;
    try {
        root = MixingDeskRoot::readFile(*file);
    } catch (const std::exception& error) {
        platform::consoleLog(std::string("Error reading desks: ") + error.what());
        return;
    }
    std::optional<MixingDesk> first;
    if (!root.mixingDesks.empty())
        first = root.mixingDesks.front();
    mixingDesks = std::move(root.mixingDesks);
    selectedDesk = std::move(first);
}
