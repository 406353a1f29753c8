#pragma once
// The results as JSON for the web pages and for anyone who reads them with
// a program: the competition, the moment they were read, and every list
// with its ranked archers.

#include "results/ranking.h"

#include <QDateTime>
#include <QJsonObject>

// {"place", "name", "country", "lane", "total", "tens", "xs", "nines",
//  "arrows", "arrowsPerCard"}; texts turned from ISO 8859-1 into Unicode.
QJsonObject archerJson(const ArcherResult& archer);
// {"name", "archers": [...], "faults": [...]}.
QJsonObject listJson(const ResultList& list);
// {"competition": {"name", "place"}, "asOf": ISO 8601 UTC, "lists": [...]}.
QJsonObject resultsJson(const CompetitionResults& results, const QDateTime& asOf);
