#include "Sonavant/panels/InputSheet.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/panels/SheetParts.h"
#include "Sonavant/panels/StepperButtons.h"
#include "platform/qt/ReleaseSignals.h"
#include "platform/qt/StyledButton.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace sheetparts;

InputSheet* InputSheet::open(QWidget* parent, ContentView& view, const platform::UUID& sourceID) {
    if (!InputSheetModel(view, sourceID).isAvailable()) {
        view.activeSoundObject = nullptr; // nothing is shown, so nothing is open
        return nullptr;
    }
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

InputSheet::~InputSheet() {
    platform::releaseSignals(this);
    sourceSubscriptions_.clear();
    subscriptions_.clear();
}

void InputSheet::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    setMinimumWidth(320);

    auto* group = titledBox("Input Properties", Symbol::microphone, this, layout);
    auto* rows = new QVBoxLayout(group);
    rows->setSpacing(16);

    nameField_ = nameRow(group, rows);
    connect(nameField_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.setName(text.toStdString()); });

    auto* typeRow = new QHBoxLayout;
    typeRow->addWidget(rowLabel("Type:", group));
    typePicker_ = new QComboBox(group);
    typeRow->addWidget(typePicker_, 1);
    rows->addLayout(typeRow);
    connect(typePicker_, &QComboBox::activated, this,
            [this](int index) { model_.setType(typePicker_->itemText(index).toStdString()); });

    numberField_ = steppedNumberRow("Input Number:", "numberField", group, rows, numberStepper_);
    connect(numberField_, &QLineEdit::editingFinished, this, &InputSheet::commitNumberText);
    connect(numberStepper_, &StepperButtons::stepped, this,
            [this](int direction) { model_.stepNumber(direction, numberStepper_->isHeld()); });

    validationLabel_ = validationCaption(group);
    validationLabel_->setContentsMargins(120, 0, 0, 0); // under the controls
    rows->addWidget(validationLabel_);

    layout->addWidget(group);
    layout->addWidget(divider(this));

    closeButton_ = platform::StyledButton::secondary("Close", this);
    saveButton_ = platform::StyledButton::primary("Save", this);
    buttonRow(closeButton_, saveButton_, layout);
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

// Changes are announced before they take effect, so the sheet reads the show on the next
// turn of the event loop, once for any number of changes.
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
    showTypes(typePicker_, model_.availableTypes(), source->type);
    showFieldText(numberField_, QString::number(source->number.get()));

    const auto& message = model_.numberValidationMessage();
    showValidation(validationLabel_, message);
    saveButton_->setEnabled(model_.canSave());
    growToFit(this);
}

void InputSheet::commitNumberText() {
    const bool accepted = model_.setNumberText(numberField_->text().toStdString());
    numberField_->setModified(false);
    if (!accepted)
        scheduleRefresh(); // puts the source's number back into the field
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
