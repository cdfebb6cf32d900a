// Receiving (once or continuously, with an optional filter), connecting to one peer and
// multicast membership.

#include "sockets/UdpSocketEngine.h"

#include "sockets/UdpSocketEngineInternal.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace udp_engine;

namespace {

// Reads in one pass before the socket queue is given back to other work; the read source
// fires again while more datagrams are waiting.
constexpr int kMaxDatagramsPerPass = 64;

} // namespace

// ---- Receiving -----------------------------------------------------------------------------

bool UdpSocketEngine::receiveOnce(ErrorOut error) {
    return startReceiving(kReceiveOnce, kReceiveContinuous, error);
}

bool UdpSocketEngine::beginReceiving(ErrorOut error) {
    return startReceiving(kReceiveContinuous, kReceiveOnce, error);
}

// Switches to receiving in `mode` (once or continuously), leaving `otherMode`.
bool UdpSocketEngine::startReceiving(std::uint32_t mode, std::uint32_t otherMode, ErrorOut error) {
    return syncOnSocketQueue([&]() -> bool {
        if (flags_ & mode)
            return true;
        if (!(flags_ & kDidCreateSockets)) {
            if (error)
                *error =
                    badConfigError("Must bind socket before you can receive data. You can do this explicitly "
                                   "via bind, or implicitly via connect or by sending data.");
            return false;
        }
        flags_ |= mode;
        flags_ &= ~otherMode;
        socketQueue_->async([self = shared_from_this()] { self->doReceive(); });
        return true;
    });
}

void UdpSocketEngine::pauseReceiving() {
    asyncOnSocketQueue([this] {
        flags_ &= ~(kReceiveOnce | kReceiveContinuous);
        if (socket4Readable_)
            suspendReceive4Source();
        if (socket6Readable_)
            suspendReceive6Source();
    });
}

void UdpSocketEngine::setReceiveFilter(ReceiveFilter filter, platform::DispatchQueuePtr queue,
                                       bool isAsynchronous) {
    if (filter && !queue)
        programmingError(kFilterQueueText);
    asyncOnSocketQueue([this, filter = std::move(filter), queue = std::move(queue), isAsynchronous] {
        receiveFilterBlock_ = filter;
        receiveFilterQueue_ = filter ? queue : nullptr;
        receiveFilterAsync_ = filter ? isAsynchronous : false;
    });
}

std::uint8_t* UdpSocketEngine::receiveRoom(std::size_t size) {
    if (receiveBufferSize_ < size) {
        receiveBuffer_.reset(new std::uint8_t[size]);
        receiveBufferSize_ = size;
    }
    return receiveBuffer_.get();
}

bool UdpSocketEngine::readDatagram(bool isIPv4, Bytes* data, Bytes* address, bool* wouldBlock) {
    const int fd = isIPv4 ? socket4FD_ : socket6FD_;
    const std::size_t size = isIPv4 ? max4ReceiveSize_ : max6ReceiveSize_;
    std::uint8_t* const buffer = receiveRoom(size);
    sockaddr_storage from{};
    socklen_t fromLength = isIPv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    ssize_t result;
    do {
        result = ::recvfrom(fd, buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    } while (result == -1 && errno == EINTR);
    *wouldBlock = false;
    if (result < 0) {
        *wouldBlock = errno == EAGAIN || errno == EWOULDBLOCK;
        return false;
    }
    // Zero bytes is an empty datagram, which is data like any other.
    data->assign(buffer, buffer + result);
    const auto* p = reinterpret_cast<const std::uint8_t*>(&from);
    address->assign(p, p + (isIPv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6)));
    return true;
}

bool UdpSocketEngine::readDatagramBatch(bool isIPv4, std::vector<std::pair<Bytes, Bytes>>* datagrams,
                                        bool* drained, bool* wouldBlock) {
    const int fd = isIPv4 ? socket4FD_ : socket6FD_;
    const std::size_t size = isIPv4 ? max4ReceiveSize_ : max6ReceiveSize_;
    std::uint8_t* const buffer = receiveRoom(size * kBatchSize);
    std::array<sockaddr_storage, kBatchSize> from{};
    std::array<iovec, kBatchSize> vectors{};
    std::array<mmsghdr, kBatchSize> headers{};
    const socklen_t fromLength = isIPv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    for (std::size_t i = 0; i < kBatchSize; ++i) {
        vectors[i] = {buffer + i * size, size};
        headers[i].msg_hdr.msg_name = &from[i];
        headers[i].msg_hdr.msg_namelen = fromLength;
        headers[i].msg_hdr.msg_iov = &vectors[i];
        headers[i].msg_hdr.msg_iovlen = 1;
    }
    int count;
    do {
        count = ::recvmmsg(fd, headers.data(), kBatchSize, 0, nullptr);
    } while (count == -1 && errno == EINTR);
    *wouldBlock = false;
    if (count < 0) {
        *wouldBlock = errno == EAGAIN || errno == EWOULDBLOCK;
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const auto* begin = buffer + i * size;
        const auto* address = reinterpret_cast<const std::uint8_t*>(&from[i]);
        datagrams->emplace_back(Bytes(begin, begin + headers[i].msg_len),
                                Bytes(address, address + fromLength));
    }
    // Fewer than asked for: the socket was empty a moment ago, and the read source says
    // when that changes.
    *drained = static_cast<std::size_t>(count) < kBatchSize;
    return true;
}

void UdpSocketEngine::doReceive() {
    assertOnSocketQueue();
    for (int pass = 0; pass < kMaxDatagramsPerPass; ++pass) {
        const bool receiving = (flags_ & (kReceiveOnce | kReceiveContinuous)) != 0;
        if (!receiving || ((flags_ & kReceiveOnce) && pendingFilterOperations_ > 0)) {
            // Not wanted now: keep the data in the socket without events firing for it.
            if (socket4Readable_)
                suspendReceive4Source();
            if (socket6Readable_)
                suspendReceive6Source();
            return;
        }
        if (!socket4Readable_ && !socket6Readable_) {
            resumeReceive4Source();
            resumeReceive6Source();
            return;
        }
        bool readIPv4;
        if (socket4Readable_ && !socket6Readable_) {
            readIPv4 = true;
        } else if (!socket4Readable_ && socket6Readable_) {
            readIPv4 = false;
        } else if (flags_ & kDidConnect) {
            readIPv4 = cachedConnectedFamily_ == AF_INET;
        } else {
            const bool wasSet = (flags_ & kFlipFlop) != 0;
            flags_ ^= kFlipFlop;
            readIPv4 = wasSet;
        }
        if ((readIPv4 ? socket4FD_ : socket6FD_) == -1)
            programmingError("Invalid logic");

        // The common case (receiving continuously, no filter, no peer) reads in batches:
        // nothing can change the receive state in the middle of one.
        if ((flags_ & kReceiveContinuous) && !(flags_ & kDidConnect) && !receiveFilterBlock_) {
            if (receiveBacklogFull()) {
                // The rest waits in the kernel; the delivery that makes room reads on.
                suspendReceive4Source();
                suspendReceive6Source();
                return;
            }
            std::vector<std::pair<Bytes, Bytes>> datagrams;
            bool drained = false, wouldBlock = false;
            if (!readDatagramBatch(readIPv4, &datagrams, &drained, &wouldBlock) && !wouldBlock) {
                closeWithError(errnoErrorWithReason("Error in recvfrom() function"));
                return;
            }
            if (!datagrams.empty())
                notifyDidReceiveDatagrams(std::move(datagrams));
            if (wouldBlock || drained) {
                if (readIPv4)
                    socket4Readable_ = false;
                else
                    socket6Readable_ = false;
                if (!socket4Readable_)
                    resumeReceive4Source();
                if (!socket6Readable_)
                    resumeReceive6Source();
            }
            continue;
        }

        Bytes data, address;
        bool wouldBlock = false;
        if (!readDatagram(readIPv4, &data, &address, &wouldBlock)) {
            if (!wouldBlock) {
                closeWithError(errnoErrorWithReason("Error in recvfrom() function"));
                return;
            }
            if (readIPv4)
                socket4Readable_ = false;
            else
                socket6Readable_ = false;
            if (!socket4Readable_)
                resumeReceive4Source();
            if (!socket6Readable_)
                resumeReceive6Source();
            continue; // the other family may still hold data
        }

        if (flags_ & kDidConnect) {
            const bool fromPeer = readIPv4 ? isConnectedToAddress4(address) : isConnectedToAddress6(address);
            if (!fromPeer)
                continue; // not our peer: read the next one
        }

        if (!receiveFilterBlock_ || !receiveFilterQueue_) {
            notifyDidReceiveData(std::move(data), std::move(address), std::any());
            if (flags_ & kReceiveOnce) {
                flags_ &= ~(kReceiveOnce | kReceiveContinuous);
                return;
            }
            continue;
        }

        if (!receiveFilterAsync_) {
            std::any context;
            bool allowed = false;
            auto call = [&] { allowed = receiveFilterBlock_(data, address, context); };
            if (receiveFilterQueue_->isCurrent())
                call();
            else
                receiveFilterQueue_->sync(call);
            if (allowed) {
                notifyDidReceiveData(std::move(data), std::move(address), std::move(context));
                if (flags_ & kReceiveOnce) {
                    flags_ &= ~(kReceiveOnce | kReceiveContinuous);
                    return;
                }
            }
            continue; // a refused datagram counts as ignored
        }

        ++pendingFilterOperations_;
        auto shared = std::make_shared<std::pair<Bytes, Bytes>>(std::move(data), std::move(address));
        receiveFilterQueue_->async([self = shared_from_this(), shared, filter = receiveFilterBlock_] {
            auto context = std::make_shared<std::any>();
            const bool allowed = filter(shared->first, shared->second, *context);
            self->socketQueue_->async([self, shared, context, allowed] {
                --self->pendingFilterOperations_;
                if (allowed) {
                    if (self->flags_ & kReceiveOnce)
                        self->flags_ &= ~kReceiveOnce;
                    self->notifyDidReceiveData(std::move(shared->first), std::move(shared->second),
                                               std::move(*context));
                } else if ((self->flags_ & kReceiveOnce) && self->pendingFilterOperations_ == 0) {
                    self->doReceive();
                }
            });
        });
        if (flags_ & kReceiveOnce)
            return; // wait for the filter's verdict before reading on
    }
    // More is waiting: read on after what was queued meanwhile. Going round through the read
    // sources instead adds the reactor's wake to every pass, and under a flood the kernel's
    // buffer overflows while the reactor waits for a processor.
    if (!socket4Readable_ && !socket6Readable_)
        return;
    if (socket4Readable_)
        suspendReceive4Source();
    if (socket6Readable_)
        suspendReceive6Source();
    socketQueue_->async([self = shared_from_this()] { self->doReceive(); });
}

bool UdpSocketEngine::isConnectedToAddress4(const Bytes& address) const {
    if (!(flags_ & kDidConnect))
        programmingError("Not connected");
    if (cachedConnectedAddress_.empty())
        programmingError("Expected cached connected address");
    if (cachedConnectedFamily_ != AF_INET || address.size() < sizeof(sockaddr_in))
        return false;
    sockaddr_in peer{}, from{};
    std::memcpy(&peer, cachedConnectedAddress_.data(), sizeof peer);
    std::memcpy(&from, address.data(), sizeof from);
    return peer.sin_port == from.sin_port && peer.sin_addr.s_addr == from.sin_addr.s_addr;
}

bool UdpSocketEngine::isConnectedToAddress6(const Bytes& address) const {
    if (!(flags_ & kDidConnect))
        programmingError("Not connected");
    if (cachedConnectedAddress_.empty())
        programmingError("Expected cached connected address");
    if (cachedConnectedFamily_ != AF_INET6 || address.size() < sizeof(sockaddr_in6))
        return false;
    sockaddr_in6 peer{}, from{};
    std::memcpy(&peer, cachedConnectedAddress_.data(), sizeof peer);
    std::memcpy(&from, address.data(), sizeof from);
    return peer.sin6_port == from.sin6_port &&
           std::memcmp(&peer.sin6_addr, &from.sin6_addr, sizeof peer.sin6_addr) == 0;
}

// ---- Connecting ----------------------------------------------------------------------------

bool UdpSocketEngine::preConnect(ErrorOut error) const {
    if (!preOp(error))
        return false;
    if (flags_ & (kConnecting | kDidConnect)) {
        if (error)
            *error = badConfigError("Cannot connect a socket more than once.");
        return false;
    }
    if ((config_ & kIPv4Disabled) && (config_ & kIPv6Disabled)) {
        if (error)
            *error = badConfigError(kBothDisabledText);
        return false;
    }
    return true;
}

bool UdpSocketEngine::connectToHost(const std::string& host, std::uint16_t port, ErrorOut error) {
    return syncOnSocketQueue([&]() -> bool {
        if (!preConnect(error))
            return false;
        if (host.empty()) {
            if (error)
                *error = badParamError(kHostNilText);
            return false;
        }
        if (!(flags_ & kDidCreateSockets) && !createSockets(error))
            return false;
        flags_ |= kConnecting;
        auto packet = std::make_shared<Packet>(Packet::Kind::connect);
        if (!resolveWithoutResolver(host, port, &packet->resolvedAddresses, &packet->resolveError)) {
            packet->resolveInProgress = true;
            asyncResolveHost(
                host, port,
                [this, packet](std::vector<Bytes> addresses, std::optional<SocketError> resolveError) {
                    packet->resolveInProgress = false;
                    packet->resolvedAddresses = std::move(addresses);
                    packet->resolveError = std::move(resolveError);
                    if (currentSend_ == packet)
                        maybeConnect();
                });
        }
        sendQueue_.push_back(packet);
        maybeDequeueSend();
        return true;
    });
}

bool UdpSocketEngine::connectToAddress(const Bytes& address, ErrorOut error) {
    return syncOnSocketQueue([&]() -> bool {
        if (!preConnect(error))
            return false;
        if (address.empty()) {
            if (error)
                *error = badParamError("The address param is nil. Should be a valid address.");
            return false;
        }
        if (!(flags_ & kDidCreateSockets) && !createSockets(error))
            return false;
        flags_ |= kConnecting;
        auto packet = std::make_shared<Packet>(Packet::Kind::connect);
        packet->resolvedAddresses.push_back(address);
        sendQueue_.push_back(packet);
        maybeDequeueSend();
        return true;
    });
}

void UdpSocketEngine::maybeConnect() {
    assertOnSocketQueue();
    PacketPtr packet = currentSend_;
    if (!packet || packet->kind != Packet::Kind::connect || packet->resolveInProgress)
        return; // the resolution's completion comes back here
    std::optional<SocketError> error;
    bool connected = false;
    if (packet->resolveError) {
        error = packet->resolveError;
    } else {
        Bytes address;
        int family = 0;
        if (getAddress(&address, &family, &error, packet->resolvedAddresses))
            connected = connectWithAddress(address, &error);
    }
    if (connected) {
        flags_ |= kDidConnect | kDidBind;
        notifyDidConnectToAddress(cachedConnectedAddress_);
    } else {
        notifyDidNotConnect(std::move(error));
    }
    flags_ &= ~kConnecting;
    endCurrentSend();
    maybeDequeueSend();
}

bool UdpSocketEngine::connectWithAddress(const Bytes& address, ErrorOut error) {
    const int family = familyFromAddress(address);
    const bool isIPv4 = family == AF_INET;
    const int fd = isIPv4 ? socket4FD_ : socket6FD_;
    if ((family != AF_INET && family != AF_INET6) || fd == -1) {
        if (error)
            *error = badParamError("A valid IPv4 or IPv6 address was not given");
        return false;
    }
    const socklen_t length = isIPv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(address.data()), length) != 0) {
        if (error)
            *error = errnoErrorWithReason("Error in connect() function");
        return false;
    }
    // One peer, one family.
    if (isIPv4) {
        closeSocket6();
        flags_ |= kIPv6Deactivated;
    } else {
        closeSocket4();
        flags_ |= kIPv4Deactivated;
    }
    cachedConnectedAddress_ = address;
    getHost(&cachedConnectedHost_, &cachedConnectedPort_, &cachedConnectedFamily_, address);
    return true;
}

UdpSocketEngine::Bytes UdpSocketEngine::connectedAddress() const {
    return syncOnSocketQueue([this] { return cachedConnectedAddress_; });
}

std::string UdpSocketEngine::connectedHost() const {
    return syncOnSocketQueue([this] { return cachedConnectedHost_; });
}

std::uint16_t UdpSocketEngine::connectedPort() const {
    return syncOnSocketQueue([this] { return cachedConnectedPort_; });
}

// ---- Multicast -----------------------------------------------------------------------------

bool UdpSocketEngine::preJoin(ErrorOut error) const {
    if (!preOp(error))
        return false;
    if (!(flags_ & kDidBind)) {
        if (error)
            *error = badConfigError("Must bind a socket before joining a multicast group.");
        return false;
    }
    if (flags_ & (kConnecting | kDidConnect)) {
        if (error)
            *error = badConfigError("Cannot join a multicast group if connected.");
        return false;
    }
    return true;
}

bool UdpSocketEngine::joinMulticastGroup(const std::string& group, ErrorOut error) {
    return joinMulticastGroup(group, std::nullopt, error);
}

bool UdpSocketEngine::joinMulticastGroup(const std::string& group,
                                         const std::optional<std::string>& interface, ErrorOut error) {
    return syncOnSocketQueue([&] { return performMulticastRequest(true, group, interface, error); });
}

bool UdpSocketEngine::leaveMulticastGroup(const std::string& group, ErrorOut error) {
    return leaveMulticastGroup(group, std::nullopt, error);
}

bool UdpSocketEngine::leaveMulticastGroup(const std::string& group,
                                          const std::optional<std::string>& interface, ErrorOut error) {
    return syncOnSocketQueue([&] { return performMulticastRequest(false, group, interface, error); });
}

bool UdpSocketEngine::performMulticastRequest(bool join, const std::string& group,
                                              const std::optional<std::string>& interface, ErrorOut error) {
    if (!preJoin(error))
        return false;
    Bytes group4, group6;
    if (!convertNumericHost(group, 0, &group4, &group6)) {
        if (error)
            *error = badParamError("Unknown group. Specify valid group IP address.");
        return false;
    }
    Bytes interface4, interface6;
    convertInterfaceDescription(interface, 0, &interface4, &interface6);
    if (interface4.empty() && interface6.empty()) {
        if (error)
            *error = badParamError(kUnknownInterfaceText);
        return false;
    }
    if (socket4FD_ != -1 && !group4.empty() && !interface4.empty()) {
        sockaddr_in groupAddress{}, interfaceAddress{};
        std::memcpy(&groupAddress, group4.data(), sizeof groupAddress);
        std::memcpy(&interfaceAddress, interface4.data(), sizeof interfaceAddress);
        ip_mreq request{};
        request.imr_multiaddr = groupAddress.sin_addr;
        request.imr_interface = interfaceAddress.sin_addr;
        if (::setsockopt(socket4FD_, IPPROTO_IP, join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, &request,
                         sizeof request) != 0) {
            if (error)
                *error = errnoErrorWithReason("Error in setsockopt() function");
            return false;
        }
        // Membership is per family: the other socket has no part in it.
        closeSocket6();
        flags_ |= kIPv6Deactivated;
        return true;
    }
    if (socket6FD_ != -1 && !group6.empty() && !interface6.empty()) {
        sockaddr_in6 groupAddress{};
        std::memcpy(&groupAddress, group6.data(), sizeof groupAddress);
        ipv6_mreq request{};
        request.ipv6mr_multiaddr = groupAddress.sin6_addr;
        request.ipv6mr_interface = indexOfInterfaceAddress(interface6);
        if (::setsockopt(socket6FD_, IPPROTO_IPV6, join ? IPV6_ADD_MEMBERSHIP : IPV6_DROP_MEMBERSHIP,
                         &request, sizeof request) != 0) {
            if (error)
                *error = errnoErrorWithReason("Error in setsockopt() function");
            return false;
        }
        closeSocket4();
        flags_ |= kIPv4Deactivated;
        return true;
    }
    if (error)
        *error = badParamError("Socket, group, and interface do not have matching IP versions");
    return false;
}

bool UdpSocketEngine::sendIPv4MulticastOnInterface(const std::string& interface, ErrorOut error) {
    return syncOnSocketQueue([&]() -> bool {
        if (!preOp(error))
            return false;
        if (!(flags_ & kDidCreateSockets) && !createSockets(error))
            return false;
        Bytes interface4;
        convertInterfaceDescription(interface, 0, &interface4, nullptr);
        if (interface4.empty() || socket4FD_ == -1) {
            if (error)
                *error = badParamError("Unknown interface. Specify valid interface by IP address.");
            return false;
        }
        sockaddr_in a{};
        std::memcpy(&a, interface4.data(), sizeof a);
        if (::setsockopt(socket4FD_, IPPROTO_IP, IP_MULTICAST_IF, &a.sin_addr, sizeof a.sin_addr) != 0) {
            if (error)
                *error = errnoErrorWithReason("Error in setsockopt() function");
            return false;
        }
        return true;
    });
}

bool UdpSocketEngine::sendIPv6MulticastOnInterface(const std::string& interface, ErrorOut error) {
    return syncOnSocketQueue([&]() -> bool {
        if (!preOp(error))
            return false;
        if (!(flags_ & kDidCreateSockets) && !createSockets(error))
            return false;
        Bytes interface6;
        convertInterfaceDescription(interface, 0, nullptr, &interface6);
        if (interface6.empty() || socket6FD_ == -1) {
            if (error)
                *error = badParamError("Unknown interface. Specify valid interface by name (e.g. \"en1\").");
            return false;
        }
        const unsigned index = indexOfInterfaceAddress(interface6);
        if (::setsockopt(socket6FD_, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index) != 0) {
            if (error)
                *error = errnoErrorWithReason("Error in setsockopt() function");
            return false;
        }
        return true;
    });
}

unsigned UdpSocketEngine::indexOfInterfaceAddress(const Bytes& address) {
    if (address.size() < sizeof(sockaddr_in6))
        return 0;
    sockaddr_in6 wanted{};
    std::memcpy(&wanted, address.data(), sizeof wanted);
    unsigned index = 0;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return 0;
    for (ifaddrs* cursor = list; cursor; cursor = cursor->ifa_next) {
        if (!cursor->ifa_addr || cursor->ifa_addr->sa_family != AF_INET6)
            continue;
        sockaddr_in6 a{};
        std::memcpy(&a, cursor->ifa_addr, sizeof a);
        if (std::memcmp(&a.sin6_addr, &wanted.sin6_addr, sizeof a.sin6_addr) == 0) {
            index = ::if_nametoindex(cursor->ifa_name);
            break;
        }
    }
    ::freeifaddrs(list);
    return index;
}
