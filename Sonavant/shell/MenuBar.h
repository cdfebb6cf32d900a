#pragma once
// The application's menu bar. Items reach the main view only through the action slots and
// the four notifications, so before the main view has started they do nothing; undo, redo
// and recent shows go to the show itself, "Settings…" to the one settings window. Enable
// states are read from the show when a menu opens, when a shortcut is tried and when the
// desk or SoundScape mode changes.

#include "Sonavant/engine/Binding.h"
#include "platform/Observable.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class AppState;
class AppStatePersistence;
class QAction;
class QMainWindow;
class QMenu;

class MenuBar : public QObject {
    Q_OBJECT
public:
    // `appState` may be null (nothing that reads the show is enabled then); `persistence`
    // loads recent shows and may be null too.
    MenuBar(QMainWindow* window, std::shared_ptr<AppState> appState, Binding<std::string> targetDeskIP,
            Binding<std::string> targetPort, Binding<bool> showZeroPoint, AppStatePersistence* persistence);
    ~MenuBar() override;

    // Enable states from the show and its history as they are now.
    void refresh();

    // The item with this title in any menu (tests and the main window); null when none.
    QAction* action(const QString& title) const;
    QMenu* menu(const QString& title) const;
    QMenu* openRecentMenu() const { return openRecent_; }
    // Fills "Open Recent" from the stored list (also run each time it opens).
    void rebuildOpenRecent();

    // "Quit Sonavant": the application's one way out; closing the window when unset.
    std::function<void()> quit;

    // Tells the operator that a recent show could not be opened; a message box unless
    // replaced (tests).
    std::function<void(const QString& title, const QString& text)> alert;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* add(QMenu* menu, const QString& title, const QKeySequence& shortcut, std::function<void()> run);
    void openRecentFile(const QString& path);
    void scheduleRefresh();

    QMainWindow* window_;
    std::shared_ptr<AppState> appState_;
    Binding<std::string> targetDeskIP_;
    Binding<std::string> targetPort_;
    Binding<bool> showZeroPoint_;
    AppStatePersistence* persistence_;
    platform::SubscriptionBag subscriptions_;
    bool refreshPending_ = false;

    QMenu* openRecent_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QAction* showMixer_ = nullptr;
    QAction* positionsFromDS100_ = nullptr;
    QAction* speakersFromDS100_ = nullptr;
    QAction* generateFadeCues_ = nullptr;
};
