// Running the remote commands that queued up while the main thread was busy.

#include "Sonavant/engine/ContentView.h"

#include <utility>

void ContentView::drainRemoteCommands() {
    auto flushLevels = [this] {
        if (std::exchange(remoteLevelsDue, false))
            updateRelativeLevels();
    };
    for (auto& command : remoteCommands->takeAll()) {
        // Levels of the set-value commands before it go out before any other command runs.
        if (!command.key)
            flushLevels();
        command.run();
    }
    flushLevels();
}
