// StreamSocket: creation, configuration, state queries and the address functions.

#include "sockets/StreamSocket.h"

#include "sockets/StreamSocketInternal.h"
#include "sockets/StreamSocketPackets.h"
#include "sockets/StreamSocketPreBuffer.h"
#include "sockets/StreamSocketTLS.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <stdexcept>
#include <sys/socket.h>

using namespace StreamSocketFlags;

namespace {

StreamSocket::Address bytesOf(const void* address, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(address);
    return StreamSocket::Address(bytes, bytes + length);
}

sa_family_t familyOf(const StreamSocket::Address& address) {
    if (address.size() < offsetof(sockaddr, sa_family) + sizeof(sa_family_t))
        return AF_UNSPEC;
    sa_family_t family;
    std::memcpy(&family, address.data() + offsetof(sockaddr, sa_family), sizeof family);
    return family;
}

} // namespace

// ---- Creation ------------------------------------------------------------------------------

std::shared_ptr<StreamSocket> StreamSocket::make(std::weak_ptr<StreamSocketDelegate> delegate,
                                                 platform::DispatchQueuePtr delegateQueue,
                                                 platform::DispatchQueuePtr socketQueue) {
    return std::make_shared<StreamSocket>(Passkey{}, std::move(delegate), std::move(delegateQueue),
                                          std::move(socketQueue));
}

StreamSocket::StreamSocket(Passkey, std::weak_ptr<StreamSocketDelegate> delegate,
                           platform::DispatchQueuePtr delegateQueue, platform::DispatchQueuePtr socketQueue)
    : delegate_(std::move(delegate)), delegateQueue_(std::move(delegateQueue)) {
    if (socketQueue) {
        if (socketQueue->kind() == platform::DispatchQueue::Kind::concurrent)
            throw std::invalid_argument("The given socketQueue parameter must not be a concurrent queue.");
        socketQueue_ = std::move(socketQueue);
    } else {
        socketQueue_ = platform::DispatchQueue::makeSerial("StreamSocket");
    }
    socketQueueMark_ = std::make_shared<int>(0);
    socketQueue_->setSpecific(IsOnSocketQueueOrTargetQueueKey, socketQueueMark_);
    preBuffer_ = std::make_unique<StreamSocketPreBuffer>(4096);
}

StreamSocket::~StreamSocket() {
    performSync([this] {
        // Nobody is left to tell.
        delegate_.reset();
        delegateQueue_ = nullptr;
        closeWithError(std::nullopt);
    });
    socketQueue_->setSpecific<int>(IsOnSocketQueueOrTargetQueueKey, nullptr);
}

bool StreamSocket::isOnSocketQueue() const {
    return platform::DispatchQueue::getSpecific(IsOnSocketQueueOrTargetQueueKey) == socketQueueMark_ ||
           socketQueue_->isCurrent();
}

void StreamSocket::performSync(const std::function<void()>& block) const {
    if (isOnSocketQueue())
        block();
    else
        socketQueue_->sync(block);
}

void StreamSocket::performAsync(std::function<void()> block) {
    if (isOnSocketQueue())
        block();
    else
        socketQueue_->async([self = shared_from_this(), block = std::move(block)] { block(); });
}

void StreamSocket::performBlock(const std::function<void()>& block) {
    performSync(block);
}

// ---- Configuration ---------------------------------------------------------------------------

std::shared_ptr<StreamSocketDelegate> StreamSocket::delegate() const {
    std::shared_ptr<StreamSocketDelegate> result;
    performSync([&] { result = delegate_.lock(); });
    return result;
}

void StreamSocket::setDelegate(std::weak_ptr<StreamSocketDelegate> delegate) {
    performAsync([this, delegate = std::move(delegate)] { delegate_ = delegate; });
}

void StreamSocket::synchronouslySetDelegate(std::weak_ptr<StreamSocketDelegate> delegate) {
    performSync([&] { delegate_ = delegate; });
}

platform::DispatchQueuePtr StreamSocket::delegateQueue() const {
    platform::DispatchQueuePtr result;
    performSync([&] { result = delegateQueue_; });
    return result;
}

void StreamSocket::setDelegateQueue(platform::DispatchQueuePtr delegateQueue) {
    performAsync([this, delegateQueue = std::move(delegateQueue)] { delegateQueue_ = delegateQueue; });
}

void StreamSocket::synchronouslySetDelegateQueue(platform::DispatchQueuePtr delegateQueue) {
    performSync([&] { delegateQueue_ = delegateQueue; });
}

void StreamSocket::getDelegate(std::shared_ptr<StreamSocketDelegate>* delegate,
                               platform::DispatchQueuePtr* delegateQueue) const {
    performSync([&] {
        if (delegate)
            *delegate = delegate_.lock();
        if (delegateQueue)
            *delegateQueue = delegateQueue_;
    });
}

void StreamSocket::setDelegate(std::weak_ptr<StreamSocketDelegate> delegate,
                               platform::DispatchQueuePtr delegateQueue) {
    performAsync([this, delegate = std::move(delegate), delegateQueue = std::move(delegateQueue)] {
        delegate_ = delegate;
        delegateQueue_ = delegateQueue;
    });
}

void StreamSocket::synchronouslySetDelegate(std::weak_ptr<StreamSocketDelegate> delegate,
                                            platform::DispatchQueuePtr delegateQueue) {
    performSync([&] {
        delegate_ = delegate;
        delegateQueue_ = delegateQueue;
    });
}

namespace {
template <class T> void setBit(T& bits, T bit, bool on) {
    if (on)
        bits |= bit;
    else
        bits &= static_cast<T>(~bit);
}
} // namespace

bool StreamSocket::isIPv4Enabled() const {
    bool result = false;
    performSync([&] { result = !(config_ & kIPv4Disabled); });
    return result;
}

void StreamSocket::setIPv4Enabled(bool enabled) {
    performAsync([this, enabled] { setBit(config_, kIPv4Disabled, !enabled); });
}

bool StreamSocket::isIPv6Enabled() const {
    bool result = false;
    performSync([&] { result = !(config_ & kIPv6Disabled); });
    return result;
}

void StreamSocket::setIPv6Enabled(bool enabled) {
    performAsync([this, enabled] { setBit(config_, kIPv6Disabled, !enabled); });
}

bool StreamSocket::isIPv4PreferredOverIPv6() const {
    bool result = false;
    performSync([&] { result = !(config_ & kPreferIPv6); });
    return result;
}

void StreamSocket::setIPv4PreferredOverIPv6(bool preferred) {
    performAsync([this, preferred] { setBit(config_, kPreferIPv6, !preferred); });
}

double StreamSocket::alternateAddressDelay() const {
    double result = 0;
    performSync([&] { result = alternateAddressDelay_; });
    return result;
}

void StreamSocket::setAlternateAddressDelay(double delay) {
    performAsync([this, delay] { alternateAddressDelay_ = delay; });
}

std::any StreamSocket::userData() const {
    std::any result;
    performSync([&] { result = userData_; });
    return result;
}

void StreamSocket::setUserData(std::any userData) {
    performAsync([this, userData = std::move(userData)] { userData_ = userData; });
}

bool StreamSocket::autoDisconnectOnClosedReadStream() const {
    bool result = false;
    performSync([&] { result = !(config_ & kAllowHalfDuplexConnection); });
    return result;
}

void StreamSocket::setAutoDisconnectOnClosedReadStream(bool flag) {
    performAsync([this, flag] { setBit(config_, kAllowHalfDuplexConnection, !flag); });
}

// ---- State -----------------------------------------------------------------------------------

bool StreamSocket::isDisconnected() const {
    bool result = false;
    performSync([&] { result = !(flags_ & kSocketStarted); });
    return result;
}

bool StreamSocket::isConnected() const {
    bool result = false;
    performSync([&] { result = flags_ & kConnected; });
    return result;
}

std::optional<std::string> StreamSocket::connectedHostFromSocket(int fd) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd == -1 || getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return std::nullopt;
    return hostFromAddress(bytesOf(&address, length));
}

std::uint16_t StreamSocket::connectedPortFromSocket(int fd) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd == -1 || getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return portFromAddress(bytesOf(&address, length));
}

std::optional<std::string> StreamSocket::localHostFromSocket(int fd) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd == -1 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return std::nullopt;
    return hostFromAddress(bytesOf(&address, length));
}

std::uint16_t StreamSocket::localPortFromSocket(int fd) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd == -1 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return portFromAddress(bytesOf(&address, length));
}

std::optional<std::string> StreamSocket::connectedHost() const {
    std::optional<std::string> result;
    performSync([&] { result = socket4FD_ != -1 ? connectedHost4() : connectedHost6(); });
    return result;
}

std::uint16_t StreamSocket::connectedPort() const {
    std::uint16_t result = 0;
    performSync([&] { result = socket4FD_ != -1 ? connectedPort4() : connectedPort6(); });
    return result;
}

std::optional<std::string> StreamSocket::connectedUrl() const {
    std::optional<std::string> result;
    performSync([&] {
        sockaddr_un address{};
        socklen_t length = sizeof address;
        if (socketUN_ != -1 && getpeername(socketUN_, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            address.sun_family == AF_UNIX) {
            std::string path = urlFromSockaddrUN(address);
            if (!path.empty())
                result = std::move(path);
        }
    });
    return result;
}

std::optional<std::string> StreamSocket::localHost() const {
    std::optional<std::string> result;
    performSync([&] { result = socket4FD_ != -1 ? localHost4() : localHost6(); });
    return result;
}

std::uint16_t StreamSocket::localPort() const {
    std::uint16_t result = 0;
    performSync([&] { result = socket4FD_ != -1 ? localPort4() : localPort6(); });
    return result;
}

StreamSocket::Address StreamSocket::connectedAddress() const {
    Address result;
    performSync([&] {
        const int fd = socket4FD_ != -1 ? socket4FD_ : socket6FD_;
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (fd != -1 && getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            result = bytesOf(&address, length);
    });
    return result;
}

StreamSocket::Address StreamSocket::localAddress() const {
    Address result;
    performSync([&] {
        const int fd = socket4FD_ != -1 ? socket4FD_ : socket6FD_;
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (fd != -1 && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            result = bytesOf(&address, length);
    });
    return result;
}

bool StreamSocket::isIPv4() const {
    bool result = false;
    performSync([&] { result = socket4FD_ != -1; });
    return result;
}

bool StreamSocket::isIPv6() const {
    bool result = false;
    performSync([&] { result = socket6FD_ != -1; });
    return result;
}

bool StreamSocket::isSecure() const {
    bool result = false;
    performSync([&] { result = flags_ & kSocketSecure; });
    return result;
}

std::optional<std::string> StreamSocket::connectedHost4() const {
    return connectedHostFromSocket(socket4FD_);
}
std::optional<std::string> StreamSocket::connectedHost6() const {
    return connectedHostFromSocket(socket6FD_);
}
std::uint16_t StreamSocket::connectedPort4() const {
    return connectedPortFromSocket(socket4FD_);
}
std::uint16_t StreamSocket::connectedPort6() const {
    return connectedPortFromSocket(socket6FD_);
}
std::optional<std::string> StreamSocket::localHost4() const {
    return localHostFromSocket(socket4FD_);
}
std::optional<std::string> StreamSocket::localHost6() const {
    return localHostFromSocket(socket6FD_);
}
std::uint16_t StreamSocket::localPort4() const {
    return localPortFromSocket(socket4FD_);
}
std::uint16_t StreamSocket::localPort6() const {
    return localPortFromSocket(socket6FD_);
}

int StreamSocket::currentSocketFD() const {
    if (socket4FD_ != -1)
        return socket4FD_;
    if (socket6FD_ != -1)
        return socket6FD_;
    return socketUN_;
}

int StreamSocket::socketFD() const {
    return isOnSocketQueue() ? currentSocketFD() : -1;
}

int StreamSocket::socket4FD() const {
    int result = -1;
    performSync([&] { result = socket4FD_; });
    return result;
}

int StreamSocket::socket6FD() const {
    int result = -1;
    performSync([&] { result = socket6FD_; });
    return result;
}

ssl_st* StreamSocket::sslContext() const {
    ssl_st* result = nullptr;
    performSync([&] { result = sslContext_ ? sslContext_->ssl() : nullptr; });
    return result;
}

// ---- Address functions -----------------------------------------------------------------------

std::vector<StreamSocket::Address> StreamSocket::lookupHost(const std::string& host, std::uint16_t port,
                                                            SocketError* error) {
    std::vector<Address> addresses;
    if (host == "localhost" || host == "loopback") {
        sockaddr_in address4{};
        address4.sin_family = AF_INET;
        address4.sin_port = htons(port);
        address4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in6 address6{};
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(port);
        address6.sin6_addr = in6addr_loopback;
        addresses.push_back(bytesOf(&address4, sizeof address4));
        addresses.push_back(bytesOf(&address6, sizeof address6));
        return addresses;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* results = nullptr;
    const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &results);
    if (status != 0) {
        if (error)
            *error = SocketError::netDB(status);
        return addresses;
    }
    for (addrinfo* info = results; info; info = info->ai_next) {
        if (info->ai_family == AF_INET && info->ai_addrlen >= sizeof(sockaddr_in)) {
            addresses.push_back(bytesOf(info->ai_addr, sizeof(sockaddr_in)));
        } else if (info->ai_family == AF_INET6 && info->ai_addrlen >= sizeof(sockaddr_in6)) {
            sockaddr_in6 address6;
            std::memcpy(&address6, info->ai_addr, sizeof address6);
            if (address6.sin6_port == 0)
                address6.sin6_port = htons(port);
            addresses.push_back(bytesOf(&address6, sizeof address6));
        }
    }
    freeaddrinfo(results);
    if (addresses.empty() && error)
        *error = SocketError::netDB(EAI_FAIL);
    return addresses;
}

std::string StreamSocket::hostFromSockaddr4(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) ? std::string(text) : std::string();
}

std::string StreamSocket::hostFromSockaddr6(const sockaddr_in6& address) {
    char text[INET6_ADDRSTRLEN];
    return inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof text) ? std::string(text) : std::string();
}

std::uint16_t StreamSocket::portFromSockaddr4(const sockaddr_in& address) {
    return ntohs(address.sin_port);
}
std::uint16_t StreamSocket::portFromSockaddr6(const sockaddr_in6& address) {
    return ntohs(address.sin6_port);
}

std::string StreamSocket::urlFromSockaddrUN(const sockaddr_un& address) {
    return std::string(address.sun_path, strnlen(address.sun_path, sizeof address.sun_path));
}

std::optional<std::string> StreamSocket::hostFromAddress(const Address& address) {
    std::string host;
    if (!getHost(&host, nullptr, nullptr, address))
        return std::nullopt;
    return host;
}

std::uint16_t StreamSocket::portFromAddress(const Address& address) {
    std::uint16_t port = 0;
    return getHost(nullptr, &port, nullptr, address) ? port : 0;
}

bool StreamSocket::isIPv4Address(const Address& address) {
    return address.size() >= sizeof(sockaddr_in) && familyOf(address) == AF_INET;
}

bool StreamSocket::isIPv6Address(const Address& address) {
    return address.size() >= sizeof(sockaddr_in6) && familyOf(address) == AF_INET6;
}

bool StreamSocket::getHost(std::string* host, std::uint16_t* port, const Address& address) {
    return getHost(host, port, nullptr, address);
}

bool StreamSocket::getHost(std::string* host, std::uint16_t* port, int* family, const Address& address) {
    if (isIPv4Address(address)) {
        sockaddr_in address4;
        std::memcpy(&address4, address.data(), sizeof address4);
        if (host)
            *host = hostFromSockaddr4(address4);
        if (port)
            *port = portFromSockaddr4(address4);
        if (family)
            *family = AF_INET;
        return true;
    }
    if (isIPv6Address(address)) {
        sockaddr_in6 address6;
        std::memcpy(&address6, address.data(), sizeof address6);
        if (host)
            *host = hostFromSockaddr6(address6);
        if (port)
            *port = portFromSockaddr6(address6);
        if (family)
            *family = AF_INET6;
        return true;
    }
    return false;
}

const std::vector<std::uint8_t>& StreamSocket::CRLFData() {
    static const std::vector<std::uint8_t> data{0x0D, 0x0A};
    return data;
}

const std::vector<std::uint8_t>& StreamSocket::CRData() {
    static const std::vector<std::uint8_t> data{0x0D};
    return data;
}

const std::vector<std::uint8_t>& StreamSocket::LFData() {
    static const std::vector<std::uint8_t> data{0x0A};
    return data;
}

const std::vector<std::uint8_t>& StreamSocket::ZeroData() {
    static const std::vector<std::uint8_t> data{0x00};
    return data;
}
