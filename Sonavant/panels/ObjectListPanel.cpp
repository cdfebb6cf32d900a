#include "Sonavant/panels/ObjectListPanel.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/panels/ObjectListRowWidget.h"

#include <QAbstractButton>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A filled circle with a cross cut out of it, in white.
class CloseCircleButton : public QAbstractButton {
public:
    explicit CloseCircleButton(QWidget* parent) : QAbstractButton(parent) {
        setFixedSize(18, 18);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setAccessibleName("Close");
        setToolTip("Close");
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setOpacity(isDown() ? 0.6 : 0.8);
        const QRectF circle = QRectF(rect()).adjusted(1, 1, -1, -1);
        QPainterPath disc;
        disc.addEllipse(circle);
        QPainterPath cross;
        const QPointF c = circle.center();
        const double arm = circle.width() * 0.22, half = 1.0;
        for (double sign : {1.0, -1.0}) {
            QPainterPath bar;
            bar.addRect(QRectF(-arm, -half, 2 * arm, 2 * half));
            QTransform turn;
            turn.translate(c.x(), c.y());
            turn.rotate(45 * sign);
            cross = cross.united(turn.map(bar));
        }
        p.fillPath(disc.subtracted(cross), Qt::white);
    }
};

} // namespace

ObjectListPanel::ObjectListPanel(ContentView& view, QWidget* parent)
    : QWidget(parent), view_(view), model_(view) {
    // The container may narrow it (the main view gives its side panel a fixed width).
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName("Inputs");

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(leadingPadding, topPadding, shadowRoom, shadowRoom);
    outer->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 10, 12, 5);
    auto* title = new QLabel("Inputs", this);
    QFont headline = title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.1);
    title->setFont(headline);
    title->setStyleSheet("color: white; background: transparent;");
    header->addWidget(title);
    header->addStretch();
    closeButton_ = new CloseCircleButton(this);
    header->addWidget(closeButton_);
    outer->addLayout(header);
    connect(closeButton_, &QAbstractButton::clicked, this, [this] { model_.close(); });

    auto* divider = new QWidget(this);
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    QPalette dividerPalette = divider->palette();
    dividerPalette.setColor(QPalette::Window, QColor(255, 255, 255, 128));
    divider->setPalette(dividerPalette);
    outer->addWidget(divider);

    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setStyleSheet("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }");
    auto* content = new QWidget(scroll_);
    rowsLayout_ = new QVBoxLayout(content);
    rowsLayout_->setContentsMargins(4, 8, 4, 8);
    rowsLayout_->setSpacing(6);
    rowsLayout_->addStretch(); // a short list stays at the top
    scroll_->setWidget(content);
    outer->addWidget(scroll_, 1);

    auto* opacity = new QGraphicsOpacityEffect(this);
    opacity->setOpacity(0.7);
    setGraphicsEffect(opacity);

    setVisible(view_.showingObjectList.get());
    refresh();
    observeShow();
}

ObjectListPanel::~ObjectListPanel() = default;

QSize ObjectListPanel::sizeHint() const {
    return QSize(leadingPadding + panelWidth + shadowRoom, 400);
}

// Room for the shadow past the trailing edge, taken from what is left beside the panel.
int ObjectListPanel::trailingRoom() const {
    return std::clamp(width() - leadingPadding - panelWidth, 0, int(shadowRoom));
}

QRect ObjectListPanel::panelRect() const {
    return rect().adjusted(leadingPadding, topPadding, -trailingRoom(), -shadowRoom);
}

void ObjectListPanel::resizeEvent(QResizeEvent* event) {
    if (auto* outer = layout())
        outer->setContentsMargins(leadingPadding, topPadding, trailingRoom(), shadowRoom);
    QWidget::resizeEvent(event);
}

std::vector<ObjectListRowWidget*> ObjectListPanel::rowWidgets() const {
    return order_;
}

void ObjectListPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF panel = panelRect();
    // A soft shadow all round: rings that fade outwards.
    for (int i = shadowRoom; i >= 1; --i) {
        QPainterPath ring;
        ring.addRoundedRect(panel.adjusted(-i, -i, i, i), 12 + i, 12 + i);
        p.fillPath(ring, QColor(0, 0, 0, int(84.0 / shadowRoom * (shadowRoom - i + 1) / shadowRoom)));
    }
    QPainterPath shape;
    shape.addRoundedRect(panel, 12, 12);
    p.fillPath(shape, QColor(0, 0, 0, 179));
}

void ObjectListPanel::observeShow() {
    auto changed = [this](const auto&) { scheduleRefresh(); };
    view_.appState->soundObjects
        .observe([this](const auto&) {
            sourcesChanged_ = true;
            scheduleRefresh();
        })
        .store(subscriptions_);
    view_.appState->selectedDesk.observe(changed).store(subscriptions_);
    view_.selectedObjects.observe(changed).store(subscriptions_);
    // Shown while the main view says so; the tool row's button and the close button flip it.
    view_.showingObjectList
        .observe([this](bool showing) {
            if (showsItself_)
                setVisible(showing);
        })
        .store(subscriptions_);
    observeSources();
}

void ObjectListPanel::observeSources() {
    sourceSubscriptions_.clear();
    auto changed = [this](const auto&) { scheduleRefresh(); };
    for (const auto& source : view_.appState->soundObjects.get()) {
        if (!source)
            continue;
        source->name.observe(changed).store(sourceSubscriptions_);
        source->number.observe(changed).store(sourceSubscriptions_);
        source->type.observe(changed).store(sourceSubscriptions_);
    }
}

// Announcements come before the change takes effect, so the list reads the show on the
// next turn of the event loop, once for any number of changes.
void ObjectListPanel::scheduleRefresh() {
    if (refreshPending_)
        return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { refresh(); }, Qt::QueuedConnection);
}

void ObjectListPanel::refresh() {
    refreshPending_ = false;
    const auto rows = model_.rows();

    std::map<std::pair<platform::UUID, int>, ObjectListRowWidget*> kept;
    std::map<platform::UUID, int> occurrences;
    std::vector<ObjectListRowWidget*> order;
    order.reserve(rows.size());
    for (const auto& row : rows) {
        const auto key = std::make_pair(row.id, occurrences[row.id]++);
        ObjectListRowWidget* widget = nullptr;
        if (auto it = rows_.find(key); it != rows_.end()) {
            widget = it->second;
            rows_.erase(it);
        } else {
            widget = new ObjectListRowWidget(scroll_->widget());
            connect(widget, &ObjectListRowWidget::clicked, this,
                    [this](const platform::UUID& id, bool shift) { model_.click(id, shift); });
            connect(widget, &ObjectListRowWidget::doubleClicked, this,
                    [this](const platform::UUID& id) { model_.doubleClick(id); });
        }
        widget->setRow(row);
        kept[key] = widget;
        order.push_back(widget);
    }
    for (auto& [key, gone] : rows_) {
        gone->hide();
        gone->deleteLater();
    }
    rows_ = std::move(kept);

    if (order != order_) {
        for (auto* widget : order_)
            rowsLayout_->removeWidget(widget);
        for (std::size_t i = 0; i < order.size(); ++i) {
            rowsLayout_->insertWidget(int(i), order[i]);
            order[i]->show();
        }
        order_ = std::move(order);
    }
    if (sourcesChanged_) {
        sourcesChanged_ = false;
        observeSources(); // the sources whose fields the rows show
    }
}
