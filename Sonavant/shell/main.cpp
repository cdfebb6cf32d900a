#include "Sonavant/shell/DarkPalette.h"
#include "Sonavant/shell/SonavantApp.h"
#include "Sonavant/shell/TerminationSignals.h"
#include "platform/qt/QtMainRunLoop.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Sonavant");
    platform::QtMainRunLoop::install();
    shell::applyDarkFusion(application);
    SonavantApp app;
    shell::quitOnTerminationSignals(&app, [&app] { app.quitWithoutAsking(); });
    app.start();
    return QApplication::exec();
}
