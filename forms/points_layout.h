#pragma once
// The points window's layout rules that its handlers and the tests share:
// what each box is called (how many there are: core/round_format.h).

#include "core/round_format.h"

#include <QColor>
#include <QString>

// Every label of the window is one line high.
inline constexpr int LabelHeight = 13;
// The window's light blue, also of the bars, the round panels and the tree.
inline constexpr QColor WindowColour(0x7E, 0xA7, 0xE4);

// Round 1: pe1, pe2, PointEdit3 ... PointEdit30. Round 2: PointEdit1,
// PointEdit2, PointEdit31 ... PointEdit58.
QString ArrowBoxName(int round, int arrow);
// Sum k of a round: ends 1-10 "se1"/"SumEdit1" ..., pairs of ends 11-15,
// the round 16, and in round 2 the grand total 17.
QString SumBoxName(int round, int k);
