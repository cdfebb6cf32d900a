// Running the remote commands that queued up while the main thread was busy.

#include "Sonavant/engine/ContentView.h"

#include <utility>

namespace {

// A set-value command given as data; true when it changed what levels depend on.
bool applyRemoteValue(ContentView& view, const RemoteCommandQueue::Key& key, const std::array<double, 2>& v) {
    using SetValue = RemoteCommandQueue::SetValue;
    switch (key.first) {
    case SetValue::trackPosition:
        return view.applyTrackPosition(key.second, v[0], v[1]);
    case SetValue::speakerPosition:
        return view.applyRemoteSpeakerPosition(key.second, v[0], v[1]);
    case SetValue::speakerFocus:
        return view.applyRemoteSpeakerFocus(key.second, v[0]);
    case SetValue::speakerWidth:
        return view.applyRemoteSpeakerWidth(key.second, v[0]);
    }
    return false;
}

} // namespace

void ContentView::drainRemoteCommands() {
    auto flushLevels = [this] {
        if (std::exchange(remoteLevelsDue, false))
            updateRelativeLevels();
    };
    for (auto& command : remoteCommands->takeAll()) {
        // Levels of the set-value commands before it go out before any other command runs.
        if (!command.key)
            flushLevels();
        if (command.run)
            command.run();
        else if (applyRemoteValue(*this, *command.key, command.values))
            remoteLevelsDue = true;
    }
    flushLevels();
}
