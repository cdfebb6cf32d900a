#include "sockets/SocketError.h"

#include <cstring>
#include <netdb.h>

SocketError SocketError::withDescription(std::string domain, long code, std::string description) {
    return SocketError(std::move(domain), code, {{descriptionKey, std::move(description)}});
}

SocketError SocketError::posix(int errnoValue, std::string reason) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not live in our buffer.
    const char* text = strerror_r(errnoValue, buffer, sizeof buffer);
    std::map<std::string, std::string> info{{descriptionKey, text}};
    if (!reason.empty())
        info[failureReasonKey] = std::move(reason);
    return SocketError(posixDomain, errnoValue, std::move(info));
}

SocketError SocketError::netDB(int gaiCode) {
    return withDescription(netDBDomain, gaiCode, gai_strerror(gaiCode));
}

std::string SocketError::localizedDescription() const {
    if (auto it = userInfo.find(descriptionKey); it != userInfo.end())
        return it->second;
    return "The operation couldn’t be completed. (" + domain + " error " + std::to_string(code) + ".)";
}

std::string SocketError::localizedFailureReason() const {
    auto it = userInfo.find(failureReasonKey);
    return it == userInfo.end() ? std::string() : it->second;
}

std::string SocketError::description() const {
    std::string text =
        "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + localizedDescription() + "\"";
    if (!userInfo.empty()) {
        text += " UserInfo={";
        bool first = true;
        for (const auto& [key, value] : userInfo) {
            text += (first ? "" : ", ") + key + "=" + value;
            first = false;
        }
        text += "}";
    }
    return text;
}
