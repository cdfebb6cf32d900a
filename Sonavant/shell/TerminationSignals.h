#pragma once
// Ctrl-C in the terminal, a logout or a service stop end the application the way closing
// its window does, so the show is saved first.

#include <QObject>

#include <functional>

namespace shell {

// Runs `quit` on the main thread when SIGINT, SIGTERM or SIGHUP arrives. Call once, after
// the application object exists. A second signal while quitting ends the process at once.
void quitOnTerminationSignals(QObject* owner, std::function<void()> quit);

} // namespace shell
