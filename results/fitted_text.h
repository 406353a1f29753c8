#pragma once
// Text drawn into a box on paper without breaking a word: the font shrinks
// until the text fits on one line; below the smallest size it wraps
// between words only, each word whole.

#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

// A font of the printed pages at a size in points.
QFont printFont(qreal pt, bool bold = false);

void drawFitted(QPainter& painter, const QRectF& rect, const QString& text, QFont font, int align = Qt::AlignLeft);

// A database text on one line: line breaks and tabs of a free text as spaces.
QString oneLineText(const std::string& latin1);
