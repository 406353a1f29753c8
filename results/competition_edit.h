#pragma once
// Showing and setting the competition's details, the one COMPETITION row.

#include <QString>
#include <QStringList>

namespace db { class Connection; }

// The details, one a line, or a hint how to set them when there are none.
QString competitionDetailsText(db::Connection& connection);

// Sets NAME, PLACE, STARTDATE and FINISHEDDATE from "COLUMN=VALUE" texts
// (an empty value clears all but NAME), keeping the table at one row and
// the other columns as they are. Dates are YYYY-MM-DD; the competition
// cannot end before it starts. CommandError naming the column on a refusal;
// nothing is changed then.
void setCompetitionDetails(db::Connection& connection, const QStringList& assignments);
