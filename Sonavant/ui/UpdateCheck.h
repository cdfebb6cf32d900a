#pragma once
// The update check's rules without the network: where to ask, what the reply means, and
// which download addresses may be opened. The shell runs the request and shows the alert.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace update {

// The update service; SONAVANT_UPDATE_URL replaces it (tests point it at a local server).
inline constexpr const char* defaultBaseAddress = "https://updates.sonavant.app/version";
inline constexpr const char* baseAddressVariable = "SONAVANT_UPDATE_URL";
inline constexpr const char* query = "action=getVersionInfo";

// Replies and fields beyond these sizes are not version information; they are refused
// before any alert or stored key is made of them.
inline constexpr std::size_t maxReplyBytes = 64 * 1024;
inline constexpr std::size_t maxVersionLength = 64;
inline constexpr std::size_t maxDownloadURLLength = 2048;

std::string baseAddress();
// The base address with the query appended ("?" or "&" as the address needs).
std::string requestAddress(const std::string& base);

std::string skipKey(const std::string& version); // "skipUpdate_" + version

// The application's name, version and build, as the splash shows them.
struct AppInfo {
    std::string displayName = "Sonavant";
    std::string version = "1.0";
    std::string build = "1";
};
AppInfo appInfo();
std::string versionLine(const AppInfo& info); // "Version <v> (<b>)"

// What a finished request leads to.
struct Decision {
    enum class Kind {
        failed,   // console line only
        invalid,  // silently ignored (not the expected object)
        upToDate, // same version: nothing shown
        skipped,  // the operator skipped this version before
        offer     // show the alert
    };
    Kind kind = Kind::invalid;
    std::string consoleLine;
    std::string version;
    std::string downloadURL;
    bool versionCheckDone = false;
};

// `error` is the transfer's error text when it failed; `data` is the body, none when
// nothing arrived. `skipFlag` reads the stored skip flag of a key.
Decision decide(const std::optional<std::string>& error, const std::optional<std::string>& data,
                const std::string& runningVersion, const std::function<bool(const std::string&)>& skipFlag);

// True for an absolute http or https address with a host; nothing else is ever opened.
bool isOpenableDownloadAddress(const std::string& address);

} // namespace update
