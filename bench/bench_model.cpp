// Medians of the archer model's heavy paths on an embedded database:
//  - savePoints of 60 changed arrows, against the floor of the same 60
//    updates through one prepared statement and a commit;
//  - SortArchers over 5,000 archers with 200 countries and the four
//    lookups, against opening the same ordered select alone.

#include "bench/bench_support.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "model/uTallyonClasses.h"
#include "host/station_context.h"

#include <string>

using bench::medianMs;

namespace {

constexpr int kArchers = 5000;
constexpr int kCountries = 200;

// The archers scattered over 1,250 lane numbers, letters A to D.
std::pair<int, std::string> scatteredLane(int i)
{
    return {(i * 7919) % 1250 + 1, std::string(1, static_cast<char>('A' + i % 4))};
}

void setArrows(TArcher& archer, int score)
{
    archer.Results.clear();
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow) {
            auto point = std::make_unique<TArcheryPoint>();
            point->RoundNo = round;
            point->ArrowNo = arrow;
            point->Point = score;
            archer.Results.push_back(std::move(point));
        }
}

} // namespace

void bench::modelFigures(Table& table)
{
    const TempCompetition competition(kArchers, kCountries, scatteredLane);
    const CompetitionLogin& login = competition.login();

    TdmTallyon dm;
    SetUpStationContext(dm, login);
    dm.Connect(login);

    constexpr int kSaveRuns = 41;
    TArcher archer;
    archer.pointsDataset = &dm.IBQryPoints;
    archer.ID = 17;
    setArrows(archer, 1);
    archer.savePoints();   // the 60 rows exist from here on
    const double save = medianMs(kSaveRuns, [&](int run) {
        setArrows(archer, run % 2 ? 9 : 8);
        archer.savePoints();
    });

    db::Transaction floorTransaction(&dm.IBDBCompetition);
    db::Statement update(&dm.IBDBCompetition, &floorTransaction);
    update.sqlAdd("update POINTS set POINT = ?, \"CROSS\" = ?, EMPTYSCORE = ? "
                  "where ARCHERID = ? and ROUNDNO = ? and ARROWNO = ?");
    const double saveFloor = medianMs(kSaveRuns, [&](int run) {
        for (int round = 1; round <= 2; ++round)
            for (int arrow = 1; arrow <= 30; ++arrow)
                update.execute({db::Value(run % 2 ? 7 : 6), db::Value("F"), db::Value("F"), db::Value(17),
                                db::Value(round), db::Value(arrow)});
        floorTransaction.commit();
    });

    constexpr int kSortRuns = 9;
    const double sort = medianMs(kSortRuns, [&](int) { dm.SortArchers("LANENO, LANELETTER"); });
    db::Query plain(&dm.IBDBCompetition, &dm.IBTransCompetition);
    plain.sqlAdd("Select * from ARCHER");
    plain.sqlAdd("ORDER BY LANENO, LANELETTER");
    const double sortFloor = medianMs(kSortRuns, [&](int) {
        plain.close();
        plain.open();
    });

    table.add({"savePoints, 60 changed arrows", save, saveFloor, Goal::none()});
    table.add({"SortArchers, " + std::to_string(kArchers) + " archers, " + std::to_string(kCountries) + " countries",
               sort, sortFloor, Goal::none()});
}
