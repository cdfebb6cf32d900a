#include "Sonavant/windows/GroupsWindow.h"

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/GroupRules.h"
#include "Sonavant/windows/ListRowFrame.h"
#include "Sonavant/windows/ListWindowParts.h"
#include "Sonavant/windows/SymbolIcon.h"
#include "platform/qt/ReleaseSignals.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace listwindow;

namespace {

const QColor systemBlue(10, 132, 255);

} // namespace

struct GroupsWindow::Row {
    platform::UUID id;
    ListRowFrame* frame = nullptr;
    QLabel* nameLabel = nullptr;
    QLineEdit* nameEdit = nullptr;
    QLabel* speakerIcon = nullptr;
    QLabel* micIcon = nullptr;
    QToolButton* pencil = nullptr;
    bool shownEditing = false;
};

GroupsWindow::GroupsWindow(ContentView& view, QWidget* parent)
    : QWidget(parent, listwindow::windowFlags()), view_(view) {
    setWindowTitle("Groups");
    setFixedSize(windowWidth, windowHeight);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(16, 16, 16, 16);
    root->setSpacing(16);
    addHeader(root, Symbol::people, this);

    const auto list = addRowList(root, this);
    listContent_ = list.content;
    listLayout_ = list.layout;

    auto* buttons = new QHBoxLayout;
    newButton_ = actionButton("New", Symbol::plus, this);
    deleteButton_ = actionButton("Delete", Symbol::trash, this);
    buttons->addWidget(newButton_);
    buttons->addStretch(1);
    buttons->addWidget(deleteButton_);
    root->addLayout(buttons);

    connect(newButton_, &QPushButton::clicked, this, [this] { addGroupFromSelection(); });
    connect(deleteButton_, &QPushButton::clicked, this, [this] {
        if (auto group = state_.groupToDelete(view_.appState->groups)) {
            removeGroup(*group);
            state_.highlighted.reset();
            render();
        }
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { onFocusChanged(now); });

    // Both announce before the new value is visible: work from the value handed over.
    subscriptions_.insert(view_.appState->groups.observe([this](const std::vector<ObjectGroup>& groups) {
        syncRows(groups);
        render();
    }));
    subscriptions_.insert(view_.selectedObjects.observe([this](const std::set<std::string>& selection) {
        state_.selectionChanged(view_.appState->groups, selection);
        render();
    }));
    syncRows(view_.appState->groups);
    render();
}

GroupsWindow::~GroupsWindow() {
    platform::releaseSignals(this);
    subscriptions_.clear();
}

void GroupsWindow::addGroupFromSelection() {
    auto groups = view_.appState->groups.get();
    auto selection = view_.selectedObjects.get();
    if (!GroupRules::addFromSelection(groups, selection))
        return;
    view_.appState->groups = std::move(groups);
    view_.selectedObjects = std::move(selection);
}

void GroupsWindow::removeGroup(const platform::UUID& group) {
    auto groups = view_.appState->groups.get();
    auto selection = view_.selectedObjects.get();
    GroupRules::remove(groups, selection, group);
    view_.appState->groups = std::move(groups);
    view_.selectedObjects = std::move(selection);
}

GroupsWindow::Row& GroupsWindow::makeRow(const platform::UUID& id) {
    auto row = std::make_unique<Row>();
    row->id = id;
    row->frame = new ListRowFrame(listContent_, systemBlue, 8);
    row->frame->setFixedHeight(45);
    auto* layout = new QHBoxLayout(row->frame);
    layout->setContentsMargins(8, 0, 4, 0);
    row->nameLabel = new QLabel(row->frame);
    row->nameEdit = new QLineEdit(row->frame);
    row->nameEdit->setPlaceholderText("Group Name");
    row->nameEdit->hide();
    layout->addWidget(row->nameLabel);
    layout->addWidget(row->nameEdit);
    layout->addStretch(1);
    const QColor secondary = palette().color(QPalette::PlaceholderText);
    row->speakerIcon = new QLabel(row->frame);
    row->speakerIcon->setPixmap(symbolPixmap(Symbol::speaker, 16, secondary, devicePixelRatioF()));
    row->micIcon = new QLabel(row->frame);
    row->micIcon->setPixmap(symbolPixmap(Symbol::mic, 16, secondary, devicePixelRatioF()));
    layout->addWidget(row->speakerIcon);
    layout->addSpacing(4);
    layout->addWidget(row->micIcon);
    layout->addSpacing(8);
    row->pencil = new QToolButton(row->frame);
    row->pencil->setIcon(symbolIcon(Symbol::pencil, Qt::gray));
    row->pencil->setAutoRaise(true);
    row->pencil->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(row->pencil);

    Row* r = row.get();
    r->frame->onClick = [this, id] {
        const ObjectGroup* group = GroupRules::find(view_.appState->groups, id);
        if (!group)
            return;
        if (auto selection = state_.clickRow(*group))
            view_.selectedObjects = std::move(*selection);
        render();
    };
    connect(r->pencil, &QToolButton::clicked, this, [this, r, id] {
        state_.pencil(id);
        render();
        r->nameEdit->setFocus(Qt::OtherFocusReason);
    });
    // Stored with every keystroke; no rule applies to a name, an empty one included.
    connect(r->nameEdit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
        auto groups = view_.appState->groups.get();
        auto it =
            std::find_if(groups.begin(), groups.end(), [&](const ObjectGroup& g) { return g.id == id; });
        if (it == groups.end())
            return;
        it->name = text.toStdString();
        view_.appState->groups = std::move(groups);
    });
    connect(r->nameEdit, &QLineEdit::returnPressed, this, [this, id] {
        state_.returnPressed(id);
        render();
    });
    return addKeyedRow(rows_, id, std::move(row), listLayout_);
}

void GroupsWindow::syncRows(const std::vector<ObjectGroup>& groups) {
    std::vector<platform::UUID> order;
    for (const ObjectGroup& g : groups) {
        if (std::find(order.begin(), order.end(), g.id) != order.end())
            continue;
        order.push_back(g.id);
        auto it = rows_.find(g.id);
        Row& row = it == rows_.end() ? makeRow(g.id) : *it->second;
        row.nameLabel->setText(QString::fromStdString(g.name));
        if (!row.nameEdit->hasFocus())
            row.nameEdit->setText(QString::fromStdString(g.name));
        const auto members = GroupRules::members(g);
        row.speakerIcon->setVisible(members == GroupRules::Members::speakers ||
                                    members == GroupRules::Members::both);
        row.micIcon->setVisible(members == GroupRules::Members::soundObjects ||
                                members == GroupRules::Members::both);
    }
    settleKeyedRows(rows_, order, listLayout_);
    order_ = std::move(order);
}

void GroupsWindow::render() {
    for (auto& [id, row] : rows_) {
        const bool editing = state_.editing == id;
        row->shownEditing = editing;
        row->nameLabel->setVisible(!editing);
        row->nameEdit->setVisible(editing);
        row->frame->setHighlighted(state_.highlighted == id);
    }
    deleteButton_->setEnabled(state_.deleteEnabled());
}

void GroupsWindow::onFocusChanged(QWidget* now) {
    std::optional<platform::UUID> focus;
    for (const auto& [id, row] : rows_)
        if (now && now == row->nameEdit)
            focus = id;
    if (focus == state_.focused && (!state_.editing || focus == state_.editing))
        return;
    state_.focusChanged(focus);
    render();
}

bool GroupsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == listContent_ && event->type() == QEvent::MouseButtonPress) {
        state_.clickBackground(view_.appState->groups);
        render();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QWidget* GroupsWindow::rowWidget(int index) const {
    return index >= 0 && index < rowCount() ? rows_.at(order_[index])->frame : nullptr;
}

QString GroupsWindow::rowName(int index) const {
    return index >= 0 && index < rowCount() ? rows_.at(order_[index])->nameLabel->text() : QString();
}

QToolButton* GroupsWindow::pencilButton(int index) const {
    return index >= 0 && index < rowCount() ? rows_.at(order_[index])->pencil : nullptr;
}

QLineEdit* GroupsWindow::nameField(int index) const {
    return index >= 0 && index < rowCount() ? rows_.at(order_[index])->nameEdit : nullptr;
}
