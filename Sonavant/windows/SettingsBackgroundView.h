#pragma once
// The "Background" page: the floor-plan image under the canvas, its switch, offsets, scale
// and rotation. The fields commit on Return or when they lose focus; a text that is no
// acceptable number is refused by showing the current value again.

#include "platform/Observable.h"

#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class AppState;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class SettingsStepper;

class SettingsBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit SettingsBackgroundView(std::shared_ptr<AppState> appState, QWidget* parent = nullptr);

    // The file chooser; a modal open panel unless replaced (tests). None when cancelled.
    std::function<std::optional<std::filesystem::path>()> chooseImageFile;
    void chooseImage();

    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleRefresh();
    void commitRotation();
    void resetRotation();

    std::shared_ptr<AppState> appState_;
    platform::SubscriptionBag subscriptions_;
    bool refreshPending_ = false;
    std::optional<double> shownRotation_;
    std::optional<double> shownScale_, shownOffsetX_, shownOffsetY_;

    QCheckBox* showImage_;
    QPushButton* choose_;
    QLabel* path_;
    QWidget* preview_; // the image, while one loads from the stored file
    QLineEdit* offsetX_;
    QLineEdit* offsetY_;
    QLineEdit* scale_;
    SettingsStepper* offsetXStepper_;
    SettingsStepper* offsetYStepper_;
    SettingsStepper* scaleStepper_;
    QLineEdit* rotation_;
    QSlider* rotationSlider_;
    QWidget* rotationRow_;
};
