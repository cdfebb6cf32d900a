#pragma once
// A canvas on a show that sends to a fake desk on loopback: the main view, its canvas in a
// plain top-level window, a recording presenter and user defaults in a temporary folder.

#include "Sonavant/canvas/AudienceAreaLayer.h"
#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/canvas/FloorPlanLayer.h"
#include "Sonavant/canvas/MetreGridLayer.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/panels/CueSidebarWidget.h"
#include "platform/UserDefaults.h"
#include "support/RecordingPresenter.h"
#include "support/ShowFixtures.h"
#include "support/TempFolder.h"
#include "tools/FakeDesk.h"

#include <QHBoxLayout>
#include <QtTest>

#include <cmath>
#include <map>
#include <memory>
#include <string>

namespace canvasgui {

// Inputs and mixes and matrices, whole-number levels from -90 to 10.
inline MixingDesk desk() {
    return support::withMatrices(support::acmeDesk());
}

struct ShowOnCanvas {
    FakeDesk fakeDesk{false};
    support::TempFolder folder;
    platform::UserDefaults defaults{folder.path()};
    std::shared_ptr<AppState> state = support::emptyShow();
    std::unique_ptr<ContentView> view;
    std::shared_ptr<support::RecordingPresenter> presenter = std::make_shared<support::RecordingPresenter>();
    std::unique_ptr<CanvasWidget> canvas;

    explicit ShowOnCanvas(CanvasOrientation orientation = CanvasOrientation::top, QSize size = {800, 600}) {
        AppState::clearHistory();
        state->canvasOrientation = orientation;
        view = std::make_unique<ContentView>(state, Binding<std::string>("127.0.0.1"),
                                             Binding<std::string>(std::to_string(fakeDesk.udpPort())));
        view->userDefaults = &defaults;
        view->presenter = presenter;
        view->selectedDesk = desk();
        canvas = std::make_unique<CanvasWidget>(*view);
        canvas->resize(size);
    }
    ~ShowOnCanvas() {
        canvas.reset();
        AppState::clearHistory();
    }

    bool show() {
        canvas->show();
        canvas->activateWindow();
        canvas->setFocus();
        return QTest::qWaitForWindowExposed(canvas.get());
    }

    // Placed on the canvas, metres from the current zero point, zoom and orientation.
    std::shared_ptr<SoundObject> addSource(std::int64_t number, Point canvasPoint) {
        auto source = support::sourceAt(number, canvasPoint, desk());
        source->positionMeters = toMetres(canvasPoint);
        state->soundObjects.update([&](auto& list) { list.push_back(source); });
        return source;
    }
    void addSpeaker(std::int64_t id, Point canvasPoint, std::string type = "Mix",
                    std::string colour = "green") {
        Speaker s = support::speakerAt(id, canvasPoint, id, type);
        s.displayColour = colour;
        s.positionMeters = toMetres(canvasPoint);
        state->speakers.update([&](auto& list) { list.push_back(s); });
    }
    Point toMetres(Point canvasPoint) const {
        return canvasToMetres(state->canvasOrientation, canvasPoint, view->zoomLevel, state->zeroPoint);
    }
    const Speaker& speaker(std::int64_t id) const {
        for (const auto& s : state->speakers.get())
            if (s.id == id)
                return s;
        throw std::runtime_error("no loudspeaker");
    }

    // The last whole-number level the desk received per address.
    std::map<std::string, std::int32_t> lastLevels() const {
        std::map<std::string, std::int32_t> last;
        for (const auto& message : fakeDesk.messages())
            if (message.values().size() == 1 && message.values()[0].is<std::int32_t>())
                last[message.addressPattern().description()] = *message.values()[0].as<std::int32_t>();
        return last;
    }
    // What the desk should hold now for every loudspeaker of one source: the engine's levels.
    std::map<std::string, std::int32_t> expectedLevels(const SoundObject& source) const {
        std::map<std::string, std::int32_t> expected;
        const auto& levels = state->mixerLevels.get();
        auto row = levels.find(source.id);
        if (row == levels.end())
            return expected;
        for (const auto& [speakerID, level] : row->second) {
            const Speaker& s = speaker(speakerID);
            const std::string kind = s.type == "Mix" ? "mix" : "mtx";
            expected["/ch/" + std::to_string(source.number.get()) + "/" + kind + "/" +
                     std::to_string(s.channelNumber) + "/level"] = std::int32_t(std::lround(level));
        }
        return expected;
    }
};

inline QPoint at(Point p) {
    return QPoint(int(std::lround(p.x)), int(std::lround(p.y)));
}

// The canvas with the grid, the floor plan and the audience areas plugged in.
struct EditorCanvas : ShowOnCanvas {
    std::unique_ptr<MetreGridLayer> grid;
    std::unique_ptr<FloorPlanLayer> floorPlan;
    std::unique_ptr<AudienceAreaLayer> areas;

    explicit EditorCanvas(CanvasOrientation orientation = CanvasOrientation::top, QSize size = {800, 600})
        : ShowOnCanvas(orientation, size) {
        grid = std::make_unique<MetreGridLayer>(*canvas);
        floorPlan = std::make_unique<FloorPlanLayer>(*canvas);
        areas = std::make_unique<AudienceAreaLayer>(*canvas);
    }
    ~EditorCanvas() {
        areas.reset();
        floorPlan.reset();
        grid.reset();
    }

    platform::UUID addArea(std::string name, std::string colour, std::vector<Point> nodes) {
        AudienceArea a;
        a.name = std::move(name);
        a.color = std::move(colour);
        a.nodesMeters = std::move(nodes);
        state->audienceAreas.update([&](auto& list) { list.push_back(a); });
        return a.id;
    }
    const AudienceArea& area(std::size_t i = 0) const { return state->audienceAreas.get().at(i); }
    Point onCanvas(Point metres) const {
        return metresToCanvas(state->canvasOrientation, metres, view->zoomLevel, state->zeroPoint);
    }
    void drag(Point from, Point to, int steps = 5) {
        QTest::mousePress(canvas.get(), Qt::LeftButton, {}, at(from));
        for (int i = 1; i <= steps; ++i)
            QTest::mouseMove(canvas.get(), at({from.x + (to.x - from.x) * i / steps,
                                               from.y + (to.y - from.y) * i / steps}));
        QTest::mouseRelease(canvas.get(), Qt::LeftButton, {}, at(to));
    }
    QImage picture() { return canvas->grab().toImage(); }
};

// The canvas and the cue sidebar side by side in `host`, as the main view lays them out. The
// host takes the canvas over, so it goes before the view.
inline void placeCanvasBesideSidebar(QWidget* host, ShowOnCanvas& f, CanvasWidget*& canvas,
                                     CueSidebarWidget*& sidebar) {
    auto* row = new QHBoxLayout(host);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    canvas = f.canvas.release();
    row->addWidget(canvas, 1);
    sidebar = new CueSidebarWidget(*f.view);
    row->addWidget(sidebar);
}

} // namespace canvasgui
