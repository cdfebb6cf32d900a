#include "Sonavant/windows/MixerFaderWidget.h"

#include "Sonavant/ui/MixerFaderMaths.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

MixerFaderWidget::MixerFaderWidget(QWidget* parent) : QWidget(parent) {
    setFixedHeight(int(mixerfader::height));
    setMaximumWidth(int(mixerfader::maximumWidth));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void MixerFaderWidget::setRange(const DeskRange& range) {
    if (range == range_)
        return;
    range_ = range;
    update();
}

void MixerFaderWidget::setValue(double value) {
    if (value == value_)
        return;
    value_ = value;
    if (!dragging_)
        update();
}

void MixerFaderWidget::setAccentColor(const QColor& colour) {
    if (colour == accent_)
        return;
    accent_ = colour;
    update();
}

double MixerFaderWidget::trackLength() const {
    return width() - 2 * mixerfader::trackInset;
}

double MixerFaderWidget::thumbX() const {
    return mixerfader::trackInset + faderPosition(shownValue(), trackLength(), range_);
}

QSize MixerFaderWidget::sizeHint() const {
    return {int(mixerfader::maximumWidth), int(mixerfader::height)};
}

QSize MixerFaderWidget::minimumSizeHint() const {
    return {int(4 * mixerfader::trackInset), int(mixerfader::height)};
}

void MixerFaderWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double left = mixerfader::trackInset;
    const double cy = height() / 2.0;
    const double x = thumbX();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(142, 142, 147, int(0.4 * 255)));
    p.drawRoundedRect(QRectF(left, cy - 2, std::max(trackLength(), 0.0), 4), 2, 2);
    p.setBrush(QColor(10, 132, 255, int(0.5 * 255)));
    p.drawRoundedRect(QRectF(left, cy - 2, x - left, 4), 2, 2);
    QColor fill = accent_;
    fill.setAlphaF(0.9f);
    p.setBrush(fill);
    p.setPen(QPen(QColor(0, 0, 0, int(0.9 * 255)), mixerfader::thumbOutline));
    const double r = mixerfader::thumbDiameter / 2;
    p.drawEllipse(QPointF(x, cy), r, r);
}

void MixerFaderWidget::mousePressEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (event->button() != Qt::LeftButton ||
        !isOnFaderThumb(at.x() - mixerfader::trackInset, at.y(), value_, trackLength(), range_)) {
        event->ignore();
        return;
    }
    dragging_ = true;
    dragTo(at.x(), true);
}

void MixerFaderWidget::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_)
        dragTo(event->position().x(), false);
}

void MixerFaderWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    update();
    emit editingChanged(false);
    emit editingEnded();
}

void MixerFaderWidget::dragTo(double x, bool pressed) {
    // The thumb shows the whole-number level a move sends, so it steps; a move within one
    // step sends nothing.
    const double level = faderLevel(faderValueAt(x - mixerfader::trackInset, trackLength(), range_), range_);
    if (!pressed && level == dragValue_)
        return;
    emit editingChanged(true);
    dragValue_ = level;
    update();
    emit valueDragged(dragValue_);
}
