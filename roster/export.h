#pragma once
// The export command: every archer with every arrow, as a CSV file.

#include "data/competition_login.h"

#include <QString>

struct ExportSummary {
    int archers = 0;
    int arrows = 0;      // arrows with a value
};

// Writes a UTF-8 CSV file (with a byte order mark, for spreadsheets; cells
// a spreadsheet would run as a formula guarded as text): one
// row per stored arrow with the archer's columns, the round, the arrow and
// its value as the card shows it (X, 10 to 1, M, empty); an archer without
// rows gets one row without round and arrow. Replaces the file only when
// everything is written; CommandError on failure.
ExportSummary exportCompetition(const CompetitionLogin& login, const QString& csvPath, QChar separator = u',');
