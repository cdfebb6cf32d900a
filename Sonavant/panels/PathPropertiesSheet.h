#pragma once
// The path properties sheet: a window-modal dialog over PathPropertiesEditor for the cue in
// ContentView::cueForProperties. Return in a field commits that field, the pickers write at
// once, Done applies everything and closes unless something was refused (the message then
// shows in red under the rows), Delete Path closes and removes the cue. However it closes,
// the main view's cueForProperties is cleared. It closes by itself when its cue leaves the
// list. Fixed 360 x 550.

#include "Sonavant/ui/PathPropertiesEditor.h"
#include "platform/Observable.h"

#include <QDialog>

#include <memory>

class ContentView;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class PathPropertiesSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr int sheetWidth = 360;
    static constexpr int sheetHeight = 550;

    // Opens the sheet for `view.cueForProperties` over `parent`; null (and the request
    // cleared) when that cue is not in the cue list. An open sheet is closed first.
    static PathPropertiesSheet* present(ContentView& view, QWidget* parent);
    // The sheet open now, if any.
    static PathPropertiesSheet* current();

    PathPropertiesSheet(ContentView& view, std::shared_ptr<PathCue> cue, QWidget* parent = nullptr);
    ~PathPropertiesSheet() override;

    PathPropertiesEditor& editor() { return editor_; }
    QLineEdit* numberField() const { return number_; }
    QLineEdit* nameField() const { return name_; }
    QLineEdit* timeField() const { return time_; }
    QCheckBox* loopBox() const { return loop_; }
    QLineEdit* countField() const { return count_; }
    QComboBox* movementPicker() const { return movement_; }
    QLineEdit* targetsField() const { return targets_; }
    QLabel* errorLabel() const { return error_; }
    QRadioButton* triggerSegment(TriggerNextOption option) const;
    QPushButton* doneButton() const { return done_; }
    QPushButton* deleteButton() const { return delete_; }

private:
    // The fields from the editing state, without echoing back.
    void showState();
    // The fields into the editing state.
    void takeFields();
    void done();
    void deletePath();

    ContentView& view_;
    PathPropertiesEditor editor_;
    QLineEdit* number_;
    QLineEdit* name_;
    QLineEdit* time_;
    QCheckBox* loop_;
    QLineEdit* count_;
    QComboBox* movement_;
    QLineEdit* targets_;
    QLabel* error_;
    QButtonGroup* trigger_;
    QPushButton* delete_;
    QPushButton* done_;
    platform::SubscriptionBag observers_;
};
