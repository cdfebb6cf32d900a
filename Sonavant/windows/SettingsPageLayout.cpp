#include "Sonavant/windows/SettingsPageLayout.h"

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>

SettingsPageLayout::SettingsPageLayout(QWidget* page, const QString& title) {
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    column_ = new QVBoxLayout(content);
    column_->setContentsMargins(16, 16, 16, 16);
    column_->setSpacing(24);
    // The title names the page for accessibility; the sidebar already shows which it is.
    content->setAccessibleName(title);
    scroll->setWidget(content);
    outer->addWidget(scroll);
}

QVBoxLayout* SettingsPageLayout::group(const QString& title, int spacing) {
    auto* box = new QGroupBox(title);
    auto* rows = new QVBoxLayout(box);
    rows->setSpacing(spacing);
    rows->setContentsMargins(12, 12, 12, 12);
    column_->addWidget(box);
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
