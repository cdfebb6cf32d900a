#pragma once
// The one epoll reactor thread behind every DispatchSource (read and write readiness of
// file descriptors). Internal to platform/.
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

namespace platform::detail {

class FdSource;

class Reactor {
public:
    static Reactor& instance();

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
    Reactor();
    void loop();
    void deliverLocked(Entry& entry, std::uint32_t events);

    std::mutex mutex_;
    int epollFd_ = -1;
    std::uint64_t nextId_ = 1;
    std::unordered_map<int, Entry*> byFd_;
    std::unordered_map<std::uint64_t, Entry*> byId_;
};

class FdSource final : public DispatchSource, public SourceCore {
public:
    FdSource(int fd, Type type, DispatchQueuePtr queue);

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
    Reactor::Entry* entry_ = nullptr; // while attached
};

} // namespace platform::detail
