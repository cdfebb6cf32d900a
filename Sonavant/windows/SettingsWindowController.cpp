#include "Sonavant/windows/SettingsWindowController.h"

#include "Sonavant/windows/SettingsBackgroundView.h"
#include "Sonavant/windows/SettingsGeneralView.h"
#include "Sonavant/windows/SettingsNetworkView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

// Dark whatever the desktop's own setting is.
QPalette darkPalette() {
    QPalette p;
    const QColor window(40, 40, 42), base(30, 30, 32), text(230, 230, 230), disabled(120, 120, 120);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 62));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(58, 58, 60));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    p.setColor(QPalette::Light, QColor(80, 80, 82));
    p.setColor(QPalette::Mid, QColor(50, 50, 52));
    p.setColor(QPalette::Dark, QColor(20, 20, 22));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

} // namespace

SettingsWindowController::SettingsWindowController(std::shared_ptr<AppState> appState,
                                                   Binding<std::string> targetDeskIP,
                                                   Binding<std::string> targetPort,
                                                   Binding<bool> showZeroPoint,
                                                   std::function<void()> onPanLawChanged, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setWindowTitle("Settings");
    setObjectName("SettingsWindow");
    setPalette(darkPalette());
    setAutoFillBackground(true);
    // Not resizable: the pages are laid out for this size.
    setFixedSize(windowWidth, windowHeight);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    sidebar_ = new QListWidget;
    sidebar_->setObjectName("settingsSidebar");
    sidebar_->setFixedWidth(200);
    sidebar_->setFrameShape(QFrame::NoFrame);
    sidebar_->setStyleSheet(
        "QListWidget { background: #1e1e20; color: #e6e6e6; padding-top: 12px; outline: 0; }"
        "QListWidget::item { padding: 6px 12px; border: none; }"
        "QListWidget::item:selected { background: #0a84ff; color: white; }");
    for (auto section : allSettingsSections)
        sidebar_->addItem(QString::fromUtf8(rawValue(section).data(), int(rawValue(section).size())));
    row->addWidget(sidebar_);

    auto* detail = new QVBoxLayout;
    detail->setContentsMargins(0, 0, 0, 0);
    detail->setSpacing(0);
    pages_ = new QStackedWidget;
    general_ = new SettingsGeneralView(appState, showZeroPoint, std::move(onPanLawChanged));
    network_ = new SettingsNetworkView(appState, targetDeskIP, targetPort);
    background_ = new SettingsBackgroundView(appState);
    noSelection_ = new QLabel("Select a section");
    noSelection_->setAlignment(Qt::AlignCenter);
    noSelection_->setForegroundRole(QPalette::PlaceholderText);
    pages_->addWidget(general_);
    pages_->addWidget(network_);
    pages_->addWidget(background_);
    pages_->addWidget(noSelection_);
    detail->addWidget(pages_, 1);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(16, 12, 16, 16);
    bar->addStretch();
    close_ = new QPushButton("Close");
    close_->setObjectName("settingsClose");
    close_->setDefault(true);
    bar->addWidget(close_);
    detail->addLayout(bar);
    row->addLayout(detail, 1);

    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    connect(sidebar_, &QListWidget::currentRowChanged, this, [this](int) { showSelectedPage(); });
    connect(sidebar_, &QListWidget::itemSelectionChanged, this, [this] { showSelectedPage(); });
    select(SettingsSection::general);
}

void SettingsWindowController::showAndActivate() {
    show();
    raise();
    activateWindow();
}

std::optional<SettingsSection> SettingsWindowController::selection() const {
    const auto selected = sidebar_->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return settingsSectionFromRawValue(selected.front()->text().toStdString());
}

void SettingsWindowController::select(std::optional<SettingsSection> section) {
    if (!section) {
        sidebar_->clearSelection();
    } else {
        for (std::size_t i = 0; i < allSettingsSections.size(); ++i)
            if (allSettingsSections[i] == *section)
                sidebar_->setCurrentRow(int(i), QItemSelectionModel::ClearAndSelect);
    }
    showSelectedPage();
}

void SettingsWindowController::showSelectedPage() {
    const auto section = selection();
    if (!section) {
        pages_->setCurrentWidget(noSelection_);
        return;
    }
    switch (*section) {
    case SettingsSection::general:
        general_->refresh();
        pages_->setCurrentWidget(general_);
        break;
    case SettingsSection::network:
        network_->refresh();
        pages_->setCurrentWidget(network_);
        break;
    case SettingsSection::background:
        background_->refresh();
        pages_->setCurrentWidget(background_);
        break;
    }
}
