#pragma once
// What every GUI test program shares: fresh HOME and XDG folders made before the application
// exists (so no test reads or writes a real user's defaults, autosave or shows), the main run
// loop serviced by Qt, the application's own dark look, and screenshots written for people to
// look at.

#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/shell/DarkPalette.h"
#include "platform/qt/QtMainRunLoop.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QWidget>
#include <QtTest>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace guitest {

// A fresh home for this program, removed at exit; returns its path.
inline std::filesystem::path prepareEnvironment() {
    static std::filesystem::path home = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "sonavant-gui-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        std::filesystem::path h(pattern);
        for (const char* sub : {"config", "data", "cache"})
            std::filesystem::create_directories(h / sub);
        ::setenv("HOME", h.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (h / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (h / "data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (h / "cache").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(home, ignored);
        });
        return h;
    }();
    return home;
}

// Where screenshots go: $SONAVANT_SCREENSHOT_DIR, else ./screenshots.
inline QString screenshotDir() {
    const char* dir = std::getenv("SONAVANT_SCREENSHOT_DIR");
    QString path = dir && *dir ? QString::fromUtf8(dir) : QStringLiteral("screenshots");
    QDir().mkpath(path);
    return path;
}

// True when the image holds more than one colour.
inline bool isNonBlank(const QImage& image) {
    if (image.isNull())
        return false;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}

// Renders the widget into <dir>/<name>.png; the image must be non-blank and of the widget's
// size (device pixels aside).
inline void saveScreenshot(QWidget& widget, const QString& name) {
    // Item moves on the canvas ease for a moment: picture them where they come to rest.
    QList<CanvasWidget*> canvases = widget.findChildren<CanvasWidget*>();
    if (auto* canvas = qobject_cast<CanvasWidget*>(&widget))
        canvases << canvas;
    for (CanvasWidget* canvas : canvases)
        QTRY_VERIFY_WITH_TIMEOUT((canvas->grab(), !canvas->isAnimating()), 5000);
    QImage image = widget.grab().toImage();
    QVERIFY2(isNonBlank(image), qPrintable(name + " is blank"));
    QCOMPARE(image.size() / image.devicePixelRatio(), widget.size());
    QVERIFY(image.save(screenshotDir() + "/" + name + ".png"));
}

} // namespace guitest

// Like QTEST_MAIN, with the fresh environment, the Qt-serviced main run loop and the dark look.
#define SONAVANT_GUI_TEST_MAIN(TestObject)                                                                   \
    int main(int argc, char** argv) {                                                                        \
        guitest::prepareEnvironment();                                                                       \
        QApplication app(argc, argv);                                                                        \
        platform::QtMainRunLoop::install();                                                                  \
        shell::applyDarkFusion(app);                                                                         \
        TestObject test;                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
