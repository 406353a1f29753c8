#pragma once
// Score cards on A4 paper, two cards a page to be cut apart: the
// competition, the archer's data and number as a Code 128 barcode, per
// round ten ends of three arrows with each end's sum and the running
// total, the totals, and the lines for the signatures. A blank card has
// the archer's data and empty ends, to be handed to the target.

#include "results/ranking.h"

#include <QString>

#include <vector>

// Writes the cards as a PDF file, each card drawn on its own: the time and
// memory grow by the card, not by the document. Needs a QGuiApplication.
// CommandError on failure.
void writeScorecardsPdf(const Competition& competition, const std::vector<ArcherResult>& archers, bool blank,
                        const QString& path);
