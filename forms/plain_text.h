#pragma once
// Archer texts (names, lanes, countries) come from the database as typed; a
// label or tool tip would take one that looks like markup as rich text.

#include <QString>

// A tool tip that shows text as it is written, also one like "<h1>BIG</h1>".
QString PlainToolTip(const QString& text);
