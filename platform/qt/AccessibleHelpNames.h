#pragma once
// Icon buttons, steppers and fields carry no text a screen reader could read out, but each
// has help text (its own tooltip, or that of the box it sits in). Once installed, every such
// widget of the application without a name of its own is named by that help text, and the
// name follows the help when it changes. The arrows of a stepper add which way they step.

#include <QObject>
#include <QString>

class QWidget;

namespace platform {

class AccessibleHelpNames : public QObject {
public:
    // Watches the whole application; installing twice changes nothing.
    static void install();
    // The name the rule gives `widget`; empty when it gives none.
    static QString nameFor(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
    static void apply(QWidget* widget);
};

} // namespace platform
