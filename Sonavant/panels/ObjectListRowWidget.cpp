#include "Sonavant/panels/ObjectListRowWidget.h"
#include "Sonavant/windows/QtNamedColor.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int padX = 8, padY = 4, swatch = 16, spacing = 10, numberWidth = 45;
}

ObjectListRowWidget::ObjectListRowWidget(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void ObjectListRowWidget::setRow(const ObjectListRow& row) {
    if (row == row_)
        return;
    row_ = row;
    setAccessibleName(QString::fromStdString(row_.numberText + " " + row_.name));
    update();
}

QSize ObjectListRowWidget::sizeHint() const {
    return QSize(200, std::max(swatch, fontMetrics().height()) + 2 * padY);
}

void ObjectListRowWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (row_.selected) {
        QColor accent = palette().color(QPalette::Highlight);
        accent.setAlphaF(0.3f);
        QPainterPath background;
        background.addRoundedRect(QRectF(rect()), 6, 6);
        p.fillPath(background, accent);
    }
    const int midY = height() / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(qtColor(row_.swatch));
    p.drawEllipse(QRectF(padX, midY - swatch / 2.0, swatch, swatch));

    p.setPen(Qt::white);
    int x = padX + swatch + spacing;
    p.drawText(QRect(x, 0, numberWidth, height()), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(row_.numberText));
    x += numberWidth + spacing;
    const int nameWidth = std::max(0, width() - padX - x);
    const QString name =
        fontMetrics().elidedText(QString::fromStdString(row_.name), Qt::ElideRight, nameWidth);
    p.drawText(QRect(x, 0, nameWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, name);
}

void ObjectListRowWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    // A click acts at once; the first click of a double click therefore selects the row too.
    emit clicked(row_.id, event->modifiers().testFlag(Qt::ShiftModifier));
}

void ObjectListRowWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    emit doubleClicked(row_.id);
}
