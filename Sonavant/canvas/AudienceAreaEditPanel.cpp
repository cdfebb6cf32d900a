#include "Sonavant/canvas/AudienceAreaEditPanel.h"

#include "Sonavant/canvas/CanvasPalette.h"
#include "Sonavant/ui/AudienceAreaFigure.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

QFont captionFont(const QWidget& widget) {
    QFont font = widget.font();
    font.setPointSizeF(std::max(7.0, font.pointSizeF() * 0.85));
    return font;
}

// A filled circle, optionally ringed white.
QIcon colourDot(const QColor& colour, int diameter, bool ring) {
    const qreal ratio = 2;
    QPixmap pixmap(QSize(diameter, diameter) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    if (ring)
        painter.setPen(QPen(QColor(255, 255, 255, 204), 1.0));
    else
        painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(0.5, 0.5, diameter - 1, diameter - 1));
    return QIcon(pixmap);
}

} // namespace

AudienceAreaEditPanel::AudienceAreaEditPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("audienceAreaEditPanel"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8 + shadowMargin, 8 + shadowMargin, 8 + shadowMargin, 8 + shadowMargin);
    column->setSpacing(6);

    auto label = [this](const QString& text) {
        auto* l = new QLabel(text, this);
        l->setFont(captionFont(*this));
        l->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
        return l;
    };

    auto* nameRow = new QHBoxLayout;
    nameRow->setSpacing(6);
    nameRow->addWidget(label(QStringLiteral("Name")));
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("audienceAreaName"));
    name_->setPlaceholderText(QStringLiteral("Name"));
    name_->setFixedWidth(fieldWidth);
    nameRow->addWidget(name_);
    column->addLayout(nameRow);

    auto* colourRow = new QHBoxLayout;
    colourRow->setSpacing(6);
    colourRow->addWidget(label(QStringLiteral("Color")));
    colour_ = new QToolButton(this);
    colour_->setObjectName(QStringLiteral("audienceAreaColor"));
    colour_->setFixedWidth(fieldWidth);
    colour_->setPopupMode(QToolButton::InstantPopup);
    colour_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    colour_->setIconSize(QSize(16, 16));
    menu_ = new QMenu(colour_);
    for (const auto& name : AudienceAreaFigure::colourChoices()) {
        QAction* item = menu_->addAction(colourDot(CanvasPalette::named(name), 10, false),
                                         QString::fromStdString(AudienceAreaFigure::colourLabel(name)));
        item->setData(QString::fromStdString(name));
    }
    connect(menu_, &QMenu::triggered, this,
            [this](QAction* item) { emit colourChosen(item->data().toString()); });
    colour_->setMenu(menu_);
    colourRow->addWidget(colour_);
    colourRow->addStretch();
    column->addLayout(colourRow);

    connect(name_, &QLineEdit::textEdited, this, &AudienceAreaEditPanel::nameEdited);
    adjustSize();
}

void AudienceAreaEditPanel::showArea(const QString& name, const QString& colour) {
    if (name_->text() != name) {
        const QSignalBlocker blocker(name_);
        name_->setText(name);
    }
    if (colour != shownColour_ || colour_->icon().isNull()) {
        shownColour_ = colour;
        colour_->setIcon(colourDot(CanvasPalette::named(colour.toStdString()), 16, true));
        colour_->setToolTip(colour);
    }
}

void AudienceAreaEditPanel::centreAt(QPointF centre, const std::vector<QPointF>& handles,
                                     double handleDiameter) {
    const QSize size = sizeHint().expandedTo(minimumSizeHint());
    resize(size);
    const QPoint topLeft(int(std::lround(centre.x() - size.width() / 2.0)),
                         int(std::lround(centre.y() - size.height() / 2.0)));
    move(topLeft);
    QRegion shape(rect());
    bool holed = false;
    for (const QPointF& handle : handles) {
        const QPointF local = handle - QPointF(topLeft);
        const QRect box = QRectF(local.x() - handleDiameter / 2, local.y() - handleDiameter / 2,
                                 handleDiameter, handleDiameter)
                              .toAlignedRect();
        if (!box.intersects(rect()))
            continue;
        shape -= QRegion(box, QRegion::Ellipse);
        holed = true;
    }
    if (holed)
        setMask(shape);
    else
        clearMask();
}

void AudienceAreaEditPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // A soft black shadow of radius 3 around the plate, then the plate itself.
    const QRectF plateRect =
        QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
    for (int i = shadowMargin; i > 0; --i) {
        QPainterPath ring;
        ring.addRoundedRect(plateRect.adjusted(-i, -i, i, i), 8 + i, 8 + i);
        painter.fillPath(ring, QColor(0, 0, 0, 84 / (i + 1)));
    }
    QPainterPath plate;
    plate.addRoundedRect(plateRect, 8, 8);
    painter.fillPath(plate, QColor(0, 0, 0, 217));
}
