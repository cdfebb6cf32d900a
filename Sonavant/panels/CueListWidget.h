#pragma once
// The cue list: one CueRowWidget per cue of the path-cue engine, in list order. Rows are
// kept by cue id and refreshed in place when the list, the selection or playback changes,
// so a change never ends a drag. All clicks land here and go to the sidebar's one handler:
// a press selects (Shift toggles), a double click opens the cue's sheet, and a press moved
// past the drag threshold drags the row to a new place in the list.

#include "platform/Observable.h"
#include "platform/UUID.h"

#include <QWidget>

#include <map>
#include <optional>
#include <vector>

class CueRowWidget;
class CueSidebarModel;
class QVBoxLayout;

class CueListWidget : public QWidget {
    Q_OBJECT

public:
    explicit CueListWidget(CueSidebarModel& model, QWidget* parent = nullptr);

    // The rows in list order.
    std::vector<CueRowWidget*> rows() const;
    CueRowWidget* row(const platform::UUID& cueID) const;
    // Brings the rows up to the engine's state now (otherwise it happens on the next turn).
    void sync();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void syncLater();
    CueRowWidget* rowAt(QPoint point) const;
    std::size_t dropIndexAt(int y) const;

    CueSidebarModel& model_;
    QVBoxLayout* layout_;
    std::map<platform::UUID, CueRowWidget*> rows_;
    std::vector<platform::UUID> order_;
    bool syncPending_ = false;
    // A press on a row, and whether it has become a move of the row.
    std::optional<platform::UUID> pressed_;
    QPoint pressPoint_;
    bool dragging_ = false;
    int dropY_ = -1;
    platform::SubscriptionBag observers_;
};
