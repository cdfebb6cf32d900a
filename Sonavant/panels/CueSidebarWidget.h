#pragma once
// The cue sidebar: a header with the title "Path Cues", the sidebar toggle, the mixer and
// the audience-area buttons; the cue list under its column header; and the toolbar with
// Draw Path, Play, Stop and Delete. Every rule is CueSidebarModel's; this paints it.

#include "Sonavant/ui/CueSidebarModel.h"
#include "platform/Observable.h"

#include <QWidget>

class ContentView;
class CueListWidget;
class QLabel;
class QScrollArea;
class QToolButton;

class CueSidebarWidget : public QWidget {
    Q_OBJECT

public:
    explicit CueSidebarWidget(ContentView& view, QWidget* parent = nullptr);

    CueSidebarModel& model() { return model_; }
    CueListWidget* list() const { return list_; }
    QScrollArea* scrollArea() const { return scroll_; }
    QLabel* title() const { return title_; }
    QToolButton* sidebarToggle() const { return toggle_; }
    QToolButton* mixerButton() const { return mixer_; }
    QToolButton* audienceAreaButton() const { return audience_; }
    QToolButton* drawButton() const { return draw_; }
    QToolButton* playButton() const { return play_; }
    QToolButton* stopButton() const { return stop_; }
    QToolButton* deleteButton() const { return delete_; }

    // Brings the header up to the show's flags now (otherwise on the next turn).
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshLater();

    CueSidebarModel model_;
    QLabel* title_;
    QToolButton* toggle_;
    QToolButton* mixer_;
    QToolButton* audience_;
    QWidget* deskButtons_;
    CueListWidget* list_;
    QScrollArea* scroll_;
    QToolButton* draw_;
    QToolButton* play_;
    QToolButton* stop_;
    QToolButton* delete_;
    bool refreshPending_ = false;
    platform::SubscriptionBag observers_;
};
