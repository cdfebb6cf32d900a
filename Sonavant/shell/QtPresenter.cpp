#include "Sonavant/shell/QtPresenter.h"

#include "Sonavant/panels/InputSheet.h"
#include "Sonavant/panels/PathPropertiesSheet.h"
#include "Sonavant/panels/SpeakerSheet.h"
#include "Sonavant/ui/UpdateCheck.h"
#include "Sonavant/windows/GroupsWindowHolder.h"
#include "Sonavant/windows/MixerWindow.h"
#include "Sonavant/windows/MixerWindowController.h"
#include "Sonavant/windows/SettingsWindowControllerHolder.h"
#include "Sonavant/windows/SnapshotsWindowHolder.h"
#include "platform/Log.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <algorithm>

QString QtPresenter::typeFilter(const PresenterFilePanel& panel) {
    QStringList patterns;
    for (const auto& extension : panel.extensions)
        patterns << "*." + QString::fromStdString(extension);
    if (patterns.isEmpty())
        patterns << "*";
    return QString::fromStdString(panel.typeName) + " (" + patterns.join(' ') + ")";
}

QtPresenter::QtPresenter(QWidget* parentWindow) : parent_(parentWindow) {}

void QtPresenter::showMixerWindow(ContentView& view) {
    MixerWindowController::shared().show(view);
}

void QtPresenter::closeMixerWindow() {
    MixerWindowController::shared().close();
}

std::size_t QtPresenter::showAlert(const PresenterAlert& alert) {
    QMessageBox box(parent_);
    box.setTextFormat(Qt::PlainText);
    box.setIcon(alert.style == PresenterAlert::Style::critical  ? QMessageBox::Critical
                : alert.style == PresenterAlert::Style::warning ? QMessageBox::Warning
                                                                : QMessageBox::Information);
    box.setWindowTitle("Sonavant");
    box.setText(QString::fromStdString(alert.title));
    box.setInformativeText(QString::fromStdString(alert.text));
    std::vector<QAbstractButton*> buttons;
    const std::vector<std::string> titles =
        alert.buttons.empty() ? std::vector<std::string>{"OK"} : alert.buttons;
    const std::size_t cancel = std::min(alert.cancelIndex(), titles.size() - 1);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        auto* button = box.addButton(QString::fromStdString(titles[i]),
                                     i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        buttons.push_back(button);
        if (i == alert.defaultButton)
            box.setDefaultButton(button);
    }
    // Named outright: Qt finds no escape button of its own among two rejecting ones.
    box.setEscapeButton(buttons[cancel]);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            return i;
    return cancel;
}

std::optional<std::filesystem::path> QtPresenter::chooseFileToOpen(const PresenterFilePanel& panel) {
    const QString file =
        QFileDialog::getOpenFileName(parent_, QString::fromStdString(panel.title), {}, typeFilter(panel));
    if (file.isEmpty())
        return std::nullopt;
    return std::filesystem::path(file.toStdString());
}

std::optional<std::filesystem::path> QtPresenter::chooseFileToSave(const PresenterFilePanel& panel) {
    const QString file =
        QFileDialog::getSaveFileName(parent_, QString::fromStdString(panel.title),
                                     QString::fromStdString(panel.defaultName), typeFilter(panel));
    if (file.isEmpty())
        return std::nullopt;
    return std::filesystem::path(file.toStdString());
}

void QtPresenter::openURL(const std::string& url) {
    // Only web addresses leave the application; a file or custom scheme could run anything.
    if (!update::isOpenableDownloadAddress(url)) {
        platform::consoleLog("Not opening " + url + ": only http and https addresses are opened.");
        return;
    }
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

void QtPresenter::showSpeakerSheet(ContentView& view, std::int64_t speakerID) {
    SpeakerSheet::open(parent_, view, speakerID);
}

void QtPresenter::showInputSheet(ContentView& view, const platform::UUID& sourceID) {
    InputSheet::open(parent_, view, sourceID);
}

void QtPresenter::showPathCueSheet(ContentView& view) {
    PathPropertiesSheet::present(view, parent_);
}

void QtPresenter::showSettingsWindow(ContentView& view) {
    SettingsWindowControllerHolder::shared().show(view);
}

void QtPresenter::showSnapshotsWindow(ContentView& view) {
    SnapshotsWindowHolder::shared().show(view);
}

void QtPresenter::showGroupsWindow(ContentView& view) {
    GroupsWindowHolder::shared().show(view);
}
