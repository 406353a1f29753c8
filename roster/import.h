#pragma once
// The import command: archers from a spreadsheet's CSV file.

#include "data/competition_login.h"

#include <QString>

#include <string>
#include <vector>

struct ImportOptions {
    bool strict = false;     // refuse columns the import does not know
    QString columnMap;       // "Scheibe=LANENO,Nation=COUNTRY": the file's own headers
    bool clubAsTeam = false; // the club column names the team (COUNTRY) instead of the country
};

struct ImportSummary {
    int archers = 0;
    int countries = 0;       // created
    int ageClasses = 0;
    int shootingClasses = 0;
    int bowTypes = 0;
    std::vector<std::string> notes;   // what the reader assumed: the encoding, ignored columns
};

// Adds the archers of a CSV file with a header row, all or none. The
// header names the columns by their names, by the usual German, French or
// English words (Scheibe, Vorname, Verein, Nation...) or by the map. The
// separator (comma, semicolon or tab) is the header's; the text is UTF-8,
// or Windows-1252 when it is not. Countries, classes and bow types are
// given by name (any case, spaces around ignored) and created when
// missing; sexes are read as M and F. CommandError "FILE line N: ..." for
// the first faulty record.
ImportSummary importArchers(const CompetitionLogin& login, const QString& csvPath, const ImportOptions& options = {});
