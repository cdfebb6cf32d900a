#include "Sonavant/windows/SnapshotsWindow.h"

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/SnapshotRules.h"
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

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(30);
    line->setStyleSheet("color: rgba(255,255,255,60);");
    return line;
}

} // namespace

struct SnapshotsWindow::Row {
    platform::UUID id;
    ListRowFrame* frame = nullptr;
    QLabel* numberLabel = nullptr;
    QLabel* nameLabel = nullptr;
    QLabel* timeLabel = nullptr;
    QLineEdit* numberEdit = nullptr;
    QLineEdit* nameEdit = nullptr;
    QLineEdit* timeEdit = nullptr;
    QToolButton* pencil = nullptr;
    bool shownEditing = false;

    bool owns(const QWidget* widget) const {
        return widget && (widget == numberEdit || widget == nameEdit || widget == timeEdit);
    }
};

SnapshotsWindow::SnapshotsWindow(ContentView& view, QWidget* parent)
    : QWidget(parent, listwindow::windowFlags()), view_(view) {
    setWindowTitle("Snapshots");
    setFixedSize(windowWidth, windowHeight);
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(16, 16, 16, 16);
    root->setSpacing(16);

    addHeader(root, Symbol::camera, this);

    const auto list = addRowList(root, this);
    scroll_ = list.scroll;
    listContent_ = list.content;
    listLayout_ = list.layout;

    auto* buttons = new QHBoxLayout;
    newButton_ = actionButton("New", Symbol::plus, this);
    updateButton_ = actionButton("Update", Symbol::circleArrows, this);
    deleteButton_ = actionButton("Delete", Symbol::trash, this);
    recallButton_ = actionButton("Recall", Symbol::uturnLeft, this);
    buttons->addWidget(newButton_);
    buttons->addWidget(updateButton_);
    buttons->addStretch(1);
    buttons->addWidget(deleteButton_);
    buttons->addWidget(recallButton_);
    root->addLayout(buttons);

    connect(newButton_, &QPushButton::clicked, this, [this] { view_.addSnapshot(); });
    connect(updateButton_, &QPushButton::clicked, this, [this] {
        if (const Snapshot* s = selectedSnapshot())
            view_.updateSnapshot(Snapshot(*s));
    });
    connect(deleteButton_, &QPushButton::clicked, this, [this] {
        if (const Snapshot* s = selectedSnapshot()) {
            view_.deleteSnapshot(Snapshot(*s));
            mode_.deleted();
            view_.selectedSnapshotID = std::nullopt;
        }
    });
    connect(recallButton_, &QPushButton::clicked, this, [this] {
        if (const Snapshot* s = selectedSnapshot())
            view_.recallSnapshot(Snapshot(*s));
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { onFocusChanged(now); });

    mode_.selected = view_.selectedSnapshotID.get();
    // Both announce before the new value is visible: work from the value handed over.
    subscriptions_.insert(view_.appState->snapshots.observe([this](const std::vector<Snapshot>& list) {
        syncRows(list);
        render();
    }));
    subscriptions_.insert(view_.selectedSnapshotID.observe([this](const std::optional<platform::UUID>& id) {
        mode_.selected = id;
        render();
    }));
    syncRows(view_.appState->snapshots);
    render();
}

SnapshotsWindow::~SnapshotsWindow() {
    platform::releaseSignals(this);
    subscriptions_.clear();
}

SnapshotsWindow::Row& SnapshotsWindow::makeRow(const platform::UUID& id) {
    auto row = std::make_unique<Row>();
    row->id = id;
    row->frame = new ListRowFrame(listContent_, palette().color(QPalette::Highlight), 6);
    row->frame->setFixedHeight(38);
    auto* layout = new QHBoxLayout(row->frame);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(8);

    auto column = [&](int width, Qt::Alignment alignment, QLabel*& label, QLineEdit*& edit,
                      const char* placeholder) {
        auto* cell = new QWidget(row->frame);
        cell->setFixedWidth(width);
        auto* stack = new QHBoxLayout(cell);
        stack->setContentsMargins(0, 0, 0, 0);
        label = new QLabel(cell);
        label->setAlignment(alignment | Qt::AlignVCenter);
        edit = new QLineEdit(cell);
        edit->setPlaceholderText(placeholder);
        edit->setAlignment(alignment | Qt::AlignVCenter);
        edit->hide();
        stack->addWidget(label);
        stack->addWidget(edit);
        layout->addWidget(cell);
    };
    column(40, Qt::AlignLeft, row->numberLabel, row->numberEdit, "No");
    layout->addWidget(divider(row->frame));
    column(100, Qt::AlignLeft, row->nameLabel, row->nameEdit, "Name");
    layout->addWidget(divider(row->frame));
    column(60, Qt::AlignRight, row->timeLabel, row->timeEdit, "Time");
    layout->addStretch(1);
    row->pencil = new QToolButton(row->frame);
    row->pencil->setIcon(symbolIcon(Symbol::pencil, palette().color(QPalette::Highlight)));
    row->pencil->setAutoRaise(true);
    row->pencil->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(row->pencil);

    Row* r = row.get();
    r->frame->onClick = [this, id] {
        mode_.tapRow(id);
        if (mode_.selected != view_.selectedSnapshotID.get())
            view_.selectedSnapshotID = mode_.selected;
        render();
    };
    connect(r->pencil, &QToolButton::clicked, this, [this, r, id] {
        if (mode_.isEditing(id))
            writeFields(*r);
        mode_.pencil(id);
        if (mode_.selected != view_.selectedSnapshotID.get())
            view_.selectedSnapshotID = mode_.selected;
        render();
        if (mode_.isEditing(id))
            r->nameEdit->setFocus(Qt::OtherFocusReason);
    });
    // The name is stored with every keystroke; number and time when the field is left.
    connect(r->nameEdit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
        writeSnapshot(id, [&](Snapshot& s) { s.name = text.toStdString(); });
    });
    for (QLineEdit* edit : {r->numberEdit, r->nameEdit, r->timeEdit}) {
        connect(edit, &QLineEdit::editingFinished, this, [this, r] { writeFields(*r); });
        connect(edit, &QLineEdit::returnPressed, this, [this, r, id] {
            writeFields(*r);
            mode_.returnPressed(id);
            render();
        });
    }
    return addKeyedRow(rows_, id, std::move(row), listLayout_);
}

void SnapshotsWindow::syncRows(const std::vector<Snapshot>& snapshots) {
    std::vector<platform::UUID> order;
    for (const Snapshot& s : snapshots) {
        if (std::find(order.begin(), order.end(), s.id) != order.end())
            continue;
        order.push_back(s.id);
        auto it = rows_.find(s.id);
        Row& row = it == rows_.end() ? makeRow(s.id) : *it->second;
        row.numberLabel->setText(QString::fromStdString(SnapshotRules::numberText(s.number)));
        row.nameLabel->setText(QString::fromStdString(s.name));
        row.timeLabel->setText(QString::fromStdString(SnapshotRules::recallTimeText(s.recallTime)));
        // A field being typed in keeps what is typed.
        if (!row.nameEdit->hasFocus())
            row.nameEdit->setText(QString::fromStdString(s.name));
        showNumberAndTime(row, s, false);
    }
    settleKeyedRows(rows_, order, listLayout_);
    order_ = std::move(order);
}

void SnapshotsWindow::render() {
    for (auto& [id, row] : rows_) {
        const bool editing = mode_.isEditing(id);
        if (row->shownEditing && !editing) {
            row->shownEditing = false;
            writeFields(*row);
        } else if (!row->shownEditing && editing) {
            showStoredFields(*row); // what an earlier edit left typed goes
        }
        row->shownEditing = editing;
        row->numberLabel->setVisible(!editing);
        row->nameLabel->setVisible(!editing);
        row->timeLabel->setVisible(!editing);
        row->numberEdit->setVisible(editing);
        row->nameEdit->setVisible(editing);
        row->timeEdit->setVisible(editing);
        row->frame->setHighlighted(mode_.selected == id);
    }
    const bool enabled = SnapshotRules::selectionActionsEnabled(mode_.selected);
    updateButton_->setEnabled(enabled);
    deleteButton_->setEnabled(enabled);
    recallButton_->setEnabled(enabled);
}

void SnapshotsWindow::writeSnapshot(const platform::UUID& id, const std::function<void(Snapshot&)>& change) {
    const auto& list = view_.appState->snapshots.get();
    auto it = std::find_if(list.begin(), list.end(), [&](const Snapshot& s) { return s.id == id; });
    if (it == list.end())
        return;
    Snapshot edited = *it;
    change(edited);
    if (edited.number == it->number && edited.name == it->name && edited.recallTime == it->recallTime)
        return;
    const auto index = it - list.begin();
    view_.appState->snapshots.update([&](std::vector<Snapshot>& snapshots) { snapshots[index] = edited; });
}

void SnapshotsWindow::writeFields(Row& row) {
    // Text the fields cannot read leaves the stored value as it is.
    const auto number = SnapshotRules::readNumber(row.numberEdit->text().toStdString());
    const auto time = SnapshotRules::readRecallTime(row.timeEdit->text().toStdString());
    const std::string name = row.nameEdit->text().toStdString();
    writeSnapshot(row.id, [&](Snapshot& s) {
        if (number)
            s.number = *number;
        if (time)
            s.recallTime = *time;
        s.name = name;
    });
    // The fields read back as stored ("2" becomes "2.0"), also when nothing changed.
    showStoredFields(row);
}

void SnapshotsWindow::showStoredFields(Row& row) {
    if (const Snapshot* stored = SnapshotRules::find(view_.appState->snapshots, row.id))
        showNumberAndTime(row, *stored, true);
}

void SnapshotsWindow::showNumberAndTime(Row& row, const Snapshot& s, bool typedToo) {
    if (typedToo || !row.numberEdit->hasFocus())
        row.numberEdit->setText(QString::fromStdString(SnapshotRules::numberText(s.number)));
    if (typedToo || !row.timeEdit->hasFocus())
        row.timeEdit->setText(QString::fromStdString(SnapshotRules::recallTimeFieldText(s.recallTime)));
}

void SnapshotsWindow::onFocusChanged(QWidget* now) {
    std::optional<platform::UUID> focus;
    for (const auto& [id, row] : rows_)
        if (row->owns(now))
            focus = id;
    if (focus == mode_.focused && (!mode_.editing || focus == mode_.editing))
        return;
    if (mode_.editing && focus != mode_.editing)
        if (auto it = rows_.find(*mode_.editing); it != rows_.end())
            writeFields(*it->second);
    mode_.focusChanged(focus);
    render();
}

bool SnapshotsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == listContent_ && event->type() == QEvent::MouseButtonPress) {
        const bool exists = mode_.editing && SnapshotRules::find(view_.appState->snapshots, mode_.editing);
        if (mode_.editing && exists)
            if (auto it = rows_.find(*mode_.editing); it != rows_.end())
                writeFields(*it->second);
        mode_.tapEmptyArea(exists);
        render();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

const Snapshot* SnapshotsWindow::selectedSnapshot() const {
    return SnapshotRules::find(view_.appState->snapshots, mode_.selected);
}

QWidget* SnapshotsWindow::rowWidget(int index) const {
    return index >= 0 && index < rowCount() ? rows_.at(order_[index])->frame : nullptr;
}

QString SnapshotsWindow::rowText(int index) const {
    if (index < 0 || index >= rowCount())
        return {};
    const Row& row = *rows_.at(order_[index]);
    return row.numberLabel->text() + " | " + row.nameLabel->text() + " | " + row.timeLabel->text();
}

QToolButton* SnapshotsWindow::pencilButton(int index) const {
    return index >= 0 && index < rowCount() ? rows_.at(order_[index])->pencil : nullptr;
}

QLineEdit* SnapshotsWindow::nameField(int index) const {
    return index >= 0 && index < rowCount() ? rows_.at(order_[index])->nameEdit : nullptr;
}

QLineEdit* SnapshotsWindow::numberField(int index) const {
    return index >= 0 && index < rowCount() ? rows_.at(order_[index])->numberEdit : nullptr;
}

QLineEdit* SnapshotsWindow::timeField(int index) const {
    return index >= 0 && index < rowCount() ? rows_.at(order_[index])->timeEdit : nullptr;
}

QWidget* SnapshotsWindow::listBackground() const {
    return listContent_;
}
