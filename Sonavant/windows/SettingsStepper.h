#pragma once
// A stepper without a label: an up and a down arrow. It only reports steps; the page
// decides what a step does and when an arrow is off.

#include <QToolButton>
#include <QWidget>

#include <functional>

class SettingsStepper : public QWidget {
    Q_OBJECT
public:
    explicit SettingsStepper(QWidget* parent = nullptr);

    // Whether a step up (+1) or down (-1) can be taken now; asked on refresh().
    std::function<bool(int)> canStep;
    void refresh();

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

signals:
    void stepped(int steps);

private:
    QToolButton* up_;
    QToolButton* down_;
};
