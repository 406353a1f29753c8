#pragma once
// The competition's own details (the one COMPETITION row) and the heading
// every printed or shown output carries.

#include <QString>

#include <string>

namespace db { class Connection; class Transaction; }

struct Competition {
    std::string name;              // COMPETITION.NAME, ISO 8859-1; empty when none
    std::string place;             // ISO 8859-1
    std::string startDate;         // YYYY-MM-DD, empty when none
    std::string finishedDate;      // YYYY-MM-DD, empty when none
};

// The competition's details, inside the caller's transaction or in a
// read-only one of its own. Empty when the table has no row.
Competition readCompetition(db::Connection& connection, db::Transaction& transaction);
Competition readCompetition(db::Connection& connection);

// "2026-12-09", "2026-12-09 to 2026-12-10", or empty.
QString competitionDates(const Competition& competition);

// One line: name, place and dates, each left out when empty
// ("Hallenturnier am Mühlbach, Sporthalle Süd, 2026-12-09").
QString competitionHeading(const Competition& competition);
