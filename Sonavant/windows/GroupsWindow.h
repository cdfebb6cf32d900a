#pragma once
// The groups window: the show's groups as rows (name, member symbols, rename pencil); a
// click puts a group's members on the canvas as the selection, "New" makes a group of the
// canvas selection, "Delete" removes the highlighted group. The highlight follows the canvas
// selection: it stays while the selection lies inside the group. Rows are kept by group id
// and updated in place, so a rename survives the list being republished.

#include "Sonavant/ui/GroupsViewState.h"
#include "platform/Observable.h"

#include <QWidget>

#include <map>
#include <memory>
#include <vector>

class ContentView;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;

class GroupsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int windowWidth = 340, windowHeight = 420;

    explicit GroupsWindow(ContentView& view, QWidget* parent = nullptr);
    ~GroupsWindow() override;

    ContentView& view() const { return view_; }
    QPushButton* newButton() const { return newButton_; }
    QPushButton* deleteButton() const { return deleteButton_; }
    int rowCount() const { return static_cast<int>(order_.size()); }
    QWidget* rowWidget(int index) const;
    QString rowName(int index) const;
    QToolButton* pencilButton(int index) const;
    QLineEdit* nameField(int index) const;
    QWidget* listBackground() const { return listContent_; }
    const GroupsViewState& state() const { return state_; }

    // The group operations on the show and the canvas selection.
    void addGroupFromSelection();
    void removeGroup(const platform::UUID& group);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row;
    void syncRows(const std::vector<ObjectGroup>& groups);
    Row& makeRow(const platform::UUID& id);
    void render();
    void onFocusChanged(QWidget* now);

    ContentView& view_;
    GroupsViewState state_;
    std::map<platform::UUID, std::unique_ptr<Row>> rows_;
    std::vector<platform::UUID> order_;
    QWidget* listContent_ = nullptr;
    QVBoxLayout* listLayout_ = nullptr;
    QPushButton* newButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    platform::SubscriptionBag subscriptions_;
};
