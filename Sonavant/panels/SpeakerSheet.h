#pragma once
// "Speaker Properties": the window-modal sheet over one loudspeaker. The rules are
// SpeakerSheetModel's; this turns field edits, picks, steps and slides into its calls and
// shows the record as the show holds it. It closes itself when the loudspeaker leaves the
// show (undo, an import, a remote command) or the desk is deselected.

#include "Sonavant/ui/SpeakerSheetModel.h"
#include "platform/Observable.h"

#include <QDialog>

#include <cstdint>

class ContentView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class StepperButtons;

class SpeakerSheet : public QDialog {
    Q_OBJECT
public:
    // Opens the sheet over `parent`'s window for the loudspeaker with that id; null, and
    // nothing shown, while no desk is selected or no loudspeaker has the id.
    static SpeakerSheet* open(QWidget* parent, ContentView& view, std::int64_t speakerID);

    SpeakerSheet(QWidget* parent, ContentView& view, std::int64_t speakerID);
    ~SpeakerSheet() override;

    const SpeakerSheetModel& model() const { return model_; }

public slots:
    // "Close" is refused while the channel is not acceptable.
    void reject() override;

private:
    void build();
    void observeShow();
    void scheduleRefresh();
    void refresh();
    void closeSheet();
    void commitChannelText();
    void commitWidthText();

    ContentView& view_;
    SpeakerSheetModel model_;
    platform::SubscriptionBag subscriptions_;
    bool refreshPending_ = false;
    bool closing_ = false;

    QLineEdit* nameField_ = nullptr;
    QWidget* typeRow_ = nullptr;
    QComboBox* typePicker_ = nullptr;
    QLabel* noTypesLabel_ = nullptr;
    QLineEdit* channelField_ = nullptr;
    StepperButtons* channelStepper_ = nullptr;
    QLineEdit* widthField_ = nullptr;
    StepperButtons* widthStepper_ = nullptr;
    QSlider* focusSlider_ = nullptr;
    QLabel* focusLabel_ = nullptr;
    QLabel* validationLabel_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};
