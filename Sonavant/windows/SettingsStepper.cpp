#include "Sonavant/windows/SettingsStepper.h"

#include <QVBoxLayout>

SettingsStepper::SettingsStepper(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto make = [this, column](Qt::ArrowType arrow, int steps, const char* name) {
        auto* button = new QToolButton(this);
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setFixedSize(18, 12);
        button->setObjectName(name);
        connect(button, &QToolButton::clicked, this, [this, steps] {
            emit stepped(steps);
            refresh();
        });
        column->addWidget(button);
        return button;
    };
    up_ = make(Qt::UpArrow, 1, "stepUp");
    down_ = make(Qt::DownArrow, -1, "stepDown");
}

void SettingsStepper::refresh() {
    up_->setEnabled(!canStep || canStep(1));
    down_->setEnabled(!canStep || canStep(-1));
}
