#include "Sonavant/shell/SidebarColumn.h"

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/CueSidebarModel.h"
#include "Sonavant/ui/TopBarRules.h"
#include "platform/qt/Symbols.h"

#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton* plainButton(const QIcon& icon, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setIcon(icon);
    button->setIconSize(QSize(22, 22));
    button->setAutoRaise(true);
    button->setFixedSize(30, 30);
    return button;
}

} // namespace

SidebarColumn::SidebarColumn(ContentView& view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName("sidebarColumn");
    setFixedWidth(40);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    toggle_ = plainButton(symbols::sidebarToggle(), this);
    toggle_->setObjectName("cueSidebarToggle");
    auto* head = new QHBoxLayout;
    head->setContentsMargins(5, 15, 0, 0);
    head->addWidget(toggle_);
    head->addStretch(1);
    column->addLayout(head);
    column->addStretch(1);

    footButtons_ = new QWidget(this);
    auto* foot = new QVBoxLayout(footButtons_);
    foot->setContentsMargins(0, 0, 0, 12);
    foot->setSpacing(12);
    mixer_ = plainButton(symbols::mixerSliders(), footButtons_);
    mixer_->setObjectName("mixerButton");
    mixer_->setToolTip(QString::fromUtf8(CueSidebarModel::mixerHelp));
    audience_ = plainButton(symbols::audienceAreaEdit(), footButtons_);
    audience_->setObjectName("audienceAreaButton");
    foot->addWidget(mixer_, 0, Qt::AlignHCenter);
    foot->addWidget(audience_, 0, Qt::AlignHCenter);
    column->addWidget(footButtons_);

    connect(toggle_, &QToolButton::clicked, this,
            [this] { view_.toggleAppStateFlag(&AppState::showSidebar); });
    connect(mixer_, &QToolButton::clicked, this, [this] { view_.openMixerWindow(); });
    connect(audience_, &QToolButton::clicked, this,
            [this] { view_.toggleAppStateFlag(&AppState::isEditingAudienceArea); });

    auto changed = [this](const auto&) { scheduleRefresh(); };
    subscriptions_.insert(view_.appState->showSidebar.observe(changed));
    subscriptions_.insert(view_.appState->isEditingAudienceArea.observe(changed));
    subscriptions_.insert(view_.appState->selectedDesk.observe(changed));
    refresh();
}

void SidebarColumn::scheduleRefresh() {
    if (refreshPending_)
        return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] { refresh(); });
}

void SidebarColumn::refresh() {
    refreshPending_ = false;
    const auto& state = *view_.appState;
    toggle_->setToolTip(QString::fromUtf8(CueSidebarModel::sidebarToggleHelp(state.showSidebar)));
    audience_->setToolTip(QString::fromUtf8(state.isEditingAudienceArea ? CueSidebarModel::exitAreasHelp
                                                                        : CueSidebarModel::editAreasHelp));
    audience_->setCheckable(true);
    audience_->setChecked(state.isEditingAudienceArea);
    footButtons_->setVisible(!topbar::isSoundScapeDesk(state.selectedDesk.get()));
}

void SidebarColumn::paintEvent(QPaintEvent*) {
    // The one-point divider on the leading edge.
    QPainter painter(this);
    painter.fillRect(QRect(0, 0, 1, height()), QColor(128, 128, 128, 77));
}
