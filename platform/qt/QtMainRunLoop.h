#pragma once
// The main run loop serviced by Qt's event loop: main-queue blocks and run-loop timers run
// as events of the QApplication. Call QtMainRunLoop::install() once, on the main thread,
// after the QApplication (or QCoreApplication) exists.

#include "platform/RunLoop.h"

#include <QObject>
#include <QTimer>

#include <atomic>

namespace platform {

class QtMainRunLoop final : public QObject, public MainRunLoop::Waker {
public:
    // Adopts the calling thread as the main thread and becomes the loop's waker. The object is
    // owned by the application object and removed with it; later calls return the same object.
    static QtMainRunLoop* install();
    static QtMainRunLoop* installed();

    ~QtMainRunLoop() override;

    void wake() override;
    void scheduleAt(double secondsOnLoopClock) override;

private:
    explicit QtMainRunLoop(QObject* parent);
    void service();

    QTimer timer_;
    std::atomic<bool> wakePending_{false};
};

} // namespace platform
