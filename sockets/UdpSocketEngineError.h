#pragma once
// The UDP engine's error type as callers see it: the engine's error object (domain, code,
// user information) carried by an exception, for the layers above that throw.

#include "sockets/SocketError.h"

#include <map>
#include <stdexcept>
#include <string>

class UdpSocketEngineError : public std::runtime_error {
public:
    static constexpr const char* errorDomain = "UdpSocketEngineErrorDomain";

    enum Code : long {
        noError = 0,
        badConfigError = 1, // invalid configuration or state for the call
        badParamError = 2,  // invalid parameter
        sendTimeoutError = 3,
        closedError = 4,
        otherError = 5,
    };

    explicit UdpSocketEngineError(SocketError error);
    // An engine-domain error from its code alone, optionally with user information.
    explicit UdpSocketEngineError(Code code, std::map<std::string, std::string> userInfo = {});

    const SocketError& error() const { return error_; }
    const std::string& domain() const { return error_.domain; }
    long code() const { return error_.code; }
    const std::map<std::string, std::string>& userInfo() const { return error_.userInfo; }

    bool operator==(const UdpSocketEngineError& other) const { return error_ == other.error_; }

private:
    SocketError error_;
};
