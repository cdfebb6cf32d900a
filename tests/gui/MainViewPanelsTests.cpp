// The panels in the running application: right after the main view appears the arrow keys
// move the canvas selection with no click first, the object list sits at the canvas's
// leading edge, and double clicks on the list and the canvas's sheet requests open the
// property sheets over the main window.
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/panels/FocusHolder.h"
#include "Sonavant/panels/InputSheet.h"
#include "Sonavant/panels/ObjectListPanel.h"
#include "Sonavant/panels/ObjectListRowWidget.h"
#include "Sonavant/panels/SpeakerSheet.h"
#include "Sonavant/shell/MainView.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/SonavantApp.h"
#include "gui/GuiTestMain.h"
#include "platform/UserDefaults.h"
#include "support/ShowFixtures.h"

#include <QPointer>

namespace {
constexpr int deadlineMs = 10000;
}

class MainViewPanelsTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Every desk message of these tests stays on this machine.
        platform::UserDefaults::standard().set("savedTargetDeskIP", std::string("127.0.0.1"));
    }

    void panelsAndSheetsInTheMainWindow() {
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        options.terminate = [] {};
        SonavantApp app(options); // with the Qt presenter: sheets really open
        app.start();
        QTRY_VERIFY_WITH_TIMEOUT(app.isMainViewShown(), deadlineMs);
        QVERIFY(QTest::qWaitForWindowActive(&app.mainWindow()));

        ContentView& view = app.contentView();
        const MixingDesk desk = support::acmeDesk({});
        view.selectedDesk = desk;
        app.appState()->selectedDesk = desk;
        auto lead = support::sourceAt(1, {200, 200}, desk);
        lead->name = "Lead";
        app.appState()->soundObjects = std::vector{lead};
        app.appState()->speakers =
            std::vector{support::mixSpeakerAt(1, desk, 2, 2, app.appState()->zeroPoint)};
        view.selectedObjects = std::set<std::string>{"soundObject-" + lead->id.string()};

        // No click: the key goes to the window and the holder hands it to the canvas.
        auto* holder = app.mainView()->findChild<FocusHolder*>();
        QVERIFY(holder);
        QTRY_VERIFY_WITH_TIMEOUT(holder->hasFocus(), deadlineMs);
        QCOMPARE(holder->keyTarget(), app.mainView()->canvas());
        const Point before = lead->position;
        QTest::keyClick(app.mainWindow().windowHandle(), Qt::Key_Right);
        QTRY_COMPARE_WITH_TIMEOUT(lead->position->x, before.x + 10, deadlineMs);
        QCOMPARE(lead->position->y, before.y);

        // The list shows with the main view's flag, over the canvas's leading edge.
        auto* panel = qobject_cast<ObjectListPanel*>(app.mainView()->sidePanel());
        QVERIFY(panel);
        view.showingObjectList = true;
        QTRY_VERIFY_WITH_TIMEOUT(panel->isVisible() && panel->rowWidgets().size() == 1, deadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(!app.mainView()->isSlidingSidePanel(), deadlineMs);
        QCOMPARE(panel->mapTo(app.mainView(), QPoint(0, 0)).x(),
                 app.mainView()->canvas()->mapTo(app.mainView(), QPoint(0, 0)).x());
        auto* row = panel->rowWidgets().front();
        QTest::mouseClick(row, Qt::LeftButton);
        QTest::mouseDClick(row, Qt::LeftButton);
        QPointer<InputSheet> inputSheet = app.mainWindow().findChild<InputSheet*>();
        QVERIFY(inputSheet);
        QTRY_VERIFY_WITH_TIMEOUT(inputSheet->isVisible(), deadlineMs);
        QCOMPARE(inputSheet->windowModality(), Qt::WindowModal);
        inputSheet->close();
        QTRY_VERIFY_WITH_TIMEOUT(!inputSheet, deadlineMs);

        app.appState()->soundObjects.update([&](auto& list) {
            int n = 2;
            for (const char* name : {"Kick", "Snare", "Bass DI", "Keys"}) {
                auto s = support::sourceAt(n, {150.0 + 90 * n, 320.0 - 25 * n}, desk);
                s->name = name;
                list.push_back(s);
                ++n;
            }
        });
        QTRY_COMPARE_WITH_TIMEOUT(panel->rowWidgets().size(), std::size_t(5), deadlineMs);
        guitest::saveScreenshot(app.mainWindow(), "main-window-object-list");

        // What the canvas asks on a double click on a loudspeaker.
        view.presentSpeakerSheet(1);
        QPointer<SpeakerSheet> speakerSheet = app.mainWindow().findChild<SpeakerSheet*>();
        QVERIFY(speakerSheet);
        QTRY_VERIFY_WITH_TIMEOUT(speakerSheet->isVisible(), deadlineMs);
        speakerSheet->close();
        QTRY_VERIFY_WITH_TIMEOUT(!speakerSheet, deadlineMs);
        app.shutdown();
    }
};

SONAVANT_GUI_TEST_MAIN(MainViewPanelsTests)
#include "MainViewPanelsTests.moc"
