// One pass of the level engine (every source on every loudspeaker, sends to a silent
// outlet) for growing shows, under each pan law, with and without two audience areas.
// Console lines go to standard output: run with it redirected and --benchmark_out.

#include "Sonavant/engine/ContentView.h"
#include "support/ShowFixtures.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

class SilentOutlet : public DeskOutlet {
public:
    void sendUDP(bool, const std::string&, const std::string&, std::uint16_t,
                 const OSCSendArgument&) override {}
    void sendTCP(const std::string&, const std::string&, const std::string&, std::uint16_t) override {}
};

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

void levelPass(benchmark::State& bench) {
    const int size = static_cast<int>(bench.range(0));
    const auto mode = allPanningModes[static_cast<std::size_t>(bench.range(1))];
    const bool aware = bench.range(2) != 0;
    auto state = benchShow(size, size, mode, aware);
    ContentView view(state, Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"),
                     Binding<bool>(true), 320.0, std::make_shared<SilentOutlet>());
    view.selectedDesk = benchDesk();
    // Every pair computed, as after a change that touches every source.
    view.setLevelRowReuse(false);
    view.updateRelativeLevels(); // the first pass sends everything
    for (auto _ : bench)
        view.updateRelativeLevels();
    bench.SetLabel(std::string(rawValue(mode)) + (aware ? ", audience" : ""));
    bench.counters["pairs"] = size * size;
}

// A pass in which nothing moved: every send decision runs, no level is computed again.
void unchangedPass(benchmark::State& bench) {
    const int size = static_cast<int>(bench.range(0));
    auto state = benchShow(size, size, PanningMode::constantPower, true);
    ContentView view(state, Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"),
                     Binding<bool>(true), 320.0, std::make_shared<SilentOutlet>());
    view.selectedDesk = benchDesk();
    view.updateRelativeLevels();
    for (auto _ : bench)
        view.updateRelativeLevels();
    bench.SetLabel("Constant Power, audience, nothing moved");
}

// One loudspeaker moved: every source's levels are computed again.
void speakerDragPass(benchmark::State& bench) {
    const int size = static_cast<int>(bench.range(0));
    auto state = benchShow(size, size, PanningMode::constantPower, true);
    ContentView view(state, Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"),
                     Binding<bool>(true), 320.0, std::make_shared<SilentOutlet>());
    view.selectedDesk = benchDesk();
    view.updateRelativeLevels();
    double x = 0;
    for (auto _ : bench) {
        x = x > 1900 ? 0 : x + 7;
        auto speakers = state->speakers.get();
        speakers.front().position = Point{x, 1000};
        state->speakers = std::move(speakers);
        view.updateRelativeLevels();
    }
    bench.SetLabel("Constant Power, audience, one loudspeaker dragged");
}

// One source dragged: its levels change on every pass and go out.
void dragPass(benchmark::State& bench) {
    const int size = static_cast<int>(bench.range(0));
    auto state = benchShow(size, size, PanningMode::constantPower, true);
    ContentView view(state, Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"),
                     Binding<bool>(true), 320.0, std::make_shared<SilentOutlet>());
    view.selectedDesk = benchDesk();
    view.updateRelativeLevels();
    auto& dragged = *state->soundObjects->front();
    double x = 0;
    for (auto _ : bench) {
        x = x > 1900 ? 0 : x + 7;
        dragged.position = Point{x, 1000};
        view.updateRelativeLevels();
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
