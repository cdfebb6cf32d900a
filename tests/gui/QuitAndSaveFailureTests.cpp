// The ways out of the application and the saves that go with them: a full disk under the
// autosave and the working state is told to the operator once per kind until a save works
// again, a quit whose final save fails asks first (and Cancel, Return, Escape or closing the
// box leave everything running), a termination signal never asks, and a quit ends the program
// whatever a sheet holds.
//
// The last two cases run Qt's own event loop (QCoreApplication::exec) and end it the way
// the program ends; they come last.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/AppSaveContainer.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/panels/SpeakerSheet.h"
#include "Sonavant/shell/MainWindow.h"
#include "Sonavant/shell/MenuBar.h"
#include "Sonavant/shell/SonavantApp.h"
#include "Sonavant/shell/TerminationSignals.h"
#include "gui/GuiTestMain.h"
#include "platform/Files.h"
#include "platform/Serialization.h"
#include "platform/UserDefaults.h"
#include "support/RecordingPresenter.h"

#include <QAction>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace {

constexpr int deadline = 10000; // ms

struct Launched {
    std::shared_ptr<support::RecordingPresenter> presenter = std::make_shared<support::RecordingPresenter>();
    int terminations = 0;
    std::unique_ptr<SonavantApp> app;
};

// The application with a recording presenter and no end of the process of its own.
std::unique_ptr<Launched> launch() {
    auto launched = std::make_unique<Launched>();
    SonavantApp::Options options;
    options.splashSeconds = 0;
    options.checkForUpdates = false;
    options.presenter = launched->presenter;
    options.terminate = [l = launched.get()] { ++l->terminations; };
    launched->app = std::make_unique<SonavantApp>(options);
    launched->app->start();
    return launched;
}

// Every file write fails as on a full disk while it lives; counts the writes it refused.
struct FullDisk {
    std::shared_ptr<std::atomic<int>> refused = std::make_shared<std::atomic<int>>(0);
    FullDisk() {
        platform::setWriteFault([refused = refused](const std::filesystem::path&) {
            ++*refused;
            return ENOSPC;
        });
    }
    ~FullDisk() { platform::setWriteFault({}); }
};

// Lets every file write through and lists the targets in the order they were asked for.
struct Recorded {
    std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();
    std::shared_ptr<std::vector<std::filesystem::path>> list =
        std::make_shared<std::vector<std::filesystem::path>>();
    Recorded() {
        platform::setWriteFault([mutex = mutex, list = list](const std::filesystem::path& target) {
            std::lock_guard lock(*mutex);
            list->push_back(target);
            return 0;
        });
    }
    ~Recorded() { platform::setWriteFault({}); }
    std::vector<std::filesystem::path> targets() const {
        std::lock_guard lock(*mutex);
        return *list;
    }
};

// The number of loudspeakers in the autosave file; -1 when it does not read.
int autosavedSpeakers(const std::filesystem::path& autosave) {
    try {
        return int(AppSaveContainer::decode(platform::readPropertyList(platform::readFile(autosave)), "")
                       .appState->speakers->size());
    } catch (const std::exception&) {
        return -1;
    }
}

std::vector<std::string> titles(const support::RecordingPresenter& presenter) {
    std::vector<std::string> list;
    for (const auto& alert : presenter.alerts)
        list.push_back(alert.title);
    return list;
}

// A sheet over the main window holding a channel it refuses to close with.
QPointer<SpeakerSheet> sheetHoldingRefusedText(SonavantApp& app) {
    ContentView& view = app.contentView();
    view.appState->speakers = std::vector<Speaker>{}; // an earlier case's are in the working state
    view.addSpeaker();
    view.addSpeaker();
    const auto speakers = view.appState->speakers.get();
    if (speakers.size() != 2)
        return nullptr;
    QPointer<SpeakerSheet> sheet = SpeakerSheet::open(&app.mainWindow(), view, speakers[1].id);
    if (!sheet)
        return nullptr;
    auto* channel = sheet->findChild<QLineEdit*>("channelField");
    channel->setFocus();
    channel->selectAll();
    QTest::keyClicks(channel, QString::number(speakers[0].channelNumber));
    QTest::keyClick(channel, Qt::Key_Return);
    return sheet;
}

// Where a key pressed on the box goes: the button holding the focus, else the box.
QWidget* keyTarget(QMessageBox& box) {
    QWidget* focus = box.focusWidget();
    return focus ? focus : &box;
}

// Runs Qt's event loop as main() does, with `quit` on its first turn; the loop's result, or
// -1 when the program was still running at the deadline.
int runUntilTheProgramEnds(const std::function<void()>& quit) {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    watchdog.start(deadline);
    QTimer::singleShot(0, quit);
    return QCoreApplication::exec();
}

} // namespace

class QuitAndSaveFailureTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Every desk message of these tests stays on this machine.
        platform::UserDefaults::standard().set("savedTargetDeskIP", std::string("127.0.0.1"));
        platform::UserDefaults::standard().set("savedReceivePort", std::string("0"));
        ::setenv(AppStatePersistence::autosaveIntervalVariable, "0.2", 1);
    }

    void aFullDiskIsToldOncePerFileUntilAWriteOfItWorksAgain() {
        auto l = launch();
        SonavantApp& app = *l->app;
        QTRY_VERIFY_WITH_TIMEOUT(app.isMainViewShown(), deadline);
        {
            FullDisk disk;
            QTRY_COMPARE_WITH_TIMEOUT(l->presenter->alerts.size(), std::size_t(2), deadline);
            QCOMPARE(titles(*l->presenter),
                     (std::vector<std::string>{"The show could not be autosaved.",
                                               "The working state could not be saved."}));
            for (const auto& alert : l->presenter->alerts)
                QVERIFY2(alert.text.find("No space left on device") != std::string::npos, alert.text.c_str());
            QVERIFY(l->presenter->alerts[0].text.find("autosave.sonavant") != std::string::npos);
            QVERIFY(l->presenter->alerts[1].text.find("Sonavant.plist") != std::string::npos);
            // Ten more ticks fail, and nothing more is shown.
            const int before = *disk.refused;
            QTRY_VERIFY_WITH_TIMEOUT(*disk.refused >= before + 20, deadline);
            QCOMPARE(l->presenter->alerts.size(), std::size_t(2));
        }
        // The disk has room again: the next ticks write, and a new failure is told again.
        QTRY_VERIFY_WITH_TIMEOUT(app.persistence().autosaveError().empty(), deadline);
        QTRY_VERIFY_WITH_TIMEOUT(platform::UserDefaults::standard().writeError().empty(), deadline);
        {
            FullDisk disk;
            app.contentView().writeAutosaveAndWorkingState();
            // Told after the write has returned, on a later turn, never from inside it.
            QCOMPARE(l->presenter->alerts.size(), std::size_t(2));
            QTRY_COMPARE_WITH_TIMEOUT(l->presenter->alerts.size(), std::size_t(4), deadline);
        }
        QTRY_VERIFY_WITH_TIMEOUT(app.persistence().autosaveError().empty(), deadline);
        QCOMPARE(l->terminations, 0);
    }

    void aQuitWhoseFinalSaveFailsAsksAndCancelLeavesTheProgramRunning() {
        auto l = launch();
        SonavantApp& app = *l->app;
        QTRY_VERIFY_WITH_TIMEOUT(app.isMainViewShown(), deadline);
        QTRY_VERIFY_WITH_TIMEOUT(app.contentView().oscReceiver != nullptr, deadline);
        {
            FullDisk disk;
            // The menu's quit: asked, Cancel.
            l->presenter->alertAnswers = {"Cancel"};
            QVERIFY(!app.quit());
            QCOMPARE(titles(*l->presenter),
                     std::vector<std::string>{"The show could not be saved before quitting."});
            QCOMPARE(l->presenter->alerts[0].buttons, (std::vector<std::string>{"Quit Anyway", "Cancel"}));
            QVERIFY(l->presenter->alerts[0].text.find("No space left on device") != std::string::npos);
            QCOMPARE(l->terminations, 0);

            // Closing the window: asked, Cancel; the window stays.
            l->presenter->alertAnswers = {"Cancel"};
            QVERIFY(!app.mainWindow().close());
            QVERIFY(app.mainWindow().isVisible());
            QCOMPARE(l->presenter->alerts.size(), std::size_t(2));
            QCOMPARE(l->terminations, 0);
        }
        // Nothing was shut down: the autosave runs, the receiver listens, the working state
        // is still written.
        QVERIFY(app.persistence().autosaveTimer() && app.persistence().autosaveTimer()->isValid());
        QVERIFY(app.contentView().oscReceiver != nullptr);
        QVERIFY(app.contentView().tcpRefreshTimer != nullptr);
        app.appState()->range = 7.25;
        QTRY_COMPARE_WITH_TIMEOUT(
            platform::UserDefaults(platform::configurationDirectory()).real("savedRange"),
            std::optional<double>(7.25), deadline);

        {
            FullDisk disk;
            l->presenter->alertAnswers = {"Quit Anyway"};
            QVERIFY(app.quit());
            QCOMPARE(l->presenter->alerts.size(), std::size_t(3));
            QCOMPARE(l->terminations, 1);
            QVERIFY(app.contentView().tcpRefreshTimer == nullptr); // shut down
        }
    }

    // The operator's own keys on Qt's box: only a click on "Quit Anyway" discards the show.
    void returnEscapeAndClosingTheQuitQuestionAllCancel() {
        ::setenv(AppStatePersistence::autosaveIntervalVariable, "600", 1); // no tick tells a failure
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        int terminations = 0;
        options.terminate = [&terminations] { ++terminations; };
        auto app = std::make_unique<SonavantApp>(options); // the Qt presenter
        ::setenv(AppStatePersistence::autosaveIntervalVariable, "0.2", 1);
        app->start();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), deadline);
        QVERIFY(app->qtPresenter());
        FullDisk disk;
        const std::vector<std::pair<const char*, std::function<void(QMessageBox&)>>> ways = {
            {"Return", [](QMessageBox& box) { QTest::keyClick(keyTarget(box), Qt::Key_Return); }},
            {"Escape", [](QMessageBox& box) { QTest::keyClick(keyTarget(box), Qt::Key_Escape); }},
            {"closing the box", [](QMessageBox& box) { box.close(); }},
        };
        for (const auto& [how, answer] : ways) {
            QString asked;
            // Answered from inside the box's own loop once it is on screen.
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&, &answer = answer] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box || !box->isVisible() || !asked.isEmpty())
                    return;
                asked = box->text();
                answer(*box);
            });
            poll.start(20);
            QVERIFY2(!app->quit(), how);
            poll.stop();
            QCOMPARE(asked, QString("The show could not be saved before quitting."));
            QCOMPARE(terminations, 0);
        }
        QVERIFY(app->persistence().autosaveTimer() && app->persistence().autosaveTimer()->isValid());
        QVERIFY(app->contentView().tcpRefreshTimer != nullptr);
        QVERIFY(app->mainWindow().isVisible());
    }

    void aTerminationSignalQuitsWithoutAskingEvenWhenTheSaveFails() {
        auto l = launch();
        SonavantApp& app = *l->app;
        QTRY_VERIFY_WITH_TIMEOUT(app.isMainViewShown(), deadline);
        FullDisk disk;
        app.quitWithoutAsking();
        QVERIFY(l->presenter->alerts.empty());
        QCOMPARE(l->terminations, 1);
    }

    // At every tick the autosave is written before the working state: a kill between them
    // leaves a working state older than the autosave, which the launch can tell.
    void eachTickWritesTheAutosaveFirst() {
        auto l = launch();
        SonavantApp& app = *l->app;
        QTRY_VERIFY_WITH_TIMEOUT(app.isMainViewShown(), deadline);
        // Between ticks, with nothing under way.
        app.contentView().waitForWrites();
        Recorded disk;
        QTRY_VERIFY_WITH_TIMEOUT(disk.targets().size() >= 4, deadline);
        const auto targets = disk.targets();
        const std::filesystem::path autosave = app.persistence().autosaveURL();
        const std::filesystem::path workingState = platform::UserDefaults::standard().filePath();
        for (std::size_t i = 0; i + 1 < 4; i += 2) {
            QCOMPARE(targets[i].string(), autosave.string());
            QCOMPARE(targets[i + 1].string(), workingState.string());
        }
    }

    // Cancel keeps the program running, and with it the duty of a final save: an edit after it
    // is on disk when a termination signal ends the program.
    void aCancelledQuitStillSavesAtATerminationSignal() {
        // No tick writes the edit for the final save.
        ::setenv(AppStatePersistence::autosaveIntervalVariable, "3600", 1);
        auto l = launch();
        ::setenv(AppStatePersistence::autosaveIntervalVariable, "0.2", 1);
        SonavantApp& app = *l->app;
        QTRY_VERIFY_WITH_TIMEOUT(app.isMainViewShown(), deadline);
        {
            FullDisk disk;
            l->presenter->alertAnswers = {"Cancel"};
            QVERIFY(!app.quit());
        }
        app.appState()->speakers = std::vector<Speaker>{};
        app.contentView().addSpeaker();
        app.contentView().addSpeaker();
        QCOMPARE(app.appState()->speakers->size(), std::size_t(2));
        app.quitWithoutAsking();
        QCOMPARE(l->terminations, 1);
        QCOMPARE(autosavedSpeakers(app.persistence().autosaveURL()), 2);
        platform::UserDefaults onDisk(platform::configurationDirectory());
        const auto speakers = onDisk.data("savedSpeakers");
        QVERIFY(speakers);
        QCOMPARE(platform::readJSON(std::string(speakers->begin(), speakers->end())).asArray()->size(),
                 std::size_t(2));
    }

    // These end Qt's event loop as the program ends; nothing after them needs it.
    void theMenusQuitEndsTheProgramWhateverASheetHolds() {
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        auto app = std::make_unique<SonavantApp>(options); // the Qt presenter, the real end
        app->start();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), deadline);
        QPointer<SpeakerSheet> sheet = sheetHoldingRefusedText(*app);
        QVERIFY(sheet);
        QTRY_VERIFY_WITH_TIMEOUT(sheet->isVisible(), deadline);
        sheet->close();
        QVERIFY2(sheet && sheet->isVisible(), "the sheet must refuse to close for this case");
        QAction* quit = app->mainWindow().findChild<MenuBar*>()->action("Quit Sonavant");
        QVERIFY(quit);
        QCOMPARE(runUntilTheProgramEnds([quit] { quit->trigger(); }), 0);
        app.reset();
    }

    void aTerminationSignalEndsTheProgramWhateverASheetHolds() {
        SonavantApp::Options options;
        options.splashSeconds = 0;
        options.checkForUpdates = false;
        auto app = std::make_unique<SonavantApp>(options);
        SonavantApp* running = app.get();
        shell::quitOnTerminationSignals(running, [running] { running->quitWithoutAsking(); });
        app->start();
        QTRY_VERIFY_WITH_TIMEOUT(app->isMainViewShown(), deadline);
        QPointer<SpeakerSheet> sheet = sheetHoldingRefusedText(*app);
        QVERIFY(sheet);
        QTRY_VERIFY_WITH_TIMEOUT(sheet->isVisible(), deadline);
        QCOMPARE(runUntilTheProgramEnds([] { std::raise(SIGTERM); }), 0);
        app.reset();
    }
};

SONAVANT_GUI_TEST_MAIN(QuitAndSaveFailureTests)
#include "QuitAndSaveFailureTests.moc"
