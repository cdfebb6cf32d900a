#pragma once
// A headless main view over an empty show, and the desks the sheet tests use.

#include "Sonavant/engine/ContentView.h"
#include "support/ShowFixtures.h"

#include <memory>
#include <string>

namespace uitest {

struct HeadlessView {
    std::shared_ptr<AppState> show = support::emptyShow({});
    ContentView view{
        show,   Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"), Binding<bool>(true), 320.0,
        nullptr};
};

// Inputs, mixes and matrices, with cue mode and mix sends as asked.
inline MixingDesk sheetDesk(std::int64_t mixes = 16, std::int64_t matrices = 8) {
    MixingDesk d = support::acmeDesk({.inputs = 64, .mixes = mixes});
    d.mtxEnabled = true;
    d.mtxName = "Matrix";
    d.mtxNum = matrices;
    d.mtxColour = "orange";
    return d;
}

inline Speaker speaker(std::int64_t id, std::string type, std::int64_t channel, std::string name = {}) {
    Speaker s = support::speakerAt(id, {0, 0}, channel, std::move(type));
    s.displayName = name.empty() ? s.type + " " + std::to_string(channel) : std::move(name);
    return s;
}

} // namespace uitest
