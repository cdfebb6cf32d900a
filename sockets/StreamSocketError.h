#pragma once
// The errors a StreamSocket reports, built on the shared SocketError.

#include "sockets/SocketError.h"

#include <cstdint>
#include <string>

enum StreamSocketErrorCode : long {
    StreamSocketNoError = 0,
    StreamSocketBadConfigError = 1,
    StreamSocketBadParamError = 2,
    StreamSocketConnectTimeoutError = 3,
    StreamSocketReadTimeoutError = 4,
    StreamSocketWriteTimeoutError = 5,
    StreamSocketReadMaxedOutError = 6,
    StreamSocketClosedError = 7,
    StreamSocketOtherError = 8,
};

struct StreamSocketError {
    static constexpr const char* domain = "StreamSocketErrorDomain";
    static constexpr const char* sslDomain = "kCFStreamErrorDomainSSL";
    static constexpr const char* recoverySuggestionKey = "NSLocalizedRecoverySuggestion";

    static SocketError badConfig(std::string message);
    static SocketError badParam(std::string message);
    static SocketError connectTimeout();
    static SocketError readTimeout();
    static SocketError writeTimeout();
    static SocketError readMaxedOut();
    static SocketError closed();
    static SocketError other(std::string message);
    // A TLS failure: the status as code; the TLS engine's own text, when known, as description.
    static SocketError ssl(std::int32_t status, std::string description = {});
};
