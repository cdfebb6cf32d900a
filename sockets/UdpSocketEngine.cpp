#include "sockets/UdpSocketEngine.h"

#include "sockets/UdpSocketEngineInternal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <utility>

using namespace udp_engine;

[[noreturn]] void udp_engine::programmingError(const char* message) {
    std::fprintf(stderr, "UdpSocketEngine: %s\n", message);
    std::fflush(stderr);
    std::abort();
}

// ---- Queue helpers -------------------------------------------------------------------------

void UdpSocketEngine::asyncOnSocketQueue(std::function<void()> block) {
    if (socketQueue_->isCurrent()) {
        block();
        return;
    }
    socketQueue_->async([self = shared_from_this(), block = std::move(block)] { block(); });
}

void UdpSocketEngine::assertOnSocketQueue() const {
    if (!socketQueue_->isCurrent())
        programmingError("Must be dispatched on socketQueue");
}

// ---- Construction --------------------------------------------------------------------------

std::shared_ptr<UdpSocketEngine> UdpSocketEngine::make(std::weak_ptr<UdpSocketEngineDelegate> delegate,
                                                       platform::DispatchQueuePtr delegateQueue,
                                                       platform::DispatchQueuePtr socketQueue) {
    return std::make_shared<UdpSocketEngine>(Private{}, std::move(delegate), std::move(delegateQueue),
                                             std::move(socketQueue));
}

UdpSocketEngine::UdpSocketEngine(Private, std::weak_ptr<UdpSocketEngineDelegate> delegate,
                                 platform::DispatchQueuePtr delegateQueue,
                                 platform::DispatchQueuePtr socketQueue)
    : delegate_(std::move(delegate)), delegateQueue_(std::move(delegateQueue)) {
    if (socketQueue) {
        if (socketQueue->kind() == platform::DispatchQueue::Kind::concurrent)
            programmingError("The given socketQueue parameter must not be a concurrent queue.");
        socketQueue_ = std::move(socketQueue);
    } else {
        socketQueue_ = platform::DispatchQueue::makeSerial("UdpSocketEngine");
    }
}

UdpSocketEngine::~UdpSocketEngine() {
    // The last reference may drop on the socket queue itself (a block holding it) or elsewhere.
    syncOnSocketQueue([this] { closeWithError(std::nullopt); });
}

// ---- Configuration -------------------------------------------------------------------------

std::shared_ptr<UdpSocketEngineDelegate> UdpSocketEngine::delegate() const {
    return syncOnSocketQueue([this] { return delegate_.lock(); });
}

void UdpSocketEngine::setDelegate(std::weak_ptr<UdpSocketEngineDelegate> delegate) {
    asyncOnSocketQueue([this, delegate = std::move(delegate)] { delegate_ = delegate; });
}

void UdpSocketEngine::synchronouslySetDelegate(std::weak_ptr<UdpSocketEngineDelegate> delegate) {
    syncOnSocketQueue([&] { delegate_ = std::move(delegate); });
}

platform::DispatchQueuePtr UdpSocketEngine::delegateQueue() const {
    return syncOnSocketQueue([this] { return delegateQueue_; });
}

void UdpSocketEngine::setDelegateQueue(platform::DispatchQueuePtr queue) {
    asyncOnSocketQueue([this, queue = std::move(queue)] { delegateQueue_ = queue; });
}

void UdpSocketEngine::synchronouslySetDelegateQueue(platform::DispatchQueuePtr queue) {
    syncOnSocketQueue([&] { delegateQueue_ = std::move(queue); });
}

void UdpSocketEngine::getDelegate(std::shared_ptr<UdpSocketEngineDelegate>* delegate,
                                  platform::DispatchQueuePtr* delegateQueue) const {
    syncOnSocketQueue([&] {
        if (delegate)
            *delegate = delegate_.lock();
        if (delegateQueue)
            *delegateQueue = delegateQueue_;
    });
}

void UdpSocketEngine::setDelegate(std::weak_ptr<UdpSocketEngineDelegate> delegate,
                                  platform::DispatchQueuePtr delegateQueue) {
    asyncOnSocketQueue([this, delegate = std::move(delegate), delegateQueue = std::move(delegateQueue)] {
        delegate_ = delegate;
        delegateQueue_ = delegateQueue;
    });
}

void UdpSocketEngine::synchronouslySetDelegate(std::weak_ptr<UdpSocketEngineDelegate> delegate,
                                               platform::DispatchQueuePtr delegateQueue) {
    syncOnSocketQueue([&] {
        delegate_ = std::move(delegate);
        delegateQueue_ = std::move(delegateQueue);
    });
}

bool UdpSocketEngine::isIPv4Enabled() const {
    return syncOnSocketQueue([this] { return (config_ & kIPv4Disabled) == 0; });
}

void UdpSocketEngine::setIPv4Enabled(bool enabled) {
    asyncOnSocketQueue([this, enabled] {
        if (enabled)
            config_ &= ~kIPv4Disabled;
        else
            config_ |= kIPv4Disabled;
    });
}

bool UdpSocketEngine::isIPv6Enabled() const {
    return syncOnSocketQueue([this] { return (config_ & kIPv6Disabled) == 0; });
}

void UdpSocketEngine::setIPv6Enabled(bool enabled) {
    asyncOnSocketQueue([this, enabled] {
        if (enabled)
            config_ &= ~kIPv6Disabled;
        else
            config_ |= kIPv6Disabled;
    });
}

bool UdpSocketEngine::isIPv4Preferred() const {
    return syncOnSocketQueue([this] { return (config_ & kPreferIPv4) != 0; });
}

bool UdpSocketEngine::isIPv6Preferred() const {
    return syncOnSocketQueue([this] { return (config_ & kPreferIPv6) != 0; });
}

bool UdpSocketEngine::isIPVersionNeutral() const {
    return syncOnSocketQueue([this] { return (config_ & (kPreferIPv4 | kPreferIPv6)) == 0; });
}

void UdpSocketEngine::setPreferIPv4() {
    asyncOnSocketQueue([this] {
        config_ |= kPreferIPv4;
        config_ &= ~kPreferIPv6;
    });
}

void UdpSocketEngine::setPreferIPv6() {
    asyncOnSocketQueue([this] {
        config_ &= ~kPreferIPv4;
        config_ |= kPreferIPv6;
    });
}

void UdpSocketEngine::setIPVersionNeutral() {
    asyncOnSocketQueue([this] { config_ &= ~(kPreferIPv4 | kPreferIPv6); });
}

std::uint16_t UdpSocketEngine::maxReceiveIPv4BufferSize() const {
    return syncOnSocketQueue([this] { return max4ReceiveSize_; });
}

void UdpSocketEngine::setMaxReceiveIPv4BufferSize(std::uint16_t size) {
    asyncOnSocketQueue([this, size] { max4ReceiveSize_ = size; });
}

std::uint32_t UdpSocketEngine::maxReceiveIPv6BufferSize() const {
    return syncOnSocketQueue([this] { return max6ReceiveSize_; });
}

void UdpSocketEngine::setMaxReceiveIPv6BufferSize(std::uint32_t size) {
    asyncOnSocketQueue([this, size] { max6ReceiveSize_ = size; });
}

std::uint16_t UdpSocketEngine::maxSendBufferSize() const {
    return syncOnSocketQueue([this] { return maxSendSize_; });
}

void UdpSocketEngine::setMaxSendBufferSize(std::uint16_t size) {
    asyncOnSocketQueue([this, size] { maxSendSize_ = size; });
}

void UdpSocketEngine::setKernelReceiveBufferSize(int bytes) {
    asyncOnSocketQueue([this, bytes] { kernelReceiveSize_ = bytes; });
}

int UdpSocketEngine::kernelReceiveBufferSize() const {
    return syncOnSocketQueue([this] {
        const int fd = socket4FD_ != -1 ? socket4FD_ : socket6FD_;
        int size = 0;
        socklen_t length = sizeof size;
        if (fd == -1 || ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length) != 0)
            return 0;
        return size;
    });
}

std::shared_ptr<void> UdpSocketEngine::userData() const {
    return syncOnSocketQueue([this] { return userData_; });
}

void UdpSocketEngine::setUserData(std::shared_ptr<void> data) {
    asyncOnSocketQueue([this, data = std::move(data)] {
        if (userData_ != data)
            userData_ = data;
    });
}

void UdpSocketEngine::performBlock(const std::function<void()>& block) {
    syncOnSocketQueue([&] { block(); });
}

int UdpSocketEngine::socketFD() const {
    if (!socketQueue_->isCurrent())
        return -1;
    return socket4FD_ != -1 ? socket4FD_ : socket6FD_;
}

int UdpSocketEngine::socket4FD() const {
    return socketQueue_->isCurrent() ? socket4FD_ : -1;
}

int UdpSocketEngine::socket6FD() const {
    return socketQueue_->isCurrent() ? socket6FD_ : -1;
}

// ---- Notifications -------------------------------------------------------------------------

template <class Call> void UdpSocketEngine::notify(UdpSocketEngineDelegate::Callback callback, Call call) {
    auto delegate = delegate_.lock();
    if (!delegate || !delegateQueue_ || !delegate->respondsTo(callback))
        return;
    // Nobody can be told about an engine that is being destroyed.
    auto self = weak_from_this().lock();
    if (!self)
        return;
    delegateQueue_->async([delegate = std::move(delegate), self = std::move(self),
                           call = std::move(call)]() mutable { call(*delegate, *self); });
}

void UdpSocketEngine::notifyDidConnectToAddress(const Bytes& address) {
    notify(UdpSocketEngineDelegate::Callback::didConnect,
           [address](UdpSocketEngineDelegate& d, UdpSocketEngine& s) {
               d.udpSocketDidConnectToAddress(s, address);
           });
}

void UdpSocketEngine::notifyDidNotConnect(std::optional<SocketError> error) {
    notify(UdpSocketEngineDelegate::Callback::didNotConnect,
           [error = std::move(error)](UdpSocketEngineDelegate& d, UdpSocketEngine& s) {
               d.udpSocketDidNotConnect(s, error);
           });
}

void UdpSocketEngine::notifyDidSendDataWithTag(std::int64_t tag) {
    notify(UdpSocketEngineDelegate::Callback::didSend,
           [tag](UdpSocketEngineDelegate& d, UdpSocketEngine& s) { d.udpSocketDidSendDataWithTag(s, tag); });
}

void UdpSocketEngine::notifyDidNotSendDataWithTag(std::int64_t tag, std::optional<SocketError> error) {
    notify(UdpSocketEngineDelegate::Callback::didNotSend,
           [tag, error = std::move(error)](UdpSocketEngineDelegate& d, UdpSocketEngine& s) {
               d.udpSocketDidNotSendDataWithTag(s, tag, error);
           });
}

void UdpSocketEngine::notifyDidReceiveData(Bytes data, Bytes fromAddress, std::any context) {
    notify(UdpSocketEngineDelegate::Callback::didReceive,
           [data = std::move(data), fromAddress = std::move(fromAddress),
            context = std::move(context)](UdpSocketEngineDelegate& d, UdpSocketEngine& s) {
               d.udpSocketDidReceiveData(s, data, fromAddress, context);
           });
}

namespace {

// What one datagram counts against the receive backlog besides its bytes.
constexpr std::size_t backlogCostPerDatagram = 96;

} // namespace

// A batch's bytes count against the backlog until the batch is delivered, or dropped
// undelivered; whichever brings the backlog to half the limit or below starts a paused
// reading (for a limit of 1, to nothing).
class UdpSocketEngine::BacklogShare {
public:
    BacklogShare(std::weak_ptr<UdpSocketEngine> engine, std::shared_ptr<ReceiveBacklog> backlog,
                 std::size_t bytes)
        : engine_(std::move(engine)), backlog_(std::move(backlog)), bytes_(bytes) {
        backlog_->bytes += bytes_;
    }
    BacklogShare(const BacklogShare&) = delete;
    BacklogShare& operator=(const BacklogShare&) = delete;
    ~BacklogShare() {
        const std::size_t left = backlog_->bytes -= bytes_;
        if (left <= backlog_->limit / 2 && backlog_->paused.exchange(false))
            if (auto engine = engine_.lock())
                engine->socketQueue_->async([engine] { engine->doReceive(); });
    }

private:
    std::weak_ptr<UdpSocketEngine> engine_;
    std::shared_ptr<ReceiveBacklog> backlog_;
    std::size_t bytes_;
};

void UdpSocketEngine::notifyDidReceiveDatagrams(std::vector<std::pair<Bytes, Bytes>> datagrams) {
    std::size_t bytes = 0;
    for (const auto& datagram : datagrams)
        bytes += datagram.first.size() + backlogCostPerDatagram;
    auto share = std::make_shared<BacklogShare>(weak_from_this(), receiveBacklog_, bytes);
    // One hop to the delegate queue for a whole batch, delivered in order.
    notify(UdpSocketEngineDelegate::Callback::didReceive,
           [datagrams = std::move(datagrams), share = std::move(share)](UdpSocketEngineDelegate& d,
                                                                        UdpSocketEngine& s) mutable {
               const std::any noContext;
               for (const auto& [data, address] : datagrams)
                   d.udpSocketDidReceiveData(s, data, address, noContext);
               share.reset();
           });
}

bool UdpSocketEngine::receiveBacklogFull() {
    ReceiveBacklog& backlog = *receiveBacklog_;
    if (backlog.bytes < backlog.limit)
        return false;
    backlog.paused = true;
    // Deliveries that ended before the flag was up started nothing: look once more.
    return !(backlog.bytes <= backlog.limit / 2 && backlog.paused.exchange(false));
}

void UdpSocketEngine::setReceiveBacklogLimit(std::size_t bytes) {
    receiveBacklog_->limit = std::max<std::size_t>(bytes, 1);
}

std::size_t UdpSocketEngine::receiveBacklogBytes() const {
    return receiveBacklog_->bytes;
}

void UdpSocketEngine::notifyDidCloseWithError(std::optional<SocketError> error) {
    notify(UdpSocketEngineDelegate::Callback::didClose,
           [error = std::move(error)](UdpSocketEngineDelegate& d, UdpSocketEngine& s) {
               d.udpSocketDidCloseWithError(s, error);
           });
}

// ---- Errors --------------------------------------------------------------------------------

SocketError UdpSocketEngine::badConfigError(const std::string& text) {
    return SocketError::withDescription(UdpSocketEngineError::errorDomain,
                                        UdpSocketEngineError::badConfigError, text);
}

SocketError UdpSocketEngine::badParamError(const std::string& text) {
    return SocketError::withDescription(UdpSocketEngineError::errorDomain,
                                        UdpSocketEngineError::badParamError, text);
}

SocketError UdpSocketEngine::sendTimeoutError() {
    return SocketError::withDescription(UdpSocketEngineError::errorDomain,
                                        UdpSocketEngineError::sendTimeoutError, "Send operation timed out");
}

SocketError UdpSocketEngine::socketClosedError() {
    return SocketError::withDescription(UdpSocketEngineError::errorDomain, UdpSocketEngineError::closedError,
                                        "Socket closed");
}

SocketError UdpSocketEngine::otherError(const std::string& text) {
    return SocketError::withDescription(UdpSocketEngineError::errorDomain, UdpSocketEngineError::otherError,
                                        text);
}

SocketError UdpSocketEngine::gaiError(int code) {
    return SocketError::netDB(code);
}

SocketError UdpSocketEngine::errnoErrorWithReason(const std::string& reason) {
    return SocketError::posix(errno, reason);
}

SocketError UdpSocketEngine::errnoError() {
    return SocketError::posix(errno);
}

bool UdpSocketEngine::preOp(ErrorOut error) const {
    assertOnSocketQueue();
    if (delegate_.expired()) {
        if (error)
            *error = badConfigError("Attempting to use socket without a delegate. Set a delegate first.");
        return false;
    }
    if (!delegateQueue_) {
        if (error)
            *error = badConfigError(
                "Attempting to use socket without a delegate queue. Set a delegate queue first.");
        return false;
    }
    return true;
}

// ---- Closing -------------------------------------------------------------------------------

void UdpSocketEngine::close() {
    syncOnSocketQueue([this] { closeWithError(std::nullopt); });
}

void UdpSocketEngine::closeAfterSending() {
    asyncOnSocketQueue([this] {
        flags_ |= kCloseAfterSends;
        if (!currentSend_ && sendQueue_.empty())
            closeWithError(std::nullopt);
    });
}

void UdpSocketEngine::closeWithError(std::optional<SocketError> error) {
    assertOnSocketQueue();
    endCurrentSend();
    sendQueue_.clear(); // dropped without callbacks
    const bool hadSockets = (flags_ & kDidCreateSockets) != 0;
    closeSockets();
    flags_ = 0;
    if (hadSockets)
        notifyDidCloseWithError(std::move(error));
}
