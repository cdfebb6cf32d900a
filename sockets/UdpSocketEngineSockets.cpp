// Socket creation, dispatch sources, binding, socket options, the local endpoint and
// address records.

#include "sockets/UdpSocketEngine.h"

#include "sockets/UdpSocketEngineInternal.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace udp_engine;

UdpSocketEngine::Bytes udp_engine::bytesOf(const void* address, std::size_t length) {
    const auto* p = static_cast<const std::uint8_t*>(address);
    return UdpSocketEngine::Bytes(p, p + length);
}

UdpSocketEngine::Bytes udp_engine::loopbackAddress4(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return bytesOf(&a, sizeof a);
}

UdpSocketEngine::Bytes udp_engine::loopbackAddress6(std::uint16_t port) {
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    a.sin6_addr = in6addr_loopback;
    return bytesOf(&a, sizeof a);
}

namespace {

UdpSocketEngine::Bytes anyAddress4(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    return bytesOf(&a, sizeof a);
}

UdpSocketEngine::Bytes anyAddress6(std::uint16_t port) {
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    a.sin6_addr = in6addr_any;
    return bytesOf(&a, sizeof a);
}

// Raises a buffer to `size` but never shrinks it: Linux defaults already exceed 64 KiB.
bool raiseBuffer(int fd, int option, int size) {
    int current = 0;
    socklen_t length = sizeof current;
    if (::getsockopt(fd, SOL_SOCKET, option, &current, &length) == 0 && current >= size)
        return true;
    return ::setsockopt(fd, SOL_SOCKET, option, &size, sizeof size) == 0;
}

} // namespace

// ---- Creation ------------------------------------------------------------------------------

int UdpSocketEngine::createSocket(int family, ErrorOut error) {
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd == -1) {
        if (error)
            *error = errnoErrorWithReason("Error in socket() function");
        return -1;
    }
    auto fail = [&](const char* reason) {
        if (error)
            *error = errnoErrorWithReason(reason);
        ::close(fd);
        return -1;
    };
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == -1)
        return fail("Error enabling non-blocking IO on socket (fcntl)");
    // An IPv4 and an IPv6 socket must be able to bind one port side by side.
    const int on = 1;
    if (family == AF_INET6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == -1)
        return fail("Error enabling IPv6-only (setsockopt)");
    if (!raiseBuffer(fd, SO_SNDBUF, maxSendSize_))
        return fail("Error setting send buffer size (setsockopt)");
    if (!raiseBuffer(fd, SO_RCVBUF, std::max<int>(maxSendSize_, kernelReceiveSize_)))
        return fail("Error setting receive buffer size (setsockopt)");
    return fd;
}

bool UdpSocketEngine::createSockets(ErrorOut error) {
    return createSockets((config_ & kIPv4Disabled) == 0, (config_ & kIPv6Disabled) == 0, error);
}

bool UdpSocketEngine::createSockets(bool useIPv4, bool useIPv6, ErrorOut error) {
    assertOnSocketQueue();
    if (flags_ & kDidCreateSockets)
        programmingError("Sockets have already been created");
    if (useIPv4) {
        socket4FD_ = createSocket(AF_INET, error);
        if (socket4FD_ == -1)
            return false;
    }
    if (useIPv6) {
        std::optional<SocketError> failure;
        socket6FD_ = createSocket(AF_INET6, &failure);
        if (socket6FD_ == -1) {
            // A kernel without IPv6 still serves IPv4 callers.
            const bool noIPv6 = failure && failure->code == EAFNOSUPPORT && socket4FD_ != -1;
            if (!noIPv6) {
                if (socket4FD_ != -1) {
                    ::close(socket4FD_);
                    socket4FD_ = -1;
                }
                if (error)
                    *error = std::move(failure);
                return false;
            }
            flags_ |= kIPv6Deactivated;
        }
    }
    if (socket4FD_ != -1)
        setupSendAndReceiveSources(true);
    if (socket6FD_ != -1)
        setupSendAndReceiveSources(false);
    flags_ |= kDidCreateSockets;
    return true;
}

void UdpSocketEngine::setupSendAndReceiveSources(bool isIPv4) {
    const int fd = isIPv4 ? socket4FD_ : socket6FD_;
    auto sendSource = platform::DispatchSource::makeWrite(fd, socketQueue_);
    auto receiveSource = platform::DispatchSource::makeRead(fd, socketQueue_);
    std::weak_ptr<UdpSocketEngine> weak = weak_from_this();
    sendSource->setEventHandler([weak, isIPv4] {
        if (auto self = weak.lock())
            self->writeEvent(isIPv4);
    });
    receiveSource->setEventHandler([weak, isIPv4] {
        if (auto self = weak.lock())
            self->readEvent(isIPv4);
    });
    // Both sources start suspended; the socket counts as writable until a send is refused.
    if (isIPv4) {
        send4Source_ = std::move(sendSource);
        receive4Source_ = std::move(receiveSource);
        flags_ |= kSend4SourceSuspended | kReceive4SourceSuspended | kSock4CanAcceptBytes;
        socket4Readable_ = false;
    } else {
        send6Source_ = std::move(sendSource);
        receive6Source_ = std::move(receiveSource);
        flags_ |= kSend6SourceSuspended | kReceive6SourceSuspended | kSock6CanAcceptBytes;
        socket6Readable_ = false;
    }
}

void UdpSocketEngine::suspendSend4Source() {
    if (send4Source_ && !(flags_ & kSend4SourceSuspended)) {
        send4Source_->suspend();
        flags_ |= kSend4SourceSuspended;
    }
}

void UdpSocketEngine::suspendSend6Source() {
    if (send6Source_ && !(flags_ & kSend6SourceSuspended)) {
        send6Source_->suspend();
        flags_ |= kSend6SourceSuspended;
    }
}

void UdpSocketEngine::resumeSend4Source() {
    if (send4Source_ && (flags_ & kSend4SourceSuspended)) {
        send4Source_->resume();
        flags_ &= ~kSend4SourceSuspended;
    }
}

void UdpSocketEngine::resumeSend6Source() {
    if (send6Source_ && (flags_ & kSend6SourceSuspended)) {
        send6Source_->resume();
        flags_ &= ~kSend6SourceSuspended;
    }
}

void UdpSocketEngine::suspendReceive4Source() {
    if (receive4Source_ && !(flags_ & kReceive4SourceSuspended)) {
        receive4Source_->suspend();
        flags_ |= kReceive4SourceSuspended;
    }
}

void UdpSocketEngine::suspendReceive6Source() {
    if (receive6Source_ && !(flags_ & kReceive6SourceSuspended)) {
        receive6Source_->suspend();
        flags_ |= kReceive6SourceSuspended;
    }
}

void UdpSocketEngine::resumeReceive4Source() {
    if (receive4Source_ && (flags_ & kReceive4SourceSuspended)) {
        receive4Source_->resume();
        flags_ &= ~kReceive4SourceSuspended;
    }
}

void UdpSocketEngine::resumeReceive6Source() {
    if (receive6Source_ && (flags_ & kReceive6SourceSuspended)) {
        receive6Source_->resume();
        flags_ &= ~kReceive6SourceSuspended;
    }
}

void UdpSocketEngine::writeEvent(bool isIPv4) {
    if (isIPv4) {
        flags_ |= kSock4CanAcceptBytes;
        suspendSend4Source();
    } else {
        flags_ |= kSock6CanAcceptBytes;
        suspendSend6Source();
    }
    if (currentSend_ && currentSend_->kind == Packet::Kind::send && !currentSend_->resolveInProgress &&
        !currentSend_->filterInProgress && currentSend_->addressFamily != 0)
        doSend();
}

void UdpSocketEngine::readEvent(bool isIPv4) {
    // A datagram socket has no end of stream: a read event without bytes is an empty datagram.
    if (isIPv4)
        socket4Readable_ = true;
    else
        socket6Readable_ = true;
    doReceive();
}

// ---- Closing -------------------------------------------------------------------------------

void UdpSocketEngine::closeSocket4() {
    if (socket4FD_ == -1)
        return;
    // Cancelling detaches both sources from the reactor at once, so the descriptor can close
    // now; closing it later would keep the port taken for a rebind that follows.
    send4Source_->cancel();
    receive4Source_->cancel();
    resumeSend4Source();
    resumeReceive4Source();
    send4Source_.reset();
    receive4Source_.reset();
    ::close(socket4FD_);
    socket4FD_ = -1;
    socket4Readable_ = false;
    flags_ &= ~(kSock4CanAcceptBytes | kSend4SourceSuspended | kReceive4SourceSuspended);
    cachedLocalAddress4_.clear();
    cachedLocalHost4_.clear();
    cachedLocalPort4_ = 0;
}

void UdpSocketEngine::closeSocket6() {
    if (socket6FD_ == -1)
        return;
    send6Source_->cancel();
    receive6Source_->cancel();
    resumeSend6Source();
    resumeReceive6Source();
    send6Source_.reset();
    receive6Source_.reset();
    ::close(socket6FD_);
    socket6FD_ = -1;
    socket6Readable_ = false;
    flags_ &= ~(kSock6CanAcceptBytes | kSend6SourceSuspended | kReceive6SourceSuspended);
    cachedLocalAddress6_.clear();
    cachedLocalHost6_.clear();
    cachedLocalPort6_ = 0;
}

void UdpSocketEngine::closeSockets() {
    closeSocket4();
    closeSocket6();
    flags_ &= ~kDidCreateSockets;
}

// ---- Binding -------------------------------------------------------------------------------

bool UdpSocketEngine::preBind(ErrorOut error) const {
    if (!preOp(error))
        return false;
    if (flags_ & kDidBind) {
        if (error)
            *error = badConfigError("Cannot bind a socket more than once.");
        return false;
    }
    if (flags_ & (kConnecting | kDidConnect)) {
        if (error)
            *error = badConfigError("Cannot bind after connecting. If needed, bind first, then connect.");
        return false;
    }
    if ((config_ & kIPv4Disabled) && (config_ & kIPv6Disabled)) {
        if (error)
            *error = badConfigError(kBothDisabledText);
        return false;
    }
    return true;
}

bool UdpSocketEngine::convertNumericHost(const std::string& host, std::uint16_t port, Bytes* address4,
                                         Bytes* address6) {
    sockaddr_in a4{};
    if (::inet_pton(AF_INET, host.c_str(), &a4.sin_addr) == 1) {
        a4.sin_family = AF_INET;
        a4.sin_port = htons(port);
        if (address4)
            *address4 = bytesOf(&a4, sizeof a4);
        return true;
    }
    sockaddr_in6 a6{};
    if (::inet_pton(AF_INET6, host.c_str(), &a6.sin6_addr) == 1) {
        a6.sin6_family = AF_INET6;
        a6.sin6_port = htons(port);
        if (address6)
            *address6 = bytesOf(&a6, sizeof a6);
        return true;
    }
    return false;
}

bool UdpSocketEngine::convertInterfaceDescription(const std::optional<std::string>& interface,
                                                  std::uint16_t port, Bytes* address4,
                                                  Bytes* address6) const {
    Bytes found4, found6;
    if (!interface) {
        found4 = anyAddress4(port);
        found6 = anyAddress6(port);
    } else if (*interface == "localhost" || *interface == "loopback") {
        found4 = loopbackAddress4(port);
        found6 = loopbackAddress6(port);
    } else {
        ifaddrs* list = nullptr;
        if (::getifaddrs(&list) == 0) {
            for (ifaddrs* cursor = list; cursor; cursor = cursor->ifa_next) {
                if (!cursor->ifa_addr)
                    continue;
                const int family = cursor->ifa_addr->sa_family;
                if (family == AF_INET && found4.empty()) {
                    sockaddr_in a{};
                    std::memcpy(&a, cursor->ifa_addr, sizeof a);
                    char text[INET_ADDRSTRLEN] = {};
                    const bool numericMatch =
                        ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text) && *interface == text;
                    if (*interface == cursor->ifa_name || numericMatch) {
                        a.sin_port = htons(port);
                        found4 = bytesOf(&a, sizeof a);
                    }
                } else if (family == AF_INET6 && found6.empty()) {
                    sockaddr_in6 a{};
                    std::memcpy(&a, cursor->ifa_addr, sizeof a);
                    char text[INET6_ADDRSTRLEN] = {};
                    const bool numericMatch =
                        ::inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text) && *interface == text;
                    if (*interface == cursor->ifa_name || numericMatch) {
                        a.sin6_port = htons(port);
                        found6 = bytesOf(&a, sizeof a);
                    }
                }
            }
            ::freeifaddrs(list);
        }
    }
    if (address4)
        *address4 = std::move(found4);
    if (address6)
        *address6 = std::move(found6);
    return true;
}

bool UdpSocketEngine::bindToPort(std::uint16_t port, ErrorOut error) {
    return bindToPort(port, std::nullopt, error);
}

bool UdpSocketEngine::bindToPort(std::uint16_t port, const std::optional<std::string>& interface,
                                 ErrorOut error) {
    return syncOnSocketQueue([&]() -> bool {
        if (!preBind(error))
            return false;
        Bytes address4, address6;
        convertInterfaceDescription(interface, port, &address4, &address6);
        if (address4.empty() && address6.empty()) {
            if (error)
                *error = badParamError(kUnknownInterfaceText);
            return false;
        }
        const bool ipv4Disabled = (config_ & kIPv4Disabled) != 0;
        const bool ipv6Disabled = (config_ & kIPv6Disabled) != 0;
        if (ipv4Disabled && address6.empty()) {
            if (error)
                *error =
                    badParamError("IPv4 has been disabled and specified interface doesn't support IPv6.");
            return false;
        }
        if (ipv6Disabled && address4.empty()) {
            if (error)
                *error =
                    badParamError("IPv6 has been disabled and specified interface doesn't support IPv4.");
            return false;
        }
        bool useIPv4 = !ipv4Disabled && !address4.empty();
        bool useIPv6 = !ipv6Disabled && !address6.empty();
        if (!(flags_ & kDidCreateSockets) && !createSockets(useIPv4, useIPv6, error))
            return false;
        // Sockets made earlier (by an option) or a host without IPv6 may lack a family.
        useIPv4 = useIPv4 && socket4FD_ != -1;
        useIPv6 = useIPv6 && socket6FD_ != -1;
        if (!useIPv4 && !useIPv6) {
            if (error)
                *error = badParamError(kUnknownInterfaceText);
            return false;
        }
        auto bindTo = [](int fd, const Bytes& address) {
            return ::bind(fd, reinterpret_cast<const sockaddr*>(address.data()),
                          static_cast<socklen_t>(address.size())) == 0;
        };
        // Port 0 on both families: the IPv6 socket takes the port the system gave the IPv4
        // one, so the object has one port. Should that port be taken for IPv6, try afresh.
        const bool sharePort = port == 0 && useIPv4 && useIPv6;
        for (int attempt = 0;; ++attempt) {
            if (useIPv4 && !bindTo(socket4FD_, address4))
                break;
            if (sharePort) {
                sockaddr_in bound{};
                socklen_t length = sizeof bound;
                if (::getsockname(socket4FD_, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
                    break;
                std::memcpy(address6.data() + offsetof(sockaddr_in6, sin6_port), &bound.sin_port,
                            sizeof bound.sin_port);
            }
            if (!useIPv6 || bindTo(socket6FD_, address6)) {
                flags_ |= kDidBind;
                break;
            }
            if (!sharePort || errno != EADDRINUSE || attempt == 7)
                break;
            // Fresh sockets, with the options the caller set on the old ones.
            auto option = [](int fd, int name) {
                int value = 0;
                socklen_t length = sizeof value;
                ::getsockopt(fd, SOL_SOCKET, name, &value, &length);
                return value;
            };
            const int reuseAddress = option(socket4FD_, SO_REUSEADDR);
            const int reusePort = option(socket4FD_, SO_REUSEPORT);
            const int broadcast = option(socket4FD_, SO_BROADCAST);
            closeSockets();
            if (!createSockets(true, true, error))
                return false;
            for (int fd : {socket4FD_, socket6FD_}) {
                ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuseAddress, sizeof reuseAddress);
                ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &reusePort, sizeof reusePort);
            }
            ::setsockopt(socket4FD_, SOL_SOCKET, SO_BROADCAST, &broadcast, sizeof broadcast);
            std::memset(address6.data() + offsetof(sockaddr_in6, sin6_port), 0, sizeof(in_port_t));
        }
        if (!(flags_ & kDidBind)) {
            if (error)
                *error = errnoErrorWithReason("Error in bind() function");
            closeSockets();
            return false;
        }
        if (!useIPv4)
            flags_ |= kIPv4Deactivated;
        if (!useIPv6)
            flags_ |= kIPv6Deactivated;
        return true;
    });
}

bool UdpSocketEngine::bindToAddress(const Bytes& address, ErrorOut error) {
    return syncOnSocketQueue([&]() -> bool {
        if (!preBind(error))
            return false;
        const int family = familyFromAddress(address);
        if (family != AF_INET && family != AF_INET6) {
            if (error)
                *error = badParamError("A valid IPv4 or IPv6 address was not given");
            return false;
        }
        const bool isIPv4 = family == AF_INET;
        if (isIPv4 && (config_ & kIPv4Disabled)) {
            if (error)
                *error = badParamError("IPv4 has been disabled and an IPv4 address was passed.");
            return false;
        }
        if (!isIPv4 && (config_ & kIPv6Disabled)) {
            if (error)
                *error = badParamError("IPv6 has been disabled and an IPv6 address was passed.");
            return false;
        }
        if (!(flags_ & kDidCreateSockets) && !createSockets(isIPv4, !isIPv4, error))
            return false;
        const int fd = isIPv4 ? socket4FD_ : socket6FD_;
        const socklen_t length = isIPv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        if (fd == -1) {
            if (error)
                *error = badParamError(isIPv4 ? "IPv4 has been disabled and an IPv4 address was passed."
                                              : "IPv6 has been disabled and an IPv6 address was passed.");
            return false;
        }
        if (::bind(fd, reinterpret_cast<const sockaddr*>(address.data()), length) != 0) {
            if (error)
                *error = errnoErrorWithReason("Error in bind() function");
            closeSockets();
            return false;
        }
        flags_ |= kDidBind | (isIPv4 ? kIPv6Deactivated : kIPv4Deactivated);
        return true;
    });
}

// ---- Options -------------------------------------------------------------------------------

bool UdpSocketEngine::enableReusePort(bool flag, ErrorOut error) {
    return syncOnSocketQueue([&]() -> bool {
        if (!preOp(error))
            return false;
        if (!(flags_ & kDidCreateSockets) && !createSockets(error))
            return false;
        // Address reuse comes with it: only the caller who asked may share a port.
        const int value = flag ? 1 : 0;
        auto apply = [&](int fd) {
            return ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &value, sizeof value) == 0 &&
                   ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &value, sizeof value) == 0;
        };
        bool result = false;
        bool failed = false;
        if (socket4FD_ != -1) {
            result = apply(socket4FD_);
            failed = !result;
        }
        if (socket6FD_ != -1 && !failed) {
            if (apply(socket6FD_))
                result = true;
            else
                failed = true;
        }
        if (failed && error)
            *error = errnoErrorWithReason("Error in setsockopt() function");
        return result;
    });
}

bool UdpSocketEngine::enableBroadcast(bool flag, ErrorOut error) {
    return syncOnSocketQueue([&]() -> bool {
        if (!preOp(error))
            return false;
        if (!(flags_ & kDidCreateSockets) && !createSockets(error))
            return false;
        if (socket4FD_ == -1)
            return false;
        const int value = flag ? 1 : 0;
        if (::setsockopt(socket4FD_, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) {
            if (error)
                *error = errnoErrorWithReason("Error in setsockopt() function");
            return false;
        }
        return true;
    });
}

// ---- Local endpoint ------------------------------------------------------------------------

void UdpSocketEngine::maybeUpdateCachedLocalAddress4Info() {
    assertOnSocketQueue();
    if (cachedLocalPort4_ != 0 || !(flags_ & kDidBind) || socket4FD_ == -1)
        return;
    sockaddr_in a{};
    socklen_t length = sizeof a;
    // An implicitly bound family may not have a port yet: keep asking until it does.
    if (::getsockname(socket4FD_, reinterpret_cast<sockaddr*>(&a), &length) == 0 && a.sin_family == AF_INET &&
        a.sin_port != 0) {
        cachedLocalAddress4_ = bytesOf(&a, sizeof a);
        cachedLocalHost4_ = hostFromSockaddr4(a);
        cachedLocalPort4_ = portFromSockaddr4(a);
    }
}

void UdpSocketEngine::maybeUpdateCachedLocalAddress6Info() {
    assertOnSocketQueue();
    if (cachedLocalPort6_ != 0 || !(flags_ & kDidBind) || socket6FD_ == -1)
        return;
    sockaddr_in6 a{};
    socklen_t length = sizeof a;
    if (::getsockname(socket6FD_, reinterpret_cast<sockaddr*>(&a), &length) == 0 &&
        a.sin6_family == AF_INET6 && a.sin6_port != 0) {
        cachedLocalAddress6_ = bytesOf(&a, sizeof a);
        cachedLocalHost6_ = hostFromSockaddr6(a);
        cachedLocalPort6_ = portFromSockaddr6(a);
    }
}

UdpSocketEngine::Bytes UdpSocketEngine::localAddress() const {
    return syncOnSocketQueue([this] {
        auto* self = const_cast<UdpSocketEngine*>(this);
        if (socket4FD_ != -1) {
            self->maybeUpdateCachedLocalAddress4Info();
            return cachedLocalAddress4_;
        }
        self->maybeUpdateCachedLocalAddress6Info();
        return cachedLocalAddress6_;
    });
}

std::string UdpSocketEngine::localHost() const {
    return syncOnSocketQueue([this] {
        auto* self = const_cast<UdpSocketEngine*>(this);
        if (socket4FD_ != -1) {
            self->maybeUpdateCachedLocalAddress4Info();
            return cachedLocalHost4_;
        }
        self->maybeUpdateCachedLocalAddress6Info();
        return cachedLocalHost6_;
    });
}

std::uint16_t UdpSocketEngine::localPort() const {
    return syncOnSocketQueue([this] {
        auto* self = const_cast<UdpSocketEngine*>(this);
        if (socket4FD_ != -1) {
            self->maybeUpdateCachedLocalAddress4Info();
            return cachedLocalPort4_;
        }
        self->maybeUpdateCachedLocalAddress6Info();
        return cachedLocalPort6_;
    });
}

UdpSocketEngine::Bytes UdpSocketEngine::localAddress_IPv4() const {
    return syncOnSocketQueue([this] {
        const_cast<UdpSocketEngine*>(this)->maybeUpdateCachedLocalAddress4Info();
        return cachedLocalAddress4_;
    });
}

std::string UdpSocketEngine::localHost_IPv4() const {
    return syncOnSocketQueue([this] {
        const_cast<UdpSocketEngine*>(this)->maybeUpdateCachedLocalAddress4Info();
        return cachedLocalHost4_;
    });
}

std::uint16_t UdpSocketEngine::localPort_IPv4() const {
    return syncOnSocketQueue([this] {
        const_cast<UdpSocketEngine*>(this)->maybeUpdateCachedLocalAddress4Info();
        return cachedLocalPort4_;
    });
}

UdpSocketEngine::Bytes UdpSocketEngine::localAddress_IPv6() const {
    return syncOnSocketQueue([this] {
        const_cast<UdpSocketEngine*>(this)->maybeUpdateCachedLocalAddress6Info();
        return cachedLocalAddress6_;
    });
}

std::string UdpSocketEngine::localHost_IPv6() const {
    return syncOnSocketQueue([this] {
        const_cast<UdpSocketEngine*>(this)->maybeUpdateCachedLocalAddress6Info();
        return cachedLocalHost6_;
    });
}

std::uint16_t UdpSocketEngine::localPort_IPv6() const {
    return syncOnSocketQueue([this] {
        const_cast<UdpSocketEngine*>(this)->maybeUpdateCachedLocalAddress6Info();
        return cachedLocalPort6_;
    });
}

bool UdpSocketEngine::isIPv4() const {
    return syncOnSocketQueue([this] {
        if (flags_ & kDidCreateSockets)
            return socket4FD_ != -1;
        return (config_ & kIPv4Disabled) == 0;
    });
}

bool UdpSocketEngine::isIPv6() const {
    return syncOnSocketQueue([this] {
        if (flags_ & kDidCreateSockets)
            return socket6FD_ != -1;
        return (config_ & kIPv6Disabled) == 0;
    });
}

bool UdpSocketEngine::isClosed() const {
    return syncOnSocketQueue([this] { return (flags_ & kDidCreateSockets) == 0; });
}

bool UdpSocketEngine::isConnected() const {
    return syncOnSocketQueue([this] { return (flags_ & kDidConnect) != 0; });
}

// ---- Address records -----------------------------------------------------------------------

std::string UdpSocketEngine::hostFromSockaddr4(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    if (!::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text))
        return {};
    return text;
}

std::string UdpSocketEngine::hostFromSockaddr6(const sockaddr_in6& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (!::inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof text))
        return {};
    return text;
}

std::uint16_t UdpSocketEngine::portFromSockaddr4(const sockaddr_in& address) {
    return ntohs(address.sin_port);
}

std::uint16_t UdpSocketEngine::portFromSockaddr6(const sockaddr_in6& address) {
    return ntohs(address.sin6_port);
}

bool UdpSocketEngine::getHost(std::string* host, std::uint16_t* port, int* family, const Bytes& address) {
    // Linux records carry no length byte: the family field and the size tell them apart.
    if (address.size() >= sizeof(sa_family_t)) {
        sa_family_t addressFamily = 0;
        std::memcpy(&addressFamily, address.data() + offsetof(sockaddr, sa_family), sizeof addressFamily);
        if (addressFamily == AF_INET && address.size() >= sizeof(sockaddr_in)) {
            sockaddr_in a{};
            std::memcpy(&a, address.data(), sizeof a);
            if (host)
                *host = hostFromSockaddr4(a);
            if (port)
                *port = portFromSockaddr4(a);
            if (family)
                *family = AF_INET;
            return true;
        }
        if (addressFamily == AF_INET6 && address.size() >= sizeof(sockaddr_in6)) {
            sockaddr_in6 a{};
            std::memcpy(&a, address.data(), sizeof a);
            if (host)
                *host = hostFromSockaddr6(a);
            if (port)
                *port = portFromSockaddr6(a);
            if (family)
                *family = AF_INET6;
            return true;
        }
    }
    if (host)
        host->clear();
    if (port)
        *port = 0;
    if (family)
        *family = 0;
    return false;
}

bool UdpSocketEngine::getHost(std::string* host, std::uint16_t* port, const Bytes& address) {
    return getHost(host, port, nullptr, address);
}

std::string UdpSocketEngine::hostFromAddress(const Bytes& address) {
    std::string host;
    getHost(&host, nullptr, nullptr, address);
    return host;
}

std::uint16_t UdpSocketEngine::portFromAddress(const Bytes& address) {
    std::uint16_t port = 0;
    getHost(nullptr, &port, nullptr, address);
    return port;
}

int UdpSocketEngine::familyFromAddress(const Bytes& address) {
    int family = 0;
    getHost(nullptr, nullptr, &family, address);
    return family;
}

bool UdpSocketEngine::isIPv4Address(const Bytes& address) {
    return familyFromAddress(address) == AF_INET;
}

bool UdpSocketEngine::isIPv6Address(const Bytes& address) {
    return familyFromAddress(address) == AF_INET6;
}
