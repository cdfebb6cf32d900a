#include "Sonavant/shell/MenuBar.h"

#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/ui/MenuEnableRules.h"
#include "Sonavant/windows/RefreshLater.h"
#include "Sonavant/windows/SettingsWindowControllerHolder.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

namespace {

// Command shortcuts become Ctrl; the two Control shortcuts stay Ctrl, and no Command
// shortcut of this menu bar uses the same key.
QKeySequence keys(const char* sequence) {
    return QKeySequence(QString::fromLatin1(sequence));
}

std::function<void()> slot(ActionDispatcher::Action& action) {
    return [&action] { ActionDispatcher::invoke(action); };
}

std::function<void()> post(const char* name) {
    return [name] { postAppNotification(name); };
}

} // namespace

MenuBar::MenuBar(QMainWindow* window, std::shared_ptr<AppState> appState, Binding<std::string> targetDeskIP,
                 Binding<std::string> targetPort, Binding<bool> showZeroPoint,
                 AppStatePersistence* persistence)
    : QObject(window), window_(window), appState_(std::move(appState)),
      targetDeskIP_(std::move(targetDeskIP)), targetPort_(std::move(targetPort)),
      showZeroPoint_(std::move(showZeroPoint)), persistence_(persistence) {
    alert = [this](const QString& title, const QString& text) { QMessageBox::warning(window_, title, text); };
    QMenuBar* bar = window_->menuBar();

    QMenu* application = bar->addMenu("Sonavant");
    add(application, "Settings…", keys("Ctrl+,"), [this] {
        if (!appState_)
            return;
        SettingsWindowControllerHolder::shared().show(appState_, targetDeskIP_, targetPort_, showZeroPoint_,
                                                      [] {});
    })->setMenuRole(QAction::PreferencesRole);
    application->addSeparator();
    add(application, "Quit Sonavant", keys("Ctrl+Q"), [this] {
        if (quit)
            quit();
        else
            window_->close(); // the window's own way out
    })->setMenuRole(QAction::QuitRole);

    QMenu* file = bar->addMenu("File");
    add(file, "New Blank Canvas", keys("Ctrl+Shift+N"), slot(ActionDispatcher::newBlankCanvas));
    add(file, "Save As...", keys("Ctrl+Shift+S"), post(exportStateNotification));
    add(file, "Open...", keys("Ctrl+O"), post(importStateNotification));
    openRecent_ = file->addMenu("Open Recent");
    connect(openRecent_, &QMenu::aboutToShow, this, &MenuBar::rebuildOpenRecent);

    QMenu* edit = bar->addMenu("Edit");
    undo_ = add(edit, "Undo", keys("Ctrl+Z"), [this] {
        if (appState_)
            appState_->undo();
    });
    redo_ = add(edit, "Redo", keys("Ctrl+Shift+Z"), [this] {
        if (appState_)
            appState_->redo();
    });

    QMenu* view = bar->addMenu("View");
    showMixer_ = add(view, "Show Mixer", keys("Ctrl+M"), post(openMixerNotification));

    QMenu* tools = bar->addMenu("Tools");
    tools->setToolTipsVisible(true);
    add(tools, "Add Output", {}, slot(ActionDispatcher::addOutput));
    add(tools, "Add Input", {}, slot(ActionDispatcher::addInput));
    add(tools, "Update OSC", {}, slot(ActionDispatcher::updateOSC));
    positionsFromDS100_ =
        add(tools, "Get Positions from DS100", {}, slot(ActionDispatcher::getPositionsFromDS100));
    speakersFromDS100_ =
        add(tools, "Get Speakers from DS100", {}, slot(ActionDispatcher::getSpeakersFromDS100));
    add(tools, "Zero Selected", keys("Ctrl+0"), slot(ActionDispatcher::zeroSelected));
    add(tools, "Clear", {}, slot(ActionDispatcher::clear));
    generateFadeCues_ = add(tools, "Generate Fade Cues", {}, post(generateFadeCuesNotification));
    generateFadeCues_->setToolTip("Only available in QLab 5");
    generateFadeCues_->setStatusTip("Only available in QLab 5");

    QMenu* paths = bar->addMenu("Paths");
    add(paths, "Draw Path", {}, slot(ActionDispatcher::drawPath));
    add(paths, "Delete Path", {}, slot(ActionDispatcher::deletePath));

    for (QMenu* menu : {application, file, edit, view, tools, paths})
        connect(menu, &QMenu::aboutToShow, this, &MenuBar::refresh);

    if (appState_) {
        auto later = [this](auto&&...) { scheduleRefresh(); };
        subscriptions_.insert(appState_->isSoundScapeMode.observe(later));
        subscriptions_.insert(appState_->selectedDesk.observe(later));
    }
    // A shortcut is tried against the enable states of that moment: the undo history
    // changes without telling anyone, so it is read again just before.
    qApp->installEventFilter(this);
    rebuildOpenRecent();
    refresh();
}

MenuBar::~MenuBar() {
    if (qApp)
        qApp->removeEventFilter(this);
}

QAction* MenuBar::add(QMenu* menu, const QString& title, const QKeySequence& shortcut,
                      std::function<void()> run) {
    QAction* action = menu->addAction(title);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, [this, run = std::move(run)] {
        run();
        scheduleRefresh();
    });
    return action;
}

void MenuBar::refresh() {
    const auto states = MenuEnableRules::states(MenuEnableRules::inputsFrom(appState_.get()));
    undo_->setEnabled(states.undo);
    redo_->setEnabled(states.redo);
    showMixer_->setEnabled(states.showMixer);
    positionsFromDS100_->setEnabled(states.getPositionsFromDS100);
    speakersFromDS100_->setEnabled(states.getSpeakersFromDS100);
    generateFadeCues_->setEnabled(states.generateFadeCues);
    for (QAction* recent : openRecent_->actions())
        recent->setEnabled(states.openRecentItems);
}

void MenuBar::scheduleRefresh() {
    refreshLater(this, refreshPending_, [this] { refresh(); });
}

bool MenuBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride)
        refresh();
    return QObject::eventFilter(watched, event);
}

void MenuBar::rebuildOpenRecent() {
    openRecent_->clear();
    if (!persistence_)
        return;
    const bool enabled =
        MenuEnableRules::states(MenuEnableRules::inputsFrom(appState_.get())).openRecentItems;
    for (const auto& path : persistence_->recentFiles()) {
        QAction* item =
            openRecent_->addAction(QString::fromStdString(MenuEnableRules::recentFileTitle(path)));
        const QString full = QString::fromStdString(path);
        item->setData(full);
        item->setToolTip(full);
        item->setEnabled(enabled);
        connect(item, &QAction::triggered, this, [this, full] { openRecentFile(full); });
    }
}

void MenuBar::openRecentFile(const QString& path) {
    if (!appState_ || !persistence_)
        return;
    // The loader prints why it failed and leaves the list as it is; the show stays unchanged.
    auto loaded = persistence_->loadState(path.toStdString());
    if (!loaded) {
        if (alert)
            alert("The show could not be opened.",
                  "\"" + path + "\" could not be read as a Sonavant show. The current show is unchanged.");
        return;
    }
    appState_->load(*loaded);
    scheduleRefresh();
}

QAction* MenuBar::action(const QString& title) const {
    for (QMenu* menu : window_->menuBar()->findChildren<QMenu*>())
        for (QAction* action : menu->actions())
            if (action->text() == title)
                return action;
    return nullptr;
}

QMenu* MenuBar::menu(const QString& title) const {
    for (QMenu* menu : window_->menuBar()->findChildren<QMenu*>())
        if (menu->title() == title)
            return menu;
    return nullptr;
}
