#include "Sonavant/shell/ToolRow.h"

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/ToolPalette.h"
#include "Sonavant/windows/SymbolIcon.h"
#include "platform/qt/StyledButton.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QStackedLayout>
#include <QToolButton>

namespace {

QToolButton* iconButton(QWidget* parent, Symbol symbol, const QString& help) {
    auto* button = new QToolButton(parent);
    button->setIcon(symbolIcon(symbol, parent->palette().color(QPalette::ButtonText)));
    button->setIconSize(QSize(24, 24));
    button->setAutoRaise(true);
    button->setToolTip(help);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

const QColor paletteBlue(10, 96, 255);

} // namespace

ToolRow::ToolRow(ContentView& view, QWidget* parent) : QWidget(parent), view_(view) {
    // Two layers: the icon buttons at the leading edge, the palette centred over the width.
    auto* layers = new QStackedLayout(this);
    layers->setStackingMode(QStackedLayout::StackAll);

    palette_ = new QWidget(this);
    paletteLayout_ = new QHBoxLayout(palette_);
    paletteLayout_->setContentsMargins(0, 4, 0, 4);
    paletteLayout_->setSpacing(10);

    auto* leading = new QWidget(this);
    leading->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    auto* leadingLayout = new QHBoxLayout(leading);
    leadingLayout->setContentsMargins(6, 0, 0, 0);
    leadingLayout->setSpacing(10);
    objectListButton_ = iconButton(leading, Symbol::listPanel, "Toggle Object List");
    settingsButton_ = iconButton(leading, Symbol::gear, "Open settings");
    leadingLayout->addWidget(objectListButton_);
    leadingLayout->addWidget(settingsButton_);
    leadingLayout->addStretch(1);
    // Only the buttons take clicks: the palette underneath stays reachable.
    leading->setMaximumWidth(6 + 2 * 34 + 10);

    layers->addWidget(palette_);
    layers->addWidget(leading);
    leading->raise();

    connect(objectListButton_, &QToolButton::clicked, this, [this] { view_.toggleObjectList(); });
    connect(settingsButton_, &QToolButton::clicked, this, [this] { view_.openSettingsWindow(); });

    deleteShortcut_ = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backspace), this);
    deleteShortcut_->setContext(Qt::WindowShortcut);
    connect(deleteShortcut_, &QShortcut::activated, this, [this] { view_.deleteSelection(); });

    // Both announce before the new value is visible: take the other from the show.
    subscriptions_.insert(view_.appState->isEditingAudienceArea.observe(
        [this](const bool& editing) { rebuildPalette(editing, view_.appState->isSoundScapeMode); }));
    subscriptions_.insert(view_.appState->isSoundScapeMode.observe([this](const bool& soundScape) {
        rebuildPalette(view_.appState->isEditingAudienceArea, soundScape);
    }));
    rebuildPalette(view_.appState->isEditingAudienceArea, view_.appState->isSoundScapeMode);
}

ToolRow::~ToolRow() {
    subscriptions_.clear();
}

void ToolRow::rebuildPalette(bool isEditingAudienceArea, bool isSoundScapeMode) {
    // A button may be the one whose click led here: it goes once its click has returned.
    while (QLayoutItem* item = paletteLayout_->takeAt(0))
        delete item;
    for (QPushButton* button : buttons_) {
        button->hide();
        button->deleteLater();
    }
    buttons_.clear();

    paletteLayout_->addStretch(1);
    for (const auto& entry : ToolPalette::buttons(isEditingAudienceArea, isSoundScapeMode)) {
        // The shared fixed-size look: shadow, and 70 % while pressed.
        QPushButton* button = platform::StyledButton::fixedSize(
            QString::fromStdString(entry.label), int(ToolPalette::buttonWidth),
            int(ToolPalette::buttonHeight), paletteBlue, Qt::white, palette_);
        button->setToolTip(QString::fromStdString(entry.help));
        button->setFocusPolicy(Qt::NoFocus);
        const auto action = entry.action;
        connect(button, &QPushButton::clicked, this, [this, action] {
            using A = ToolPalette::Action;
            switch (action) {
            case A::addSpeaker:
                view_.addSpeaker();
                break;
            case A::importDbpr:
                view_.importDbprFile();
                break;
            case A::addSoundObject:
                view_.addSoundObject();
                break;
            case A::clearCanvas:
                view_.clearCanvas();
                break;
            case A::showGroups:
                view_.showGroupsWindow();
                break;
            case A::showSnapshots:
                view_.showSnapshotsWindow();
                break;
            case A::addArea:
                if (addArea_)
                    addArea_();
                break;
            case A::deleteArea:
                view_.deleteAudienceArea();
                break;
            case A::duplicateArea:
                view_.duplicateAudienceArea();
                break;
            case A::clearAreas:
                view_.removeAllAudienceAreas();
                break;
            }
        });
        paletteLayout_->addWidget(button);
        buttons_.push_back(button);
        button->show(); // a layout shows a new child of a visible window only later
    }
    paletteLayout_->addStretch(1);
    deleteShortcut_->setEnabled(ToolPalette::deleteShortcutActive(isEditingAudienceArea));
}

QPushButton* ToolRow::paletteButton(const QString& label) const {
    for (QPushButton* button : buttons_)
        if (button->text() == label)
            return button;
    return nullptr;
}
