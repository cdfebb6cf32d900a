#pragma once
// "Input Properties": the window-modal sheet over one source. The rules are
// InputSheetModel's; this turns field edits, picks and steps into its calls and shows the
// source as the show holds it. It closes itself when the source leaves the show or the
// desk is deselected.

#include "Sonavant/ui/InputSheetModel.h"
#include "platform/Observable.h"

#include <QDialog>

class ContentView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class StepperButtons;

class InputSheet : public QDialog {
    Q_OBJECT
public:
    // Opens the sheet over `parent`'s window for the source with that id; null, and nothing
    // shown, while no desk is selected or no source has the id.
    static InputSheet* open(QWidget* parent, ContentView& view, const platform::UUID& sourceID);

    InputSheet(QWidget* parent, ContentView& view, const platform::UUID& sourceID);
    ~InputSheet() override;

    const InputSheetModel& model() const { return model_; }

public slots:
    void reject() override; // like "Close": the edits stay

private:
    void build();
    void observeShow();
    void observeSource();
    void scheduleRefresh();
    void refresh();
    void closeSheet();
    void commitNumberText();

    ContentView& view_;
    InputSheetModel model_;
    platform::SubscriptionBag subscriptions_;
    platform::SubscriptionBag sourceSubscriptions_;
    const SoundObject* observedSource_ = nullptr;
    bool refreshPending_ = false;
    bool closing_ = false;

    QLineEdit* nameField_ = nullptr;
    QComboBox* typePicker_ = nullptr;
    QLineEdit* numberField_ = nullptr;
    StepperButtons* numberStepper_ = nullptr;
    QLabel* validationLabel_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
};
