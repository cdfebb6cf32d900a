// Launch to main view shown, without the fixed splash time: the launch restore of an
// autosave of 128 sources, 64 loudspeakers and 50 path cues (1,000 nodes each), the main
// window, ContentView's start-up (desk file and working state of the same show) and the
// first layout and paint. Runs under the offscreen platform in a throw-away home.

#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/SonavantApp.h"
#include "platform/UserDefaults.h"
#include "platform/qt/QtMainRunLoop.h"
#include "support/ShowFixtures.h"

#include <QApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

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
        for (int n = 0; n < 1000; ++n)
            nodes.push_back({std::cos(n * 0.01 + c) * 6.1, std::sin(n * 0.013 + c) * 4.9});
        cues.push_back(std::make_shared<PathCue>(platform::UUID::random(), "Cue " + std::to_string(c + 1),
                                                 10.0, std::vector{sources[c]->id}, std::move(nodes), c + 1.0,
                                                 sources[c]->id, std::nullopt, false, std::nullopt,
                                                 TriggerNextOption::none, false));
    }
    return std::make_shared<AppState>(std::move(speakers), std::move(sources), std::vector<ObjectGroup>{},
                                      std::vector<Snapshot>{}, desk, true, "127.0.0.1", "49900", true, 5.0, 0,
                                      100, false, std::move(cues), zero, ZeroPointPosition::bottomLeft, false,
                                      "6000", std::nullopt, false, Point{0, 0}, 1.0, CanvasOrientation::top,
                                      0.0, true, true, PanningMode::constantPower);
}

void BM_LaunchToMainViewShown(benchmark::State& state) {
    // Output stays on this machine; the working state of the first run is read by the rest.
    AppStatePersistence().writeAutosave(*largeShow());
    platform::UserDefaults::standard().set("savedTargetDeskIP", std::string("127.0.0.1"));
    for (auto _ : state) {
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        auto app = std::make_unique<SonavantApp>(options);
        app->start();
        QElapsedTimer guard;
        guard.start();
        while (!app->isMainViewShown() && guard.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents(); // the start-up's second half: receiver, first levels
        app->mainWindow().repaint();       // the first frame of the main view
        state.PauseTiming();
        if (!app->isMainViewShown() || app->appState()->soundObjects.get().size() != 128)
            state.SkipWithError("the main view did not come with the show");
        app.reset(); // quitting saves the working state and the autosave: not part of the launch
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LaunchToMainViewShown)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "sonavant-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return 1;
    const std::filesystem::path home(pattern);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    platform::QtMainRunLoop::install();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return 0;
}
