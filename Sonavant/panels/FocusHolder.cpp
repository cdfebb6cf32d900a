#include "Sonavant/panels/FocusHolder.h"

#include <QApplication>
#include <QKeyEvent>

FocusHolder::FocusHolder(QWidget* parent) : QWidget(parent) {
    setFixedSize(1, 1);
    setFocusPolicy(Qt::NoFocus); // never a Tab stop; taken once, on purpose
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setAttribute(Qt::WA_NoSystemBackground);
    setAccessibleName("Keyboard focus");
}

void FocusHolder::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (requested_)
        return;
    requested_ = true;
    // Queued, so that it lands after what the window does on showing (the window's own
    // set-up runs on the turn that shows it).
    QMetaObject::invokeMethod(
        this, [this] { takeFocus(); }, Qt::QueuedConnection);
}

void FocusHolder::takeFocus() {
    // Not in a visible window (made before being placed, or hidden again): nothing to do.
    if (!isVisible() || !window()->isVisible())
        return;
    setFocus(Qt::OtherFocusReason);
    taken_ = true;
}

void FocusHolder::forward(QKeyEvent* event) {
    if (!keyTarget_) {
        event->ignore(); // up to the parents, as for any unhandled key
        return;
    }
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                   event->nativeVirtualKey(), event->nativeModifiers(), event->text(), event->isAutoRepeat(),
                   ushort(event->count()));
    QApplication::sendEvent(keyTarget_, &copy);
    event->setAccepted(copy.isAccepted());
}

void FocusHolder::keyPressEvent(QKeyEvent* event) {
    forward(event);
}

void FocusHolder::keyReleaseEvent(QKeyEvent* event) {
    forward(event);
}
