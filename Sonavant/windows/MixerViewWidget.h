#pragma once
// The mixer window's content: the output-off warning, the header with the selected source
// and the stepping arrows, and one row per loudspeaker. It follows the show state for as long
// as it lives, updating rows in place by loudspeaker id.

#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>

class MixerModel;
class MixerRowWidget;
class QLabel;
class QLineEdit;
class QScrollArea;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;
class SoundObject;

class MixerViewWidget : public QWidget {
    Q_OBJECT

public:
    explicit MixerViewWidget(MixerModel& model, QWidget* parent = nullptr);
    ~MixerViewWidget() override;

    // Updates everything from the show state now (updates are otherwise batched per turn of
    // the event loop).
    void refreshNow();

    // For tests and screenshots.
    QLabel* warning() const { return warning_; }
    QLineEdit* titleField() const { return title_; }
    QLabel* noSelectionTitle() const { return noSelectionTitle_; }
    QLabel* emptyListText() const { return emptyList_; }
    QToolButton* previousButton() const { return previous_; }
    QToolButton* nextButton() const { return next_; }
    MixerRowWidget* row(std::int64_t speakerID) const;
    std::size_t rowCount() const { return rows_.size(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void scheduleRefresh();
    void observeSelectedSource();
    void refreshRows();

    MixerModel& model_;
    QLabel* warning_ = nullptr;
    QToolButton* previous_ = nullptr;
    QToolButton* next_ = nullptr;
    QStackedWidget* titleArea_ = nullptr;
    QWidget* titleBox_ = nullptr;
    QLineEdit* title_ = nullptr;
    QWidget* titleBar_ = nullptr;
    QLabel* noSelectionTitle_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QVBoxLayout* list_ = nullptr;
    QLabel* emptyList_ = nullptr;
    std::map<std::int64_t, MixerRowWidget*> rows_;
    bool refreshQueued_ = false;

    // The subscriptions to the show state, held for as long as the view lives.
    struct Observers;
    std::unique_ptr<Observers> observers_;
    std::weak_ptr<SoundObject> observedSource_;
    std::weak_ptr<SoundObject> titleSource_;
};
