#include "Sonavant/OSC/TCPConnection.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

TCPConnection::Error posixError(int code) {
    char buffer[256];
    // GNU strerror_r returns the text, not always in the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return {code, text};
}

TCPConnection::Error resolverError(int code) {
    return {code, gai_strerror(code)};
}

struct Resolution {
    std::vector<std::vector<std::uint8_t>> addresses;
    int error = 0; // resolver code
};

Resolution resolve(const std::string& host, std::uint16_t port, bool numericOnly) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    Resolution result;
    if (int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list); rc != 0) {
        result.error = rc;
        return result;
    }
    for (auto* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET && ai->ai_family != AF_INET6)
            continue;
        auto* bytes = reinterpret_cast<const std::uint8_t*>(ai->ai_addr);
        result.addresses.emplace_back(bytes, bytes + ai->ai_addrlen);
    }
    freeaddrinfo(list);
    if (result.addresses.empty())
        result.error = EAI_NONAME;
    return result;
}

} // namespace

std::shared_ptr<TCPConnection> TCPConnection::make(std::string host, std::uint16_t port, platform::QoS qos) {
    return std::shared_ptr<TCPConnection>(new TCPConnection(std::move(host), port, qos));
}

TCPConnection::TCPConnection(std::string host, std::uint16_t port, platform::QoS qos)
    : host_(std::move(host)), port_(port),
      queue_(
          platform::DispatchQueue::makeSerial("TCPConnection." + host_ + ":" + std::to_string(port_), qos)) {}

TCPConnection::~TCPConnection() {
    // Nothing else refers to us any more, so queue-owned state is ours here. The sources
    // must not outlive us: a readable socket nobody drains would keep the reactor busy.
    closeSocket();
    if (!pending_.empty())
        completeAll(posixError(ECANCELED));
}

void TCPConnection::setStateHandler(StateHandler handler) {
    std::lock_guard lock(stateMutex_);
    stateHandler_ = std::move(handler);
}

TCPConnection::State TCPConnection::state() const {
    std::lock_guard lock(stateMutex_);
    return state_;
}

void TCPConnection::setState(State state) {
    StateHandler handler;
    {
        std::lock_guard lock(stateMutex_);
        state_ = state;
        handler = stateHandler_;
    }
    if (handler)
        handler(state);
}

void TCPConnection::start() {
    queue_->async([self = shared_from_this()] {
        if (self->started_ || self->ended_)
            return;
        self->started_ = true;
        self->setState({State::Kind::preparing, std::nullopt});
        auto numeric = resolve(self->host_, self->port_, true);
        if (numeric.error == 0) {
            self->resolved(std::move(numeric.addresses), std::nullopt);
            return;
        }
        if (numeric.error != EAI_NONAME) {
            self->resolved({}, resolverError(numeric.error));
            return;
        }
        // A name may take seconds to resolve: keep it off the shared worker threads.
        std::weak_ptr<TCPConnection> weak = self;
        std::thread([weak, queue = self->queue_, host = self->host_, port = self->port_] {
            auto result = resolve(host, port, false);
            queue->async([weak, result = std::move(result)]() mutable {
                if (auto self = weak.lock())
                    self->resolved(std::move(result.addresses),
                                   result.error ? std::optional(resolverError(result.error)) : std::nullopt);
            });
        }).detach();
    });
}

void TCPConnection::resolved(std::vector<std::vector<std::uint8_t>> addresses, std::optional<Error> error) {
    if (ended_)
        return;
    if (error) {
        fail(*error);
        return;
    }
    addresses_ = std::move(addresses);
    nextAddress_ = 0;
    connectNext();
}

bool TCPConnection::openSocket(const std::vector<std::uint8_t>& address) {
    auto* sa = reinterpret_cast<const sockaddr*>(address.data());
    int fd = ::socket(sa->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lastConnectError_ = posixError(errno);
        return false;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd_ = fd;
    readSource_ = platform::DispatchSource::makeRead(fd, queue_);
    writeSource_ = platform::DispatchSource::makeWrite(fd, queue_);
    readArmed_ = writeArmed_ = false;
    // The descriptor closes once both sources have let go of it.
    auto holders = std::make_shared<std::atomic<int>>(2);
    auto closeWhenLast = [holders, fd] {
        if (holders->fetch_sub(1) == 1)
            ::close(fd);
    };
    readSource_->setCancelHandler(closeWhenLast);
    writeSource_->setCancelHandler(closeWhenLast);
    std::weak_ptr<TCPConnection> weak = weak_from_this();
    readSource_->setEventHandler([weak] {
        if (auto self = weak.lock())
            self->readAvailable();
    });
    writeSource_->setEventHandler([weak] {
        if (auto self = weak.lock()) {
            if (self->connecting_)
                self->connectFinished();
            else
                self->flush();
        }
    });
    if (::connect(fd, sa, static_cast<socklen_t>(address.size())) == 0) {
        connecting_ = true;
        connectFinished();
        return true;
    }
    if (errno == EINPROGRESS || errno == EINTR) {
        connecting_ = true;
        armWrite(true);
        return true;
    }
    lastConnectError_ = posixError(errno);
    closeSocket();
    return false;
}

void TCPConnection::connectNext() {
    while (!ended_ && nextAddress_ < addresses_.size()) {
        if (openSocket(addresses_[nextAddress_++]))
            return;
    }
    if (!ended_)
        fail(lastConnectError_.value_or(posixError(ECONNREFUSED)));
}

void TCPConnection::connectFinished() {
    if (!connecting_ || fd_ < 0)
        return;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == 0) {
        // A non-blocking connect can report writable before it is done on some paths.
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0)
            error = errno == ENOTCONN ? ECONNREFUSED : errno;
    }
    if (error != 0) {
        connecting_ = false;
        lastConnectError_ = posixError(error);
        closeSocket();
        connectNext();
        return;
    }
    connecting_ = false;
    armWrite(false);
    readArmed_ = true;
    readSource_->resume();
    setState({State::Kind::ready, std::nullopt});
    flush();
}

void TCPConnection::armWrite(bool on) {
    if (!writeSource_ || writeArmed_ == on)
        return;
    writeArmed_ = on;
    if (on)
        writeSource_->resume();
    else
        writeSource_->suspend();
}

void TCPConnection::send(std::vector<std::uint8_t> bytes, SendCompletion completion) {
    queue_->async(
        [self = shared_from_this(), bytes = std::move(bytes), completion = std::move(completion)]() mutable {
            if (self->ended_) {
                if (completion) {
                    auto current = self->state();
                    completion(current.error ? *current.error : posixError(ECANCELED));
                }
                return;
            }
            self->pending_.push_back({std::move(bytes), 0, std::move(completion)});
            if (self->state().kind == State::Kind::ready)
                self->flush();
        });
}

void TCPConnection::flush() {
    if (ended_ || fd_ < 0 || connecting_)
        return;
    while (!pending_.empty()) {
        auto& front = pending_.front();
        while (front.offset < front.bytes.size()) {
            ssize_t n = ::send(fd_, front.bytes.data() + front.offset, front.bytes.size() - front.offset,
                               MSG_NOSIGNAL);
            if (n > 0) {
                front.offset += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                armWrite(true);
                return;
            }
            fail(posixError(n < 0 ? errno : EPIPE));
            return;
        }
        auto done = std::move(front.completion);
        pending_.pop_front();
        if (done)
            done(std::nullopt);
        if (ended_)
            return;
    }
    armWrite(false);
}

void TCPConnection::readAvailable() {
    if (fd_ < 0 || connecting_)
        return;
    std::uint8_t buffer[4096];
    for (int round = 0; round < 64; ++round) {
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0)
            continue;
        if (n == 0) {
            fail({ECONNRESET, "Connection closed by peer"});
            return;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            fail(posixError(errno));
        return;
    }
}

void TCPConnection::closeSocket() {
    if (fd_ < 0)
        return;
    fd_ = -1;
    connecting_ = false;
    // Cancel handlers only run on live sources; the last one closes the descriptor.
    for (auto* source : {&readSource_, &writeSource_}) {
        auto& armed = source == &readSource_ ? readArmed_ : writeArmed_;
        if (*source) {
            if (!armed)
                (*source)->resume();
            (*source)->cancel();
            source->reset();
        }
        armed = false;
    }
}

void TCPConnection::completeAll(const Error& error) {
    auto pending = std::move(pending_);
    pending_.clear();
    for (auto& write : pending)
        if (write.completion)
            write.completion(error);
}

void TCPConnection::fail(Error error) {
    if (ended_)
        return;
    ended_ = true;
    closeSocket();
    setState({State::Kind::failed, error});
    completeAll(error);
}

void TCPConnection::cancel() {
    queue_->async([self = shared_from_this()] {
        if (self->state().kind == State::Kind::cancelled)
            return;
        self->ended_ = true;
        self->closeSocket();
        self->completeAll(posixError(ECANCELED));
        self->setState({State::Kind::cancelled, std::nullopt});
    });
}
