// Core headers first: Qt's `emit` keyword macro must not reach them.
#include "Sonavant/ui/MixerModel.h"
#include "platform/Observable.h"

#include "Sonavant/windows/MixerRowWidget.h"
#include "Sonavant/windows/MixerSymbols.h"
#include "Sonavant/windows/MixerViewWidget.h"
#include "Sonavant/windows/QtNamedColor.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <set>

struct MixerViewWidget::Observers {
    platform::SubscriptionBag show;
    platform::SubscriptionBag source;
};

namespace {

QToolButton* stepButton(MixerSymbol symbol, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setIcon(mixerSymbol(symbol, Qt::white));
    button->setIconSize(QSize(18, 18));
    button->setFixedSize(36, 36);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(
        QStringLiteral("QToolButton { background: rgba(0,0,0,51); border: none; border-radius: 6px; }"
                       "QToolButton:pressed { background: rgba(0,0,0,110); }"));
    return button;
}

QFont titleFont(const QFont& base) {
    QFont f = base;
    f.setPixelSize(22);
    return f;
}

} // namespace

MixerViewWidget::MixerViewWidget(MixerModel& model, QWidget* parent)
    : QWidget(parent), model_(model), observers_(std::make_unique<Observers>()) {
    setMinimumSize(400, 300);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(16);

    warning_ = new QLabel(QStringLiteral("⚠️ OSC output is OFF — No messages will be sent."), this);
    warning_->setAlignment(Qt::AlignCenter);
    warning_->setStyleSheet(QStringLiteral(
        "QLabel { color: rgb(255,69,58); background: rgba(0,0,0,128); border-radius: 8px; padding: 8px; }"));
    column->addWidget(warning_, 0, Qt::AlignHCenter);

    auto* header = new QWidget(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(16, 0, 16, 0);
    headerRow->setSpacing(8);
    previous_ = stepButton(MixerSymbol::arrowLeft, header);
    next_ = stepButton(MixerSymbol::arrowRight, header);
    titleArea_ = new QStackedWidget(header);
    titleArea_->setStyleSheet(
        QStringLiteral("QStackedWidget { background: rgba(0,0,0,51); border-radius: 6px; }"));

    titleBox_ = new QWidget(titleArea_);
    auto* titleColumn = new QVBoxLayout(titleBox_);
    titleColumn->setContentsMargins(0, 8, 0, 8);
    titleColumn->setSpacing(0);
    title_ = new QLineEdit(titleBox_);
    title_->setFont(titleFont(font()));
    title_->setAlignment(Qt::AlignCenter);
    title_->setFrame(false);
    title_->setFocusPolicy(Qt::ClickFocus); // opening the window focuses no field
    title_->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; color: white; }"));
    titleBar_ = new QWidget(titleBox_);
    titleBar_->setFixedHeight(3);
    titleColumn->addWidget(title_);
    titleColumn->addWidget(titleBar_);
    titleArea_->addWidget(titleBox_);

    noSelectionTitle_ = new QLabel(QStringLiteral("NO SELECTION"), titleArea_);
    noSelectionTitle_->setFont(titleFont(font()));
    noSelectionTitle_->setAlignment(Qt::AlignCenter);
    noSelectionTitle_->setContentsMargins(0, 8, 0, 8);
    noSelectionTitle_->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    titleArea_->addWidget(noSelectionTitle_);

    headerRow->addWidget(previous_);
    headerRow->addWidget(titleArea_, 1);
    headerRow->addWidget(next_);
    column->addWidget(header);

    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    auto* listHolder = new QWidget(scroll_);
    listHolder->setAutoFillBackground(false);
    listHolder->setStyleSheet(QStringLiteral("background: transparent;"));
    list_ = new QVBoxLayout(listHolder);
    list_->setContentsMargins(16, 0, 16, 12);
    list_->setSpacing(12);
    emptyList_ = new QLabel(QStringLiteral("No sound object selected."), listHolder);
    emptyList_->setAlignment(Qt::AlignCenter);
    emptyList_->setStyleSheet(QStringLiteral("color: rgb(142,142,147);"));
    list_->addWidget(emptyList_);
    list_->addStretch(1);
    scroll_->setWidget(listHolder);
    scroll_->viewport()->setAutoFillBackground(false);
    column->addWidget(scroll_, 1);

    connect(previous_, &QToolButton::clicked, this, [this] { model_.selectPrevious(); });
    connect(next_, &QToolButton::clicked, this, [this] { model_.selectNext(); });
    connect(title_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.renameSource(text.toStdString()); });
    connect(title_, &QLineEdit::returnPressed, this, [this] {
        title_->clearFocus();
        model_.submitName();
    });

    // Published values announce before they change: each observer only queues an update,
    // which then reads the new state.
    AppState& show = model_.appState();
    auto queue = [this](const auto&) { scheduleRefresh(); };
    observers_->show.insert(show.speakers.observe(queue));
    observers_->show.insert(show.soundObjects.observe(queue));
    observers_->show.insert(show.selectedSoundObject.observe(queue));
    observers_->show.insert(show.selectedDesk.observe(queue));
    observers_->show.insert(show.oscOutputOn.observe(queue));
    observers_->show.insert(show.mixerLevels.observe(queue));
    observers_->show.insert(show.muteStates.observe(queue));
    observers_->show.insert(show.freezeStates.observe(queue));
    refreshNow();
}

MixerViewWidget::~MixerViewWidget() = default;

MixerRowWidget* MixerViewWidget::row(std::int64_t speakerID) const {
    auto it = rows_.find(speakerID);
    return it == rows_.end() ? nullptr : it->second;
}

void MixerViewWidget::scheduleRefresh() {
    if (refreshQueued_)
        return;
    refreshQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        if (refreshQueued_)
            refreshNow();
    });
}

void MixerViewWidget::observeSelectedSource() {
    const auto& source = model_.selected();
    if (source == observedSource_.lock() && (source || observedSource_.expired()))
        return;
    observers_->source.clear();
    observedSource_ = source;
    if (!source)
        return;
    auto queue = [this](const auto&) { scheduleRefresh(); };
    observers_->source.insert(source->name.observe(queue));
    observers_->source.insert(source->type.observe(queue));
    observers_->source.insert(source->number.observe(queue));
}

void MixerViewWidget::refreshNow() {
    refreshQueued_ = false;
    observeSelectedSource();
    const auto& source = model_.selected();
    warning_->setVisible(!model_.appState().oscOutputOn);

    if (source) {
        titleArea_->setCurrentWidget(titleBox_);
        // The field keeps what the operator is typing, unless another source is shown now.
        const QString name = QString::fromStdString(source->name);
        if ((source != titleSource_.lock() || !title_->hasFocus()) && title_->text() != name)
            title_->setText(name);
        titleSource_ = source;
        const QColor bar = qtColor(model_.kindColour(), 0.5);
        const QString sheet = QStringLiteral("background: %1;").arg(bar.name(QColor::HexArgb));
        if (titleBar_->styleSheet() != sheet)
            titleBar_->setStyleSheet(sheet);
    } else {
        titleArea_->setCurrentWidget(noSelectionTitle_);
    }
    refreshRows();
}

void MixerViewWidget::refreshRows() {
    const bool any = model_.selected() != nullptr;
    emptyList_->setVisible(!any);
    const std::vector<Speaker> none;
    const auto& speakers = any ? model_.appState().speakers.get() : none;

    // Rows of loudspeakers that are gone go; the others stay as they are and follow the order
    // of the show's list. Several records with one id share the first one's row.
    std::set<std::int64_t> shown;
    std::vector<const Speaker*> order;
    for (const Speaker& s : speakers)
        if (shown.insert(s.id).second)
            order.push_back(&s);
    for (auto it = rows_.begin(); it != rows_.end();) {
        if (!shown.count(it->first)) {
            list_->removeWidget(it->second);
            it->second->deleteLater();
            it = rows_.erase(it);
        } else
            ++it;
    }
    int index = 1; // after the "No sound object selected." text
    for (const Speaker* s : order) {
        MixerRowWidget* rowWidget = row(s->id);
        if (!rowWidget) {
            rowWidget = new MixerRowWidget(model_, *s, list_->parentWidget());
            rows_[s->id] = rowWidget;
            list_->insertWidget(index, rowWidget);
        } else {
            if (list_->indexOf(rowWidget) != index) {
                list_->removeWidget(rowWidget);
                list_->insertWidget(index, rowWidget);
            }
            rowWidget->refresh(*s);
        }
        ++index;
    }
}

void MixerViewWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, QColor::fromRgbF(0.15f, 0.15f, 0.15f));
    gradient.setColorAt(1, QColor::fromRgbF(0.2f, 0.2f, 0.2f));
    p.fillRect(rect(), gradient);
}

void MixerViewWidget::mousePressEvent(QMouseEvent* event) {
    // A click on the background takes the keyboard focus from the text fields.
    if (QWidget* focused = window()->focusWidget())
        focused->clearFocus();
    QWidget::mousePressEvent(event);
}
