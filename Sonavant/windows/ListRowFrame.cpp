#include "Sonavant/windows/ListRowFrame.h"

#include <QMouseEvent>
#include <QPainter>

ListRowFrame::ListRowFrame(QWidget* parent, QColor tint, qreal cornerRadius)
    : QWidget(parent), tint_(tint), radius_(cornerRadius) {
    tint_.setAlphaF(0.2);
}

void ListRowFrame::setHighlighted(bool highlighted) {
    if (highlighted_ == highlighted)
        return;
    highlighted_ = highlighted;
    update();
}

void ListRowFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onClick)
        onClick();
    event->accept();
}

void ListRowFrame::paintEvent(QPaintEvent*) {
    if (!highlighted_)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(tint_);
    p.drawRoundedRect(QRectF(rect()), radius_, radius_);
}
