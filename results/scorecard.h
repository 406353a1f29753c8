#pragma once
// Score cards as the paper card looks: per round ten ends of three arrows,
// each end's sum and the running total, the counts of 10s, Xs and 9s, and
// lines for the archer's and the scorer's signatures, as HTML (the PDF
// pages are drawn by scorecard_pages). A blank card leaves every end and
// sum empty.

#include "results/ranking.h"

#include <QString>

#include <vector>

// The text an arrow shows on a card: "X", "10" to "1", "M", or empty while
// nothing is entered.
QString cardArrowText(const CardArrow& arrow);

QString scorecardsAsHtml(const Competition& competition, const std::vector<ArcherResult>& archers, bool blank = false);
