#include "Sonavant/windows/GroupsWindowHolder.h"

#include "Sonavant/windows/GroupsWindow.h"

#include <QGuiApplication>
#include <QScreen>

GroupsWindowHolder& GroupsWindowHolder::shared() {
    static auto* holder = new GroupsWindowHolder;
    return *holder;
}

void GroupsWindowHolder::show(ContentView& view) {
    if (!window_ || &window_->view() != &view) {
        window_ = std::make_unique<GroupsWindow>(view);
        if (QScreen* screen = QGuiApplication::primaryScreen())
            window_->move(screen->availableGeometry().center() - window_->rect().center());
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void GroupsWindowHolder::reset() {
    window_.reset();
}
