#pragma once
// The "Inputs" panel: every source of the show by number, each with its desk-kind swatch,
// a second way to select sources besides the canvas (it writes the same selection set) and
// to open a source's input sheet with a double click. Rows update in place, keyed by id.
// It shows itself while the main view's `showingObjectList` is true, unless its host does
// that (the main view slides it in over the canvas).

#include "Sonavant/ui/ObjectListModel.h"
#include "platform/Observable.h"

#include <QWidget>

#include <map>

class ContentView;
class ObjectListRowWidget;
class QAbstractButton;
class QScrollArea;
class QVBoxLayout;

class ObjectListPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int panelWidth = 240;
    static constexpr int leadingPadding = 8;
    static constexpr int topPadding = 12;
    static constexpr int shadowRoom = 8; // past the trailing and bottom edges

    explicit ObjectListPanel(ContentView& view, QWidget* parent = nullptr);
    ~ObjectListPanel() override;

    // The rows in their current order (for tests and accessibility).
    std::vector<ObjectListRowWidget*> rowWidgets() const;
    QAbstractButton* closeButton() const { return closeButton_; }
    // The panel itself, without the padding and shadow room around it.
    QRect panelRect() const;
    QSize sizeHint() const override;
    // Whether the panel follows `showingObjectList` by showing and hiding itself (the default).
    void setShowsItself(bool shows) { showsItself_ = shows; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int trailingRoom() const;
    void observeShow();
    void observeSources();
    void scheduleRefresh();
    void refresh();

    ContentView& view_;
    ObjectListModel model_;
    platform::SubscriptionBag subscriptions_;
    platform::SubscriptionBag sourceSubscriptions_;
    bool refreshPending_ = false;
    bool sourcesChanged_ = false;
    bool showsItself_ = true;

    QAbstractButton* closeButton_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QVBoxLayout* rowsLayout_ = nullptr;
    // Keyed by id and, for a show that holds an id twice, its occurrence.
    std::map<std::pair<platform::UUID, int>, ObjectListRowWidget*> rows_;
    std::vector<ObjectListRowWidget*> order_;
};
