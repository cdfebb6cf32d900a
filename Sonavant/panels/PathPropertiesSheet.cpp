#include "Sonavant/panels/PathPropertiesSheet.h"

#include "Sonavant/engine/ContentView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QPointer<PathPropertiesSheet> openSheet;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QHBoxLayout* labelledRow(const char* label, QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    auto* text = new QLabel(QString::fromUtf8(label), parent);
    text->setFixedWidth(80);
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    row->addWidget(text);
    return row;
}

QLineEdit* field(const char* placeholder, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setPlaceholderText(QString::fromUtf8(placeholder));
    return edit;
}

const char* segmentTitle(TriggerNextOption option) {
    switch (option) {
    case TriggerNextOption::none:
        return "None";
    case TriggerNextOption::simultaneous:
        return "Simultaneous";
    case TriggerNextOption::sequential:
        return "Sequential";
    }
    return "";
}

} // namespace

PathPropertiesSheet* PathPropertiesSheet::present(ContentView& view, QWidget* parent) {
    const std::shared_ptr<PathCue> wanted = view.cueForProperties.get();
    if (openSheet)
        openSheet->reject(); // which clears the request
    std::shared_ptr<PathCue> cue;
    if (wanted)
        for (const auto& c : view.pathManager->pathCues.get())
            if (c && c->id == wanted->id) {
                cue = c;
                break;
            }
    if (!cue) {
        view.dismissPathCueSheet();
        return nullptr;
    }
    view.cueForProperties = cue;
    auto* sheet = new PathPropertiesSheet(view, cue, parent);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    openSheet = sheet;
    sheet->open(); // window-modal over its parent window
    return sheet;
}

PathPropertiesSheet* PathPropertiesSheet::current() {
    return openSheet;
}

PathPropertiesSheet::PathPropertiesSheet(ContentView& view, std::shared_ptr<PathCue> cue, QWidget* parent)
    : QDialog(parent), view_(view), editor_(*view.pathManager, std::move(cue)) {
    setWindowTitle("Path Properties");
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setFixedSize(sheetWidth, sheetHeight);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 20, 16, 20);
    column->setSpacing(20);

    // Header.
    auto* title = new QLabel("Path Properties", this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() > 0 ? titleFont.pointSizeF() * 1.4 : 17);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    auto* header = new QVBoxLayout;
    header->setSpacing(4);
    header->addWidget(title);
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    header->addWidget(divider);
    column->addLayout(header);

    // Properties.
    auto* properties = new QGroupBox(this);
    auto* rows = new QVBoxLayout(properties);
    rows->setSpacing(16);
    {
        auto* row = labelledRow("Number:", properties);
        number_ = field("Number", properties);
        row->addWidget(number_, 1);
        rows->addLayout(row);
    }
    {
        auto* row = labelledRow("Name:", properties);
        name_ = field("Name", properties);
        row->addWidget(name_, 1);
        rows->addLayout(row);
    }
    {
        auto* row = labelledRow("Time (s):", properties);
        time_ = field("Time", properties);
        row->addWidget(time_, 1);
        rows->addLayout(row);
    }
    {
        auto* row = labelledRow("Loop:", properties);
        auto* box = new QWidget(properties);
        box->setFixedWidth(50);
        auto* boxRow = new QHBoxLayout(box);
        boxRow->setContentsMargins(0, 0, 0, 0);
        boxRow->addStretch(1);
        loop_ = new QCheckBox(box);
        boxRow->addWidget(loop_);
        row->addWidget(box);
        count_ = field("Count", properties);
        count_->setFixedWidth(60);
        row->addWidget(count_);
        row->addStretch(1);
        rows->addLayout(row);
    }
    {
        auto* row = labelledRow("Movement:", properties);
        movement_ = new QComboBox(properties);
        movement_->addItems({qs(PathPropertiesEditor::absolute), qs(PathPropertiesEditor::relative)});
        movement_->setMaximumWidth(150);
        row->addWidget(movement_);
        row->addStretch(1);
        rows->addLayout(row);
    }
    {
        auto* row = labelledRow("Target(s):", properties);
        targets_ = field("NO TARGET!", properties);
        targets_->setFixedWidth(150);
        row->addWidget(targets_);
        row->addStretch(1);
        rows->addLayout(row);
    }
    error_ = new QLabel(properties);
    error_->setAlignment(Qt::AlignCenter);
    error_->setWordWrap(false); // one message a line
    QFont caption = error_->font();
    caption.setPointSizeF(caption.pointSizeF() > 0 ? caption.pointSizeF() * 0.85 : 10);
    error_->setFont(caption);
    error_->setStyleSheet("color: rgb(255, 69, 58);");
    rows->addWidget(error_);
    column->addWidget(properties);

    // Trigger next.
    auto* chaining = new QGroupBox(this);
    auto* chainingRows = new QVBoxLayout(chaining);
    chainingRows->setSpacing(16);
    auto* heading = new QLabel("Trigger Next", chaining);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    heading->setFont(headingFont);
    chainingRows->addWidget(heading);
    auto* segments = new QHBoxLayout;
    trigger_ = new QButtonGroup(this);
    for (TriggerNextOption option : allTriggerNextOptions) {
        auto* segment = new QRadioButton(segmentTitle(option), chaining);
        trigger_->addButton(segment, int(option));
        segments->addWidget(segment);
    }
    segments->addStretch(1);
    chainingRows->addLayout(segments);
    column->addWidget(chaining);
    column->addStretch(1);

    // Buttons.
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(20);
    buttons->addStretch(1);
    delete_ = new QPushButton("Delete Path", this);
    done_ = new QPushButton("Done", this);
    for (QPushButton* button : {delete_, done_}) {
        button->setFixedWidth(100);
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    column->addLayout(buttons);

    // Every field's text is the editing state as it is typed, so a commit elsewhere (which
    // shows the editing state again) keeps it; Return commits the field it was pressed in,
    // and nothing else.
    const std::pair<QLineEdit*, std::string PathPropertiesEditor::*> texts[] = {
        {number_, &PathPropertiesEditor::numberString},
        {name_, &PathPropertiesEditor::name},
        {time_, &PathPropertiesEditor::timeString},
        {count_, &PathPropertiesEditor::loopCountString},
        {targets_, &PathPropertiesEditor::targetsInput}};
    for (const auto& [edit, text] : texts)
        connect(edit, &QLineEdit::textEdited, this,
                [this, text](const QString& typed) { editor_.*text = typed.toStdString(); });
    connect(number_, &QLineEdit::returnPressed, this, [this] {
        editor_.numberString = number_->text().toStdString();
        editor_.validateNumber();
        showState();
    });
    connect(name_, &QLineEdit::returnPressed, this, [this] {
        editor_.name = name_->text().toStdString();
        editor_.commitName();
    });
    connect(time_, &QLineEdit::returnPressed, this, [this] {
        editor_.timeString = time_->text().toStdString();
        editor_.validateTime();
        showState();
    });
    connect(targets_, &QLineEdit::returnPressed, this, [this] {
        editor_.targetsInput = targets_->text().toStdString();
        editor_.validateTargets();
        showState();
    });
    connect(loop_, &QCheckBox::toggled, this, [this](bool on) {
        editor_.loop = on;
        count_->setEnabled(on);
    });
    connect(movement_, &QComboBox::currentTextChanged, this,
            [this](const QString& option) { editor_.movementChanged(option.toStdString()); });
    connect(trigger_, &QButtonGroup::idClicked, this,
            [this](int id) { editor_.triggerNextChanged(TriggerNextOption(id)); });
    connect(done_, &QPushButton::clicked, this, &PathPropertiesSheet::done);
    connect(delete_, &QPushButton::clicked, this, &PathPropertiesSheet::deletePath);
    connect(this, &QDialog::finished, this, [this] {
        if (openSheet == this)
            view_.dismissPathCueSheet();
    });

    // A cue deleted elsewhere (Clear, a remote command) takes its sheet with it.
    QPointer<PathPropertiesSheet> self(this);
    observers_.insert(view.pathManager->pathCues.observe([self](const auto&) {
        QMetaObject::invokeMethod(
            self,
            [self] {
                if (self && self->isVisible() && !self->editor_.isListed())
                    self->reject();
            },
            Qt::QueuedConnection);
    }));

    editor_.loadValues();
    showState();
}

PathPropertiesSheet::~PathPropertiesSheet() = default;

QRadioButton* PathPropertiesSheet::triggerSegment(TriggerNextOption option) const {
    return qobject_cast<QRadioButton*>(trigger_->button(int(option)));
}

void PathPropertiesSheet::showState() {
    const QSignalBlocker blockLoop(loop_), blockMovement(movement_), blockTrigger(trigger_);
    // A field that already shows its text keeps its cursor.
    auto show = [](QLineEdit* edit, const std::string& text) {
        if (edit->text() != qs(text))
            edit->setText(qs(text));
    };
    show(number_, editor_.numberString);
    show(name_, editor_.name);
    show(time_, editor_.timeString);
    loop_->setChecked(editor_.loop);
    show(count_, editor_.loopCountString);
    count_->setEnabled(editor_.loop);
    movement_->setCurrentText(qs(editor_.movementOption));
    show(targets_, editor_.targetsInput);
    if (QAbstractButton* segment = trigger_->button(int(editor_.triggerNext)))
        segment->setChecked(true);
    QStringList lines;
    for (const auto& line : editor_.errors())
        lines << qs(line);
    error_->setText(lines.join('\n'));
    error_->setVisible(!lines.isEmpty());
    // Room for the message at once, not on a later turn.
    for (QLayout* box : {error_->parentWidget()->layout(), layout()})
        if (box) {
            box->invalidate();
            box->activate();
        }
}

void PathPropertiesSheet::takeFields() {
    editor_.numberString = number_->text().toStdString();
    editor_.name = name_->text().toStdString();
    editor_.timeString = time_->text().toStdString();
    editor_.loop = loop_->isChecked();
    editor_.loopCountString = count_->text().toStdString();
    editor_.movementOption = movement_->currentText().toStdString();
    editor_.targetsInput = targets_->text().toStdString();
    if (int id = trigger_->checkedId(); id >= 0)
        editor_.triggerNext = TriggerNextOption(id);
}

void PathPropertiesSheet::done() {
    takeFields();
    const bool accepted = editor_.applyChanges();
    showState();
    if (accepted)
        accept();
}

void PathPropertiesSheet::deletePath() {
    // The sheet closes first, then the cue leaves the list.
    accept();
    editor_.deletePath();
}
