#include "platform/qt/ReleaseSignals.h"

#include <QApplication>
#include <QWidget>

namespace platform {

void releaseSignals(QWidget* window) {
    QObject::disconnect(qApp, nullptr, window, nullptr);
    for (QObject* inner : window->findChildren<QObject*>())
        QObject::disconnect(inner, nullptr, window, nullptr);
}

} // namespace platform
