#pragma once
// The client's socket delegate: it exists because the socket wants one before options and
// binding, and it takes no callback, so send results go unreported.

#include "sockets/UdpSocketEngineDelegate.h"

class OSCClientUDPDelegate : public UdpSocketEngineDelegate {
public:
    bool respondsTo(Callback) const override { return false; }
};
