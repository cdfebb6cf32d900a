#pragma once
// The one mixer window of the process. `show` brings an open window to the front, or builds
// a fresh window (with no remembered fader values) when none is open; a closed window is
// never shown again. The Qt presenter's showMixerWindow and closeMixerWindow call it.
// Main thread only.

#include <QPointer>

class ContentView;
struct MixerInputs;
class MixerWindow;
namespace platform {
class UserDefaults;
}

class MixerWindowController {
public:
    static MixerWindowController& shared();

    // For the main view's show state, desk address and port, outlet and save action (which
    // does nothing once the view is gone).
    void show(ContentView& view);
    void show(MixerInputs inputs, platform::UserDefaults* defaults = nullptr);
    // Closes the open window (nothing when none is open).
    void close();

    bool isOpen() const;
    // The window last built, open or closed; null before the first opening.
    MixerWindow* window() const { return window_; }

private:
    MixerWindowController() = default;
    QPointer<MixerWindow> window_;
};
