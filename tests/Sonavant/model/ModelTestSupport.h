#pragma once
// Round trips through both written forms, and the way to the shipped resources.

#include "platform/Serialization.h"
#include "platform/Value.h"

#include <cstdlib>
#include <filesystem>

inline platform::Value throughPropertyList(const platform::Value& v) {
    return platform::readPropertyList(platform::writePropertyList(v));
}

inline platform::Value throughJSON(const platform::Value& v) {
    return platform::readJSON(platform::writeJSON(v));
}

inline std::filesystem::path sourceDir() {
    if (const char* dir = std::getenv("SONAVANT_SOURCE_DIR"); dir && *dir)
        return dir;
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path();
}

// Keys of an encoded record, sorted.
inline std::vector<std::string> keysOf(const platform::Value& v) {
    std::vector<std::string> keys;
    if (auto o = v.asObject())
        for (const auto& [k, _] : *o)
            keys.push_back(k);
    return keys;
}
