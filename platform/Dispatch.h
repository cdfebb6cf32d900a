#pragma once
// Dispatch queues, timers and descriptor sources: serial queues with labels, global
// concurrent queues by priority on a bounded worker pool, the main queue (serviced by the
// main run loop), and read/write sources driven by one epoll reactor thread (or, for a
// queue with a thread of its own, by that thread).
//
// Behaviour worth knowing (implementation: Dispatch.cpp, Reactor.cpp, RunLoop.cpp):
// - The pool makes threads on demand, about one per core; a pool thread waiting in `sync`
//   does not count, so the work it waits for always finds a thread. Blocks that wait for
//   long on anything else tie up a thread each: when no queued work starts for a while,
//   one more thread is made, up to 16 to 64 in all. Serial queues drain on the pool, one
//   block at a time, in order.
// - Every thread started here runs at the main thread's priority, whichever thread made it
//   start (a queue on a thread of its own at its QoS's step from there, where allowed).
// - `sync` onto a serial queue runs the block on the calling thread once the queue reaches it;
//   `sync` onto a concurrent queue runs it at once on the calling thread.
// - The main queue's delays (`asyncAfter`) and DispatchTimers targeting the main queue follow
//   the main run loop's clock, so fake time (MainRunLoop::useFakeTime) drives them too.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

using Duration = std::chrono::nanoseconds;

enum class QoS { background, utility, defaultQoS, userInitiated, userInteractive };

// A block that can be cancelled before it starts; a cancelled item that is dequeued does nothing.
class WorkItem {
public:
    explicit WorkItem(std::function<void()> block) : block_(std::move(block)) {}
    static std::shared_ptr<WorkItem> make(std::function<void()> block) {
        return std::make_shared<WorkItem>(std::move(block));
    }
    void cancel() { cancelled_.store(true); }
    bool isCancelled() const { return cancelled_.load(); }
    void perform() {
        if (!isCancelled())
            block_();
    }

private:
    std::function<void()> block_;
    std::atomic<bool> cancelled_{false};
};

// A key under which a queue keeps one value of its own (see DispatchQueue::setSpecific).
class DispatchSpecificKeyBase {
public:
    DispatchSpecificKeyBase() = default;
    DispatchSpecificKeyBase(const DispatchSpecificKeyBase&) = delete;
    DispatchSpecificKeyBase& operator=(const DispatchSpecificKeyBase&) = delete;
};
template <class T> class DispatchSpecificKey : public DispatchSpecificKeyBase {};

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    enum class Kind { serial, concurrent, main };

    // A new serial queue: blocks run one at a time, in submission order, on pool threads.
    static std::shared_ptr<DispatchQueue> makeSerial(std::string label, QoS qos = QoS::defaultQoS);
    // A serial queue whose blocks run on a thread of its own, for work that must start the
    // moment it is due (reading a socket a sender may flood): a thread that mostly sleeps is
    // run at once when woken, where a pool thread would wait its turn behind busy ones. Its
    // sources' descriptors wake that thread directly, not through the reactor thread.
    static std::shared_ptr<DispatchQueue> makeSerialOnOwnThread(std::string label, QoS qos = QoS::defaultQoS);
    // The process-wide concurrent queue of that priority.
    static std::shared_ptr<DispatchQueue> global(QoS qos = QoS::defaultQoS);
    // The main thread's queue; its blocks run when the main run loop services it.
    static std::shared_ptr<DispatchQueue> main();

    virtual ~DispatchQueue() = default;

    virtual const std::string& label() const = 0;
    virtual Kind kind() const = 0;

    virtual void async(std::function<void()> block) = 0;
    void async(const std::shared_ptr<WorkItem>& item) {
        async([item] { item->perform(); });
    }
    virtual void asyncAfter(Duration delay, std::function<void()> block) = 0;
    void asyncAfter(Duration delay, const std::shared_ptr<WorkItem>& item) {
        asyncAfter(delay, [item] { item->perform(); });
    }
    // Runs the block on this queue and waits for it. Called from a block already running
    // on this serial queue it would deadlock, as in any dispatch system; use isCurrent().
    // That caller error is detected: the process stops with a message, as libdispatch does.
    virtual void sync(const std::function<void()>& block) = 0;
    template <class F> auto syncResult(F&& f) -> decltype(f()) {
        std::optional<decltype(f())> result;
        sync([&] { result.emplace(f()); });
        return std::move(*result);
    }
    // True while the calling thread runs a block of this queue (for the main queue: on the main thread).
    // Within a nested `sync` (a block of A syncs onto B) both A and B are current.
    virtual bool isCurrent() const = 0;

    // Queue-specific values, read back from whatever queue the caller runs on (the innermost
    // queue of a nested `sync`; the main queue on the main thread outside any block; none on a
    // plain thread). Setting a null value removes it.
    template <class T> void setSpecific(const DispatchSpecificKey<T>& key, std::shared_ptr<T> value) {
        setSpecificRaw(&key, std::static_pointer_cast<void>(std::move(value)));
    }
    template <class T> static std::shared_ptr<T> getSpecific(const DispatchSpecificKey<T>& key) {
        return std::static_pointer_cast<T>(currentSpecificRaw(&key));
    }
    template <class T> std::shared_ptr<T> specific(const DispatchSpecificKey<T>& key) const {
        return std::static_pointer_cast<T>(specificRaw(&key));
    }

protected:
    virtual void setSpecificRaw(const void* key, std::shared_ptr<void> value) = 0;
    virtual std::shared_ptr<void> specificRaw(const void* key) const = 0;
    static std::shared_ptr<void> currentSpecificRaw(const void* key);
};

using DispatchQueuePtr = std::shared_ptr<DispatchQueue>;

// Shared shape of timers and descriptor sources: created suspended, handlers run on the
// target queue, cancel is final and its handler runs once after the last event handler.
// - suspend/resume are counted (a new source has count 1); a resume too many is ignored.
// - An event handler never runs concurrently with itself, even on a concurrent queue, and
//   never after cancel() has returned. A suspend also holds an event that is already queued.
// - cancel() completes on a suspended source too (no resume needed; a resume after cancel
//   does nothing). After the cancel handler both handlers are released (breaking cycles).
// - Like GCD, the system keeps a resumed timer and every descriptor source alive until it is
//   cancelled: cancel what you create.
class DispatchSourceBase {
public:
    virtual ~DispatchSourceBase() = default;
    virtual void setEventHandler(std::function<void()> handler) = 0;
    virtual void setCancelHandler(std::function<void()> handler) = 0;
    virtual void resume() = 0;
    virtual void suspend() = 0;
    virtual void cancel() = 0;
    virtual bool isCancelled() const = 0;
};

class DispatchTimer : public DispatchSourceBase {
public:
    static std::shared_ptr<DispatchTimer> make(DispatchQueuePtr queue);
    // First fire after `delay`, then every `interval` when given; `leeway` lets the
    // timer fire that much late (this implementation fires on the deadline). Calling it again
    // replaces the schedule. Fires missed while a handler ran are coalesced into one event.
    virtual void schedule(Duration delay, std::optional<Duration> interval = std::nullopt,
                          Duration leeway = Duration::zero()) = 0;
};

class DispatchSource : public DispatchSourceBase {
public:
    enum class Type { read, write };
    // The descriptor stays the caller's: the source never closes it. Close it in the cancel
    // handler (of the last of the sources on it): after cancel no event handler runs, even if
    // the number is reused.
    static std::shared_ptr<DispatchSource> makeRead(int fd, DispatchQueuePtr queue);
    static std::shared_ptr<DispatchSource> makeWrite(int fd, DispatchQueuePtr queue);
    virtual int fd() const = 0;
    virtual Type type() const = 0;
    // In an event handler: for a read source the bytes available (FIONREAD), for a write
    // source an estimate of the room in the send buffer. Measured when the event is taken.
    // A read event with 0 means end of stream (or an error the next read reports); a
    // datagram socket never reports 0 (an empty datagram is no end of stream); a listening
    // socket reports 1 (accept until it fails). Descriptors epoll refuses (regular files) are
    // always ready.
    virtual std::size_t data() const = 0;
};

using DispatchTimerPtr = std::shared_ptr<DispatchTimer>;
using DispatchSourcePtr = std::shared_ptr<DispatchSource>;

} // namespace platform
