#include "platform/qt/StyledButton.h"

#include <QPainter>
#include <QPainterPath>

namespace platform {

namespace {

QColor accentColour(const QWidget& widget) {
    return widget.palette().color(QPalette::Highlight);
}

} // namespace

StyledButton::StyledButton(Kind kind, const QString& text, QWidget* parent)
    : QPushButton(text, parent), kind_(kind) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

StyledButton* StyledButton::fixedSize(const QString& text, int width, int height, QColor background,
                                      QColor foreground, QWidget* parent) {
    auto* button = new StyledButton(Kind::fixedSize, text, parent);
    button->fixedSize_ = QSize(width, height);
    button->background_ = background;
    button->foreground_ = foreground;
    button->setFixedSize(width, height);
    return button;
}

StyledButton* StyledButton::primary(const QString& text, QWidget* parent) {
    auto* button = new StyledButton(Kind::primary, text, parent);
    button->setDefault(true);
    return button;
}

StyledButton* StyledButton::secondary(const QString& text, QWidget* parent) {
    return new StyledButton(Kind::secondary, text, parent);
}

void StyledButton::setBackground(QColor colour) {
    background_ = colour;
    update();
}

QSize StyledButton::sizeHint() const {
    if (kind_ == Kind::fixedSize)
        return fixedSize_;
    const QSize text = fontMetrics().size(Qt::TextSingleLine, this->text());
    return QSize(text.width() + 32, text.height() + 16);
}

void StyledButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isDown() ? 0.7 : (isEnabled() ? 1.0 : 0.45));
    QColor fill = background_;
    QColor text = foreground_;
    double radius = 6;
    QRectF area = rect();
    if (kind_ == Kind::fixedSize) {
        // The shadow: black at 20 %, 2 below.
        area.adjust(1, 0, -1, -3);
        QPainterPath shadow;
        shadow.addRoundedRect(area.translated(0, 2), radius, radius);
        painter.fillPath(shadow, QColor(0, 0, 0, 51));
    } else {
        radius = 8;
        if (kind_ == Kind::primary) {
            fill = accentColour(*this);
            text = Qt::white;
        } else {
            fill = QColor(128, 128, 128, 77);
            text = accentColour(*this).lighter(140);
        }
    }
    QPainterPath shape;
    shape.addRoundedRect(area, radius, radius);
    painter.fillPath(shape, fill);
    if (hasFocus() && kind_ != Kind::fixedSize) {
        painter.setPen(QPen(palette().color(QPalette::Highlight).lighter(150), 1));
        painter.drawPath(shape);
    }
    painter.setPen(text);
    painter.drawText(area, Qt::AlignCenter, this->text());
}

} // namespace platform
