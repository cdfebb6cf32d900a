#include "Sonavant/panels/CueSidebarWidget.h"

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/panels/CueListWidget.h"
#include "Sonavant/panels/CueRowWidget.h"
#include "Sonavant/panels/CueSymbols.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QToolButton* iconButton(QWidget* parent, const QIcon& icon, int box, int iconSize) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(icon);
    button->setIconSize(QSize(iconSize, iconSize));
    button->setFixedSize(box, box);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QLabel* headline(const QString& s, QWidget* parent) {
    auto* label = new QLabel(s, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

CueSidebarWidget::CueSidebarWidget(ContentView& view, QWidget* parent) : QWidget(parent), model_(view) {
    setObjectName("cueSidebar");
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(1, 0, 0, 0); // the leading rule
    root->setSpacing(0);

    // Header, 50 high: the title centred over the row of buttons.
    auto* header = new QWidget(this);
    header->setFixedHeight(50);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(8, 0, 8, 0);
    toggle_ = iconButton(header, {}, 32, 24);
    toggle_->setObjectName("cueSidebarToggle");
    headerRow->addWidget(toggle_);
    title_ = headline(text(CueSidebarModel::title), header);
    title_->setAlignment(Qt::AlignCenter);
    headerRow->addWidget(title_, 1);
    deskButtons_ = new QWidget(header);
    auto* deskRow = new QHBoxLayout(deskButtons_);
    deskRow->setContentsMargins(0, 0, 0, 0);
    deskRow->setSpacing(12);
    mixer_ = iconButton(deskButtons_, cueSymbol(CueSymbol::mixer), 32, 24);
    mixer_->setAccessibleName(text(CueSidebarModel::mixerHelp));
    audience_ = iconButton(deskButtons_, cueSymbol(CueSymbol::audienceArea), 32, 24);
    deskRow->addWidget(mixer_);
    deskRow->addWidget(audience_);
    headerRow->addWidget(deskButtons_);
    root->addWidget(header);

    // Column header, 30 high, on a light gray band.
    auto* columns = new QWidget(this);
    columns->setFixedHeight(30);
    columns->setAutoFillBackground(true);
    QPalette band = columns->palette();
    band.setColor(QPalette::Window, QColor(142, 142, 147, 51));
    columns->setPalette(band);
    auto* columnRow = new QHBoxLayout(columns);
    columnRow->setContentsMargins(0, 0, 0, 0);
    columnRow->setSpacing(4);
    // The columns line up with the rows' (CueRowWidget): 50, 130 and 40 wide.
    auto* number = headline(text(CueSidebarModel::numberHeader), columns);
    number->setFixedWidth(50);
    number->setContentsMargins(8, 0, 0, 0);
    auto* name = headline(text(CueSidebarModel::nameHeader), columns);
    name->setFixedWidth(130);
    auto* time = headline(text(CueSidebarModel::timeHeader), columns);
    time->setFixedWidth(40);
    time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    columnRow->addWidget(number);
    columnRow->addWidget(cueColumnRule(columns));
    columnRow->addWidget(name);
    columnRow->addWidget(cueColumnRule(columns));
    columnRow->addWidget(time);
    columnRow->addStretch(1);
    root->addWidget(columns);
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setStyleSheet("color: rgba(142, 142, 147, 90);");
    root->addWidget(divider);

    // The list.
    list_ = new CueListWidget(model_, this);
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(list_);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    root->addWidget(scroll_, 1);

    // Toolbar.
    auto* toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(12, 8, 12, 8);
    toolbar->setSpacing(10);
    toolbar->addStretch(1);
    struct Command {
        QToolButton*& button;
        CueSymbol symbol;
        QColor colour;
        std::string_view help;
        void (CueSidebarModel::*action)();
    };
    const Command commands[] = {
        {draw_, CueSymbol::drawPath, QColor(10, 132, 255), CueSidebarModel::drawPathHelp,
         &CueSidebarModel::startRecording},
        {play_, CueSymbol::play, QColor(52, 199, 89), CueSidebarModel::playHelp,
         &CueSidebarModel::playSelectedCues},
        {stop_, CueSymbol::stop, QColor(255, 69, 58), CueSidebarModel::stopHelp,
         &CueSidebarModel::stopPlayback},
        {delete_, CueSymbol::trash, QColor(142, 142, 147), CueSidebarModel::deleteHelp,
         &CueSidebarModel::deleteSelectedCues},
    };
    for (const Command& command : commands) {
        command.button = iconButton(this, cueSymbol(command.symbol, command.colour), 40, 24);
        command.button->setToolTip(text(command.help));
        command.button->setAccessibleName(text(command.help));
        connect(command.button, &QToolButton::clicked, this,
                [this, action = command.action] { (model_.*action)(); });
        toolbar->addWidget(command.button);
    }
    toolbar->addStretch(1);
    root->addLayout(toolbar);

    connect(toggle_, &QToolButton::clicked, this, [this] { model_.toggleSidebar(); });
    connect(mixer_, &QToolButton::clicked, this, [this] { model_.openMixer(); });
    connect(audience_, &QToolButton::clicked, this, [this] { model_.toggleAudienceAreaEditing(); });

    QPointer<CueSidebarWidget> self(this);
    auto changed = [self](const auto&) {
        if (self)
            self->refreshLater();
    };
    AppState& state = *view.appState;
    observers_.insert(state.showSidebar.observe(changed));
    observers_.insert(state.selectedDesk.observe(changed));
    observers_.insert(state.isEditingAudienceArea.observe(changed));
    setFixedWidth(int(view.listW));
    refresh();
}

void CueSidebarWidget::refreshLater() {
    if (refreshPending_)
        return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { refresh(); }, Qt::QueuedConnection);
}

void CueSidebarWidget::refresh() {
    refreshPending_ = false;
    const bool expanded = model_.isExpanded();
    title_->setVisible(expanded);
    toggle_->setIcon(cueSymbol(expanded ? CueSymbol::sidebarExpanded : CueSymbol::sidebarCollapsed));
    // It has no help text; screen readers still need a name.
    toggle_->setAccessibleName(text(CueSidebarModel::sidebarToggleHelp(expanded)));
    deskButtons_->setVisible(model_.showsDeskButtons());
    audience_->setToolTip(text(model_.audienceAreaHelp()));
}

void CueSidebarWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(QRect(0, 0, 1, height()), QColor(142, 142, 147, 77));
}
