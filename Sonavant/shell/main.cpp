#include "platform/qt/QtMainRunLoop.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Sonavant");
    platform::QtMainRunLoop::install();
    QMainWindow window;
    window.setWindowTitle("Sonavant");
    window.setMinimumSize(800, 600);
    window.show();
    return QApplication::exec();
}
