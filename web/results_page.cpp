#include "web/results_page.h"

#include "core/latin1.h"
#include "results/results_output.h"

namespace {

QString text(const std::string& latin1) { return htmlEscaped(fromLatin1(latin1)); }

QString archerRow(const ArcherResult& a)
{
    QString total = QString::number(a.total);
    if (a.incomplete())
        total += QStringLiteral("<small>%1/%2</small>").arg(a.arrowsEntered).arg(ArrowsPerCard);
    return QStringLiteral("<tr><td class=\"pl\">%1</td><td class=\"nm\"><span class=\"name\">%2</span>"
                          "<span class=\"club\">%3</span></td><td class=\"tot\">%4</td>"
                          "<td class=\"tb\">%5</td><td class=\"tb\">%6</td><td class=\"tb\">%7</td></tr>")
        // One pass: a name holding "%1" stays as it is.
        .arg(QString::number(a.place), text(a.name), text(a.country), total, QString::number(a.tens()),
             QString::number(a.xs), QString::number(a.nines()));
}

QString listSection(const ResultList& list)
{
    QString html = QStringLiteral("<section class=\"list\" data-list=\"%1\"><h2>%1</h2>").arg(text(list.name));
    for (const std::string& fault : list.faults)
        html += QStringLiteral("<p class=\"fault\">%1</p>").arg(htmlEscaped(QString::fromStdString(fault)));
    if (list.faults.empty()) {
        html += QStringLiteral("<table><thead><tr><th class=\"pl\">#</th><th class=\"nm\">Name</th>"
                               "<th class=\"tot\">Total</th><th class=\"tb\">10</th><th class=\"tb\">X</th>"
                               "<th class=\"tb\">9</th></tr></thead><tbody>");
        for (const ArcherResult& a : list.archers)
            html += archerRow(a);
        html += QStringLiteral("</tbody></table>");
        if (list.archers.empty())
            html += QStringLiteral("<p class=\"empty\">No archers.</p>");
    }
    return html + QStringLiteral("</section>");
}

} // namespace

QByteArray resultsPage(const CompetitionResults& results, const QDateTime& asOf, PageForm form)
{
    const QString name = results.competition.name.empty() ? QStringLiteral("Results") : text(results.competition.name);
    const QDateTime utc = asOf.toUTC();
    QString options = QStringLiteral("<option value=\"\">All lists</option>");
    for (const ResultList& list : results.lists)
        options += QStringLiteral("<option>%1</option>").arg(text(list.name));
    QString sections;
    for (const ResultList& list : results.lists)
        sections += listSection(list);
    const QString html = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<title>%1</title><link rel=\"stylesheet\" href=\"/app.css\"></head>\n"
        "<body class=\"%2\"><header><h1 id=\"competition\">%1</h1>"
        "<p class=\"asof\">as of <time id=\"asof\" datetime=\"%3\">%4 UTC</time> <span id=\"live\"></span></p>"
        "<nav class=\"controls\"><select id=\"list\" aria-label=\"Result list\">%5</select>"
        "<input id=\"search\" type=\"search\" placeholder=\"Search name\" aria-label=\"Search by name\"></nav>"
        "</header>\n<main id=\"lists\">%6</main>\n<script src=\"/app.js\"></script></body></html>\n")
        .arg(name, form == PageForm::Hall ? QStringLiteral("hall") : QStringLiteral("phone"),
             utc.toString(Qt::ISODate), utc.toString(QStringLiteral("HH:mm:ss")), options, sections);
    return html.toUtf8();
}
