// The top bar and the sidebar column against a fake desk on loopback: choosing a desk sets
// its ports, sends the levels of the layout in place and then clears the show; "OSC: Off"
// sends nothing; a TCP desk gets its connection; the SoundScape desk greys out the level
// controls and hides the column's foot buttons.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/AppSaveContainer.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/shell/MainView.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/SidebarColumn.h"
#include "Sonavant/shell/SonavantApp.h"
#include "Sonavant/shell/StepperField.h"
#include "Sonavant/shell/TopBar.h"
#include "gui/DeskFiles.h"
#include "gui/GuiTestMain.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Serialization.h"
#include "platform/UserDefaults.h"
#include "platform/qt/StyledButton.h"
#include "support/RecordingPresenter.h"
#include "support/ShowFixtures.h"
#include "tools/FakeDesk.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <set>

using namespace std::chrono_literals;

namespace {

MixingDesk acme(const std::string& name, bool udp, std::uint16_t port) {
    MixingDesk desk = support::acmeDesk({.name = name, .inputs = 32, .mixes = 16, .udp = udp});
    desk.defaultPort = port;
    return desk;
}

// Two inputs near two loudspeakers of `desk`.
void placeLayout(AppState& show, const MixingDesk& desk) {
    const Point zero = show.zeroPoint;
    show.speakers = std::vector<Speaker>{support::mixSpeakerAt(1, desk, 0.5, 0.5, zero),
                                         support::mixSpeakerAt(2, desk, 2.0, 0.5, zero)};
    show.soundObjects = std::vector<std::shared_ptr<SoundObject>>{support::inputAt(1, desk, 0.6, 0.6, zero),
                                                                  support::inputAt(2, desk, 1.9, 0.4, zero)};
}

void choose(TopBar& bar, const QString& name) {
    for (QAction* action : bar.deskMenu()->actions())
        if (action->data().toString() == name) {
            action->trigger();
            return;
        }
    QFAIL(qPrintable("no desk " + name));
}

} // namespace

class TopBarDeskTests : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDesk> peer;
    std::unique_ptr<FakeDesk> ds100; // where both DS100 desks listen
    std::shared_ptr<support::RecordingPresenter> presenter;
    std::unique_ptr<SonavantApp> app;
    MixingDesk soundScape, matrix;

    // A menu command as the operator gives it, its enable state read first.
    void menu(const QString& title) {
        for (QMenu* m : app->mainWindow().menuBar()->findChildren<QMenu*>()) {
            emit m->aboutToShow();
            for (QAction* action : m->actions())
                if (action->text() == title) {
                    QVERIFY2(action->isEnabled(), qPrintable(title));
                    action->trigger();
                    return;
                }
        }
        QFAIL(qPrintable("no menu item " + title));
    }

    // Whether the fake desk got a message whose address starts so.
    bool received(const std::string& prefix) const { return received(*peer, prefix); }
    static bool received(const FakeDesk& desk, const std::string& prefix) {
        const auto addresses = desk.addresses();
        return std::any_of(addresses.begin(), addresses.end(),
                           [&](const std::string& address) { return address.rfind(prefix, 0) == 0; });
    }

    // Lets the sends already decided (staggered, or held by the throttle) reach the desk
    // before it is cleared: the desk has been quiet for 200 ms.
    void letDeskSettle() {
        std::size_t count = peer->datagramCount();
        QElapsedTimer quiet;
        quiet.start();
        QVERIFY(QTest::qWaitFor(
            [&] {
                if (peer->datagramCount() != count) {
                    count = peer->datagramCount();
                    quiet.restart();
                }
                return quiet.elapsed() >= 200;
            },
            5000));
    }

    // A drag of the source across the canvas.
    void dragSource(const SoundObject& source) {
        QWidget* canvas = app->mainView()->canvas();
        const QPoint from(int(std::lround(source.position->x)), int(std::lround(source.position->y)));
        QTest::mousePress(canvas, Qt::LeftButton, {}, from);
        for (int i = 1; i <= 8; ++i)
            QTest::mouseMove(canvas, from + QPoint(10 * i, -5 * i));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, from + QPoint(80, -40));
    }

    // A show of this desk with two inputs near two outputs, saved under `name`.
    std::filesystem::path showFile(const MixingDesk& desk, bool soundScapeMode, const std::string& name) {
        auto show = support::emptyShow({});
        show->selectedDesk = desk;
        show->isSoundScapeMode = soundScapeMode;
        show->receivePort = "0";
        show->zeroPoint = app->appState()->zeroPoint.get();
        const Point zero = show->zeroPoint;
        if (desk.mixName)
            show->speakers =
                std::vector<Speaker>{Speaker(1, 0.5, 0.5, 70.0, 100.0, zero, 1, *desk.mixName, desk),
                                     Speaker(2, 2.0, 0.5, 70.0, 100.0, zero, 2, *desk.mixName, desk)};
        show->soundObjects = std::vector<std::shared_ptr<SoundObject>>{
            support::inputAt(1, desk, 0.6, 0.6, zero), support::inputAt(2, desk, 1.9, 0.4, zero)};
        const auto file = guitest::prepareEnvironment() / name;
        platform::writeFileAtomically(file, AppStatePersistence::encodeState(*show, file));
        return file;
    }

private slots:
    void init() {
        platform::UserDefaults::standard().set("savedTargetDeskIP", std::string("127.0.0.1"));
        peer = std::make_unique<FakeDesk>();
        ds100 = std::make_unique<FakeDesk>(false);
        auto desks = guitest::shippedDesks();
        for (const auto& desk : desks) {
            if (desk.displayName == "D&B Soundscape")
                soundScape = desk;
            if (desk.displayName == "D&B DS100 Matrix")
                matrix = desk;
        }
        soundScape.defaultPort = matrix.defaultPort = ds100->udpPort();
        guitest::useDeskFile({acme("Acme UDP", true, peer->udpPort()),
                              acme("Acme TCP", false, peer->tcpPort()), soundScape, matrix},
                             "desks");
        presenter = std::make_shared<support::RecordingPresenter>();
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        options.presenter = presenter;
        options.terminate = [] {};
        app = std::make_unique<SonavantApp>(options);
        app->start();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(app->mainView()->topBar()->deskMenu()->actions().size(), 4, 2000);
        app->appState()->oscOutputOn = true; // whatever an earlier test left behind
    }

    void cleanup() {
        app.reset();
        peer.reset();
        ds100.reset();
    }

    void aUdpDeskTakesItsPortsSendsTheOldLayoutThenClears() {
        auto& view = app->contentView();
        auto& show = *app->appState();
        auto* bar = app->mainView()->topBar();
        QCOMPARE(bar->deskTitle(), QString("Acme UDP")); // the first desk of the file
        placeLayout(show, *view.selectedDesk.get());
        platform::LogCapture log;

        choose(*bar, "Acme UDP");
        QCOMPARE(app->targetPort.get(), std::to_string(peer->udpPort()));
        QCOMPARE(show.receivePort.get(), std::to_string(peer->udpPort() + 1));
        QVERIFY(show.speakers.get().empty());
        QVERIFY(show.soundObjects.get().empty());
        QVERIFY(log.contains("Canvas cleared"));
        // The levels decided before the clearing arrive: the layout had two mixes.
        QVERIFY(peer->waitForDatagrams(4, 5000ms)); // two inputs on two mixes
        bool mixLevels = false;
        for (const auto& address : peer->addresses())
            mixLevels = mixLevels || address.find("/mix/") != std::string::npos;
        QVERIFY(mixLevels);
        QTRY_VERIFY_WITH_TIMEOUT(
            log.contains("✅ OSCReceiver restarted on port " + std::to_string(peer->udpPort() + 1)), 5000);

        // Output off: the same choice computes the levels and sends none of them.
        QTest::mouseClick(bar->outputSwitch(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(bar->outputSwitch()->text(), QString("OSC: Off"), 2000);
        QVERIFY(!show.oscOutputOn.get());
        peer->clear();
        placeLayout(show, *view.selectedDesk.get());
        choose(*bar, "Acme UDP");
        QVERIFY(show.speakers.get().empty());
        QVERIFY(!peer->waitForDatagrams(1, 400ms)); // nothing within a generous send window
        QTest::mouseClick(bar->outputSwitch(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(bar->outputSwitch()->text(), QString("OSC: On"), 2000);
    }

    void theOutputSwitchAndUpdateOSCBringTheDeskInLine() {
        auto& view = app->contentView();
        auto& show = *app->appState();
        auto* bar = app->mainView()->topBar();
        placeLayout(show, *view.selectedDesk.get());
        app->targetPort.set(std::to_string(peer->udpPort()));
        view.updateRelativeLevels();
        QVERIFY(peer->waitForDatagrams(4, 5000ms)); // two inputs on two mixes

        // "OSC: Off", then a drag: nothing arrives.
        QTest::mouseClick(bar->outputSwitch(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(bar->outputSwitch()->text(), QString("OSC: Off"), 2000);
        peer->clear();
        auto source = show.soundObjects.get()[0];
        QWidget* canvas = app->mainView()->canvas();
        const QPoint from(int(std::lround(source->position->x)), int(std::lround(source->position->y)));
        QTest::mousePress(canvas, Qt::LeftButton, {}, from);
        for (int i = 1; i <= 8; ++i)
            QTest::mouseMove(canvas, from + QPoint(10 * i, -5 * i));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, from + QPoint(80, -40));
        QVERIFY(source->position->x > from.x() + 40);
        QVERIFY(!peer->waitForDatagrams(1, 300ms));

        // "OSC: On": every pair once, with the levels of now.
        QTest::mouseClick(bar->outputSwitch(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(bar->outputSwitch()->text(), QString("OSC: On"), 2000);
        QVERIFY(peer->waitForDatagrams(4, 5000ms));
        QVERIFY(!peer->waitForDatagrams(5, 300ms));
        std::set<std::string> pairs;
        for (const auto& message : peer->messages())
            pairs.insert(std::string(message.addressPattern().rawAddress()));
        QCOMPARE(pairs.size(), std::size_t(4));
        const auto levels = show.mixerLevels.get();
        for (const auto& message : peer->messages()) {
            const std::string address(message.addressPattern().rawAddress());
            const std::string moved = "/ch/" + std::to_string(source->number.get()) + "/";
            if (address.rfind(moved, 0) != 0)
                continue;
            const auto sent = message.values()[0].as<std::int32_t>();
            QVERIFY(sent);
            bool matches = false;
            for (const auto& [speaker, level] : levels.at(source->id))
                matches = matches || *sent == std::int32_t(std::lround(level));
            QVERIFY2(matches, address.c_str());
        }

        // "Update OSC" with nothing changed: every pair once more.
        peer->clear();
        QAction* update = nullptr;
        for (QMenu* menu : app->mainWindow().menuBar()->findChildren<QMenu*>())
            for (QAction* action : menu->actions())
                if (action->text() == "Update OSC")
                    update = action;
        QVERIFY(update);
        update->trigger();
        QVERIFY(peer->waitForDatagrams(4, 5000ms));
        QVERIFY(!peer->waitForDatagrams(5, 300ms));
    }

    void aTcpDeskConnectsToItsDefaultPort() {
        auto* bar = app->mainView()->topBar();
        platform::LogCapture log;
        choose(*bar, "Acme TCP");
        QVERIFY(log.contains("Reconnecting TCP connection because desk.UDP is false."));
        QVERIFY(peer->waitForConnections(1, 5000ms));
        QCOMPARE(app->targetPort.get(), std::to_string(peer->tcpPort()));
        QTRY_COMPARE_WITH_TIMEOUT(bar->deskTitle(), QString("Acme TCP"), 2000);
    }

    void soundScapeDisablesTheLevelControlsAndHidesTheColumnButtons() {
        auto* bar = app->mainView()->topBar();
        auto* column = app->mainView()->sidebarColumn();
        QVERIFY(bar->minBox()->isEnabled() && bar->maxBox()->isEnabled() && bar->rangeBox()->isEnabled());
        app->appState()->showSidebar = false; // the column shows in the cue sidebar's place
        QTRY_VERIFY_WITH_TIMEOUT(column->isVisible(), 2000);
        QVERIFY(column->mixerButton()->isVisible());
        choose(*bar, "D&B Soundscape");
        QVERIFY(app->appState()->isSoundScapeMode.get());
        QTRY_VERIFY_WITH_TIMEOUT(!bar->minBox()->isEnabled(), 2000);
        QVERIFY(!bar->maxBox()->isEnabled() && !bar->rangeBox()->isEnabled());
        QVERIFY(bar->zoomBox()->isEnabled() && bar->outputSwitch()->isEnabled() &&
                bar->deskButton()->isEnabled());
        QVERIFY(!column->mixerButton()->isVisible() && !column->audienceAreaButton()->isVisible());
        QVERIFY(column->sidebarToggle()->isVisible());

        choose(*bar, "Acme UDP");
        QTRY_VERIFY_WITH_TIMEOUT(bar->minBox()->isEnabled(), 2000);
        QVERIFY(!app->appState()->isSoundScapeMode.get());
        QVERIFY(column->mixerButton()->isVisible());
        app->appState()->showSidebar = true;
        QTRY_VERIFY_WITH_TIMEOUT(!column->isVisible(), 2000);
    }

    void theColumnButtonsToggleTheSidebarAndAreaEditingAndOpenTheMixer() {
        auto* column = app->mainView()->sidebarColumn();
        auto& show = *app->appState();
        const bool shown = show.showSidebar;
        QCOMPARE(app->mainView()->cueSidebar()->isVisible(), shown);
        QTest::mouseClick(column->sidebarToggle(), Qt::LeftButton);
        QCOMPARE(show.showSidebar.get(), !shown);
        QTRY_COMPARE_WITH_TIMEOUT(app->mainView()->cueSidebar()->isVisible(), !shown, 2000);
        QCOMPARE(column->sidebarToggle()->toolTip(),
                 QString(shown ? "Show the cue sidebar" : "Hide the cue sidebar"));

        QCOMPARE(column->audienceAreaButton()->toolTip(), QString("Edit Audience Areas"));
        QTest::mouseClick(column->audienceAreaButton(), Qt::LeftButton);
        QVERIFY(show.isEditingAudienceArea.get());
        QTRY_COMPARE_WITH_TIMEOUT(column->audienceAreaButton()->toolTip(),
                                  QString("Exit Audience Area Edit Mode"), 2000);
        QTest::mouseClick(column->audienceAreaButton(), Qt::LeftButton);
        QVERIFY(!show.isEditingAudienceArea.get());

        QTest::mouseClick(column->mixerButton(), Qt::LeftButton);
        QCOMPARE(presenter->mixerRequests, 1);
        QTest::mouseClick(column->sidebarToggle(), Qt::LeftButton);
        QCOMPARE(show.showSidebar.get(), shown);
    }

    void undoOfADeskPickBringsBackTheDeskItsPortAndItsLevels() {
        auto& view = app->contentView();
        auto& show = *app->appState();
        auto* bar = app->mainView()->topBar();
        choose(*bar, "Acme UDP");
        placeLayout(show, *view.selectedDesk.get());
        choose(*bar, "Acme TCP");
        QVERIFY(peer->waitForConnections(1, 5000ms));
        QCOMPARE(app->targetPort.get(), std::to_string(peer->tcpPort()));
        QVERIFY(show.soundObjects->empty());

        platform::LogCapture log;
        menu("Undo");
        QTRY_COMPARE_WITH_TIMEOUT(bar->deskTitle(), QString("Acme UDP"), 2000);
        QCOMPARE(app->targetPort.get(), std::to_string(peer->udpPort()));
        QCOMPARE(show.receivePort.get(), std::to_string(peer->udpPort() + 1));
        QCOMPARE(show.soundObjects->size(), std::size_t(2));
        // A UDP desk: the link to the TCP desk is dropped.
        QVERIFY(log.contains("Disconnecting TCP connection because OSC is toggled OFF or refresh required."));

        // Redo: the TCP desk again, with its port and its link; Undo once more.
        menu("Redo");
        QTRY_COMPARE_WITH_TIMEOUT(bar->deskTitle(), QString("Acme TCP"), 2000);
        QCOMPARE(app->targetPort.get(), std::to_string(peer->tcpPort()));
        QVERIFY(peer->waitForConnections(2, 5000ms));
        QVERIFY(show.soundObjects->empty());
        menu("Undo");
        QTRY_COMPARE_WITH_TIMEOUT(bar->deskTitle(), QString("Acme UDP"), 2000);

        // The levels of a drag reach the old desk.
        peer->clear();
        dragSource(*show.soundObjects.get()[0]);
        QVERIFY(peer->waitForDatagrams(1, 5000ms));
        for (const auto& address : peer->addresses())
            QVERIFY2(address.find("/mix/") != std::string::npos, address.c_str());
    }

    void openTakesTheShowsDeskAndKeepsTheOutputSwitch() {
        auto& show = *app->appState();
        auto* bar = app->mainView()->topBar();
        choose(*bar, "Acme UDP"); // the fake desk's port
        const auto matrixShow = showFile(matrix, false, "Matrix.sonavant");

        // "New Blank Canvas" selects the first desk; the opened show's desk takes over.
        menu("New Blank Canvas");
        presenter->nextOpen = matrixShow;
        menu("Open...");
        QTRY_COMPARE_WITH_TIMEOUT(show.soundObjects->size(), std::size_t(2), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(bar->deskTitle(), QString("D&B DS100 Matrix"), 2000);
        QVERIFY(!show.isSoundScapeMode);
        // Sent to the DS100's own port, not to the port of the desk it was opened under.
        QCOMPARE(app->targetPort.get(), std::to_string(ds100->udpPort()));
        QTRY_VERIFY_WITH_TIMEOUT(received(*ds100, "/dbaudio1/matrixnode/gain/"), 5000);
        peer->clear();
        ds100->clear();
        dragSource(*show.soundObjects.get()[0]);
        QTRY_VERIFY_WITH_TIMEOUT(received(*ds100, "/dbaudio1/matrixnode/gain/"), 5000);
        QVERIFY(!received("/dbaudio1/"));
        const auto saved = guitest::prepareEnvironment() / "Saved.sonavant";
        presenter->nextSave = saved;
        menu("Save As...");
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(saved), 5000);
        const auto reread =
            AppSaveContainer::decode(platform::readPropertyList(platform::readFile(saved)), "").appState;
        QVERIFY(reread->selectedDesk.get());
        QCOMPARE(reread->selectedDesk.get()->displayName, std::string("D&B DS100 Matrix"));

        // A SoundScape show whose file says otherwise, opened under a level desk: positions
        // only, and the desk's position address only.
        choose(*bar, "Acme UDP");
        presenter->nextOpen = showFile(soundScape, false, "Positions.sonavant");
        menu("Open...");
        QTRY_COMPARE_WITH_TIMEOUT(bar->deskTitle(), QString("D&B Soundscape"), 5000);
        QVERIFY(show.isSoundScapeMode);
        QTRY_COMPARE_WITH_TIMEOUT(show.soundObjects->size(), std::size_t(2), 5000);
        letDeskSettle(); // the levels the pick of the level desk sent for the show before
        peer->clear();
        ds100->clear();
        dragSource(*show.soundObjects.get()[0]);
        QTRY_VERIFY_WITH_TIMEOUT(received(*ds100, "/dbaudio1/positioning/source_position_xy/"), 5000);
        // No level of the level desk it was opened under, and nothing to that desk.
        QVERIFY(!received(*ds100, "/ch/"));
        QVERIFY(!received("/"));

        // Output off: an Open of a show saved with output on sends nothing and stays off.
        choose(*bar, "Acme UDP");
        QTest::mouseClick(bar->outputSwitch(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(bar->outputSwitch()->text(), QString("OSC: Off"), 2000);
        letDeskSettle();
        peer->clear();
        presenter->nextOpen = matrixShow;
        menu("Open...");
        QTRY_COMPARE_WITH_TIMEOUT(bar->deskTitle(), QString("D&B DS100 Matrix"), 5000);
        QVERIFY(!show.oscOutputOn);
        dragSource(*show.soundObjects.get()[0]);
        // No level of the opened show's desk within a generous send window.
        QVERIFY(!QTest::qWaitFor([&] { return received(*ds100, "/dbaudio1/matrixnode/"); }, 400));
        QCOMPARE(bar->outputSwitch()->text(), QString("OSC: Off"));
        QTest::mouseClick(bar->outputSwitch(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(bar->outputSwitch()->text(), QString("OSC: On"), 2000);
        choose(*bar, "Acme UDP"); // the desk the next test starts with, through the working state
    }

    void levelStepsHoldMinimumBelowMaximumAndReachTheDesk() {
        auto& show = *app->appState();
        auto* bar = app->mainView()->topBar();
        show.minLevel = 40;
        show.maxLevel = 41;
        QTRY_VERIFY_WITH_TIMEOUT(bar->maxField()->upButton()->isEnabled(), 2000);
        QVERIFY(!bar->minField()->upButton()->isEnabled());
        QTest::mouseClick(bar->minField()->upButton(), Qt::LeftButton);
        QCOMPARE(show.minLevel.get(), 40);
        QTest::mouseClick(bar->maxField()->downButton(), Qt::LeftButton);
        QCOMPARE(show.maxLevel.get(), 41);
        QTest::mouseClick(bar->maxField()->upButton(), Qt::LeftButton);
        QCOMPARE(show.maxLevel.get(), 42);

        // A change of the bounds saves and sends the levels again.
        placeLayout(show, *app->contentView().selectedDesk.get());
        app->targetPort.set(std::to_string(peer->udpPort()));
        // The new port's own round of every level goes out first, once the port has rested.
        QTRY_VERIFY_WITH_TIMEOUT(!app->contentView().destinationRestPending(), 3000);
        // The steps' own write is said on the writer's thread; it must not count below.
        QTRY_VERIFY_WITH_TIMEOUT(!app->contentView().levelSettingsWritePending(), 3000);
        app->contentView().waitForWrites();
        // What the steps above queued on the main queue runs first.
        bool drained = false;
        platform::DispatchQueue::main()->async([&] { drained = true; });
        QTRY_VERIFY_WITH_TIMEOUT(drained, 3000);
        peer->clear();
        platform::LogCapture log;
        show.maxLevel = 90;
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("✅ App state saved successfully."), 3000);
        QVERIFY(peer->waitForDatagrams(1, 5000ms));
        // Once each, with the canvas on screen: one watcher per setting.
        auto count = [&](const std::string& fragment) {
            const auto lines = log.lines();
            return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
                return line.find(fragment) != std::string::npos;
            });
        };
        const std::string saved = "✅ App state saved successfully.", passed = "Update completed for all";
        QVERIFY(!QTest::qWaitFor([&] { return count(saved) > 1 || count(passed) > 1; }, 300));
        QCOMPARE(count(saved), 1);
        QCOMPARE(count(passed), 1);
    }
};

SONAVANT_GUI_TEST_MAIN(TopBarDeskTests)
#include "TopBarDeskTests.moc"
