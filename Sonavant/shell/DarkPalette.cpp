#include "Sonavant/shell/DarkPalette.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace shell {

void applyDarkFusion(QApplication& application) {
    application.setStyle(QStyleFactory::create("Fusion"));
    QPalette p;
    const QColor window(40, 40, 42), base(28, 28, 30), text(235, 235, 235), disabled(120, 120, 120);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(48, 48, 50));
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 62));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(58, 58, 60));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, QColor(80, 80, 82));
    p.setColor(QPalette::Midlight, QColor(66, 66, 68));
    p.setColor(QPalette::Mid, QColor(50, 50, 52));
    p.setColor(QPalette::Dark, QColor(22, 22, 24));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(10, 110, 220));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(80, 160, 255));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    application.setPalette(p);
}

} // namespace shell
