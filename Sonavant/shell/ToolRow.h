#pragma once
// The row under the canvas: the object-list and settings buttons at its leading edge and,
// centred across it, the tool palette for the palette's mode (normal, SoundScape, audience-
// area editing). Ctrl+Backspace deletes the canvas selection outside audience-area editing.
// Every action goes to the main view; the row keeps no state of its own.

#include "platform/Observable.h"

#include <QWidget>

#include <functional>
#include <vector>

class ContentView;
class QHBoxLayout;
class QPushButton;
class QShortcut;
class QToolButton;

class ToolRow : public QWidget {
    Q_OBJECT
public:
    explicit ToolRow(ContentView& view, QWidget* parent = nullptr);
    ~ToolRow() override;

    // "Add Area" (the canvas's audience-area tool); nothing until set.
    void setAddAreaAction(std::function<void()> action) { addArea_ = std::move(action); }

    QToolButton* objectListButton() const { return objectListButton_; }
    QToolButton* settingsButton() const { return settingsButton_; }
    std::vector<QPushButton*> paletteButtons() const { return buttons_; }
    QPushButton* paletteButton(const QString& label) const;
    QShortcut* deleteShortcut() const { return deleteShortcut_; }

private:
    void rebuildPalette(bool isEditingAudienceArea, bool isSoundScapeMode);

    ContentView& view_;
    std::function<void()> addArea_;
    QToolButton* objectListButton_ = nullptr;
    QToolButton* settingsButton_ = nullptr;
    QWidget* palette_ = nullptr;
    QHBoxLayout* paletteLayout_ = nullptr;
    std::vector<QPushButton*> buttons_;
    QShortcut* deleteShortcut_ = nullptr;
    platform::SubscriptionBag subscriptions_;
};
