#include "Sonavant/shell/StepperField.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

StepperField::StepperField(int fieldWidth, int height, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    field_ = new QLineEdit(this);
    field_->setAlignment(Qt::AlignCenter);
    field_->setFixedSize(fieldWidth, height - 6);
    row->addWidget(field_);

    auto* arrows = new QVBoxLayout;
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    auto makeArrow = [this](Qt::ArrowType type) {
        auto* button = new QToolButton(this);
        button->setArrowType(type);
        button->setAutoRepeat(true);
        button->setFixedSize(16, 12);
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    up_ = makeArrow(Qt::UpArrow);
    down_ = makeArrow(Qt::DownArrow);
    arrows->addWidget(up_);
    arrows->addWidget(down_);
    row->addLayout(arrows);

    connect(field_, &QLineEdit::editingFinished, this, [this] {
        field_->setModified(false); // the owner shows what it accepted
        emit typed(field_->text());
    });
    connect(up_, &QToolButton::clicked, this, [this] { emit stepped(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { emit stepped(-1); });
}

void StepperField::setValueText(const QString& text) {
    if (field_->hasFocus() && field_->isModified())
        return;
    if (field_->text() != text)
        field_->setText(text);
    field_->setModified(false);
}

void StepperField::setStepEnabled(bool up, bool down) {
    up_->setEnabled(up);
    down_->setEnabled(down);
}
