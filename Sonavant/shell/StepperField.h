#pragma once
// A number field with a stepper beside it. The field reports what was typed and the
// stepper which way it was pressed; the owner decides what gets written and shows it back.

#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

class StepperField : public QWidget {
    Q_OBJECT
public:
    StepperField(int fieldWidth, int height, QWidget* parent = nullptr);

    void setValueText(const QString& text); // leaves a field being edited alone
    QString valueText() const { return field_->text(); }
    void setStepEnabled(bool up, bool down);
    QLineEdit* field() const { return field_; }
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

signals:
    void typed(const QString& text);
    void stepped(int direction); // +1 up, -1 down

private:
    QLineEdit* field_;
    QToolButton* up_;
    QToolButton* down_;
};
