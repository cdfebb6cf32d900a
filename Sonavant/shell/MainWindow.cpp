#include "Sonavant/shell/MainWindow.h"

#include "Sonavant/ui/WindowFrame.h"
#include "platform/UserDefaults.h"

#include <QCloseEvent>
#include <QStackedWidget>

MainWindow::MainWindow(platform::UserDefaults& defaults, QWidget* parent)
    : QMainWindow(parent), defaults_(defaults) {
    setObjectName("MainWindow");
    setWindowTitle("Sonavant");
    setMinimumSize(800, 600);
    resize(1200, 760);
    stack_ = new QStackedWidget(this);
    setCentralWidget(stack_);
}

void MainWindow::setSplash(QWidget* splash) {
    stack_->insertWidget(0, splash);
    stack_->setCurrentWidget(splash);
}

void MainWindow::setMainView(QWidget* mainView) {
    mainView_ = mainView;
    stack_->addWidget(mainView);
    mainView->installEventFilter(this);
}

void MainWindow::updateMinimumSize() {
    QSize minimum(800, 600);
    if (isShowingMainView()) {
        // The menu bar takes its height from the window, not from the main view.
        QSize needed = mainView_->minimumSizeHint().expandedTo(mainView_->minimumSize());
        if (const QWidget* bar = menuWidget())
            needed.rheight() += bar->sizeHint().height();
        minimum = minimum.expandedTo(needed);
    }
    if (minimumSize() != minimum)
        setMinimumSize(minimum);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Showing or hiding a part of the main view changes what it needs.
    if (watched == mainView_ && event->type() == QEvent::LayoutRequest)
        updateMinimumSize();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showMainView() {
    if (!mainView_)
        return;
    QWidget* old = stack_->currentWidget();
    stack_->setCurrentWidget(mainView_);
    // The splash shows once per launch.
    if (old && old != mainView_) {
        stack_->removeWidget(old);
        old->deleteLater();
    }
    configureMainWindow();
    updateMinimumSize();
}

bool MainWindow::isShowingMainView() const {
    return mainView_ && stack_->currentWidget() == mainView_;
}

void MainWindow::configureMainWindow() {
    if (auto text = defaults_.string(windowframe::mainWindowKey))
        if (auto frame = windowframe::parse(*text))
            setGeometry(frame->x, frame->y, frame->width, frame->height);
    updateMinimumSize();
    configured_ = true;
}

void MainWindow::saveFrame() {
    if (!configured_)
        return; // the frame of a window not yet set up would replace the operator's one
    const QRect g = geometry();
    defaults_.set(windowframe::mainWindowKey, windowframe::format({g.x(), g.y(), g.width(), g.height()}));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveFrame();
    if (onClose && !onClose()) {
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (isVisible())
        saveFrame();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (isVisible())
        saveFrame();
}
