#include "platform/Reactor.h"

#include "platform/ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace detail {

namespace {

constexpr std::uint64_t kWakeId = 0;

} // namespace

Reactor& Reactor::instance() {
    static Reactor* reactor = new Reactor(true); // intentionally leaked: its thread outlives statics
    return *reactor;
}

std::shared_ptr<Reactor> Reactor::makeUnthreaded() {
    return std::shared_ptr<Reactor>(new Reactor(false));
}

Reactor::Reactor(bool threaded) {
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0)
        fatal("epoll_create1 failed");
    if (!threaded) {
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = kWakeId;
        if (wakeFd_ < 0 || ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev) != 0)
            fatal("eventfd for a reactor failed");
        return;
    }
    std::thread([this] {
        takeNormalPriority();
        pthread_setname_np(pthread_self(), "reactor");
        loop();
    }).detach();
}

Reactor::~Reactor() {
    // Only unthreaded reactors end, once no source refers to them.
    for (auto& [id, entry] : byId_)
        delete entry;
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    ::close(epollFd_);
}

void Reactor::wake() {
    const std::uint64_t one = 1;
    // A full counter (EAGAIN) already means "wake".
    while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Reactor::waitAndDeliver() {
    constexpr int kMaxEvents = 64;
    epoll_event events[kMaxEvents];
    const int n = ::epoll_wait(epollFd_, events, kMaxEvents, -1);
    if (n < 0) {
        if (errno != EINTR)
            fatal("epoll_wait failed");
        return;
    }
    deliverEvents(events, n);
}

Reactor::Entry* Reactor::attachLocked(const std::shared_ptr<FdSource>& source, int fd) {
    Entry*& slot = byFd_[fd];
    if (!slot) {
        slot = new Entry;
        slot->fd = fd;
        slot->id = nextId_++;
        byId_[slot->id] = slot;
    }
    slot->sources.push_back(source);
    return slot;
}

void Reactor::detachLocked(FdSource* source, Entry* entry) {
    auto& sources = entry->sources;
    auto it = std::find_if(sources.begin(), sources.end(), [&](const auto& s) { return s.get() == source; });
    std::shared_ptr<FdSource> keep; // the caller holds the source too; release after bookkeeping
    if (it != sources.end()) {
        keep = std::move(*it);
        sources.erase(it);
    }
    if (!sources.empty()) {
        updateLocked(*entry);
        return;
    }
    if (entry->inEpoll) {
        epoll_event ev{};
        ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, entry->fd, &ev); // EBADF/ENOENT: already gone
    }
    byId_.erase(entry->id);
    auto fdIt = byFd_.find(entry->fd);
    if (fdIt != byFd_.end() && fdIt->second == entry)
        byFd_.erase(fdIt);
    delete entry;
}

void Reactor::updateLocked(Entry& entry) {
    std::uint32_t want = 0;
    for (const auto& source : entry.sources)
        if (source->armedForEpoll())
            want |= source->type() == DispatchSource::Type::read ? (EPOLLIN | EPOLLRDHUP) : EPOLLOUT;

    if (entry.alwaysReady) {
        if (want)
            deliverLocked(entry, EPOLLIN | EPOLLOUT);
        return;
    }
    if (want == 0) {
        if (entry.inEpoll) {
            epoll_event ev{};
            ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, entry.fd, &ev);
            entry.inEpoll = false;
            entry.registered = 0;
        }
        return;
    }
    if (entry.inEpoll && want == entry.registered)
        return;

    epoll_event ev{};
    ev.events = want;
    ev.data.u64 = entry.id;
    int op = entry.inEpoll ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    int rc = ::epoll_ctl(epollFd_, op, entry.fd, &ev);
    if (rc != 0 && op == EPOLL_CTL_MOD && errno == ENOENT)
        rc = ::epoll_ctl(epollFd_, op = EPOLL_CTL_ADD, entry.fd, &ev);
    else if (rc != 0 && op == EPOLL_CTL_ADD && errno == EEXIST)
        rc = ::epoll_ctl(epollFd_, op = EPOLL_CTL_MOD, entry.fd, &ev);
    if (rc != 0) {
        if (errno == EPERM) { // not pollable (regular file): always ready
            entry.alwaysReady = true;
            entry.inEpoll = false;
            deliverLocked(entry, EPOLLIN | EPOLLOUT);
        } else {
            std::fprintf(stderr, "platform dispatch: epoll_ctl(fd %d) failed: %s\n", entry.fd,
                         std::strerror(errno));
            entry.inEpoll = false;
        }
        return;
    }
    entry.inEpoll = true;
    entry.registered = want;
}

void Reactor::deliverLocked(Entry& entry, std::uint32_t events) {
    // readyLocked never attaches or detaches, so the vector is stable here.
    for (const auto& source : entry.sources)
        source->readyLocked(events, entry.alwaysReady);
}

void Reactor::loop() {
    constexpr int kMaxEvents = 64;
    epoll_event events[kMaxEvents];
    for (;;) {
        const int n = ::epoll_wait(epollFd_, events, kMaxEvents, -1);
        if (n < 0) {
            if (errno != EINTR) {
                std::fprintf(stderr, "platform dispatch: epoll_wait failed: %s\n", std::strerror(errno));
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            continue;
        }
        deliverEvents(events, n);
    }
}

void Reactor::deliverEvents(const epoll_event* events, int count) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < count; ++i) {
        if (events[i].data.u64 == kWakeId && wakeFd_ >= 0) {
            std::uint64_t wakes = 0;
            while (::read(wakeFd_, &wakes, sizeof wakes) < 0 && errno == EINTR) {
            }
            continue;
        }
        auto it = byId_.find(events[i].data.u64);
        if (it == byId_.end())
            continue; // registration gone (cancelled): the event reaches nobody
        Entry& entry = *it->second;
        deliverLocked(entry, events[i].events);
        updateLocked(entry); // delivered sources are now disarmed
    }
}

// ---- FdSource -----------------------------------------------------------------------------------

FdSource::FdSource(int fd, Type type, DispatchQueuePtr queue, std::shared_ptr<Reactor> reactor)
    : SourceCore(std::move(queue)), fd_(fd), type_(type), reactor_(std::move(reactor)) {
    int socketType = 0;
    socklen_t length = sizeof socketType;
    if (fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &socketType, &length) == 0)
        socketType_ = socketType;
}

std::mutex& FdSource::stateMutex() const {
    return reactor_ ? reactor_->mutex() : Reactor::instance().mutex();
}

void FdSource::updateArmLocked() {
    if (!entry_)
        return;
    Reactor& reactor = reactor_ ? *reactor_ : Reactor::instance();
    if (cancelled_) {
        Reactor::Entry* entry = entry_;
        entry_ = nullptr;
        reactor.detachLocked(this, entry);
        return;
    }
    reactor.updateLocked(*entry_);
}

void FdSource::readyLocked(std::uint32_t events, bool alwaysReady) {
    if (!armedLocked())
        return;
    const std::uint32_t mask =
        type_ == Type::read ? (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR) : (EPOLLOUT | EPOLLHUP | EPOLLERR);
    if (!(events & mask))
        return;
    std::size_t value = 0;
    if (!measure(value, alwaysReady))
        return; // no longer ready (someone read in between): stay armed, epoll tells us again
    data_.store(value);
    postEventLocked();
}

bool FdSource::measure(std::size_t& value, bool alwaysReady) const {
    if (type_ == Type::read) {
        int available = 0;
        if (::ioctl(fd_, FIONREAD, &available) != 0) {
            value = 1; // e.g. a listening socket: at least one connection waits
            return true;
        }
        if (available > 0) {
            value = static_cast<std::size_t>(available);
            return true;
        }
        const std::size_t readyButEmpty =
            socketType_ == SOCK_DGRAM ? 1 : 0; // an empty datagram is no end of stream
        if (alwaysReady) {
            value = readyButEmpty;
            return true;
        }
        pollfd p{fd_, static_cast<short>(POLLIN | POLLRDHUP), 0};
        const int rc = ::poll(&p, 1, 0);
        if (rc < 0 || (p.revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR | POLLNVAL))) {
            value = readyButEmpty; // end of stream (or an error the reader will see)
            return true;
        }
        return false;
    }
    // Write: an estimate of the room left in the send buffer (at least 1 when writable).
    long room = 0;
    if (socketType_ != 0) {
        int sendBuffer = 0;
        socklen_t length = sizeof sendBuffer;
        int queued = 0;
        if (::getsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &sendBuffer, &length) == 0) {
            if (::ioctl(fd_, TIOCOUTQ, &queued) != 0)
                queued = 0;
            room = static_cast<long>(sendBuffer) - queued;
        }
    } else {
        const int pipeSize = ::fcntl(fd_, F_GETPIPE_SZ);
        if (pipeSize > 0) {
            int queued = 0;
            if (::ioctl(fd_, FIONREAD, &queued) != 0)
                queued = 0;
            room = static_cast<long>(pipeSize) - queued;
        } else {
            room = 65536;
        }
    }
    value = static_cast<std::size_t>(std::max(1L, room));
    return true;
}

std::shared_ptr<DispatchSource> makeFdSource(int fd, DispatchSource::Type type, DispatchQueuePtr queue) {
    if (!queue)
        fatal("DispatchSource without a queue");
    std::shared_ptr<Reactor> own = Reactor::forQueue(queue);
    Reactor& reactor = own ? *own : Reactor::instance();
    auto source = std::make_shared<FdSource>(fd, type, std::move(queue), std::move(own));
    std::lock_guard lock(reactor.mutex());
    source->setEntryLocked(reactor.attachLocked(source, fd));
    return source;
}

} // namespace detail

std::shared_ptr<DispatchSource> DispatchSource::makeRead(int fd, DispatchQueuePtr queue) {
    return detail::makeFdSource(fd, Type::read, std::move(queue));
}

std::shared_ptr<DispatchSource> DispatchSource::makeWrite(int fd, DispatchQueuePtr queue) {
    return detail::makeFdSource(fd, Type::write, std::move(queue));
}

} // namespace platform
