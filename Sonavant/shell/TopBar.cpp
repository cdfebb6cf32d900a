#include "Sonavant/shell/TopBar.h"

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/shell/StepperField.h"
#include "Sonavant/ui/TopBarRules.h"
#include "platform/qt/StyledButton.h"
#include "platform/qt/Symbols.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int barHeight = 30;
constexpr int rangeScale = 100; // slider steps per metre
constexpr int menuArrowRoom = 44;

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return label;
}

} // namespace

TopBar::TopBar(ContentView& view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName("topBar");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 6, 8, 6);
    row->setSpacing(8);

    deskButton_ = new QPushButton(this);
    deskButton_->setObjectName("deskMenu");
    deskButton_->setFixedHeight(barHeight);
    deskButton_->setToolTip("Select what you want to control");
    deskMenu_ = new QMenu(deskButton_);
    deskButton_->setMenu(deskMenu_);
    row->addWidget(deskButton_);
    // The level group between two flexible spaces; the range box shares the free width with
    // them.
    auto* levelGroup = new QWidget(this);
    levelGroup->setObjectName("levelGroup");
    levelGroup->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* levels = new QHBoxLayout(levelGroup);
    levels->setContentsMargins(0, 0, 0, 0);
    levels->setSpacing(3);
    // Each of the three is offered a third of the width; the group never less than its boxes.
    row->addStretch(1);
    row->addWidget(levelGroup, 1);
    row->addStretch(1);

    // Zoom.
    {
        auto* content = new QWidget(this);
        auto* layout = new QHBoxLayout(content);
        layout->setContentsMargins(2, 0, 2, 0);
        layout->setSpacing(2);
        auto* glass = new QLabel(content);
        glass->setPixmap(symbols::magnifyingGlass().pixmap(16, 16));
        layout->addWidget(glass);
        zoom_ = new StepperField(50, barHeight, content);
        zoom_->setObjectName("zoom");
        layout->addWidget(zoom_);
        zoomBox_ = box(content, "Set the canvas zoom level");
        levels->addWidget(zoomBox_);
    }
    // Minimum and maximum.
    auto levelBox = [this](const QString& title, StepperField*& field, const char* name,
                           const QString& help) {
        auto* content = new QWidget(this);
        auto* layout = new QHBoxLayout(content);
        layout->setContentsMargins(2, 0, 2, 0);
        layout->setSpacing(2);
        layout->addWidget(caption(title, content));
        field = new StepperField(45, barHeight, content);
        field->setObjectName(name);
        layout->addWidget(field);
        QWidget* framed = box(content, help);
        framed->setMinimumWidth(95);
        return framed;
    };
    minBox_ = levelBox("Min:", min_, "minLevel", "Minimum level sent to each output");
    maxBox_ = levelBox("Max:", max_, "maxLevel", "Maximum level sent to each output");
    levels->addWidget(minBox_);
    levels->addWidget(maxBox_);
    // Range.
    {
        auto* content = new QWidget(this);
        auto* layout = new QHBoxLayout(content);
        layout->setContentsMargins(5, 0, 5, 0);
        layout->setSpacing(5);
        layout->addWidget(caption(" Range:", content));
        range_ = new QSlider(Qt::Horizontal, content);
        range_->setObjectName("range");
        range_->setRange(1 * rangeScale, 30 * rangeScale);
        range_->setMinimumWidth(120);
        layout->addWidget(range_, 1);
        rangeBox_ = box(content, "Set the area between minimum and maximum for all inputs");
        rangeBox_->setMinimumWidth(170);
        rangeBox_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        levels->addWidget(rangeBox_, 1);
    }
    output_ =
        platform::StyledButton::fixedSize("OSC: On", 90, barHeight, QColor(52, 168, 83), Qt::white, this);
    output_->setObjectName("outputSwitch");
    output_->setToolTip("Toggle OSC output");
    row->addWidget(output_);

    // What the controls write.
    connect(zoom_, &StepperField::typed, this, [this](const QString& text) {
        if (auto zoom = topbar::typedZoom(text.toStdString()))
            view_.zoomLevel = *zoom;
        refresh(); // a refused value gives way to the zoom in force
    });
    connect(zoom_, &StepperField::stepped, this, [this](int direction) {
        view_.zoomLevel = topbar::stepped(view_.zoomLevel, direction, topbar::zoomStep, topbar::zoomRange);
    });
    connect(min_, &StepperField::typed, this, [this](const QString& text) {
        if (auto level = topbar::typedLevel(text.toStdString()))
            view_.appState->minLevel = *level;
        refresh();
    });
    connect(min_, &StepperField::stepped, this, [this](int direction) {
        auto& state = *view_.appState;
        const auto range = topbar::minLevelRange(state.minLevel, state.maxLevel);
        state.minLevel = int(topbar::stepped(state.minLevel, direction, 1, range));
    });
    connect(max_, &StepperField::typed, this, [this](const QString& text) {
        if (auto level = topbar::typedLevel(text.toStdString()))
            view_.appState->maxLevel = *level;
        refresh();
    });
    connect(max_, &StepperField::stepped, this, [this](int direction) {
        auto& state = *view_.appState;
        const auto range = topbar::maxLevelRange(state.minLevel, state.maxLevel);
        state.maxLevel = int(topbar::stepped(state.maxLevel, direction, 1, range));
    });
    connect(range_, &QSlider::valueChanged, this,
            [this](int value) { view_.appState->range = double(value) / rangeScale; });
    connect(output_, &QPushButton::clicked, this,
            [this] { view_.setOSCOutput(!view_.appState->oscOutputOn); });

    // What it shows.
    auto& state = *view_.appState;
    auto changed = [this](const auto&) { scheduleRefresh(); };
    subscriptions_.insert(view_.selectedDesk.observe(changed));
    subscriptions_.insert(view_.mixingDesks.observe([this](const auto&) {
        desksChanged_ = true;
        scheduleRefresh();
    }));
    subscriptions_.insert(view_.zoomLevel.observe(changed));
    subscriptions_.insert(state.minLevel.observe(changed));
    subscriptions_.insert(state.maxLevel.observe(changed));
    subscriptions_.insert(state.range.observe(changed));
    subscriptions_.insert(state.oscOutputOn.observe(changed));
    refresh();
}

QWidget* TopBar::box(QWidget* content, const QString& help) {
    auto* frame = new QFrame(this);
    frame->setObjectName("levelBox");
    frame->setStyleSheet("QFrame#levelBox { border: 1px solid rgba(128,128,128,77); border-radius: 4px; }");
    frame->setFixedHeight(barHeight);
    frame->setToolTip(help);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    return frame;
}

void TopBar::scheduleRefresh() {
    // Values announce themselves before they are in place: show them on the next turn.
    if (refreshPending_)
        return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] { refresh(); });
}

void TopBar::rebuildDeskMenu() {
    deskMenu_->clear();
    const auto desks = view_.mixingDesks.get();
    for (std::size_t i = 0; i < desks.size(); ++i) {
        const QString name = QString::fromStdString(desks[i].displayName);
        QAction* action = deskMenu_->addAction(QString(name).replace('&', "&&")); // "D&B" is no shortcut
        action->setData(name);
        // By position: two desks may share a name, and each picks itself.
        connect(action, &QAction::triggered, this, [this, i] {
            const auto current = view_.mixingDesks.get();
            if (i < current.size())
                view_.selectDesk(current[i]);
        });
    }
}

void TopBar::refresh() {
    refreshPending_ = false;
    if (desksChanged_) {
        desksChanged_ = false;
        rebuildDeskMenu();
    }
    const auto& state = *view_.appState;
    deskTitle_ = QString::fromStdString(topbar::deskMenuTitle(view_.selectedDesk.get()));
    // Room for the menu arrow beside the text; long names are cut with an ellipsis.
    const QFontMetrics metrics = deskButton_->fontMetrics();
    const QString shown = metrics.elidedText(deskTitle_, Qt::ElideRight, 210 - menuArrowRoom);
    deskButton_->setFixedWidth(std::clamp(metrics.horizontalAdvance(shown) + menuArrowRoom, 95, 210));
    deskButton_->setText(QString(shown).replace('&', "&&"));

    const bool soundScape = topbar::isSoundScapeDesk(view_.selectedDesk.get());
    minBox_->setEnabled(!soundScape);
    maxBox_->setEnabled(!soundScape);
    rangeBox_->setEnabled(!soundScape);

    const double zoom = view_.zoomLevel;
    zoom_->setValueText(QString::fromStdString(topbar::zoomText(zoom)));
    zoom_->setStepEnabled(topbar::canStep(zoom, +1, topbar::zoomRange),
                          topbar::canStep(zoom, -1, topbar::zoomRange));

    const int minLevel = state.minLevel, maxLevel = state.maxLevel;
    min_->setValueText(QString::number(minLevel));
    max_->setValueText(QString::number(maxLevel));
    const auto minRange = topbar::minLevelRange(minLevel, maxLevel);
    const auto maxRange = topbar::maxLevelRange(minLevel, maxLevel);
    min_->setStepEnabled(topbar::canStep(minLevel, +1, minRange), topbar::canStep(minLevel, -1, minRange));
    max_->setStepEnabled(topbar::canStep(maxLevel, +1, maxRange), topbar::canStep(maxLevel, -1, maxRange));

    {
        const QSignalBlocker blocker(range_);
        const double range = state.range;
        range_->setValue(std::isfinite(range) ? int(std::lround(range * rangeScale)) : rangeScale);
    }
    const bool on = state.oscOutputOn;
    output_->setText(QString::fromStdString(topbar::outputSwitchTitle(on)));
    output_->setBackground(on ? QColor(52, 168, 83) : QColor(128, 128, 128));
}
