#pragma once
// What the benchmarks share: medians of timed runs, the login of an
// attachment, and the lookups and archers of a competition to measure on.
// Only the dataset layer, so that every benchmark can use it.

#include "db/connection.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

inline double elapsedMs(const std::function<void()>& once)
{
    const auto start = std::chrono::steady_clock::now();
    once();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

inline double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The median of runs runs of work; prepare, when given, runs untimed before each.
inline double medianMs(int runs, const std::function<void(int run)>& work,
                       const std::function<void(int run)>& prepare = {})
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        if (prepare)
            prepare(run);
        times.push_back(elapsedMs([&] { work(run); }));
    }
    return median(std::move(times));
}

// The connection parameters the data context uses.
inline std::vector<std::string> loginParams(const std::string& user, const std::string& password)
{
    return {"user_name=" + user, "password=" + password, "lc_ctype=ISO8859_1"};
}

inline void attach(db::Connection& connection, const std::string& database, const std::string& user,
                   const std::string& password)
{
    connection.setDatabaseName(database);
    connection.params() = loginParams(user, password);
    connection.connect();
}

// Five bow types, age classes and shooting classes, and countries 1 to countries.
inline void seedLookups(db::Connection& connection, db::Transaction& transaction, int countries)
{
    for (int i = 1; i <= 5; ++i) {
        const std::string n = std::to_string(i);
        connection.executeImmediate("insert into BOWTYPES values (" + n + ", 'Bow " + n + "')", transaction);
        connection.executeImmediate("insert into AGECLASS values (" + n + ", 'Age " + n + "')", transaction);
        connection.executeImmediate("insert into SHOOTINGCLASSES values (" + n + ", 'Class " + n + "')", transaction);
    }
    db::Statement country(&connection, &transaction);
    country.sqlAdd("insert into COUNTRY (COUNTRYNUMBER, NAME) values (?, ?)");
    for (int i = 1; i <= countries; ++i)
        country.execute({db::Value(i), db::Value("Country " + std::to_string(i))});
}

// Archers 1 to archers spread over the countries, each on the lane number
// and letter that laneOf gives for it.
inline void seedArchers(db::Connection& connection, db::Transaction& transaction, int archers, int countries,
                        const std::function<std::pair<int, std::string>(int archer)>& laneOf)
{
    db::Statement archer(&connection, &transaction);
    archer.sqlAdd("insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, BOWTYPE, AGECLASSNO, SHOOTINGCLASS, "
                  "ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER) values (?, ?, ?, ?, 'M', ?, ?, ?, 'T', 'F', ?, ?)");
    for (int i = 1; i <= archers; ++i) {
        const auto [lane, letter] = laneOf(i);
        archer.execute({db::Value(i), db::Value((i * 31) % countries + 1), db::Value("Archer " + std::to_string(i)),
                        db::Value(std::to_string(lane) + letter), db::Value(i % 5 + 1), db::Value(i % 5 + 1),
                        db::Value(i % 5 + 1), db::Value(lane), db::Value(letter)});
    }
}

} // namespace bench
