// Core headers first: Qt's `emit` keyword macro must not reach them.
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/MixerModel.h"

#include "Sonavant/windows/MixerWindow.h"
#include "Sonavant/windows/MixerWindowController.h"

MixerWindowController& MixerWindowController::shared() {
    // Never destroyed: its window may not outlive the application object.
    static auto* controller = new MixerWindowController();
    return *controller;
}

void MixerWindowController::show(ContentView& view) {
    show(MixerModel::inputsOf(view), view.userDefaults);
}

void MixerWindowController::show(MixerInputs inputs, platform::UserDefaults* defaults) {
    if (isOpen()) {
        window_->raise();
        window_->activateWindow();
        return;
    }
    if (window_)
        window_->deleteLater();
    window_ = new MixerWindow(std::move(inputs), defaults);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void MixerWindowController::close() {
    if (isOpen())
        window_->close();
}

bool MixerWindowController::isOpen() const {
    return window_ && window_->isVisible();
}
