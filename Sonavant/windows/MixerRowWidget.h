#pragma once
// One loudspeaker's row of the mixer: channel, name, fader, freeze and mute. The row keeps
// its widgets for as long as the loudspeaker is shown, so an update never ends a drag or an
// edit.

#include "Sonavant/model/Speaker.h"

#include <QWidget>

#include <cstdint>

class MixerModel;
class MixerFaderWidget;
class QLabel;
class QLineEdit;
class QToolButton;

class MixerRowWidget : public QWidget {
    Q_OBJECT

public:
    MixerRowWidget(MixerModel& model, const Speaker& speaker, QWidget* parent = nullptr);

    std::int64_t speakerID() const { return speakerID_; }
    // Shows the loudspeaker and the selected source's pair as the model has them now.
    void refresh(const Speaker& speaker);

    MixerFaderWidget* fader() const { return fader_; }
    QToolButton* freezeButton() const { return freeze_; }
    QToolButton* muteButton() const { return mute_; }
    QLineEdit* nameField() const { return name_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MixerModel& model_;
    const std::int64_t speakerID_;
    QLabel* channel_ = nullptr;
    QLineEdit* name_ = nullptr;
    MixerFaderWidget* fader_ = nullptr;
    QToolButton* freeze_ = nullptr;
    QToolButton* mute_ = nullptr;
};
