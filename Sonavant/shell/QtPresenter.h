#pragma once
// The main view's alerts, open and save panels and web addresses, shown with Qt: plain-text
// message boxes, file dialogs and the desktop's URL handler; and its windows and sheets
// (mixer, settings, snapshots, groups, the three property sheets), over the parent window.

#include "Sonavant/engine/ContentViewPresenter.h"

#include <QPointer>
#include <QWidget>

class QtPresenter : public ContentViewPresenter {
public:
    explicit QtPresenter(QWidget* parentWindow = nullptr);
    void setParentWindow(QWidget* window) { parent_ = window; }

    void showMixerWindow(ContentView& view) override;
    void closeMixerWindow() override;
    std::size_t showAlert(const PresenterAlert& alert) override;
    std::optional<std::filesystem::path> chooseFileToOpen(const PresenterFilePanel& panel) override;
    std::optional<std::filesystem::path> chooseFileToSave(const PresenterFilePanel& panel) override;
    void openURL(const std::string& url) override;
    void showSpeakerSheet(ContentView& view, std::int64_t speakerID) override;
    void showInputSheet(ContentView& view, const platform::UUID& sourceID) override;
    void showPathCueSheet(ContentView& view) override;
    void showSettingsWindow(ContentView& view) override;
    void showSnapshotsWindow(ContentView& view) override;
    void showGroupsWindow(ContentView& view) override;

    // The file dialog's type filter for a panel: its label, then the patterns.
    static QString typeFilter(const PresenterFilePanel& panel);

private:
    QPointer<QWidget> parent_;
};
