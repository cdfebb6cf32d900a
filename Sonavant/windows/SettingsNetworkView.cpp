#include "Sonavant/windows/SettingsNetworkView.h"

#include "Sonavant/model/AppState.h"
#include "Sonavant/windows/RefreshLater.h"
#include "Sonavant/windows/SettingsPageLayout.h"

#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int labelWidth = 140;

QLineEdit* field(const char* name, const QString& placeholder, const QString& help) {
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    edit->setPlaceholderText(placeholder);
    edit->setToolTip(help);
    return edit;
}

// Sets the text only when it differs, so a value echoed back keeps the cursor where it is.
void showText(QLineEdit* edit, const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (edit->text() != value)
        edit->setText(value);
}

} // namespace

SettingsNetworkView::SettingsNetworkView(std::shared_ptr<AppState> appState,
                                         Binding<std::string> targetDeskIP, Binding<std::string> targetPort,
                                         QWidget* parent)
    : QWidget(parent), appState_(std::move(appState)), targetDeskIP_(std::move(targetDeskIP)),
      targetPort_(std::move(targetPort)) {
    SettingsPageLayout page(this, "Network");
    auto* rows = page.group("Desk Connection", Symbol::network, 16);
    deskIP_ = field("targetDeskIP", "e.g. 192.168.1.100",
                    "The IP address of the mixing desk you want to send OSC to.");
    deskPort_ = field("targetPort", "e.g. 8000",
                      "The OSC port the desk is listening on for incoming control messages.");
    receivePort_ =
        field("receivePort", "e.g. 6000",
              "The port this app listens on for incoming OSC messages (e.g. from QLab or the desk).");
    rows->addLayout(SettingsPageLayout::labelled("Desk IP Address:", deskIP_, labelWidth));
    rows->addLayout(SettingsPageLayout::labelled("Desk Port:", deskPort_, labelWidth));
    rows->addLayout(SettingsPageLayout::labelled("Receive Port:", receivePort_, labelWidth));
    for (auto* edit : {deskIP_, deskPort_, receivePort_})
        edit->setMinimumWidth(180);
    page.finish();

    connect(deskIP_, &QLineEdit::textEdited, this,
            [this](const QString& text) { targetDeskIP_.set(text.toStdString()); });
    connect(deskPort_, &QLineEdit::textEdited, this,
            [this](const QString& text) { targetPort_.set(text.toStdString()); });
    connect(receivePort_, &QLineEdit::textEdited, this,
            [this](const QString& text) { appState_->receivePort = text.toStdString(); });

    // Values set elsewhere (a desk chosen in the top bar sets both ports, a show opened)
    // appear at once.
    auto later = [this](auto&&...) { scheduleRefresh(); };
    subscriptions_.insert(targetDeskIP_.observe(later));
    subscriptions_.insert(targetPort_.observe(later));
    subscriptions_.insert(appState_->receivePort.observe(later));
    refresh();
}

void SettingsNetworkView::scheduleRefresh() {
    refreshLater(this, refreshPending_, [this] { refresh(); });
}

void SettingsNetworkView::refresh() {
    showText(deskIP_, targetDeskIP_.get());
    showText(deskPort_, targetPort_.get());
    showText(receivePort_, appState_->receivePort.get());
}
