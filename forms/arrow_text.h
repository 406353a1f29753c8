#pragma once
// The text an arrow box shows for a stored arrow.

#include <QString>

class TArcheryPoint;

// "X" for an X, the points, "M" for a miss, an empty text for an arrow not yet shot.
QString ArrowText(const TArcheryPoint& arrow);
