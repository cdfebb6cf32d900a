#pragma once
// The mixer's horizontal fader: a painted track, filled part and thumb. A drag starts only on
// the thumb and then follows the pointer along the whole track. While dragged it shows the
// whole-number level the pointer's value sends, whatever the show republishes meanwhile.

#include "Sonavant/model/DeskRoute.h"

#include <QColor>
#include <QWidget>

class MixerFaderWidget : public QWidget {
    Q_OBJECT

public:
    explicit MixerFaderWidget(QWidget* parent = nullptr);

    void setRange(const DeskRange& range);
    DeskRange range() const { return range_; }
    // The value the show holds; shown once no drag is running.
    void setValue(double value);
    double value() const { return value_; }
    void setAccentColor(const QColor& colour);
    bool isDragging() const { return dragging_; }
    // The horizontal position of the thumb's centre, in widget coordinates.
    double thumbX() const;
    // The track runs from `trackInset` to `trackInset` + trackLength().
    double trackLength() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void valueDragged(double value);
    void editingChanged(bool editing);
    void editingEnded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // `pressed`: the press that starts a drag, which sends even an unchanged level.
    void dragTo(double x, bool pressed);
    double shownValue() const { return dragging_ ? dragValue_ : value_; }

    DeskRange range_{0, 100};
    double value_ = 0;
    double dragValue_ = 0;
    bool dragging_ = false;
    QColor accent_ = Qt::gray;
};
