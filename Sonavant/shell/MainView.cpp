#include "Sonavant/shell/MainView.h"

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/panels/ObjectListPanel.h"
#include "Sonavant/shell/SidebarColumn.h"
#include "Sonavant/shell/TopBar.h"

#include <QEasingCurve>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int slideMilliseconds = 250;

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
    setMinimumSize(smallestSize);
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

    // The canvas fills the area; the side panel lies over it and is placed by hand.
    canvasArea_ = new QWidget(central);
    canvasArea_->setObjectName("canvasArea");
    auto* area = new QHBoxLayout(canvasArea_);
    area->setContentsMargins(0, 0, 0, 0);
    area->setSpacing(0);
    canvas_ = placeholder("canvasPlaceholder", "Canvas", canvasArea_);
    canvas_->setAutoFillBackground(true);
    QPalette dark = canvas_->palette();
    dark.setColor(QPalette::Window, QColor(24, 24, 26));
    canvas_->setPalette(dark);
    area->addWidget(canvas_, 1);
    sidePanel_ = placeholder("sidePanelPlaceholder", "Object list", canvasArea_);
    sidePanel_->hide();
    canvasArea_->installEventFilter(this);
    column->addWidget(canvasArea_, 1);

    toolRow_ = placeholder("toolRowPlaceholder", "Tools", central);
    toolRow_->setFixedHeight(44);
    column->addWidget(toolRow_);
    column->addSpacing(spaceBelowToolRow);
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
    // The slot may sit in a nested layout, or in none (the side panel): find the one that holds it.
    std::function<QLayout*(QLayout*)> holder = [&](QLayout* l) -> QLayout* {
        if (l->indexOf(old) >= 0)
            return l;
        for (int i = 0; i < l->count(); ++i)
            if (auto* inner = l->itemAt(i)->layout())
                if (auto* found = holder(inner))
                    return found;
        return nullptr;
    };
    QLayout* owner = layout ? holder(layout) : nullptr;
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
    sidePanel_->raise();
}

void MainView::setSidePanel(QWidget* panel) {
    if (slide_)
        slide_->stop();
    replace(sidePanel_, panel);
    // The view shows and hides it, sliding; the panel would only pop.
    if (auto* list = qobject_cast<ObjectListPanel*>(panel))
        list->setShowsItself(false);
    panel->setFixedWidth(sidePanelWidth);
    sidePanelIn_ = false;
    panel->hide();
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
    const bool sidebar = view_.appState->showSidebar;
    cueSidebar_->setVisible(sidebar);
    // The column stands in for the cue sidebar, which has its own toggle and buttons.
    sidebarColumn_->setVisible(!sidebar);
    const bool showing = view_.showingObjectList;
    if (showing != sidePanelIn_)
        slideSidePanel(showing);
}

bool MainView::isSlidingSidePanel() const {
    return slide_ && slide_->state() == QAbstractAnimation::Running;
}

bool MainView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == canvasArea_ && event->type() == QEvent::Resize)
        placeSidePanel();
    return QWidget::eventFilter(watched, event);
}

// The full height of the canvas area; across, where it is in its slide.
void MainView::placeSidePanel() {
    int x = sidePanelIn_ ? 0 : -sidePanelWidth;
    if (isSlidingSidePanel())
        x = sidePanel_->x();
    sidePanel_->setGeometry(x, 0, sidePanelWidth, canvasArea_->height());
}

void MainView::slideSidePanel(bool in) {
    sidePanelIn_ = in;
    if (slide_)
        slide_->stop();
    QWidget* panel = sidePanel_;
    if (in && !panel->isVisible()) {
        panel->setGeometry(-sidePanelWidth, 0, sidePanelWidth, canvasArea_->height());
        panel->show();
    }
    panel->raise();
    auto* animation = new QPropertyAnimation(panel, "pos", panel);
    animation->setDuration(slideMilliseconds);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setEndValue(QPoint(in ? 0 : -sidePanelWidth, 0));
    connect(animation, &QPropertyAnimation::finished, panel, [this, panel, in] {
        if (!in && !sidePanelIn_ && panel == sidePanel_)
            panel->hide();
    });
    slide_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}
