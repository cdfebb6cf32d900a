#include "Sonavant/panels/InputSheet.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/panels/StepperButtons.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QLabel* rowLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFixedWidth(120);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

void showFieldText(QLineEdit* field, const QString& text) {
    if (field->isModified() || field->text() == text)
        return;
    QSignalBlocker block(field);
    field->setText(text);
}

// A message that appears must not squeeze the rows: the sheet grows to hold it.
void growToFit(QWidget* sheet) {
    if (auto* layout = sheet->layout())
        layout->activate();
    const QSize wanted = sheet->sizeHint().expandedTo(sheet->minimumSizeHint());
    if (wanted.height() > sheet->height() || wanted.width() > sheet->width())
        sheet->resize(sheet->size().expandedTo(wanted));
}

} // namespace

InputSheet* InputSheet::open(QWidget* parent, ContentView& view, const platform::UUID& sourceID) {
    if (!InputSheetModel(view, sourceID).isAvailable())
        return nullptr;
    auto* sheet = new InputSheet(parent, view, sourceID);
    sheet->show();
    return sheet;
}

InputSheet::InputSheet(QWidget* parent, ContentView& view, const platform::UUID& sourceID)
    : QDialog(parent), view_(view), model_(view, sourceID) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle("Input Properties");
    view_.activeSoundObject = model_.source();
    build();
    model_.appear();
    refresh();
    observeShow();
}

InputSheet::~InputSheet() = default;

void InputSheet::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    setMinimumWidth(320);

    auto* group = new QGroupBox("Input Properties", this);
    auto* rows = new QVBoxLayout(group);
    rows->setSpacing(16);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(rowLabel("Display Name:", group));
    nameField_ = new QLineEdit(group);
    nameField_->setPlaceholderText("Enter name");
    nameRow->addWidget(nameField_);
    rows->addLayout(nameRow);
    connect(nameField_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.setName(text.toStdString()); });

    auto* typeRow = new QHBoxLayout;
    typeRow->addWidget(rowLabel("Type:", group));
    typePicker_ = new QComboBox(group);
    for (const auto& type : model_.availableTypes())
        typePicker_->addItem(QString::fromStdString(type));
    typeRow->addWidget(typePicker_, 1);
    rows->addLayout(typeRow);
    connect(typePicker_, &QComboBox::activated, this,
            [this](int index) { model_.setType(typePicker_->itemText(index).toStdString()); });

    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(rowLabel("Input Number:", group));
    numberField_ = new QLineEdit(group);
    numberField_->setObjectName("numberField");
    numberField_->setFixedWidth(60);
    numberField_->setAlignment(Qt::AlignCenter);
    numberStepper_ = new StepperButtons(group);
    numberRow->addWidget(numberField_);
    numberRow->addWidget(numberStepper_);
    numberRow->addStretch();
    rows->addLayout(numberRow);
    connect(numberField_, &QLineEdit::editingFinished, this, &InputSheet::commitNumberText);
    connect(numberStepper_, &StepperButtons::stepped, this, [this](int direction) {
        if (auto source = model_.source())
            model_.setNumber(model_.numberStep(source->number, direction));
    });

    validationLabel_ = new QLabel(group);
    validationLabel_->setObjectName("validationMessage");
    validationLabel_->setWordWrap(true);
    validationLabel_->setContentsMargins(120, 0, 0, 0); // under the controls
    QFont caption = validationLabel_->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    validationLabel_->setFont(caption);
    validationLabel_->setStyleSheet("color: rgb(255, 69, 58);");
    rows->addWidget(validationLabel_);

    layout->addWidget(group);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setStyleSheet("color: rgba(255, 255, 255, 60);");
    layout->addWidget(divider);

    auto* buttons = new QHBoxLayout;
    closeButton_ = new QPushButton("Close", this);
    saveButton_ = new QPushButton("Save", this);
    for (auto* button : {closeButton_, saveButton_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    buttons->addWidget(closeButton_);
    buttons->addStretch();
    buttons->addWidget(saveButton_);
    layout->addLayout(buttons);
    connect(closeButton_, &QPushButton::clicked, this, &InputSheet::closeSheet);
    connect(saveButton_, &QPushButton::clicked, this, [this] {
        if (!model_.canSave())
            return;
        model_.save();
        closeSheet();
    });
}

void InputSheet::observeShow() {
    auto changed = [this](const auto&) { scheduleRefresh(); };
    view_.appState->soundObjects.observe(changed).store(subscriptions_);
    view_.selectedDesk.observe(changed).store(subscriptions_);
    observeSource();
}

// The source's own fields, on whichever object holds its id now (undo brings back copies).
void InputSheet::observeSource() {
    auto source = model_.source();
    if (source.get() == observedSource_)
        return;
    sourceSubscriptions_.clear();
    observedSource_ = source.get();
    if (!source)
        return;
    auto changed = [this](const auto&) { scheduleRefresh(); };
    source->name.observe(changed).store(sourceSubscriptions_);
    source->type.observe(changed).store(sourceSubscriptions_);
    source->number.observe(changed).store(sourceSubscriptions_);
}

void InputSheet::scheduleRefresh() {
    if (refreshPending_ || closing_)
        return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { refresh(); }, Qt::QueuedConnection);
}

void InputSheet::refresh() {
    refreshPending_ = false;
    if (closing_)
        return;
    const auto source = model_.source();
    if (!source || !view_.selectedDesk->has_value()) {
        closeSheet();
        return;
    }
    if (!subscriptions_.empty())
        observeSource();
    model_.recheck();

    showFieldText(nameField_, QString::fromStdString(source->name));
    {
        QSignalBlocker block(typePicker_);
        typePicker_->setCurrentIndex(typePicker_->findText(QString::fromStdString(source->type)));
    }
    showFieldText(numberField_, QString::number(source->number.get()));

    const auto& message = model_.numberValidationMessage();
    validationLabel_->setText(QString::fromStdString(message));
    validationLabel_->setVisible(!message.empty());
    growToFit(this);
    saveButton_->setEnabled(model_.canSave());
}

void InputSheet::commitNumberText() {
    const bool accepted = model_.setNumberText(numberField_->text().toStdString());
    numberField_->setModified(false);
    if (!accepted)
        scheduleRefresh();
}

void InputSheet::reject() {
    closeSheet();
}

void InputSheet::closeSheet() {
    if (closing_)
        return;
    closing_ = true;
    subscriptions_.clear();
    sourceSubscriptions_.clear();
    view_.activeSoundObject = nullptr;
    done(QDialog::Accepted);
}
