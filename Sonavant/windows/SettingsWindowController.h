#pragma once
// The settings window: a sidebar of sections ("General", "Network", "Background"), the
// page of the selected section and "Close" under it. Closing only hides the window; it
// keeps its pages and the section shown for the next time it is brought forward.

#include "Sonavant/engine/Binding.h"
#include "Sonavant/ui/SettingsSection.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class AppState;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class SettingsBackgroundView;
class SettingsGeneralView;
class SettingsNetworkView;

class SettingsWindowController : public QWidget {
    Q_OBJECT
public:
    static constexpr int windowWidth = 700;
    static constexpr int windowHeight = 700;

    SettingsWindowController(std::shared_ptr<AppState> appState, Binding<std::string> targetDeskIP,
                             Binding<std::string> targetPort, Binding<bool> showZeroPoint,
                             std::function<void()> onPanLawChanged, QWidget* parent = nullptr);

    // Brings the window forward and gives it the keyboard.
    void showAndActivate();

    // None: no entry selected ("Select a section").
    std::optional<SettingsSection> selection() const;
    void select(std::optional<SettingsSection> section);

    SettingsGeneralView* generalView() const { return general_; }
    SettingsNetworkView* networkView() const { return network_; }
    SettingsBackgroundView* backgroundView() const { return background_; }
    QListWidget* sidebar() const { return sidebar_; }
    QPushButton* closeButton() const { return close_; }

private:
    void showSelectedPage();

    QListWidget* sidebar_;
    QStackedWidget* pages_;
    SettingsGeneralView* general_;
    SettingsNetworkView* network_;
    SettingsBackgroundView* background_;
    QLabel* noSelection_;
    QPushButton* close_;
};
