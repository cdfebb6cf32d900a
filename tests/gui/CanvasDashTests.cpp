// The path cues' dashes laid straight into the image: the same dashes as Qt's strokes of the
// same lines, the pattern carried on round corners, and nothing drawn outside the image for
// nodes far off it or not numbers at all.

#include "Sonavant/canvas/DashedPolyline.h"

#include <QImage>
#include <QPainter>
#include <QTransform>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

const QColor halfGreen(52, 199, 89, 128);

QImage blank(int w = 200, int h = 120) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage direct(const QPolygonF& nodes, double scale = 1, QSize size = {200, 120}) {
    QImage image = blank(size.width(), size.height());
    dashedpolyline::drawInto(image, QTransform::fromScale(scale, scale), nodes,
                             qPremultiply(halfGreen.rgba()));
    return image;
}

// The same dashes stroked by Qt.
QImage stroked(const QPolygonF& nodes, double scale = 1, QSize size = {200, 120}) {
    QImage image = blank(size.width(), size.height());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    painter.setPen(QPen(halfGreen, dashedpolyline::width, Qt::SolidLine, Qt::FlatCap));
    painter.drawLines(dashedpolyline::dashes(nodes));
    return image;
}

double ink(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += qAlpha(image.pixel(x, y));
    return sum;
}

// The alpha of each pixel averaged over the 5 x 5 pixels about it: the shape of the line
// without the antialiasing of its edges.
double blurred(const QImage& image, int cx, int cy) {
    double sum = 0;
    for (int y = cy - 2; y <= cy + 2; ++y)
        for (int x = cx - 2; x <= cx + 2; ++x)
            if (image.valid(x, y))
                sum += qAlpha(image.pixel(x, y));
    return sum / 25;
}

} // namespace

class CanvasDashTests : public QObject {
    Q_OBJECT

private slots:
    // A horizontal line on the pixel grid: 5 pixels on, 3 off, at the colour's own alpha, and
    // a corner in the middle of a dash carries the pattern on.
    void patternOnThePixelGrid() {
        const QImage one = direct({QPointF(0, 10), QPointF(80, 10)});
        for (int x = 0; x < 80; ++x) {
            const int expected = x % 8 < 5 ? 128 : 0;
            QCOMPARE(qAlpha(one.pixel(x, 9)), expected);
            QCOMPARE(qAlpha(one.pixel(x, 10)), expected);
            QCOMPARE(qAlpha(one.pixel(x, 8)), 0);
            QCOMPARE(qAlpha(one.pixel(x, 11)), 0);
        }
        QCOMPARE(one, stroked({QPointF(0, 10), QPointF(80, 10)}));
        // The same line in three pieces, broken mid-dash and mid-gap.
        QCOMPARE(direct({QPointF(0, 10), QPointF(3, 10), QPointF(30, 10), QPointF(80, 10)}), one);
        // Down from a corner: the dash begun along the top runs on round it.
        const QImage corner = direct({QPointF(0, 10), QPointF(42, 10), QPointF(42, 90)});
        QCOMPARE(qAlpha(corner.pixel(40, 10)), 128); // 40..45 of the pattern, 40..42 along the top
        QCOMPARE(qAlpha(corner.pixel(42, 12)), 128); // 42..45 down the side
        QCOMPARE(qAlpha(corner.pixel(42, 14)), 0);   // 45..48: the gap
        QCOMPARE(qAlpha(corner.pixel(42, 17)), 128); // 48..53: the next dash
    }

    // Lines at any angle, a self-crossing and sharp turns, at one and two pixels a point: the
    // same ink in the same places as Qt's strokes; only the edges' antialiasing differs.
    void sameLookAsQtStrokes() {
        const QPolygonF shapes[] = {
            {QPointF(10, 10), QPointF(190, 110)},
            {QPointF(5, 60), QPointF(195, 57)},
            {QPointF(100, 2), QPointF(97.3, 118)},
            {QPointF(10, 100), QPointF(40, 10), QPointF(70, 100), QPointF(100, 10), QPointF(130, 100)},
            {QPointF(20, 20), QPointF(180, 100), QPointF(180, 20), QPointF(20, 100), QPointF(20.5, 21.3)},
        };
        for (const double scale : {1.0, 2.0})
            for (const QPolygonF& nodes : shapes) {
                const QPolygonF fitted = QTransform::fromScale(1 / scale, 1 / scale).map(nodes);
                const QImage ours = direct(fitted, scale), qts = stroked(fitted, scale);
                const double a = ink(ours), b = ink(qts);
                QVERIFY2(a > 0 && std::abs(a - b) < 0.04 * b,
                         qPrintable(QString("ink %1 against %2").arg(a).arg(b)));
                double worst = 0;
                for (int y = 0; y < ours.height(); ++y)
                    for (int x = 0; x < ours.width(); ++x)
                        worst = std::max(worst, std::abs(blurred(ours, x, y) - blurred(qts, x, y)));
                QVERIFY2(worst < 12, qPrintable(QString("blurred alpha off by %1").arg(worst)));
            }
    }

    // Nodes far outside the image, not numbers, or repeated: what lies inside is drawn, nothing
    // is written outside the image's own pixels (the sanitizer build checks the memory), and a
    // line across the image from far away costs no more than its part inside.
    void farAndBadNodes() {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        const QImage far = direct({QPointF(-1e9, 60), QPointF(1e9, 60)}, 1, {64, 120});
        QVERIFY(ink(far) > 0);
        QVERIFY(ink(direct({QPointF(-1e7, -1e7), QPointF(1e7, 1e7)}, 1, {64, 120})) > 0);
        QVERIFY(ink(direct({QPointF(-1e12, 30), QPointF(1e12, 31)}, 2, {64, 120})) > 0);
        // Beyond what a double can place to a pixel: whatever is drawn stays in the image.
        direct({QPointF(-1e300, 30), QPointF(1e300, 31)}, 2, {64, 120});
        direct({QPointF(-1e308, 30), QPointF(1e308, 31)}, 2, {64, 120});
        QCOMPARE(ink(direct({QPointF(-500, -500), QPointF(-400, -300)})), 0.0);
        // A segment with a node that is not a number is passed over, as are empty ones; the
        // pattern runs on along the segments drawn.
        const QPolygonF messy{QPointF(10, 10),    QPointF(100, 80), QPointF(100, 80), QPointF(nan, 5),
                              QPointF(inf, -inf), QPointF(150, 20), QPointF(160, 90)};
        const QImage drawn = direct(messy);
        const QImage first = direct({QPointF(10, 10), QPointF(100, 80)});
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < 110; ++x)
                QCOMPARE(drawn.pixel(x, y), first.pixel(x, y));
        QCOMPARE(blurred(drawn, 125, 50), 0.0);
        QVERIFY(blurred(drawn, 155, 55) > 0);
        QCOMPARE(ink(direct({})), 0.0);
        QCOMPARE(ink(direct({QPointF(10, 10)})), 0.0);
    }

    // Through a painter: straight into an image of twice the pixels as with the scale given
    // by hand, and with Qt's strokes where the painter clips.
    void throughAPainter() {
        const QPolygonF nodes{QPointF(10, 10), QPointF(90, 50), QPointF(20, 55)};
        QImage sharp = blank(200, 120);
        sharp.setDevicePixelRatio(2);
        {
            QPainter painter(&sharp);
            dashedpolyline::draw(painter, nodes, halfGreen);
        }
        sharp.setDevicePixelRatio(1);
        QCOMPARE(sharp, direct(nodes, 2));

        QImage clipped = blank();
        {
            QPainter painter(&clipped);
            painter.setClipRect(QRect(0, 0, 50, 120));
            dashedpolyline::draw(painter, nodes, halfGreen);
        }
        const QImage whole = stroked(nodes);
        for (int y = 0; y < clipped.height(); ++y)
            for (int x = 0; x < clipped.width(); ++x) {
                if (x >= 50)
                    QCOMPARE(clipped.pixel(x, y), 0u);
                else if (x < 48)
                    QVERIFY(std::abs(blurred(clipped, x, y) - blurred(whole, x, y)) < 12);
            }
        QVERIFY(ink(clipped) > 0);
    }
};

QTEST_MAIN(CanvasDashTests)
#include "CanvasDashTests.moc"
