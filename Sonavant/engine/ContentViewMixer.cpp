#include "Sonavant/engine/ContentView.h"

std::function<void()> ContentView::saveStateWhileAlive() {
    return whileAlive([](ContentView& view) { view.writeAutosaveAndWorkingState(); });
}
