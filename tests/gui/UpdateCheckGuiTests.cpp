// The update check against a local HTTP server, through the application and the recording
// presenter.

#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/shell/SonavantApp.h"
#include "Sonavant/shell/UpdateChecker.h"
#include "Sonavant/ui/UpdateCheck.h"
#include "gui/GuiTestMain.h"
#include "gui/LocalHttpServer.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "support/RecordingPresenter.h"

#include <filesystem>

using support::RecordingPresenter;

namespace {

struct Run {
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    int terminations = 0;
    std::unique_ptr<SonavantApp> app;
};

std::unique_ptr<Run> launch(const std::string& base, double splash = 0.2) {
    auto run = std::make_unique<Run>();
    SonavantApp::Options options;
    options.splashSeconds = splash;
    options.updateBaseAddress = base;
    options.presenter = run->presenter;
    options.terminate = [r = run.get()] { ++r->terminations; };
    run->app = std::make_unique<SonavantApp>(options);
    run->app->start();
    return run;
}

QByteArray reply(const QByteArray& version, const QByteArray& url = "https://example.org/sonavant") {
    return R"({"currentVersion": ")" + version + R"(", "downloadURL": ")" + url + R"("})";
}

bool waitForCheck(SonavantApp& app) {
    QSignalSpy finished(app.updateChecker(), &UpdateChecker::finished);
    return finished.count() > 0 || finished.wait(10000);
}

} // namespace

class UpdateCheckGuiTests : public QObject {
    Q_OBJECT

private slots:
    void anotherVersionIsOfferedAndSkipSilencesItForGood() {
        guitest::LocalHttpServer server;
        server.body = reply("9.1");
        {
            auto run = launch(server.baseAddress());
            run->presenter->alertAnswers.push_back("Skip");
            QTRY_VERIFY_WITH_TIMEOUT(!run->presenter->alerts.empty(), 10000);
            QCOMPARE(server.lastRequestLine, QByteArray("GET /version?action=getVersionInfo HTTP/1.1"));
            const auto& alert = run->presenter->alerts.front();
            QCOMPARE(alert.title, std::string("A new version is available: 9.1"));
            QCOMPARE(alert.text, std::string("Download this version from: https://example.org/sonavant"));
            QCOMPARE(alert.buttons, (std::vector<std::string>{"Update", "Skip"}));
            QCOMPARE(platform::UserDefaults::standard().boolean("skipUpdate_9.1"), std::optional<bool>(true));
            QVERIFY(run->presenter->openedURLs.empty());
            QTRY_VERIFY_WITH_TIMEOUT(run->app->isMainViewShown(), 5000);
            QCOMPARE(run->terminations, 0);
        }
        {
            auto run = launch(server.baseAddress());
            QVERIFY(waitForCheck(*run->app));
            QVERIFY(run->app->updateChecker()->versionCheckDone());
            QTRY_VERIFY_WITH_TIMEOUT(run->app->isMainViewShown(), 5000);
            QVERIFY(run->presenter->alerts.empty());
        }
    }

    void theRunningVersionShowsNothing() {
        guitest::LocalHttpServer server;
        server.body = reply(QByteArray::fromStdString(update::appInfo().version));
        auto run = launch(server.baseAddress());
        QVERIFY(waitForCheck(*run->app));
        QVERIFY(run->app->updateChecker()->versionCheckDone());
        QTRY_VERIFY_WITH_TIMEOUT(run->app->isMainViewShown(), 5000);
        QVERIFY(run->presenter->alerts.empty());
    }

    void anUnreachableServerIsAConsoleLineAndTheSplashStillEnds() {
        platform::LogCapture log;
        auto run = launch(guitest::unreachableAddress());
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("Version check error: "), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(run->app->isMainViewShown(), 5000);
        QVERIFY(run->presenter->alerts.empty());
        QVERIFY(!run->app->updateChecker()->versionCheckDone());
    }

    void oddRepliesAreConsoleLinesAndOpenNothing() {
        guitest::LocalHttpServer server;
        for (const QByteArray& body :
             {QByteArray("<html>not json</html>"), reply(QByteArray(10 * 1024 * 1024, '7'))}) {
            server.body = body;
            platform::LogCapture log;
            auto run = launch(server.baseAddress());
            QVERIFY(waitForCheck(*run->app));
            QVERIFY(log.contains("Version check error: "));
            QTRY_VERIFY_WITH_TIMEOUT(run->app->isMainViewShown(), 5000);
            QVERIFY(run->presenter->alerts.empty());
            QVERIFY(run->presenter->openedURLs.empty());
        }
    }

    void updateOpensOnlyWebAddressesAndQuitsOnlyAfterSaving() {
        guitest::LocalHttpServer server;
        // A download address of another scheme: nothing opened, the version skipped, still running.
        server.body = reply("9.2", "file:///etc/passwd");
        {
            auto run = launch(server.baseAddress());
            run->presenter->alertAnswers.push_back("Update");
            QTRY_VERIFY_WITH_TIMEOUT(!run->presenter->alerts.empty(), 10000);
            QVERIFY(run->presenter->openedURLs.empty());
            QCOMPARE(run->terminations, 0);
            QCOMPARE(platform::UserDefaults::standard().boolean("skipUpdate_9.2"), std::optional<bool>(true));
        }
        // A web address: opened, then the application quits, with the show saved first.
        server.body = reply("9.3", "https://example.org/sonavant-9.3");
        auto run = launch(server.baseAddress(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(run->app->isMainViewShown(), 5000);
        const auto autosave = run->app->persistence().autosaveURL();
        std::filesystem::remove(autosave);
        platform::LogCapture log;
        run->presenter->alertAnswers.push_back("Update");
        QTRY_VERIFY_WITH_TIMEOUT(run->terminations == 1, 10000);
        QCOMPARE(run->presenter->openedURLs, (std::vector<std::string>{"https://example.org/sonavant-9.3"}));
        QVERIFY(std::filesystem::exists(autosave));
        QVERIFY(log.contains("✅ App state saved successfully."));
        QVERIFY(!platform::UserDefaults::standard().contains("skipUpdate_9.3"));
    }
};

SONAVANT_GUI_TEST_MAIN(UpdateCheckGuiTests)
#include "UpdateCheckGuiTests.moc"
