#pragma once
// An invisible 1 x 1 widget that takes the main window's keyboard focus once, on the turn of
// the event loop after the window shows it, so the arrow keys move the canvas selection
// without a click first. It draws nothing (no focus ring) and passes clicks through; the key
// presses it receives go to its key target (the canvas). It does not take the focus back
// when a field takes it later.

#include <QPointer>
#include <QWidget>

class FocusHolder : public QWidget {
    Q_OBJECT
public:
    explicit FocusHolder(QWidget* parent = nullptr);

    void setKeyTarget(QWidget* target) { keyTarget_ = target; }
    QWidget* keyTarget() const { return keyTarget_; }
    bool hasTakenFocus() const { return taken_; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent*) override {}
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void takeFocus();
    void forward(QKeyEvent* event);

    QPointer<QWidget> keyTarget_;
    bool requested_ = false;
    bool taken_ = false;
};
