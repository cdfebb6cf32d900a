#pragma once
// One line of the cue list: number, name and time with the loop and chaining marks, on the
// colours of the cue's state. It keeps its widgets for as long as its cue is listed; the
// list refreshes it in place. Clicks go to the list, which handles them all in one place.

#include "Sonavant/ui/CueSidebarModel.h"

#include <QWidget>

#include <memory>

class QLabel;

// The thin line between two columns, in rows and in the list's header alike, so they line up.
QWidget* cueColumnRule(QWidget* parent);

class CueRowWidget : public QWidget {
    Q_OBJECT

public:
    CueRowWidget(std::shared_ptr<PathCue> cue, QWidget* parent = nullptr);

    const std::shared_ptr<PathCue>& cue() const { return cue_; }
    const CueRowState& state() const { return state_; }
    void refresh(const CueRowState& state);

    QLabel* numberLabel() const { return number_; }
    QLabel* nameLabel() const { return name_; }
    QLabel* timeLabel() const { return time_; }
    QLabel* loopMark() const { return loop_; }
    QLabel* triggerMark() const { return trigger_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<PathCue> cue_;
    CueRowState state_;
    QLabel* number_;
    QLabel* name_;
    QLabel* time_;
    QLabel* loop_;
    QLabel* trigger_;
};
