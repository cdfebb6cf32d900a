// The canvas: one full paint of a large show into an offscreen 1920 x 1080 image, the path
// cues' dashes of such a paint alone, one frame of a source drag, of a loudspeaker drag and of
// a focus turn, and one drag event on a 64 x 64 show from the Qt mouse event to the level pass
// done and its sends queued (to a silent outlet). The drag reports its median and 99th
// percentile per event. Console lines go to standard output: run with it redirected.

#include "MainThreadSupport.h"
#include "Sonavant/canvas/AudienceAreaLayer.h"
#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/canvas/DashedPolyline.h"
#include "Sonavant/engine/ContentView.h"
#include "support/ShowFixtures.h"
#include "support/SilentOutlet.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <random>

namespace {

using benchsupport::threadSeconds;
using support::SilentOutlet;

MixingDesk benchDesk() {
    return support::mixDesk("Bench", 128);
}

std::unique_ptr<ContentView> benchView(int sources, int speakers, double w, double h) {
    auto state = support::emptyShow({.range = 8.0, .zeroPoint = Point{0, h}});
    auto view =
        std::make_unique<ContentView>(state, Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"),
                                      Binding<bool>(true), 320.0, std::make_shared<SilentOutlet>());
    view->selectedDesk = benchDesk();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> x(0, w), y(0, h), angle(-180, 180);
    const MixingDesk desk = benchDesk();
    std::vector<Speaker> list;
    for (int i = 0; i < speakers; ++i) {
        Speaker s = support::speakerAt(i + 1, {x(random), y(random)}, i + 1, "Mix", angle(random), 70);
        s.displayColour = "green";
        list.push_back(s);
    }
    state->speakers = list;
    std::vector<std::shared_ptr<SoundObject>> objects;
    for (int i = 0; i < sources; ++i)
        objects.push_back(support::sourceAt(i + 1, {x(random), y(random)}, desk));
    state->soundObjects = objects;
    state->showSpeakerFocus = true;
    state->showSpeakerCoverage = true;
    return view;
}

// The large show: 128 sources with range 8 m, 64 loudspeakers with focus arrows and coverage
// cones, two audience areas, ten selected path cues, the backdrop, on a 1920 x 1080 canvas.
struct LargeShow {
    static constexpr double w = 1920, h = 1080;
    std::unique_ptr<ContentView> view = benchView(128, 64, w, h);
    std::unique_ptr<CanvasWidget> canvas;
    std::unique_ptr<AudienceAreaLayer> areas;
    QImage image{int(w), int(h), QImage::Format_ARGB32_Premultiplied};
    double now = 0; // the canvas's clock: one frame at 60 Hz per paint

    explicit LargeShow(bool withoutRingsAndCones = false) {
        AppState& show = *view->appState;
        std::vector<AudienceArea> list(2);
        for (int a = 0; a < 2; ++a)
            for (int n = 0; n < 8; ++n) {
                const double t = n * std::acos(-1.0) / 4;
                list[a].nodesMeters.push_back({5 + 9 * a + 3 * std::cos(t), 5 + 3 * std::sin(t)});
            }
        show.audienceAreas = list;
        std::vector<std::shared_ptr<PathCue>> cues;
        std::mt19937 random(11);
        std::uniform_real_distribution<double> mx(0, 19), my(0, 10);
        for (int c = 0; c < 10; ++c) {
            std::vector<Point> nodes;
            for (int n = 0; n < 20; ++n)
                nodes.push_back({mx(random), my(random)});
            cues.push_back(std::make_shared<PathCue>(
                platform::UUID::random(), "Cue", 5.0, std::vector<platform::UUID>{}, nodes, double(c + 1),
                std::nullopt, std::nullopt, false, std::nullopt, TriggerNextOption::none, false));
        }
        // Selected cues are the ones the canvas draws.
        view->pathManager->pathCues = cues;
        for (const auto& cue : cues)
            view->pathManager->selectCue(cue, true);
        if (withoutRingsAndCones) {
            show.isSoundScapeMode = true;
            show.showSpeakerCoverage = false;
        }
        canvas = std::make_unique<CanvasWidget>(*view);
        canvas->resize(int(w), int(h));
        canvas->setClock([this] { return now; });
        areas = std::make_unique<AudienceAreaLayer>(*canvas);
    }
    void paint() {
        now += 1.0 / 60;
        QPainter painter(&image);
        canvas->paintCanvas(painter, QSizeF(w, h));
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
};

// Runs `step` (the change) and one paint per iteration; reports the 50th and 99th percentile of
// the paint's wall and processor time.
template <typename Step> void paintFrames(benchmark::State& state, LargeShow& show, Step step) {
    std::vector<double> wall, cpu;
    // The first frames after the show is built fill the kept pictures, the sprites and Qt's
    // own caches: a few frames first, so the percentiles are of the frames that follow.
    int frame = -4;
    show.paint();
    while (frame < 0) {
        step(++frame);
        show.paint();
    }
    for (auto _ : state) {
        step(++frame);
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = threadSeconds();
        show.paint();
        cpu.push_back((threadSeconds() - c0) * 1e3);
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    auto percentile = [](std::vector<double> v, int p) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, v.size() * p / 100)];
    };
    state.counters["p50_ms"] = percentile(wall, 50);
    state.counters["p99_ms"] = percentile(wall, 99);
    state.counters["cpu_p99_ms"] = percentile(cpu, 99);
}

// One full paint with nothing reusable: the zoom changes before every frame, which moves every
// item and changes the range circles' size (argument 0), the same without the range circles
// and coverage cones, to show what the rest takes (argument 1), and a first paint with every
// kept picture dropped, the items' own images included (argument 2).
void BM_CanvasPaint(benchmark::State& state) {
    LargeShow show(state.range(0) == 1);
    ContentView& view = *show.view;
    paintFrames(state, show, [&](int frame) {
        if (state.range(0) == 2) {
            show.canvas->clearCaches();
            return;
        }
        view.zoomLevel = frame % 2 ? 101.0 : 100.0;
        view.reprojectAllPositions(
            CanvasGeometryProxy{{LargeShow::w, LargeShow::h}, {{0, 0}, {LargeShow::w, LargeShow::h}}});
    });
}
BENCHMARK(BM_CanvasPaint)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The dashes of ten cues of 20 nodes each across the canvas alone, laid into a 1920 x 1080
// image: the biggest part of a full paint.
void BM_PathCueDashes(benchmark::State& state) {
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> x(0, 1900), y(0, 1000);
    std::vector<QPolygonF> cues(10);
    for (QPolygonF& cue : cues)
        for (int n = 0; n < 20; ++n)
            cue << QPointF(x(random), y(random));
    const QRgb colour = qPremultiply(qRgba(52, 199, 89, 128));
    for (auto _ : state) {
        for (const QPolygonF& cue : cues)
            dashedpolyline::drawInto(image, QTransform(), cue, colour);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PathCueDashes)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// One frame of a source drag: the selected source moves a point per frame.
void BM_SourceDragFrame(benchmark::State& state) {
    LargeShow show;
    auto& source = *show.view->appState->soundObjects.get()[0];
    show.view->selectedObjects = std::set<std::string>{soundObjectKey(source.id)};
    paintFrames(state, show, [&](int frame) { source.position = Point{500.0 + frame % 100, 500.0}; });
}
BENCHMARK(BM_SourceDragFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One frame after a source that is not selected moved, as on a cue tick or a remote move:
// the range circles and the items are laid down again, the layers under them copied.
void BM_UnselectedMoveFrame(benchmark::State& state) {
    LargeShow show;
    auto& source = *show.view->appState->soundObjects.get()[5];
    paintFrames(state, show, [&](int frame) { source.position = Point{900.0 + frame % 100, 300.0}; });
}
BENCHMARK(BM_UnselectedMoveFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One frame of a loudspeaker drag (argument 0) or a focus turn (argument 1) of the selected
// loudspeaker.
void BM_SpeakerFrame(benchmark::State& state) {
    LargeShow show;
    AppState& app = *show.view->appState;
    show.view->selectedObjects = std::set<std::string>{speakerKey(app.speakers.get()[0].id)};
    const bool turn = state.range(0) == 1;
    paintFrames(state, show, [&](int frame) {
        app.speakers.update([&](std::vector<Speaker>& list) {
            if (turn)
                list[0].focus = frame % 360;
            else
                list[0].position = Point{700.0 + frame % 100, 400.0};
        });
    });
}
BENCHMARK(BM_SpeakerFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_DragEvent(benchmark::State& state) {
    auto view = benchView(64, 64, 1600, 1000);
    CanvasWidget canvas(*view);
    canvas.resize(1600, 1000);
    const Point start = view->appState->soundObjects.get()[0]->position;
    const QPointF down(start.x, start.y);
    QMouseEvent press(QEvent::MouseButtonPress, down, down, down, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&canvas, &press);

    std::vector<double> micros;
    micros.reserve(1 << 16);
    int step = 0;
    for (auto _ : state) {
        ++step;
        const QPointF at(start.x + 40 * std::sin(step * 0.05), start.y + 40 * std::cos(step * 0.05));
        QMouseEvent move(QEvent::MouseMove, at, at, at, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        const auto t0 = std::chrono::steady_clock::now();
        QCoreApplication::sendEvent(&canvas, &move);
        const auto t1 = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    QMouseEvent release(QEvent::MouseButtonRelease, down, down, down, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&canvas, &release);
    std::sort(micros.begin(), micros.end());
    if (!micros.empty()) {
        state.counters["p50_us"] = micros[micros.size() / 2];
        state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    }
}
BENCHMARK(BM_DragEvent)->Unit(benchmark::kMicrosecond)->MinTime(3.0);

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
