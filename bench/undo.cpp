// The cost of the undo history and of show documents for a large show: 128 sources,
// 64 loudspeakers and 50 path cues of 1,000 nodes each. An undo push runs at the start of
// every drag and on every arrow key.

#include "Sonavant/model/AppSaveContainer.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "platform/Serialization.h"
#include "support/ShowFixtures.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

std::shared_ptr<AppState> largeShow() {
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

void BM_SaveStateForUndo(benchmark::State& state) {
    auto show = largeShow();
    for (auto _ : state) {
        show->saveStateForUndo();
        benchmark::DoNotOptimize(AppState::undoStack.back());
    }
    AppState::clearHistory();
}
BENCHMARK(BM_SaveStateForUndo)->Unit(benchmark::kMillisecond);

// A push after a change, as at the start of a drag that follows another edit: the show
// differs from the newest entry in one source, the last in the list.
void BM_SaveStateForUndoAfterMove(benchmark::State& state) {
    auto show = largeShow();
    double x = 0;
    for (auto _ : state) {
        show->soundObjects->back()->positionMeters = Point{x += 0.1, 0};
        show->saveStateForUndo();
        benchmark::DoNotOptimize(AppState::undoStack.back());
    }
    AppState::clearHistory();
}
BENCHMARK(BM_SaveStateForUndoAfterMove)->Unit(benchmark::kMillisecond);

// One undo step back to the state before a move of one source.
void BM_UndoStep(benchmark::State& state) {
    auto show = largeShow();
    double x = 0;
    for (auto _ : state) {
        state.PauseTiming();
        AppState::clearHistory();
        show->saveStateForUndo();
        show->soundObjects->front()->positionMeters = Point{x += 0.1, 0};
        state.ResumeTiming();
        show->undo();
    }
    AppState::clearHistory();
}
BENCHMARK(BM_UndoStep)->Unit(benchmark::kMillisecond);

void BM_EncodePropertyList(benchmark::State& state) {
    auto show = largeShow();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto document = AppStatePersistence::encodeState(*show, "show.sonavant");
        bytes = document.size();
        benchmark::DoNotOptimize(document);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodePropertyList)->Unit(benchmark::kMillisecond);

void BM_DecodePropertyList(benchmark::State& state) {
    const auto document = AppStatePersistence::encodeState(*largeShow(), "show.sonavant");
    for (auto _ : state) {
        auto show = AppSaveContainer::decode(platform::readPropertyList(document), "").appState;
        benchmark::DoNotOptimize(show);
    }
}
BENCHMARK(BM_DecodePropertyList)->Unit(benchmark::kMillisecond);

void BM_EncodeJSON(benchmark::State& state) {
    auto show = largeShow();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto document = AppStatePersistence::encodeState(*show, "show.json");
        bytes = document.size();
        benchmark::DoNotOptimize(document);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeJSON)->Unit(benchmark::kMillisecond);

void BM_DecodeJSON(benchmark::State& state) {
    const auto document = AppStatePersistence::encodeState(*largeShow(), "show.json");
    for (auto _ : state) {
        auto show = AppState::decode(platform::readJSON(document), "");
        benchmark::DoNotOptimize(show);
    }
}
BENCHMARK(BM_DecodeJSON)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
