#pragma once
// The row above the canvas: the desk menu, the zoom, the lowest and highest level sent,
// the distance range, and the output switch. It keeps nothing of its own: it shows the main
// view's and the show's values and writes them back; choosing a desk calls the main view.

#include "platform/Observable.h"

#include <QWidget>

class ContentView;
class QPushButton;
class QMenu;
class QSlider;
class QLabel;
class StepperField;
namespace platform {
class StyledButton;
}

class TopBar : public QWidget {
    Q_OBJECT
public:
    explicit TopBar(ContentView& view, QWidget* parent = nullptr);

    // For tests and the integration: the controls themselves.
    QPushButton* deskButton() const { return deskButton_; }
    QString deskTitle() const { return deskTitle_; } // the desk menu's title as shown
    QMenu* deskMenu() const { return deskMenu_; }
    StepperField* zoomField() const { return zoom_; }
    StepperField* minField() const { return min_; }
    StepperField* maxField() const { return max_; }
    QSlider* rangeSlider() const { return range_; }
    platform::StyledButton* outputSwitch() const { return output_; }
    QWidget* minBox() const { return minBox_; }
    QWidget* maxBox() const { return maxBox_; }
    QWidget* rangeBox() const { return rangeBox_; }
    QWidget* zoomBox() const { return zoomBox_; }

    // Shows the current values now (also runs on the next turn after any change).
    void refresh();

private:
    void scheduleRefresh();
    void rebuildDeskMenu();
    QWidget* box(QWidget* content, const QString& help);

    ContentView& view_;
    QPushButton* deskButton_;
    QMenu* deskMenu_;
    StepperField* zoom_;
    StepperField* min_;
    StepperField* max_;
    QSlider* range_;
    platform::StyledButton* output_;
    QWidget* zoomBox_;
    QWidget* minBox_;
    QWidget* maxBox_;
    QWidget* rangeBox_;
    QString deskTitle_;
    bool refreshPending_ = false;
    bool desksChanged_ = true;
    platform::SubscriptionBag subscriptions_;
};
