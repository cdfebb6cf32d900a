// The send queue: packets leave one at a time, in order; each is resolved, given an address
// by the IP-version preference, offered to the send filter and handed to the system, waiting
// on the write source (with its timeout) while the socket has no room.

#include "sockets/UdpSocketEngine.h"

#include "sockets/UdpSocketEngineInternal.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace udp_engine;

std::atomic<SendToFunction> udp_engine::sendToFunction{[](int fd, const void* buffer, std::size_t length,
                                                          int flags, const sockaddr* address,
                                                          socklen_t addressLength) {
    return static_cast<long>(::sendto(fd, buffer, length, flags, address, addressLength));
}};

// ---- Queuing -------------------------------------------------------------------------------

void UdpSocketEngine::sendData(Bytes data, const std::string& host, std::uint16_t port, double timeout,
                               std::int64_t tag) {
    if (data.empty())
        return;
    auto packet = std::make_shared<Packet>(Packet::Kind::send);
    packet->buffer = std::move(data);
    packet->timeout = timeout;
    packet->tag = tag;
    // Numeric hosts and loopback names need no resolver; others resolve on a global queue
    // while earlier packets go out.
    if (!resolveWithoutResolver(host, port, &packet->resolvedAddresses, &packet->resolveError)) {
        packet->resolveInProgress = true;
        asyncResolveHost(host, port,
                         [this, packet](std::vector<Bytes> addresses, std::optional<SocketError> error) {
                             packet->resolveInProgress = false;
                             packet->resolvedAddresses = std::move(addresses);
                             packet->resolveError = std::move(error);
                             if (currentSend_ == packet)
                                 doPreSend();
                         });
    }
    enqueuePacket(std::move(packet));
}

void UdpSocketEngine::sendDataToAddress(Bytes data, const Bytes& address, double timeout, std::int64_t tag) {
    if (data.empty())
        return;
    auto packet = std::make_shared<Packet>(Packet::Kind::send);
    packet->buffer = std::move(data);
    packet->timeout = timeout;
    packet->tag = tag;
    packet->address = address;
    packet->addressFamily = familyFromAddress(address);
    enqueuePacket(std::move(packet));
}

void UdpSocketEngine::sendData(Bytes data, double timeout, std::int64_t tag) {
    if (data.empty())
        return;
    auto packet = std::make_shared<Packet>(Packet::Kind::send);
    packet->buffer = std::move(data);
    packet->timeout = timeout;
    packet->tag = tag;
    enqueuePacket(std::move(packet));
}

void UdpSocketEngine::sendData(Bytes data, std::int64_t tag) {
    sendData(std::move(data), -1.0, tag);
}

void UdpSocketEngine::setSendFilter(SendFilter filter, platform::DispatchQueuePtr queue,
                                    bool isAsynchronous) {
    if (filter && !queue)
        programmingError(kFilterQueueText);
    asyncOnSocketQueue([this, filter = std::move(filter), queue = std::move(queue), isAsynchronous] {
        sendFilterBlock_ = filter;
        sendFilterQueue_ = filter ? queue : nullptr;
        sendFilterAsync_ = filter ? isAsynchronous : false;
    });
}

void UdpSocketEngine::enqueuePacket(PacketPtr packet) {
    asyncOnSocketQueue([this, packet = std::move(packet)] {
        sendQueue_.push_back(packet);
        maybeDequeueSend();
    });
}

// ---- Resolution ----------------------------------------------------------------------------

bool UdpSocketEngine::resolveWithoutResolver(const std::string& host, std::uint16_t port,
                                             std::vector<Bytes>* addresses,
                                             std::optional<SocketError>* error) {
    if (host.empty()) {
        *error = badParamError(kHostNilText);
        return true;
    }
    if (host == "localhost" || host == "loopback") {
        addresses->push_back(loopbackAddress4(port));
        addresses->push_back(loopbackAddress6(port));
        return true;
    }
    // What the resolver gives for a plain numeric address, without the round trip.
    Bytes address4, address6;
    if (convertNumericHost(host, port, &address4, &address6)) {
        addresses->push_back(address4.empty() ? std::move(address6) : std::move(address4));
        return true;
    }
    return false;
}

void UdpSocketEngine::resolveHost(const std::string& host, std::uint16_t port, std::vector<Bytes>* addresses,
                                  std::optional<SocketError>* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    const std::string portText = std::to_string(port);
    addrinfo* results = nullptr;
    const int code = ::getaddrinfo(host.c_str(), portText.c_str(), &hints, &results);
    if (code != 0) {
        *error = gaiError(code);
        return;
    }
    for (addrinfo* r = results; r; r = r->ai_next) {
        if (r->ai_family == AF_INET && r->ai_addrlen >= sizeof(sockaddr_in)) {
            addresses->push_back(bytesOf(r->ai_addr, sizeof(sockaddr_in)));
        } else if (r->ai_family == AF_INET6 && r->ai_addrlen >= sizeof(sockaddr_in6)) {
            sockaddr_in6 a{};
            std::memcpy(&a, r->ai_addr, sizeof a);
            if (a.sin6_port == 0)
                a.sin6_port = htons(port);
            addresses->push_back(bytesOf(&a, sizeof a));
        }
    }
    ::freeaddrinfo(results);
    if (addresses->empty())
        *error = gaiError(EAI_FAIL);
}

void UdpSocketEngine::asyncResolveHost(
    const std::string& host, std::uint16_t port,
    std::function<void(std::vector<Bytes>, std::optional<SocketError>)> completion) {
    platform::DispatchQueue::global(platform::QoS::defaultQoS)
        ->async([self = shared_from_this(), host, port, completion = std::move(completion)] {
            auto addresses = std::make_shared<std::vector<Bytes>>();
            auto error = std::make_shared<std::optional<SocketError>>();
            resolveHost(host, port, addresses.get(), error.get());
            self->socketQueue_->async([self, addresses, error, completion] {
                completion(std::move(*addresses), std::move(*error));
            });
        });
}

// ---- Address choice ------------------------------------------------------------------------

bool UdpSocketEngine::getAddress(Bytes* address, int* family, std::optional<SocketError>* error,
                                 const std::vector<Bytes>& addresses) const {
    if (addresses.empty())
        programmingError("Expected at least one address");
    bool resolved4 = false, resolved6 = false;
    for (const auto& a : addresses) {
        const int f = familyFromAddress(a);
        resolved4 = resolved4 || f == AF_INET;
        resolved6 = resolved6 || f == AF_INET6;
    }
    const bool ipv4Disabled = (config_ & kIPv4Disabled) != 0;
    const bool ipv6Disabled = (config_ & kIPv6Disabled) != 0;
    const bool ipv4Deactivated = (flags_ & kIPv4Deactivated) != 0;
    const bool ipv6Deactivated = (flags_ & kIPv6Deactivated) != 0;
    if (ipv4Disabled && !resolved6) {
        *error = otherError("IPv4 has been disabled and DNS lookup found no IPv6 address(es).");
        return false;
    }
    if (ipv6Disabled && !resolved4) {
        *error = otherError("IPv6 has been disabled and DNS lookup found no IPv4 address(es).");
        return false;
    }
    if (ipv4Deactivated && !resolved6) {
        *error = otherError(
            "IPv4 has been deactivated due to bind/connect, and DNS lookup found no IPv6 address(es).");
        return false;
    }
    if (ipv6Deactivated && !resolved4) {
        *error = otherError(
            "IPv6 has been deactivated due to bind/connect, and DNS lookup found no IPv4 address(es).");
        return false;
    }
    const bool preferIPv4 = (config_ & kPreferIPv4) != 0;
    const bool preferIPv6 = (config_ & kPreferIPv6) != 0;
    if (preferIPv4 && preferIPv6)
        programmingError("Invalid config state");

    // Only families with a usable socket take part: a disabled or deactivated family that the
    // lookup also listed must not win the choice.
    const Bytes* address4 = nullptr;
    const Bytes* address6 = nullptr;
    bool ipv4WasFirst = true;
    for (const auto& a : addresses) {
        const int f = familyFromAddress(a);
        if (f == AF_INET && !ipv4Disabled && !ipv4Deactivated && !address4) {
            address4 = &a;
            if (address6)
                ipv4WasFirst = false;
        } else if (f == AF_INET6 && !ipv6Disabled && !ipv6Deactivated && !address6) {
            address6 = &a;
        }
    }
    const bool useIPv4 = address4 && (!address6 || preferIPv4 || (!preferIPv6 && ipv4WasFirst));
    if (useIPv4) {
        *address = *address4;
        *family = AF_INET;
    } else {
        *address = *address6;
        *family = AF_INET6;
    }
    return true;
}

// ---- Dequeue, pre-send, send ---------------------------------------------------------------

void UdpSocketEngine::maybeDequeueSend() {
    assertOnSocketQueue();
    if (currentSend_)
        return;
    if (!sendQueue_.empty() && !(flags_ & kDidCreateSockets)) {
        std::optional<SocketError> error;
        if (!createSockets(&error)) {
            closeWithError(std::move(error));
            return;
        }
    }
    while (!sendQueue_.empty()) {
        currentSend_ = std::move(sendQueue_.front());
        sendQueue_.pop_front();
        if (currentSend_->kind == Packet::Kind::connect) {
            maybeConnect();
            return;
        }
        if (currentSend_->resolveError) {
            notifyDidNotSendDataWithTag(currentSend_->tag, currentSend_->resolveError);
            currentSend_.reset();
            continue;
        }
        doPreSend();
        break;
    }
    if (!currentSend_ && (flags_ & kCloseAfterSends))
        closeWithError(std::nullopt);
}

void UdpSocketEngine::failCurrentSend(SocketError error) {
    notifyDidNotSendDataWithTag(currentSend_->tag, std::move(error));
    endCurrentSend();
    maybeDequeueSend();
}

void UdpSocketEngine::doPreSend() {
    assertOnSocketQueue();
    PacketPtr packet = currentSend_;
    if (flags_ & kDidConnect) {
        // A connected socket only talks to its peer.
        if (packet->resolveInProgress || !packet->resolvedAddresses.empty() || packet->resolveError ||
            !packet->address.empty()) {
            failCurrentSend(badConfigError("Cannot specify destination of packet for connected socket"));
            return;
        }
        packet->address = cachedConnectedAddress_;
        packet->addressFamily = cachedConnectedFamily_;
    } else {
        if (packet->resolveInProgress)
            return; // the resolution's completion comes back here
        if (packet->resolveError) {
            failCurrentSend(*packet->resolveError);
            return;
        }
        if (!packet->address.empty()) {
            const int family = packet->addressFamily;
            if (family != AF_INET && family != AF_INET6) {
                failCurrentSend(badParamError("A valid IPv4 or IPv6 address was not given"));
                return;
            }
            if ((family == AF_INET ? socket4FD_ : socket6FD_) == -1) {
                failCurrentSend(otherError(
                    family == AF_INET
                        ? "IPv4 has been disabled or deactivated, and an IPv4 address was passed."
                        : "IPv6 has been disabled or deactivated, and an IPv6 address was passed."));
                return;
            }
        } else if (!packet->resolvedAddresses.empty()) {
            std::optional<SocketError> error;
            if (!getAddress(&packet->address, &packet->addressFamily, &error, packet->resolvedAddresses)) {
                failCurrentSend(std::move(*error));
                return;
            }
        } else {
            failCurrentSend(
                badConfigError("You must specify destination of packet for a non-connected socket"));
            return;
        }
    }

    if (!sendFilterBlock_ || !sendFilterQueue_) {
        doSend();
        return;
    }
    if (!sendFilterAsync_) {
        bool allowed = false;
        auto call = [&] { allowed = sendFilterBlock_(packet->buffer, packet->address, packet->tag); };
        if (sendFilterQueue_->isCurrent())
            call();
        else
            sendFilterQueue_->sync(call);
        if (allowed) {
            doSend();
        } else {
            // A refused packet counts as sent.
            notifyDidSendDataWithTag(packet->tag);
            endCurrentSend();
            maybeDequeueSend();
        }
        return;
    }
    packet->filterInProgress = true;
    sendFilterQueue_->async([self = shared_from_this(), packet, filter = sendFilterBlock_] {
        const bool allowed = filter(packet->buffer, packet->address, packet->tag);
        self->socketQueue_->async([self, packet, allowed] {
            packet->filterInProgress = false;
            if (self->currentSend_ != packet)
                return;
            if (allowed) {
                self->doSend();
            } else {
                self->notifyDidSendDataWithTag(packet->tag);
                self->endCurrentSend();
                self->maybeDequeueSend();
            }
        });
    });
}

void UdpSocketEngine::doSend() {
    assertOnSocketQueue();
    if (!currentSend_ || currentSend_->kind != Packet::Kind::send)
        programmingError("Invalid logic");
    PacketPtr packet = currentSend_;
    const bool isIPv4 = packet->addressFamily == AF_INET;
    const int fd = isIPv4 ? socket4FD_ : socket6FD_;
    const bool connected = (flags_ & kDidConnect) != 0;
    const auto* address = connected ? nullptr : reinterpret_cast<const sockaddr*>(packet->address.data());
    const auto addressLength = connected ? socklen_t(0) : static_cast<socklen_t>(packet->address.size());
    const SendToFunction send = sendToFunction.load(std::memory_order_relaxed);
    long result;
    do {
        result = send(fd, packet->buffer.data(), packet->buffer.size(), MSG_NOSIGNAL, address, addressLength);
    } while (result == -1 && errno == EINTR);
    const int sendErrno = errno;
    flags_ |= kDidBind; // the system binds on the first send

    if (result > 0) {
        notifyDidSendDataWithTag(packet->tag);
        endCurrentSend();
        maybeDequeueSend();
        return;
    }
    // No room now (ENOBUFS is Linux's way of saying so too): wait on the write source, and
    // give up at the packet's timeout.
    if (result == 0 || sendErrno == EAGAIN || sendErrno == EWOULDBLOCK || sendErrno == ENOBUFS) {
        if (isIPv4) {
            flags_ &= ~kSock4CanAcceptBytes;
            resumeSend4Source();
        } else {
            flags_ &= ~kSock6CanAcceptBytes;
            resumeSend6Source();
        }
        if (!sendTimer_ && packet->timeout >= 0.0)
            setupSendTimerWithTimeout(packet->timeout);
        return;
    }
    errno = sendErrno;
    closeWithError(errnoErrorWithReason("Error in send() function."));
}

// ---- Timeout and end -----------------------------------------------------------------------

void UdpSocketEngine::setupSendTimerWithTimeout(double timeout) {
    if (sendTimer_ || timeout < 0.0)
        programmingError("Invalid logic");
    PacketPtr packet = currentSend_;
    sendTimer_ = platform::DispatchTimer::make(socketQueue_);
    std::weak_ptr<UdpSocketEngine> weak = weak_from_this();
    sendTimer_->setEventHandler([weak, packet] {
        auto self = weak.lock();
        if (self && self->currentSend_ == packet && self->sendTimer_)
            self->doSendTimeout(packet);
    });
    sendTimer_->schedule(
        std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(timeout)));
    sendTimer_->resume();
}

void UdpSocketEngine::doSendTimeout(const PacketPtr& packet) {
    notifyDidNotSendDataWithTag(packet->tag, sendTimeoutError());
    endCurrentSend();
    maybeDequeueSend();
}

void UdpSocketEngine::endCurrentSend() {
    if (sendTimer_) {
        sendTimer_->cancel();
        sendTimer_.reset();
    }
    currentSend_.reset();
}
