#include "results/scorecard.h"

#include "core/latin1.h"
#include "core/round_format.h"
#include "results/results_output.h"

namespace {

QString text(const std::string& latin1Bytes)
{
    return htmlEscaped(fromLatin1(latin1Bytes));
}

QString cell(const QString& content, const char* extra = "")
{
    return QStringLiteral("<td align=\"center\" %1>%2</td>").arg(QLatin1String(extra), content.isEmpty() ? QStringLiteral("&nbsp;") : content);
}

QString roundTable(const ArcherResult& a, int round, bool blank)
{
    const auto& arrows = a.arrows[std::size_t(round - 1)];
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\" "
                                  "style=\"border-collapse:collapse; border-color:#000;\">");
    html += QStringLiteral("<tr><th colspan=\"6\" style=\"background-color:#dde4ea;\">Round %1</th></tr>").arg(round);
    html += QStringLiteral("<tr style=\"background-color:#f3f5f7;\"><th>End</th><th>1</th><th>2</th><th>3</th>"
                           "<th>End</th><th>Total</th></tr>");
    int running = 0;
    int tens = 0, xs = 0, nines = 0;
    for (int end = 0; end < EndsPerRound; ++end) {
        int sum = 0;
        bool any = false;
        html += QStringLiteral("<tr>") + cell(QString::number(end + 1), "style=\"background-color:#f3f5f7;\"");
        for (int i = 0; i < ArrowsPerEnd; ++i) {
            const CardArrow& arrow = arrows[std::size_t(end * ArrowsPerEnd + i)];
            if (arrow.entered && !blank) {
                any = true;
                sum += arrow.point;
                tens += arrow.point == 10;
                xs += arrow.cross;
                nines += arrow.point == 9;
            }
            html += cell(blank ? QString() : cardArrowText(arrow), "width=\"13%\"");
        }
        running += sum;
        html += cell(any ? QStringLiteral("<b>%1</b>").arg(sum) : QString());
        html += cell(any ? QString::number(running) : QString());
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("<tr><td colspan=\"4\" align=\"right\"><b>Round %1</b></td><td colspan=\"2\" align=\"center\">"
                           "<b>%2</b></td></tr>")
                .arg(round)
                .arg(blank ? QStringLiteral("&nbsp;") : QString::number(a.roundPoints[std::size_t(round - 1)]));
    if (!blank)
        html += QStringLiteral("<tr><td colspan=\"6\" align=\"center\">10s: <b>%1</b> &nbsp; Xs: <b>%2</b> &nbsp; "
                               "9s: <b>%3</b></td></tr>")
                    .arg(tens)
                    .arg(xs)
                    .arg(nines);
    html += QStringLiteral("</table>");
    return html;
}

QString card(const Competition& competition, const ArcherResult& a, bool first, bool blank)
{
    QString html;
    html += QStringLiteral("<div style=\"%1\">").arg(first ? QString() : QStringLiteral("page-break-before:always;"));
    if (const QString heading = competitionHeading(competition); !heading.isEmpty())
        html += QStringLiteral("<p style=\"font-size:11pt;\">%1</p>").arg(htmlEscaped(heading));
    html += QStringLiteral("<h1 style=\"font-size:20pt;\">Score card &nbsp; Lane %1</h1>").arg(text(a.lane));
    html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\" width=\"100%\" style=\"font-size:12pt;\">");
    html += QStringLiteral("<tr><td width=\"22%\">Name</td><td><b style=\"font-size:16pt;\">%1</b></td>"
                           "<td width=\"18%\">Archer no.</td><td width=\"14%\"><b>%2</b></td></tr>")
                .arg(text(a.name))
                .arg(a.archerId);
    html += QStringLiteral("<tr><td>Country</td><td><b>%1</b></td><td>Sex</td><td><b>%2</b></td></tr>")
                .arg(text(a.country), text(a.sex));
    html += QStringLiteral("<tr><td>Bow type</td><td><b>%1</b></td><td>Age class</td><td><b>%2</b></td></tr>")
                .arg(text(a.bowType), text(a.ageClass));
    html += QStringLiteral("<tr><td>Shooting class</td><td colspan=\"3\"><b>%1</b></td></tr>").arg(text(a.shootingClass));
    html += QStringLiteral("</table><br>");

    html += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"0\" style=\"font-size:12pt;\"><tr>"
                           "<td width=\"49%\" valign=\"top\">%1</td><td width=\"2%\"></td>"
                           "<td width=\"49%\" valign=\"top\">%2</td></tr></table><br>")
                .arg(roundTable(a, 1, blank), roundTable(a, 2, blank));

    html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"6\" width=\"100%\" "
                           "style=\"border-collapse:collapse; font-size:13pt;\"><tr style=\"background-color:#dde4ea;\">"
                           "<th>Total</th><th>10s</th><th>Xs</th><th>9s</th><th>Arrows entered</th></tr><tr>");
    if (blank)
        html += cell({}) + cell({}) + cell({}) + cell({}) + cell({});
    else
        html += cell(QStringLiteral("<b>%1</b>").arg(a.total)) + cell(QString::number(a.tens()))
                + cell(QString::number(a.xs)) + cell(QString::number(a.nines()))
                + cell(QStringLiteral("%1 of %2%3")
                           .arg(a.arrowsEntered)
                           .arg(ArrowsPerCard)
                           .arg(a.incomplete() ? QStringLiteral(" (incomplete)") : QString()));
    html += QStringLiteral("</tr></table><br><br><br>");

    html += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\" style=\"font-size:11pt;\"><tr>"
                           "<td width=\"45%\" style=\"border-top:1px solid #000;\">Archer's signature</td>"
                           "<td width=\"10%\"></td>"
                           "<td width=\"45%\" style=\"border-top:1px solid #000;\">Scorer's signature</td></tr></table>");
    html += QStringLiteral("</div>");
    return html;
}

} // namespace

QString cardArrowText(const CardArrow& arrow)
{
    if (!arrow.entered)
        return {};
    if (arrow.cross)
        return QStringLiteral("X");
    if (arrow.point == 0)
        return QStringLiteral("M");
    return QString::number(arrow.point);
}

QString scorecardsAsHtml(const Competition& competition, const std::vector<ArcherResult>& archers, bool blank)
{
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>Score cards</title></head><body>");
    bool first = true;
    for (const ArcherResult& a : archers) {
        html += card(competition, a, first, blank);
        first = false;
    }
    html += QStringLiteral("</body></html>");
    return html;
}
