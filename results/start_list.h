#pragma once
// The start list: who shoots on which lane, as the organiser pins it up
// before the shoot, a few lanes a page, and as CSV.

#include "results/ranking.h"

#include <QByteArray>
#include <QChar>
#include <QString>

#include <vector>

// Lanes (by lane number) on one page of the printed list.
inline constexpr int kStartListLanesPerPage = 5;

// Writes the printed list as an A4 PDF file: on every page the title and
// the competition's heading, then a few lanes with their archers' names,
// clubs (when any archer has one), countries, bow types and classes; no
// name breaks inside a word. archers in lane order. Needs a
// QGuiApplication. CommandError on failure.
void writeStartListPdf(const Competition& competition, const std::vector<ArcherResult>& archers, const QString& path);

// UTF-8 with a byte order mark and a header row; cells a spreadsheet would
// run as a formula are guarded as text.
QByteArray startListAsCsv(const std::vector<ArcherResult>& archers, QChar separator);
