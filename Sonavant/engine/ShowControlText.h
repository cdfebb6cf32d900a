#pragma once
// The text of a receiver's start failure as the console lines show it: the socket error's
// own description (a port in use reads "Address already in use").

#include "sockets/UdpSocketEngineError.h"

#include <exception>
#include <string>

inline std::string receiverErrorText(const std::exception& error) {
    if (auto socketError = dynamic_cast<const UdpSocketEngineError*>(&error))
        return socketError->error().localizedDescription();
    return error.what();
}
