#include "Sonavant/panels/CueRowWidget.h"

#include "Sonavant/panels/CueSymbols.h"
#include "Sonavant/ui/CueText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {

QColor withOpacity(QColor colour, double opacity) {
    colour.setAlphaF(opacity);
    return colour;
}

} // namespace

CueRowWidget::CueRowWidget(std::shared_ptr<PathCue> cue, QWidget* parent)
    : QWidget(parent), cue_(std::move(cue)) {
    setAttribute(Qt::WA_TransparentForMouseEvents); // the list takes the clicks
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 10, 0, 10);
    row->setSpacing(4);

    number_ = new QLabel(this);
    number_->setFixedWidth(50);
    number_->setContentsMargins(20, 0, 0, 0);
    number_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    name_ = new QLabel(this);
    name_->setFixedWidth(130);
    name_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    time_ = new QLabel(this);
    time_->setFixedWidth(40);
    time_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    loop_ = new QLabel(this);
    loop_->setPixmap(cueSymbol(CueSymbol::repeat).pixmap(14, 14));
    loop_->setContentsMargins(0, 0, 4, 0);
    trigger_ = new QLabel(this);
    trigger_->setContentsMargins(0, 0, 4, 0);

    row->addWidget(number_);
    row->addWidget(cueColumnRule(this));
    row->addWidget(name_);
    row->addWidget(cueColumnRule(this));
    row->addWidget(time_);
    row->addWidget(loop_);
    row->addWidget(trigger_);
    row->addStretch(1);
    refresh({});
}

void CueRowWidget::refresh(const CueRowState& state) {
    state_ = state;
    const auto text = [](const std::string& s) { return QString::fromStdString(s); };
    number_->setText(text(cuetext::rowNumber(cue_->number)));
    // Long names end in an ellipsis rather than pushing the time out of its column.
    name_->setText(name_->fontMetrics().elidedText(text(cue_->name), Qt::ElideRight, name_->width()));
    name_->setToolTip(text(cue_->name));
    time_->setText(text(cuetext::rowTime(cue_->time)));
    loop_->setVisible(cue_->loop);
    switch (cue_->triggerNext) {
    case TriggerNextOption::none:
        trigger_->clear();
        trigger_->hide();
        break;
    case TriggerNextOption::simultaneous:
        trigger_->setPixmap(cueSymbol(CueSymbol::arrowDown).pixmap(14, 14));
        trigger_->show();
        break;
    case TriggerNextOption::sequential:
        trigger_->setPixmap(cueSymbol(CueSymbol::arrowTurnDown).pixmap(14, 14));
        trigger_->show();
        break;
    }
    update();
}

void CueRowWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 4, 4);
    painter.setClipPath(shape);
    // The state colour below, the tint over it: playing wins over selected, error over
    // relative, and the two stack.
    if (state_.playing)
        painter.fillRect(rect(), withOpacity(QColor(52, 199, 89), 0.3));
    else if (state_.selected)
        painter.fillRect(rect(), withOpacity(QColor(10, 132, 255), 0.3));
    if (state_.error)
        painter.fillRect(rect(), withOpacity(QColor(255, 69, 58), 0.3));
    else if (state_.relative)
        painter.fillRect(rect(), withOpacity(QColor(255, 159, 10), 0.1));
}

QWidget* cueColumnRule(QWidget* parent) {
    auto* line = new QWidget(parent);
    line->setFixedWidth(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, QColor(142, 142, 147, 77));
    line->setPalette(palette);
    return line;
}
