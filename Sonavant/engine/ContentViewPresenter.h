#pragma once
// The windows and dialogues the main view opens but does not draw. The GUI implements it;
// without one (headless) the requests are dropped. Main thread only.

class ContentView;

class ContentViewPresenter {
public:
    virtual ~ContentViewPresenter() = default;

    // Opens the mixer window for the selected source, or brings the open one to the front.
    virtual void showMixerWindow(ContentView& view) = 0;
    // Checks that fade cues can be made for the selected path cue (alerting the operator
    // when not) and starts making them.
    virtual void generateFadeCues(ContentView& view) = 0;
};
