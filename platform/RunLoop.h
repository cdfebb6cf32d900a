#pragma once
// The main thread's run loop: it services the main dispatch queue and the run-loop
// timers. In the application Qt's event loop drives it (platform/qt); in tests the test
// drives it with runUntil/runFor, optionally on fake time.

#include "platform/Dispatch.h"

#include <chrono>
#include <functional>
#include <memory>

namespace platform {

class RunLoopTimer;
using RunLoopTimerPtr = std::shared_ptr<RunLoopTimer>;

class MainRunLoop {
public:
    // Makes the calling thread the main thread. Done once at start (the first call wins);
    // a test program's main thread calls it through the test fixture or lazily. Until a thread
    // is adopted, the process's initial thread counts as main, and the first driving call
    // (runOnce, runUntil, runFor, advance) adopts its thread. Driving from another thread aborts.
    static void adoptCurrentThread();
    static bool isMainThread();

    // Seconds on the loop's clock: monotonic, or fake time when enabled.
    static double now();

    // Headless driving (main thread only). Runs due main-queue blocks and timers.
    static void runOnce();
    // Runs until pred() holds or the deadline passes (real time); returns pred().
    static bool runUntil(const std::function<bool()>& pred, Duration timeout);
    static void runFor(Duration duration);

    // Fake time: timers follow `advance` instead of the monotonic clock. It starts at the
    // real clock's value; runUntil/runFor still wait in real time but never move fake time.
    // Run-loop timers, main-queue asyncAfter and DispatchTimers on the main queue follow it.
    static void useFakeTime(bool on);
    // Runs everything that falls due, in time order, with now() at each deadline, and the
    // main-queue blocks they queue; without fake time it is runFor(by).
    static void advance(Duration by);

    // The backend that wakes the loop when work arrives (Qt installs one); null = headless.
    class Waker {
    public:
        virtual ~Waker() = default;
        virtual void wake() = 0;                                // any thread: main-queue work is pending
        virtual void scheduleAt(double secondsOnLoopClock) = 0; // main thread: next timer deadline
    };
    static void setWaker(Waker* waker);
    // Seconds until the next due timer (0 when work is pending), or negative when none.
    static double nextDeadline();
};

// A timer on the main run loop; fires on the main thread. The loop keeps it until invalidated.
class RunLoopTimer : public std::enable_shared_from_this<RunLoopTimer> {
public:
    static RunLoopTimerPtr scheduled(Duration interval, bool repeats,
                                     std::function<void(RunLoopTimer&)> block);
    virtual ~RunLoopTimer() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
    virtual void fire() = 0; // fires now, as if due
};

} // namespace platform
