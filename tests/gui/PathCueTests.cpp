// Path cues end to end: a path drawn on the canvas with real mouse events becomes a row of
// the cue sidebar, plays to a fake desk on loopback and stops; row clicks, row moves and the
// properties sheet with real widgets; node drags on the canvas; and screenshots.

#include "gui/CanvasGuiSupport.h"
#include "gui/GuiTestMain.h"

#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/panels/CueListWidget.h"
#include "Sonavant/panels/CueRowWidget.h"
#include "Sonavant/panels/CueSidebarWidget.h"
#include "Sonavant/panels/PathPropertiesSheet.h"
#include "Sonavant/shell/MainView.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/SonavantApp.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

using namespace canvasgui;

namespace {

constexpr int deadline = 5000;

double distance(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

bool near(Point a, Point b, double tolerance = 1e-6) {
    return distance(a, b) <= tolerance;
}

std::shared_ptr<PathCue> makeCue(double number, std::vector<Point> metres,
                                 std::vector<platform::UUID> targets) {
    auto cue = std::make_shared<PathCue>(platform::UUID::random(), "Cue " + std::to_string(int(number)), 4.0,
                                         targets, std::move(metres), number, std::nullopt, std::nullopt,
                                         false, std::nullopt, TriggerNextOption::none, false);
    cue->hasError = targets.empty();
    return cue;
}

QPoint centreOf(QWidget* widget, QWidget* in) {
    return widget->mapTo(in, widget->rect().center());
}

} // namespace

class PathCueTests : public QObject {
    Q_OBJECT

    // The canvas and the sidebar side by side in one window, as the main window has them.
    struct Window {
        ShowOnCanvas f;
        std::unique_ptr<QWidget> host = std::make_unique<QWidget>();
        CueSidebarWidget* sidebar = nullptr;
        CanvasWidget* canvas = nullptr;
        PathManager& manager() { return *f.view->pathManager; }
        CueListWidget* list() { return sidebar->list(); }

        Window() : f(CanvasOrientation::top, {700, 560}) {
            placeCanvasBesideSidebar(host.get(), f, canvas, sidebar);
            host->resize(700 + int(f.view->listW), 560);
        }
        ~Window() { host.reset(); }

        bool show() {
            host->show();
            return QTest::qWaitForWindowExposed(host.get());
        }
        void addCues(std::initializer_list<std::shared_ptr<PathCue>> cues) {
            manager().pathCues.update([&](auto& list) { list.insert(list.end(), cues.begin(), cues.end()); });
        }
        CueRowWidget* rowAt(std::size_t index) {
            const auto rows = list()->rows();
            return index < rows.size() ? rows[index] : nullptr;
        }
        void clickRow(std::size_t index, Qt::KeyboardModifiers modifiers = {}) {
            QTest::mouseClick(list(), Qt::LeftButton, modifiers, centreOf(rowAt(index), list()));
        }
        // The rows are listed and laid out one under the other.
        bool rowsShown(std::size_t count) {
            const auto rows = list()->rows();
            if (rows.size() != count)
                return false;
            for (std::size_t i = 1; i < rows.size(); ++i)
                if (rows[i]->geometry().top() <= rows[i - 1]->geometry().top())
                    return false;
            return true;
        }
        std::vector<platform::UUID> order() {
            std::vector<platform::UUID> ids;
            for (const auto& cue : manager().pathCues.get())
                ids.push_back(cue->id);
            return ids;
        }
    };

private slots:

    void drawnPathBecomesTheLastRowAndPlaysToTheDesk() {
        Window w;
        QVERIFY(w.show());
        auto source = w.f.addSource(1, {150, 400});
        w.f.addSpeaker(1, {150, 100});
        w.f.addSpeaker(2, {550, 100});
        w.addCues({makeCue(1, {{0, 0}, {1, 0}}, {source->id}), makeCue(5, {{0, 0}, {1, 1}}, {source->id})});
        QTRY_VERIFY_WITH_TIMEOUT(w.rowsShown(2), deadline);

        // Select the source, then "Draw Path" from the sidebar.
        QTest::mouseClick(w.canvas, Qt::LeftButton, {}, QPoint(150, 400));
        QVERIFY(w.f.view->isSoundObjectSelected(*source));
        QTest::mouseClick(w.sidebar->drawButton(), Qt::LeftButton);
        QVERIFY(w.f.view->isRecordingPath.get());

        // One stroke from the source, right and up, then a right click ends it.
        QTest::mousePress(w.canvas, Qt::LeftButton, {}, QPoint(150, 400));
        for (int x = 160; x <= 550; x += 10)
            QTest::mouseMove(w.canvas, QPoint(x, 400));
        for (int y = 390; y >= 150; y -= 10)
            QTest::mouseMove(w.canvas, QPoint(550, y));
        QTest::mouseRelease(w.canvas, Qt::LeftButton, {}, QPoint(550, 150));
        QVERIFY2(near(source->position, {150, 400}), "the stroke dragged the source");
        QVERIFY(w.f.view->isRecordingPath.get());
        QTest::mousePress(w.canvas, Qt::RightButton, {}, QPoint(560, 140));
        QTest::mouseRelease(w.canvas, Qt::RightButton, {}, QPoint(560, 140));
        QVERIFY(!w.f.view->isRecordingPath.get());

        QTRY_VERIFY_WITH_TIMEOUT(w.rowsShown(3), deadline);
        CueRowWidget* row = w.rowAt(2);
        QCOMPARE(row->nameLabel()->text(), QString("Cue 3"));
        QCOMPARE(row->numberLabel()->text(), QString("2"));
        QCOMPARE(row->timeLabel()->text(), QString("5.00"));
        auto cue = row->cue();
        QCOMPARE(cue->number, 2.0);
        QCOMPARE(cue->soundObjectIDs, std::vector<platform::UUID>{source->id});
        QVERIFY(cue->nodesMeters.size() >= 7);
        for (std::size_t i = 1; i + 1 < cue->nodesMeters.size(); ++i)
            QVERIFY2(distance(cue->nodesMeters[i], cue->nodesMeters[i - 1]) >= 1.0 - 1e-9,
                     qPrintable(QString("nodes %1 and %2 closer than a metre").arg(i - 1).arg(i)));
        QTRY_VERIFY_WITH_TIMEOUT(row->state().selected, deadline);
        QVERIFY(w.f.view->isSoundObjectSelected(*source));

        // Play from the sidebar: the source follows the path and levels reach the desk.
        w.f.fakeDesk.clear();
        QTest::mouseClick(w.sidebar->playButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(row->state().playing, deadline);
        QTRY_VERIFY_WITH_TIMEOUT(distance(source->position, {150, 400}) > 50, deadline);
        QTRY_VERIFY_WITH_TIMEOUT(w.f.fakeDesk.datagramCount() > 0, deadline);
        QVERIFY(w.f.fakeDesk.addresses().front().rfind("/ch/1/mix/", 0) == 0);

        QTest::mouseClick(w.sidebar->stopButton(), Qt::LeftButton);
        QVERIFY(w.manager().playbackSessions.empty());
        QTRY_VERIFY_WITH_TIMEOUT(!row->state().playing, deadline);
        const Point stoppedAt = source->position;
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        QVERIFY(near(source->position, stoppedAt));
    }

    void rowClicksSelectOpenAndMoveRowsKeptInPlace() {
        Window w;
        QVERIFY(w.show());
        auto source = w.f.addSource(1, {100, 100});
        auto a = makeCue(1, {{0, 0}, {1, 0}}, {source->id});
        auto b = makeCue(2, {{0, 0}, {1, 0}}, {source->id});
        auto broken = makeCue(3, {{0, 0}, {1, 0}}, {}); // no target: still selectable
        w.addCues({a, b, broken});
        QTRY_VERIFY_WITH_TIMEOUT(w.rowsShown(3), deadline);
        CueRowWidget* rowA = w.list()->row(a->id);

        w.clickRow(1);
        QCOMPARE(w.manager().selectedCueIDs.get(), std::set<platform::UUID>{b->id});
        w.clickRow(2, Qt::ShiftModifier);
        QCOMPARE(w.manager().selectedCueIDs.get(), (std::set<platform::UUID>{b->id, broken->id}));
        w.clickRow(1, Qt::ShiftModifier);
        QCOMPARE(w.manager().selectedCueIDs.get(), std::set<platform::UUID>{broken->id});
        QTRY_VERIFY_WITH_TIMEOUT(w.rowAt(2)->state().selected && w.rowAt(2)->state().error, deadline);
        QVERIFY(!w.rowAt(1)->state().selected);

        // A double click (its first click, then the second as the platform delivers it) opens
        // the sheet of its cue and selects only it.
        w.clickRow(0);
        QTest::mouseDClick(w.list(), Qt::LeftButton, {}, centreOf(w.rowAt(0), w.list()));
        QCOMPARE(w.f.presenter->pathCueSheets, 1);
        QCOMPARE(w.f.view->cueForProperties.get(), a);
        QCOMPARE(w.manager().selectedCueIDs.get(), std::set<platform::UUID>{a->id});

        // Drag the last row to the top; a list announcement during the drag does not end it.
        QTest::mousePress(w.list(), Qt::LeftButton, {}, centreOf(w.rowAt(2), w.list()));
        const QPoint from = centreOf(w.rowAt(2), w.list());
        for (int dy = 5; dy <= from.y(); dy += 5)
            QTest::mouseMove(w.list(), QPoint(from.x(), from.y() - dy));
        w.manager().pathCues = w.manager().pathCues.get();
        w.list()->sync();
        QTest::mouseMove(w.list(), QPoint(from.x(), 2));
        QTest::mouseRelease(w.list(), Qt::LeftButton, {}, QPoint(from.x(), 2));
        QCOMPARE(w.order(), (std::vector<platform::UUID>{broken->id, a->id, b->id}));
        QTRY_VERIFY_WITH_TIMEOUT(w.rowAt(0)->cue() == broken && w.rowsShown(3), deadline);
        QCOMPARE(w.list()->row(a->id), rowA); // the same widget, refreshed in place

        // The saved working state keeps the order.
        w.f.view->saveState();
        ContentView reloaded(support::emptyShow());
        reloaded.userDefaults = &w.f.defaults;
        reloaded.loadState();
        std::vector<platform::UUID> ids;
        for (const auto& cue : reloaded.pathManager->pathCues.get())
            ids.push_back(cue->id);
        QCOMPARE(ids, w.order());
    }

    void sidebarHeaderAndToolbarButtons() {
        Window w;
        QVERIFY(w.show());
        auto source = w.f.addSource(1, {100, 100});
        auto a = makeCue(1, {{0, 0}, {1, 0}}, {source->id});
        auto b = makeCue(2, {{0, 0}, {1, 0}}, {source->id});
        auto c = makeCue(3, {{0, 0}, {1, 0}}, {source->id});
        w.addCues({a, b, c});
        QTRY_VERIFY_WITH_TIMEOUT(w.rowsShown(3), deadline);
        CueSidebarWidget& sidebar = *w.sidebar;
        QCOMPARE(sidebar.title()->text(), QString("Path Cues"));
        QCOMPARE(sidebar.playButton()->toolTip(), QString("Play Selected Cue(s)"));
        QCOMPARE(sidebar.audienceAreaButton()->toolTip(), QString("Edit Audience Areas"));

        QTest::mouseClick(sidebar.mixerButton(), Qt::LeftButton);
        QCOMPARE(w.f.presenter->mixerRequests, 1);
        QTest::mouseClick(sidebar.audienceAreaButton(), Qt::LeftButton);
        QVERIFY(w.f.state->isEditingAudienceArea.get());
        QTRY_COMPARE_WITH_TIMEOUT(sidebar.audienceAreaButton()->toolTip(),
                                  QString("Exit Audience Area Edit Mode"), deadline);
        w.f.state->isEditingAudienceArea = false;

        MixingDesk ds100 = desk();
        ds100.displayName = "D&B Soundscape";
        w.f.state->selectedDesk = ds100;
        QTRY_VERIFY_WITH_TIMEOUT(
            !sidebar.mixerButton()->isVisible() && !sidebar.audienceAreaButton()->isVisible(), deadline);
        w.f.state->selectedDesk = desk();
        QTRY_VERIFY_WITH_TIMEOUT(sidebar.mixerButton()->isVisible(), deadline);

        // Delete acts at once on every selected cue.
        w.clickRow(0);
        w.clickRow(2, Qt::ShiftModifier);
        QTest::mouseClick(sidebar.deleteButton(), Qt::LeftButton);
        QCOMPARE(w.manager().pathCues.get(), std::vector<std::shared_ptr<PathCue>>{b});
        QTRY_VERIFY_WITH_TIMEOUT(w.rowsShown(1), deadline);

        const bool expanded = w.f.state->showSidebar.get();
        QTest::mouseClick(sidebar.sidebarToggle(), Qt::LeftButton);
        QCOMPARE(w.f.state->showSidebar.get(), !expanded);
        QTRY_COMPARE_WITH_TIMEOUT(sidebar.title()->isVisibleTo(&sidebar), !expanded, deadline);
    }

    void propertiesSheetRefusesAppliesAndDeletes() {
        Window w;
        QVERIFY(w.show());
        auto one = w.f.addSource(1, {100, 100});
        auto two = w.f.addSource(2, {200, 100});
        auto other = makeCue(2, {{0, 0}, {1, 0}}, {one->id});
        auto cue = makeCue(1, {{0, 0}, {2, 0}}, {one->id});
        w.addCues({cue, other});
        QTRY_VERIFY_WITH_TIMEOUT(w.rowsShown(2), deadline);

        w.f.view->cueForProperties = cue;
        PathPropertiesSheet* sheet = PathPropertiesSheet::present(*w.f.view, w.host.get());
        QVERIFY(sheet);
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        QCOMPARE(sheet->size(), QSize(360, 550));
        QCOMPARE(sheet->numberField()->text(), QString("1.0"));
        QCOMPARE(sheet->targetsField()->text(), QString("1"));

        auto typeAndReturn = [](QLineEdit* field, const QString& text) {
            field->selectAll();
            QTest::keyClicks(field, text);
            QTest::keyClick(field, Qt::Key_Return);
        };
        typeAndReturn(sheet->numberField(), "2");
        QCOMPARE(sheet->numberField()->text(), QString("1.0"));
        QCOMPARE(cue->number, 1.0);
        typeAndReturn(sheet->timeField(), "0");
        QCOMPARE(sheet->timeField()->text(), QString("4.0"));
        typeAndReturn(sheet->timeField(), "-3");
        QCOMPARE(cue->time, 4.0);
        typeAndReturn(sheet->targetsField(), "2, 7, x");
        QCOMPARE(cue->soundObjectIDs, std::vector<platform::UUID>{one->id});
        QVERIFY(sheet->errorLabel()->isVisible());
        QCOMPARE(sheet->errorLabel()->text(), QString("Cue number 2 is invalid or not unique.\n"
                                                      "Cue time -3 is invalid.\n"
                                                      "Invalid target(s): 7, x"));
        guitest::saveScreenshot(*sheet, "path-properties-validation-error");

        // Valid targets typed without Return, a new time and name: Done applies and closes.
        sheet->targetsField()->selectAll();
        QTest::keyClicks(sheet->targetsField(), "2");
        sheet->timeField()->selectAll();
        QTest::keyClicks(sheet->timeField(), "6");
        sheet->nameField()->selectAll();
        QTest::keyClicks(sheet->nameField(), "Walk");
        QTest::mouseClick(sheet->doneButton(), Qt::LeftButton);
        QCOMPARE(cue->soundObjectIDs, std::vector<platform::UUID>{two->id});
        QCOMPARE(cue->time, 6.0);
        QTRY_VERIFY_WITH_TIMEOUT(!PathPropertiesSheet::current(), deadline);
        QCOMPARE(w.f.view->cueForProperties.get(), nullptr);
        // The row shows the sheet's writes.
        QTRY_COMPARE_WITH_TIMEOUT(w.list()->row(cue->id)->nameLabel()->text(), QString("Walk"), deadline);
        QCOMPARE(w.list()->row(cue->id)->timeLabel()->text(), QString("6.00"));

        // Delete Path while the cue plays and is selected: the sheet closes, the playback
        // ends and the cue leaves the list.
        w.manager().selectCue(cue, false);
        w.f.view->playSelectedCues();
        QVERIFY(w.manager().playingCueIDs->count(cue->id));
        w.f.view->cueForProperties = cue;
        sheet = PathPropertiesSheet::present(*w.f.view, w.host.get());
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        QTest::mouseClick(sheet->deleteButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!PathPropertiesSheet::current(), deadline);
        QCOMPARE(w.manager().pathCues.get(), std::vector<std::shared_ptr<PathCue>>{other});
        QVERIFY(!w.manager().playingCueIDs->count(cue->id));
        QVERIFY(!w.manager().selectedCueIDs->count(cue->id));
        QCOMPARE(w.manager().selectedCue.get(), nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(w.list()->rows().size(), std::size_t(1), deadline);
    }

    void nodeDragsPutTheNodeUnderThePointer() {
        Window w;
        QVERIFY(w.show());
        w.f.state->zeroPoint = Point{100, 500};
        auto source = w.f.addSource(1, {300, 300}); // metres (2, 2)
        auto absolute = makeCue(1, {{0, 0}, {1, 0}, {1, 1}}, {source->id});
        auto relative = makeCue(2, {{0, 0}, {1, 0}, {1, 1}}, {source->id});
        relative->relative = true;
        relative->primarySoundObjectID = source->id; // drawn from the source: shifted by (200, -200)
        w.addCues({absolute, relative});
        w.manager().selectCue(absolute, false);
        w.manager().selectCue(relative, true);

        auto dragNode = [&](Point from, QPoint to) {
            QTest::mousePress(w.canvas, Qt::LeftButton, {}, at(from));
            QTest::mouseMove(w.canvas, (at(from) + to) / 2);
            QTest::mouseMove(w.canvas, to);
            QTest::mouseRelease(w.canvas, Qt::LeftButton, {}, to);
        };
        dragNode(w.f.view->displayedCueNodes(*absolute)[1], QPoint(260, 470));
        QVERIFY(near(w.f.view->displayedCueNodes(*absolute)[1], {260, 470}));
        QVERIFY(w.f.view->selectedObjects->contains(pathNodeKey(absolute->id, 1)));

        const Point drawn = w.f.view->displayedCueNodes(*relative)[2];
        QVERIFY(near(drawn, {400, 200}));
        dragNode(drawn, QPoint(450, 180));
        QVERIFY(near(w.f.view->displayedCueNodes(*relative)[2], {450, 180}, 1e-9));
        QVERIFY(near(source->position, {300, 300}));
    }

    void pathDrawnAndEditedInTheRunningApplication() {
        platform::UserDefaults::standard().set("savedTargetDeskIP", std::string("127.0.0.1"));
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        options.terminate = [] {};
        SonavantApp app(options); // with the Qt presenter: the sheet really opens
        app.start();
        QTRY_VERIFY_WITH_TIMEOUT(app.isMainViewShown(), deadline);
        QVERIFY(QTest::qWaitForWindowActive(&app.mainWindow()));
        ContentView& view = app.contentView();
        auto* sidebar = qobject_cast<CueSidebarWidget*>(app.mainView()->cueSidebar());
        QVERIFY(sidebar);
        QWidget* canvas = app.mainView()->canvas();
        QTRY_VERIFY_WITH_TIMEOUT(canvas->width() > 400 && canvas->height() > 300, deadline);

        const MixingDesk d = desk();
        auto source = support::sourceAt(1, {100, 150}, d);
        app.appState()->soundObjects = std::vector{source};
        view.selectedObjects = std::set<std::string>{soundObjectKey(source->id)};
        QTRY_VERIFY_WITH_TIMEOUT(ActionDispatcher::drawPath != nullptr, deadline); // the view has started
        ActionDispatcher::invoke(ActionDispatcher::drawPath);                      // the menu's "Draw Path"
        QVERIFY(view.isRecordingPath.get());
        QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(100, 150));
        for (int x = 110; x <= 400; x += 10)
            QTest::mouseMove(canvas, QPoint(x, 150));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(400, 150));
        QTest::mouseClick(canvas, Qt::LeftButton, Qt::ControlModifier, QPoint(400, 300));
        QVERIFY(!view.isRecordingPath.get());
        QTRY_COMPARE_WITH_TIMEOUT(sidebar->list()->rows().size(), std::size_t(1), deadline);
        CueRowWidget* row = sidebar->list()->rows().front();
        QTRY_VERIFY_WITH_TIMEOUT(row->height() > 20 && row->state().selected, deadline);

        QTest::mouseClick(sidebar->list(), Qt::LeftButton, {}, centreOf(row, sidebar->list()));
        QTest::mouseDClick(sidebar->list(), Qt::LeftButton, {}, centreOf(row, sidebar->list()));
        QPointer<PathPropertiesSheet> sheet = PathPropertiesSheet::current();
        QVERIFY(sheet);
        QTRY_VERIFY_WITH_TIMEOUT(sheet->isVisible(), deadline);
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->parentWidget(), static_cast<QWidget*>(&app.mainWindow()));
        QCOMPARE(sheet->nameField()->text(), QString("Cue 1"));
        QTest::mouseClick(sheet->doneButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!sheet, deadline);
        QCOMPARE(view.cueForProperties.get(), nullptr);
        view.pathManager->stopAllPlayback();
    }

    void screenshotThreeCuesTwoSelectedOnePlaying() {
        Window w;
        QVERIFY(w.show());
        w.f.state->zeroPoint = Point{350, 280};
        const MixingDesk d = desk();
        auto s1 = w.f.addSource(1, {250, 330});
        auto s2 = w.f.addSource(2, {450, 200});
        auto s3 = w.f.addSource(3, {350, 420});
        s2->colour = "red";
        s3->colour = "yellow";
        w.f.addSpeaker(1, {80, 60});
        w.f.addSpeaker(2, {620, 60});
        w.f.addSpeaker(3, {80, 500});
        w.f.addSpeaker(4, {620, 500});
        auto walk = makeCue(1, {{-1, -0.5}, {-2.5, 1}, {-1.5, 2.2}, {0.5, 2.4}}, {s1->id});
        walk->name = "Entrance walk";
        walk->loop = true;
        walk->triggerNext = TriggerNextOption::sequential;
        auto circle = makeCue(2, {{1, 0.8}, {2.5, 0.3}, {2.6, -1.2}, {1.2, -1.8}, {1, 0.8}}, {s2->id});
        circle->name = "Circle right";
        circle->relative = true;
        circle->triggerNext = TriggerNextOption::simultaneous;
        auto exit = makeCue(3, {{0, -1.4}, {0, -3}}, {s3->id});
        exit->name = "Exit";
        exit->time = 12.5;
        w.addCues({walk, circle, exit});
        w.manager().selectCue(walk, false);
        w.manager().selectCue(circle, true);
        w.manager().startPathCue(
            exit, w.f.view->zoomLevel, [] {}, std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(w.rowAt(2) && w.rowAt(2)->state().playing, deadline);
        QTRY_VERIFY_WITH_TIMEOUT(w.rowAt(0)->state().selected && w.rowAt(1)->state().selected, deadline);
        guitest::saveScreenshot(*w.host, "path-cues-three-cues-two-selected-one-playing");
        w.manager().stopAllPlayback();
        (void)d;
    }
};

SONAVANT_GUI_TEST_MAIN(PathCueTests)
#include "PathCueTests.moc"
