#pragma once
// The frame every settings page shares: the page's title over a scrolling column of group
// boxes, each labelled with its symbol and title, whose rows stack at the given spacing.

#include "Sonavant/windows/SymbolIcon.h"

#include <QString>

class QBoxLayout;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;
class QWidget;

class SettingsPageLayout {
public:
    SettingsPageLayout(QWidget* page, const QString& title);

    // A new group box at the end of the column; rows go into the returned layout.
    QVBoxLayout* group(const QString& title, Symbol symbol, int spacing);
    // Closes the column: the groups stay at the top.
    void finish();

    // A label in a frame of `labelWidth` (natural width when 0) and the control beside it.
    static QHBoxLayout* labelled(const QString& label, QWidget* control, int labelWidth = 0);

private:
    QWidget* page_;
    QVBoxLayout* column_;
};
