#include "Sonavant/shell/MainView.h"

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/shell/SidebarColumn.h"
#include "Sonavant/shell/TopBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int sidePanelWidth = 240;

QWidget* placeholder(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet("QLabel { color: rgba(255,255,255,60); }");
    return label;
}

} // namespace

MainView::MainView(ContentView& view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName("mainView");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    auto* central = new QWidget(this);
    central->setObjectName("centralColumn");
    // At least 600 x 600, and wide enough for the whole top bar.
    central->setMinimumHeight(600);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addSpacerItem(new QSpacerItem(600, 0, QSizePolicy::Minimum, QSizePolicy::Fixed));
    topBar_ = new TopBar(view_, central);
    column->addWidget(topBar_);

    auto* canvasRow = new QHBoxLayout;
    canvasRow->setContentsMargins(0, 0, 0, 0);
    canvasRow->setSpacing(0);
    sidePanel_ = placeholder("sidePanelPlaceholder", "Object list", central);
    sidePanel_->setFixedWidth(sidePanelWidth);
    canvasRow->addWidget(sidePanel_);
    canvas_ = placeholder("canvasPlaceholder", "Canvas", central);
    canvas_->setAutoFillBackground(true);
    QPalette dark = canvas_->palette();
    dark.setColor(QPalette::Window, QColor(24, 24, 26));
    canvas_->setPalette(dark);
    canvasRow->addWidget(canvas_, 1);
    column->addLayout(canvasRow, 1);

    toolRow_ = placeholder("toolRowPlaceholder", "Tools", central);
    toolRow_->setFixedHeight(44);
    column->addWidget(toolRow_);
    row->addWidget(central, 1);

    cueSidebar_ = placeholder("cueSidebarPlaceholder", "Path Cues", this);
    cueSidebar_->setFixedWidth(int(view_.listW));
    row->addWidget(cueSidebar_);
    sidebarColumn_ = new SidebarColumn(view_, this);
    row->addWidget(sidebarColumn_);

    auto changed = [this](const auto&) { scheduleRefresh(); };
    subscriptions_.insert(view_.appState->showSidebar.observe(changed));
    subscriptions_.insert(view_.showingObjectList.observe(changed));
    refresh();
}

QWidget* MainView::replace(QWidget*& slot, QWidget* replacement) {
    QWidget* old = slot;
    QLayout* layout = old->parentWidget()->layout();
    // The slot may sit in a nested layout: find the one that holds it.
    std::function<QLayout*(QLayout*)> holder = [&](QLayout* l) -> QLayout* {
        if (l->indexOf(old) >= 0)
            return l;
        for (int i = 0; i < l->count(); ++i)
            if (auto* inner = l->itemAt(i)->layout())
                if (auto* found = holder(inner))
                    return found;
        return nullptr;
    };
    QLayout* owner = holder(layout);
    replacement->setParent(old->parentWidget());
    if (owner)
        delete owner->replaceWidget(old, replacement);
    old->deleteLater();
    old->hide();
    slot = replacement;
    return replacement;
}

void MainView::setCanvas(QWidget* canvas) {
    replace(canvas_, canvas);
    canvas->show();
}

void MainView::setSidePanel(QWidget* panel) {
    replace(sidePanel_, panel);
    panel->setFixedWidth(sidePanelWidth);
    refresh();
}

void MainView::setToolRow(QWidget* toolRow) {
    replace(toolRow_, toolRow);
    toolRow->show();
}

void MainView::setCueSidebar(QWidget* sidebar) {
    replace(cueSidebar_, sidebar);
    sidebar->setFixedWidth(int(view_.listW));
    refresh();
}

void MainView::scheduleRefresh() {
    if (refreshPending_)
        return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] { refresh(); });
}

void MainView::refresh() {
    refreshPending_ = false;
    sidePanel_->setVisible(view_.showingObjectList);
    cueSidebar_->setVisible(view_.appState->showSidebar);
}
