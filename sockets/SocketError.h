#pragma once
// The error object the socket engines report: a domain, an integer code and a table of
// user information (description, failure reason, ...). Shared by UdpSocketEngine and
// StreamSocket; each engine builds its own domain's errors on top of it.

#include <map>
#include <string>

struct SocketError {
    static constexpr const char* posixDomain = "NSPOSIXErrorDomain";
    static constexpr const char* netDBDomain = "kCFStreamErrorDomainNetDB";
    static constexpr const char* descriptionKey = "NSLocalizedDescription";
    static constexpr const char* failureReasonKey = "NSLocalizedFailureReason";

    std::string domain;
    long code = 0;
    std::map<std::string, std::string> userInfo;

    SocketError() = default;
    SocketError(std::string domain, long code, std::map<std::string, std::string> userInfo = {})
        : domain(std::move(domain)), code(code), userInfo(std::move(userInfo)) {}

    // A domain-specific error whose description is the given text.
    static SocketError withDescription(std::string domain, long code, std::string description);
    // The system's text for `errnoValue`; a non-empty reason becomes the failure reason.
    static SocketError posix(int errnoValue, std::string reason = {});
    // A resolver (getaddrinfo) failure with the resolver's own text.
    static SocketError netDB(int gaiCode);

    std::string localizedDescription() const;
    std::string localizedFailureReason() const; // empty when none
    // One line naming domain, code, description and user information, for logs.
    std::string description() const;

    bool operator==(const SocketError&) const = default;
};
