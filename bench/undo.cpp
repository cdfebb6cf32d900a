// The cost of the undo history and of show documents for a large show: 128 sources,
// 64 loudspeakers and 50 path cues of 1,000 nodes each. An undo push runs at the start of
// every drag and on every arrow key.

#include "Sonavant/model/AppSaveContainer.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "bench/LargeShow.h"
#include "platform/Serialization.h"

#include <benchmark/benchmark.h>

namespace {

using benchsupport::largeShow;

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
