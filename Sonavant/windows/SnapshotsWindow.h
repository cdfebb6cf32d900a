#pragma once
// The snapshots window: the show's snapshots as rows of number, name and recall time, one row
// at a time editable in place, and New, Update, Delete and Recall acting through the main
// view. Rows are kept by snapshot id and updated in place, so an edit survives the list
// being republished. The selection is the main view's; the edit state is this window's.

#include "Sonavant/ui/SnapshotEditMode.h"
#include "platform/Observable.h"

#include <QWidget>

#include <map>
#include <memory>
#include <vector>

class ContentView;
struct Snapshot;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

class SnapshotsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int windowWidth = 345, windowHeight = 420;

    explicit SnapshotsWindow(ContentView& view, QWidget* parent = nullptr);
    ~SnapshotsWindow() override;

    // What tests and screenshots look at.
    QPushButton* newButton() const { return newButton_; }
    QPushButton* updateButton() const { return updateButton_; }
    QPushButton* deleteButton() const { return deleteButton_; }
    QPushButton* recallButton() const { return recallButton_; }
    int rowCount() const { return static_cast<int>(order_.size()); }
    QWidget* rowWidget(int index) const;
    // "<number> | <name> | <time>" as the row shows it.
    QString rowText(int index) const;
    QToolButton* pencilButton(int index) const;
    QLineEdit* nameField(int index) const;
    QLineEdit* numberField(int index) const;
    QLineEdit* timeField(int index) const;
    QWidget* listBackground() const;
    const SnapshotEditMode& editMode() const { return mode_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row;
    void syncRows(const std::vector<Snapshot>& snapshots);
    Row& makeRow(const platform::UUID& id);
    void render();
    void writeFields(Row& row);
    void showStoredFields(Row& row);
    // The number and time fields show `s`; one being typed in keeps its text unless `typedToo`.
    void showNumberAndTime(Row& row, const Snapshot& s, bool typedToo);
    void writeSnapshot(const platform::UUID& id, const std::function<void(Snapshot&)>& change);
    void onFocusChanged(QWidget* now);
    const Snapshot* selectedSnapshot() const;

    ContentView& view_;
    SnapshotEditMode mode_;
    std::map<platform::UUID, std::unique_ptr<Row>> rows_;
    std::vector<platform::UUID> order_;
    QScrollArea* scroll_ = nullptr;
    QWidget* listContent_ = nullptr;
    QVBoxLayout* listLayout_ = nullptr;
    QPushButton* newButton_ = nullptr;
    QPushButton* updateButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QPushButton* recallButton_ = nullptr;
    platform::SubscriptionBag subscriptions_;
};
