// The floor plan and the metre grid on a 1920 x 1080 canvas: one paint of the whole stack
// with a 4000 x 3000 floor plan (unturned and turned a quarter), what reading that file
// costs (which a repaint would pay without the image cache), and one paint with the grid at
// the default zoom and at the smallest one the zoom control offers; each layer unchanged
// since the paint before (copied) and changed before every paint (drawn afresh).

#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/canvas/FloorPlanLayer.h"
#include "Sonavant/canvas/MetreGridLayer.h"
#include "Sonavant/engine/BackgroundImageBookmark.h"
#include "Sonavant/engine/ContentView.h"
#include "support/ShowFixtures.h"
#include "support/SilentOutlet.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

using support::SilentOutlet;

constexpr double width = 1920, height = 1080;

const QString& planFile() {
    static QTemporaryDir dir;
    static const QString path = [] {
        QImage plan(4000, 3000, QImage::Format_RGB32);
        plan.fill(QColor(235, 232, 222));
        QPainter p(&plan);
        p.setPen(QPen(QColor(40, 40, 40), 20));
        for (int i = 0; i < 60; ++i)
            p.drawLine(60 * i, 0, 4000 - 60 * i, 3000);
        p.end();
        const QString file = dir.filePath("plan.png");
        plan.save(file);
        return file;
    }();
    return path;
}

std::unique_ptr<ContentView> benchView() {
    auto state = support::emptyShow({.imageScale = 1.0, .zeroPoint = Point{width / 2, height / 2}});
    return std::make_unique<ContentView>(state, Binding<std::string>("127.0.0.1"),
                                         Binding<std::string>("49900"), Binding<bool>(true), 320.0,
                                         std::make_shared<SilentOutlet>());
}

void BM_FloorPlanPaint(benchmark::State& state) {
    auto view = benchView();
    AppState& show = *view->appState;
    CanvasWidget canvas(*view);
    canvas.resize(int(width), int(height));
    FloorPlanLayer layer(canvas);
    show.backgroundImageURL = BackgroundImageBookmark::fileURL(planFile().toStdString());
    show.backgroundImageScale = 0.5;
    show.backgroundImageRotation = double(state.range(0));
    show.showBackgroundImage = true;
    const QDeadlineTimer deadline(10000);
    while (!layer.cache().picture(planFile()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!layer.cache().picture(planFile())) {
        state.SkipWithError("the floor plan did not load");
        return;
    }
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    // Argument 2: 1 moves the zero point before every paint, so the layer is drawn afresh;
    // 0 paints an unchanged floor plan, as during a drag of an item.
    const bool moving = state.range(1) == 1;
    int frame = 0;
    for (auto _ : state) {
        if (moving)
            show.zeroPoint = Point{width / 2 + (++frame % 50), height / 2};
        QPainter painter(&image);
        canvas.paintCanvas(painter, QSizeF(width, height));
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_FloorPlanPaint)
    ->Args({0, 0})
    ->Args({90, 0})
    ->Args({0, 1})
    ->Args({90, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

void BM_FloorPlanFileRead(benchmark::State& state) {
    const QString& file = planFile();
    for (auto _ : state) {
        QImage image = QImageReader(file).read();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_FloorPlanFileRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_GridPaint(benchmark::State& state) {
    auto view = benchView();
    view->zoomLevel = double(state.range(0));
    view->appState->showGrid = state.range(0) > 0;
    CanvasWidget canvas(*view);
    canvas.resize(int(width), int(height));
    MetreGridLayer grid(canvas);
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    const bool moving = state.range(1) == 1;
    int frame = 0;
    for (auto _ : state) {
        if (moving)
            view->appState->zeroPoint = Point{width / 2 + (++frame % 50), height / 2};
        QPainter painter(&image);
        canvas.paintCanvas(painter, QSizeF(width, height));
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
// Zoom 0: the grid off, for the rest of the canvas. Argument 2 as above.
BENCHMARK(BM_GridPaint)
    ->Args({0, 0})
    ->Args({100, 0})
    ->Args({5, 0})
    ->Args({100, 1})
    ->Args({5, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
