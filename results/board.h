#pragma once
// The results board: the ranking of every result list on a screen across
// the hall, large and light on dark, shown anew each time a station saves.

#include "data/uTallyonData.h"
#include "db/connection.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <string>

class PointsSavedListener;
class QLabel;
class QTextBrowser;

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
    // The ranking as shown, as plain text.
    QString shownText() const;

private:
    db::Connection connection_;
    std::optional<std::string> onlyList_;
    std::unique_ptr<PointsSavedListener> listener_;
    QTextBrowser* view_ = nullptr;
    QLabel* status_ = nullptr;
};

// The board command: the window until it is closed, or with a screenshot
// path the shown board written as PNG.
int runBoard(int& argc, char** argv, const CompetitionLogin& login, const std::optional<std::string>& onlyList,
             const std::optional<QString>& screenshot);
