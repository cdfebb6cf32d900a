#pragma once
// The show of the undo and autosave benchmarks: 128 sources, 64 loudspeakers and 50 path
// cues of 1,000 nodes each.

#include "Sonavant/model/AppState.h"
#include "support/ShowFixtures.h"

#include <cmath>
#include <memory>

namespace benchsupport {

inline std::shared_ptr<AppState> largeShow() {
    const MixingDesk desk = support::acmeDesk({.name = "Acme 128", .inputs = 128, .mixes = 64});

    const Point zero{400, 600};
    std::vector<Speaker> speakers;
    for (int i = 1; i <= 64; ++i)
        speakers.push_back(support::mixSpeakerAt(i, desk, std::cos(i) * 8, std::sin(i) * 8, zero));
    std::vector<std::shared_ptr<SoundObject>> sources;
    for (int i = 1; i <= 128; ++i)
        sources.push_back(support::inputAt(i, desk, i * 0.05, -i * 0.03, zero));
    std::vector<std::shared_ptr<PathCue>> cues;
    for (int c = 0; c < 50; ++c) {
        std::vector<Point> nodes;
        nodes.reserve(1000);
        for (int n = 0; n < 1000; ++n)
            nodes.push_back({std::cos(n * 0.01 + c) * 6.123456789, std::sin(n * 0.013 + c) * 4.987654321});
        cues.push_back(std::make_shared<PathCue>(platform::UUID::random(), "Cue " + std::to_string(c + 1),
                                                 10.0, std::vector{sources[c]->id}, std::move(nodes), c + 1.0,
                                                 sources[c]->id, std::nullopt, false, std::nullopt,
                                                 TriggerNextOption::none, false));
    }
    return std::make_shared<AppState>(std::move(speakers), std::move(sources), std::vector<ObjectGroup>{},
                                      std::vector<Snapshot>{}, desk, true, "127.0.0.1", "49900", true, 5.0, 0,
                                      100, false, std::move(cues), zero, ZeroPointPosition::bottomLeft, false,
                                      "6000", std::nullopt, false, Point{0, 0}, 100.0, CanvasOrientation::top,
                                      0.0, true, true, PanningMode::constantPower);
}

} // namespace benchsupport
