// Closing a competition:
//  - ranking 5,000 archers with 60 arrows each into their category lists and
//    one team list of 500 teams (10 archers a country, the best 3 counted);
//    its floor is the same ranking without the team list;
//  - the team ranking alone, in memory;
//  - cards verified per minute by a typist driving the verify window: the
//    archer's number and Enter, then four numbers each with Enter, and the
//    check with its write; the figure is a rate, more is better.

#include "bench/bench_support.h"
#include "data/competition_schema.h"
#include "db/connection.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "results/card_check.h"
#include "results/placing.h"
#include "results/ranking.h"
#include "verify/verify_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>
#include <string>

using bench::medianMs;

namespace {

constexpr int kArchers = 5000;
constexpr int kTeams = 500;
constexpr int kRuns = 5;
constexpr int kCardsTyped = 60;

void seed(const CompetitionLogin& login, int archers, int countries)
{
    db::Connection connection;
    bench::attach(connection, login.database, login.user, login.password);
    db::Transaction transaction(&connection);
    bench::seedLookups(connection, transaction, countries);
    bench::seedArchers(connection, transaction, archers, countries, [](int i) {
        return std::pair{(i - 1) / 4 + 1, std::string(1, static_cast<char>('A' + (i - 1) % 4))};
    });
    db::Statement point(&connection, &transaction);
    point.sqlAdd("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values (?, ?, ?, ?, ?, 'F')");
    unsigned state = 11;
    for (int id = 1; id <= archers; ++id) {
        for (int round = 1; round <= 2; ++round) {
            for (int arrow = 1; arrow <= 30; ++arrow) {
                state = state * 1664525u + 1013904223u;
                const int value = 10 - int((state >> 16) % unsigned(3 + id % 5));
                const bool cross = value == 10 && (state >> 8) % 2;
                point.execute({db::Value(id), db::Value(round), db::Value(arrow), db::Value(value),
                               db::Value(cross ? "T" : "F")});
            }
        }
    }
    transaction.commit();
    connection.disconnect();
}

void addTeamList(db::Connection& connection)
{
    db::Transaction transaction(&connection);
    connection.executeImmediate("insert into RESULTLISTS (LISTNAME, LISTFILTER, APPLYTO) values ('Teams', null, 'TEAM')",
                                transaction);
    transaction.commit();
}

// Cards per minute: each archer's card typed as signed, all of them equal.
double cardsPerMinute(db::Connection& connection)
{
    const std::vector<ArcherResult> archers = readArcherResults(connection);
    ensureCardLock(connection);
    VerifyWindow window(connection, "BENCH");
    window.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowExposed(&window))
        throw std::runtime_error("the verify window did not show");
    auto* archerBox = window.findChild<QLineEdit*>(QStringLiteral("archer"));
    QElapsedTimer clock;
    clock.start();
    int verified = 0;
    for (int i = 0; i < kCardsTyped; ++i) {
        const ArcherResult& a = archers[std::size_t(i)];
        QTest::keyClicks(archerBox, QString::number(a.archerId));
        QTest::keyClick(archerBox, Qt::Key_Return);
        for (int n : {a.roundPoints[0], a.roundPoints[1], a.tens(), a.xs}) {
            QWidget* box = QApplication::focusWidget();
            QTest::keyClicks(box, QString::number(n));
            QTest::keyClick(box, Qt::Key_Return);
        }
        verified += window.lastCheckPassed();
    }
    const double minutes = double(clock.elapsed()) / 60000.0;
    if (verified != kCardsTyped)
        throw std::runtime_error("the typist verified " + std::to_string(verified) + " of "
                                 + std::to_string(kCardsTyped) + " cards: " + window.message().toStdString());
    return kCardsTyped / minutes;
}

} // namespace

void bench::finalFigures(Table& table)
{
    QTemporaryDir dir;
    CompetitionLogin login;
    login.database = dir.filePath("final.fdb").toStdString();
    CreateCompetitionDatabase(login);
    seed(login, kArchers, kTeams);

    db::Connection connection;
    bench::attach(connection, login.database, login.user, login.password);
    readResults(connection);   // creates the rules table, warms the cache
    const double individual = medianMs(kRuns, [&](int) { readResults(connection); });
    addTeamList(connection);
    std::size_t teams = 0;
    const double whole = medianMs(kRuns, [&](int) { teams = readResults(connection).lists.back().teams.size(); });
    if (teams != std::size_t(kTeams))
        throw std::runtime_error("the team list has " + std::to_string(teams) + " teams");
    const std::vector<ArcherResult> archers = readArcherResults(connection);
    const double teamsAlone = medianMs(kRuns, [&](int) { rankTeams(archers, defaultRankRules(), 3); });
    const double rate = cardsPerMinute(connection);
    connection.disconnect();

    table.add({"ranking of " + std::to_string(kArchers) + " archers with a list of " + std::to_string(kTeams)
                   + " teams (floor: without it)",
               whole, individual, Goal::ratioAtMost(1.5)});
    table.add({"  of which ranking the teams in memory", teamsAlone, std::nullopt, Goal::none()});
    Figure cards{"cards verified per minute by a typist in the verify window", rate, std::nullopt, Goal::none()};
    cards.unit = "/min";
    table.add(cards);
}
