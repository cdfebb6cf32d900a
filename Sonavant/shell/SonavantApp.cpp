#include "Sonavant/shell/SonavantApp.h"

#include "Sonavant/OSC/OSCMonitor.h"
#include "Sonavant/canvas/AudienceAreaLayer.h"
#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/canvas/FloorPlanLayer.h"
#include "Sonavant/canvas/MetreGridLayer.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/panels/CueSidebarWidget.h"
#include "Sonavant/panels/FocusHolder.h"
#include "Sonavant/panels/ObjectListPanel.h"
#include "Sonavant/shell/MainView.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/MenuBar.h"
#include "Sonavant/shell/QtPresenter.h"
#include "Sonavant/shell/SplashScreen.h"
#include "Sonavant/shell/ToolRow.h"
#include "Sonavant/shell/UpdateChecker.h"
#include "Sonavant/ui/UpdateCheck.h"
#include "Sonavant/windows/GroupsWindowHolder.h"
#include "Sonavant/windows/SettingsWindowControllerHolder.h"
#include "Sonavant/windows/SnapshotsWindowHolder.h"
#include "platform/UserDefaults.h"
#include "platform/qt/AccessibleHelpNames.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdlib>

struct SonavantApp::CanvasLayers {
    explicit CanvasLayers(CanvasWidget& canvas) : grid(canvas), floorPlan(canvas), areas(canvas) {}
    MetreGridLayer grid;
    FloorPlanLayer floorPlan;
    AudienceAreaLayer areas;
};

SonavantApp::SonavantApp() : SonavantApp(Options{}) {}

SonavantApp::SonavantApp(Options options)
    : options_(std::move(options)), autosaveInterval_(AppStatePersistence::autosaveInterval(
                                        std::getenv(AppStatePersistence::autosaveIntervalVariable))) {
    // Screen readers (and tests driven through accessibility) find controls by their help.
    platform::AccessibleHelpNames::install();
    persistence_ = std::make_unique<AppStatePersistence>();
    appState_ = makeInitialAppState(*persistence_);
    oscMonitor_ = OSCMonitor::make();

    auto qtPresenter = std::make_shared<QtPresenter>();
    presenter_ = options_.presenter ? options_.presenter : qtPresenter;

    contentView_ = std::make_unique<ContentView>(appState_, targetDeskIP, targetPort, showZeroPoint, 320.0);
    contentView_->presenter = presenter_;
    contentView_->linkCheckSeconds =
        ContentView::linkCheckInterval(std::getenv(ContentView::linkCheckIntervalVariable));
    // "Save As..." and "Open..." write and list shows where the menu's Open Recent reads them.
    contentView_->persistence = persistence_.get();

    window_ = std::make_unique<MainWindow>(platform::UserDefaults::standard());
    qtPresenter->setParentWindow(window_.get());
    window_->onClose = [this] { return quit(); }; // other windows (the mixer) do not keep it running

    auto* splash = new SplashScreen(options_.splashSeconds);
    splash_ = splash;
    window_->setSplash(splash);
    mainView_ = new MainView(*contentView_);
    auto* canvas = new CanvasWidget(*contentView_);
    mainView_->setCanvas(canvas);
    canvasLayers_ = std::make_unique<CanvasLayers>(*canvas);
    // The layers follow the canvas out when another canvas takes its place.
    connect(canvas, &CanvasWidget::goingAway, this, [this] { canvasLayers_.reset(); });
    auto* toolRow = new ToolRow(*contentView_);
    toolRow->setAddAreaAction([view = contentView_.get()] { view->addAudienceArea(); });
    mainView_->setToolRow(toolRow);
    window_->setMainView(mainView_);
    // Inert until the main view has started: its items reach the view through the action
    // slots and notifications only.
    auto* menus =
        new MenuBar(window_.get(), appState_, targetDeskIP, targetPort, showZeroPoint, persistence_.get());
    menus->quit = [this] { quit(); };
    installPanels();

    updateChecker_ = new UpdateChecker([this] { return presenter_.get(); },
                                       platform::UserDefaults::standard(), [this] { quit(); }, this);
    connect(splash, &SplashScreen::appeared, this, [this] {
        if (options_.checkForUpdates && updateChecker_ && !updateChecker_->versionCheckDone())
            updateChecker_->checkForUpdate(options_.updateBaseAddress.value_or(update::baseAddress()));
    });
    connect(splash, &SplashScreen::activated, this, &SonavantApp::showMainView);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &SonavantApp::shutdown);
}

SonavantApp::~SonavantApp() {
    shutdown();
    // The widgets hold subscriptions to the view's values: they go first.
    SettingsWindowControllerHolder::shared().reset();
    SnapshotsWindowHolder::shared().reset();
    GroupsWindowHolder::shared().reset();
    canvasLayers_.reset();
    window_.reset();
}

// The object list at the canvas's leading edge, the holder that gives the canvas the
// arrow keys from the moment the main view shows, and the cue sidebar.
void SonavantApp::installPanels() {
    mainView_->setSidePanel(new ObjectListPanel(*contentView_));
    auto* focusHolder = new FocusHolder(mainView_);
    focusHolder->setKeyTarget(mainView_->canvas());
    focusHolder->lower();
    mainView_->setCueSidebar(new CueSidebarWidget(*contentView_));
}

QtPresenter* SonavantApp::qtPresenter() const {
    return dynamic_cast<QtPresenter*>(presenter_.get());
}

std::shared_ptr<AppState> SonavantApp::makeInitialAppState(AppStatePersistence& persistence) {
    if (auto restored = persistence.restoreAutosave())
        return restored;
    return std::make_shared<AppState>(
        std::vector<Speaker>{}, std::vector<std::shared_ptr<SoundObject>>{}, std::vector<ObjectGroup>{},
        std::vector<Snapshot>{}, std::nullopt,
        /*oscOutputOn*/ true, "127.0.0.1", "49900", /*showZeroPoint*/ true,
        /*range*/ 5.0, 0, 100, /*minMaxRelitive*/ false, std::vector<std::shared_ptr<PathCue>>{}, Point{0, 0},
        ZeroPointPosition::bottomLeft,
        /*isSoundScapeMode*/ false, "6000", std::nullopt, false, Point{0, 0}, 1.0, CanvasOrientation::top,
        0.0, /*showSidebar*/ true, /*constantPowerPan*/ true, PanningMode::constantPower);
}

void SonavantApp::start() {
    window_->configureMainWindow();
    window_->show();
}

void SonavantApp::showMainView() {
    if (mainViewShown_ || shutDown_)
        return;
    mainViewShown_ = true;
    window_->showMainView();
    contentView_->onAppearLoad();
    persistence_->startAutosave(autosaveInterval_,
                                [view = contentView_.get()] { view->writeAutosaveAndWorkingState(); });
    emit mainViewShown();
}

bool SonavantApp::writeFinalSave() {
    finalSaveWritten_ = true;
    // A view that never came on screen never loaded the working state: saving it would
    // replace the operator's with launch values. The view's write goes behind those already
    // handed to its writer's thread, and is waited for.
    if (mainViewShown_)
        return contentView_->finishWrites();
    // The show restored at launch, under the stamp it was restored with.
    return persistence_->writeAutosave(*appState_, persistence_->restoredWriteStamp());
}

void SonavantApp::shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    if (window_)
        window_->saveFrame();
    if (!finalSaveWritten_)
        writeFinalSave();
    // Nothing the writer's thread holds is left behind when the program ends.
    contentView_->waitForWrites();
    if (mainViewShown_)
        contentView_->onDisappearCleanup();
    platform::UserDefaults::standard().synchronize();
    presenter_->closeMixerWindow();
}

bool SonavantApp::quit() {
    if (!shutDown_ && !writeFinalSave()) {
        std::string reasons;
        for (const std::string& reason :
             {persistence_->autosaveError(), platform::UserDefaults::standard().writeError()})
            if (!reason.empty())
                reasons += reason + "\n\n";
        // Return, Escape and closing the box all keep the show: only a click discards it.
        constexpr std::size_t cancel = 1;
        const std::size_t answer =
            presenter_->showAlert({PresenterAlert::Style::critical,
                                   "The show could not be saved before quitting.",
                                   reasons + "If you quit now, the changes since the last save are lost.",
                                   {"Quit Anyway", "Cancel"},
                                   cancel,
                                   cancel});
        if (answer != 0) {
            finalSaveWritten_ = false; // still running: the next quit saves again
            return false;
        }
    }
    endProcess();
    return true;
}

void SonavantApp::quitWithoutAsking() {
    endProcess();
}

void SonavantApp::endProcess() {
    shutdown();
    if (options_.terminate) {
        options_.terminate();
        return;
    }
    // Not QCoreApplication::quit: that first closes every window, and a sheet holding text it
    // refuses would cancel the quit of a program already shut down.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
}
