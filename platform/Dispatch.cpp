// Dispatch queues on a bounded worker pool, the shared timer thread, dispatch timers and
// the life cycle shared by timers and descriptor sources.
//
// Design notes:
// - One worker pool (WorkerPool.cpp) runs every global-queue block and every serial-queue
//   drain. Threads are created on demand up to a bound and never exit.
// - Every thread started here sets its own priority first (ThreadPriority.h): a new thread
//   would otherwise keep that of whichever thread happened to need it.
// - A serial queue is "owned" by at most one thread at a time: a pool drain or a thread
//   inside `sync`. `sync` onto a serial queue runs the block on the calling thread once the
//   queue reaches it (as libdispatch does), so waiting callers never need a pool thread.
// - Each thread keeps a stack of the queues it runs (frames on the C++ stack); isCurrent()
//   looks through the whole stack, getSpecific reads the innermost queue.
// - Delays: one timer thread (real time) for every queue but the main queue, whose delays and
//   timers follow the main run loop's clock (so fake time drives them in tests).

#include "platform/Dispatch.h"
#include "platform/DispatchInternal.h"
#include "platform/Log.h"
#include "platform/Reactor.h"
#include "platform/RunLoop.h"
#include "platform/ThreadPriority.h"
#include "platform/WorkerPool.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {
namespace detail {

// ---- Context --------------------------------------------------------------------------------

namespace {
thread_local QueueFrame* tlsTop = nullptr;
}

ScopedQueueFrame::ScopedQueueFrame(const DispatchQueue* queue) : frame_{queue, tlsTop} {
    tlsTop = &frame_;
}
ScopedQueueFrame::~ScopedQueueFrame() {
    tlsTop = frame_.previous;
}

bool threadRunsQueue(const DispatchQueue* queue) {
    for (QueueFrame* f = tlsTop; f; f = f->previous)
        if (f->queue == queue)
            return true;
    return false;
}

const DispatchQueue* innermostQueue() {
    if (tlsTop)
        return tlsTop->queue;
    if (MainRunLoop::isMainThread())
        return DispatchQueue::main().get();
    return nullptr;
}

void fatal(const char* message) {
    consoleFlush(); // the console lines that led here
    std::fprintf(stderr, "platform dispatch: %s\n", message);
    std::fflush(stderr);
    std::abort();
}

std::int64_t steadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

// A thread of its own runs at its queue's QoS, some nice steps from the normal value, where
// the system allows it (a higher priority needs a privilege or a nice limit); refused, at
// the normal value, whatever its creator ran at.
void takePriorityOf(QoS qos) {
    static constexpr int niceOffsetOf[kQoSLevels] = {10, 5, 0, -5, -10}; // background … userInteractive
    takeNormalPriority(niceOffsetOf[static_cast<std::size_t>(qos)]);
}

WorkerPool& pool() {
    return sharedPool();
}

// ---- Real-time deadline service (one timer thread) ----------------------------------------

class TimerThread final : public DeadlineService {
public:
    std::int64_t nowNs() override { return steadyNowNs(); }

    std::uint64_t add(std::int64_t deadlineNs, std::function<void()> fn) override {
        std::unique_lock lock(mutex_);
        if (!started_) {
            started_ = true;
            std::thread([this] {
                takeNormalPriority();
                pthread_setname_np(pthread_self(), "dispatch-timer");
                loop();
            }).detach();
        }
        const std::uint64_t id = nextId_++;
        const bool earliest = entries_.empty() || deadlineNs < entries_.begin()->first.first;
        entries_.emplace(std::make_pair(deadlineNs, id), std::move(fn));
        deadlines_.emplace(id, deadlineNs);
        if (earliest)
            cv_.notify_one();
        return id;
    }

    void remove(std::uint64_t id) override {
        std::function<void()> dropped;
        std::unique_lock lock(mutex_);
        auto it = deadlines_.find(id);
        if (it == deadlines_.end())
            return;
        auto entry = entries_.find({it->second, id});
        if (entry != entries_.end()) {
            dropped = std::move(entry->second);
            entries_.erase(entry);
        }
        deadlines_.erase(it);
        lock.unlock();
    }

private:
    void loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (entries_.empty()) {
                cv_.wait(lock);
                continue;
            }
            auto first = entries_.begin();
            const std::int64_t deadline = first->first.first;
            if (deadline <= steadyNowNs()) {
                std::function<void()> fn = std::move(first->second);
                deadlines_.erase(first->first.second);
                entries_.erase(first);
                lock.unlock();
                fn();
                fn = nullptr;
                lock.lock();
                continue;
            }
            cv_.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline)));
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::map<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> entries_;
    std::unordered_map<std::uint64_t, std::int64_t> deadlines_;
    std::uint64_t nextId_ = 1;
    bool started_ = false;
};

// ---- Queues -----------------------------------------------------------------------------------

class QueueImpl : public DispatchQueue {
public:
    QueueImpl(std::string label, QoS qos) : label_(std::move(label)), qos_(qos) {}
    const std::string& label() const override { return label_; }
    QoS qos() const { return qos_; }
    using DispatchQueue::async;
    using DispatchQueue::asyncAfter;

    void asyncAfter(Duration delay, std::function<void()> block) override {
        DeadlineService& service = serviceFor(*this);
        const std::int64_t deadline = service.nowNs() + std::max<std::int64_t>(0, delay.count());
        service.add(deadline, [self = shared_from_this(), block = std::move(block)]() mutable {
            self->async(std::move(block));
        });
    }

    std::shared_ptr<void> specificValue(const void* key) const { return specificRaw(key); }

protected:
    void setSpecificRaw(const void* key, std::shared_ptr<void> value) override {
        std::shared_ptr<void> previous;
        std::lock_guard lock(specificMutex_);
        auto& slot = specifics_[key];
        previous = std::move(slot);
        if (value)
            slot = std::move(value);
        else
            specifics_.erase(key);
    }
    std::shared_ptr<void> specificRaw(const void* key) const override {
        std::lock_guard lock(specificMutex_);
        auto it = specifics_.find(key);
        return it == specifics_.end() ? nullptr : it->second;
    }

private:
    std::string label_;
    QoS qos_;
    mutable std::mutex specificMutex_;
    std::unordered_map<const void*, std::shared_ptr<void>> specifics_;
};

class SerialQueue final : public QueueImpl {
public:
    using DispatchQueue::async;
    using QueueImpl::QueueImpl;
    Kind kind() const override { return Kind::serial; }

    ~SerialQueue() override {
        if (ownThread_)
            ownThread_->stop();
    }

    // From now on drains run on a thread of this queue's own (before any block is queued).
    void takeOwnThread() {
        ownThread_ = std::make_shared<OwnThread>();
        std::weak_ptr<SerialQueue> weak = std::static_pointer_cast<SerialQueue>(shared_from_this());
        std::thread([thread = ownThread_, weak, label = label(), qos = qos()] {
            takePriorityOf(qos);
            pthread_setname_np(pthread_self(), label.substr(0, 15).c_str());
            OwnThread::current = thread.get();
            while (thread->waitForWork())
                if (auto queue = weak.lock())
                    queue->drain();
        }).detach();
    }

    void async(std::function<void()> block) override {
        std::unique_lock lock(mutex_);
        items_.push_back(Item{std::move(block), nullptr});
        if (!owned_) {
            owned_ = true;
            scheduleDrainLocked();
        }
    }

    void sync(const std::function<void()>& block) override {
        if (detail::threadRunsQueue(this))
            fatal(("sync onto serial queue \"" + label() + "\" from a block already running on it (deadlock)")
                      .c_str());
        std::unique_lock lock(mutex_);
        if (!owned_) {
            owned_ = true;
        } else {
            SyncWaiter waiter;
            items_.push_back(Item{nullptr, &waiter});
            lock.unlock();
            pool().enterWait();
            lock.lock();
            waiter.cv.wait(lock, [&] { return waiter.granted; });
            lock.unlock();
            pool().leaveWait();
            lock.lock();
        }
        lock.unlock();
        struct Release {
            SerialQueue* queue;
            ~Release() { queue->releaseOwnership(); }
        } release{this};
        ScopedQueueFrame frame(this);
        block();
    }

    bool isCurrent() const override { return detail::threadRunsQueue(this); }

private:
    struct SyncWaiter {
        std::condition_variable cv;
        bool granted = false;
    };
    struct Item {
        std::function<void()> block;
        SyncWaiter* waiter; // a thread waiting in sync()
    };

    void scheduleDrainLocked() {
        if (ownThread_) {
            ownThread_->wake();
            return;
        }
        pool().submit(qos(),
                      [self = std::static_pointer_cast<SerialQueue>(shared_from_this())] { self->drain(); });
    }

    void releaseOwnership() {
        std::lock_guard lock(mutex_);
        if (items_.empty())
            owned_ = false;
        else
            handOnLocked();
    }

    // The owner gives the queue to its next holder: a waiting sync caller or a pool drain.
    void handOnLocked() {
        if (items_.front().waiter) {
            SyncWaiter* waiter = items_.front().waiter;
            items_.pop_front();
            waiter->granted = true;
            waiter->cv.notify_one();
        } else {
            scheduleDrainLocked();
        }
    }

    void drain() {
        // Then the pool thread is yielded so other queues get a turn. The blocks up to the next
        // waiter are taken out together: one lock for a run of them, not one per block.
        constexpr std::size_t kBatch = 64;
        std::array<std::function<void()>, kBatch> taken;
        ScopedQueueFrame frame(this);
        std::unique_lock lock(mutex_);
        for (std::size_t done = 0;;) {
            if (items_.empty()) {
                owned_ = false;
                return;
            }
            if (items_.front().waiter || done == kBatch) {
                handOnLocked();
                return;
            }
            std::size_t count = 0;
            while (done + count < kBatch && !items_.empty() && !items_.front().waiter) {
                taken[count++] = std::move(items_.front().block);
                items_.pop_front();
            }
            lock.unlock();
            for (std::size_t i = 0; i < count; ++i) {
                taken[i]();
                taken[i] = nullptr;
            }
            done += count;
            lock.lock();
        }
    }

public:
    // The reactor of the thread, for sources that target this queue; null without one.
    std::shared_ptr<Reactor> ownReactor() const { return ownThread_ ? ownThread_->reactor() : nullptr; }

private:
    // The thread of a queue made with makeSerialOnOwnThread; it ends when the queue does.
    // Between blocks it waits on the queue's own reactor, so a descriptor that turns ready
    // wakes this thread alone.
    class OwnThread {
    public:
        void wake() {
            {
                std::lock_guard lock(mutex_);
                due_ = true;
            }
            // The thread itself looks at due_ before it waits again.
            if (current != this)
                reactor_->wake();
        }
        void stop() {
            {
                std::lock_guard lock(mutex_);
                stopped_ = true;
            }
            reactor_->wake();
        }
        // False once the queue is gone.
        bool waitForWork() {
            for (;;) {
                {
                    std::lock_guard lock(mutex_);
                    if (due_ || stopped_) {
                        due_ = false;
                        return !stopped_;
                    }
                }
                reactor_->waitAndDeliver();
            }
        }
        const std::shared_ptr<Reactor>& reactor() const { return reactor_; }

        static thread_local const OwnThread* current;

    private:
        std::mutex mutex_;
        bool due_ = false;
        bool stopped_ = false;
        const std::shared_ptr<Reactor> reactor_ = Reactor::makeUnthreaded();
    };

    std::mutex mutex_;
    std::deque<Item> items_;
    bool owned_ = false; // a drain or a sync caller holds the queue
    std::shared_ptr<OwnThread> ownThread_;
};

thread_local const SerialQueue::OwnThread* SerialQueue::OwnThread::current = nullptr;

class ConcurrentQueue final : public QueueImpl {
public:
    using DispatchQueue::async;
    using QueueImpl::QueueImpl;
    Kind kind() const override { return Kind::concurrent; }

    void async(std::function<void()> block) override {
        pool().submit(qos(), [this, block = std::move(block)] {
            ScopedQueueFrame frame(this);
            block();
        });
    }
    void sync(const std::function<void()>& block) override {
        ScopedQueueFrame frame(this);
        block();
    }
    bool isCurrent() const override { return detail::threadRunsQueue(this); }
};

class MainQueue final : public QueueImpl {
public:
    MainQueue() : QueueImpl("com.apple.main-thread", QoS::userInteractive) {}
    using DispatchQueue::async;
    Kind kind() const override { return Kind::main; }

    void async(std::function<void()> block) override { mainQueuePush(std::move(block)); }

    void sync(const std::function<void()>& block) override {
        if (MainRunLoop::isMainThread())
            fatal("sync onto the main queue from the main thread (deadlock)");
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        mainQueuePush([&] {
            struct Signal {
                std::mutex& m;
                std::condition_variable& cv;
                bool& done;
                ~Signal() {
                    std::lock_guard lock(m);
                    done = true;
                    cv.notify_one();
                }
            } signal{m, cv, done};
            block();
        });
        pool().enterWait();
        {
            std::unique_lock lock(m);
            cv.wait(lock, [&] { return done; });
        }
        pool().leaveWait();
    }

    bool isCurrent() const override { return MainRunLoop::isMainThread(); }
};

const char* globalLabel(QoS qos) {
    switch (qos) {
    case QoS::background:
        return "com.apple.root.background-qos";
    case QoS::utility:
        return "com.apple.root.utility-qos";
    case QoS::defaultQoS:
        return "com.apple.root.default-qos";
    case QoS::userInitiated:
        return "com.apple.root.user-initiated-qos";
    case QoS::userInteractive:
        return "com.apple.root.user-interactive-qos";
    }
    return "com.apple.root.default-qos";
}

// ---- Dispatch timers --------------------------------------------------------------------------

class TimerSource final : public DispatchTimer, public SourceCore {
public:
    explicit TimerSource(DispatchQueuePtr queue)
        : SourceCore(std::move(queue)), service_(serviceFor(*queue_)) {}

    void setEventHandler(std::function<void()> handler) override { setEventHandlerImpl(std::move(handler)); }
    void setCancelHandler(std::function<void()> handler) override {
        setCancelHandlerImpl(std::move(handler));
    }
    void resume() override { resumeImpl(); }
    void suspend() override { suspendImpl(); }
    void cancel() override { cancelImpl(); }
    bool isCancelled() const override { return isCancelledImpl(); }

    void schedule(Duration delay, std::optional<Duration> interval, Duration leeway) override {
        std::lock_guard lock(mutex_);
        if (cancelled_)
            return;
        disarmLocked();
        pendingFires_ = 0;
        deadline_ = service_.nowNs() + std::max<std::int64_t>(0, delay.count());
        interval_ = interval ? std::optional<std::int64_t>(std::max<std::int64_t>(1000, interval->count()))
                             : std::nullopt;
        leeway_ = leeway.count(); // accepted; the timer fires on its deadline, which is within any leeway
        updateArmLocked();
    }

private:
    std::mutex& stateMutex() const override { return mutex_; }
    bool hasPendingLocked() const override { return pendingFires_ > 0; }
    void consumePendingLocked() override { pendingFires_ = 0; }
    void keepPendingLocked() override { pendingFires_ = std::max<std::uint64_t>(pendingFires_, 1); }

    void disarmLocked() {
        if (entryActive_) {
            service_.remove(entryId_);
            entryActive_ = false;
            ++armToken_; // a callback already taken off the service finds a stale token
        }
    }

    void updateArmLocked() override {
        const bool want = suspendCount_ == 0 && !cancelled_ && deadline_ >= 0;
        if (!want) {
            disarmLocked();
            return;
        }
        if (entryActive_)
            return;
        entryActive_ = true;
        // The armed entry keeps the timer alive (as GCD keeps a resumed timer): cancel ends it.
        const std::uint64_t token = ++armToken_;
        entryId_ = service_.add(deadline_, [self = shared_from_this(), token] {
            static_cast<TimerSource*>(self.get())->fired(token);
        });
    }

    void fired(std::uint64_t token) {
        std::lock_guard lock(mutex_);
        if (token != armToken_ || !entryActive_ || cancelled_)
            return;
        entryActive_ = false;
        ++pendingFires_;
        if (interval_) {
            const std::int64_t now = service_.nowNs();
            deadline_ += *interval_;
            if (deadline_ <= now) { // missed fires are counted, not replayed
                const std::int64_t missed = (now - deadline_) / *interval_ + 1;
                pendingFires_ += static_cast<std::uint64_t>(missed);
                deadline_ += missed * *interval_;
            }
        } else {
            deadline_ = -1;
        }
        updateArmLocked();
        if (armedLocked())
            postEventLocked();
    }

    mutable std::mutex mutex_;
    DeadlineService& service_;
    std::int64_t deadline_ = -1;
    std::optional<std::int64_t> interval_;
    std::int64_t leeway_ = 0;
    std::uint64_t armToken_ = 0;
    std::uint64_t entryId_ = 0;
    bool entryActive_ = false;
    std::uint64_t pendingFires_ = 0;
};

} // namespace

DeadlineService& realTimeService() {
    static TimerThread* instance = new TimerThread; // intentionally leaked
    return *instance;
}

DeadlineService& serviceFor(const DispatchQueue& queue) {
    return queue.kind() == DispatchQueue::Kind::main ? mainLoopService() : realTimeService();
}

// ---- Source life cycle ------------------------------------------------------------------------

void SourceCore::setEventHandlerImpl(std::function<void()> handler) {
    auto shared = handler ? std::make_shared<std::function<void()>>(std::move(handler)) : nullptr;
    std::lock_guard lock(handlerMutex_);
    if (!cancelHandlerRan_)
        eventHandler_.swap(shared);
}

void SourceCore::setCancelHandlerImpl(std::function<void()> handler) {
    auto shared = handler ? std::make_shared<std::function<void()>>(std::move(handler)) : nullptr;
    std::lock_guard lock(handlerMutex_);
    if (!cancelHandlerRan_)
        cancelHandler_.swap(shared);
}

void SourceCore::resumeImpl() {
    std::lock_guard lock(stateMutex());
    if (suspendCount_ == 0)
        return; // over-resume: ignored
    if (--suspendCount_ == 0 && !cancelled_ && !inFlight_ && hasPendingLocked())
        postEventLocked();
    updateArmLocked();
}

void SourceCore::suspendImpl() {
    std::lock_guard lock(stateMutex());
    ++suspendCount_;
    updateArmLocked();
}

void SourceCore::cancelImpl() {
    std::lock_guard lock(stateMutex());
    if (cancelled_)
        return;
    cancelled_ = true;
    cancelledFlag_.store(true);
    updateArmLocked();
    if (!inFlight_)
        postCancelLocked();
}

void SourceCore::postEventLocked() {
    inFlight_ = true;
    consumePendingLocked();
    queue_->async([self = shared_from_this()] { self->runEvent(); });
}

void SourceCore::postCancelLocked() {
    if (cancelPosted_)
        return;
    cancelPosted_ = true;
    queue_->async([self = shared_from_this()] {
        std::shared_ptr<std::function<void()>> handler, event;
        {
            std::lock_guard lock(self->handlerMutex_);
            handler = std::move(self->cancelHandler_);
            event = std::move(self->eventHandler_); // released: breaks cycles through captures
            self->cancelHandlerRan_ = true;
        }
        event.reset();
        if (handler && *handler)
            (*handler)();
    });
}

void SourceCore::runEvent() {
    {
        std::lock_guard lock(stateMutex());
        if (cancelled_) {
            inFlight_ = false;
            postCancelLocked();
            return;
        }
        if (suspendCount_ > 0) { // suspended after the event was queued: keep it for resume
            inFlight_ = false;
            keepPendingLocked();
            updateArmLocked();
            return;
        }
    }
    std::shared_ptr<std::function<void()>> handler;
    {
        std::lock_guard lock(handlerMutex_);
        handler = eventHandler_;
    }
    if (handler && *handler)
        (*handler)();
    handler.reset();
    std::lock_guard lock(stateMutex());
    inFlight_ = false;
    if (cancelled_)
        postCancelLocked();
    else if (suspendCount_ == 0 && hasPendingLocked())
        postEventLocked();
    updateArmLocked();
}

} // namespace detail

// ---- Public factories -------------------------------------------------------------------------

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerial(std::string label, QoS qos) {
    return std::make_shared<detail::SerialQueue>(std::move(label), qos);
}

namespace detail {

std::shared_ptr<Reactor> Reactor::forQueue(const DispatchQueuePtr& queue) {
    const auto* serial = dynamic_cast<const SerialQueue*>(queue.get());
    return serial ? serial->ownReactor() : nullptr;
}

} // namespace detail

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerialOnOwnThread(std::string label, QoS qos) {
    auto queue = std::make_shared<detail::SerialQueue>(std::move(label), qos);
    queue->takeOwnThread();
    return queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global(QoS qos) {
    static auto* queues = [] {
        auto* array = new std::array<std::shared_ptr<DispatchQueue>, detail::kQoSLevels>; // leaked
        for (std::size_t i = 0; i < detail::kQoSLevels; ++i) {
            const auto level = static_cast<QoS>(i);
            (*array)[i] = std::make_shared<detail::ConcurrentQueue>(detail::globalLabel(level), level);
        }
        return array;
    }();
    return (*queues)[static_cast<std::size_t>(qos)];
}

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
    static auto* queue = new std::shared_ptr<DispatchQueue>(std::make_shared<detail::MainQueue>()); // leaked
    return *queue;
}

std::shared_ptr<void> DispatchQueue::currentSpecificRaw(const void* key) {
    const DispatchQueue* queue = detail::innermostQueue();
    if (!queue)
        return nullptr;
    return static_cast<const detail::QueueImpl*>(queue)->specificValue(key);
}

std::shared_ptr<DispatchTimer> DispatchTimer::make(DispatchQueuePtr queue) {
    if (!queue)
        detail::fatal("DispatchTimer::make without a queue");
    return std::make_shared<detail::TimerSource>(std::move(queue));
}

} // namespace platform
