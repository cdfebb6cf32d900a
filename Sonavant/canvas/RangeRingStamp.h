#pragma once
// The sources' range circles, all of one radius: the ring is drawn once into a list of
// covered pixels and then laid onto an image at each centre. Stroking a hundred antialiased
// rings across a large canvas costs tens of milliseconds; laying down the few thousand
// pixels of each costs a fraction of that, and rings or parts of rings outside the image
// cost nothing.

#include <QImage>
#include <QPointF>

#include <cstdint>
#include <vector>

class RangeRingStamp {
public:
    // The ring: two one-pixel rings half a point either side of `radius` (canvas points), in
    // `colour` (premultiplied white and its alpha only), at `ratio` device pixels per point.
    void prepare(double radius, qreal ratio, int alpha);
    // Lays the ring centred at `centre` (canvas points) onto `image`
    // (Format_ARGB32_Premultiplied), source over, clipped to the image.
    void stamp(QImage& image, QPointF centre) const;
    // The ring touches the canvas of `size` points when centred at `centre`.
    bool touches(QPointF centre, QSizeF size) const;

private:
    struct Run {
        int dy, dx, length;
        std::size_t offset; // into alphas_
    };
    std::vector<Run> runs_;
    std::vector<std::uint8_t> alphas_;
    double radius_ = -1;
    qreal ratio_ = 0;
    int alpha_ = -1;
    int half_ = 0; // pixels from the centre to the edge of the ring's square
};
