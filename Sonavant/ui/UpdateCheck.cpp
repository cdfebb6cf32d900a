#include "Sonavant/ui/UpdateCheck.h"

#include "platform/Serialization.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#ifndef SONAVANT_VERSION_STRING
#define SONAVANT_VERSION_STRING "1.0"
#endif
#ifndef SONAVANT_BUILD_STRING
#define SONAVANT_BUILD_STRING "1"
#endif

namespace update {

std::string baseAddress() {
    if (const char* value = std::getenv(baseAddressVariable); value && *value)
        return value;
    return defaultBaseAddress;
}

std::string requestAddress(const std::string& base) {
    if (base.find('?') == std::string::npos)
        return base + "?" + query;
    const char last = base.back();
    return base + (last == '?' || last == '&' ? "" : "&") + query;
}

std::string skipKey(const std::string& version) {
    return "skipUpdate_" + version;
}

AppInfo appInfo() {
    return {"Sonavant", SONAVANT_VERSION_STRING, SONAVANT_BUILD_STRING};
}

std::string versionLine(const AppInfo& info) {
    return "Version " + info.version + " (" + info.build + ")";
}

Decision decide(const std::optional<std::string>& error, const std::optional<std::string>& data,
                const std::string& runningVersion, const std::function<bool(const std::string&)>& skipFlag) {
    Decision decision;
    auto fail = [&](std::string line) {
        decision.kind = Decision::Kind::failed;
        decision.consoleLine = std::move(line);
        return decision;
    };
    if (error)
        return fail("Version check error: " + *error);
    if (!data)
        return fail("Version check error: No data received.");
    if (data->size() > maxReplyBytes)
        return fail("Version check error: The reply is larger than " + std::to_string(maxReplyBytes) +
                    " bytes.");
    platform::Value reply;
    try {
        reply = platform::readJSON(*data);
    } catch (const std::exception& parseError) {
        return fail(std::string("Version check error: ") + parseError.what());
    }
    const platform::Value* version = reply.find("currentVersion");
    const platform::Value* url = reply.find("downloadURL");
    if (!version || !version->asText() || !url || !url->asText())
        return decision;
    decision.version = *version->asText();
    decision.downloadURL = *url->asText();
    // The version becomes a key in the user defaults and a line of the alert.
    if (decision.version.empty() || decision.version.size() > maxVersionLength)
        return fail("Version check error: The published version is not a version (" +
                    std::to_string(decision.version.size()) + " characters).");
    if (decision.downloadURL.size() > maxDownloadURLLength)
        return fail("Version check error: The download address is longer than " +
                    std::to_string(maxDownloadURLLength) + " characters.");
    decision.versionCheckDone = true;
    if (decision.version == runningVersion)
        decision.kind = Decision::Kind::upToDate;
    else if (skipFlag && skipFlag(skipKey(decision.version)))
        decision.kind = Decision::Kind::skipped;
    else
        decision.kind = Decision::Kind::offer;
    return decision;
}

bool isOpenableDownloadAddress(const std::string& address) {
    if (address.size() > maxDownloadURLLength)
        return false;
    for (unsigned char c : address)
        if (c <= 0x20 || c == 0x7f)
            return false;
    const auto colon = address.find(':');
    if (colon == std::string::npos)
        return false;
    std::string scheme = address.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (scheme != "http" && scheme != "https")
        return false;
    if (address.compare(colon + 1, 2, "//") != 0)
        return false;
    const auto hostStart = colon + 3;
    auto hostEnd = address.find_first_of("/?#", hostStart);
    if (hostEnd == std::string::npos)
        hostEnd = address.size();
    std::string authority = address.substr(hostStart, hostEnd - hostStart);
    if (auto at = authority.rfind('@'); at != std::string::npos)
        authority = authority.substr(at + 1);
    if (auto portColon = authority.rfind(':'); portColon != std::string::npos && authority.front() != '[')
        authority = authority.substr(0, portColon);
    return !authority.empty();
}

} // namespace update
