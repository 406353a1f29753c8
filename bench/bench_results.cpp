// Medians of ranking a competition of 5,000 archers with all 60 arrows each
// (300,000 rows of POINTS) on an embedded database:
//  - readResults: the rules, the lists (one per category), every archer
//    and arrow read, counted by the archer model and ranked;
//  - the parts of it: reading and counting alone, ranking in memory alone;
//  - the floor: one aggregate select that sums and counts per archer in the
//    engine, fetched whole.

#include "bench/bench_support.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "results/ranking.h"

#include <stdexcept>
#include <string>

using bench::medianMs;

namespace {

constexpr int kArchers = 5000;
constexpr int kCountries = 200;
constexpr int kRuns = 7;

// Arrows of a fixed sequence: the better archers nearer the ten.
void addArrows(db::Connection& connection, db::Transaction& transaction)
{
    db::Statement point(&connection, &transaction);
    point.sqlAdd("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values (?, ?, ?, ?, ?, 'F')");
    unsigned state = 7;
    for (int id = 1; id <= kArchers; ++id) {
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
}

} // namespace

void bench::resultsFigures(Table& table)
{
    const TempCompetition competition(kArchers, kCountries, fourToALane, addArrows);
    const CompetitionLogin& login = competition.login();

    db::Connection connection;
    bench::attach(connection, login.database, login.user, login.password);
    readResults(connection);   // creates the rules table, warms the cache

    std::size_t lists = 0;
    const double whole = medianMs(kRuns, [&](int) { lists = readResults(connection).lists.size(); });

    std::vector<ArcherResult> archers;
    const double reading = medianMs(kRuns, [&](int) { archers = readArcherResults(connection); });

    std::vector<ArcherResult> ranked;
    const double ranking = medianMs(kRuns, [&](int) { rankArchers(ranked, defaultRankRules()); },
                                    [&](int) { ranked = archers; });

    int rows = 0;
    const double floor = medianMs(kRuns, [&](int) {
        db::Transaction transaction(&connection);
        transaction.params() = {"read_committed", "rec_version", "read"};
        db::Query q(&connection, &transaction);
        q.sqlAdd("select ARCHERID, sum(POINT) as TOTAL,");
        q.sqlAdd("  sum(case when POINT = 10 then 1 else 0 end) as TENS,");
        q.sqlAdd("  sum(case when POINT = 9 then 1 else 0 end) as NINES,");
        q.sqlAdd("  sum(case when \"CROSS\" = 'T' then 1 else 0 end) as XS,");
        q.sqlAdd("  sum(case when EMPTYSCORE = 'T' then 0 else 1 end) as ENTERED");
        q.sqlAdd("from POINTS group by ARCHERID order by 2 desc, 3 desc, 4 desc");
        q.open();
        rows = q.recordCount();
        q.close();
        transaction.commit();
    });
    connection.disconnect();
    if (archers.size() != std::size_t(kArchers) || rows != kArchers)
        throw std::runtime_error("the ranking read " + std::to_string(archers.size()) + " archers, the floor "
                                 + std::to_string(rows));

    table.add({"ranking of " + std::to_string(kArchers) + " archers, 60 arrows each (" + std::to_string(lists)
                   + " lists)",
               whole, floor, Goal::ratioAtMost(3)});
    table.add({"  of which reading and counting the arrows", reading, std::nullopt, Goal::none()});
    table.add({"  of which ranking in memory", ranking, std::nullopt, Goal::none()});
}
