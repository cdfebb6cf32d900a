// One pass of the level engine (every source on every loudspeaker, sends to a silent
// outlet) for growing shows, under each pan law, with and without two audience areas.
// Console lines go to standard output: run with it redirected and --benchmark_out.

#include "Sonavant/engine/ContentView.h"
#include "support/ShowFixtures.h"
#include "support/SilentOutlet.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

using support::SilentOutlet;

MixingDesk benchDesk() {
    return support::mixDesk("Bench", 128);
}

std::shared_ptr<AppState> benchShow(int sources, int speakers, PanningMode mode, bool audienceAware) {
    auto state =
        support::emptyShow({.imageScale = 1.0, .panning = mode, .range = 8.0, .zeroPoint = Point{0, 2000}});
    std::mt19937 random(7);
    std::uniform_real_distribution<double> canvas(0, 2000), angle(-180, 180);
    const MixingDesk desk = benchDesk();

    std::vector<Speaker> list;
    for (int i = 0; i < speakers; ++i) {
        Speaker s;
        s.id = i + 1;
        s.channelNumber = s.displayNumber = i + 1;
        s.type = "Mix";
        s.position = {canvas(random), canvas(random)};
        s.focus = angle(random);
        s.width = 70;
        list.push_back(s);
    }
    state->speakers = list;
    std::vector<std::shared_ptr<SoundObject>> objects;
    for (int i = 0; i < sources; ++i) {
        auto source = std::make_shared<SoundObject>("Input", i + 1, desk, 0, 0, 100, Point{0, 2000});
        source->position = Point{canvas(random), canvas(random)};
        objects.push_back(source);
    }
    state->soundObjects = objects;

    // Two areas of eight nodes each, in metres.
    std::vector<AudienceArea> areas(2);
    for (int a = 0; a < 2; ++a)
        for (int n = 0; n < 8; ++n) {
            const double t = n * std::acos(-1.0) / 4;
            areas[a].nodesMeters.push_back({6 + 8 * a + 3 * std::cos(t), 10 + 3 * std::sin(t)});
        }
    state->audienceAreas = areas;
    state->audienceAwarePanLaw = audienceAware;
    return state;
}

// A show and its view after the first pass, which sends everything.
struct PassedShow {
    std::shared_ptr<AppState> state;
    ContentView view;
    PassedShow(int size, PanningMode mode, bool audienceAware, bool reuseRows = true)
        : state(benchShow(size, size, mode, audienceAware)),
          view(state, Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"), Binding<bool>(true),
               320.0, std::make_shared<SilentOutlet>()) {
        view.selectedDesk = benchDesk();
        view.setLevelRowReuse(reuseRows);
        view.updateRelativeLevels();
    }
};

// Every pair computed, as after a change that touches every source.
void levelPass(benchmark::State& bench) {
    const int size = static_cast<int>(bench.range(0));
    const auto mode = allPanningModes[static_cast<std::size_t>(bench.range(1))];
    const bool aware = bench.range(2) != 0;
    PassedShow show(size, mode, aware, false);
    for (auto _ : bench)
        show.view.updateRelativeLevels();
    bench.SetLabel(std::string(rawValue(mode)) + (aware ? ", audience" : ""));
    bench.counters["pairs"] = size * size;
}

// A pass in which nothing moved: every send decision runs, no level is computed again.
void unchangedPass(benchmark::State& bench) {
    PassedShow show(static_cast<int>(bench.range(0)), PanningMode::constantPower, true);
    for (auto _ : bench)
        show.view.updateRelativeLevels();
    bench.SetLabel("Constant Power, audience, nothing moved");
}

// One loudspeaker moved: every source's levels are computed again.
void speakerDragPass(benchmark::State& bench) {
    PassedShow show(static_cast<int>(bench.range(0)), PanningMode::constantPower, true);
    double x = 0;
    for (auto _ : bench) {
        x = x > 1900 ? 0 : x + 7;
        show.state->speakers.update([&](std::vector<Speaker>& list) {
            list.front().position = Point{x, 1000};
        });
        show.view.updateRelativeLevels();
    }
    bench.SetLabel("Constant Power, audience, one loudspeaker dragged");
}

// One source dragged: its levels change on every pass and go out.
void dragPass(benchmark::State& bench) {
    PassedShow show(static_cast<int>(bench.range(0)), PanningMode::constantPower, true);
    auto& dragged = *show.state->soundObjects->front();
    double x = 0;
    for (auto _ : bench) {
        x = x > 1900 ? 0 : x + 7;
        dragged.position = Point{x, 1000};
        show.view.updateRelativeLevels();
    }
    bench.SetLabel("Constant Power, audience, one source dragged");
}

void allShows(benchmark::internal::Benchmark* b) {
    for (int size : {8, 32, 64, 128})
        for (int mode = 0; mode < 5; ++mode)
            for (int aware = 0; aware < 2; ++aware)
                b->Args({size, mode, aware});
}

} // namespace

BENCHMARK(levelPass)->Apply(allShows)->Unit(benchmark::kMicrosecond);
BENCHMARK(dragPass)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(unchangedPass)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(speakerDragPass)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
