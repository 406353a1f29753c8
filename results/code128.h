#pragma once
// Code 128 barcodes, as score cards carry the archer's number: the symbol
// values with their check digit, and the widths of the bars and spaces to
// draw. Digits only go in code set C (two digits a symbol) when their
// count is even; any other text of printable ASCII in code set B.

#include <QRectF>

#include <string>
#include <vector>

class QPainter;

// The symbol values: start, data, check digit; the stop is not among them.
// Empty for a text with a character outside ASCII 32 to 126, or no text.
std::vector<int> code128Symbols(const std::string& text);

// The widths in modules, bar first and then alternating space and bar, of
// the symbols with the stop pattern; the quiet zones are not included.
std::vector<int> code128Widths(const std::vector<int>& symbols);

// Draws the code of text into the rectangle, its quiet zones (ten modules
// each side) within it; black bars on what is there. False when text
// cannot be coded.
bool drawCode128(QPainter& painter, const QRectF& rect, const std::string& text);
