#pragma once
// The three button looks every window shares: a fixed-size button on a given colour (the
// output switch, the tool palette), and the primary and secondary buttons that confirm or
// dismiss sheets and windows. All fade to 70 % while pressed.

#include <QColor>
#include <QPushButton>

namespace platform {

class StyledButton : public QPushButton {
public:
    enum class Kind { fixedSize, primary, secondary };

    // Exactly width x height, filled with `background`, text in `foreground`, corners of 6.
    static StyledButton* fixedSize(const QString& text, int width, int height, QColor background,
                                   QColor foreground, QWidget* parent = nullptr);
    // Padded 8 above and below and 16 at the sides, corners of 8: on the accent colour in
    // white, or (secondary) on gray at 30 % in the accent colour.
    static StyledButton* primary(const QString& text, QWidget* parent = nullptr);
    static StyledButton* secondary(const QString& text, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    void setBackground(QColor colour);
    QColor background() const { return background_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    StyledButton(Kind kind, const QString& text, QWidget* parent);
    Kind kind_;
    QColor background_;
    QColor foreground_;
    QSize fixedSize_;
};

} // namespace platform
