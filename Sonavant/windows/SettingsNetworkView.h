#pragma once
// The "Network" page: desk address, desk port and receive port. Every keystroke writes the
// field's text through; the main view reacts to each (new TCP link, receiver moved) and
// reports texts it cannot use on the console, so typing never waits on the network.

#include "Sonavant/engine/Binding.h"
#include "platform/Observable.h"

#include <QWidget>

#include <memory>

class AppState;
class QLineEdit;

class SettingsNetworkView : public QWidget {
    Q_OBJECT
public:
    SettingsNetworkView(std::shared_ptr<AppState> appState, Binding<std::string> targetDeskIP,
                        Binding<std::string> targetPort, QWidget* parent = nullptr);

    void refresh();

private:
    void scheduleRefresh();

    std::shared_ptr<AppState> appState_;
    Binding<std::string> targetDeskIP_;
    Binding<std::string> targetPort_;
    platform::SubscriptionBag subscriptions_;
    bool refreshPending_ = false;

    QLineEdit* deskIP_;
    QLineEdit* deskPort_;
    QLineEdit* receivePort_;
};
