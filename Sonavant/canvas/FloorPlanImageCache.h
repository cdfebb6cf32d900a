#pragma once
// The floor plan's picture, read once per file version instead of at every repaint. Reading
// never happens on the caller's thread: a repaint asks for the picture and draws whatever is
// ready (nothing the first time, or while the file is missing or not an image); the file is
// read on a worker thread and `changed` announces the result. The file's modification time
// and size are looked at again, also off the caller's thread, at most once per recheck
// interval, so a floor plan replaced on disk comes back in its new form.

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QString>

#include <memory>

class FloorPlanImageCache : public QObject {
    Q_OBJECT
public:
    struct Picture {
        QImage image;       // may hold fewer pixels than the file, for a huge image
        QSizeF naturalSize; // the file's own size, one point per pixel
    };

    // Larger images are read scaled down to about this many pixels; they still draw at their
    // own size, only less sharp.
    static constexpr qint64 defaultMaximumPixels = 32LL * 1024 * 1024;

    explicit FloorPlanImageCache(QObject* parent = nullptr);
    ~FloorPlanImageCache() override;

    // The picture of `path` as last read; null while none is ready. Never waits.
    const Picture* picture(const QString& path);
    void setRecheckInterval(int milliseconds) { recheckInterval_ = milliseconds; }
    void setMaximumPixels(qint64 pixels) { maximumPixels_ = pixels; }

signals:
    // A read finished with a different result than before: repaint.
    void changed();

public:
    // What a read on the worker thread found.
    struct Result {
        quint64 generation = 0;
        bool exists = false;
        QDateTime modified;
        qint64 size = -1;
        bool unchanged = false; // same version as the one already held: nothing decoded
        std::shared_ptr<const Picture> picture;
    };

private:
    struct Relay;
    void startRead();
    void deliver(const Result& result);

    std::shared_ptr<Relay> relay_;
    QString path_;
    quint64 generation_ = 0;
    bool reading_ = false;
    bool known_ = false; // a read of this path finished
    bool exists_ = false;
    QDateTime modified_;
    qint64 size_ = -1;
    std::shared_ptr<const Picture> picture_;
    qint64 lastRead_ = 0; // ms on the monotonic clock when the last read was started
    int recheckInterval_ = 1000;
    qint64 maximumPixels_ = defaultMaximumPixels;
};
