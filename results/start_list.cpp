#include "results/start_list.h"

#include "core/command_error.h"
#include "core/csv_writer.h"
#include "core/latin1.h"
#include "results/fitted_text.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStringList>

#include <algorithm>

namespace {

constexpr int kDpi = 300;
constexpr qreal kMarginMm = 15.0;
constexpr qreal kRowMm = 8.0;
constexpr qreal kLaneGapMm = 3.0;

qreal mm(qreal millimetres)
{
    return millimetres * kDpi / 25.4;
}

bool anyClub(const std::vector<ArcherResult>& archers)
{
    return std::any_of(archers.begin(), archers.end(), [](const ArcherResult& a) { return !a.club.empty(); });
}

struct Column {
    QString heading;
    qreal width;   // mm
    QString (*text)(const ArcherResult&);
};

std::vector<Column> columns(bool clubs)
{
    std::vector<Column> out = {
        {QStringLiteral("Lane"), 14, [](const ArcherResult& a) { return oneLineText(a.lane); }},
        {QStringLiteral("Name"), clubs ? 50.0 : 62.0, [](const ArcherResult& a) { return oneLineText(a.name); }}};
    if (clubs)
        out.push_back({QStringLiteral("Club"), 36, [](const ArcherResult& a) { return oneLineText(a.club); }});
    out.push_back({QStringLiteral("Country"), clubs ? 24.0 : 34.0, [](const ArcherResult& a) { return oneLineText(a.country); }});
    out.push_back({QStringLiteral("Bow type"), clubs ? 20.0 : 24.0, [](const ArcherResult& a) { return oneLineText(a.bowType); }});
    out.push_back({QStringLiteral("Age class"), clubs ? 18.0 : 24.0, [](const ArcherResult& a) { return oneLineText(a.ageClass); }});
    out.push_back({QStringLiteral("Class"), clubs ? 18.0 : 22.0, [](const ArcherResult& a) { return oneLineText(a.shootingClass); }});
    return out;
}

// The title, the competition's line and the column headings; the y below them.
qreal drawPageHead(QPainter& p, const Competition& competition, const std::vector<Column>& cols)
{
    qreal y = kMarginMm;
    drawFitted(p, QRectF(mm(kMarginMm), mm(y), mm(180), mm(10)), QStringLiteral("Start list"), printFont(20, true));
    y += 11;
    const QString heading = competitionHeading(competition);
    if (!heading.isEmpty())
        drawFitted(p, QRectF(mm(kMarginMm), mm(y), mm(180), mm(7)), heading, printFont(12));
    y += 10;
    qreal x = kMarginMm;
    p.fillRect(QRectF(mm(kMarginMm), mm(y), mm(180), mm(kRowMm)), QColor(0xdd, 0xe4, 0xea));
    for (const Column& c : cols) {
        drawFitted(p, QRectF(mm(x + 1), mm(y), mm(c.width - 2), mm(kRowMm)), c.heading, printFont(10, true));
        x += c.width;
    }
    return y + kRowMm;
}

// The archers in groups of one lane number each.
std::vector<std::vector<const ArcherResult*>> byLane(const std::vector<ArcherResult>& archers)
{
    std::vector<std::vector<const ArcherResult*>> lanes;
    for (const ArcherResult& a : archers) {
        if (lanes.empty() || lanes.back().front()->laneNo != a.laneNo)
            lanes.emplace_back();
        lanes.back().push_back(&a);
    }
    return lanes;
}

} // namespace

void writeStartListPdf(const Competition& competition, const std::vector<ArcherResult>& archers, const QString& path)
{
    QPdfWriter writer(path);
    writer.setTitle(QStringLiteral("Start list"));
    writer.setCreator(QStringLiteral("tallyon"));
    writer.setResolution(kDpi);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                     QPageLayout::Millimeter));
    QPainter p;
    if (!p.begin(&writer))
        throw CommandError("cannot write " + path.toStdString());
    QPen pen(Qt::black);
    pen.setWidthF(mm(0.4));
    p.setPen(pen);
    const std::vector<Column> cols = columns(anyClub(archers));
    const auto lanes = byLane(archers);
    const std::size_t pages = std::max<std::size_t>(1, (lanes.size() + kStartListLanesPerPage - 1) / kStartListLanesPerPage);
    for (std::size_t page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        qreal y = drawPageHead(p, competition, cols);
        if (lanes.empty())
            drawFitted(p, QRectF(mm(kMarginMm), mm(y + 2), mm(180), mm(kRowMm)), QStringLiteral("no archers"),
                       printFont(12));
        for (std::size_t l = page * kStartListLanesPerPage;
             l < std::min(lanes.size(), (page + 1) * kStartListLanesPerPage); ++l) {
            y += kLaneGapMm;
            p.drawLine(QPointF(mm(kMarginMm), mm(y)), QPointF(mm(kMarginMm + 180), mm(y)));
            for (const ArcherResult* a : lanes[l]) {
                qreal x = kMarginMm;
                for (std::size_t c = 0; c < cols.size(); ++c) {
                    drawFitted(p, QRectF(mm(x + 1), mm(y), mm(cols[c].width - 2), mm(kRowMm)), cols[c].text(*a),
                               printFont(12, c < 2));
                    x += cols[c].width;
                }
                y += kRowMm;
            }
        }
        drawFitted(p, QRectF(mm(kMarginMm), mm(280), mm(180), mm(6)),
                   QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages), printFont(9), Qt::AlignRight);
    }
    p.end();
    if (!QFile::exists(path) || QFile(path).size() == 0)
        throw CommandError("cannot write " + path.toStdString());
}

QByteArray startListAsCsv(const std::vector<ArcherResult>& archers, QChar separator)
{
    CsvWriteOptions options;
    options.separator = separator;
    CsvWriter csv(options);
    csv.addRow({QStringLiteral("Lane"), QStringLiteral("Archer no."), QStringLiteral("Name"), QStringLiteral("Club"),
                QStringLiteral("Country"), QStringLiteral("Bow type"), QStringLiteral("Age class"),
                QStringLiteral("Class"), QStringLiteral("Sex")});
    for (const ArcherResult& a : archers)
        csv.addRow({fromLatin1(a.lane), QString::number(a.archerId), fromLatin1(a.name), fromLatin1(a.club),
                    fromLatin1(a.country), fromLatin1(a.bowType), fromLatin1(a.ageClass), fromLatin1(a.shootingClass),
                    fromLatin1(a.sex)});
    return csv.bytes();
}
