#include "Sonavant/windows/SettingsGeneralView.h"

#include "Sonavant/model/AppState.h"
#include "Sonavant/ui/GeneralSettingsRules.h"
#include "Sonavant/windows/RefreshLater.h"
#include "Sonavant/windows/SettingsPageLayout.h"
#include "Sonavant/windows/SettingsStepper.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using Rules = GeneralSettingsRules;

SettingsGeneralView::SettingsGeneralView(std::shared_ptr<AppState> appState, Binding<bool> showZeroPoint,
                                         std::function<void()> onPanLawChanged, QWidget* parent)
    : QWidget(parent), appState_(std::move(appState)), showZeroPoint_(std::move(showZeroPoint)),
      onPanLawChanged_(std::move(onPanLawChanged)) {
    SettingsPageLayout page(this, "General");

    auto* display = page.group("Display Options", Symbol::eye, 12);
    rangeCircle_ = new QCheckBox("Show Range Circle");
    grid_ = new QCheckBox("Show 1 Meter Canvas Grid");
    display->addWidget(rangeCircle_);
    display->addWidget(grid_);

    auto* zero = page.group("Zero Point", Symbol::scope, 12);
    zeroPoint_ = new QComboBox;
    for (auto position : allZeroPointPositions)
        zeroPoint_->addItem(QString::fromUtf8(rawValue(position).data(), int(rawValue(position).size())));
    zero->addLayout(SettingsPageLayout::labelled("Zero Point Position", zeroPoint_));

    auto* orientation = page.group("Orientation", Symbol::branch, 12);
    auto* segments = new QHBoxLayout;
    segments->setSpacing(0);
    const QString segmentStyle = "QToolButton { padding: 3px 12px; border: 1px solid #505052; "
                                 "background: #3a3a3c; color: #e6e6e6; }"
                                 "QToolButton:checked { background: #0a84ff; color: white; }";
    orientation_ = new QButtonGroup(this);
    orientation_->setExclusive(true);
    for (std::size_t i = 0; i < allCanvasOrientations.size(); ++i) {
        auto* segment = new QToolButton;
        segment->setText(QString::fromStdString(Rules::orientationLabel(allCanvasOrientations[i])));
        segment->setCheckable(true);
        segment->setMinimumWidth(56);
        segment->setToolButtonStyle(Qt::ToolButtonTextOnly);
        segment->setStyleSheet(segmentStyle);
        segment->setObjectName(QString("orientation-%1").arg(int(i)));
        orientation_->addButton(segment, int(i));
        segments->addWidget(segment);
    }
    segments->addStretch();
    auto* orientationRow = new QVBoxLayout;
    orientationRow->setSpacing(4);
    orientationRow->addWidget(new QLabel("Canvas Orientation"));
    orientationRow->addLayout(segments);
    orientation->addLayout(orientationRow);

    auto* speakers = page.group("Speaker Display", Symbol::speaker, 12);
    speakerFocus_ = new QCheckBox("Show Speaker Focus");
    speakerCoverage_ = new QCheckBox("Show Speaker Coverage");
    speakers->addWidget(speakerFocus_);
    speakers->addWidget(speakerCoverage_);
    auto* widthRow = new QHBoxLayout;
    coverageLabel_ = new QLabel("Default Speaker Coverage Width:");
    widthRow->addWidget(coverageLabel_);
    auto* stepperBox = new QWidget;
    stepperBox->setFixedWidth(180);
    auto* stepperRow = new QHBoxLayout(stepperBox);
    stepperRow->setContentsMargins(0, 0, 0, 0);
    coverageValue_ = new QLabel;
    coverageStepper_ = new SettingsStepper;
    coverageStepper_->setObjectName("coverageWidthStepper");
    stepperRow->addWidget(coverageValue_, 1, Qt::AlignRight);
    stepperRow->addWidget(coverageStepper_);
    widthRow->addWidget(stepperBox);
    widthRow->addStretch();
    speakers->addLayout(widthRow);

    auto* panLaw = page.group("Panning Law", Symbol::sliders, 12);
    panningMode_ = new QComboBox;
    for (auto mode : allPanningModes)
        panningMode_->addItem(QString::fromUtf8(rawValue(mode).data(), int(rawValue(mode).size())));
    panningMode_->setToolTip("Choose how gain is distributed when panning between speakers.");
    panLaw->addLayout(SettingsPageLayout::labelled("Panning Mode", panningMode_));
    audienceSwitch_ = new QCheckBox("Audience Area affects pan law");
    audienceSwitch_->setToolTip(
        "Adapt the way we send signals to speakers based on the focus of the speaker and "
        "the audience area's location.");
    panLaw->addWidget(audienceSwitch_);
    areaHint_ = new QLabel("Define an audience area");
    QFont caption = areaHint_->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    areaHint_->setFont(caption);
    areaHint_->setStyleSheet("color: #f5c400;");
    panLaw->addWidget(areaHint_);
    page.finish();

    rangeCircle_->setObjectName("showRangeCircle");
    grid_->setObjectName("showGrid");
    zeroPoint_->setObjectName("zeroPointPosition");
    speakerFocus_->setObjectName("showSpeakerFocus");
    speakerCoverage_->setObjectName("showSpeakerCoverage");
    panningMode_->setObjectName("panningMode");
    audienceSwitch_->setObjectName("audienceAwarePanLaw");
    areaHint_->setObjectName("defineAreaHint");

    // Operator edits, written through at once.
    connect(rangeCircle_, &QCheckBox::clicked, this, [this](bool on) { showZeroPoint_.set(on); });
    connect(grid_, &QCheckBox::clicked, this, [this](bool on) { appState_->showGrid = on; });
    connect(zeroPoint_, &QComboBox::activated, this, [this](int index) {
        appState_->zeroPointPosition = allZeroPointPositions.at(std::size_t(index));
    });
    connect(orientation_, &QButtonGroup::idClicked, this,
            [this](int id) { appState_->canvasOrientation = allCanvasOrientations.at(std::size_t(id)); });
    connect(speakerFocus_, &QCheckBox::clicked, this, [this](bool on) { appState_->showSpeakerFocus = on; });
    connect(speakerCoverage_, &QCheckBox::clicked, this,
            [this](bool on) { appState_->showSpeakerCoverage = on; });
    coverageStepper_->canStep = [this](int steps) {
        return Rules::canStepCoverageWidth(appState_->defaultSpeakerWidth, steps);
    };
    connect(coverageStepper_, &SettingsStepper::stepped, this, [this](int steps) {
        appState_->defaultSpeakerWidth = Rules::steppedCoverageWidth(appState_->defaultSpeakerWidth, steps);
        refresh();
    });
    connect(panningMode_, &QComboBox::activated, this, [this](int index) {
        Rules::setPanningMode(*appState_, allPanningModes.at(std::size_t(index)), onPanLawChanged_);
    });
    connect(audienceSwitch_, &QCheckBox::clicked, this, [this](bool on) {
        Rules::setAudienceAwarePanLaw(*appState_, on, onPanLawChanged_);
        refresh();
    });

    // Edits made elsewhere show at once. Announcements come before the new value is in:
    // the page reads the show on the next turn.
    auto later = [this](auto&&...) { scheduleRefresh(); };
    subscriptions_.insert(showZeroPoint_.observe(later));
    subscriptions_.insert(appState_->showGrid.observe(later));
    subscriptions_.insert(appState_->zeroPointPosition.observe(later));
    subscriptions_.insert(appState_->canvasOrientation.observe(later));
    subscriptions_.insert(appState_->showSpeakerFocus.observe(later));
    subscriptions_.insert(appState_->showSpeakerCoverage.observe(later));
    subscriptions_.insert(appState_->defaultSpeakerWidth.observe(later));
    subscriptions_.insert(appState_->panningMode.observe(later));
    subscriptions_.insert(appState_->audienceAwarePanLaw.observe(later));
    subscriptions_.insert(appState_->isSoundScapeMode.observe(later));
    subscriptions_.insert(appState_->audienceAreas.observe([this](const std::vector<AudienceArea>&) {
        // Judged once the new list is in, so a whole show copied in is seen as it ends up.
        QTimer::singleShot(0, this, [this] {
            Rules::audienceAreasChanged(*appState_, appState_->audienceAreas, onPanLawChanged_);
            refresh();
        });
    }));
    refresh();
}

void SettingsGeneralView::scheduleRefresh() {
    refreshLater(this, refreshPending_, [this] { refresh(); });
}

void SettingsGeneralView::refresh() {
    const AppState& show = *appState_;
    const auto enables = Rules::enables(show.isSoundScapeMode, !show.audienceAreas.get().empty());

    const QSignalBlocker b1(rangeCircle_), b2(grid_), b3(zeroPoint_), b4(orientation_), b5(speakerFocus_),
        b6(speakerCoverage_), b7(panningMode_), b8(audienceSwitch_);
    rangeCircle_->setChecked(showZeroPoint_.get());
    rangeCircle_->setEnabled(enables.showRangeCircle);
    grid_->setChecked(show.showGrid);
    for (std::size_t i = 0; i < allZeroPointPositions.size(); ++i)
        if (allZeroPointPositions[i] == show.zeroPointPosition.get())
            zeroPoint_->setCurrentIndex(int(i));
    for (std::size_t i = 0; i < allCanvasOrientations.size(); ++i)
        if (allCanvasOrientations[i] == show.canvasOrientation.get())
            orientation_->button(int(i))->setChecked(true);
    speakerFocus_->setChecked(show.showSpeakerFocus);
    speakerFocus_->setEnabled(enables.showSpeakerFocus);
    speakerCoverage_->setChecked(show.showSpeakerCoverage);
    speakerCoverage_->setEnabled(enables.showSpeakerCoverage);
    coverageValue_->setText(QString::fromStdString(Rules::coverageWidthLabel(show.defaultSpeakerWidth)));
    coverageLabel_->setEnabled(enables.coverageWidth);
    coverageValue_->setEnabled(enables.coverageWidth);
    coverageStepper_->setEnabled(enables.coverageWidth);
    coverageStepper_->refresh();
    for (std::size_t i = 0; i < allPanningModes.size(); ++i)
        if (allPanningModes[i] == show.panningMode.get())
            panningMode_->setCurrentIndex(int(i));
    audienceSwitch_->setChecked(show.audienceAwarePanLaw);
    audienceSwitch_->setEnabled(enables.audienceAwarePanLaw);
    areaHint_->setVisible(enables.defineAreaHintShown);
}
