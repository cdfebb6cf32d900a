#include "Sonavant/canvas/FloorPlanImageCache.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QMetaObject>
#include <QThreadPool>

#include <cmath>
#include <mutex>

// Lets a read that finishes after the cache is gone drop its result instead of reaching a
// destroyed object.
struct FloorPlanImageCache::Relay {
    std::mutex mutex;
    FloorPlanImageCache* target = nullptr;
};

namespace {

// Never destroyed: a read stuck on a dead network share must not hold up the application's exit.
QThreadPool& readers() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(2);
        return p;
    }();
    return *pool;
}

std::shared_ptr<const FloorPlanImageCache::Picture> decode(const QString& path, qint64 maximumPixels) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize natural = reader.size();
    if (natural.isValid() && qint64(natural.width()) * natural.height() > maximumPixels) {
        const double shrink = std::sqrt(double(maximumPixels) / (double(natural.width()) * natural.height()));
        reader.setScaledSize(
            QSize(std::max(1, int(natural.width() * shrink)), std::max(1, int(natural.height() * shrink))));
    }
    QImage image = reader.read();
    if (image.isNull())
        return nullptr;
    auto picture = std::make_shared<FloorPlanImageCache::Picture>();
    // Auto-transform may turn the picture a quarter; its own size turns with it.
    QSizeF size = natural.isValid() ? QSizeF(natural) : QSizeF(image.size());
    if (natural.isValid() && (image.width() > image.height()) != (natural.width() > natural.height()) &&
        image.width() != image.height())
        size.transpose();
    picture->naturalSize = size;
    // The canvas draws it on every repaint: hand over the form the painter draws fastest.
    image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    picture->image = std::move(image);
    return picture;
}

} // namespace

FloorPlanImageCache::FloorPlanImageCache(QObject* parent)
    : QObject(parent), relay_(std::make_shared<Relay>()) {
    relay_->target = this;
}

FloorPlanImageCache::~FloorPlanImageCache() {
    std::lock_guard lock(relay_->mutex);
    relay_->target = nullptr;
}

const FloorPlanImageCache::Picture* FloorPlanImageCache::picture(const QString& path) {
    if (path != path_) {
        path_ = path;
        ++generation_;
        known_ = false;
        exists_ = false;
        modified_ = {};
        size_ = -1;
        picture_.reset();
        reading_ = false; // a read of the old path still running is ignored when it ends
        startRead();
    } else if (!reading_ && QDeadlineTimer::current().deadline() - lastRead_ >= recheckInterval_) {
        startRead();
    }
    return picture_.get();
}

void FloorPlanImageCache::startRead() {
    if (path_.isEmpty())
        return;
    reading_ = true;
    lastRead_ = QDeadlineTimer::current().deadline();
    const QString path = path_;
    const quint64 generation = generation_;
    const bool known = known_ && exists_;
    const QDateTime modified = modified_;
    const qint64 size = size_;
    const qint64 maximumPixels = maximumPixels_;
    std::weak_ptr<Relay> weakRelay = relay_;
    readers().start([=] {
        Result result;
        result.generation = generation;
        QFileInfo info(path);
        // Only plain files: reading a pipe or a device could wait for ever.
        result.exists = info.exists() && info.isFile();
        if (result.exists) {
            result.modified = info.lastModified();
            result.size = info.size();
            result.unchanged = known && result.modified == modified && result.size == size;
            if (!result.unchanged)
                result.picture = decode(path, maximumPixels);
        }
        auto relay = weakRelay.lock();
        if (!relay)
            return;
        std::lock_guard lock(relay->mutex);
        if (auto* target = relay->target)
            QMetaObject::invokeMethod(
                target, [target, result] { target->deliver(result); }, Qt::QueuedConnection);
    });
}

void FloorPlanImageCache::deliver(const Result& result) {
    if (result.generation != generation_)
        return;
    reading_ = false;
    const bool hadPicture = picture_ != nullptr;
    known_ = true;
    exists_ = result.exists;
    modified_ = result.modified;
    size_ = result.size;
    if (result.unchanged)
        return;
    picture_ = result.picture;
    if (hadPicture || picture_)
        emit changed();
}
