#include "results/scorecard_pages.h"

#include "core/command_error.h"
#include "core/latin1.h"
#include "core/round_format.h"
#include "results/code128.h"
#include "results/fitted_text.h"
#include "results/scorecard.h"

#include <QFile>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace {

constexpr int kDpi = 300;
constexpr qreal kCardHeightMm = 148.5;   // half an A4 page
constexpr qreal kCardWidthMm = 210.0;
constexpr qreal kMarginMm = 8.0;

qreal mm(qreal millimetres)
{
    return millimetres * kDpi / 25.4;
}

QRectF box(qreal x, qreal y, qreal w, qreal h)
{
    return {mm(x), mm(y), mm(w), mm(h)};
}

QFont font(qreal pt, bool bold = false)
{
    return printFont(pt, bold);
}

void cell(QPainter& p, const QRectF& rect, const QString& text, const QFont& f, bool shaded = false)
{
    if (shaded)
        p.fillRect(rect, QColor(0xe6, 0xea, 0xee));
    p.drawRect(rect);
    if (!text.isEmpty())
        drawFitted(p, rect.adjusted(mm(0.5), 0, -mm(0.5), 0), text, f, Qt::AlignHCenter);
}

// The card's head: the competition and its date, the archer's number as
// text and as a barcode.
void drawHead(QPainter& p, const Competition& competition, const ArcherResult& a, qreal top)
{
    const qreal left = kMarginMm;
    drawFitted(p, box(left, top + 6, 130, 6), fromLatin1(competition.name).isEmpty()
                   ? QStringLiteral("Score card") : oneLineText(competition.name), font(11, true));
    QString second = oneLineText(competition.place);
    const QString dates = competitionDates(competition);
    if (!dates.isEmpty())
        second += (second.isEmpty() ? QString() : QStringLiteral(", ")) + dates;
    drawFitted(p, box(left, top + 12, 130, 5), second, font(9));
    drawCode128(p, box(148, top + 5, 54, 11), std::to_string(a.archerId));
    drawFitted(p, box(148, top + 16, 54, 4), QStringLiteral("Archer no. %1").arg(a.archerId), font(8),
               Qt::AlignHCenter);
}

// The archer's data: lane and name large, then label and value pairs in two columns.
void drawArcher(QPainter& p, const ArcherResult& a, qreal top)
{
    const qreal left = kMarginMm;
    drawFitted(p, box(left, top + 21, 30, 8), QStringLiteral("Lane ") + oneLineText(a.lane), font(15, true));
    drawFitted(p, box(left + 32, top + 21, 160, 8), oneLineText(a.name), font(15, true));
    const QString club = oneLineText(a.club);
    const std::pair<QString, QString> pairs[] = {
        {QStringLiteral("Club"), club.isEmpty() ? QStringLiteral("-") : club},
        {QStringLiteral("Country"), oneLineText(a.country)},
        {QStringLiteral("Bow type"), oneLineText(a.bowType)},
        {QStringLiteral("Sex"), oneLineText(a.sex)},
        {QStringLiteral("Age class"), oneLineText(a.ageClass)},
        {QStringLiteral("Class"), oneLineText(a.shootingClass)},
    };
    for (int i = 0; i < 6; ++i) {
        const qreal x = left + (i % 2) * 97;
        const qreal y = top + 30 + (i / 2) * 5.5;
        drawFitted(p, box(x, y, 22, 5.5), pairs[i].first, font(8));
        drawFitted(p, box(x + 22, y, 72, 5.5), pairs[i].second, font(10, true));
    }
}

// One round: a title row, the column headings, ten ends and the round's sums.
void drawRound(QPainter& p, const ArcherResult& a, int round, qreal x, qreal y, bool blank)
{
    const qreal widths[] = {10, 14, 14, 14, 18, 22};   // End, three arrows, end sum, running total
    const qreal row = 5.5;
    const QFont head = font(8, true);
    const QFont body = font(10);
    cell(p, box(x, y, 92, row), QStringLiteral("Round %1").arg(round), head, true);
    const QString headings[] = {QStringLiteral("End"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                QStringLiteral("Sum"), QStringLiteral("Total")};
    qreal cx = x;
    for (int c = 0; c < 6; ++c) {
        cell(p, box(cx, y + row, widths[c], row), headings[c], head, true);
        cx += widths[c];
    }
    const auto& arrows = a.arrows[std::size_t(round - 1)];
    int running = 0, tens = 0, xs = 0, nines = 0;
    for (int end = 0; end < EndsPerRound; ++end) {
        const qreal ry = y + (end + 2) * row;
        QString texts[6] = {QString::number(end + 1)};
        int sum = 0;
        bool any = false;
        for (int i = 0; i < ArrowsPerEnd; ++i) {
            const CardArrow& arrow = arrows[std::size_t(end * ArrowsPerEnd + i)];
            if (!blank && arrow.entered) {
                any = true;
                sum += arrow.point;
                tens += arrow.point == 10;
                xs += arrow.cross;
                nines += arrow.point == 9;
                texts[i + 1] = cardArrowText(arrow);
            }
        }
        running += sum;
        if (any) {
            texts[4] = QString::number(sum);
            texts[5] = QString::number(running);
        }
        cx = x;
        for (int c = 0; c < 6; ++c) {
            cell(p, box(cx, ry, widths[c], row), texts[c], c == 4 ? font(10, true) : body, c == 0);
            cx += widths[c];
        }
    }
    const qreal sy = y + 12 * row;
    const QString sums = blank ? QStringLiteral("10s        Xs        9s")
                               : QStringLiteral("10s %1   Xs %2   9s %3").arg(tens).arg(xs).arg(nines);
    cell(p, box(x, sy, 52, row), sums, font(8));
    cell(p, box(x + 52, sy, 18, row), QStringLiteral("Round"), head, true);
    cell(p, box(x + 70, sy, 22, row), blank ? QString() : QString::number(a.roundPoints[std::size_t(round - 1)]),
         font(10, true));
}

void drawTotals(QPainter& p, const ArcherResult& a, qreal top, bool blank)
{
    const qreal y = top + 123;
    const QString headings[] = {QStringLiteral("Total"), QStringLiteral("10s"), QStringLiteral("Xs"),
                                QStringLiteral("9s"), QStringLiteral("Arrows entered")};
    const QString values[] = {QString::number(a.total), QString::number(a.tens()), QString::number(a.xs),
                              QString::number(a.nines()),
                              QStringLiteral("%1 of %2%3")
                                  .arg(a.arrowsEntered)
                                  .arg(ArrowsPerCard)
                                  .arg(a.incomplete() ? QStringLiteral(" (incomplete)") : QString())};
    const qreal widths[] = {38, 24, 24, 24, 84};
    qreal x = kMarginMm;
    for (int c = 0; c < 5; ++c) {
        cell(p, box(x, y, widths[c], 4.5), headings[c], font(8, true), true);
        cell(p, box(x, y + 4.5, widths[c], 6.5), blank ? QString() : values[c], font(11, true));
        x += widths[c];
    }
    const qreal line = top + 141;
    p.drawLine(QPointF(mm(kMarginMm), mm(line)), QPointF(mm(kMarginMm + 85), mm(line)));
    p.drawLine(QPointF(mm(kMarginMm + 109), mm(line)), QPointF(mm(kMarginMm + 194), mm(line)));
    drawFitted(p, box(kMarginMm, line + 0.5, 85, 4), QStringLiteral("Archer's signature"), font(8));
    drawFitted(p, box(kMarginMm + 109, line + 0.5, 85, 4), QStringLiteral("Scorer's signature"), font(8));
}

void drawCard(QPainter& p, const Competition& competition, const ArcherResult& a, qreal top, bool blank)
{
    QPen pen(Qt::black);
    pen.setWidthF(mm(0.2));
    p.setPen(pen);
    drawHead(p, competition, a, top);
    drawArcher(p, a, top);
    drawRound(p, a, 1, kMarginMm, top + 49, blank);
    drawRound(p, a, 2, kMarginMm + 102, top + 49, blank);
    drawTotals(p, a, top, blank);
}

} // namespace

void writeScorecardsPdf(const Competition& competition, const std::vector<ArcherResult>& archers, bool blank,
                        const QString& path)
{
    QPdfWriter writer(path);
    writer.setTitle(blank ? QStringLiteral("Blank score cards") : QStringLiteral("Score cards"));
    writer.setCreator(QStringLiteral("tallyon"));
    writer.setResolution(kDpi);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                     QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer))
        throw CommandError("cannot write " + path.toStdString());
    for (std::size_t i = 0; i < archers.size(); ++i) {
        const bool lower = i % 2 == 1;
        if (i > 0 && !lower)
            writer.newPage();
        drawCard(painter, competition, archers[i], lower ? kCardHeightMm : 0, blank);
        if (lower || i + 1 == archers.size()) {
            // The line to cut along.
            QPen cut(Qt::gray);
            cut.setStyle(Qt::DashLine);
            cut.setWidthF(mm(0.15));
            painter.setPen(cut);
            painter.drawLine(QPointF(0, mm(kCardHeightMm)), QPointF(mm(kCardWidthMm), mm(kCardHeightMm)));
        }
    }
    painter.end();
    if (!QFile::exists(path) || QFile(path).size() == 0)
        throw CommandError("cannot write " + path.toStdString());
}
