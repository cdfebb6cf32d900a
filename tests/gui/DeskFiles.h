#pragma once
// Desk-definition files for GUI tests: written into a folder that SONAVANT_RESOURCE_DIR
// points at, so the main view reads them at start-up in place of the shipped file.

#include "Sonavant/model/MixingDeskRoot.h"
#include "gui/GuiTestMain.h"
#include "platform/Files.h"
#include "platform/Serialization.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace guitest {

inline std::filesystem::path useDeskFile(const std::vector<MixingDesk>& desks,
                                         const std::string& folderName) {
    const auto folder = prepareEnvironment() / folderName; // inside this program's fresh home
    std::filesystem::create_directories(folder);
    MixingDeskRoot root{desks};
    platform::writeFileAtomically(folder / std::string(mixingDesksFileName),
                                  platform::writePropertyList(root.encode()));
    ::setenv("SONAVANT_RESOURCE_DIR", folder.c_str(), 1);
    return folder;
}

inline std::vector<MixingDesk> shippedDesks() {
    ::unsetenv("SONAVANT_RESOURCE_DIR");
    return MixingDeskRoot::readFile(*mixingDesksResourcePath()).mixingDesks;
}

} // namespace guitest
