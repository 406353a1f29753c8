#pragma once
// The commands that create and fill a competition database.

#include "data/uTallyonData.h"

#include <QString>

namespace db { class Connection; }

// Connects as the login says (dialect 3, ISO 8859-1). A plain path must name
// an existing file: nothing is ever created here. HostError on failure.
void openCompetitionDatabase(db::Connection& connection, const CompetitionLogin& login);
// HostError naming the first table of the competition that the database lacks.
void checkCompetitionSchema(db::Connection& connection, const std::string& database);

// A new database with the schema and no rows. HostError when the file exists.
void initCompetition(const CompetitionLogin& login);

// A new database holding a demo competition: 40 archers on 14 lanes, some
// with both rounds scored, some with the first round only.
void createDemoCompetition(const CompetitionLogin& login);

struct ImportSummary {
    int archers = 0;
    int countries = 0;       // created
    int ageClasses = 0;
    int shootingClasses = 0;
    int bowTypes = 0;
};

// Adds the archers of a UTF-8 CSV file with a header row, all or none.
// Countries, classes and bow types are given by name and created when
// missing. HostError "FILE:LINE: ..." for the first faulty record.
ImportSummary importArchers(const CompetitionLogin& login, const QString& csvPath);
