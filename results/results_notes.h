#pragma once
// What every output of the results says besides the rows: the marks of an
// archer's status and shoot-off, the team rows, and the notes under each
// list (ties still open, provisional or final).

#include "results/ranking.h"

#include <QString>
#include <QStringList>

// The place as shown: "5", "5 SO", "7 DNF", "DNS" or "DSQ" (no place).
QString placeText(const ArcherResult& a);
// The mark alone: "SO", "DNF", "DNS", "DSQ" or empty.
QString markText(const ArcherResult& a);

// "provisional: 12 of 40 cards verified", or "final".
QString listStateText(const ResultList& list);
// The ties still open, one line each, then the list's state.
QStringList listNotes(const ResultList& list);

// The columns and cells of a team list.
QStringList teamColumnHeadings();
// "Koch, Emil 540; Wolf, Anna 538": the members whose scores count.
QString teamMembersText(const TeamResult& team);
QStringList teamCells(const TeamResult& team, int teamSize);
