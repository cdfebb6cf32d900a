#pragma once
// The epoll reactor behind every DispatchSource (read and write readiness of file
// descriptors). Internal to platform/. One shared reactor has a thread of its own; a serial
// queue made with a thread of its own has a private one, which that thread waits on between
// blocks, so its sources' events need no second thread's wake.
//
// - One epoll registration per descriptor combines the interests of every armed source on it
//   (a read and a write source on one socket coexist).
// - Level-triggered like GCD, but never re-entrant: a source whose event is queued or running
//   is disarmed; it is re-armed when its handler returns, and fires again while still ready.
// - Each registration carries a unique id in the epoll data, never the descriptor number, and
//   cancel removes the source under the reactor's lock; so an event read by epoll_wait before
//   a cancel, or for a recycled descriptor number, reaches nobody.
// - Descriptors epoll refuses (regular files) count as always ready, as in GCD.

#include "platform/DispatchInternal.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

struct epoll_event;

namespace platform::detail {

class FdSource;

class Reactor {
public:
    // The shared reactor, with its thread.
    static Reactor& instance();
    // A reactor whose owner waits in waitAndDeliver.
    static std::shared_ptr<Reactor> makeUnthreaded();
    // The reactor serving sources that target `queue`.
    static std::shared_ptr<Reactor> forQueue(const DispatchQueuePtr& queue);
    ~Reactor();
    Reactor(const Reactor&) = delete;
    Reactor& operator=(const Reactor&) = delete;

    // Unthreaded: blocks until an event or a wake, delivering what epoll reported.
    void waitAndDeliver();
    // Unthreaded: ends the current or next waitAndDeliver early.
    void wake();

    std::mutex& mutex() { return mutex_; }

    struct Entry {
        int fd = -1;
        std::uint64_t id = 0;
        std::vector<std::shared_ptr<FdSource>> sources; // strong: a source lives until cancelled
        std::uint32_t registered = 0;                   // events currently asked of epoll
        bool inEpoll = false;
        bool alwaysReady = false; // epoll refused the descriptor (EPERM): regular file
    };

    // Locked: the caller holds mutex().
    Entry* attachLocked(const std::shared_ptr<FdSource>& source, int fd);
    void detachLocked(FdSource* source, Entry* entry);
    void updateLocked(Entry& entry);

private:
    explicit Reactor(bool threaded);
    void loop();
    void deliverEvents(const ::epoll_event* events, int count);
    void deliverLocked(Entry& entry, std::uint32_t events);

    std::mutex mutex_;
    int epollFd_ = -1;
    int wakeFd_ = -1;          // unthreaded: an eventfd registered under kWakeId
    std::uint64_t nextId_ = 1; // 0 is kWakeId
    std::unordered_map<int, Entry*> byFd_;
    std::unordered_map<std::uint64_t, Entry*> byId_;
};

class FdSource final : public DispatchSource, public SourceCore {
public:
    FdSource(int fd, Type type, DispatchQueuePtr queue, std::shared_ptr<Reactor> reactor);

    void setEventHandler(std::function<void()> handler) override { setEventHandlerImpl(std::move(handler)); }
    void setCancelHandler(std::function<void()> handler) override {
        setCancelHandlerImpl(std::move(handler));
    }
    void resume() override { resumeImpl(); }
    void suspend() override { suspendImpl(); }
    void cancel() override { cancelImpl(); }
    bool isCancelled() const override { return isCancelledImpl(); }
    int fd() const override { return fd_; }
    Type type() const override { return type_; }
    std::size_t data() const override { return data_.load(); }

    // Reactor side (reactor mutex held).
    bool armedForEpoll() const { return armedLocked(); }
    // Epoll reported `events`: measure the data and queue the handler when armed and ready.
    void readyLocked(std::uint32_t events, bool alwaysReady);
    void setEntryLocked(Reactor::Entry* entry) { entry_ = entry; }

private:
    std::mutex& stateMutex() const override;
    void updateArmLocked() override;
    // The data value now; false when the descriptor turned out not to be ready after all.
    bool measure(std::size_t& value, bool alwaysReady) const;

    const int fd_;
    const Type type_;
    int socketType_ = 0; // SOCK_STREAM, SOCK_DGRAM, ... or 0 when not a socket
    std::atomic<std::size_t> data_{0};
    const std::shared_ptr<Reactor> reactor_; // null: the shared one
    Reactor::Entry* entry_ = nullptr;        // while attached
};

} // namespace platform::detail
