#include "sockets/StreamSocketError.h"

SocketError StreamSocketError::badConfig(std::string message) {
    return SocketError::withDescription(domain, StreamSocketBadConfigError, std::move(message));
}

SocketError StreamSocketError::badParam(std::string message) {
    return SocketError::withDescription(domain, StreamSocketBadParamError, std::move(message));
}

SocketError StreamSocketError::connectTimeout() {
    return SocketError::withDescription(domain, StreamSocketConnectTimeoutError,
                                        "Attempt to connect to host timed out");
}

SocketError StreamSocketError::readTimeout() {
    return SocketError::withDescription(domain, StreamSocketReadTimeoutError, "Read operation timed out");
}

SocketError StreamSocketError::writeTimeout() {
    return SocketError::withDescription(domain, StreamSocketWriteTimeoutError, "Write operation timed out");
}

SocketError StreamSocketError::readMaxedOut() {
    return SocketError::withDescription(domain, StreamSocketReadMaxedOutError,
                                        "Read operation reached set maximum length");
}

SocketError StreamSocketError::closed() {
    return SocketError::withDescription(domain, StreamSocketClosedError, "Socket closed by remote peer");
}

SocketError StreamSocketError::other(std::string message) {
    return SocketError::withDescription(domain, StreamSocketOtherError, std::move(message));
}

SocketError StreamSocketError::ssl(std::int32_t status, std::string description) {
    SocketError error(
        sslDomain, status,
        {{recoverySuggestionKey, "Error code definition can be found in Apple's SecureTransport.h"}});
    if (!description.empty())
        error.userInfo[SocketError::descriptionKey] = std::move(description);
    return error;
}
