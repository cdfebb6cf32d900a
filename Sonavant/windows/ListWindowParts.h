#pragma once
// What the groups and snapshots windows are built from: the symbol over a rule, the
// scrolling list of rows kept by id, and the buttons below it.

#include "Sonavant/windows/SymbolIcon.h"

#include <QBoxLayout>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <map>
#include <memory>
#include <utility>
#include <vector>

class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace listwindow {

// Titled and closable, without a minimise or maximise button.
inline Qt::WindowFlags windowFlags() {
    return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
}

// The window's symbol over a rule, added to `root`.
void addHeader(QVBoxLayout* root, Symbol symbol, QWidget* window);

struct RowList {
    QScrollArea* scroll = nullptr;
    QWidget* content = nullptr;
    QVBoxLayout* layout = nullptr;
};
// The scrolling list the rows go in, added to `root`; `window` filters the events of its
// background. A click in the list takes no keyboard focus: an edit in a row stays open
// until the row's own controls or a click on the background end it.
RowList addRowList(QVBoxLayout* root, QWidget* window);

// A symbol-and-text button that leaves the keyboard focus where it is.
QPushButton* actionButton(const QString& text, Symbol symbol, QWidget* parent);

// A new row goes above the stretch that closes the list.
template <typename Id, typename Row>
Row& addKeyedRow(std::map<Id, std::unique_ptr<Row>>& rows, const Id& id, std::unique_ptr<Row> row,
                 QBoxLayout* layout) {
    layout->insertWidget(layout->count() - 1, row->frame);
    row->frame->show(); // a layout shows a new child of a visible window only later
    auto& stored = rows[id];
    stored = std::move(row);
    return *stored;
}

// Rows kept by id across republished lists: those whose id is gone are dropped, the rest are
// moved, not rebuilt, into list order, so an edit in progress in a row survives.
template <typename Id, typename Row>
void settleKeyedRows(std::map<Id, std::unique_ptr<Row>>& rows, const std::vector<Id>& order,
                     QBoxLayout* layout) {
    for (auto it = rows.begin(); it != rows.end();) {
        if (std::find(order.begin(), order.end(), it->first) == order.end()) {
            it->second->frame->hide();
            it->second->frame->deleteLater();
            it = rows.erase(it);
        } else {
            ++it;
        }
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        QWidget* frame = rows.at(order[i])->frame;
        if (layout->indexOf(frame) != static_cast<int>(i)) {
            layout->removeWidget(frame);
            layout->insertWidget(static_cast<int>(i), frame);
        }
    }
}

} // namespace listwindow
