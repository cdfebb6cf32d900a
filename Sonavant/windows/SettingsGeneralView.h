#pragma once
// The "General" page: range circle and grid, zero point, orientation, loudspeaker display,
// the default coverage width and the pan law. Every control writes straight into the show
// or the application's binding; the page shows the live values.

#include "Sonavant/engine/Binding.h"
#include "platform/Observable.h"

#include <QWidget>

#include <functional>
#include <memory>

class AppState;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class SettingsStepper;

class SettingsGeneralView : public QWidget {
    Q_OBJECT
public:
    SettingsGeneralView(std::shared_ptr<AppState> appState, Binding<bool> showZeroPoint,
                        std::function<void()> onPanLawChanged, QWidget* parent = nullptr);

    // Reads every control's value and enable state from the show.
    void refresh();

private:
    void scheduleRefresh();

    std::shared_ptr<AppState> appState_;
    Binding<bool> showZeroPoint_;
    std::function<void()> onPanLawChanged_;
    platform::SubscriptionBag subscriptions_;
    bool refreshPending_ = false;

    QCheckBox* rangeCircle_;
    QCheckBox* grid_;
    QComboBox* zeroPoint_;
    QButtonGroup* orientation_;
    QCheckBox* speakerFocus_;
    QCheckBox* speakerCoverage_;
    QLabel* coverageLabel_;
    QLabel* coverageValue_;
    SettingsStepper* coverageStepper_;
    QComboBox* panningMode_;
    QCheckBox* audienceSwitch_;
    QLabel* areaHint_;
};
