#pragma once
// Datagram sockets on loopback at a port the system picks.

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace support {

// Binds `fd` to 127.0.0.1 (or ::1) at an ephemeral port and returns that port; 0 on failure.
inline std::uint16_t bindToLoopback(int fd, int family = AF_INET) {
    sockaddr_storage storage{};
    auto* address = reinterpret_cast<sockaddr*>(&storage);
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    socklen_t length = 0;
    if (family == AF_INET6) {
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_loopback;
        length = sizeof *v6;
    } else {
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof *v4;
    }
    if (::bind(fd, address, length) != 0 || ::getsockname(fd, address, &length) != 0)
        return 0;
    return ntohs(family == AF_INET6 ? v6->sin6_port : v4->sin_port);
}

// A UDP port nobody holds right now (the system's choice, released again).
inline std::uint16_t freeUdpPort() {
    int fd = ::socket(AF_INET6, SOCK_DGRAM, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_any;
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin6_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

} // namespace support
