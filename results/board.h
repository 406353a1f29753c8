#pragma once
// The results board: the ranking of every result list on a screen across
// the hall, large and light on dark, shown anew each time a station saves.

#include "data/uTallyonData.h"
#include "db/connection.h"
#include "results/board_pages.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <string>

class BoardPageView;
class PointsSavedListener;
class QLabel;

class ResultsBoard : public QWidget {
    Q_OBJECT

public:
    // Opens its own attachment to the competition, adds the save trigger
    // when it is missing and starts waiting for saves. CommandError on failure.
    explicit ResultsBoard(const CompetitionLogin& login, std::optional<std::string> onlyList = {},
                          QWidget* parent = nullptr);
    ~ResultsBoard() override;

    // Reads the results and shows them; a failure is shown in the status
    // line and the last ranking stays.
    void refresh();
    // The page shown, as plain text: one line a line of the board.
    QString shownText() const;
    int pageCount() const { return int(pages_.size()); }
    int currentPage() const { return current_; }
    void showPage(int index);
    // The bottom of the page's last line and the top of the status line,
    // in the board's pixels.
    int linesBottom() const;
    int statusTop() const;
    // Where a line of the page stands, in the board's pixels.
    QRect lineRect(int index) const;
    const BoardPage& shownPage() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void paginate();
    void pointsSaved();

    db::Connection connection_;
    std::optional<std::string> onlyList_;
    std::unique_ptr<PointsSavedListener> listener_;
    BoardPageView* view_ = nullptr;
    QLabel* status_ = nullptr;
    CompetitionResults results_;
    std::vector<BoardPage> pages_;
    int current_ = 0;
    QString lastSave_;   // the time the last save was told, "HH:mm:ss"
    QString state_;      // the status line's text after the time
};

// The board command: full screen (a window of its own with window) until
// it is closed, or with a screenshot path each page written as PNG (FILE.png,
// then FILE-2.png...). Without a display, the screenshot is drawn offscreen
// and the board itself refused (CommandError).
int runBoard(int& argc, char** argv, const CompetitionLogin& login, const std::optional<std::string>& onlyList,
             const std::optional<QString>& screenshot, bool window = false);
