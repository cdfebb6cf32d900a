#include "Sonavant/windows/SettingsPageLayout.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>

namespace {

constexpr int symbolSize = 16;

} // namespace

SettingsPageLayout::SettingsPageLayout(QWidget* page, const QString& title) : page_(page) {
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* heading = new QLabel(title, page);
    heading->setObjectName("pageTitle");
    QFont large = heading->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.6);
    heading->setFont(large);
    heading->setContentsMargins(16, 14, 16, 0);
    outer->addWidget(heading);

    auto* scroll = new QScrollArea(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    column_ = new QVBoxLayout(content);
    column_->setContentsMargins(16, 16, 16, 16);
    column_->setSpacing(24);
    content->setAccessibleName(title);
    scroll->setWidget(content);
    outer->addWidget(scroll, 1);
}

QVBoxLayout* SettingsPageLayout::group(const QString& title, Symbol symbol, int spacing) {
    auto* group = new QWidget;
    group->setObjectName("settingsGroup");
    group->setAccessibleName(title);
    auto* stack = new QVBoxLayout(group);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);

    auto* label = new QHBoxLayout;
    label->setContentsMargins(2, 0, 0, 0);
    label->setSpacing(6);
    auto* icon = new QLabel(group);
    icon->setObjectName("groupSymbol");
    icon->setPixmap(symbolPixmap(symbol, symbolSize, page_->palette().color(QPalette::WindowText),
                                 page_->devicePixelRatioF()));
    icon->setFixedSize(symbolSize, symbolSize);
    auto* text = new QLabel(title, group);
    text->setObjectName("groupTitle");
    label->addWidget(icon);
    label->addWidget(text);
    label->addStretch(1);
    stack->addLayout(label);

    auto* body = new QFrame(group);
    body->setObjectName("groupBody");
    body->setStyleSheet("QFrame#groupBody { background: rgba(255,255,255,14); border: 1px solid "
                        "rgba(255,255,255,22); border-radius: 6px; }");
    auto* rows = new QVBoxLayout(body);
    rows->setSpacing(spacing);
    rows->setContentsMargins(12, 12, 12, 12);
    stack->addWidget(body);
    column_->addWidget(group);
    return rows;
}

void SettingsPageLayout::finish() {
    column_->addStretch(1);
}

QHBoxLayout* SettingsPageLayout::labelled(const QString& label, QWidget* control, int labelWidth) {
    auto* row = new QHBoxLayout;
    auto* text = new QLabel(label);
    if (labelWidth > 0)
        text->setFixedWidth(labelWidth);
    row->addWidget(text);
    row->addWidget(control);
    row->addStretch();
    return row;
}
