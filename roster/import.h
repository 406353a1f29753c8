#pragma once
// The import command: archers from a spreadsheet's CSV file.

#include "data/competition_login.h"

#include <QString>

#include <string>
#include <vector>

struct ImportOptions {
    bool strict = false;     // refuse columns the import does not know
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
// separator (comma, semicolon or tab) is the header's; the text is UTF-8,
// or Windows-1252 when it is not. Countries, classes and bow types are
// given by name and created when missing. CommandError "FILE line N: ..." for
// the first faulty record.
ImportSummary importArchers(const CompetitionLogin& login, const QString& csvPath, const ImportOptions& options = {});
