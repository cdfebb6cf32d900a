#include "Sonavant/shell/UpdateChecker.h"

#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/ui/UpdateCheck.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <optional>

using platform::consoleLog;

namespace {
const char* oversizedProperty = "sonavantOversized";
}

UpdateChecker::UpdateChecker(std::function<ContentViewPresenter*()> presenter,
                             platform::UserDefaults& defaults, std::function<void()> quit, QObject* parent)
    : QObject(parent), runningVersion(update::appInfo().version), presenter_(std::move(presenter)),
      defaults_(defaults), quit_(std::move(quit)) {}

void UpdateChecker::checkForUpdate(const std::string& baseAddress) {
    if (versionCheckDone_)
        return;
    const QUrl url(QString::fromStdString(update::requestAddress(baseAddress)), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        consoleLog("Version check failed: Invalid URL.");
        emit finished();
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(30000);
    QNetworkReply* reply = network_.get(request);
    // A reply larger than any version information is cut off, not read to its end.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > qint64(update::maxReplyBytes) || total > qint64(update::maxReplyBytes)) {
            reply->setProperty(oversizedProperty, true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { handleReply(reply); });
}

void UpdateChecker::handleReply(QNetworkReply* reply) {
    reply->deleteLater();
    std::optional<std::string> error, data;
    if (reply->property(oversizedProperty).toBool())
        data = std::string(update::maxReplyBytes + 1, ' ');
    else if (reply->error() != QNetworkReply::NoError)
        error = reply->errorString().toStdString();
    else {
        const QByteArray body = reply->readAll();
        if (!body.isEmpty())
            data = body.toStdString();
    }
    const auto decision = update::decide(error, data, runningVersion, [this](const std::string& key) {
        return defaults_.boolean(key).value_or(false);
    });
    if (!decision.consoleLine.empty())
        consoleLog(decision.consoleLine);
    if (decision.kind == update::Decision::Kind::offer) {
        // Shown from the event loop, not from inside the network's completion.
        QTimer::singleShot(0, this, [this, version = decision.version, url = decision.downloadURL] {
            showUpdateAlert(version, url, update::skipKey(version));
        });
    }
    if (decision.versionCheckDone)
        versionCheckDone_ = true;
    emit finished();
}

void UpdateChecker::showUpdateAlert(const std::string& version, const std::string& downloadURL,
                                    const std::string& skipKey) {
    PresenterAlert alert;
    alert.title = "A new version is available: " + version;
    alert.text = "Download this version from: " + downloadURL;
    alert.buttons = {"Update", "Skip"};
    ContentViewPresenter* presenter = presenter_ ? presenter_() : nullptr;
    if (!presenter)
        return;
    const std::size_t answer = presenter->showAlert(alert);
    if (answer == 0) {
        if (update::isOpenableDownloadAddress(downloadURL)) {
            presenter->openURL(downloadURL);
            if (quit_)
                quit_();
            return;
        }
        consoleLog(
            "Version check: the download address is not an http or https address; nothing was opened.");
    }
    defaults_.set(skipKey, true);
    defaults_.synchronize();
}
