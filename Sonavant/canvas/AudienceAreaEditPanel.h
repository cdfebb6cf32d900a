#pragma once
// The small floating panel beside the audience area being edited: its name and its colour.
// It only shows and reports; the layer that owns it writes the show.

#include <QString>
#include <QWidget>

#include <vector>

class QLineEdit;
class QMenu;
class QToolButton;

class AudienceAreaEditPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int fieldWidth = 100;
    // Room around the plate for its shadow, inside the widget so the holes cut it too.
    static constexpr int shadowMargin = 3;

    explicit AudienceAreaEditPanel(QWidget* parent = nullptr);

    // Shows the area's current name and colour without reporting them back.
    void showArea(const QString& name, const QString& colour);
    // Places the panel with its centre at `centre` (parent coordinates). The node handles
    // lie above the panel: where one overlaps it, the panel leaves a hole, so the handle drawn
    // on the canvas shows and takes the press.
    void centreAt(QPointF centre, const std::vector<QPointF>& handles = {}, double handleDiameter = 16);

    QLineEdit* nameField() const { return name_; }
    QToolButton* colourButton() const { return colour_; }
    QMenu* colourMenu() const { return menu_; }

signals:
    void nameEdited(const QString& name);
    void colourChosen(const QString& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLineEdit* name_;
    QToolButton* colour_;
    QMenu* menu_;
    QString shownColour_;
};
