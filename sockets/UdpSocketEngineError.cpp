#include "sockets/UdpSocketEngineError.h"

UdpSocketEngineError::UdpSocketEngineError(SocketError error)
    : std::runtime_error(error.description()), error_(std::move(error)) {}

UdpSocketEngineError::UdpSocketEngineError(Code code, std::map<std::string, std::string> userInfo)
    : UdpSocketEngineError(SocketError(errorDomain, code, std::move(userInfo))) {}
