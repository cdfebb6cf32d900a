// The Qt backend of the main run loop: QApplication's event loop services the main queue,
// run-loop timers and dispatch timers on the main queue.
#include "platform/Dispatch.h"
#include "platform/RunLoop.h"
#include "platform/qt/QtMainRunLoop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;

class QtMainRunLoopTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(QtMainRunLoop::install() != nullptr);
        QCOMPARE(QtMainRunLoop::install(), QtMainRunLoop::installed());
        QVERIFY(MainRunLoop::isMainThread());
    }

    void mainQueueBlocksFromOtherThreadsRunInQtsLoop() {
        std::vector<int> order; // main thread only
        bool onMain = true;
        std::thread producer([&] {
            for (int i = 0; i < 50; ++i)
                DispatchQueue::main()->async([&, i] {
                    onMain =
                        onMain && MainRunLoop::isMainThread() && QThread::currentThread() == qApp->thread();
                    order.push_back(i);
                });
        });
        producer.join();
        // Only Qt's event loop runs here: QTRY_ processes events until the condition holds.
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t(50), 10000);
        QVERIFY(onMain);
        for (int i = 0; i < 50; ++i)
            QCOMPARE(order[std::size_t(i)], i);
    }

    void blocksRunInsideAnEventLoopExec() {
        QEventLoop loop;
        bool ran = false;
        DispatchQueue::global()->async([&] {
            DispatchQueue::main()->async([&] {
                ran = true;
                loop.quit();
            });
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit); // deadline
        loop.exec();
        QVERIFY(ran);
    }

    void runLoopTimersFireOnQtsLoop() {
        int repeats = 0;
        auto repeating = RunLoopTimer::scheduled(10ms, true, [&](RunLoopTimer& t) {
            if (++repeats == 3)
                t.invalidate();
        });
        int once = 0;
        auto oneShot = RunLoopTimer::scheduled(30ms, false, [&](RunLoopTimer&) { ++once; });
        QTRY_VERIFY_WITH_TIMEOUT(repeats == 3 && once == 1, 10000);
        QTest::qWait(50);
        QCOMPARE(repeats, 3);
        QCOMPARE(once, 1);
        QVERIFY(!repeating->isValid());
    }

    void timerScheduledFromAnotherThreadWakesTheLoop() {
        bool fired = false;
        std::thread([&] {
            RunLoopTimer::scheduled(20ms, false, [&](RunLoopTimer&) { fired = MainRunLoop::isMainThread(); });
        }).join();
        QTRY_VERIFY_WITH_TIMEOUT(fired, 10000);
    }

    void delaysAndDispatchTimersOnTheMainQueue() {
        QElapsedTimer clock;
        clock.start();
        qint64 afterAt = -1;
        DispatchQueue::main()->asyncAfter(40ms, [&] { afterAt = clock.elapsed(); });
        int ticks = 0;
        bool cancelled = false;
        auto timer = DispatchTimer::make(DispatchQueue::main());
        timer->setEventHandler([&] {
            if (++ticks == 4)
                timer->cancel();
        });
        timer->setCancelHandler([&] { cancelled = true; });
        timer->schedule(5ms, 5ms, 1ms);
        timer->resume();
        QTRY_VERIFY_WITH_TIMEOUT(afterAt >= 0 && cancelled, 10000);
        QVERIFY(afterAt >= 39); // never early
        QCOMPARE(ticks, 4);
    }

    void syncOntoTheMainQueueFromAWorker() {
        std::atomic<int> result{0};
        DispatchQueue::global()->async([&] {
            result = DispatchQueue::main()->syncResult([] { return MainRunLoop::isMainThread() ? 1 : -1; });
        });
        QTRY_COMPARE_WITH_TIMEOUT(result.load(), 1, 10000);
    }
};

QTEST_MAIN(QtMainRunLoopTests)
#include "QtMainRunLoopTests.moc"
