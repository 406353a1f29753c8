// Score cards of 1,000 archers, half of them with all 60 arrows, written by
// the host program as a PDF file (two cards a page): the time of the whole
// command and its peak memory, each against its goal.

#include "bench/bench_support.h"
#include "db/connection.h"
#include "db/statement.h"
#include "db/transaction.h"

#include <QElapsedTimer>
#include <QProcess>

#include <filesystem>
#include <stdexcept>

namespace {

constexpr int kArchers = 1000;
constexpr int kCountries = 40;

// Every other archer with all 60 arrows.
void addArrows(db::Connection& connection, db::Transaction& transaction)
{
    db::Statement point(&connection, &transaction);
    point.sqlAdd("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values (?, ?, ?, ?, 'F', 'F')");
    for (int id = 1; id <= kArchers; id += 2) {
        for (int round = 1; round <= 2; ++round) {
            for (int arrow = 1; arrow <= 30; ++arrow)
                point.execute({db::Value(id), db::Value(round), db::Value(arrow), db::Value(10 - (id + arrow) % 4)});
        }
    }
}

} // namespace

void bench::cardsFigures(Table& table, const std::string& program)
{
    const TempCompetition competition(kArchers, kCountries, fourToALane, addArrows);
    const CompetitionLogin& login = competition.login();
    const std::string host = std::filesystem::path(program).parent_path() / "tallyon";
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    child.start(QString::fromStdString(program),
                {QStringLiteral("--peak-kb"), QString::fromStdString(host), QStringLiteral("scorecard"),
                 QString::fromStdString(login.database), QStringLiteral("--all"), QStringLiteral("--pdf"),
                 competition.filePath(QStringLiteral("cards.pdf"))});
    if (!child.waitForFinished(600000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        throw std::runtime_error("the host failed to write the score cards");
    const double ms = double(clock.elapsed());
    // The first line is the command's own; the peak follows.
    const QList<QByteArray> lines = child.readAllStandardOutput().trimmed().split('\n');
    const double mb = lines.last().trimmed().toDouble() / 1024.0;
    table.add({"1,000 score cards as PDF (tallyon scorecard --all)", ms, std::nullopt, Goal::below(30000)});
    table.add({"  peak memory of that command", mb, std::nullopt, Goal::below(200, "MB"), "MB"});
}
