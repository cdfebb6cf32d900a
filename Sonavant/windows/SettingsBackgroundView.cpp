#include "Sonavant/windows/SettingsBackgroundView.h"

#include "Sonavant/model/AppState.h"
#include "Sonavant/ui/BackgroundSettingsRules.h"
#include "Sonavant/windows/RefreshLater.h"
#include "Sonavant/windows/SettingsPageLayout.h"
#include "Sonavant/windows/SettingsStepper.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

using Rules = BackgroundSettingsRules;

namespace {

constexpr int labelWidth = 100;
constexpr int previewHeight = 120;

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// The image stretched over the row's width and 120 high, rounded, with a faint outline.
class ImagePreview : public QWidget {
public:
    void setImage(QImage image) {
        image_ = std::move(image);
        update();
    }
    bool hasImage() const { return !image_.isNull(); }
    QSize sizeHint() const override { return {120, previewHeight}; }
    QSize minimumSizeHint() const override { return {40, previewHeight}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath shape;
        const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        shape.addRoundedRect(bounds, 8, 8);
        painter.setClipPath(shape);
        painter.drawImage(bounds, image_);
        painter.setClipping(false);
        painter.setPen(QPen(QColor(128, 128, 128, 51), 1));
        painter.drawPath(shape);
    }

private:
    QImage image_;
};

// The stored path on at most two lines, cut in the middle when longer: its text stays whole.
class PathLabel : public QLabel {
public:
    PathLabel() { setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); }
    QSize sizeHint() const override { return {40, 2 * fontMetrics().lineSpacing()}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::PlaceholderText));
        const QFontMetrics metrics = fontMetrics();
        const QString full = text();
        // Two lines: as much as fits on the first, the rest (cut in its middle) on the second.
        int split = 0;
        while (split < full.size() && metrics.horizontalAdvance(full.left(split + 1)) <= width())
            ++split;
        painter.drawText(QPoint(0, metrics.ascent()), full.left(split));
        if (split < full.size())
            painter.drawText(QPoint(0, metrics.lineSpacing() + metrics.ascent()),
                             metrics.elidedText(full.mid(split), Qt::ElideMiddle, width()));
    }
};

} // namespace

SettingsBackgroundView::SettingsBackgroundView(std::shared_ptr<AppState> appState, QWidget* parent)
    : QWidget(parent), appState_(std::move(appState)) {
    SettingsPageLayout page(this, "Background");
    auto* rows = page.group("Background Image", Symbol::photo, 16);

    showImage_ = new QCheckBox("Show Background Image");
    showImage_->setObjectName("showBackgroundImage");
    showImage_->setToolTip("Toggle whether the selected background image is visible on the canvas.");
    rows->addWidget(showImage_);

    choose_ = new QPushButton("Choose Image…");
    choose_->setObjectName("chooseImage");
    choose_->setToolTip("Click to choose a background image file from your Mac.");
    auto* chooseRow = new QHBoxLayout;
    chooseRow->addWidget(choose_);
    chooseRow->addStretch();
    rows->addLayout(chooseRow);

    path_ = new PathLabel;
    path_->setObjectName("backgroundImagePath");
    path_->setToolTip("Current background image file path");
    QFont caption = path_->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    path_->setFont(caption);
    rows->addWidget(path_);
    preview_ = new ImagePreview;
    preview_->setObjectName("backgroundImagePreview");
    preview_->setFixedHeight(previewHeight);
    preview_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    rows->addWidget(preview_);

    auto fieldRow = [rows](const char* label, QLineEdit* field, QWidget* control, const QString& help) {
        auto* row = new QWidget;
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* name = new QLabel(label);
        name->setFixedWidth(labelWidth);
        layout->addWidget(name);
        layout->addWidget(field);
        layout->addWidget(control);
        layout->addStretch();
        row->setToolTip(help);
        rows->addWidget(row);
        return row;
    };
    auto numberField = [](const char* name, int width) {
        auto* field = new QLineEdit;
        field->setObjectName(name);
        field->setFixedWidth(width);
        return field;
    };
    offsetX_ = numberField("offsetX", 60);
    offsetXStepper_ = new SettingsStepper;
    offsetXStepper_->setObjectName("offsetXStepper");
    fieldRow("Offset X:", offsetX_, offsetXStepper_,
             "Horizontal offset of the background image on the canvas.");
    offsetY_ = numberField("offsetY", 60);
    offsetYStepper_ = new SettingsStepper;
    offsetYStepper_->setObjectName("offsetYStepper");
    fieldRow("Offset Y:", offsetY_, offsetYStepper_,
             "Vertical offset of the background image on the canvas.");
    scale_ = numberField("scale", 80);
    scaleStepper_ = new SettingsStepper;
    scaleStepper_->setObjectName("scaleStepper");
    fieldRow("Scale:", scale_, scaleStepper_,
             "Adjust the zoom level of the background image. Type any value or use the stepper.");
    rotation_ = numberField("rotation", 50);
    rotationSlider_ = new QSlider(Qt::Horizontal);
    rotationSlider_->setObjectName("rotationSlider");
    rotationSlider_->setRange(int(Rules::minimumRotation), int(Rules::maximumRotation));
    rotationSlider_->setSingleStep(1);
    rotationSlider_->setMinimumWidth(150);
    rotationRow_ =
        fieldRow("Rotation:", rotation_, rotationSlider_,
                 "Rotate the background image clockwise or counter-clockwise. Double-click to reset to 0°.");
    rotationRow_->setObjectName("rotationRow");
    for (QObject* part : {static_cast<QObject*>(rotationRow_), static_cast<QObject*>(rotation_),
                          static_cast<QObject*>(rotationSlider_)})
        part->installEventFilter(this);
    page.finish();

    chooseImageFile = [this]() -> std::optional<std::filesystem::path> {
        QString patterns;
        for (const auto& extension : Rules::imageExtensions())
            patterns += (patterns.isEmpty() ? "*." : " *.") + text(extension);
        const QString file = QFileDialog::getOpenFileName(this, "Choose Background Image", QString(),
                                                          "Images (" + patterns + ")");
        if (file.isEmpty())
            return std::nullopt;
        return std::filesystem::path(file.toStdString());
    };

    connect(showImage_, &QCheckBox::clicked, this, [this](bool on) { appState_->showBackgroundImage = on; });
    connect(choose_, &QPushButton::clicked, this, &SettingsBackgroundView::chooseImage);

    // Number fields: Return or leaving the field commits; the field then shows the stored value.
    auto commitNumber = [this](QLineEdit* field, auto parse, auto store, auto current) {
        connect(field, &QLineEdit::editingFinished, this, [this, field, parse, store, current] {
            if (auto value = parse(field->text().toStdString()))
                store(*value);
            refresh();
            field->setText(text(current()));
        });
    };
    commitNumber(
        offsetX_, Rules::parseOffset,
        [this](double x) { appState_->backgroundImageOffset.update([x](Point& p) { p.x = x; }); },
        [this] { return Rules::offsetText(appState_->backgroundImageOffset->x); });
    commitNumber(
        offsetY_, Rules::parseOffset,
        [this](double y) { appState_->backgroundImageOffset.update([y](Point& p) { p.y = y; }); },
        [this] { return Rules::offsetText(appState_->backgroundImageOffset->y); });
    commitNumber(
        scale_, Rules::parseScale, [this](double s) { appState_->backgroundImageScale = s; },
        [this] { return Rules::scaleText(appState_->backgroundImageScale); });
    connect(offsetXStepper_, &SettingsStepper::stepped, this, [this](int steps) {
        appState_->backgroundImageOffset.update(
            [steps](Point& p) { p.x = Rules::steppedOffset(p.x, steps); });
        refresh();
    });
    connect(offsetYStepper_, &SettingsStepper::stepped, this, [this](int steps) {
        appState_->backgroundImageOffset.update(
            [steps](Point& p) { p.y = Rules::steppedOffset(p.y, steps); });
        refresh();
    });
    scaleStepper_->canStep = [this](int steps) {
        return Rules::canStepScale(appState_->backgroundImageScale, steps);
    };
    connect(scaleStepper_, &SettingsStepper::stepped, this, [this](int steps) {
        appState_->backgroundImageScale = Rules::steppedScale(appState_->backgroundImageScale, steps);
        refresh();
    });
    connect(rotation_, &QLineEdit::returnPressed, this, &SettingsBackgroundView::commitRotation);
    connect(rotationSlider_, &QSlider::valueChanged, this, [this](int degrees) {
        appState_->backgroundImageRotation = double(degrees);
        refresh();
    });

    auto later = [this](auto&&...) { scheduleRefresh(); };
    subscriptions_.insert(appState_->showBackgroundImage.observe(later));
    subscriptions_.insert(appState_->backgroundImageURL.observe(later));
    subscriptions_.insert(appState_->backgroundImageOffset.observe(later));
    subscriptions_.insert(appState_->backgroundImageScale.observe(later));
    subscriptions_.insert(appState_->backgroundImageRotation.observe(later));
    refresh();
}

void SettingsBackgroundView::chooseImage() {
    auto chosen = chooseImageFile ? chooseImageFile() : std::nullopt;
    if (!chosen || chosen->empty())
        return;
    // Only the file changes: switch, offsets, scale and rotation stay as they are.
    appState_->backgroundImageURL = Rules::imageURL(*chosen);
}

void SettingsBackgroundView::commitRotation() {
    auto commit = Rules::commitRotation(rotation_->text().toStdString(), appState_->backgroundImageRotation);
    if (commit.rotation)
        appState_->backgroundImageRotation = *commit.rotation;
    refresh();
    rotation_->setText(text(commit.text));
}

void SettingsBackgroundView::resetRotation() {
    appState_->backgroundImageRotation = 0.0;
    refresh();
    rotation_->setText("0");
}

bool SettingsBackgroundView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        (watched == rotationRow_ || watched == rotation_ || watched == rotationSlider_)) {
        resetRotation();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsBackgroundView::showEvent(QShowEvent* event) {
    // Text left in a field without committing it is not kept: the page comes back with the
    // stored values, the rotation field included.
    shownRotation_.reset();
    shownScale_.reset();
    shownOffsetX_.reset();
    shownOffsetY_.reset();
    refresh();
    QWidget::showEvent(event);
}

void SettingsBackgroundView::scheduleRefresh() {
    refreshLater(this, refreshPending_, [this] { refresh(); });
}

void SettingsBackgroundView::refresh() {
    const AppState& show = *appState_;
    {
        const QSignalBlocker blocker(showImage_);
        showImage_->setChecked(show.showBackgroundImage);
    }

    const auto& url = show.backgroundImageURL.get();
    path_->setVisible(url.has_value());
    preview_->setVisible(false);
    if (url) {
        path_->setText(text(*url));
        if (auto file = Rules::imagePath(*url)) {
            QImageReader reader(QString::fromStdString(file->string()));
            QImage image = reader.read();
            static_cast<ImagePreview*>(preview_)->setImage(image);
            preview_->setVisible(!image.isNull());
        }
    }

    // A field shows a value stored elsewhere at once; a field being typed in keeps its text
    // until it commits.
    auto showNumber = [](QLineEdit* field, std::optional<double>& shown, double value,
                         const std::string& text) {
        if (!field->hasFocus() || !shown || *shown != value)
            field->setText(QString::fromStdString(text));
        shown = value;
    };
    const Point offset = show.backgroundImageOffset;
    showNumber(offsetX_, shownOffsetX_, offset.x, Rules::offsetText(offset.x));
    showNumber(offsetY_, shownOffsetY_, offset.y, Rules::offsetText(offset.y));
    showNumber(scale_, shownScale_, show.backgroundImageScale, Rules::scaleText(show.backgroundImageScale));
    scaleStepper_->refresh();

    const double rotation = show.backgroundImageRotation;
    if (!shownRotation_ || *shownRotation_ != rotation) {
        rotation_->setText(text(Rules::rotationText(rotation)));
        shownRotation_ = rotation;
    }
    const QSignalBlocker blocker(rotationSlider_);
    rotationSlider_->setValue(Rules::rotationSliderPosition(rotation));
}
