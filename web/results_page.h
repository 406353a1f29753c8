#pragma once
// The results page for phones and its "hall" form for a screen across the
// hall: one self-contained document (its style and script come from the
// same server, no outside fonts or scripts), readable at 360 px. The
// ranking is in the document as served; the script then takes every update
// the server pushes and shows it without a reload.

#include "results/ranking.h"

#include <QByteArray>
#include <QDateTime>

enum class PageForm { Phone, Hall };

// The page of the results read at asOf, names and every other text escaped.
QByteArray resultsPage(const CompetitionResults& results, const QDateTime& asOf, PageForm form);
// The page's style sheet and script, served as /app.css and /app.js.
QByteArray pageStyle();
QByteArray pageScript();
