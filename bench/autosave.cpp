// What the main thread pays for the joint write of the autosave and the working state on the
// show of the undo benchmark, and what an Undo costs with its write beside one without: off
// screen, and on screen once the view has left it (the same desk and sends, no write).
// "cpu_ms" is the main thread's own processor time per write; the writer's thread is not in it.
// Each iteration waits for the write it caused outside the measurement, so the runs are
// counted, not timed.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "bench/LargeShow.h"
#include "bench/MainThreadSupport.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

// The large show in a main view writing into a folder of its own; on screen, the view writes
// both files after every Undo, as the application's does.
struct Rig {
    explicit Rig(bool onScreen)
        : folder("autosave"), defaults(folder.path() / "config"),
          persistence(folder.path() / "data", defaults) {
        platform::MainRunLoop::adoptCurrentThread();
        show = benchsupport::largeShow();
        show->receivePort = "0";
        show->targetPort = std::to_string(sink.port);
        view = std::make_unique<ContentView>(show, Binding<std::string>("127.0.0.1"),
                                             Binding<std::string>(std::to_string(sink.port)));
        view->userDefaults = &defaults;
        view->persistence = &persistence;
        view->selectedDesk = show->selectedDesk.get();
        view->saveState();
        if (onScreen) {
            view->onAppearLoad();
            platform::MainRunLoop::runFor(50ms);
        }
        settle();
    }
    ~Rig() {
        settle();
        view.reset();
        AppState::clearHistory();
    }
    // Lets the writes under way finish and the main queue empty, outside the measurement.
    void settle() {
        view->waitForWrites();
        platform::MainRunLoop::runFor(1ms);
    }

    support::TempFolder folder;
    platform::UserDefaults defaults;
    AppStatePersistence persistence;
    benchsupport::SinkSocket sink;
    std::shared_ptr<AppState> show;
    std::unique_ptr<ContentView> view;
};

void BM_JointWriteMainThread(benchmark::State& state) {
    Rig rig(true);
    double cpu = 0;
    for (auto _ : state) {
        const double start = benchsupport::threadSeconds();
        rig.view->writeAutosaveAndWorkingState();
        cpu += benchsupport::threadSeconds() - start;
        state.PauseTiming();
        rig.settle();
        state.ResumeTiming();
    }
    state.counters["cpu_ms"] = 1e3 * cpu / double(state.iterations());
}
BENCHMARK(BM_JointWriteMainThread)->Unit(benchmark::kMillisecond)->Iterations(20);

// One Undo back over a move of one source: on screen it writes both files, off screen or
// after leaving the screen not.
void undoStep(benchmark::State& state, bool onScreen, bool leaveScreen = false) {
    Rig rig(onScreen);
    if (leaveScreen) {
        rig.view->onDisappearCleanup();
        rig.settle();
    }
    double x = 0;
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        AppState::clearHistory();
        rig.show->saveStateForUndo();
        rig.show->soundObjects->front()->positionMeters = Point{x += 0.1, 0};
        rig.settle();
        state.ResumeTiming();
        const double start = benchsupport::threadSeconds();
        rig.show->undo();
        cpu += benchsupport::threadSeconds() - start;
    }
    state.counters["cpu_ms"] = 1e3 * cpu / double(state.iterations());
}

void BM_UndoWithWrite(benchmark::State& state) {
    undoStep(state, true);
}
BENCHMARK(BM_UndoWithWrite)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_UndoAlone(benchmark::State& state) {
    undoStep(state, false);
}
BENCHMARK(BM_UndoAlone)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_UndoAfterLeavingTheScreen(benchmark::State& state) {
    undoStep(state, true, true);
}
BENCHMARK(BM_UndoAfterLeavingTheScreen)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
