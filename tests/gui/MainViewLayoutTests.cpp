// The main view's layout in the running application, driven with real clicks and keys: the
// sidebar column standing in for the hidden cue sidebar, the object list lying over the canvas
// without moving anything on it, "Quit Sonavant" (Ctrl+Q) through the one way out, and the
// names screen readers find the icon buttons, steppers and fields by.

#include "Sonavant/cues/FadeCueGenerator.h"
#include "Sonavant/cues/PathCue.h"
#include "Sonavant/cues/PathManager.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/panels/CueSidebarWidget.h"
#include "Sonavant/panels/ObjectListPanel.h"
#include "Sonavant/shell/MainView.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/QtPresenter.h"
#include "Sonavant/shell/SidebarColumn.h"
#include "Sonavant/shell/SonavantApp.h"
#include "Sonavant/shell/StepperField.h"
#include "Sonavant/shell/ToolRow.h"
#include "Sonavant/shell/TopBar.h"
#include "gui/GuiTestMain.h"
#include "platform/UserDefaults.h"
#include "support/RecordingPresenter.h"
#include "support/ShowFixtures.h"

#include "platform/qt/StyledButton.h"
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>

#include <filesystem>

namespace {

constexpr int deadline = 10000;

std::unique_ptr<SonavantApp> launch(std::function<void()> terminate = [] {}) {
    SonavantApp::Options options;
    options.splashSeconds = 0;
    options.checkForUpdates = false;
    options.presenter = std::make_shared<support::RecordingPresenter>();
    options.terminate = std::move(terminate);
    auto app = std::make_unique<SonavantApp>(options);
    app->start();
    return app;
}

int shown(std::initializer_list<const QWidget*> widgets) {
    int n = 0;
    for (const QWidget* w : widgets)
        n += w->isVisible();
    return n;
}

} // namespace

class MainViewLayoutTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Every desk message of these tests stays on this machine.
        platform::UserDefaults::standard().set("savedTargetDeskIP", std::string("127.0.0.1"));
    }

    void theSidebarColumnShowsOnlyInThePlaceOfTheHiddenCueSidebar() {
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), deadline);
        QVERIFY(QTest::qWaitForWindowExposed(&app->mainWindow()));
        auto* cues = qobject_cast<CueSidebarWidget*>(app->mainView()->cueSidebar());
        QVERIFY(cues);
        SidebarColumn* column = app->mainView()->sidebarColumn();
        AppState& show = *app->appState();
        for (bool sidebar : {true, false}) {
            show.showSidebar = sidebar;
            QTRY_COMPARE_WITH_TIMEOUT(cues->isVisible(), sidebar, deadline);
            QTRY_COMPARE_WITH_TIMEOUT(column->isVisible(), !sidebar, deadline);
            // One of each on screen, whichever holds the trailing edge.
            QCOMPARE(shown({cues->sidebarToggle(), column->sidebarToggle()}), 1);
            QCOMPARE(shown({cues->mixerButton(), column->mixerButton()}), 1);
            QCOMPARE(shown({cues->audienceAreaButton(), column->audienceAreaButton()}), 1);
            QWidget* trailing = sidebar ? static_cast<QWidget*>(cues) : column;
            QCOMPARE(trailing->mapTo(app->mainView(), QPoint(trailing->width(), 0)).x(),
                     app->mainView()->width());
            // The toggle on screen flips it.
            QTest::mouseClick(sidebar ? cues->sidebarToggle() : column->sidebarToggle(), Qt::LeftButton);
            QCOMPARE(show.showSidebar.get(), !sidebar);
            QTRY_COMPARE_WITH_TIMEOUT(column->isVisible(), sidebar, deadline);
        }
        show.showSidebar = true;
    }

    void theObjectListLiesOverTheCanvasAndMovesNothingOnIt() {
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), deadline);
        QVERIFY(QTest::qWaitForWindowExposed(&app->mainWindow()));
        MainView& main = *app->mainView();
        ContentView& view = app->contentView();
        QWidget* canvas = main.canvas();
        QTRY_VERIFY_WITH_TIMEOUT(canvas->width() > 600, deadline);
        const MixingDesk desk = *view.selectedDesk.get();
        // Items under the panel's place and at the trailing edge, where a narrower canvas
        // would have lost them.
        AppState& show = *app->appState();
        const double right = canvas->width() - 12.0, bottom = canvas->height() - 40.0;
        auto metres = [&](Point at) {
            return canvasToMetres(show.canvasOrientation, at, view.zoomLevel, show.zeroPoint);
        };
        std::vector<std::shared_ptr<SoundObject>> sources;
        for (auto [number, at] : {std::pair{1, Point{30, 80}}, std::pair{2, Point{right, 150}}}) {
            sources.push_back(support::sourceAt(number, at, desk));
            sources.back()->positionMeters = metres(at);
        }
        std::vector<Speaker> speakers;
        for (auto [id, at] : {std::pair{1, Point{100, bottom}}, std::pair{2, Point{right, 60}}}) {
            speakers.push_back(support::speakerAt(id, at, id));
            speakers.back().positionMeters = metres(at);
        }
        show.soundObjects = sources;
        show.speakers = speakers;
        QCoreApplication::processEvents();

        auto screenPositions = [&] {
            std::vector<QPoint> at;
            for (const auto& source : show.soundObjects.get())
                at.push_back(canvas->mapToGlobal(QPoint(int(source->position->x), int(source->position->y))));
            for (const auto& speaker : show.speakers.get())
                at.push_back(canvas->mapToGlobal(QPoint(int(speaker.position.x), int(speaker.position.y))));
            return at;
        };
        const QSize size = canvas->size();
        const Point zero = show.zeroPoint;
        const auto before = screenPositions();

        auto* toolRow = qobject_cast<ToolRow*>(main.toolRow());
        QVERIFY(toolRow);
        QTest::mouseClick(toolRow->objectListButton(), Qt::LeftButton);
        QVERIFY(view.showingObjectList.get());
        QWidget* panel = main.sidePanel();
        QTRY_VERIFY_WITH_TIMEOUT(panel->isVisible(), deadline);
        QVERIFY2(panel->x() < 0 || main.isSlidingSidePanel(), "it moves in from the leading edge");
        QTRY_VERIFY_WITH_TIMEOUT(!main.isSlidingSidePanel(), deadline);
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();

        // Over the canvas's leading 240 points, at 70 %, and above the canvas.
        QCOMPARE(panel->mapTo(canvas->parentWidget(), QPoint(0, 0)),
                 canvas->mapTo(canvas->parentWidget(), QPoint(0, 0)));
        QCOMPARE(panel->size(), QSize(240, canvas->height()));
        auto* opacity = qobject_cast<QGraphicsOpacityEffect*>(panel->graphicsEffect());
        QVERIFY(opacity);
        QCOMPARE(opacity->opacity(), 0.7);
        QWidget* onTop = main.canvasArea()->childAt(120, 100);
        QVERIFY(onTop && (onTop == panel || panel->isAncestorOf(onTop)));

        QCOMPARE(canvas->size(), size);
        QCOMPARE(show.zeroPoint.get(), zero);
        QCOMPARE(screenPositions(), before);
        guitest::saveScreenshot(app->mainWindow(), "main-window-object-list-open");

        auto* list = qobject_cast<ObjectListPanel*>(panel);
        QVERIFY(list);
        QTest::mouseClick(list->closeButton(), Qt::LeftButton);
        QVERIFY(!view.showingObjectList.get());
        QVERIFY(panel->isVisible()); // on its way out
        QTRY_VERIFY_WITH_TIMEOUT(!panel->isVisible(), deadline);
        QCOMPARE(canvas->size(), size);
        QCOMPARE(screenPositions(), before);
    }

    void theTopBarSpacesItsLevelBoxesAndSharesTheFreeWidth() {
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), deadline);
        // Wide enough that a third of the free width is more than the group needs.
        app->mainWindow().resize(2600, 800);
        TopBar* bar = app->mainView()->topBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->width() > 2200, deadline);
        auto global = [](QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); };
        const QRect desk = global(bar->deskButton()), zoom = global(bar->zoomBox()),
                    min = global(bar->minBox()), max = global(bar->maxBox()), range = global(bar->rangeBox()),
                    output = global(bar->outputSwitch());
        QCOMPARE(min.left() - zoom.right() - 1, 3);
        QCOMPARE(max.left() - min.right() - 1, 3);
        QCOMPARE(range.left() - max.right() - 1, 3);
        // Flexible spaces on both sides of the group, each as wide as the group, whose range
        // box takes what the other boxes leave.
        const int before = zoom.left() - desk.right() - 1, after = output.left() - range.right() - 1;
        QVERIFY2(std::abs(before - after) <= 2, qPrintable(QString("%1 %2").arg(before).arg(after)));
        QVERIFY2(std::abs((range.right() - zoom.left() + 1) - (before - 16)) <= 10,
                 qPrintable(QString("%1 %2").arg(range.right() - zoom.left() + 1).arg(before)));
        QVERIFY(range.width() > 170);
        app->mainWindow().resize(1200, 760);
    }

    void ctrlQWritesTheWorkingStateAndTheAutosaveAndEnds() {
        int terminations = 0;
        auto app = launch([&] { ++terminations; });
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), deadline);
        QVERIFY(QTest::qWaitForWindowActive(&app->mainWindow()));
        const auto autosave = app->persistence().autosaveURL();
        std::filesystem::remove(autosave);
        app->appState()->minLevel = 17;

        QTest::keyClick(&app->mainWindow(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(terminations, 1);
        QCOMPARE(platform::UserDefaults::standard().integer("savedMinLevel"),
                 std::optional<std::int64_t>(17));
        QVERIFY(std::filesystem::exists(autosave));
        auto written = app->persistence().restoreAutosave();
        QVERIFY(written);
        QCOMPARE(written->minLevel.get(), 17);
        app.reset();
        QCOMPARE(terminations, 1); // the one way out runs once

        platform::UserDefaults::standard().remove("savedMinLevel");
        std::filesystem::remove(autosave);
    }

    void iconButtonsSteppersAndFieldsAreNamedByTheirHelp() {
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), deadline);
        QVERIFY(QTest::qWaitForWindowExposed(&app->mainWindow()));
        for (bool sidebar : {true, false}) {
            app->appState()->showSidebar = sidebar;
            QTRY_COMPARE_WITH_TIMEOUT(app->mainView()->sidebarColumn()->isVisible(), !sidebar, deadline);
            for (QWidget* w : app->mainWindow().findChildren<QWidget*>()) {
                if (!w->isVisible() || qobject_cast<QScrollBar*>(w))
                    continue;
                auto* button = qobject_cast<QAbstractButton*>(w);
                const bool nameless = (button && button->text().isEmpty()) || qobject_cast<QLineEdit*>(w) ||
                                      qobject_cast<QAbstractSlider*>(w);
                if (nameless)
                    QVERIFY2(!w->accessibleName().isEmpty(),
                             qPrintable(QString(w->metaObject()->className()) + " " + w->objectName()));
            }
        }
        auto* toolRow = qobject_cast<ToolRow*>(app->mainView()->toolRow());
        QCOMPARE(toolRow->settingsButton()->accessibleName(), QString("Open settings"));
        TopBar* bar = app->mainView()->topBar();
        QCOMPARE(bar->zoomField()->field()->accessibleName(), QString("Set the canvas zoom level"));
        QCOMPARE(bar->minField()->upButton()->accessibleName(),
                 QString("Minimum level sent to each output (up)"));
        QCOMPARE(bar->rangeSlider()->accessibleName(),
                 QString("Set the area between minimum and maximum for all inputs"));
        // The name follows the help when it changes.
        SidebarColumn* column = app->mainView()->sidebarColumn();
        QCOMPARE(column->audienceAreaButton()->accessibleName(), QString("Edit Audience Areas"));
        QTest::mouseClick(column->audienceAreaButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(column->audienceAreaButton()->accessibleName(),
                                  QString("Exit Audience Area Edit Mode"), deadline);
        // A name given by hand after the rule's stays when the help changes again.
        column->audienceAreaButton()->setAccessibleName("Areas");
        QTest::mouseClick(column->audienceAreaButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(column->audienceAreaButton()->toolTip(), QString("Edit Audience Areas"),
                                  deadline);
        QCOMPARE(column->audienceAreaButton()->accessibleName(), QString("Areas"));
        app->appState()->isEditingAudienceArea = false;
        app->appState()->showSidebar = true;
    }

    void aSecondFadeCueRunIsRefusedWithAnAlert() {
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), deadline);
        QVERIFY(QTest::qWaitForWindowActive(&app->mainWindow()));
        ContentView& view = app->contentView();
        QCOMPARE(view.selectedDesk.get()->name, std::string("QLab 5")); // the desk file's first
        view.selectDesk(*view.selectedDesk.get()); // chosen, as the top bar does; it clears the show
        auto cue =
            std::make_shared<PathCue>(platform::UUID::random(), "Cue 1", 4.0, std::vector<platform::UUID>{},
                                      std::vector<Point>{{0, 0}, {2, 0}}, 1.0, std::nullopt, std::nullopt,
                                      false, std::nullopt, TriggerNextOption::none, false);
        view.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{cue};
        view.pathManager->selectCue(cue, false);
        auto& presenter = static_cast<support::RecordingPresenter&>(app->presenter());
        presenter.alertAnswers = {"Close"}; // QLab's silence ends the first run

        // The operator's way: the menu bar, then the item.
        auto choose = [&](const QString& menuTitle, const QString& item) {
            QMenuBar* bar = app->mainWindow().menuBar();
            QAction* menuAction = nullptr;
            for (QAction* a : bar->actions())
                if (a->text() == menuTitle)
                    menuAction = a;
            QVERIFY(menuAction);
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menuAction).center());
            QMenu* menu = menuAction->menu();
            QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), deadline);
            QAction* entry = nullptr;
            for (QAction* a : menu->actions())
                if (a->text() == item)
                    entry = a;
            QVERIFY(entry && entry->isEnabled());
            // The pointer comes onto the item before the click, as a hand moves.
            const QPoint at = menu->actionGeometry(entry).center();
            QTest::mouseMove(menu, at - QPoint(12, 0));
            QTest::mouseMove(menu, at);
            QTRY_COMPARE_WITH_TIMEOUT(menu->activeAction(), entry, deadline);
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
            QTRY_VERIFY_WITH_TIMEOUT(!menu->isVisible(), deadline);
        };
        choose("Tools", "Generate Fade Cues");
        QTRY_VERIFY2_WITH_TIMEOUT(
            FadeCueGenerator::isRunning(),
            presenter.alerts.empty() ? "no alert" : presenter.alerts.back().title.c_str(), deadline);
        QVERIFY(presenter.alerts.empty());
        choose("Tools", "Generate Fade Cues");
        QTRY_COMPARE_WITH_TIMEOUT(presenter.alerts.size(), std::size_t(1), deadline);
        const PresenterAlert& refusal = presenter.alerts.front();
        QCOMPARE(refusal.style, PresenterAlert::Style::warning);
        QCOMPARE(refusal.title, std::string("Fade Cues Are Being Generated"));
        QCOMPARE(refusal.buttons, std::vector<std::string>{"OK"});
        QTRY_VERIFY_WITH_TIMEOUT(!FadeCueGenerator::isRunning(), deadline);
        QCOMPARE(presenter.alerts.back().title, std::string("QLab did not reply"));
        app->shutdown();
    }

    void theFilePanelsLabelTheirTypeFilter() {
        QCOMPARE(QtPresenter::typeFilter(ContentView::exportPanel()),
                 QString("Sonavant Shows (*.sonavant *.xml *.json)"));
        QCOMPARE(QtPresenter::typeFilter({"Import .dbpr", {}, {}, "All Files"}), QString("All Files (*)"));
    }
};

SONAVANT_GUI_TEST_MAIN(MainViewLayoutTests)
#include "MainViewLayoutTests.moc"
