#pragma once
// The frame every settings page shares: a scrolling column under the page's title, holding
// titled group boxes whose rows stack at the given spacing.

#include <QString>

class QBoxLayout;
class QHBoxLayout;
class QVBoxLayout;
class QWidget;

class SettingsPageLayout {
public:
    SettingsPageLayout(QWidget* page, const QString& title);

    // A new group box at the end of the column; rows go into the returned layout.
    QVBoxLayout* group(const QString& title, int spacing);
    // Closes the column: the groups stay at the top.
    void finish();

    // A label in a frame of `labelWidth` (natural width when 0) and the control beside it.
    static QHBoxLayout* labelled(const QString& label, QWidget* control, int labelWidth = 0);

private:
    QVBoxLayout* column_;
};
