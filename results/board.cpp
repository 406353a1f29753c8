#include "results/board.h"

#include "db/error.h"
#include "data/competition_io.h"
#include "controls/window_picture.h"
#include "core/command_error.h"
#include "results/points_events.h"
#include "results/ranking.h"
#include "results/results_output.h"
#include "results/results_schema.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kBoardFontPt = 22;
// A ranking longer than the screen turns a page this often.
constexpr int kPageTurnMs = 10000;

} // namespace

ResultsBoard::ResultsBoard(const CompetitionLogin& login, std::optional<std::string> onlyList, QWidget* parent)
    : QWidget(parent), onlyList_(std::move(onlyList))
{
    openCompetitionDatabase(connection_, login);
    checkCompetitionSchema(connection_, login.database);
    ensurePointsSavedTrigger(connection_);

    setWindowTitle(QStringLiteral("Results"));
    setObjectName(QStringLiteral("ResultsBoard"));
    setStyleSheet(QStringLiteral("#ResultsBoard { background-color: #101820; }"
                                 "QTextBrowser { background-color: #101820; color: #f4f4f4; border: none; }"
                                 "QLabel { color: #9fb3c8; font-size: 14pt; padding: 4px 12px; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new QTextBrowser(this);
    view_->setOpenLinks(false);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(view_, 1);
    status_ = new QLabel(this);
    layout->addWidget(status_);

    // Lists longer than the screen come round page by page; the data is
    // read only when a save is told.
    auto* pages = new QTimer(this);
    connect(pages, &QTimer::timeout, this, [this] {
        QScrollBar* bar = view_->verticalScrollBar();
        bar->setValue(bar->value() >= bar->maximum() ? 0 : bar->value() + bar->pageStep());
    });
    pages->start(kPageTurnMs);

    listener_ = std::make_unique<PointsSavedListener>(connection_);
    connect(listener_.get(), &PointsSavedListener::pointsSaved, this, &ResultsBoard::refresh);
    refresh();
}

ResultsBoard::~ResultsBoard()
{
    listener_.reset();
    connection_.disconnect();
}

void ResultsBoard::refresh()
{
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    try {
        const CompetitionResults results = readResults(connection_, onlyList_);
        const int scroll = view_->verticalScrollBar()->value();
        view_->setHtml(resultsAsHtml(results, {kBoardFontPt, true}));
        view_->verticalScrollBar()->setValue(scroll);
        status_->setText(QStringLiteral("Updated %1, shown anew on every save").arg(time));
    } catch (const CommandError& e) {
        status_->setText(QStringLiteral("%1: %2").arg(time, QString::fromStdString(e.what())));
    } catch (const db::DbError& e) {
        status_->setText(QStringLiteral("%1: %2").arg(time, QString::fromStdString(oneLine(e.what()))));
    } catch (const std::exception& e) {
        status_->setText(QStringLiteral("%1: %2").arg(time, QString::fromStdString(e.what())));
    }
}

QString ResultsBoard::shownText() const
{
    return view_->toPlainText();
}

int runBoard(int& argc, char** argv, const CompetitionLogin& login, const std::optional<std::string>& onlyList,
             const std::optional<QString>& screenshot)
{
    QApplication app(argc, argv);
    ResultsBoard board(login, onlyList);
    if (screenshot) {
        board.resize(1600, 900);
        board.show();
        QApplication::processEvents();
        if (!RenderToPng(&board, *screenshot))
            throw CommandError("cannot write " + screenshot->toStdString());
        return 0;
    }
    board.showMaximized();
    return QApplication::exec();
}
