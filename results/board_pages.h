#pragma once
// The board's pages: the result lists cut into screens of whole rows. A
// list's title never stands on a page without the list's first rows, and a
// list that goes on over a page repeats its title, "continued", with its
// column headings.

#include "results/ranking.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

struct BoardLine {
    enum Kind { Title, Headings, Row, Note };
    Kind kind = Row;
    QString text;          // a title's or a note's text
    QStringList cells;     // a row's or the headings' cells
    bool stripe = false;   // every second row of a list
};

using BoardPage = std::vector<BoardLine>;

// The lines of every list, cut into pages of at most linesPerPage lines
// (at least 4 are taken). Without lists, one page saying so.
std::vector<BoardPage> boardPages(const CompetitionResults& results, int linesPerPage);

// Draws one page of lines, each of the same height, light on dark; the
// competition's name heads the page. Thread: GUI only.
class BoardPageView : public QWidget {
    Q_OBJECT

public:
    explicit BoardPageView(QWidget* parent = nullptr);

    // The lines that fit into the height as it is now.
    int linesPerPage() const;
    void setHead(const QString& competition, const QString& pageNote);
    void setPage(BoardPage page);
    const BoardPage& page() const { return page_; }
    // The bottom of the last line drawn, and where a line of the page
    // stands, in the view's pixels.
    int linesBottom() const;
    QRect lineRect(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int lineHeight() const;
    int headHeight() const;

    QString competition_;
    QString pageNote_;
    BoardPage page_;
};
