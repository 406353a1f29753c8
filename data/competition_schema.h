#pragma once
// The competition database's schema: every table of the competition and the
// base classes databases, their keys and generators.

#include "data/competition_login.h"

#include <string>
#include <vector>

// The schema script's statements, one per entry, without terminators.
std::vector<std::string> CompetitionSchemaStatements();

// Creates a new database file (fails when the path exists, or a server
// refuses) in SQL dialect 3 with character set ISO8859_1 and runs the
// schema script in one transaction. Nothing is left behind on failure.
void CreateCompetitionDatabase(const CompetitionLogin& login);

namespace db { class Connection; }

// What the connected database lacks of the columns the points entry reads
// and writes: every column of ARCHER and POINTS, the key and the name of
// the four lookup tables. "TABLE.COLUMN" each, in table order; a table that
// is missing altogether gives every column it should have.
std::vector<std::string> MissingCompetitionColumns(db::Connection& connection);

// Adds the unique keys of the roster's rules (one archer per lane, one
// country, bow type, age class and shooting class per name) that a database
// made before them lacks. A key whose rule the stored rows break already,
// or that the server does not let us add now, is left out; the answer says
// so, one line each. Never throws for that.
std::vector<std::string> EnsureRosterKeys(db::Connection& connection, const std::string& database);
