#include "Sonavant/panels/StepperButtons.h"

#include <QToolButton>
#include <QVBoxLayout>

StepperButtons::StepperButtons(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (auto* button : {up_, down_}) {
        button->setAutoRepeat(true);
        button->setFixedSize(18, 12);
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(button);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setObjectName("increment");
    down_->setObjectName("decrement");
    up_->setAccessibleName("Increment");
    down_->setAccessibleName("Decrement");
    connect(up_, &QToolButton::clicked, this, [this] { emit stepped(1); });
    connect(down_, &QToolButton::clicked, this, [this] { emit stepped(-1); });
}

bool StepperButtons::isHeld() const {
    return up_->isDown() || down_->isDown();
}
