#include "Sonavant/panels/SheetParts.h"
#include "Sonavant/panels/StepperButtons.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QWidget>

namespace sheetparts {

QLabel* rowLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFixedWidth(120);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLineEdit* numberField(QWidget* parent, const QString& objectName) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(objectName);
    field->setFixedWidth(60);
    field->setAlignment(Qt::AlignCenter);
    return field;
}

QLabel* validationCaption(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName("validationMessage");
    label->setWordWrap(true);
    QFont caption = label->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    label->setFont(caption);
    label->setStyleSheet("color: rgb(255, 69, 58);");
    // Its line is kept while it is hidden: the sheet keeps one height as the message comes
    // and goes.
    QSizePolicy policy = label->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
    label->setText(" ");
    label->hide();
    return label;
}

void showValidation(QLabel* caption, const std::string& message) {
    if (!message.empty())
        caption->setText(QString::fromStdString(message)); // the last one stays for the line's height
    caption->setVisible(!message.empty());
}

QWidget* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setStyleSheet("color: rgba(255, 255, 255, 60);");
    return line;
}

QPixmap symbolPixmap(Symbol symbol, int size, const QWidget& forWidget) {
    const qreal ratio = forWidget.devicePixelRatioF();
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = forWidget.palette().color(QPalette::WindowText);
    const qreal s = size;
    if (symbol == Symbol::speaker) {
        // Two cabinets, each with a woofer and a tweeter cut out.
        for (int i = 0; i < 2; ++i) {
            const QRectF cabinet(s * (0.05 + 0.5 * i), s * 0.12, s * 0.42, s * 0.76);
            QPainterPath box;
            box.addRoundedRect(cabinet, s * 0.08, s * 0.08);
            QPainterPath holes;
            holes.addEllipse(QPointF(cabinet.center().x(), cabinet.top() + s * 0.2), s * 0.07, s * 0.07);
            holes.addEllipse(QPointF(cabinet.center().x(), cabinet.bottom() - s * 0.22), s * 0.13, s * 0.13);
            p.fillPath(box.subtracted(holes), ink);
        }
    } else {
        // A capsule on a yoke and a stand.
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(s * 0.34, s * 0.04, s * 0.32, s * 0.56), s * 0.16, s * 0.16);
        p.fillPath(capsule, ink);
        QPen pen(ink, s * 0.08, Qt::SolidLine, Qt::RoundCap);
        p.setPen(pen);
        p.drawArc(QRectF(s * 0.22, s * 0.2, s * 0.56, s * 0.56), 180 * 16, 180 * 16);
        p.drawLine(QPointF(s * 0.5, s * 0.76), QPointF(s * 0.5, s * 0.92));
        p.drawLine(QPointF(s * 0.34, s * 0.92), QPointF(s * 0.66, s * 0.92));
    }
    return pixmap;
}

QGroupBox* titledBox(const QString& title, Symbol symbol, QWidget* parent, QLayout* layout) {
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(6);
    auto* icon = new QLabel(parent);
    icon->setPixmap(symbolPixmap(symbol, 16, *parent));
    auto* text = new QLabel(title, parent);
    titleRow->addWidget(icon);
    titleRow->addWidget(text);
    titleRow->addStretch();
    if (auto* box = qobject_cast<QBoxLayout*>(layout))
        box->addLayout(titleRow);
    auto* group = new QGroupBox(parent);
    group->setAccessibleName(title);
    return group;
}

QLineEdit* nameRow(QWidget* group, QBoxLayout* rows) {
    auto* row = new QHBoxLayout;
    row->addWidget(rowLabel("Display Name:", group));
    auto* field = new QLineEdit(group);
    field->setObjectName("nameField");
    field->setPlaceholderText("Enter name");
    row->addWidget(field);
    rows->addLayout(row);
    return field;
}

QLineEdit* steppedNumberRow(const QString& label, const QString& objectName, QWidget* group, QBoxLayout* rows,
                            StepperButtons*& stepper) {
    auto* row = new QHBoxLayout;
    row->addWidget(rowLabel(label, group));
    auto* field = numberField(group, objectName);
    stepper = new StepperButtons(group);
    row->addWidget(field);
    row->addWidget(stepper);
    row->addStretch();
    rows->addLayout(row);
    return field;
}

void buttonRow(QPushButton* left, QPushButton* right, QBoxLayout* layout) {
    // Return commits a number field; it must not also press a button.
    for (auto* button : {left, right}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    auto* row = new QHBoxLayout;
    row->addWidget(left);
    row->addStretch();
    row->addWidget(right);
    layout->addLayout(row);
}

void showFieldText(QLineEdit* field, const QString& text) {
    if (field->isModified() || field->text() == text)
        return;
    QSignalBlocker block(field);
    field->setText(text);
}

void showTypes(QComboBox* picker, const std::vector<std::string>& types, const std::string& current) {
    QSignalBlocker block(picker);
    bool same = picker->count() == int(types.size());
    for (int i = 0; same && i < picker->count(); ++i)
        same = picker->itemText(i).toStdString() == types[std::size_t(i)];
    if (!same) {
        picker->clear();
        for (const auto& type : types)
            picker->addItem(QString::fromStdString(type));
    }
    picker->setCurrentIndex(picker->findText(QString::fromStdString(current)));
}

void growToFit(QWidget* sheet) {
    if (auto* layout = sheet->layout())
        layout->activate();
    const QSize wanted = sheet->sizeHint().expandedTo(sheet->minimumSizeHint());
    if (wanted.height() > sheet->height() || wanted.width() > sheet->width())
        sheet->resize(sheet->size().expandedTo(wanted));
}

} // namespace sheetparts
