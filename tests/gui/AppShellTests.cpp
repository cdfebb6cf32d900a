// Start-up, quit and restart of the whole application under fresh HOME and XDG folders:
// splash then main view, the working state and autosave written at quit and read back,
// the window's minimum size and saved frame, and a corrupt autosave set aside.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/model/MixingDeskRoot.h"
#include "Sonavant/shell/MainView.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/QtPresenter.h"
#include "Sonavant/shell/SidebarColumn.h"
#include "Sonavant/shell/SonavantApp.h"
#include "Sonavant/shell/SplashScreen.h"
#include "Sonavant/shell/StepperField.h"
#include "Sonavant/shell/TopBar.h"
#include "Sonavant/ui/UpdateCheck.h"
#include "Sonavant/ui/WindowFrame.h"
#include "Sonavant/windows/MixerWindow.h"
#include "Sonavant/windows/MixerWindowController.h"
#include "gui/GuiTestMain.h"
#include "gui/LocalHttpServer.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "platform/qt/StyledButton.h"
#include "support/RecordingPresenter.h"
#include "support/ShowFixtures.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <fstream>

namespace {

std::unique_ptr<SonavantApp> launch(double splash = 0, std::optional<std::string> updateBase = std::nullopt) {
    SonavantApp::Options options;
    options.splashSeconds = splash;
    options.checkForUpdates = updateBase.has_value();
    options.updateBaseAddress = updateBase;
    options.presenter = std::make_shared<support::RecordingPresenter>();
    options.terminate = [] {};
    auto app = std::make_unique<SonavantApp>(options);
    app->start();
    return app;
}

std::string firstDeskName() {
    return MixingDeskRoot::readFile(*mixingDesksResourcePath()).mixingDesks.front().displayName;
}

void typeInto(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

QByteArray sameVersionReply() {
    return QByteArray(R"({"currentVersion": ")") + update::appInfo().version.c_str() +
           R"(", "downloadURL": "https://example.org"})";
}

} // namespace

class AppShellTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Every desk message of these tests stays on this machine.
        platform::UserDefaults::standard().set("savedTargetDeskIP", std::string("127.0.0.1"));
    }

    void splashThenMainViewWithTheFirstDeskAndOutputOn() {
        guitest::LocalHttpServer server;
        server.body = sameVersionReply();
        QElapsedTimer clock;
        clock.start();
        auto app = launch(3.0, server.baseAddress());
        QVERIFY(app->splash());
        QTRY_VERIFY_WITH_TIMEOUT(app->splash()->isVisible(), 2000);
        QVERIFY(app->splash()->versionLabel()->text().startsWith("Version "));
        QCOMPARE(app->splash()->nameLabel()->text(), QString("Sonavant"));
        QVERIFY(!app->mainWindow().isShowingMainView());

        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 8000);
        QVERIFY(clock.elapsed() >= 2900);
        QVERIFY(app->mainWindow().isShowingMainView());
        QCOMPARE(server.requests, 1);
        auto* bar = app->mainView()->topBar();
        QTRY_COMPARE_WITH_TIMEOUT(bar->deskTitle(), QString::fromStdString(firstDeskName()), 3000);
        QCOMPARE(bar->outputSwitch()->text(), QString("OSC: On"));
        QVERIFY(app->appState()->speakers.get().empty());
        QCOMPARE(app->targetDeskIP.get(), std::string("127.0.0.1")); // pinned to loopback below
        QVERIFY(app->persistence().autosaveTimer() != nullptr);
    }

    void whatIsWrittenAtQuitIsReadBackAtTheNextStart() {
        {
            auto app = launch();
            QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
            auto* bar = app->mainView()->topBar();
            QTest::mouseClick(bar->outputSwitch(), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(bar->outputSwitch()->text(), QString("OSC: Off"), 2000);
            typeInto(bar->minField()->field(), "12");
            QCOMPARE(app->appState()->minLevel.get(), 12);
            typeInto(bar->zoomField()->field(), "140");
            QCOMPARE(app->contentView().zoomLevel.get(), 140.0);
            app->mainWindow().close(); // the operator closes the window
        }
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
        QCOMPARE(app->appState()->oscOutputOn.get(), false);
        QCOMPARE(app->appState()->minLevel.get(), 12);
        QCOMPARE(app->contentView().zoomLevel.get(), 140.0);
        QTRY_COMPARE_WITH_TIMEOUT(app->mainView()->topBar()->outputSwitch()->text(), QString("OSC: Off"),
                                  2000);
        // Back to the defaults for the tests that follow.
        app->appState()->oscOutputOn = true;
        app->appState()->minLevel = 0;
        app->contentView().zoomLevel = 100.0;
    }

    void zoomMustStayFiniteAndAboveZero() {
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
        auto* zoom = app->mainView()->topBar()->zoomField();
        for (const char* refused : {"0", "-20", "abc"}) {
            typeInto(zoom->field(), refused);
            QCOMPARE(app->contentView().zoomLevel.get(), 100.0);
            QCOMPARE(zoom->valueText(), QString("100"));
        }
        typeInto(zoom->field(), "3"); // below the stepper's range, written as typed
        QCOMPARE(app->contentView().zoomLevel.get(), 3.0);
        QTest::mouseClick(zoom->upButton(), Qt::LeftButton);
        QCOMPARE(app->contentView().zoomLevel.get(), 8.0);
        app->contentView().zoomLevel = 100.0;
    }

    void theWindowKeepsItsMinimumAndReopensAtItsFrame() {
        QRect saved;
        {
            auto app = launch();
            QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
            auto& window = app->mainWindow();
            window.resize(300, 200);
            QVERIFY(window.width() >= 800 && window.height() >= 600);
            window.setGeometry(60, 70, 1310, 790);
            QTRY_COMPARE_WITH_TIMEOUT(window.geometry().size(), QSize(1310, 790), 2000);
            saved = window.geometry();
            window.close();
        }
        const auto stored = platform::UserDefaults::standard().string(windowframe::mainWindowKey);
        QVERIFY(stored.has_value());
        QCOMPARE(windowframe::parse(*stored), (windowframe::Frame{saved.x(), saved.y(), 1310, 790}));

        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(app->mainWindow().geometry(), saved, 2000);
        // The main view never below 1110 x 600, with the cue sidebar or the column in its place.
        QWidget* mainView = app->mainView();
        for (bool sidebar : {true, false, true}) {
            app->appState()->showSidebar = sidebar;
            QTRY_COMPARE_WITH_TIMEOUT(app->mainView()->cueSidebar()->isVisible(), sidebar, 2000);
            QTRY_VERIFY_WITH_TIMEOUT(app->mainWindow().minimumWidth() >= 1110, 2000);
            app->mainWindow().resize(app->mainWindow().minimumSize());
            QTRY_VERIFY_WITH_TIMEOUT(mainView->width() >= 1110 && mainView->height() >= 600, 2000);
        }

        // At its smallest, the tool row under the canvas is still whole, menu bar and all.
        app->mainWindow().resize(app->mainWindow().minimumSize());
        QWidget* toolRow = app->mainView()->toolRow();
        QTRY_VERIFY_WITH_TIMEOUT(
            QRect(QPoint(0, 0), app->mainWindow().size())
                .contains(QRect(toolRow->mapTo(&app->mainWindow(), QPoint(0, 0)), toolRow->size())),
            2000);
    }

    void aCorruptAutosaveIsSetAsideAndNeverOverwritten() {
        namespace fs = std::filesystem;
        AppStatePersistence probe;
        const fs::path autosave = probe.autosaveURL();
        fs::create_directories(autosave.parent_path());
        { std::ofstream(autosave) << "<?xml version=\"1.0\"?><plist><dict><key>version</key>"; }
        platform::LogCapture log;
        auto app = launch();
        QVERIFY(log.contains("does not decode"));
        QVERIFY(app->appState()->speakers.get().empty());
        QCOMPARE(app->appState()->targetPort.get(), std::string("49900"));
        std::vector<fs::path> aside;
        for (const auto& entry : fs::directory_iterator(autosave.parent_path()))
            if (entry.path().filename().string().rfind("autosave-unreadable-", 0) == 0)
                aside.push_back(entry.path());
        QCOMPARE(aside.size(), std::size_t(1));
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
        app->shutdown();
        QVERIFY(fs::exists(autosave)); // the new autosave is written beside the old file
        std::ifstream kept(aside.front());
        std::string text((std::istreambuf_iterator<char>(kept)), {});
        QVERIFY(text.find("<key>version</key>") != std::string::npos);
        QVERIFY(SonavantApp::makeInitialAppState(probe) != nullptr);
    }

    void otherWidgetsHangInThePlacesOfThePlaceholders() {
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
        MainView& view = *app->mainView();
        QPointer<QWidget> oldCanvas = view.canvas();
        auto* canvas = new QWidget;
        auto* panel = new QWidget;
        auto* tools = new QWidget;
        tools->setFixedHeight(40); // the tool row brings its own height; the view sets the widths
        auto* cues = new QWidget;
        view.setCanvas(canvas);
        view.setSidePanel(panel);
        view.setToolRow(tools);
        view.setCueSidebar(cues);
        QTRY_VERIFY_WITH_TIMEOUT(oldCanvas.isNull(), 2000); // the placeholder is gone
        for (QWidget* w : {canvas, panel, tools, cues})
            QVERIFY(view.isAncestorOf(w));
        QVERIFY(canvas->isVisible() && tools->isVisible());
        QCOMPARE(cues->isVisible(), app->appState()->showSidebar.get());
        QVERIFY(!panel->isVisible());
        QCOMPARE(panel->width(), 240);
        QCOMPARE(cues->width(), 320);
        app->contentView().showingObjectList = true;
        QTRY_VERIFY_WITH_TIMEOUT(panel->isVisible(), 2000);
        // The side panel lies over the canvas's leading edge; the canvas sits before the cue
        // sidebar, the tool row under it.
        QTRY_VERIFY_WITH_TIMEOUT(!view.isSlidingSidePanel(), 2000);
        QCOMPARE(panel->mapTo(&view, QPoint()), canvas->mapTo(&view, QPoint()));
        QVERIFY(canvas->mapTo(&view, QPoint()).x() < cues->mapTo(&view, QPoint()).x() || !cues->isVisible());
        QVERIFY(tools->mapTo(&view, QPoint()).y() > canvas->mapTo(&view, QPoint()).y());
        app->contentView().showingObjectList = false;
        QTRY_VERIFY_WITH_TIMEOUT(!panel->isVisible(), 2000);
    }

    void theMixerOpensFromTheColumnAndClosesWithClearAndWithTheMainWindow() {
        int terminations = 0;
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        options.terminate = [&] { ++terminations; };
        SonavantApp app(options); // the Qt presenter
        app.start();
        QTRY_VERIFY_WITH_TIMEOUT(app.isMainViewShown(), 5000);
        auto& mixer = MixerWindowController::shared();
        auto* column = app.mainView()->sidebarColumn();
        QTest::mouseClick(column->mixerButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(mixer.isOpen(), 5000);

        app.contentView().clearCanvas();
        QTRY_VERIFY_WITH_TIMEOUT(!mixer.isOpen(), 5000);

        QTest::mouseClick(column->mixerButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(mixer.isOpen(), 5000);
        app.mainWindow().close();
        QCOMPARE(terminations, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!mixer.isOpen(), 5000);
    }

    void theQtPresenterShowsPlainTextAndOpensOnlyWebAddresses() {
        QtPresenter presenter;
        PresenterAlert alert{PresenterAlert::Style::warning,
                             "<b>A new version is available: 2</b>",
                             "Download this version from: <a href=x>x</a>",
                             {"Update", "Skip"}};
        QString shownText;
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            shownText = box->text();
            format = box->textFormat();
            for (auto* button : box->buttons())
                if (button->text() == "Skip")
                    button->click();
        });
        QCOMPARE(presenter.showAlert(alert), std::size_t(1));
        QCOMPARE(shownText, QString("<b>A new version is available: 2</b>"));
        QCOMPARE(format, Qt::PlainText);

        platform::LogCapture log;
        presenter.openURL("file:///etc/passwd");
        QVERIFY(log.contains("Not opening file:///etc/passwd"));
    }

    void closingDuringTheSplashKeepsTheSavedWorkingState() {
        platform::UserDefaults::standard().set("savedMinLevel", 33);
        {
            auto app = launch(30.0);
            QTRY_VERIFY_WITH_TIMEOUT(app->splash()->isVisible(), 2000);
            app->mainWindow().close();
        }
        QCOMPARE(platform::UserDefaults::standard().integer("savedMinLevel"),
                 std::optional<std::int64_t>(33));
        platform::UserDefaults::standard().remove("savedMinLevel");
    }

    // Last: it leaves an opened show in the autosave.
    void ctrlZAfterOpenGivesBackTheShowBeforeItAndCtrlShiftZTheOpenedOne() {
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
        MainWindow& window = app->mainWindow();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        AppState& show = *app->appState();
        QTRY_COMPARE_WITH_TIMEOUT(app->mainView()->topBar()->deskTitle(),
                                  QString::fromStdString(firstDeskName()), 3000);

        // Work saved nowhere yet: two outputs from the Tools menu and another pan law.
        QAction* addOutput = nullptr;
        for (QAction* action : window.menuBar()->findChildren<QAction*>())
            if (action->text() == "Add Output")
                addOutput = action;
        QVERIFY(addOutput);
        addOutput->trigger();
        addOutput->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(show.speakers->size(), std::size_t(2), 2000);
        show.panningMode = PanningMode::linear; // as the settings window sets it
        const double range = show.range;

        QTemporaryDir folder;
        const std::filesystem::path file = folder.filePath("Other.sonavant").toStdString();
        auto other = support::emptyShow({.panning = PanningMode::sine, .range = range + 4});
        other->soundObjects =
            std::vector{support::sourceAt(1, {100, 100}, *app->contentView().selectedDesk.get())};
        app->persistence().saveState(*other, file);
        dynamic_cast<support::RecordingPresenter&>(app->presenter()).nextOpen = file;
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(show.range.get(), range + 4, 2000);
        QVERIFY(show.speakers->empty());

        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(show.speakers->size(), std::size_t(2), 2000);
        QVERIFY(show.soundObjects->empty());
        QCOMPARE(show.range.get(), range);
        QCOMPARE(show.panningMode.get(), PanningMode::linear);

        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(show.range.get(), range + 4, 2000);
        QVERIFY(show.speakers->empty());
        QCOMPARE(show.soundObjects->size(), std::size_t(1));
        QCOMPARE(show.panningMode.get(), PanningMode::sine);
    }
};

SONAVANT_GUI_TEST_MAIN(AppShellTests)
#include "AppShellTests.moc"
