#pragma once
// A main view started as the application starts it, over a show with one input and one
// loudspeaker that sends to a fake desk on loopback, for the menu and settings tests.

#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/engine/ContentView.h"
#include "support/Loopback.h"
#include "support/ShowFixtures.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace guitest {

inline MixingDesk acme32() {
    MixingDesk d = support::acmeDesk({.name = "Acme 32", .inputs = 32});
    d.id = *platform::UUID::parse("6F1C2A3B-4D5E-4F60-8172-93A4B5C6D7E8");
    return d;
}

// Input 1 between loudspeakers 3 and 4, zero point at the canvas's bottom left.
inline std::shared_ptr<AppState> oneInputShow() {
    auto show = support::emptyShow({.imageScale = 1.0});
    const MixingDesk desk = acme32();
    show->soundObjects = std::vector{support::inputAt(1, desk, 0.5, 0.5, {0, 600})};
    show->speakers = std::vector{support::mixSpeakerAt(3, desk, 1, 1, {0, 600}),
                                 support::mixSpeakerAt(4, desk, 4, 1, {0, 600})};
    return show;
}

// Starts the view on the main queue as the window does; the test waits until it is up.
inline std::unique_ptr<ContentView> startView(std::shared_ptr<AppState> show, std::uint16_t deskPort,
                                              const std::string& receivePort = "0",
                                              MixingDesk desk = acme32()) {
    auto view =
        std::make_unique<ContentView>(show, Binding<std::string>("127.0.0.1"),
                                      Binding<std::string>(std::to_string(deskPort)), Binding<bool>(true));
    view->selectedDesk = desk;
    show->receivePort = receivePort;
    view->saveState(); // the start-up reads the working state back
    view->cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};
    view->onAppearLoad();
    return view;
}

using support::freeUdpPort;

// True when nobody holds the UDP port on any address.
inline bool udpPortIsFree(std::uint16_t port) {
    int fd = ::socket(AF_INET6, SOCK_DGRAM, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_any;
    address.sin6_port = htons(port);
    const bool free = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return free;
}

} // namespace guitest
