#pragma once
// Asks the update service once for the newest version and offers it in an alert. Failures
// are console lines; none reaches the operator or holds anything up.

#include <QNetworkAccessManager>
#include <QObject>

#include <functional>
#include <memory>
#include <string>

class ContentViewPresenter;
class QNetworkReply;
namespace platform {
class UserDefaults;
}

class UpdateChecker : public QObject {
    Q_OBJECT
public:
    // `quit` ends the application the way every quit does (saving first).
    UpdateChecker(std::function<ContentViewPresenter*()> presenter, platform::UserDefaults& defaults,
                  std::function<void()> quit, QObject* parent = nullptr);

    // Starts the request; returns at once. Does nothing once a reply has been understood.
    void checkForUpdate(const std::string& baseAddress);
    bool versionCheckDone() const { return versionCheckDone_; }
    std::string runningVersion;

signals:
    void finished(); // the request ended, however

private:
    void handleReply(QNetworkReply* reply);
    void showUpdateAlert(const std::string& version, const std::string& downloadURL,
                         const std::string& skipKey);

    std::function<ContentViewPresenter*()> presenter_;
    platform::UserDefaults& defaults_;
    std::function<void()> quit_;
    QNetworkAccessManager network_;
    bool versionCheckDone_ = false;
};
