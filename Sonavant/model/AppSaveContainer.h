#pragma once
// The envelope of the property-list show document, {version 1, appState}; also the form of
// every undo entry.

#include "platform/Coding.h"

#include <cstdint>
#include <memory>
#include <string>

class AppState;

struct AppSaveContainer {
    static constexpr std::int64_t currentVersion = 1;

    std::int64_t version = currentVersion; // read, then ignored
    std::shared_ptr<AppState> appState;

    // Always writes version 1.
    platform::Value encode() const;
    static platform::Value encode(const AppState& state);
    // Both keys required; throws platform::CodingError.
    static AppSaveContainer decode(const platform::Value& value, const std::string& path);
};
