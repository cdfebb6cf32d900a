#pragma once

#include <QObject>
#include <QTimer>

#include <utility>

// Many observed values change in one user step; folding them into one pass on the next
// turn of the event loop keeps a window from repainting half-updated state. The pending
// flag lives in `context`, so the call is dropped with it if the window goes first.
template <typename Refresh> void refreshLater(QObject* context, bool& pending, Refresh refresh) {
    if (pending)
        return;
    pending = true;
    QTimer::singleShot(0, context, [&pending, refresh = std::move(refresh)] {
        pending = false;
        refresh();
    });
}
