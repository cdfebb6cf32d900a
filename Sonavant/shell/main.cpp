#include "Sonavant/shell/DarkPalette.h"
#include "Sonavant/shell/QtPresenter.h"
#include "Sonavant/shell/SonavantApp.h"
#include "Sonavant/shell/TerminationSignals.h"
#include "Sonavant/ui/SingleLaunch.h"
#include "platform/Files.h"
#include "platform/qt/QtMainRunLoop.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Sonavant");
    platform::QtMainRunLoop::install();
    shell::applyDarkFusion(application);
    // Settled before anything reads the autosave or the working state or binds a socket. A
    // box on a screen no one sees would keep the process for ever: the console line tells it.
    const QString screen = QGuiApplication::platformName();
    QtPresenter alerts;
    const launch::LaunchClaim claim = launch::claimAutosaveFolder(
        platform::applicationSupportDirectory(), platform::configurationDirectory(),
        screen == "offscreen" || screen == "minimal" ? nullptr : &alerts);
    if (claim.refused)
        return 1;
    SonavantApp app;
    shell::quitOnTerminationSignals(&app, [&app] { app.quitWithoutAsking(); });
    app.start();
    return QApplication::exec();
}
