#include "Sonavant/windows/SettingsWindowControllerHolder.h"

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/windows/SettingsWindowController.h"

#include <QCoreApplication>

SettingsWindowControllerHolder& SettingsWindowControllerHolder::shared() {
    static SettingsWindowControllerHolder holder;
    return holder;
}

void SettingsWindowControllerHolder::show(std::shared_ptr<AppState> appState,
                                          Binding<std::string> targetDeskIP, Binding<std::string> targetPort,
                                          Binding<bool> showZeroPoint,
                                          std::function<void()> onPanLawChanged) {
    if (windowController_) {
        windowController_->showAndActivate();
        return;
    }
    windowController_ =
        new SettingsWindowController(std::move(appState), std::move(targetDeskIP), std::move(targetPort),
                                     std::move(showZeroPoint), std::move(onPanLawChanged));
    // A window still alive when the application object goes would outlive what it needs;
    // deferred deletions still run as the event loop ends.
    if (auto* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, windowController_.data(),
                         &QObject::deleteLater);
    windowController_->showAndActivate();
}

void SettingsWindowControllerHolder::show(ContentView& view) {
    // The main view watches the pan law itself: the page adds no pass of its own.
    show(view.appState, view.targetDeskIP, view.targetPort, view.showZeroPoint, {});
}

void SettingsWindowControllerHolder::reset() {
    delete windowController_.data();
    windowController_ = nullptr;
}
