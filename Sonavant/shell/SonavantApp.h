#pragma once
// The application object: everything that lives as long as the process.
//
// It owns, in this order: the persistence (autosave file, recent files), the one AppState
// (restored from the autosave file at construction, or first-launch values), the
// application's desk address, desk port and zero-point bindings, the presenter, the
// ContentView (the main view's logic), and the main window with the splash, the main view
// and the update check. start() shows the window with the splash; when the splash ends the
// main view replaces it, ContentView starts up and the autosave runs (every 60 s, or every
// SONAVANT_AUTOSAVE_INTERVAL seconds), each tick writing the autosave and the working state.
//
// Every way out (closing the window, "Update", the application quitting) goes through
// shutdown(): one autosave and the working state are written first, once. The operator's
// quit writes them before anything shuts down and, when that fails, asks first.
//
// Other parts of the application plug in here:
//   mainView()->setCanvas / setSidePanel / setToolRow / setCueSidebar   (see MainView.h)
//   the menu bar (MenuBar) is installed on the main window at construction
// mainViewShown() is emitted once the main view is on screen and ContentView has started;
// the main view and its widgets exist from construction, so they can be hung in at once.

#include "Sonavant/engine/Binding.h"
#include "Sonavant/shell/SplashScreen.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class AppState;
class AppStatePersistence;
class ContentView;
class ContentViewPresenter;
class MainView;
class OSCMonitor;
class MainWindow;
class QtPresenter;
class UpdateChecker;

class SonavantApp : public QObject {
    Q_OBJECT
public:
    struct Options {
        double splashSeconds = 3.0;
        bool checkForUpdates = true;
        std::optional<std::string> updateBaseAddress; // else SONAVANT_UPDATE_URL, else ours
        // Replaces the Qt presenter (tests record instead of showing dialogs).
        std::shared_ptr<ContentViewPresenter> presenter;
        // How the process ends after shutdown(); QCoreApplication::quit when empty.
        std::function<void()> terminate;
    };

    SonavantApp();
    explicit SonavantApp(Options options);
    ~SonavantApp() override;

    void start();
    // Ends the splash now (it calls this itself when its time is up).
    void showMainView();
    bool isMainViewShown() const { return mainViewShown_; }

    // Saves the autosave, the working state (if the main view ever ran) and the window
    // frame. Runs once; later calls do nothing.
    void shutdown();
    // The operator's quit (the menu, closing the window, "Update"): the final save, and when
    // it fails the question whether to quit anyway; then shutdown() and the end of the
    // process, whatever any window holds. False, with nothing shut down, when the operator
    // chose to stay.
    bool quit();
    // A termination signal: shutdown() and the end of the process, without asking.
    void quitWithoutAsking();

    AppStatePersistence& persistence() { return *persistence_; }
    const std::shared_ptr<AppState>& appState() const { return appState_; }
    ContentView& contentView() { return *contentView_; }
    ContentViewPresenter& presenter() { return *presenter_; }
    QtPresenter* qtPresenter() const; // null when a test replaced it
    MainWindow& mainWindow() { return *window_; }
    MainView* mainView() const { return mainView_; }
    SplashScreen* splash() const { return splash_; }
    UpdateChecker* updateChecker() const { return updateChecker_; }
    // The OSC traffic log, kept for the life of the process for a monitor view; it is not
    // registered with the send entry while no view reads it.
    const std::shared_ptr<OSCMonitor>& oscMonitor() const { return oscMonitor_; }

    Binding<std::string> targetDeskIP{"127.0.0.1"};
    Binding<std::string> targetPort{"49900"};
    Binding<bool> showZeroPoint{true};

    // The launch restore: the autosave file's show, or first-launch values. An autosave
    // that does not decode is set aside (never overwritten) before that.
    static std::shared_ptr<AppState> makeInitialAppState(AppStatePersistence& persistence);

signals:
    void mainViewShown();

private:
    void installPanels();
    // Autosave, then working state; false when either could not be written.
    bool writeFinalSave();
    void endProcess();

    Options options_;
    std::unique_ptr<AppStatePersistence> persistence_;
    std::shared_ptr<AppState> appState_;
    std::shared_ptr<OSCMonitor> oscMonitor_;
    std::shared_ptr<ContentViewPresenter> presenter_;
    std::unique_ptr<ContentView> contentView_;
    std::unique_ptr<MainWindow> window_;
    QPointer<SplashScreen> splash_;
    MainView* mainView_ = nullptr;
    // The grid, floor-plan and audience-area layers of the canvas; dropped before the canvas.
    struct CanvasLayers;
    std::unique_ptr<CanvasLayers> canvasLayers_;
    UpdateChecker* updateChecker_ = nullptr;
    bool mainViewShown_ = false;
    bool shutDown_ = false;
    bool finalSaveWritten_ = false;
    const double autosaveInterval_;
};
