#include "platform/qt/AccessibleHelpNames.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QToolButton>

namespace platform {

namespace {

// The name this rule last gave a widget: any other name was given by hand and stays.
constexpr const char* namedByHelp = "sonavantNamedByHelp";

bool takesHelpName(const QWidget* widget) {
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text().isEmpty();
    // Scroll bars are named by the platform's accessibility already.
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
           (qobject_cast<const QAbstractSlider*>(widget) && !qobject_cast<const QScrollBar*>(widget));
}

QString helpFor(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (!w->toolTip().isEmpty())
            return w->toolTip();
        if (w->isWindow())
            break;
    }
    return {};
}

} // namespace

void AccessibleHelpNames::install() {
    static QPointer<AccessibleHelpNames> installed;
    if (installed || !qApp)
        return;
    installed = new AccessibleHelpNames(qApp);
    qApp->installEventFilter(installed);
}

QString AccessibleHelpNames::nameFor(const QWidget* widget) {
    if (!widget || !takesHelpName(widget))
        return {};
    const QString help = helpFor(widget);
    if (help.isEmpty())
        return {};
    // Both arrows of a stepper share the stepper's help; each says which way it goes.
    if (auto* arrow = qobject_cast<const QToolButton*>(widget); arrow && arrow->toolTip().isEmpty()) {
        if (arrow->arrowType() == Qt::UpArrow)
            return help + " (up)";
        if (arrow->arrowType() == Qt::DownArrow)
            return help + " (down)";
    }
    return help;
}

void AccessibleHelpNames::apply(QWidget* widget) {
    const QString current = widget->accessibleName();
    if (!current.isEmpty() && current != widget->property(namedByHelp).toString())
        return;
    const QString name = nameFor(widget);
    if (name == current)
        return;
    widget->setAccessibleName(name);
    widget->setProperty(namedByHelp, name);
}

bool AccessibleHelpNames::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Polish:
    case QEvent::ParentChange:
        if (watched->isWidgetType())
            apply(static_cast<QWidget*>(watched));
        break;
    case QEvent::ToolTipChange:
        // The widgets inside take their help from this one when they have none.
        if (watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            apply(widget);
            for (QWidget* inner : widget->findChildren<QWidget*>())
                apply(inner);
        }
        break;
    default:
        break;
    }
    return false;
}

} // namespace platform
