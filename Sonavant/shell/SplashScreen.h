#pragma once
// The first content of the main window: icon, image, name and version on black. It calls
// `activated` once, a fixed time after it first comes on screen, whatever else is going on;
// `appeared` fires at that first showing (the update check starts there).

#include <QTimer>
#include <QWidget>

class QLabel;

class SplashScreen : public QWidget {
    Q_OBJECT
public:
    explicit SplashScreen(double seconds = 3.0, QWidget* parent = nullptr);

    QLabel* nameLabel() const { return name_; }
    QLabel* versionLabel() const { return version_; }
    bool hasAppeared() const { return appeared_; }

signals:
    void appeared();
    void activated();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent*) override;

private:
    double seconds_;
    bool appeared_ = false;
    QTimer timer_;
    QLabel* name_;
    QLabel* version_;
};
