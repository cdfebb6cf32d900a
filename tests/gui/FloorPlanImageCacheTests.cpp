// The floor plan's picture cache: reads off the main thread, follows the file on disk, and
// never leaves the canvas waiting on a file that is missing, not an image, huge or a pipe.

#include "Sonavant/canvas/FloorPlanImageCache.h"
#include "gui/GuiTestMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

bool writeImage(const QString& path, QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image.save(path, "PNG");
}

// Moves the file's modification time, so a rewrite within the same second still counts.
void touchLater(const QString& path, int seconds) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(
        file.setFileTime(QDateTime::currentDateTime().addSecs(seconds), QFileDevice::FileModificationTime));
}

} // namespace

class FloorPlanImageCacheTests : public QObject {
    Q_OBJECT
private slots:
    void readsOnceAndFollowsTheFileOnDisk() {
        QTemporaryDir dir;
        const QString path = dir.filePath("plan.png");
        QVERIFY(writeImage(path, {400, 300}, Qt::darkGreen));
        FloorPlanImageCache cache;
        cache.setRecheckInterval(0);
        QSignalSpy changed(&cache, &FloorPlanImageCache::changed);

        QCOMPARE(cache.picture(path), nullptr); // nothing yet: the read runs elsewhere
        QTRY_VERIFY_WITH_TIMEOUT(cache.picture(path) != nullptr, 5000);
        QCOMPARE(cache.picture(path)->naturalSize, QSizeF(400, 300));
        QCOMPARE(cache.picture(path)->image.pixelColor(10, 10), QColor(Qt::darkGreen));
        QCOMPARE(changed.count(), 1);

        // The same version is not announced again, however often it is asked for.
        const auto* first = cache.picture(path);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(cache.picture(path), first);
            QTest::qWait(5);
        }
        QCOMPARE(changed.count(), 1);

        // Replaced on disk: the new picture comes in.
        QVERIFY(writeImage(path, {200, 500}, Qt::darkBlue));
        touchLater(path, 5);
        QTRY_VERIFY_WITH_TIMEOUT(cache.picture(path) && cache.picture(path)->naturalSize == QSizeF(200, 500),
                                 5000);
        // Deleted: nothing is drawn any more.
        QVERIFY(QFile::remove(path));
        QTRY_VERIFY_WITH_TIMEOUT(cache.picture(path) == nullptr, 5000);
        QVERIFY(changed.count() >= 3);
    }

    void missingBrokenHugeAndPipeFilesNeverHoldTheCanvas() {
        QTemporaryDir dir;
        FloorPlanImageCache cache;
        cache.setRecheckInterval(0);

        // A pipe nobody writes to would block a reader for ever: it is passed over.
        const QString pipe = dir.filePath("pipe.png");
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(cache.picture(pipe), nullptr);
            QTest::qWait(10);
        }
        QVERIFY(clock.elapsed() < 5000);

        const QString missing = dir.filePath("gone.png");
        const QString text = dir.filePath("notes.png");
        {
            QFile file(text);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("this is not an image");
        }
        for (const auto& path : {missing, text}) {
            QCOMPARE(cache.picture(path), nullptr);
            QTest::qWait(50);
            QCOMPARE(cache.picture(path), nullptr);
        }

        // A huge image is read with fewer pixels and still draws at its own size.
        const QString big = dir.filePath("big.png");
        QVERIFY(writeImage(big, {800, 600}, Qt::red));
        cache.setMaximumPixels(10000);
        QTRY_VERIFY_WITH_TIMEOUT(cache.picture(big) != nullptr, 5000);
        QCOMPARE(cache.picture(big)->naturalSize, QSizeF(800, 600));
        QVERIFY(qint64(cache.picture(big)->image.width()) * cache.picture(big)->image.height() <= 10000);

        // A file that appears later is picked up.
        QVERIFY(writeImage(missing, {50, 40}, Qt::white));
        QTRY_VERIFY_WITH_TIMEOUT(cache.picture(missing) != nullptr, 5000);
    }

    void aCacheGoneBeforeItsReadEndsIsLeftAlone() {
        QTemporaryDir dir;
        const QString path = dir.filePath("plan.png");
        QVERIFY(writeImage(path, {3000, 2000}, Qt::gray));
        for (int i = 0; i < 5; ++i) {
            auto cache = std::make_unique<FloorPlanImageCache>();
            QCOMPARE(cache->picture(path), nullptr);
        }
        // Their late results are dropped while this one's arrives.
        FloorPlanImageCache cache;
        QTRY_VERIFY_WITH_TIMEOUT(cache.picture(path) != nullptr, 5000);
    }
};

SONAVANT_GUI_TEST_MAIN(FloorPlanImageCacheTests)
#include "FloorPlanImageCacheTests.moc"
