#pragma once
// The 40-point column at the trailing edge of the main view: the cue-sidebar toggle at the
// head, and at the foot the mixer and audience-area buttons (not for the SoundScape desk).

#include "platform/Observable.h"

#include <QWidget>

class ContentView;
class QToolButton;

class SidebarColumn : public QWidget {
    Q_OBJECT
public:
    explicit SidebarColumn(ContentView& view, QWidget* parent = nullptr);

    QToolButton* sidebarToggle() const { return toggle_; }
    QToolButton* mixerButton() const { return mixer_; }
    QToolButton* audienceAreaButton() const { return audience_; }

    void refresh();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void scheduleRefresh();

    ContentView& view_;
    QToolButton* toggle_;
    QToolButton* mixer_;
    QToolButton* audience_;
    QWidget* footButtons_;
    bool refreshPending_ = false;
    platform::SubscriptionBag subscriptions_;
};
