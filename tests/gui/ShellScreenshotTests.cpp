// Pictures of the application shell for people to look at: the splash, the main window
// after start-up, after picking each desk of the shipped desk file, with an empty desk list,
// with the cue sidebar hidden, and the orientation badge and button styles.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/shell/MainView.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/OrientationIndicator.h"
#include "Sonavant/shell/QtPresenter.h"
#include "Sonavant/shell/SidebarColumn.h"
#include "Sonavant/shell/SonavantApp.h"
#include "Sonavant/shell/TopBar.h"
#include "gui/DeskFiles.h"
#include "gui/GuiTestMain.h"
#include "platform/UserDefaults.h"
#include "platform/qt/StyledButton.h"
#include "support/RecordingPresenter.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

std::unique_ptr<SonavantApp> launch(double splash = 0) {
    SonavantApp::Options options;
    options.splashSeconds = splash;
    options.checkForUpdates = false;
    options.presenter = std::make_shared<support::RecordingPresenter>();
    options.terminate = [] {};
    auto app = std::make_unique<SonavantApp>(options);
    app->start();
    return app;
}

QString slug(const QString& name) {
    return name.toLower().replace(QRegularExpression("[^a-z0-9]+"), "-");
}

} // namespace

class ShellScreenshotTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        platform::UserDefaults::standard().set("savedTargetDeskIP", std::string("127.0.0.1"));
    }

    void theSplash() {
        guitest::shippedDesks();
        auto app = launch(60);
        QTRY_VERIFY_WITH_TIMEOUT(app->splash() && app->splash()->isVisible(), 2000);
        guitest::saveScreenshot(app->mainWindow(), "splash");
    }

    void theMainWindowAndEachDesk() {
        const auto desks = guitest::shippedDesks();
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
        auto* bar = app->mainView()->topBar();
        QTRY_COMPARE_WITH_TIMEOUT(bar->deskMenu()->actions().size(), int(desks.size()), 2000);
        guitest::saveScreenshot(app->mainWindow(), "main-window-start");

        for (int i = 0; i < int(desks.size()); ++i) {
            const QString name = QString::fromStdString(desks[std::size_t(i)].displayName);
            bar->deskMenu()->actions()[i]->trigger();
            QTRY_COMPARE_WITH_TIMEOUT(bar->deskTitle(), name, 2000);
            QCoreApplication::processEvents();
            guitest::saveScreenshot(app->mainWindow(),
                                    QString("main-window-desk-%1-%2").arg(i + 1).arg(slug(name)));
        }
        bar->deskMenu()->actions()[0]->trigger();
        app->appState()->showSidebar = false;
        QTRY_VERIFY_WITH_TIMEOUT(!app->mainView()->cueSidebar()->isVisible(), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(app->mainView()->sidebarColumn()->isVisible(), 2000);
        app->mainWindow().resize(app->mainWindow().minimumSize());
        QTRY_COMPARE_WITH_TIMEOUT(app->mainWindow().size(), app->mainWindow().minimumSize(), 2000);
        guitest::saveScreenshot(app->mainWindow(), "main-window-smallest-sidebar-hidden");
        app->appState()->showSidebar = true;
    }

    void anEmptyDeskList() {
        guitest::useDeskFile({}, "no-desks");
        auto app = launch();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(app->mainView()->topBar()->deskTitle(), QString("Select Mixing Desk"),
                                  2000);
        QVERIFY(app->mainView()->topBar()->deskMenu()->actions().isEmpty());
        guitest::saveScreenshot(app->mainWindow(), "main-window-no-desks");
        app->mainWindow().close();
    }

    void theUpdateAlert() {
        QtPresenter presenter;
        bool saved = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            guitest::saveScreenshot(*box, "update-alert");
            saved = true;
            box->buttons().last()->click();
        });
        presenter.showAlert(
            {PresenterAlert::Style::informational,
             "A new version is available: 1.2",
             "Download this version from: https://updates.sonavant.app/download/Sonavant-1.2.tar.gz",
             {"Update", "Skip"}});
        QVERIFY(saved);
    }

    void theOrientationBadgeAndButtonStyles() {
        QWidget panel;
        panel.setAutoFillBackground(true);
        auto* column = new QVBoxLayout(&panel);
        auto* badges = new QHBoxLayout;
        for (auto orientation : allCanvasOrientations) {
            auto* badge = new OrientationIndicator(&panel);
            badge->setOrientation(orientation);
            badges->addWidget(badge);
        }
        column->addLayout(badges);
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(
            platform::StyledButton::fixedSize("OSC: On", 90, 30, QColor(52, 168, 83), Qt::white));
        buttons->addWidget(
            platform::StyledButton::fixedSize("OSC: Off", 90, 30, QColor(128, 128, 128), Qt::white));
        buttons->addWidget(platform::StyledButton::primary("Save"));
        buttons->addWidget(platform::StyledButton::secondary("Cancel"));
        column->addLayout(buttons);
        panel.resize(420, 120);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QCOMPARE(panel.findChild<OrientationIndicator*>()->size(), QSize(40, 40));
        guitest::saveScreenshot(panel, "orientation-badge-and-button-styles");
    }
};

SONAVANT_GUI_TEST_MAIN(ShellScreenshotTests)
#include "ShellScreenshotTests.moc"
