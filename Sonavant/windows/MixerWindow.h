#pragma once
// The mixer window: "Mixer", 430 points wide, at least 300 high, hosting the mixer view for
// the selected source. Its frame is kept under "MixerWindowFrame" after every move and
// resize. Closing hides it; the controller builds a fresh one for the next opening.

#include <QWidget>

#include <memory>

namespace platform {
class UserDefaults;
}
class MixerViewWidget;
class MixerModel;
struct MixerInputs;

class MixerWindow : public QWidget {
    Q_OBJECT

public:
    // `defaults`: where the frame is kept (the standard user defaults when null).
    MixerWindow(MixerInputs inputs, platform::UserDefaults* defaults = nullptr);
    ~MixerWindow() override;

    MixerModel& model() const { return *model_; }
    MixerViewWidget* view() const { return view_; }

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeFromSavedFrame();
    void saveWindowFrame();
    platform::UserDefaults& defaults() const;

    std::unique_ptr<MixerModel> model_;
    MixerViewWidget* view_ = nullptr;
    platform::UserDefaults* defaults_ = nullptr;
    bool appeared_ = false;
};
