#pragma once
// Internals shared by Dispatch.cpp, Reactor.cpp and RunLoop.cpp. Not a public header.

#include "platform/Dispatch.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace platform::detail {

// ---- Execution context -------------------------------------------------------------------
// Each thread keeps a stack of the queues whose blocks it is running (a nested `sync` pushes
// the inner queue). Frames live on the C++ stack, so nothing needs destruction at exit.
struct QueueFrame {
    const DispatchQueue* queue;
    QueueFrame* previous;
};

class ScopedQueueFrame {
public:
    explicit ScopedQueueFrame(const DispatchQueue* queue);
    ~ScopedQueueFrame();
    ScopedQueueFrame(const ScopedQueueFrame&) = delete;
    ScopedQueueFrame& operator=(const ScopedQueueFrame&) = delete;

private:
    QueueFrame frame_;
};

// True when `queue` is anywhere on the calling thread's stack.
bool threadRunsQueue(const DispatchQueue* queue);
// The innermost queue of the calling thread (the main queue on the main thread outside any block).
const DispatchQueue* innermostQueue();

[[noreturn]] void fatal(const char* message);

// ---- Clocks and deadlines ----------------------------------------------------------------
// A deadline service: callbacks run once at (or after) a deadline in nanoseconds of the
// service's own clock. Real time: one shared timer thread. Main queue: the main run loop's
// clock (fake time aware); those callbacks run on the main thread.
class DeadlineService {
public:
    virtual ~DeadlineService() = default;
    virtual std::int64_t nowNs() = 0;
    virtual std::uint64_t add(std::int64_t deadlineNs, std::function<void()> fn) = 0;
    virtual void remove(std::uint64_t id) = 0;
};

DeadlineService& realTimeService();
DeadlineService& mainLoopService();
// The service that schedules delays for blocks bound to `queue`.
DeadlineService& serviceFor(const DispatchQueue& queue);

std::int64_t steadyNowNs();

// ---- Main run loop hooks (RunLoop.cpp) -----------------------------------------------------
void mainQueuePush(std::function<void()> block);

// ---- Sources -----------------------------------------------------------------------------
// The shared life cycle of timers and descriptor sources. Subclasses guard the state below
// with stateMutex(), arm and disarm their trigger in updateArmLocked(), and may keep events
// that arrived while the source could not take them (hasPendingLocked).
class SourceCore : public std::enable_shared_from_this<SourceCore> {
public:
    explicit SourceCore(DispatchQueuePtr queue) : queue_(std::move(queue)) {}
    virtual ~SourceCore() = default;

    void setEventHandlerImpl(std::function<void()> handler);
    void setCancelHandlerImpl(std::function<void()> handler);
    void resumeImpl();
    void suspendImpl();
    void cancelImpl();
    bool isCancelledImpl() const { return cancelledFlag_.load(); }

protected:
    virtual std::mutex& stateMutex() const = 0;
    virtual void updateArmLocked() = 0;
    virtual bool hasPendingLocked() const { return false; }
    virtual void consumePendingLocked() {}
    // An event was queued but the source got suspended before it ran: keep it for resume.
    virtual void keepPendingLocked() {}

    bool armedLocked() const { return suspendCount_ == 0 && !cancelled_ && !inFlight_; }
    // An event is due: queue the handler on the target queue (state mutex held).
    void postEventLocked();

    DispatchQueuePtr queue_;
    int suspendCount_ = 1; // created suspended
    bool cancelled_ = false;
    bool inFlight_ = false; // an event is queued on, or running on, the target queue
    bool cancelPosted_ = false;
    std::atomic<bool> cancelledFlag_{false};

private:
    void runEvent();
    void postCancelLocked();

    mutable std::mutex handlerMutex_;
    std::shared_ptr<std::function<void()>> eventHandler_;
    std::shared_ptr<std::function<void()>> cancelHandler_;
    bool cancelHandlerRan_ = false;
};

} // namespace platform::detail
