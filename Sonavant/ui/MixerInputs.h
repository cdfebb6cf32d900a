#pragma once
// What the mixer window is given by the main view.

#include "Sonavant/engine/Binding.h"
#include "Sonavant/engine/DeskOutlet.h"
#include "Sonavant/engine/MixerSendLink.h"

#include <functional>
#include <memory>
#include <string>

class AppState;

struct MixerInputs {
    std::shared_ptr<AppState> appState;
    Binding<std::string> targetDeskIP;  // where every desk message goes
    Binding<std::string> targetPort;    // decimal text, read at each send
    std::shared_ptr<DeskOutlet> outlet; // the network when null
    std::function<void()> saveAppState; // writes the working state
    MixerSendLink levels;               // the level engine's record of what the desk holds; may be empty
};
