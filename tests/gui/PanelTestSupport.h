#pragma once
// What the panel and sheet tests share: the dark look, a main view over a loopback fake
// desk, typing into a number field as an operator does, and finding the open sheet.

#include "Sonavant/engine/ContentView.h"
#include "support/ShowFixtures.h"
#include "tools/FakeDesk.h"

#include <QApplication>
#include <QLineEdit>
#include <QtTest>

#include <memory>
#include <string>

namespace paneltest {

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
