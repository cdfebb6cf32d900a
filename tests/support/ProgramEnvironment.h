#pragma once
// The environment a test starts the built program with: the inherited one, but with its home,
// settings, data, cache and runtime folders in `home`, the given Qt platform, an update check
// that asks a loopback port nobody listens on, and `added` (NAME=value) over anything else.

#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace support {

inline std::vector<std::string> programEnvironment(const std::filesystem::path& home,
                                                   const std::string& platform,
                                                   const std::vector<std::string>& added) {
    auto setHere = [&](const std::string& name) {
        if (name == "HOME" || name.rfind("XDG_", 0) == 0 || name == "QT_QPA_PLATFORM" ||
            name == "SONAVANT_UPDATE_URL")
            return true;
        for (const auto& entry : added)
            if (entry.substr(0, entry.find('=')) == name)
                return true;
        return false;
    };
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (!setHere(entry.substr(0, entry.find('='))))
            env.push_back(entry);
    }
    env.push_back("HOME=" + home.string());
    env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
    env.push_back("XDG_DATA_HOME=" + (home / "data").string());
    env.push_back("XDG_CACHE_HOME=" + (home / "cache").string());
    env.push_back("XDG_RUNTIME_DIR=" + (home / "runtime").string());
    env.push_back("QT_QPA_PLATFORM=" + platform);
    env.push_back("SONAVANT_UPDATE_URL=http://127.0.0.1:9/");
    env.insert(env.end(), added.begin(), added.end());
    return env;
}

} // namespace support
