#pragma once
// The main view: the central column (top bar, the canvas row, the tool row under it), the
// cue sidebar while it is shown, and the 40-point sidebar column at the trailing edge.
//
// Other widgets hang themselves in through the setters; until then a placeholder holds
// each place. The view takes ownership of what it is given and shows it:
//   setCanvas      the canvas, filling the canvas row
//   setSidePanel   the object list, 240 wide, at the leading edge of the canvas row while
//                  ContentView::showingObjectList is true
//   setToolRow     the row under the canvas, as high as it asks to be
//   setCueSidebar  the cue sidebar, before the sidebar column while AppState::showSidebar
//                  is true (ContentView::listW wide)

#include "platform/Observable.h"

#include <QWidget>

class ContentView;
class TopBar;
class SidebarColumn;

class MainView : public QWidget {
    Q_OBJECT
public:
    explicit MainView(ContentView& view, QWidget* parent = nullptr);

    void setCanvas(QWidget* canvas);
    void setSidePanel(QWidget* panel);
    void setToolRow(QWidget* toolRow);
    void setCueSidebar(QWidget* sidebar);

    QWidget* canvas() const { return canvas_; }
    QWidget* sidePanel() const { return sidePanel_; }
    QWidget* toolRow() const { return toolRow_; }
    QWidget* cueSidebar() const { return cueSidebar_; }
    TopBar* topBar() const { return topBar_; }
    SidebarColumn* sidebarColumn() const { return sidebarColumn_; }
    ContentView& contentView() const { return view_; }

    void refresh();

private:
    static QWidget* replace(QWidget*& slot, QWidget* replacement);
    void scheduleRefresh();

    ContentView& view_;
    TopBar* topBar_;
    SidebarColumn* sidebarColumn_;
    QWidget* canvas_;
    QWidget* sidePanel_;
    QWidget* toolRow_;
    QWidget* cueSidebar_;
    bool refreshPending_ = false;
    platform::SubscriptionBag subscriptions_;
};
