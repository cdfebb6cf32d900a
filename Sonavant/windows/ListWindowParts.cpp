#include "Sonavant/windows/ListWindowParts.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace listwindow {

void addHeader(QVBoxLayout* root, Symbol symbol, QWidget* window) {
    auto* header = new QLabel(window);
    header->setPixmap(
        symbolPixmap(symbol, 36, window->palette().color(QPalette::WindowText), window->devicePixelRatioF()));
    header->setAlignment(Qt::AlignCenter);
    root->addWidget(header);
    auto* rule = new QFrame(window);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Plain);
    rule->setStyleSheet("color: rgba(255,255,255,60);");
    root->addWidget(rule);
}

RowList addRowList(QVBoxLayout* root, QWidget* window) {
    RowList list;
    list.scroll = new QScrollArea(window);
    list.scroll->setWidgetResizable(true);
    list.scroll->setFrameShape(QFrame::StyledPanel);
    // A scroll area takes the focus of a click on anything inside it that does not take it
    // itself (a row, the pencil), which would end the edit before the click lands.
    list.scroll->setFocusPolicy(Qt::NoFocus);
    list.content = new QWidget(list.scroll);
    list.layout = new QVBoxLayout(list.content);
    list.layout->setContentsMargins(6, 6, 6, 6);
    list.layout->setSpacing(2);
    list.layout->addStretch(1);
    list.content->installEventFilter(window);
    list.scroll->setWidget(list.content);
    root->addWidget(list.scroll, 1);
    return list;
}

QPushButton* actionButton(const QString& text, Symbol symbol, QWidget* parent) {
    auto* button =
        new QPushButton(symbolIcon(symbol, parent->palette().color(QPalette::ButtonText)), text, parent);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace listwindow
