#include "Sonavant/shell/SplashScreen.h"

#include "platform/qt/Symbols.h"
#include "Sonavant/ui/UpdateCheck.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

SplashScreen::SplashScreen(double seconds, QWidget* parent) : QWidget(parent), seconds_(seconds) {
    setObjectName("splash");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* stack = new QWidget(this);
    stack->setMinimumSize(400, 600);
    auto* column = new QVBoxLayout(stack);
    column->setSpacing(20);
    column->addStretch(1);

    const auto info = update::appInfo();
    auto* icon = new QLabel(stack);
    icon->setPixmap(symbols::appIcon(300));
    icon->setScaledContents(true);
    icon->setFixedSize(150, 150);
    column->addWidget(icon, 0, Qt::AlignHCenter);
    auto* image = new QLabel(stack);
    image->setPixmap(symbols::splashImage(200));
    image->setScaledContents(true);
    image->setFixedSize(100, 100);
    column->addWidget(image, 0, Qt::AlignHCenter);

    name_ = new QLabel(QString::fromStdString(info.displayName), stack);
    QFont title = name_->font();
    title.setPointSizeF(title.pointSizeF() * 2.4);
    title.setBold(true);
    name_->setFont(title);
    name_->setStyleSheet("color: white;");
    column->addWidget(name_, 0, Qt::AlignHCenter);
    version_ = new QLabel(QString::fromStdString(update::versionLine(info)), stack);
    version_->setObjectName("versionLine");
    version_->setStyleSheet("color: rgba(255,255,255,204);");
    column->addWidget(version_, 0, Qt::AlignHCenter);
    column->addStretch(1);
    outer->addWidget(stack, 0, Qt::AlignCenter);

    timer_.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the splash stays its full time.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SplashScreen::activated);
}

void SplashScreen::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (appeared_)
        return;
    appeared_ = true;
    emit appeared();
    timer_.start(int(seconds_ * 1000));
}

void SplashScreen::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), Qt::black);
}
