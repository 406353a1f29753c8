#pragma once
// The import command: archers from a spreadsheet's CSV file.

#include "data/competition_login.h"

#include <QString>

struct ImportSummary {
    int archers = 0;
    int countries = 0;       // created
    int ageClasses = 0;
    int shootingClasses = 0;
    int bowTypes = 0;
};

// Adds the archers of a UTF-8 CSV file with a header row, all or none.
// Countries, classes and bow types are given by name and created when
// missing. HostError "FILE line N: ..." for the first faulty record.
ImportSummary importArchers(const CompetitionLogin& login, const QString& csvPath);
