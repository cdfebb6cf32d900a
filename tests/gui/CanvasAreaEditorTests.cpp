// The audience-area editor, the metre grid and the floor plan on a real canvas, driven by
// mouse events: where a new area lands, node and whole-area drags with their undo states
// and the levels they send, the edit panel, the grid's lines and the floor plan's picture.

#include "Sonavant/canvas/AudienceAreaEditPanel.h"
#include "Sonavant/canvas/AudienceAreaLayer.h"
#include "Sonavant/canvas/FloorPlanLayer.h"
#include "Sonavant/canvas/MetreGridLayer.h"
#include "Sonavant/engine/BackgroundImageBookmark.h"
#include "Sonavant/shell/MainView.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/SonavantApp.h"
#include "Sonavant/shell/ToolRow.h"
#include "Sonavant/ui/MetreGrid.h"
#include "gui/CanvasGuiSupport.h"
#include "gui/GuiTestMain.h"

#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

using namespace canvasgui;

namespace {

constexpr int deadline = 5000;

bool near(Point a, Point b, double tolerance = 1e-9) {
    return std::abs(a.x - b.x) <= tolerance && std::abs(a.y - b.y) <= tolerance;
}

// A floor plan to look at: walls, a stage and rows of seats on white.
QString writeFloorPlan(const QTemporaryDir& dir) {
    QImage plan(1200, 800, QImage::Format_RGB32);
    plan.fill(QColor(235, 232, 222));
    QPainter p(&plan);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 14));
    p.drawRect(20, 20, 1160, 760);
    p.fillRect(QRect(380, 40, 440, 140), QColor(120, 90, 60));
    p.setPen(QColor(255, 255, 255));
    QFont font = p.font();
    font.setPixelSize(64);
    p.setFont(font);
    p.drawText(QRect(380, 40, 440, 140), Qt::AlignCenter, QStringLiteral("STAGE"));
    p.setPen(QPen(QColor(90, 90, 160), 4));
    for (int row = 0; row < 8; ++row)
        for (int seat = 0; seat < 20; ++seat)
            p.drawRect(180 + seat * 42, 260 + row * 56, 30, 34);
    p.end();
    const QString path = dir.filePath(QStringLiteral("Floor Plan.png"));
    return plan.save(path) ? path : QString();
}

} // namespace

class CanvasAreaEditorTests : public QObject {
    Q_OBJECT

private slots:
    void aNewAreaLandsWhereTheOperatorLooks() {
        EditorCanvas f;
        QVERIFY(f.show());
        f.state->zeroPoint = Point{100, 500};
        f.view->addAudienceArea();
        QCOMPARE(f.area().nodesMeters, (std::vector<Point>{{2, 3}, {4, 3}, {4, 1}, {2, 1}}));
        QCOMPARE(f.state->selectedAudienceAreaID.get(), std::optional(f.area().id));
        QCOMPARE(AppState::undoStack.size(), std::size_t(2)); // before the addition and after it

        // Under "right" the square still covers the middle of the canvas on screen.
        EditorCanvas turned(CanvasOrientation::right);
        QVERIFY(turned.show());
        turned.state->zeroPoint = Point{100, 500};
        const QImage bare = turned.picture(); // the backdrop, without the area
        turned.view->addAudienceArea();
        for (const auto& corner : {Point{300, 200}, Point{500, 200}, Point{500, 400}, Point{300, 400}}) {
            bool found = false;
            for (const auto& n : turned.area().nodesMeters)
                found = found || near(turned.onCanvas(n), corner, 1e-6);
            QVERIFY2(found, "a corner of the new area is not where the canvas middle is");
        }
        const QImage image = turned.picture();
        const QColor inside = image.pixelColor(400, 250), outside = image.pixelColor(250, 100);
        QVERIFY(inside.blue() > inside.red() + 30); // the blue fill
        QCOMPARE(outside, bare.pixelColor(250, 100));
    }

    void nodeAndAreaDragsFollowThePointerAndUndoBringsThemBack() {
        EditorCanvas f;
        QVERIFY(f.show());
        f.state->zeroPoint = Point{100, 500};
        const auto id = f.addArea("Stalls", "teal", {{2, 3}, {4, 3}, {4, 1}, {2, 1}});
        f.state->selectedAudienceAreaID = id;
        // A source right on node 2: outside edit mode the press is the source's.
        auto source = f.addSource(1, f.onCanvas({4, 1}));
        f.drag(f.onCanvas({4, 1}), {550, 400});
        QCOMPARE(f.area().nodesMeters[2], (Point{4, 1}));
        QCOMPARE(source->position.get(), (Point{550, 400}));
        source->position = f.onCanvas({4, 1});

        // In edit mode node handles lie above the items.
        f.state->isEditingAudienceArea = true;
        const Point sourceBefore = source->position;
        AppState::clearHistory();
        const Point node = f.onCanvas(f.area().nodesMeters[2]);
        f.drag(node, {node.x + 50, node.y});
        QVERIFY(near(f.area().nodesMeters[2], {f.toMetres(node).x + 0.5, f.toMetres(node).y}, 1e-9));
        QCOMPARE(source->position.get(), sourceBefore);
        QCOMPARE(AppState::undoStack.size(), std::size_t(2)); // before the move and after it
        QCOMPARE(AppState::undoStack.back()->audienceAreas.get(), f.state->audienceAreas.get());
        QVERIFY(f.view->dragStartNodeMeters->empty());

        // The whole area: every node moves by the pointer's translation.
        const auto before = f.area().nodesMeters;
        f.drag({f.onCanvas({3, 2}).x, f.onCanvas({3, 2}).y},
               {f.onCanvas({3, 2}).x - 100, f.onCanvas({3, 2}).y + 50});
        for (std::size_t i = 0; i < before.size(); ++i)
            QVERIFY(near(f.area().nodesMeters[i], {before[i].x - 1, before[i].y - 0.5}, 1e-9));
        // Its state before is the one the node drag recorded after itself: one more entry.
        QCOMPARE(AppState::undoStack.size(), std::size_t(3));
        QVERIFY(f.view->dragStartAllNodes->empty());

        // Undo steps back through both drags.
        f.state->undo();
        QCOMPARE(f.area().nodesMeters, before);
        f.state->undo();
        QCOMPARE(f.area().nodesMeters[2], (Point{4, 1}));
    }

    void anAreaDragSendsLevelsForTheNewOutline() {
        EditorCanvas f;
        QVERIFY(f.show());
        f.state->zeroPoint = Point{100, 500};
        f.state->audienceAwarePanLaw = true;
        // Two loudspeakers at the top aiming down, narrow; the area below the first one.
        std::vector<Speaker> speakers;
        for (auto [id, x] : {std::pair{1, 250.0}, std::pair{2, 550.0}}) {
            Speaker s = support::speakerAt(id, {x, 100}, id, "Mix", 0, 20);
            s.positionMeters = f.toMetres({x, 100});
            speakers.push_back(s);
        }
        f.state->speakers = speakers;
        auto source = f.addSource(1, {300, 250});
        const auto id = f.addArea("Stalls", "teal", {{1, 2}, {3, 2}, {3, 0}, {1, 0}});
        f.state->selectedAudienceAreaID = id;
        f.state->isEditingAudienceArea = true;
        f.view->updateRelativeLevels();
        QTRY_VERIFY_WITH_TIMEOUT(f.lastLevels().size() == 2 && f.lastLevels() == f.expectedLevels(*source),
                                 deadline);
        const auto levelsBefore = f.state->mixerLevels.get();

        // Under the second loudspeaker, off the first one's aim.
        f.drag({300, 400}, {750, 400});
        QVERIFY(f.state->mixerLevels.get() != levelsBefore);
        QTRY_VERIFY_WITH_TIMEOUT(f.lastLevels() == f.expectedLevels(*source), deadline);
    }

    void thePanelNamesAndColoursTheEditedArea() {
        EditorCanvas f;
        QVERIFY(f.show());
        f.state->zeroPoint = Point{100, 500};
        const auto first = f.addArea("Stalls", "teal", {{1, 1}, {3, 1}, {3, 3}, {1, 3}});
        f.addArea("Balcony", "purple", {{4, 1}, {6, 1}, {6, 0}, {4, 0}}); // two lowest nodes
        QVERIFY(!f.areas->editPanel());
        f.state->isEditingAudienceArea = true;
        QVERIFY(!f.areas->editPanel()); // nothing selected

        // A tap on the second area selects it; its panel sits by its lower-left node.
        QTest::mouseClick(f.canvas.get(), Qt::LeftButton, {}, at(f.onCanvas({5, 0.5})));
        QTRY_VERIFY_WITH_TIMEOUT(f.areas->editPanel(), deadline);
        AudienceAreaEditPanel* panel = f.areas->editPanel();
        const Point anchor = f.onCanvas({4, 0});
        const QPointF centre = QRectF(panel->geometry()).center();
        QVERIFY(std::abs(centre.x() - (anchor.x + 60)) <= 1 && std::abs(centre.y() - (anchor.y + 30)) <= 1);
        QCOMPARE(panel->nameField()->text(), QStringLiteral("Balcony"));
        // The anchor's handle lies over the panel: a press there reaches the canvas.
        QCOMPARE(f.canvas->childAt(at(anchor)), nullptr);
        QVERIFY(f.canvas->childAt(at({anchor.x + 60, anchor.y + 30})) != nullptr);

        QTest::keyClick(panel->nameField(), Qt::Key_Backspace);
        QTest::keyClicks(panel->nameField(), "ies");
        QCOMPARE(f.area(1).name, std::string("Balconies"));
        QCOMPARE(f.area(0).name, std::string("Stalls"));
        QAction* indigo = nullptr;
        for (QAction* item : panel->colourMenu()->actions())
            if (item->text() == QStringLiteral("Indigo"))
                indigo = item;
        QVERIFY(indigo);
        QCOMPARE(panel->colourMenu()->actions().front()->text(), QStringLiteral("Black"));
        indigo->trigger();
        QCOMPARE(f.area(1).color, std::string("indigo"));
        QVERIFY(AppState::undoStack.empty()); // neither field records an undo state

        // Another area selected, the panel follows it; edit mode off, it goes.
        QTest::mouseClick(f.canvas.get(), Qt::LeftButton, {}, at(f.onCanvas({2, 2})));
        QTRY_COMPARE_WITH_TIMEOUT(f.state->selectedAudienceAreaID.get(), std::optional(first), deadline);
        QTRY_COMPARE_WITH_TIMEOUT(f.areas->editPanel()->nameField()->text(), QStringLiteral("Stalls"),
                                  deadline);
        f.state->isEditingAudienceArea = false;
        QTRY_VERIFY_WITH_TIMEOUT(!f.areas->editPanel(), deadline);
    }

    void layersDroppedAfterTheirCanvasLetItGo() {
        EditorCanvas f;
        QVERIFY(f.show());
        f.addArea("Stalls", "teal", {{1, 1}, {3, 1}, {3, 3}, {1, 3}});
        f.state->selectedAudienceAreaID = f.area().id;
        f.state->isEditingAudienceArea = true;
        QTRY_VERIFY_WITH_TIMEOUT(f.areas->editPanel(), deadline);
        f.canvas.reset(); // takes the panel with it
        f.state->audienceAreas = std::vector<AudienceArea>{};
        f.state->showBackgroundImage = true;
        QCoreApplication::processEvents();
        QVERIFY(!f.areas->editPanel());
        f.areas.reset();
        f.floorPlan.reset();
        f.grid.reset();
    }

    void theGridDrawsOneLinePerMetreAndNoneAtZoomZero() {
        EditorCanvas f(CanvasOrientation::top, {1000, 600});
        QVERIFY(f.show());
        QCOMPARE(f.state->zeroPoint.get(), (Point{0, 600})); // bottom left
        f.state->showGrid = true;
        const MetreGrid grid = metreGrid(1000, 0, 600, 100, 600);
        QCOMPARE(grid.count(MetreGrid::Family::right), std::size_t(11));
        QCOMPARE(grid.count(MetreGrid::Family::above), std::size_t(6));

        // Red runs along a row away from the ring: one per line that lies on the canvas.
        auto redRuns = [&](int y) {
            const QImage image = f.picture();
            int runs = 0;
            bool inRun = false;
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                const bool red = c.red() > 30 && c.red() > 2 * c.green() + 10;
                runs += red && !inRun ? 1 : 0;
                inRun = red;
            }
            return runs;
        };
        // x = 0 … 900: the eleventh line, at x = 1000, lies just past the right edge.
        QCOMPARE(redRuns(150), 10);
        f.view->zoomLevel = 200;
        QTRY_COMPARE_WITH_TIMEOUT(redRuns(150), 5, deadline);
        f.view->zoomLevel = 0;
        QTRY_COMPARE_WITH_TIMEOUT(redRuns(150), 0, deadline);
        f.state->showGrid = false;
        f.view->zoomLevel = 100;
        QTRY_COMPARE_WITH_TIMEOUT(redRuns(150), 0, deadline);
    }

    void aFloorPlanThatGoesLeavesTheCanvasDrawing() {
        QTemporaryDir dir;
        const QString path = writeFloorPlan(dir);
        QVERIFY(!path.isEmpty());
        EditorCanvas f;
        QVERIFY(f.show());
        f.state->zeroPointPosition = ZeroPointPosition::center;
        f.view->updateZeroPoint();
        const QColor bare = f.picture().pixelColor(400 - 250, 300 - 150),
                     bareLeft = f.picture().pixelColor(80, 300);
        f.floorPlan->cache().setRecheckInterval(0);
        f.state->backgroundImageURL = BackgroundImageBookmark::fileURL(path.toStdString());
        f.state->backgroundImageScale = 0.5;
        f.state->showBackgroundImage = true;
        // 600 × 400 points centred on the zero point.
        QTRY_VERIFY_WITH_TIMEOUT(f.picture().pixelColor(400 - 250, 300 - 150) != bare, deadline);
        QCOMPARE(f.picture().pixelColor(400 - 320, 300), bareLeft);

        QVERIFY(QFile::remove(path));
        QTRY_COMPARE_WITH_TIMEOUT(f.picture().pixelColor(400 - 250, 300 - 150), bare, deadline);
        // Not an image: still nothing, and the rest of the canvas draws as before.
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("<html>not a floor plan</html>");
        }
        f.state->showGrid = true;
        QTRY_VERIFY_WITH_TIMEOUT(f.picture().pixelColor(400, 150).red() > 30, deadline); // the grid
        QCOMPARE(f.picture().pixelColor(400 - 250, 300 - 150), bare);
    }

    void theApplicationsAddAreaButtonAddsAnAreaToEditOnItsCanvas() {
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        options.presenter = std::make_shared<support::RecordingPresenter>();
        options.terminate = [] {};
        SonavantApp app(options);
        app.start();
        QTRY_VERIFY_WITH_TIMEOUT(app.isMainViewShown(), deadline);
        AppState& state = *app.appState();
        state.isEditingAudienceArea = true;
        auto* row = qobject_cast<ToolRow*>(app.mainView()->toolRow());
        QVERIFY(row);
        QTRY_VERIFY_WITH_TIMEOUT(row->paletteButton("Add Area"), deadline);
        QTest::mouseClick(row->paletteButton("Add Area"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(state.audienceAreas->size(), std::size_t(1), deadline);
        QCOMPARE(state.selectedAudienceAreaID.get(), std::optional(state.audienceAreas->front().id));
        QWidget* canvas = app.mainView()->canvas();
        QTRY_VERIFY_WITH_TIMEOUT(canvas->findChild<AudienceAreaEditPanel*>() &&
                                     canvas->findChild<AudienceAreaEditPanel*>()->isVisible(),
                                 deadline);
        app.mainWindow().close();
    }

    // Outside edit mode an area takes a click and does nothing: the selection stays and no
    // rubber band starts; the empty canvas beside it still clears the selection.
    void aClickOnAnAreaOutsideEditModeKeepsTheSelection() {
        EditorCanvas f;
        QVERIFY(f.show());
        f.state->zeroPointPosition = ZeroPointPosition::center;
        f.view->updateZeroPoint();
        f.addArea("Stalls", "teal", {{-2, -1}, {2, -1}, {2, 1}, {-2, 1}});
        const auto source = f.addSource(1, f.onCanvas({3, 2}));
        const std::set<std::string> selected{soundObjectKey(source->id)};
        f.view->selectedObjects = selected;
        const QPoint inside = at(f.onCanvas({0.5, 0.2}));

        QTest::mouseClick(f.canvas.get(), Qt::LeftButton, {}, inside);
        QCoreApplication::processEvents();
        QCOMPARE(f.view->selectedObjects.get(), selected);

        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, inside);
        QTest::mouseMove(f.canvas.get(), inside + QPoint(40, 30));
        QTest::mouseMove(f.canvas.get(), inside + QPoint(80, 60));
        QVERIFY(!f.view->selectionRect.get().has_value());
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, inside + QPoint(80, 60));
        QCoreApplication::processEvents();
        QCOMPARE(f.view->selectedObjects.get(), selected);
        QCOMPARE(f.area().nodesMeters.front().x, -2.0); // nor does it move

        QTest::mouseClick(f.canvas.get(), Qt::LeftButton, {}, at(f.onCanvas({-3.5, 2.5})));
        QTRY_VERIFY_WITH_TIMEOUT(f.view->selectedObjects->empty(), deadline);
    }

    void screenshots() {
        QTemporaryDir dir;
        const QString path = writeFloorPlan(dir);
        QVERIFY(!path.isEmpty());
        {
            EditorCanvas f(CanvasOrientation::top, {1000, 700});
            QVERIFY(f.show());
            f.state->zeroPointPosition = ZeroPointPosition::center;
            f.view->updateZeroPoint();
            f.state->showGrid = true;
            f.state->backgroundImageURL = BackgroundImageBookmark::fileURL(path.toStdString());
            f.state->backgroundImageOffset = Point{-10, 5};
            f.state->backgroundImageScale = 0.5;
            f.state->backgroundImageRotation = 90;
            f.state->showBackgroundImage = true;
            f.addSpeaker(1, f.onCanvas({-3, 3}));
            f.addSource(1, f.onCanvas({1, -1}));
            QTRY_VERIFY_WITH_TIMEOUT(f.floorPlan->cache().picture(path) != nullptr, deadline);
            QCoreApplication::processEvents();
            guitest::saveScreenshot(*f.canvas, "canvas-grid-floor-plan");
        }
        {
            EditorCanvas f(CanvasOrientation::top, {1000, 700});
            QVERIFY(f.show());
            f.state->zeroPointPosition = ZeroPointPosition::center;
            f.view->updateZeroPoint();
            f.state->showGrid = true;
            f.addArea("Stalls", "teal", {{-4, 0}, {4, 0}, {3.5, -3}, {-3.5, -3}});
            const auto balcony = f.addArea("Balcony", "orange", {{-3, 1.5}, {3, 1.5}, {3, 3}, {-3, 3}});
            f.addSpeaker(1, f.onCanvas({-4.5, 2}));
            f.addSpeaker(2, f.onCanvas({4.5, 2}));
            f.addSource(1, f.onCanvas({0, 2.5}));
            f.state->selectedAudienceAreaID = balcony;
            f.state->isEditingAudienceArea = true;
            QTRY_VERIFY_WITH_TIMEOUT(f.areas->editPanel(), deadline);
            guitest::saveScreenshot(*f.canvas, "canvas-audience-areas-editing");
        }
    }
};

SONAVANT_GUI_TEST_MAIN(CanvasAreaEditorTests)
#include "CanvasAreaEditorTests.moc"
