#pragma once
// What both property sheets are built from: row labels, number fields, the caption
// that carries a complaint, the divider, the titled box with its symbol, and how fields
// and menus show the show's values without disturbing an edit in progress.

#include <QString>

#include <string>
#include <vector>

class QBoxLayout;
class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPixmap;
class QPushButton;
class QWidget;
class StepperButtons;

namespace sheetparts {

enum class Symbol { speaker, microphone };

QLabel* rowLabel(const QString& text, QWidget* parent);
QLineEdit* numberField(QWidget* parent, const QString& objectName);
QLabel* validationCaption(QWidget* parent);
// Shows the message on the caption, or hides it (keeping its line) when there is none.
void showValidation(QLabel* caption, const std::string& message);
QWidget* divider(QWidget* parent);
// A title row (symbol and text) over an untitled box; the box is returned, the row is
// added to `layout`.
QGroupBox* titledBox(const QString& title, Symbol symbol, QWidget* parent, QLayout* layout);
QPixmap symbolPixmap(Symbol symbol, int size, const QWidget& forWidget);
// The "Display Name:" row, added to `rows`; its field is returned.
QLineEdit* nameRow(QWidget* group, QBoxLayout* rows);
// A labelled number field with its stepper, added to `rows`; the field is returned.
QLineEdit* steppedNumberRow(const QString& label, const QString& objectName, QWidget* group, QBoxLayout* rows,
                            StepperButtons*& stepper);
// The sheet's two buttons at either end, added to `layout`.
void buttonRow(QPushButton* left, QPushButton* right, QBoxLayout* layout);

// Shows `text` unless the operator is typing into the field.
void showFieldText(QLineEdit* field, const QString& text);
// Offers exactly `types` (kept when unchanged) with `current` picked, or nothing picked
// when it is not among them.
void showTypes(QComboBox* picker, const std::vector<std::string>& types, const std::string& current);
// A message that appears must not squeeze the rows: the sheet grows to hold it.
void growToFit(QWidget* sheet);

} // namespace sheetparts
