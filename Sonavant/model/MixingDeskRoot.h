#pragma once
// The desk-definitions file: a dictionary with the one key "mixingDesks", the desks in
// the order the desk picker offers them. One desk that does not decode fails the file.

#include "Sonavant/model/MixingDesk.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MixingDeskRoot {
    std::vector<MixingDesk> mixingDesks;

    bool operator==(const MixingDeskRoot&) const = default;

    platform::Value encode() const;
    static MixingDeskRoot decode(const platform::Value& value, const std::string& path);

    // Throws platform::CodingError when the text is no property list or no desk file.
    static MixingDeskRoot fromPropertyList(std::string_view xml);
    // Also throws std::runtime_error when the file cannot be read.
    static MixingDeskRoot readFile(const std::filesystem::path& path);
};

inline constexpr std::string_view mixingDesksFileName = "MixingDesks.plist";

// Where the shipped desk definitions are: $SONAVANT_RESOURCE_DIR, then beside the installed
// program (../share/Sonavant), then the source tree it was built from. None when absent.
std::optional<std::filesystem::path> mixingDesksResourcePath();
