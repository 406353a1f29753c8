#pragma once
// Typing as an operator does, into whatever widget has the focus.

#include <QString>

class QLineEdit;
class QWidget;

// Gives the box the focus (as Tab would, which selects its text) and types
// keys into the focused widget one by one: '\b' is Backspace, '^' selects the
// whole text of the box, every other character is typed as it is.
void typeInto(QLineEdit* box, const QString& keys);

// Types keys into target as they are, '\b' as Backspace, leaving the focus
// and the selection as they stand.
void typeKeys(QWidget* target, const QString& keys);
