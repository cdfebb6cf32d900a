#pragma once
// The one main window: the splash first, then the main view in the same window. At least
// 800 x 600; its frame is kept in the user defaults under "NSWindow Frame MainWindow" and
// given back when the main view comes (and at the next start).

#include <QMainWindow>

#include <functional>

class QStackedWidget;
namespace platform {
class UserDefaults;
}

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(platform::UserDefaults& defaults, QWidget* parent = nullptr);

    void setSplash(QWidget* splash);
    void setMainView(QWidget* mainView);
    void showMainView();
    bool isShowingMainView() const;
    QWidget* mainView() const { return mainView_; }

    // Reads the stored frame and the minimum size; repeating it gives the same result.
    void configureMainWindow();
    void saveFrame();

    // 800 x 600, or more while the content needs more (the main view: 1110 x 600 and more
    // while its parts need it).
    void updateMinimumSize();

    // Runs before the window closes (the application saves its state there); false keeps
    // the window open.
    std::function<bool()> onClose;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    platform::UserDefaults& defaults_;
    QStackedWidget* stack_;
    QWidget* mainView_ = nullptr;
    bool configured_ = false;
};
