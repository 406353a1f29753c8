#include "host/board.h"

#include "db/error.h"
#include "host/competition_io.h"
#include "host/host_error.h"
#include "host/points_events.h"
#include "host/ranking.h"
#include "host/results_output.h"
#include "host/results_schema.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QPixmap>
#include <QScrollBar>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

constexpr int kBoardFontPt = 22;

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
    ++refreshes_;
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    try {
        const CompetitionResults results = readResults(connection_, onlyList_);
        const int scroll = view_->verticalScrollBar()->value();
        view_->setHtml(resultsAsHtml(results, {kBoardFontPt, true}));
        view_->verticalScrollBar()->setValue(scroll);
        status_->setText(QStringLiteral("Updated %1, shown anew on every save").arg(time));
    } catch (const HostError& e) {
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
        if (!board.grab().save(*screenshot, "PNG"))
            throw HostError("cannot write " + screenshot->toStdString());
        return 0;
    }
    board.showMaximized();
    return QApplication::exec();
}
