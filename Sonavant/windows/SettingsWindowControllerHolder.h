#pragma once
// The one settings window of the process. The first request builds it; every later one
// only brings it forward, with the bindings and pan-law action of the first. Main thread.

#include "Sonavant/engine/Binding.h"

#include <QPointer>

#include <functional>
#include <memory>

class AppState;
class ContentView;
#include "Sonavant/windows/SettingsWindowController.h"

class SettingsWindowControllerHolder {
public:
    static SettingsWindowControllerHolder& shared();

    void show(std::shared_ptr<AppState> appState, Binding<std::string> targetDeskIP,
              Binding<std::string> targetPort, Binding<bool> showZeroPoint,
              std::function<void()> onPanLawChanged);

    // As the main view's settings button opens it: the view's bindings, and every level sent
    // again after a pan-law change.
    void show(ContentView& view);

    // Null until the window was first opened.
    SettingsWindowController* windowController() const { return windowController_; }
    // Deletes the window (at application exit, and between tests).
    void reset();

private:
    QPointer<SettingsWindowController> windowController_;
};
