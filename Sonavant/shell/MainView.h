#pragma once
// The main view: the central column (top bar, the canvas area, the tool row under it with 8
// points below), and at the trailing edge either the cue sidebar (while
// AppState::showSidebar is true) or, in its place, the 40-point sidebar column. At least
// 1110 x 600.
//
// Other widgets hang themselves in through the setters; until then a placeholder holds
// each place. The view takes ownership of what it is given and shows it:
//   setCanvas      the canvas, filling the canvas area
//   setSidePanel   the object list, lying over the canvas's leading 240 points (above
//                  everything in the canvas area) while ContentView::showingObjectList is
//                  true; it slides in from the leading edge and out again. The canvas keeps
//                  its size, so nothing on it moves.
//   setToolRow     the row under the canvas, as high as it asks to be
//   setCueSidebar  the cue sidebar (ContentView::listW wide)

#include "platform/Observable.h"

#include <QPointer>
#include <QWidget>

class ContentView;
class QPropertyAnimation;
class TopBar;
class SidebarColumn;

class MainView : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize smallestSize{1110, 600};
    static constexpr int sidePanelWidth = 240;
    static constexpr int spaceBelowToolRow = 8;

    explicit MainView(ContentView& view, QWidget* parent = nullptr);

    void setCanvas(QWidget* canvas);
    void setSidePanel(QWidget* panel);
    void setToolRow(QWidget* toolRow);
    void setCueSidebar(QWidget* sidebar);

    QWidget* canvas() const { return canvas_; }
    QWidget* canvasArea() const { return canvasArea_; }
    QWidget* sidePanel() const { return sidePanel_; }
    QWidget* toolRow() const { return toolRow_; }
    QWidget* cueSidebar() const { return cueSidebar_; }
    TopBar* topBar() const { return topBar_; }
    SidebarColumn* sidebarColumn() const { return sidebarColumn_; }
    ContentView& contentView() const { return view_; }
    // True while the side panel is on its way in or out.
    bool isSlidingSidePanel() const;

    void refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static QWidget* replace(QWidget*& slot, QWidget* replacement);
    void scheduleRefresh();
    void placeSidePanel();
    void slideSidePanel(bool in);

    ContentView& view_;
    TopBar* topBar_;
    SidebarColumn* sidebarColumn_;
    QWidget* canvasArea_;
    QWidget* canvas_;
    QWidget* sidePanel_;
    QWidget* toolRow_;
    QWidget* cueSidebar_;
    QPointer<QPropertyAnimation> slide_;
    bool sidePanelIn_ = false;
    bool refreshPending_ = false;
    platform::SubscriptionBag subscriptions_;
};
