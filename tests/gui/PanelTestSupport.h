#pragma once
// What the panel and sheet tests share: the dark look, a main view over a loopback fake
// desk, typing into a number field as an operator does, and finding the open sheet.

#include "Sonavant/engine/ContentView.h"
#include "support/ShowFixtures.h"
#include "tools/FakeDesk.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QStyleFactory>
#include <QtTest>

#include <memory>
#include <string>

namespace paneltest {

inline void useDarkLook() {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(40, 40, 42));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(28, 28, 30));
    dark.setColor(QPalette::AlternateBase, QColor(44, 44, 46));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(58, 58, 60));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(10, 132, 255));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::PlaceholderText, QColor(140, 140, 140));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    QApplication::setPalette(dark);
}

// A main view sending to a fake desk on 127.0.0.1.
struct LoopbackView {
    FakeDesk desk{false};
    std::shared_ptr<AppState> show = support::emptyShow({.imageScale = 1.0});
    ContentView view{show, Binding<std::string>("127.0.0.1"),
                     Binding<std::string>(std::to_string(desk.udpPort()))};

    void selectDesk(const MixingDesk& d) {
        view.selectedDesk = d;
        show->selectedDesk = d;
    }
};

// Replaces the field's text as typed keys and presses Return.
inline void typeInto(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

inline constexpr int deadlineMs = 10000;

} // namespace paneltest
