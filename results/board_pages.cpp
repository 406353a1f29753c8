#include "results/board_pages.h"

#include "core/latin1.h"
#include "results/fitted_text.h"
#include "results/results_output.h"

#include <QPainter>

#include <algorithm>
#include <numeric>

namespace {

constexpr int kLinePt = 20;
constexpr int kHeadPt = 26;
constexpr int kSmallestPage = 4;
// A list's title comes on a page only with this many of its rows (or all
// of them, when it has fewer).
constexpr int kRowsWithTitle = 2;
// Column widths in parts of the line, as the printed lists have them.
constexpr int kWeights[] = {7, 7, 22, 14, 8, 8, 7, 5, 5, 5, 12};

// The lines of one list, its title and headings first.
std::vector<BoardLine> listLines(const ResultList& list)
{
    std::vector<BoardLine> lines;
    lines.push_back({BoardLine::Title, fromLatin1(list.name), {}});
    if (!list.faults.empty()) {
        for (const std::string& fault : list.faults)
            lines.push_back({BoardLine::Note, QStringLiteral("not ranked: ") + QString::fromStdString(fault), {}});
        return lines;
    }
    if (list.archers.empty()) {
        lines.push_back({BoardLine::Note, QStringLiteral("no archers"), {}});
        return lines;
    }
    lines.push_back({BoardLine::Headings, {}, resultColumnHeadings()});
    bool stripe = false;
    for (const ArcherResult& a : list.archers) {
        lines.push_back({BoardLine::Row, {}, resultCells(a), stripe});
        stripe = !stripe;
    }
    return lines;
}

} // namespace

std::vector<BoardPage> boardPages(const CompetitionResults& results, int linesPerPage)
{
    const std::size_t perPage = std::size_t(std::max(linesPerPage, kSmallestPage));
    std::vector<BoardPage> pages(1);
    for (const ResultList& list : results.lists) {
        const std::vector<BoardLine> lines = listLines(list);
        const std::size_t head = lines.size() > 1 && lines[1].kind == BoardLine::Headings ? 2 : 1;
        const std::size_t body = lines.size() - head;
        // The title with its first rows: on this page, or on the next.
        const std::size_t together = head + std::min<std::size_t>(body, kRowsWithTitle);
        if (!pages.back().empty() && pages.back().size() + together > perPage)
            pages.emplace_back();
        for (std::size_t i = 0; i < head; ++i)
            pages.back().push_back(lines[i]);
        for (std::size_t i = head; i < lines.size(); ++i) {
            if (pages.back().size() >= perPage) {
                pages.emplace_back();
                BoardLine title = lines[0];
                title.text += QStringLiteral(" (continued)");
                for (std::size_t k = 0; k < head; ++k)
                    pages.back().push_back(k == 0 ? title : lines[k]);
            }
            pages.back().push_back(lines[i]);
        }
    }
    if (results.lists.empty())
        pages.back().push_back({BoardLine::Note, QStringLiteral("no archers"), {}});
    return pages;
}

BoardPageView::BoardPageView(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0x10, 0x18, 0x20));
    setPalette(p);
}

int BoardPageView::lineHeight() const
{
    return QFontMetrics(printFont(kLinePt), this).height() * 3 / 2;
}

int BoardPageView::headHeight() const
{
    return QFontMetrics(printFont(kHeadPt, true), this).height() * 3 / 2;
}

int BoardPageView::linesPerPage() const
{
    return std::max(0, (height() - headHeight()) / lineHeight());
}

int BoardPageView::linesBottom() const
{
    return headHeight() + int(page_.size()) * lineHeight();
}

QRect BoardPageView::lineRect(int index) const
{
    const int margin = width() / 60;
    return {margin, headHeight() + index * lineHeight(), width() - 2 * margin, lineHeight()};
}

void BoardPageView::setHead(const QString& competition, const QString& pageNote)
{
    competition_ = competition;
    pageNote_ = pageNote;
    update();
}

void BoardPageView::setPage(BoardPage page)
{
    page_ = std::move(page);
    update();
}

void BoardPageView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int margin = width() / 60;
    const int lineWidth = width() - 2 * margin;
    const int line = lineHeight();
    p.setPen(QColor(0xf4, 0xf4, 0xf4));
    drawFitted(p, QRectF(margin, 0, lineWidth * 0.8, headHeight()), competition_, printFont(kHeadPt, true));
    p.setPen(QColor(0x9f, 0xb3, 0xc8));
    drawFitted(p, QRectF(margin + lineWidth * 0.8, 0, lineWidth * 0.2, headHeight()), pageNote_, printFont(kLinePt),
               Qt::AlignRight);
    const int total = std::accumulate(std::begin(kWeights), std::end(kWeights), 0);
    int y = headHeight();
    for (const BoardLine& l : page_) {
        const QRectF whole(margin, y, lineWidth, line);
        if (l.kind == BoardLine::Title || l.kind == BoardLine::Note) {
            p.setPen(l.kind == BoardLine::Note ? QColor(0xff, 0xb3, 0x47) : QColor(0xf4, 0xf4, 0xf4));
            drawFitted(p, whole, l.text, printFont(kLinePt + (l.kind == BoardLine::Title ? 4 : 0),
                                                   l.kind == BoardLine::Title));
        } else {
            if (l.kind == BoardLine::Headings)
                p.fillRect(whole, QColor(0x24, 0x40, 0x5a));
            else if (l.stripe)
                p.fillRect(whole, QColor(0x18, 0x24, 0x2f));
            p.setPen(QColor(0xf4, 0xf4, 0xf4));
            qreal x = margin;
            for (int c = 0; c < l.cells.size() && c < int(std::size(kWeights)); ++c) {
                const qreal w = qreal(lineWidth) * kWeights[c] / total;
                const bool left = c >= 1 && c <= 3;
                drawFitted(p, QRectF(x + 4, y, w - 8, line), l.cells[c],
                           printFont(kLinePt, l.kind == BoardLine::Headings || c == 6),
                           left ? Qt::AlignLeft : Qt::AlignRight);
                x += w;
            }
        }
        y += line;
    }
}
