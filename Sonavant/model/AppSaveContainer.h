#pragma once
// The envelope of the property-list show document, {version 1, appState}; also the form of
// every undo entry.

#include "platform/Coding.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class AppState;

struct AppSaveContainer {
    static constexpr std::int64_t currentVersion = 1;

    std::int64_t version = currentVersion; // read, then ignored
    std::shared_ptr<AppState> appState;
    // Only in the autosave: which joint write of the autosave and the working state wrote it.
    // The launch compares it with the working state's, so that a kill between the two files
    // never mixes two shows. Absent in show files and in the autosaves of older versions.
    std::optional<std::int64_t> writeStamp;

    // Always writes version 1.
    platform::Value encode() const;
    static platform::Value encode(const AppState& state,
                                  std::optional<std::int64_t> writeStamp = std::nullopt);
    // Both keys required; throws platform::CodingError.
    static AppSaveContainer decode(const platform::Value& value, const std::string& path);
};
