#include "Sonavant/windows/SnapshotsWindowHolder.h"

#include "Sonavant/windows/SnapshotsWindow.h"

#include <QGuiApplication>
#include <QScreen>

SnapshotsWindowHolder& SnapshotsWindowHolder::shared() {
    static auto* holder = new SnapshotsWindowHolder;
    return *holder;
}

void SnapshotsWindowHolder::show(ContentView& view) {
    if (window_ && window_->isVisible()) {
        window_->raise();
        window_->activateWindow();
        return;
    }
    window_ = std::make_unique<SnapshotsWindow>(view);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window_->move(screen->availableGeometry().center() - window_->rect().center());
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void SnapshotsWindowHolder::reset() {
    window_.reset();
}
