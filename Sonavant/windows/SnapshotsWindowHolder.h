#pragma once
// The one snapshots window of the process. While it is visible a request brings it to the
// front; once closed, the next request builds a fresh one (the selection lives in the main
// view and survives).

#include <memory>

class ContentView;
class SnapshotsWindow;

class SnapshotsWindowHolder {
public:
    static SnapshotsWindowHolder& shared();
    void show(ContentView& view);
    SnapshotsWindow* window() const { return window_.get(); }
    // Drops the window (the view it works on is going).
    void reset();

private:
    std::unique_ptr<SnapshotsWindow> window_;
};
