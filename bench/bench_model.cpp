// Medians of the archer model's heavy paths on an embedded database:
//  - savePoints of 60 changed arrows, against the floor of the same 60
//    updates through one prepared statement and a commit;
//  - SortArchers over 5,000 archers with 200 countries and the four
//    lookups, against opening the same ordered select alone.

#include "data/competition_schema.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/transaction.h"
#include "model/uTallyonClasses.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kArchers = 5000;
constexpr int kCountries = 200;

double medianMs(int runs, const std::function<void(int run)>& work)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work(run);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void seed(const CompetitionLogin& login)
{
    db::Connection connection;
    connection.setDatabaseName(login.database);
    connection.params() = {"user_name=" + login.user, "password=" + login.password, "lc_ctype=ISO8859_1"};
    connection.connect();
    db::Transaction transaction(&connection);
    for (int i = 1; i <= 5; ++i) {
        const std::string n = std::to_string(i);
        connection.executeImmediate("insert into BOWTYPES values (" + n + ", 'Bow " + n + "')", transaction);
        connection.executeImmediate("insert into AGECLASS values (" + n + ", 'Age " + n + "')", transaction);
        connection.executeImmediate("insert into SHOOTINGCLASSES values (" + n + ", 'Class " + n + "')", transaction);
    }
    db::Statement country(&connection, &transaction);
    country.sqlAdd("insert into COUNTRY (COUNTRYNUMBER, NAME) values (?, ?)");
    for (int i = 1; i <= kCountries; ++i)
        country.execute({db::Value(i), db::Value("Country " + std::to_string(i))});
    db::Statement archer(&connection, &transaction);
    archer.sqlAdd("insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, BOWTYPE, AGECLASSNO, SHOOTINGCLASS, "
                  "ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER) values (?, ?, ?, ?, 'M', ?, ?, ?, 'T', 'F', ?, ?)");
    for (int i = 1; i <= kArchers; ++i) {
        const int lane = (i * 7919) % 1250 + 1;
        const std::string letter(1, static_cast<char>('A' + i % 4));
        archer.execute({db::Value(i), db::Value((i * 31) % kCountries + 1), db::Value("Archer " + std::to_string(i)),
                        db::Value(std::to_string(lane) + letter), db::Value(i % 5 + 1), db::Value(i % 5 + 1),
                        db::Value(i % 5 + 1), db::Value(lane), db::Value(letter)});
    }
    transaction.commit();
    connection.disconnect();
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

int main()
{
    QTemporaryDir dir;
    CompetitionLogin login;
    login.database = dir.filePath("bench.fdb").toStdString();
    CreateCompetitionDatabase(login);
    seed(login);

    TdmTallyon dm;
    dm.IBTransPoints.params() = {"concurrency", "wait", "lock_timeout=5"};
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

    std::printf("savePoints, 60 changed arrows:      %8.2f ms (median of %d)\n", save, kSaveRuns);
    std::printf("  floor, 60 prepared updates+commit:%8.2f ms  ratio %.2f\n", saveFloor, save / saveFloor);
    std::printf("SortArchers, %d archers, %d countries: %8.2f ms (median of %d), %d archers listed\n", kArchers,
                kCountries, sort, kSortRuns, dm.ArcherList.Count());
    std::printf("  floor, open of the ordered select:  %8.2f ms  ratio %.2f\n", sortFloor, sort / sortFloor);
    return 0;
}
