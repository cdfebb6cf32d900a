#pragma once
// One row of the "Inputs" list: swatch, "#<n>" and name, tinted while selected. It reports
// clicks (with whether Shift was down) and double clicks; the list decides what they do.

#include "Sonavant/ui/ObjectListModel.h"

#include <QWidget>

class ObjectListRowWidget : public QWidget {
    Q_OBJECT
public:
    explicit ObjectListRowWidget(QWidget* parent = nullptr);

    void setRow(const ObjectListRow& row);
    const ObjectListRow& row() const { return row_; }

    QSize sizeHint() const override;

signals:
    void clicked(const platform::UUID& id, bool shift);
    void doubleClicked(const platform::UUID& id);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    ObjectListRow row_;
};
