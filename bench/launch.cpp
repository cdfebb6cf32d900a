// Launch to main view shown, without the fixed splash time: the launch restore of an
// autosave of 128 sources, 64 loudspeakers and 50 path cues (1,000 nodes each), the main
// window, ContentView's start-up (desk file and working state of the same show) and the
// first layout and paint. Runs under the offscreen platform in a throw-away home.

#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/SonavantApp.h"
#include "bench/LargeShow.h"
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

void BM_LaunchToMainViewShown(benchmark::State& state) {
    // Output stays on this machine; the working state of the first run is read by the rest.
    AppStatePersistence().writeAutosave(*benchsupport::largeShow());
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
