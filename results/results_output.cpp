#include "results/results_output.h"

#include "core/command_error.h"
#include "core/csv_writer.h"
#include "core/latin1.h"
#include "core/terminal_text.h"
#include "results/placing.h"
#include "results/results_notes.h"

#include <QFile>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

#include <algorithm>

namespace {

const int kTextColumns = 3;   // place, lane, name... the first columns read left-aligned

QString arrowsCell(const ArcherResult& a)
{
    QString cell = QString::number(a.arrowsEntered) + u'/' + QString::number(ArrowsPerCard);
    if (a.incomplete() && a.status != "DNS")
        cell += QStringLiteral(" incomplete");
    return cell;
}

} // namespace

QStringList resultColumnHeadings()
{
    return {QStringLiteral("Place"), QStringLiteral("Lane"),     QStringLiteral("Name"),
            QStringLiteral("Country"), QStringLiteral("Round 1"), QStringLiteral("Round 2"),
            QStringLiteral("Total"), QStringLiteral("10s"),      QStringLiteral("Xs"),
            QStringLiteral("9s"),    QStringLiteral("Arrows")};
}

QStringList resultCells(const ArcherResult& a)
{
    return {placeText(a),
            fromLatin1(a.lane),
            fromLatin1(a.name),
            fromLatin1(a.country),
            QString::number(a.roundPoints[0]),
            QString::number(a.roundPoints[1]),
            QString::number(a.total),
            QString::number(a.tens()),
            QString::number(a.xs),
            QString::number(a.nines()),
            arrowsCell(a)};
}

QString resultsAsText(const CompetitionResults& results)
{
    QString out;
    const QString heading = competitionHeading(results.competition);
    if (!heading.isEmpty())
        out += terminalSafe(heading) + u'\n';
    for (const ResultList& list : results.lists) {
        if (!out.isEmpty())
            out += u'\n';
        if (!list.faults.empty()) {
            out += terminalSafe(fromLatin1(list.name)) + QStringLiteral(": not ranked\n");
            for (const std::string& fault : list.faults)
                out += terminalSafe(QString::fromStdString(fault)) + u'\n';
            continue;
        }
        const QStringList headings = list.team ? teamColumnHeadings() : resultColumnHeadings();
        std::vector<QStringList> rows{headings};
        if (list.team) {
            out += terminalSafe(fromLatin1(list.name)) + QStringLiteral(" (") + QString::number(list.teams.size())
                   + (list.teams.size() == 1 ? QStringLiteral(" team, ") : QStringLiteral(" teams, "))
                   + QString::number(list.teamSize) + QStringLiteral(" counted)\n");
            for (const TeamResult& t : list.teams)
                rows.push_back(teamCells(t, list.teamSize));
        } else {
            out += terminalSafe(fromLatin1(list.name)) + QStringLiteral(" (") + QString::number(list.archers.size())
                   + (list.archers.size() == 1 ? QStringLiteral(" archer)\n") : QStringLiteral(" archers)\n"));
            for (const ArcherResult& a : list.archers)
                rows.push_back(resultCells(a));
        }
        // A name may hold control characters; the terminal shows them as text.
        for (QStringList& row : rows) {
            for (QString& cell : row)
                cell = terminalSafe(cell);
        }
        std::vector<qsizetype> width(std::size_t(headings.size()), 0);
        for (const QStringList& row : rows) {
            for (qsizetype c = 0; c < row.size(); ++c)
                width[std::size_t(c)] = std::max(width[std::size_t(c)], row[c].size());
        }
        for (const QStringList& row : rows) {
            QString line;
            for (qsizetype c = 0; c < row.size(); ++c) {
                if (c)
                    line += QStringLiteral("  ");
                // Names and lanes read from the left, numbers from the right.
                const bool left = list.team ? c == 1 || c == 2 : c == 1 || c == 2 || c == 3 || c == row.size() - 1;
                line += left ? row[c].leftJustified(width[std::size_t(c)]) : row[c].rightJustified(width[std::size_t(c)]);
            }
            while (line.endsWith(u' '))
                line.chop(1);
            out += line + u'\n';
        }
        for (const QString& note : listNotes(list))
            out += terminalSafe(note) + u'\n';
    }
    if (results.lists.empty())
        out += QStringLiteral("no archers\n");
    return out;
}

QByteArray resultsAsCsv(const CompetitionResults& results, QChar separator)
{
    QStringList headings = resultColumnHeadings();
    headings.prepend(QStringLiteral("List"));
    headings.append(QStringLiteral("Complete"));
    headings.replace(headings.indexOf(QStringLiteral("Arrows")), QStringLiteral("Arrows entered"));
    headings << QStringLiteral("Mark") << QStringLiteral("Members");
    CsvWriteOptions options;
    options.separator = separator;
    CsvWriter csv(options);
    // The competition heads the file in a row of its own.
    const QString heading = competitionHeading(results.competition);
    if (!heading.isEmpty())
        csv.addRow({heading});
    csv.addRow(headings);
    for (const ResultList& list : results.lists) {
        for (const ArcherResult& a : list.archers) {
            if (list.team)
                break;
            QStringList cells = resultCells(a);
            cells.first() = a.place > 0 ? QString::number(a.place) : QString();
            cells.last() = QString::number(a.arrowsEntered);
            cells.prepend(fromLatin1(list.name));
            cells << (a.incomplete() ? QStringLiteral("no") : QStringLiteral("yes")) << markText(a) << QString();
            csv.addRow(cells);
        }
        // A team's row: the team in Name and Country, its members last.
        for (const TeamResult& t : list.teams) {
            const QString team = fromLatin1(t.sum.name);
            const QString place = t.shortTeam ? QString() : QString::number(t.sum.place);
            csv.addRow({fromLatin1(list.name), place, QString(), team, team, QString::number(t.sum.roundPoints[0]),
                        QString::number(t.sum.roundPoints[1]), QString::number(t.sum.total),
                        QString::number(t.sum.tens()), QString::number(t.sum.xs), QString::number(t.sum.nines()),
                        QString::number(t.sum.arrowsEntered),
                        t.sum.arrowsEntered == t.counted * ArrowsPerCard ? QStringLiteral("yes") : QStringLiteral("no"),
                        t.shortTeam ? teamCells(t, list.teamSize).first() : QString(), teamMembersText(t)});
        }
    }
    // The notes of every list close the file, one a row.
    for (const ResultList& list : results.lists) {
        if (list.faults.empty()) {
            for (const QString& note : listNotes(list))
                csv.addRow({fromLatin1(list.name), note});
        }
    }
    return csv.bytes();
}

QString htmlEscaped(const QString& text)
{
    return text.toHtmlEscaped();
}

namespace {

// The page's colours, on a light or a dark ground.
struct HtmlColours {
    QString fg, bg, head, stripe;
    QString dim;   // what is not yet whole: an incomplete card, a short team
};

HtmlColours htmlColours(const HtmlStyle& style)
{
    if (style.dark)
        return {QStringLiteral("#f4f4f4"), QStringLiteral("#101820"), QStringLiteral("#24405a"),
                QStringLiteral("#18242f"), QStringLiteral("#ffb347")};
    return {QStringLiteral("#000000"), QStringLiteral("#ffffff"), QStringLiteral("#dde4ea"), QStringLiteral("#f3f5f7"),
            QStringLiteral("#8a4b00")};
}

// The open ties and the list's state under its table; "final" in green.
QString notesHtml(const ResultList& list, const HtmlStyle& style, const QString& dim)
{
    if (!list.faults.empty())
        return {};
    QString html;
    for (const OpenTie& tie : list.openTies)
        html += QStringLiteral("<p style=\"color:%1; margin:0px;\">%2</p>")
                    .arg(dim, htmlEscaped(QString::fromStdString(openTieText(tie))));
    const QString green = style.dark ? QStringLiteral("#7fdc7f") : QStringLiteral("#1a7f1a");
    html += QStringLiteral("<p style=\"color:%1; font-weight:bold; margin-top:2px;\">%2</p>")
                .arg(list.isFinal() ? green : dim, htmlEscaped(listStateText(list)));
    return html;
}

QString teamTableHtml(const ResultList& list, const HtmlStyle& style, const HtmlColours& colours)
{
    const QString& dim = colours.dim;
    const QStringList headings = teamColumnHeadings();
    QString html = QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"%1\" "
                                  "style=\"border-collapse:collapse; margin-top:%2px;\"><thead>"
                                  "<tr><td colspan=\"%3\" style=\"font-size:%4pt; font-weight:bold;\">%5</td></tr>"
                                  "<tr style=\"background-color:%6;\">")
                       .arg(style.fontPt / 3)
                       .arg(style.fontPt)
                       .arg(headings.size())
                       .arg(style.fontPt * 3 / 2)
                       .arg(htmlEscaped(fromLatin1(list.name)) + QStringLiteral(" (teams, best %1 count)").arg(list.teamSize),
                            colours.head);
    static const int widths[] = {12, 18, 46, 8, 6, 5, 5};
    for (int c = 0; c < headings.size(); ++c)
        html += QStringLiteral("<th align=\"%1\" width=\"%2%\">%3</th>")
                    .arg(c == 1 || c == 2 ? QStringLiteral("left") : QStringLiteral("right"))
                    .arg(widths[c])
                    .arg(headings[c]);
    html += QStringLiteral("</tr></thead>");
    int row = 0;
    for (const TeamResult& t : list.teams) {
        const QStringList cells = teamCells(t, list.teamSize);
        html += row++ % 2 ? QStringLiteral("<tr style=\"background-color:%1;\">").arg(colours.stripe)
                          : QStringLiteral("<tr>");
        for (int c = 0; c < cells.size(); ++c) {
            QString cell = htmlEscaped(cells[c]);
            if (c == 3)
                cell = QStringLiteral("<b>") + cell + QStringLiteral("</b>");
            if (c == 0 && t.shortTeam)
                cell = QStringLiteral("<span style=\"color:%1;\">%2</span>").arg(dim, cell);
            html += QStringLiteral("<td align=\"%1\">%2</td>")
                        .arg(c == 1 || c == 2 ? QStringLiteral("left") : QStringLiteral("right"), cell);
        }
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    for (const std::string& fault : list.faults)
        html += QStringLiteral("<p style=\"color:%1;\">not ranked: %2</p>")
                    .arg(dim, htmlEscaped(QString::fromStdString(fault)));
    if (list.teams.empty() && list.faults.empty())
        html += QStringLiteral("<p>no teams</p>");
    return html;
}

// The competition's name large; place, dates and the time the results
// were read under it.
QString competitionHtml(const CompetitionResults& results, const HtmlStyle& style)
{
    QString html;
    const Competition& competition = results.competition;
    if (!competition.name.empty())
        html += QStringLiteral("<p style=\"font-size:%1pt; font-weight:bold; margin-bottom:0px;\">%2</p>")
                    .arg(style.fontPt * 2)
                    .arg(htmlEscaped(fromLatin1(competition.name)));
    QStringList under;
    if (!competition.place.empty())
        under << htmlEscaped(fromLatin1(competition.place));
    if (const QString dates = competitionDates(competition); !dates.isEmpty())
        under << dates;
    if (!results.asOf.empty())
        under << QStringLiteral("as of ") + QString::fromStdString(results.asOf);
    if (!under.isEmpty())
        html += QStringLiteral("<p>%1</p>").arg(under.join(QStringLiteral(", ")));
    return html;
}

QString archerTableHtml(const ResultList& list, const HtmlStyle& style, const HtmlColours& colours)
{
    const QStringList headings = resultColumnHeadings();
    // The list's name heads its table: on paper it goes to the next page
    // together with the column headings, which repeat there.
    QString html = QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"%1\" "
                                  "style=\"border-collapse:collapse; margin-top:%2px;\"><thead>"
                                  "<tr><td colspan=\"%3\" style=\"font-size:%4pt; font-weight:bold;\">%5</td></tr>"
                                  "<tr style=\"background-color:%6;\">")
                       .arg(style.fontPt / 3)
                       .arg(style.fontPt)
                       .arg(headings.size())
                       .arg(style.fontPt * 3 / 2)
                       .arg(htmlEscaped(fromLatin1(list.name)), colours.head);
    // Widths in percent of the line: the text layout breaks words that do
    // not fit, so every column is given room for its longest heading.
    static const int widths[] = {7, 7, 22, 14, 8, 8, 7, 5, 5, 5, 12};
    for (int c = 0; c < headings.size(); ++c)
        html += QStringLiteral("<th align=\"%1\" width=\"%2%\">%3</th>")
                    .arg(c >= 1 && c <= 3 ? QStringLiteral("left") : QStringLiteral("right"))
                    .arg(widths[c])
                    .arg(headings[c]);
    html += QStringLiteral("</tr></thead>");
    int row = 0;
    for (const ArcherResult& a : list.archers) {
        const QStringList cells = resultCells(a);
        html += row++ % 2 ? QStringLiteral("<tr style=\"background-color:%1;\">").arg(colours.stripe)
                          : QStringLiteral("<tr>");
        for (int c = 0; c < cells.size(); ++c) {
            QString cell = htmlEscaped(cells[c]);
            if (c == 6)
                cell = QStringLiteral("<b>") + cell + QStringLiteral("</b>");
            if (c == cells.size() - 1 && a.incomplete() && a.status != "DNS")
                cell = QStringLiteral("<span style=\"color:%1;\">%2</span>")
                           .arg(colours.dim, htmlEscaped(cells[c]).replace(u' ', QStringLiteral("<br>")));
            html += QStringLiteral("<td align=\"%1\">%2</td>")
                        .arg(c >= 1 && c <= 3 ? QStringLiteral("left") : QStringLiteral("right"), cell);
        }
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    for (const std::string& fault : list.faults)
        html += QStringLiteral("<p style=\"color:%1;\">not ranked: %2</p>")
                    .arg(colours.dim, htmlEscaped(QString::fromStdString(fault)));
    if (list.archers.empty() && list.faults.empty())
        html += QStringLiteral("<p>no archers</p>");
    return html;
}

} // namespace

QString resultsAsHtml(const CompetitionResults& results, const HtmlStyle& style)
{
    const HtmlColours colours = htmlColours(style);
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>Results</title></head>"
                                  "<body style=\"color:%1; background-color:%2; font-size:%3pt;\">")
                       .arg(colours.fg, colours.bg)
                       .arg(style.fontPt);
    html += competitionHtml(results, style);
    for (const ResultList& list : results.lists) {
        html += list.team ? teamTableHtml(list, style, colours) : archerTableHtml(list, style, colours);
        html += notesHtml(list, style, colours.dim);
    }
    if (results.lists.empty())
        html += QStringLiteral("<p>no archers</p>");
    html += QStringLiteral("</body></html>");
    return html;
}

void writePdf(const QString& html, const QString& path, const QString& title)
{
    QPdfWriter writer(path);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("tallyon"));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    doc.setHtml(html);
    // Laid out anew on the writer's pages, numbered at the foot.
    doc.print(&writer);
    if (!QFile::exists(path) || QFile(path).size() == 0)
        throw CommandError("cannot write " + path.toStdString());
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw CommandError("cannot write " + path.toStdString() + ": " + file.errorString().toStdString());
}
