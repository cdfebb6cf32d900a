// Core headers first: Qt's `emit` keyword macro must not reach them.
#include "Sonavant/ui/MixerModel.h"

#include "Sonavant/windows/MixerFaderWidget.h"
#include "Sonavant/windows/MixerRowWidget.h"
#include "Sonavant/windows/MixerSymbols.h"
#include "Sonavant/windows/QtNamedColor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QSpacerItem>
#include <QToolButton>

namespace {

QToolButton* flagButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setFixedSize(24, 24);
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void showFlag(QToolButton* button, bool on, const QColor& colour) {
    const QString sheet =
        on ? QStringLiteral("QToolButton { background: %1; border: none; border-radius: 4px; "
                            "color: white; font-weight: bold; }")
                 .arg(colour.name())
           : QStringLiteral("QToolButton { background: transparent; border: none; "
                            "border-radius: 4px; color: white; font-weight: bold; }");
    if (button->styleSheet() != sheet)
        button->setStyleSheet(sheet);
}

} // namespace

MixerRowWidget::MixerRowWidget(MixerModel& model, const Speaker& speaker, QWidget* parent)
    : QWidget(parent), model_(model), speakerID_(speaker.id) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(12);

    channel_ = new QLabel(this);
    QFont bold = channel_->font();
    bold.setPixelSize(16);
    bold.setBold(true);
    channel_->setFont(bold);
    channel_->setContentsMargins(4, 0, 4, 0);
    channel_->setMinimumWidth(48); // faders line up from row 1 to row 999
    channel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    channel_->setStyleSheet(QStringLiteral("color: white;"));
    layout->addWidget(channel_);

    name_ = new QLineEdit(this);
    name_->setPlaceholderText(QStringLiteral("Name"));
    name_->setFixedWidth(80);
    name_->setFrame(false);
    name_->setFocusPolicy(Qt::ClickFocus);
    name_->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; color: white; }"));
    layout->addWidget(name_);

    fader_ = new MixerFaderWidget(this);
    layout->addWidget(fader_, 1);
    layout->addSpacerItem(new QSpacerItem(10, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));

    freeze_ = flagButton(this);
    freeze_->setIcon(mixerSymbol(MixerSymbol::snowflake, Qt::white));
    freeze_->setToolTip(QStringLiteral("Freeze"));
    layout->addWidget(freeze_);

    mute_ = flagButton(this);
    mute_->setText(QStringLiteral("M"));
    QFont caption = mute_->font();
    caption.setBold(true);
    caption.setPixelSize(11);
    mute_->setFont(caption);
    layout->addWidget(mute_);

    const std::int64_t id = speakerID_;
    connect(fader_, &MixerFaderWidget::valueDragged, this,
            [this, id](double v) { model_.faderChanged(id, v); });
    connect(fader_, &MixerFaderWidget::editingChanged, this,
            [this, id](bool editing) { model_.faderEditingChanged(id, editing); });
    connect(fader_, &MixerFaderWidget::editingEnded, this, [this, id] { model_.faderEditingEnded(id); });
    connect(freeze_, &QToolButton::clicked, this, [this, id] { model_.toggleFreeze(id); });
    connect(mute_, &QToolButton::clicked, this, [this, id] { model_.sendRangeMinimum(id); });
    connect(name_, &QLineEdit::textEdited, this,
            [this, id](const QString& text) { model_.renameSpeaker(id, text.toStdString()); });
    connect(name_, &QLineEdit::returnPressed, this, [this] {
        name_->clearFocus();
        model_.submitName();
    });

    refresh(speaker);
    model_.faderAppeared(speaker);
}

void MixerRowWidget::refresh(const Speaker& speaker) {
    const QString channel = QString::number(speaker.channelNumber) + QStringLiteral(" :");
    if (channel_->text() != channel)
        channel_->setText(channel);
    const QString name = QString::fromStdString(speaker.displayName);
    if (!name_->hasFocus() && name_->text() != name)
        name_->setText(name);
    fader_->setRange(model_.faderRange(speaker));
    fader_->setValue(model_.faderValue(speaker));
    fader_->setAccentColor(qtColor(model_.speakerAccentColour(speaker)));
    showFlag(freeze_, model_.isFrozen(speaker.id), qtColor(NamedColor::blue));
    showFlag(mute_, model_.isMuted(speaker.id), qtColor(NamedColor::red));
}

void MixerRowWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1.5, 0.5, -1.5, -2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, int(0.5 * 255 * 0.5)));
    p.drawRoundedRect(box.translated(0, 1.5), 8, 8); // shadow
    p.setBrush(QColor(0, 0, 0, int(0.3 * 255)));
    p.setPen(QPen(QColor(142, 142, 147, int(0.5 * 255)), 1));
    p.drawRoundedRect(box, 8, 8);
}
