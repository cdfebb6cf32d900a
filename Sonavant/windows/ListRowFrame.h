#pragma once
// One row of the snapshots and groups lists: the whole row takes clicks, and it is tinted
// while it is the selected one.

#include <QColor>
#include <QWidget>

#include <functional>

class ListRowFrame : public QWidget {
public:
    ListRowFrame(QWidget* parent, QColor tint, qreal cornerRadius);

    std::function<void()> onClick;
    void setHighlighted(bool highlighted);
    bool isHighlighted() const { return highlighted_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QColor tint_;
    qreal radius_;
    bool highlighted_ = false;
};
