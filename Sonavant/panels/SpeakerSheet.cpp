#include "Sonavant/panels/SpeakerSheet.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/panels/SheetParts.h"
#include "Sonavant/panels/StepperButtons.h"
#include "Sonavant/ui/NumberFieldText.h"
#include "platform/qt/ReleaseSignals.h"
#include "platform/qt/StyledButton.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

using namespace sheetparts;

SpeakerSheet* SpeakerSheet::open(QWidget* parent, ContentView& view, std::int64_t speakerID) {
    if (!SpeakerSheetModel(view, speakerID).isAvailable()) {
        view.activeSpeaker = std::nullopt; // nothing is shown, so nothing is open
        return nullptr;
    }
    auto* sheet = new SpeakerSheet(parent, view, speakerID);
    sheet->show();
    return sheet;
}

SpeakerSheet::SpeakerSheet(QWidget* parent, ContentView& view, std::int64_t speakerID)
    : QDialog(parent), view_(view), model_(view, speakerID) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle("Speaker Properties");
    view_.activeSpeaker = model_.record();
    build();
    model_.appear();
    refresh();
    observeShow();
}

SpeakerSheet::~SpeakerSheet() {
    platform::releaseSignals(this);
    subscriptions_.clear();
}

void SpeakerSheet::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    setMinimumSize(300, 280);

    auto* group = titledBox("Speaker Properties", Symbol::speaker, this, layout);
    auto* rows = new QVBoxLayout(group);
    rows->setSpacing(16);

    nameField_ = nameRow(group, rows);
    connect(nameField_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.setDisplayName(text.toStdString()); });

    // Both forms of the type row exist; the desk decides which one shows.
    noTypesLabel_ = new QLabel("No output types available", group);
    rows->addWidget(noTypesLabel_);
    typeRow_ = new QWidget(group);
    auto* typeRow = new QHBoxLayout(typeRow_);
    typeRow->setContentsMargins(0, 0, 0, 0);
    typeRow->setSpacing(rows->spacing()); // as the rows laid straight into the box
    typeRow->addWidget(rowLabel("Type:", typeRow_));
    typePicker_ = new QComboBox(typeRow_);
    typeRow->addWidget(typePicker_, 1);
    rows->addWidget(typeRow_);
    connect(typePicker_, &QComboBox::activated, this,
            [this](int index) { model_.setType(typePicker_->itemText(index).toStdString()); });

    channelField_ = steppedNumberRow("Channel Number:", "channelField", group, rows, channelStepper_);
    connect(channelField_, &QLineEdit::editingFinished, this, &SpeakerSheet::commitChannelText);
    connect(channelStepper_, &StepperButtons::stepped, this,
            [this](int direction) { model_.stepChannel(direction, channelStepper_->isHeld()); });

    widthField_ = steppedNumberRow("Coverage Width:", "widthField", group, rows, widthStepper_);
    connect(widthField_, &QLineEdit::editingFinished, this, &SpeakerSheet::commitWidthText);
    connect(widthStepper_, &StepperButtons::stepped, this, [this](int direction) {
        if (auto record = model_.record())
            model_.setWidth(SpeakerSheetModel::widthStepFrom(record->width, direction));
    });

    auto* focusColumn = new QVBoxLayout;
    focusColumn->addWidget(new QLabel("Focus Angle:", group));
    auto* focusRow = new QHBoxLayout;
    focusSlider_ = new QSlider(Qt::Horizontal, group);
    focusSlider_->setRange(int(SpeakerSheetModel::focusMin), int(SpeakerSheetModel::focusMax));
    focusSlider_->setSingleStep(1);
    focusSlider_->setFixedWidth(200);
    focusLabel_ = new QLabel(group);
    focusLabel_->setObjectName("focusLabel");
    focusLabel_->setFixedWidth(50);
    focusLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    focusRow->addWidget(focusSlider_);
    focusRow->addWidget(focusLabel_);
    focusRow->addStretch();
    focusColumn->addLayout(focusRow);
    rows->addLayout(focusColumn);
    connect(focusSlider_, &QSlider::valueChanged, this, [this](int value) { model_.setFocus(value); });

    layout->addWidget(group);
    validationLabel_ = validationCaption(this);
    layout->addWidget(validationLabel_);
    layout->addWidget(divider(this));

    deleteButton_ = platform::StyledButton::secondary("Delete", this);
    closeButton_ = platform::StyledButton::primary("Close", this);
    buttonRow(deleteButton_, closeButton_, layout);
    connect(deleteButton_, &QPushButton::clicked, this, [this] {
        model_.deleteSpeaker();
        closeSheet();
    });
    connect(closeButton_, &QPushButton::clicked, this, [this] {
        if (model_.canClose())
            closeSheet();
    });
}

void SpeakerSheet::observeShow() {
    auto changed = [this](const auto&) { scheduleRefresh(); };
    view_.appState->speakers.observe(changed).store(subscriptions_);
    view_.appState->showSpeakerCoverage.observe(changed).store(subscriptions_);
    view_.appState->showSpeakerFocus.observe(changed).store(subscriptions_);
    view_.selectedDesk.observe(changed).store(subscriptions_);
}

// Changes are announced before they take effect, so the sheet reads the show on the next
// turn of the event loop, once for any number of changes.
void SpeakerSheet::scheduleRefresh() {
    if (refreshPending_ || closing_)
        return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { refresh(); }, Qt::QueuedConnection);
}

void SpeakerSheet::refresh() {
    refreshPending_ = false;
    if (closing_)
        return;
    const auto record = model_.record();
    if (!record || !view_.selectedDesk->has_value()) {
        closeSheet();
        return;
    }
    model_.validate(); // another loudspeaker may have taken or freed the channel

    showFieldText(nameField_, QString::fromStdString(record->displayName));
    const auto types = model_.availableTypes();
    showTypes(typePicker_, types, record->type);
    typeRow_->setVisible(!types.empty());
    noTypesLabel_->setVisible(types.empty());
    showFieldText(channelField_, QString::number(record->channelNumber));
    showFieldText(widthField_, QString::fromStdString(decimalNumberFieldText(record->width)));
    {
        QSignalBlocker block(focusSlider_);
        focusSlider_->setValue(std::isfinite(record->focus) ? int(std::lround(record->focus)) : 0);
    }
    focusLabel_->setText(QString::fromStdString(SpeakerSheetModel::focusLabel(record->focus)));

    const bool coverage = model_.coverageEditable();
    widthField_->setEnabled(coverage);
    widthStepper_->setEnabled(coverage);
    focusSlider_->setEnabled(model_.focusEditable());

    const auto& error = model_.validationError();
    showValidation(validationLabel_, error.value_or(std::string()));
    closeButton_->setEnabled(model_.canClose());
    growToFit(this);
}

void SpeakerSheet::commitChannelText() {
    const bool accepted = model_.setChannelText(channelField_->text().toStdString());
    channelField_->setModified(false);
    if (!accepted)
        scheduleRefresh(); // puts the record's channel back into the field
}

void SpeakerSheet::commitWidthText() {
    const bool accepted = model_.setWidthText(widthField_->text().toStdString());
    widthField_->setModified(false);
    if (!accepted)
        scheduleRefresh();
}

void SpeakerSheet::reject() {
    if (model_.record() && !model_.canClose())
        return;
    closeSheet();
}

void SpeakerSheet::closeSheet() {
    if (closing_)
        return;
    closing_ = true;
    subscriptions_.clear();
    view_.activeSpeaker = std::nullopt;
    done(QDialog::Accepted);
}
