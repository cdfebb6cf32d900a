// The menu bar on a plain main window over a main view started in the test: every item's
// title, shortcut and enable state as the show changes, the shortcuts reaching the action
// slots and notifications, undo and redo, Open Recent, and one settings window whichever
// way it is opened. Before the view starts, the menu does nothing.

#include "gui/ShellTestSupport.h"

#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/MenuBar.h"
#include "Sonavant/shell/QtPresenter.h"
#include "Sonavant/shell/SonavantApp.h"
#include "Sonavant/windows/SettingsWindowControllerHolder.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "support/RecordingPresenter.h"

#include "gui/GuiTestMain.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

namespace {

constexpr int deadline = 10000;

struct Item {
    QString menu, title, shortcut;
    bool enabled;
};

} // namespace

class MenuBarTests : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<platform::UserDefaults> defaults;
    std::unique_ptr<AppStatePersistence> persistence;
    std::shared_ptr<AppState> show;
    std::unique_ptr<ContentView> view;
    std::shared_ptr<support::RecordingPresenter> presenter;
    std::unique_ptr<QMainWindow> window;
    MenuBar* menus = nullptr;
    std::vector<std::pair<QString, QString>> alerts;

    // The main window with its menu bar over `show`, active for shortcuts.
    void buildWindow(std::shared_ptr<AppState> state) {
        window = std::make_unique<QMainWindow>();
        window->resize(600, 400);
        menus = new MenuBar(window.get(), state, Binding<std::string>("127.0.0.1"),
                            Binding<std::string>("49900"), Binding<bool>(true), persistence.get());
        menus->alert = [this](const QString& title, const QString& text) {
            alerts.emplace_back(title, text);
        };
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void startView() {
        view = guitest::startView(show, 9);
        view->presenter = presenter;
        QTRY_VERIFY_WITH_TIMEOUT(ActionDispatcher::updateOSC != nullptr, deadline);
        AppState::clearHistory();
    }

    void press(int key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(window.get(), Qt::Key(key), modifiers);
    }

    // Opens each menu as the operator would before reading it: states are read on opening.
    void openAllMenus() {
        for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
            emit menu->aboutToShow();
    }

    void compareItems(const std::vector<Item>& expected) {
        openAllMenus();
        QStringList menuTitles;
        for (QAction* action : window->menuBar()->actions())
            menuTitles << action->text();
        QCOMPARE(menuTitles, (QStringList{"Sonavant", "File", "Edit", "View", "Tools", "Paths"}));
        for (const Item& item : expected) {
            QMenu* menu = menus->menu(item.menu);
            QVERIFY2(menu, qPrintable(item.menu));
            QAction* action = nullptr;
            for (QAction* a : menu->actions())
                if (a->text() == item.title)
                    action = a;
            QVERIFY2(action, qPrintable(item.title));
            QCOMPARE(action->shortcut().toString(QKeySequence::PortableText), item.shortcut);
            QVERIFY2(action->isEnabled() == item.enabled, qPrintable(item.title));
        }
    }

    static std::vector<Item> itemsWith(bool undo, bool redo, bool soundScape, bool qlab) {
        return {{"Sonavant", "Settings…", "Ctrl+,", true},
                {"File", "New Blank Canvas", "Ctrl+Shift+N", true},
                {"File", "Save As...", "Ctrl+Shift+S", true},
                {"File", "Open...", "Ctrl+O", true},
                {"File", "Open Recent", "", true},
                {"Edit", "Undo", "Ctrl+Z", undo},
                {"Edit", "Redo", "Ctrl+Shift+Z", redo},
                {"View", "Show Mixer", "Ctrl+M", !soundScape},
                {"Tools", "Add Output", "", true},
                {"Tools", "Add Input", "", true},
                {"Tools", "Update OSC", "", true},
                {"Tools", "Get Positions from DS100", "", soundScape},
                {"Tools", "Get Speakers from DS100", "", soundScape},
                {"Tools", "Zero Selected", "Ctrl+0", true},
                {"Tools", "Clear", "", true},
                {"Tools", "Generate Fade Cues", "", qlab},
                {"Paths", "Draw Path", "", true},
                {"Paths", "Delete Path", "", true}};
    }

private slots:
    void init() {
        ActionDispatcher::reset();
        AppState::clearHistory();
        folder = std::make_unique<QTemporaryDir>();
        defaults = std::make_unique<platform::UserDefaults>(folder->path().toStdString());
        persistence = std::make_unique<AppStatePersistence>(folder->path().toStdString(), *defaults);
        show = guitest::oneInputShow();
        presenter = std::make_shared<support::RecordingPresenter>();
        alerts.clear();
    }

    void cleanup() {
        SettingsWindowControllerHolder::shared().reset();
        window.reset();
        view.reset();
        ActionDispatcher::reset();
        AppState::clearHistory();
    }

    void inertBeforeStartUp() {
        // No show at all: nothing that reads it is on, and nothing crashes.
        buildWindow(nullptr);
        openAllMenus();
        for (const char* title :
             {"Undo", "Redo", "Show Mixer", "Generate Fade Cues", "Get Positions from DS100"})
            QVERIFY2(!menus->action(title)->isEnabled(), title);
        for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
            for (QAction* action : menu->actions())
                if (action->isEnabled() && !action->menu())
                    action->trigger();
        QVERIFY(!SettingsWindowControllerHolder::shared().windowController());

        // A show but no main view yet (the splash screen): the slots are empty.
        buildWindow(show);
        menus->action("Add Output")->trigger();
        menus->action("Add Input")->trigger();
        press(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(show->speakers.get().size(), std::size_t(2));
        QCOMPARE(show->soundObjects.get().size(), std::size_t(1));
    }

    void itemsAndEnableStatesFollowTheShow() {
        startView();
        buildWindow(show);
        compareItems(itemsWith(false, false, false, false));
        QVERIFY(menus->action("Generate Fade Cues")->toolTip() == "Only available in QLab 5");
        QVERIFY(menus->menu("Tools")->toolTipsVisible());

        // "Add Input": the slot runs the view's action, which records the history.
        const std::size_t sources = show->soundObjects->size();
        menus->action("Add Input")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(show->soundObjects->size(), sources + 1, deadline);
        compareItems(itemsWith(true, false, false, false));

        // Ctrl+Z straight after a change made elsewhere, with the item still off from the last
        // time a menu was drawn: the state is read again as the key is tried.
        AppState::clearHistory();
        openAllMenus();
        QVERIFY(!menus->action("Undo")->isEnabled());
        show->saveStateForUndo();
        show->range = 9.0;
        press(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(show->range.get(), 5.0);
        press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(show->range.get(), 9.0);

        // The passes the range changes queued copy the view's own desk into the show: let
        // them run first, or they would undo the desk set below.
        platform::MainRunLoop::runOnce();

        // A QLab 5 desk: fade cues on at once, and the command reaches the view.
        MixingDesk qlab = support::mixDesk("QLab 5", 8);
        show->selectedDesk = qlab;
        QTRY_VERIFY_WITH_TIMEOUT(menus->action("Generate Fade Cues")->isEnabled(), deadline);
        menus->action("Generate Fade Cues")->trigger();
        // The view checks its own desk (still the Acme) and says why it makes no cues.
        QTRY_COMPARE_WITH_TIMEOUT(presenter->alerts.size(), std::size_t(1), deadline);
        QCOMPARE(presenter->alerts[0].title, std::string("QLab Not Selected"));
        qlab.name = "QLab 5 Pro";
        show->selectedDesk = qlab;
        QTRY_VERIFY_WITH_TIMEOUT(!menus->action("Generate Fade Cues")->isEnabled(), deadline);

        // SoundScape swaps the mixer for the DS100 items, without opening a menu.
        show->isSoundScapeMode = true;
        QTRY_VERIFY_WITH_TIMEOUT(!menus->action("Show Mixer")->isEnabled(), deadline);
        QVERIFY(menus->action("Get Positions from DS100")->isEnabled());
        QVERIFY(menus->action("Get Speakers from DS100")->isEnabled());
        press(Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(presenter->mixerRequests, 0);
        show->isSoundScapeMode = false;
        QTRY_VERIFY_WITH_TIMEOUT(menus->action("Show Mixer")->isEnabled(), deadline);
        press(Qt::Key_M, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(presenter->mixerRequests, 1, deadline);
    }

    void shortcutsReachTheirSlots() {
        startView();
        buildWindow(show);
        // Zero Selected puts the selected source on the zero point.
        auto source = show->soundObjects->front();
        source->positionMeters = Point{1.5, 2.5};
        view->selectedObjects = std::set<std::string>{"soundObject-" + source->id.string()};
        press(Qt::Key_0, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(source->positionMeters.get(), (Point{0, 0}), deadline);
        press(Qt::Key_N, Qt::ControlModifier);
        QVERIFY(!show->soundObjects.get().empty()); // no new window in this application
        press(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(show->speakers.get().empty() && show->soundObjects.get().empty(), deadline);

        // Save As... and Open... reach the view's panels.
        presenter->nextSave = folder->filePath("ByShortcut").toStdString();
        press(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder->filePath("ByShortcut.sonavant")), deadline);
        press(Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(presenter->openPanels.size(), std::size_t(1), deadline);
    }

    void openRecentLoadsASavedShow() {
        buildWindow(show);
        openAllMenus();
        QVERIFY(menus->openRecentMenu()->actions().isEmpty());

        // Two shows of the same name in different folders, and one more, newest last.
        QDir(folder->path()).mkpath("a");
        QDir(folder->path()).mkpath("b");
        const std::string a = folder->filePath("a/Gala.sonavant").toStdString();
        const std::string b = folder->filePath("b/Gala.sonavant").toStdString();
        const std::string c = folder->filePath("Matinee.json").toStdString();
        show->range = 6.0;
        persistence->saveState(*show, a);
        show->range = 7.0;
        persistence->saveState(*show, b);
        show->range = 8.0;
        show->panningMode = PanningMode::cosine;
        persistence->saveState(*show, c);
        show->range = 1.0;
        show->panningMode = PanningMode::linear;

        emit menus->openRecentMenu()->aboutToShow();
        QStringList titles;
        for (QAction* item : menus->openRecentMenu()->actions())
            titles << item->text();
        QCOMPARE(titles, (QStringList{"Matinee.json", "Gala.sonavant", "Gala.sonavant"}));

        menus->openRecentMenu()->actions().at(0)->trigger();
        QCOMPARE(show->range.get(), 8.0);
        QCOMPARE(show->panningMode.get(), PanningMode::cosine);

        // The older Gala moves to the front once loaded.
        emit menus->openRecentMenu()->aboutToShow();
        menus->openRecentMenu()->actions().at(2)->trigger();
        QCOMPARE(show->range.get(), 6.0);
        QCOMPARE(persistence->recentFiles().front(), a);

        // A show that has gone: nothing changes, the operator is told, the entry stays.
        QFile::remove(QString::fromStdString(b));
        emit menus->openRecentMenu()->aboutToShow();
        QAction* gone = nullptr;
        for (QAction* item : menus->openRecentMenu()->actions())
            if (item->data().toString().toStdString() == b)
                gone = item;
        QVERIFY(gone);
        gone->trigger();
        QCOMPARE(show->range.get(), 6.0);
        QCOMPARE(alerts.size(), std::size_t(1));
        QCOMPARE(persistence->recentFiles().size(), std::size_t(3));
    }

    void screenshotsOfTheMenus() {
        buildWindow(show);
        persistence->saveState(*show, folder->filePath("Gala.sonavant").toStdString());
        show->isSoundScapeMode = true;
        for (const char* title : {"File", "Edit", "Tools"}) {
            QMenu* menu = menus->menu(title);
            menu->popup(window->mapToGlobal(QPoint(20, 20)));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            guitest::saveScreenshot(*menu, QString("menu-%1").arg(QString(title).toLower()));
            menu->hide();
        }
    }

    void theApplicationCarriesTheMenuBarAndTheSettingsWindow() {
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        options.terminate = [] {};
        SonavantApp app(options); // the Qt presenter
        app.appState()->receivePort = "0";
        app.start();
        QTRY_VERIFY_WITH_TIMEOUT(app.isMainViewShown(), deadline);
        QCOMPARE(app.contentView().persistence, &app.persistence());

        QStringList menuTitles;
        for (QAction* action : app.mainWindow().menuBar()->actions())
            menuTitles << action->text();
        QCOMPARE(menuTitles, (QStringList{"Sonavant", "File", "Edit", "View", "Tools", "Paths"}));
        QAction* settingsItem = nullptr;
        for (QMenu* menu : app.mainWindow().menuBar()->findChildren<QMenu*>())
            for (QAction* action : menu->actions())
                if (action->text() == "Settings…")
                    settingsItem = action;
        QVERIFY(settingsItem);
        settingsItem->trigger();
        auto* settings = SettingsWindowControllerHolder::shared().windowController();
        QVERIFY(settings);
        settings->select(SettingsSection::network);
        // The tool row's way: through the presenter.
        app.presenter().showSettingsWindow(app.contentView());
        QCOMPARE(SettingsWindowControllerHolder::shared().windowController(), settings);
        QCOMPARE(settings->selection(), std::optional(SettingsSection::network));
    }

    void settingsFromTheMenuThenFromTheToolRowIsOneWindow() {
        startView();
        buildWindow(show);
        press(Qt::Key_Comma, Qt::ControlModifier);
        auto* settings = SettingsWindowControllerHolder::shared().windowController();
        QVERIFY(settings);
        QTRY_VERIFY_WITH_TIMEOUT(settings->isVisible(), deadline);
        QCOMPARE(settings->selection(), std::optional(SettingsSection::general));
        settings->select(SettingsSection::background);
        settings->close();
        QTRY_VERIFY_WITH_TIMEOUT(!settings->isVisible(), deadline);

        ContentView* v = view.get();
        SettingsWindowControllerHolder::shared().show(show, v->targetDeskIP, v->targetPort, v->showZeroPoint,
                                                      [v] { v->updateRelativeLevels(); });
        QCOMPARE(SettingsWindowControllerHolder::shared().windowController(), settings);
        QVERIFY(settings->isVisible());
        QCOMPARE(settings->selection(), std::optional(SettingsSection::background));
        int windows = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            windows += top->windowTitle() == "Settings" ? 1 : 0;
        QCOMPARE(windows, 1);
    }
};

SONAVANT_GUI_TEST_MAIN(MenuBarTests)
#include "MenuBarTests.moc"
