#pragma once
// A stepper without a field of its own: an up and a down button beside a number field.
// It only reports the direction; the sheet's rules decide where a step lands.

#include <QWidget>

class QToolButton;

class StepperButtons : public QWidget {
    Q_OBJECT
public:
    explicit StepperButtons(QWidget* parent = nullptr);
    QToolButton* incrementButton() const { return up_; }
    QToolButton* decrementButton() const { return down_; }
    // A button is held down: the step just reported repeats, more follow.
    bool isHeld() const;

signals:
    void stepped(int direction); // +1 up, -1 down

private:
    QToolButton* up_;
    QToolButton* down_;
};
