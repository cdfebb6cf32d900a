#pragma once
// The item discs (sources and loudspeakers) drawn once per look and kept: colour, outline,
// selection ring and number. Painting a show of a few hundred items then costs one image
// copy each, instead of a gradient, a shadow, rings and shaped text per item per frame.

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPointF>

class QPainter;

class CanvasItemSprites {
public:
    struct Look {
        QRgb colour = 0;
        QRgb outline = 0; // drawn when hasOutline
        bool hasOutline = false;
        double ringRadius = 0; // the white selection ring; 0 for none
        qint64 number = 0;
    };

    // Draws the disc of `look` centred at `centre`.
    void draw(QPainter& painter, QPointF centre, const Look& look);

private:
    static constexpr int half = 20; // the sprite spans 40 x 40 points about the centre
    QImage render(const Look& look, qreal ratio) const;
    QHash<QString, QImage> cache_;
};
