#include "Sonavant/panels/CueListWidget.h"

#include "Sonavant/cues/PathManager.h"
#include "Sonavant/panels/CueRowWidget.h"
#include "Sonavant/ui/CueSidebarModel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

CueListWidget::CueListWidget(CueSidebarModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    layout_->addStretch(1);

    // Published values announce before they change: the rows follow on a later turn, once.
    QPointer<CueListWidget> self(this);
    auto changed = [self](const auto&) {
        if (self)
            self->syncLater();
    };
    PathManager& manager = model_.pathManager();
    observers_.insert(manager.pathCues.observe(changed));
    observers_.insert(manager.selectedCueIDs.observe(changed));
    observers_.insert(manager.playingCueIDs.observe(changed));
    sync();
}

void CueListWidget::syncLater() {
    if (syncPending_)
        return;
    syncPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { sync(); }, Qt::QueuedConnection);
}

void CueListWidget::sync() {
    syncPending_ = false;
    std::vector<platform::UUID> order;
    std::map<platform::UUID, CueRowWidget*> kept;
    bool madeRows = false;
    for (const auto& cue : model_.pathManager().pathCues.get()) {
        if (!cue || kept.count(cue->id))
            continue;
        auto it = rows_.find(cue->id);
        CueRowWidget* row = nullptr;
        if (it != rows_.end() && it->second->cue() == cue) {
            row = it->second;
            rows_.erase(it);
        } else {
            row = new CueRowWidget(cue, this);
            madeRows = true;
        }
        kept[cue->id] = row;
        order.push_back(cue->id);
        row->refresh(model_.rowState(*cue));
    }
    for (auto& [id, row] : rows_)
        delete row; // its cue left the list
    rows_ = std::move(kept);
    // New rows need their place even in an unchanged order: an opened show brings new
    // records under the ids already listed.
    if (order != order_ || madeRows) {
        for (std::size_t i = 0; i < order.size(); ++i) {
            CueRowWidget* row = rows_.at(order[i]);
            if (layout_->indexOf(row) != int(i)) {
                layout_->removeWidget(row);
                layout_->insertWidget(int(i), row);
            }
            row->show(); // a row made after the list came on screen is hidden until told
        }
        layout_->activate();
        order_ = std::move(order);
    }
    if (pressed_ && !rows_.count(*pressed_)) {
        pressed_.reset();
        dragging_ = false;
        dropY_ = -1;
    }
    update();
}

std::vector<CueRowWidget*> CueListWidget::rows() const {
    std::vector<CueRowWidget*> list;
    for (const auto& id : order_)
        list.push_back(rows_.at(id));
    return list;
}

CueRowWidget* CueListWidget::row(const platform::UUID& cueID) const {
    auto it = rows_.find(cueID);
    return it == rows_.end() ? nullptr : it->second;
}

CueRowWidget* CueListWidget::rowAt(QPoint point) const {
    for (const auto& [id, row] : rows_)
        if (row->geometry().contains(point))
            return row;
    return nullptr;
}

std::size_t CueListWidget::dropIndexAt(int y) const {
    std::vector<double> centres;
    for (CueRowWidget* row : rows())
        centres.push_back(row->geometry().center().y());
    return CueSidebarModel::dropIndex(centres, y);
}

void CueListWidget::mousePressEvent(QMouseEvent* event) {
    CueRowWidget* row = event->button() == Qt::LeftButton ? rowAt(event->position().toPoint()) : nullptr;
    if (!row)
        return;
    const platform::UUID id = row->cue()->id;
    pressed_ = id;
    pressPoint_ = event->position().toPoint();
    dragging_ = false;
    model_.rowClicked(id, event->modifiers() & Qt::ShiftModifier);
}

void CueListWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_ || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint at = event->position().toPoint();
    if (!dragging_ &&
        std::hypot(at.x() - pressPoint_.x(), at.y() - pressPoint_.y()) >= CueSidebarModel::dragThreshold)
        dragging_ = true;
    if (!dragging_)
        return;
    // The insertion line between rows.
    const auto list = rows();
    const std::size_t index = dropIndexAt(at.y());
    dropY_ = list.empty()          ? 0
             : index < list.size() ? list[index]->geometry().top()
                                   : list.back()->geometry().bottom() + 1;
    update();
}

void CueListWidget::mouseReleaseEvent(QMouseEvent* event) {
    const auto pressed = std::exchange(pressed_, std::nullopt);
    const bool dragged = std::exchange(dragging_, false);
    dropY_ = -1;
    update();
    if (!pressed || !dragged || event->button() != Qt::LeftButton)
        return;
    const auto position = std::find(order_.begin(), order_.end(), *pressed);
    if (position == order_.end())
        return;
    model_.moveRows({std::size_t(position - order_.begin())}, dropIndexAt(event->position().toPoint().y()));
}

void CueListWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    // The first click of the pair has selected the cue; the second opens it.
    if (CueRowWidget* row = event->button() == Qt::LeftButton ? rowAt(event->position().toPoint()) : nullptr)
        model_.rowDoubleClicked(row->cue()->id);
}

void CueListWidget::paintEvent(QPaintEvent*) {
    if (dropY_ < 0)
        return;
    QPainter painter(this);
    painter.setPen(QPen(QColor(10, 132, 255), 2));
    painter.drawLine(4, dropY_, width() - 4, dropY_);
}
