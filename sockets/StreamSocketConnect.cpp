// StreamSocket: listening and accepting, connecting, the connect timeout and closing.

#include "sockets/StreamSocket.h"

#include "platform/Log.h"
#include "sockets/StreamSocketInternal.h"
#include "sockets/StreamSocketPackets.h"
#include "sockets/StreamSocketPreBuffer.h"
#include "sockets/StreamSocketTLS.h"

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace StreamSocketFlags;

namespace {

StreamSocket::Address bytesOf(const void* address, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(address);
    return StreamSocket::Address(bytes, bytes + length);
}

StreamSocket::Address makeAddress4(in_addr_t hostOrderAddress, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(hostOrderAddress);
    return bytesOf(&address, sizeof address);
}

StreamSocket::Address makeAddress6(const in6_addr& hostAddress, std::uint16_t port) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = hostAddress;
    return bytesOf(&address, sizeof address);
}

bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags != -1 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) != -1;
}

SocketError posixError(const char* reason) {
    return SocketError::posix(errno, reason);
}

// An interface to listen or connect on must exist and offer an enabled protocol.
std::optional<SocketError> interfaceRefusal(const StreamSocket::Address& interface4,
                                            const StreamSocket::Address& interface6, bool isIPv4Disabled,
                                            bool isIPv6Disabled) {
    if (interface4.empty() && interface6.empty())
        return StreamSocketError::badParam(
            "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.");
    if (isIPv4Disabled && interface6.empty())
        return StreamSocketError::badParam(
            "IPv4 has been disabled and specified interface doesn't support IPv6.");
    if (isIPv6Disabled && interface4.empty())
        return StreamSocketError::badParam(
            "IPv6 has been disabled and specified interface doesn't support IPv4.");
    return std::nullopt;
}

SocketError alreadyStartedError(const char* verb) {
    return StreamSocketError::badConfig(std::string("Attempting to ") + verb +
                                        " while connected or accepting connections. Disconnect first.");
}

} // namespace

// ---- Interfaces ------------------------------------------------------------------------------

void StreamSocket::getInterfaceAddress(Address* address4, Address* address6,
                                       const std::string& interfaceDescription, std::uint16_t port) const {
    address4->clear();
    address6->clear();
    const std::size_t colon = interfaceDescription.find(':');
    const std::string interface = interfaceDescription.substr(0, colon);
    if (colon != std::string::npos && port == 0) {
        const std::string portText = interfaceDescription.substr(colon + 1);
        long value = 0;
        auto [end, status] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
        port = (status == std::errc() && end == portText.data() + portText.size() && value >= 1 &&
                value <= 65535)
                   ? static_cast<std::uint16_t>(value)
                   : 0;
    }

    if (interface.empty()) {
        *address4 = makeAddress4(INADDR_ANY, port);
        *address6 = makeAddress6(in6addr_any, port);
        return;
    }
    if (interface == "localhost" || interface == "loopback") {
        *address4 = makeAddress4(INADDR_LOOPBACK, port);
        *address6 = makeAddress6(in6addr_loopback, port);
        return;
    }
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return;
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr)
            continue;
        if (entry->ifa_addr->sa_family == AF_INET && address4->empty()) {
            sockaddr_in address;
            std::memcpy(&address, entry->ifa_addr, sizeof address);
            if (interface == entry->ifa_name || interface == hostFromSockaddr4(address)) {
                address.sin_port = htons(port);
                *address4 = bytesOf(&address, sizeof address);
            }
        } else if (entry->ifa_addr->sa_family == AF_INET6 && address6->empty()) {
            sockaddr_in6 address;
            std::memcpy(&address, entry->ifa_addr, sizeof address);
            if (interface == entry->ifa_name || interface == hostFromSockaddr6(address)) {
                address.sin6_port = htons(port);
                *address6 = bytesOf(&address, sizeof address);
            }
        }
    }
    freeifaddrs(list);
}

StreamSocket::Address StreamSocket::getInterfaceAddressFromUrl(const std::string& path) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    return bytesOf(&address, sizeof address);
}

// Accepting and connecting need the same delegate set-up; only the verb in the message differs.
std::optional<SocketError> StreamSocket::delegateRefusal(const char* verb) const {
    if (delegate_.expired())
        return StreamSocketError::badConfig(std::string("Attempting to ") + verb +
                                            " without a delegate. Set a delegate first.");
    if (!delegateQueue_)
        return StreamSocketError::badConfig(std::string("Attempting to ") + verb +
                                            " without a delegate queue. Set a delegate queue first.");
    return std::nullopt;
}

// ---- Listening -------------------------------------------------------------------------------

int StreamSocket::createListenSocket(int domain, const Address& interfaceAddress, SocketError* error) {
    const int fd = ::socket(domain, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd == -1) {
        *error = posixError("Error in socket() function");
        return -1;
    }
    auto fail = [&](const char* reason) {
        *error = posixError(reason);
        ::close(fd);
        return -1;
    };
    if (!setNonBlocking(fd))
        return fail("Error enabling non-blocking IO on socket (fcntl)");
    const int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == -1)
        return fail("Error enabling address reuse (setsockopt)");
    // IPv4 and IPv6 listeners share a port; each family keeps to its own socket.
    if (domain == AF_INET6)
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(interfaceAddress.data()),
               static_cast<socklen_t>(interfaceAddress.size())) == -1)
        return fail("Error in bind() function");
    if (::listen(fd, 1024) == -1)
        return fail("Error in listen() function");
    return fd;
}

void StreamSocket::installAcceptSource(int fd, int family) {
    auto source = platform::DispatchSource::makeRead(fd, socketQueue_);
    platform::DispatchSource* raw = source.get();
    std::weak_ptr<StreamSocket> weak = weak_from_this();
    source->setEventHandler([weak, raw, fd, family] {
        auto self = weak.lock();
        if (!self)
            return;
        // A listener may not report how many connections wait; then take them until none is left.
        const std::size_t pending = raw->data() > 0 ? raw->data() : 64;
        for (std::size_t i = 0; i < pending; ++i) {
            if (!self->doAccept(fd, family))
                break;
        }
    });
    source->resume();
    if (family == AF_INET)
        accept4Source_ = std::move(source);
    else if (family == AF_INET6)
        accept6Source_ = std::move(source);
    else
        acceptUNSource_ = std::move(source);
}

bool StreamSocket::acceptOnPort(std::uint16_t port, SocketError* error) {
    return acceptOnInterface(std::string(), port, error);
}

bool StreamSocket::acceptOnInterface(const std::string& interface, std::uint16_t port,
                                     SocketError* errorPtr) {
    bool result = false;
    std::optional<SocketError> error;
    performSync([&] {
        if ((error = delegateRefusal("accept")))
            return;
        const bool isIPv4Disabled = config_ & kIPv4Disabled;
        const bool isIPv6Disabled = config_ & kIPv6Disabled;
        if (isIPv4Disabled && isIPv6Disabled) {
            error = StreamSocketError::badConfig(
                "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
            return;
        }
        if (flags_ & kSocketStarted) {
            error = alreadyStartedError("accept");
            return;
        }
        readQueue_.clear();
        writeQueue_.clear();

        Address interface4, interface6;
        getInterfaceAddress(&interface4, &interface6, interface, port);
        if ((error = interfaceRefusal(interface4, interface6, isIPv4Disabled, isIPv6Disabled)))
            return;
        const bool enableIPv4 = !isIPv4Disabled && !interface4.empty();
        const bool enableIPv6 = !isIPv6Disabled && !interface6.empty();

        SocketError createError;
        if (enableIPv4) {
            socket4FD_ = createListenSocket(AF_INET, interface4, &createError);
            if (socket4FD_ == -1) {
                error = createError;
                return;
            }
        }
        if (enableIPv6) {
            if (enableIPv4 && portFromAddress(interface4) == 0) {
                // Listen on the same port the system chose for IPv4.
                const std::uint16_t chosen = localPortFromSocket(socket4FD_);
                sockaddr_in6 address6;
                std::memcpy(&address6, interface6.data(), sizeof address6);
                address6.sin6_port = htons(chosen);
                interface6 = bytesOf(&address6, sizeof address6);
            }
            socket6FD_ = createListenSocket(AF_INET6, interface6, &createError);
            if (socket6FD_ == -1) {
                if (socket4FD_ != -1) {
                    ::close(socket4FD_);
                    socket4FD_ = -1;
                }
                error = createError;
                return;
            }
        }
        if (enableIPv4)
            installAcceptSource(socket4FD_, AF_INET);
        if (enableIPv6)
            installAcceptSource(socket6FD_, AF_INET6);
        flags_ |= kSocketStarted;
        result = true;
    });
    if (!result && error && errorPtr)
        *errorPtr = *error;
    return result;
}

bool StreamSocket::acceptOnUrl(const std::string& path, SocketError* errorPtr) {
    bool result = false;
    std::optional<SocketError> error;
    performSync([&] {
        if ((error = delegateRefusal("accept")))
            return;
        if (flags_ & kSocketStarted) {
            error = alreadyStartedError("accept");
            return;
        }
        readQueue_.clear();
        writeQueue_.clear();

        // Only a socket left behind is replaced; any other file at the path stays.
        struct stat existing {};
        if (!path.empty() && ::lstat(path.c_str(), &existing) == 0 &&
            (!S_ISSOCK(existing.st_mode) || ::unlink(path.c_str()) != 0)) {
            error = StreamSocketError::other("Could not remove previous unix domain socket at given url.");
            return;
        }
        const Address address = getInterfaceAddressFromUrl(path);
        if (address.empty()) {
            error =
                StreamSocketError::badParam("Invalid unix domain url. Specify a valid file url that does not "
                                            "exist (e.g. \"file:///tmp/socket\")");
            return;
        }
        SocketError createError;
        socketUN_ = createListenSocket(AF_UNIX, address, &createError);
        if (socketUN_ == -1) {
            error = createError;
            return;
        }
        installAcceptSource(socketUN_, AF_UNIX);
        flags_ |= kSocketStarted;
        socketUrl_ = path;
        result = true;
    });
    if (!result && error && errorPtr)
        *errorPtr = *error;
    return result;
}

bool StreamSocket::doAccept(int parentSocketFD, int family) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int childSocketFD =
        ::accept4(parentSocketFD, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    if (childSocketFD == -1)
        return false;
    if (!setNonBlocking(childSocketFD)) {
        ::close(childSocketFD);
        return false;
    }
    if (!delegateQueue_) {
        ::close(childSocketFD); // nobody could take it
        return true;
    }
    const Address peer = bytesOf(&address, std::min<std::size_t>(length, sizeof address));
    delegateQueue_->async([self = shared_from_this(), delegateWeak = delegate_,
                           delegateQueue = delegateQueue_, childSocketFD, family, peer] {
        auto delegate = delegateWeak.lock();
        if (!delegate) {
            ::close(childSocketFD);
            return;
        }
        platform::DispatchQueuePtr childSocketQueue =
            delegate->newSocketQueueForConnectionFromAddress(peer, *self);
        auto child = StreamSocket::make(delegateWeak, delegateQueue, childSocketQueue);
        if (family == AF_INET)
            child->socket4FD_ = childSocketFD;
        else if (family == AF_INET6)
            child->socket6FD_ = childSocketFD;
        else
            child->socketUN_ = childSocketFD;
        child->flags_ = kSocketStarted | kConnected;
        child->socketQueue_->async([child] {
            child->setupReadAndWriteSources();
            child->maybeDequeueRead();
            child->maybeDequeueWrite();
        });
        delegate->socketDidAcceptNewSocket(*self, child);
    });
    return true;
}

// ---- Connecting ------------------------------------------------------------------------------

bool StreamSocket::preConnectWithInterface(const std::string& interface, SocketError* error) {
    if (auto refusal = delegateRefusal("connect")) {
        *error = *refusal;
        return false;
    }
    if (flags_ & kSocketStarted) {
        *error = alreadyStartedError("connect");
        return false;
    }
    const bool isIPv4Disabled = config_ & kIPv4Disabled;
    const bool isIPv6Disabled = config_ & kIPv6Disabled;
    if (isIPv4Disabled && isIPv6Disabled) {
        *error = StreamSocketError::badConfig(
            "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
        return false;
    }
    // A failed attempt must not leave its interface to the next one.
    connectInterface4_.clear();
    connectInterface6_.clear();
    if (!interface.empty()) {
        Address interface4, interface6;
        getInterfaceAddress(&interface4, &interface6, interface, 0);
        if (auto refusal = interfaceRefusal(interface4, interface6, isIPv4Disabled, isIPv6Disabled)) {
            *error = *refusal;
            return false;
        }
        connectInterface4_ = interface4;
        connectInterface6_ = interface6;
    }
    readQueue_.clear();
    writeQueue_.clear();
    return true;
}

bool StreamSocket::connectToHost(const std::string& host, std::uint16_t port, SocketError* error) {
    return connectToHost(host, port, std::string(), -1, error);
}

bool StreamSocket::connectToHost(const std::string& host, std::uint16_t port, double timeout,
                                 SocketError* error) {
    return connectToHost(host, port, std::string(), timeout, error);
}

bool StreamSocket::connectToHost(const std::string& host, std::uint16_t port, const std::string& interface,
                                 double timeout, SocketError* errorPtr) {
    bool result = false;
    std::optional<SocketError> error;
    performSync([&] {
        if (host.empty()) {
            error = StreamSocketError::badParam(
                "Invalid host parameter (nil or \"\"). Should be a domain name or IP address string.");
            return;
        }
        SocketError preConnectError;
        if (!preConnectWithInterface(interface, &preConnectError)) {
            error = preConnectError;
            return;
        }
        flags_ |= kSocketStarted;
        const int aStateIndex = stateIndex_;
        std::weak_ptr<StreamSocket> weak = weak_from_this();
        platform::DispatchQueue::global(platform::QoS::defaultQoS)
            ->async([weak, host, port, aStateIndex, socketQueue = socketQueue_] {
                SocketError lookupError;
                const std::vector<Address> addresses = lookupHost(host, port, &lookupError);
                socketQueue->async([weak, addresses, lookupError, aStateIndex] {
                    auto self = weak.lock();
                    if (!self)
                        return;
                    if (addresses.empty()) {
                        self->lookupDidFail(aStateIndex, lookupError);
                        return;
                    }
                    Address address4, address6;
                    for (const Address& address : addresses) {
                        if (address4.empty() && isIPv4Address(address))
                            address4 = address;
                        else if (address6.empty() && isIPv6Address(address))
                            address6 = address;
                    }
                    self->lookupDidSucceed(aStateIndex, address4, address6);
                });
            });
        startConnectTimeout(timeout);
        result = true;
    });
    if (!result && error && errorPtr)
        *errorPtr = *error;
    return result;
}

void StreamSocket::lookupDidFail(int aStateIndex, const SocketError& error) {
    if (aStateIndex != stateIndex_)
        return;
    endConnectTimeout();
    closeWithError(error);
}

void StreamSocket::lookupDidSucceed(int aStateIndex, const Address& address4, const Address& address6) {
    if (aStateIndex != stateIndex_)
        return;
    const bool isIPv4Disabled = config_ & kIPv4Disabled;
    const bool isIPv6Disabled = config_ & kIPv6Disabled;
    if (isIPv4Disabled && address6.empty()) {
        closeWithError(
            StreamSocketError::other("IPv4 has been disabled and DNS lookup found no IPv6 address."));
        return;
    }
    if (isIPv6Disabled && address4.empty()) {
        closeWithError(
            StreamSocketError::other("IPv6 has been disabled and DNS lookup found no IPv4 address."));
        return;
    }
    SocketError error;
    if (!connectWithAddresses(isIPv4Disabled ? Address() : address4, isIPv6Disabled ? Address() : address6,
                              &error))
        closeWithError(error);
}

bool StreamSocket::connectToAddress(const Address& address, SocketError* error) {
    return connectToAddress(address, std::string(), -1, error);
}

bool StreamSocket::connectToAddress(const Address& address, double timeout, SocketError* error) {
    return connectToAddress(address, std::string(), timeout, error);
}

bool StreamSocket::connectToAddress(const Address& remoteAddress, const std::string& interface,
                                    double timeout, SocketError* errorPtr) {
    bool result = false;
    std::optional<SocketError> error;
    performSync([&] {
        Address address4, address6;
        if (isIPv4Address(remoteAddress) && remoteAddress.size() == sizeof(sockaddr_in))
            address4 = remoteAddress;
        else if (isIPv6Address(remoteAddress) && remoteAddress.size() == sizeof(sockaddr_in6))
            address6 = remoteAddress;
        else {
            error = StreamSocketError::badParam("A valid IPv4 or IPv6 address was not given");
            return;
        }
        if (!address4.empty() && (config_ & kIPv4Disabled)) {
            error = StreamSocketError::badParam("IPv4 has been disabled and an IPv4 address was passed.");
            return;
        }
        if (!address6.empty() && (config_ & kIPv6Disabled)) {
            error = StreamSocketError::badParam("IPv6 has been disabled and an IPv6 address was passed.");
            return;
        }
        SocketError connectError;
        if (!preConnectWithInterface(interface, &connectError) ||
            !connectWithAddresses(address4, address6, &connectError)) {
            error = connectError;
            return;
        }
        flags_ |= kSocketStarted;
        startConnectTimeout(timeout);
        result = true;
    });
    if (!result && error && errorPtr)
        *errorPtr = *error;
    return result;
}

bool StreamSocket::connectToUrl(const std::string& path, double timeout, SocketError* errorPtr) {
    bool result = false;
    std::optional<SocketError> error;
    performSync([&] {
        const Address address = getInterfaceAddressFromUrl(path);
        if (address.empty()) {
            error = StreamSocketError::badParam("Invalid unix domain socket url.");
            return;
        }
        if ((error = delegateRefusal("connect")))
            return;
        if (flags_ & kSocketStarted) {
            error = alreadyStartedError("connect");
            return;
        }
        readQueue_.clear();
        writeQueue_.clear();
        flags_ |= kSocketStarted;

        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd == -1) {
            error = posixError("Error in socket() function");
            closeWithError(error);
            return;
        }
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (!setNonBlocking(fd)) {
            error = posixError("Error enabling non-blocking IO on socket (fcntl)");
            ::close(fd);
            closeWithError(error);
            return;
        }
        socketUN_ = fd;
        socketQueue_->async([weak = weak_from_this(), fd, address, aStateIndex = stateIndex_] {
            if (auto self = weak.lock())
                self->connectSocket(fd, address, aStateIndex);
        });
        startConnectTimeout(timeout);
        result = true;
    });
    if (!result && error && errorPtr)
        *errorPtr = *error;
    return result;
}

int StreamSocket::createConnectSocket(int family, const Address& connectInterface, SocketError* error) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd == -1) {
        *error = posixError("Error in socket() function");
        return -1;
    }
    if (!connectInterface.empty()) {
        if (portFromAddress(connectInterface) != 0) {
            const int on = 1;
            setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        }
        if (::bind(fd, reinterpret_cast<const sockaddr*>(connectInterface.data()),
                   static_cast<socklen_t>(connectInterface.size())) == -1) {
            *error = posixError("Error in bind() function");
            ::close(fd);
            return -1;
        }
    }
    // Connects complete in the background (watched by a write source), so no pool thread
    // ever blocks in connect().
    if (!setNonBlocking(fd)) {
        *error = posixError("Error enabling non-blocking IO on socket (fcntl)");
        ::close(fd);
        return -1;
    }
    return fd;
}

bool StreamSocket::connectWithAddresses(const Address& address4, const Address& address6,
                                        SocketError* error) {
    const int fd4 = address4.empty() ? -1 : createConnectSocket(AF_INET, connectInterface4_, error);
    const int fd6 = address6.empty() ? -1 : createConnectSocket(AF_INET6, connectInterface6_, error);
    if (fd4 == -1 && fd6 == -1)
        return false;
    socket4FD_ = fd4;
    socket6FD_ = fd6;

    const bool useIPv6First = ((config_ & kPreferIPv6) && fd6 != -1) || fd4 == -1;
    const int primaryFD = useIPv6First ? fd6 : fd4;
    const Address& primaryAddress = useIPv6First ? address6 : address4;
    const int alternateFD = useIPv6First ? fd4 : fd6;
    const Address& alternateAddress = useIPv6First ? address4 : address6;

    // Posted, so a connect that succeeds at once still reports after the caller has returned.
    std::weak_ptr<StreamSocket> weak = weak_from_this();
    socketQueue_->async([weak, primaryFD, primaryAddress, aStateIndex = stateIndex_] {
        if (auto self = weak.lock())
            self->connectSocket(primaryFD, primaryAddress, aStateIndex);
    });
    if (alternateFD != -1) {
        socketQueue_->asyncAfter(secondsToDuration(alternateAddressDelay_),
                                 [weak, alternateFD, alternateAddress, aStateIndex = stateIndex_] {
                                     if (auto self = weak.lock())
                                         self->connectSocket(alternateFD, alternateAddress, aStateIndex);
                                 });
    }
    return true;
}

void StreamSocket::connectSocket(int socketFD, const Address& address, int aStateIndex) {
    // A closed, timed-out or completed attempt has already closed this descriptor.
    if (aStateIndex != stateIndex_)
        return;
    if (flags_ & kConnected) {
        closeConnectAttempt(socketFD);
        return;
    }
    if (::connect(socketFD, reinterpret_cast<const sockaddr*>(address.data()),
                  static_cast<socklen_t>(address.size())) == 0) {
        connectAttemptFinished(socketFD, 0, aStateIndex);
        return;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        connectAttemptFinished(socketFD, errno, aStateIndex);
        return;
    }
    auto source = platform::DispatchSource::makeWrite(socketFD, socketQueue_);
    platform::DispatchSource* raw = source.get();
    source->setEventHandler([weak = weak_from_this(), raw, socketFD, aStateIndex] {
        raw->cancel(); // one answer is all it gives
        int result = 0;
        socklen_t length = sizeof result;
        if (getsockopt(socketFD, SOL_SOCKET, SO_ERROR, &result, &length) == -1)
            result = errno;
        if (auto self = weak.lock())
            self->connectAttemptFinished(socketFD, result, aStateIndex);
    });
    source->resume();
    if (socketFD == socket4FD_)
        connect4Source_ = std::move(source);
    else if (socketFD == socket6FD_)
        connect6Source_ = std::move(source);
    else
        connectUNSource_ = std::move(source);
}

void StreamSocket::closeConnectAttempt(int socketFD) {
    for (auto* source : {&connect4Source_, &connect6Source_, &connectUNSource_}) {
        if (*source && (*source)->fd() == socketFD) {
            (*source)->cancel();
            source->reset();
        }
    }
    for (int* slot : {&socket4FD_, &socket6FD_, &socketUN_}) {
        if (*slot == socketFD) {
            ::close(socketFD);
            *slot = -1;
        }
    }
}

void StreamSocket::connectAttemptFinished(int socketFD, int errorNumber, int aStateIndex) {
    if (aStateIndex != stateIndex_)
        return;
    for (auto* source : {&connect4Source_, &connect6Source_, &connectUNSource_}) {
        if (*source && (*source)->fd() == socketFD)
            source->reset();
    }
    if (flags_ & kConnected) {
        closeConnectAttempt(socketFD);
        return;
    }
    if (errorNumber != 0) {
        const bool isLocal = socketFD == socketUN_;
        closeConnectAttempt(socketFD);
        if (socket4FD_ == -1 && socket6FD_ == -1 && socketUN_ == -1) {
            if (isLocal)
                platform::consoleLog(std::string("connect: ") + std::strerror(errorNumber));
            closeWithError(SocketError::posix(errorNumber, "Error in connect() function"));
        }
        return;
    }
    // This attempt won; the other family's attempt ends here.
    if (socketFD == socket4FD_ && socket6FD_ != -1)
        closeConnectAttempt(socket6FD_);
    else if (socketFD == socket6FD_ && socket4FD_ != -1)
        closeConnectAttempt(socket4FD_);
    didConnect(aStateIndex);
}

void StreamSocket::didConnect(int aStateIndex) {
    if (aStateIndex != stateIndex_)
        return;
    flags_ |= kConnected;
    endConnectTimeout();

    const int fd = currentSocketFD();
    if (delegateQueue_) {
        if (auto host = connectedHostFromSocket(fd)) {
            const std::uint16_t port = connectedPortFromSocket(fd);
            notifyDelegate([host = *host, port](StreamSocketDelegate& delegate, StreamSocket& sock) {
                delegate.socketDidConnectToHost(sock, host, port);
            });
        } else if (auto url = connectedUrl()) {
            notifyDelegate([url = *url](StreamSocketDelegate& delegate, StreamSocket& sock) {
                delegate.socketDidConnectToUrl(sock, url);
            });
        }
    }
    if (!setNonBlocking(fd)) {
        closeWithError(StreamSocketError::other("Error enabling non-blocking IO on socket (fcntl)"));
        return;
    }
    setupReadAndWriteSources();
    maybeDequeueRead();
    maybeDequeueWrite();
}

std::shared_ptr<StreamSocket>
StreamSocket::socketFromConnectedSocketFD(int socketFD, platform::DispatchQueuePtr socketQueue,
                                          SocketError* error) {
    return socketFromConnectedSocketFD(socketFD, {}, nullptr, std::move(socketQueue), error);
}

std::shared_ptr<StreamSocket>
StreamSocket::socketFromConnectedSocketFD(int socketFD, std::weak_ptr<StreamSocketDelegate> delegate,
                                          platform::DispatchQueuePtr delegateQueue, SocketError* error) {
    return socketFromConnectedSocketFD(socketFD, std::move(delegate), std::move(delegateQueue), nullptr,
                                       error);
}

std::shared_ptr<StreamSocket>
StreamSocket::socketFromConnectedSocketFD(int socketFD, std::weak_ptr<StreamSocketDelegate> delegate,
                                          platform::DispatchQueuePtr delegateQueue,
                                          platform::DispatchQueuePtr socketQueue, SocketError* errorPtr) {
    auto sock = make(std::move(delegate), std::move(delegateQueue), std::move(socketQueue));
    std::optional<SocketError> error;
    sock->performSync([&] {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (getpeername(socketFD, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            error = StreamSocketError::other(
                "Attempt to create socket from socket FD failed. getpeername() failed");
            return;
        }
        if (address.ss_family == AF_INET)
            sock->socket4FD_ = socketFD;
        else if (address.ss_family == AF_INET6)
            sock->socket6FD_ = socketFD;
        else {
            error = StreamSocketError::other(
                "Attempt to create socket from socket FD failed. socket FD is neither IPv4 nor IPv6");
            return;
        }
        sock->flags_ = kSocketStarted;
        sock->didConnect(sock->stateIndex_);
    });
    if (error) {
        if (errorPtr)
            *errorPtr = *error;
        return nullptr;
    }
    return sock;
}

// ---- Connect timeout -------------------------------------------------------------------------

void StreamSocket::startConnectTimeout(double timeout) {
    if (!(timeout >= 0))
        return;
    connectTimer_ = platform::DispatchTimer::make(socketQueue_);
    platform::DispatchTimer* raw = connectTimer_.get();
    connectTimer_->setEventHandler([weak = weak_from_this(), raw] {
        auto self = weak.lock();
        if (self && self->connectTimer_.get() == raw)
            self->doConnectTimeout();
    });
    connectTimer_->schedule(secondsToDuration(timeout));
    connectTimer_->resume();
}

void StreamSocket::endConnectTimeout() {
    if (connectTimer_) {
        connectTimer_->cancel();
        connectTimer_.reset();
    }
    // Retires every lookup and connect result still on its way.
    ++stateIndex_;
    connectInterface4_.clear();
    connectInterface6_.clear();
}

void StreamSocket::doConnectTimeout() {
    endConnectTimeout();
    closeWithError(StreamSocketError::connectTimeout());
}

// ---- Closing ---------------------------------------------------------------------------------

void StreamSocket::disconnect() {
    performSync([this] {
        if (flags_ & kSocketStarted)
            closeWithError(std::nullopt);
    });
}

void StreamSocket::disconnectAfterReading() {
    socketQueue_->async([self = shared_from_this()] {
        if (self->flags_ & kSocketStarted) {
            self->flags_ |= kForbidReadsWrites | kDisconnectAfterReads;
            self->maybeClose();
        }
    });
}

void StreamSocket::disconnectAfterWriting() {
    socketQueue_->async([self = shared_from_this()] {
        if (self->flags_ & kSocketStarted) {
            self->flags_ |= kForbidReadsWrites | kDisconnectAfterWrites;
            self->maybeClose();
        }
    });
}

void StreamSocket::disconnectAfterReadingAndWriting() {
    socketQueue_->async([self = shared_from_this()] {
        if (self->flags_ & kSocketStarted) {
            self->flags_ |= kForbidReadsWrites | kDisconnectAfterReads | kDisconnectAfterWrites;
            self->maybeClose();
        }
    });
}

void StreamSocket::maybeClose() {
    bool shouldClose = false;
    if (flags_ & kDisconnectAfterReads) {
        if (readQueue_.empty() && !currentRead_) {
            if (flags_ & kDisconnectAfterWrites)
                shouldClose = writeQueue_.empty() && !currentWrite_;
            else
                shouldClose = true;
        }
    } else if (flags_ & kDisconnectAfterWrites) {
        shouldClose = writeQueue_.empty() && !currentWrite_;
    }
    if (shouldClose)
        closeWithError(std::nullopt);
}

void StreamSocket::closeWithError(std::optional<SocketError> error) {
    endConnectTimeout();
    if (currentRead_)
        endCurrentRead();
    if (currentWrite_)
        endCurrentWrite();
    readQueue_.clear();
    writeQueue_.clear();
    preBuffer_->reset();
    if (sslContext_) {
        sslContext_->close();
        sslContext_.reset();
    }
    if (sslPreBuffer_)
        sslPreBuffer_->reset();
    sslErrCode_ = 0;
    lastSSLHandshakeError_ = 0;

    // Cancelled sources never touch their descriptor again, so the descriptors close here and
    // now: when disconnect returns, a listener's port is free again.
    for (auto* source : {&connect4Source_, &connect6Source_, &connectUNSource_, &accept4Source_,
                         &accept6Source_, &acceptUNSource_}) {
        if (*source) {
            (*source)->cancel();
            source->reset();
        }
    }
    if (readSource_) {
        readSource_->cancel();
        if (flags_ & kReadSourceSuspended)
            readSource_->resume();
        readSource_.reset();
    }
    if (writeSource_) {
        writeSource_->cancel();
        if (flags_ & kWriteSourceSuspended)
            writeSource_->resume();
        writeSource_.reset();
    }
    for (int fd : {socket4FD_, socket6FD_, socketUN_}) {
        if (fd != -1)
            ::close(fd);
    }
    // A listener's socket file goes with it.
    if (!socketUrl_.empty()) {
        ::unlink(socketUrl_.c_str());
        socketUrl_.clear();
    }
    socket4FD_ = socket6FD_ = socketUN_ = -1;

    socketFDBytesAvailable_ = 0;
    const bool shouldCallDelegate = flags_ & kSocketStarted;
    flags_ = 0;
    sslWriteCachedLength_ = 0;
    if (shouldCallDelegate) {
        notifyDelegate([error = std::move(error)](StreamSocketDelegate& delegate, StreamSocket& sock) {
            delegate.socketDidDisconnect(sock, error);
        });
    }
}
