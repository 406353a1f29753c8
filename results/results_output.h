#pragma once
// The result lists as a person reads them: an aligned table for the
// terminal, CSV for spreadsheets, HTML, and A4 PDF pages.

#include "results/ranking.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The column headings, in the order every form shows them.
QStringList resultColumnHeadings();
// One archer's cells under those headings; the place reads "3" and the
// arrows "57/60 incomplete" while arrows are missing.
QStringList resultCells(const ArcherResult& a);

// Plain text: a heading per list, then its rows in aligned columns; a list
// with faults shows them instead. CSV leaves such a list out (the caller
// reports its faults); HTML shows them under the list's heading.
QString resultsAsText(const CompetitionResults& results);
// UTF-8 with a byte order mark and a header row; the list's name leads
// every row; cells a spreadsheet would run as a formula are guarded as text.
QByteArray resultsAsCsv(const CompetitionResults& results, QChar separator);

struct HtmlStyle {
    int fontPt = 10;        // the table's text
    bool dark = false;      // light text on dark, for a screen across a hall
};
QString resultsAsHtml(const CompetitionResults& results, const HtmlStyle& style = {});

// Writes the HTML of a document to an A4 PDF file (portrait, 2 cm margins, numbered pages)
// through Qt's text layout. Needs a QGuiApplication. CommandError on failure.
void writePdf(const QString& html, const QString& path, const QString& title);

// Writes bytes to a file, replacing it. CommandError on failure.
void writeFile(const QString& path, const QByteArray& bytes);

// Text in HTML with &, <, > and " escaped.
QString htmlEscaped(const QString& text);
