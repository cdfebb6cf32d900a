#include "platform/qt/QtMainRunLoop.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace platform {
namespace {
QtMainRunLoop* current = nullptr; // main thread only
}

QtMainRunLoop* QtMainRunLoop::install() {
    if (current)
        return current;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        std::fprintf(stderr, "QtMainRunLoop::install() needs a QApplication\n");
        std::abort();
    }
    MainRunLoop::adoptCurrentThread();
    current = new QtMainRunLoop(app);
    MainRunLoop::setWaker(current); // wakes at once when work is already waiting
    return current;
}

QtMainRunLoop* QtMainRunLoop::installed() {
    return current;
}

QtMainRunLoop::QtMainRunLoop(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { service(); });
}

QtMainRunLoop::~QtMainRunLoop() {
    MainRunLoop::setWaker(nullptr); // waits for a wake() in progress on another thread
    if (current == this)
        current = nullptr;
}

void QtMainRunLoop::wake() {
    // Any thread. One queued invocation at a time; events queued to a deleted object are dropped.
    if (!wakePending_.exchange(true))
        QMetaObject::invokeMethod(
            this, [this] { service(); }, Qt::QueuedConnection);
}

void QtMainRunLoop::scheduleAt(double secondsOnLoopClock) {
    const double delay = secondsOnLoopClock - MainRunLoop::now();
    const double ms = std::ceil(std::max(0.0, delay) * 1000.0);
    const int interval =
        ms > std::numeric_limits<int>::max() / 2 ? std::numeric_limits<int>::max() / 2 : static_cast<int>(ms);
    timer_.start(interval);
}

void QtMainRunLoop::service() {
    wakePending_.store(false);
    MainRunLoop::runOnce(); // runs blocks and due timers, then tells us what comes next
}

} // namespace platform
