// Core headers first: Qt's `emit` keyword macro must not reach them.
#include "Sonavant/ui/MixerModel.h"

#include "Sonavant/ui/MixerWindowFrame.h"
#include "Sonavant/windows/MixerViewWidget.h"
#include "Sonavant/windows/MixerWindow.h"
#include "platform/UserDefaults.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

MixerWindow::MixerWindow(MixerInputs inputs, platform::UserDefaults* defaults)
    : QWidget(nullptr, Qt::Window), model_(std::make_unique<MixerModel>(std::move(inputs))),
      defaults_(defaults) {
    setWindowTitle(QStringLiteral("Mixer"));
    setWindowFlag(Qt::WindowMinimizeButtonHint, false);
    setMinimumSize(int(MixerWindowFrame::width), int(MixerWindowFrame::minHeight));
    setMaximumSize(int(MixerWindowFrame::width), QWIDGETSIZE_MAX);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new MixerViewWidget(*model_, this);
    layout->addWidget(view_);
    resize(int(MixerWindowFrame::width), int(MixerWindowFrame::minHeight));
    placeFromSavedFrame();
}

MixerWindow::~MixerWindow() = default;

platform::UserDefaults& MixerWindow::defaults() const {
    return defaults_ ? *defaults_ : platform::UserDefaults::standard();
}

void MixerWindow::placeFromSavedFrame() {
    if (auto text = defaults().string(MixerWindowFrame::defaultsKey))
        if (auto frame = MixerWindowFrame::parse(*text)) {
            const auto f = MixerWindowFrame::constrained(*frame);
            setGeometry(int(f.x), int(f.y), int(f.w), int(f.h));
            return;
        }
    // Nothing kept (or nothing readable): the top right of the main screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect visible = screen->availableGeometry();
        const auto f = MixerWindowFrame::firstPlacement(visible.x(), visible.y(), visible.width());
        move(int(f.x), int(f.y));
    }
}

void MixerWindow::saveWindowFrame() {
    const QRect g = geometry();
    MixerWindowFrame frame{double(g.x()), double(g.y()), double(g.width()), double(g.height())};
    defaults().set(MixerWindowFrame::defaultsKey, platform::Value(frame.text()));
}

void MixerWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (appeared_)
        return;
    appeared_ = true;
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    if (model_->onAppear()) {
        // SoundScape desks have no sends to mix: this window closes again, not whichever
        // window happens to be active.
        QTimer::singleShot(0, this, [this] { close(); });
    }
    view_->refreshNow();
}

void MixerWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (appeared_ && isVisible())
        saveWindowFrame();
}

void MixerWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (appeared_ && isVisible())
        saveWindowFrame();
}
