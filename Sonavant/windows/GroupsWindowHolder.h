#pragma once
// The one groups window of the process: made on the first request and brought forward on
// every later one, also after the operator closed it, so its highlight and a rename in
// progress survive.

#include <memory>

class ContentView;
class GroupsWindow;

class GroupsWindowHolder {
public:
    static GroupsWindowHolder& shared();
    void show(ContentView& view);
    GroupsWindow* window() const { return window_.get(); }
    // Drops the window (the view it works on is going).
    void reset();

private:
    std::unique_ptr<GroupsWindow> window_;
};
