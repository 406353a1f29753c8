#pragma once
// What the benchmarks share: the table of figures, medians of timed runs,
// the login of an attachment, the lookups and archers of a competition to
// measure on, and the parts of the benchmark program.

#include "data/competition_login.h"
#include "data/competition_schema.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"

#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// What a figure should reach: at most a ratio to its floor, below a limit,
// or at most a limit above its floor.
struct Goal {
    enum Kind { None, RatioAtMost, Below, AboveAtMost, AtMost } kind = None;
    double limit = 0;
    std::string unit = "ms";

    static Goal none() { return {}; }
    static Goal ratioAtMost(double limit) { return {RatioAtMost, limit}; }
    static Goal below(double limit, std::string unit = "ms") { return {Below, limit, std::move(unit)}; }
    static Goal aboveAtMost(double limit, std::string unit) { return {AboveAtMost, limit, std::move(unit)}; }
    static Goal atMost(double limit, std::string unit = "ms") { return {AtMost, limit, std::move(unit)}; }
};

// One line of the table: the figure, ours, the floor measured in the same run.
struct Figure {
    std::string name;
    double ours = 0;
    std::optional<double> floor;
    Goal goal;
    std::string unit = "ms";

    std::optional<double> ratio() const
    {
        return floor && *floor > 0 ? std::optional<double>(ours / *floor) : std::nullopt;
    }
    std::optional<bool> met() const
    {
        switch (goal.kind) {
        case Goal::RatioAtMost:
            return ratio() ? std::optional<bool>(*ratio() <= goal.limit) : std::nullopt;
        case Goal::Below:
            return ours < goal.limit;
        case Goal::AtMost:
            return ours <= goal.limit;
        case Goal::AboveAtMost:
            return floor ? std::optional<bool>(ours - *floor <= goal.limit) : std::nullopt;
        case Goal::None:
            break;
        }
        return std::nullopt;
    }
};

class Table {
public:
    void add(Figure figure) { figures_.push_back(std::move(figure)); }
    // A line of text among the figures: a part skipped, and why.
    void note(std::string text) { notes_.emplace(figures_.size(), std::move(text)); }

    void print(std::FILE* out = stdout) const
    {
        std::fprintf(out, "%-58s %12s %12s %7s %14s %4s\n", "figure", "ours", "floor", "ratio", "goal", "met");
        for (std::size_t i = 0; i <= figures_.size(); ++i) {
            for (auto [at, end] = notes_.equal_range(i); at != end; ++at)
                std::fprintf(out, "%s\n", at->second.c_str());
            if (i == figures_.size())
                break;
            const Figure& f = figures_[i];
            const std::string ours = number(f.ours) + " " + f.unit;
            const std::string floor = f.floor ? number(*f.floor) + " " + f.unit : "-";
            const auto ratio = f.ratio();
            char ratioText[32] = "-";
            if (ratio)
                std::snprintf(ratioText, sizeof ratioText, "%.2f", *ratio);
            std::string goal = "-";
            if (f.goal.kind == Goal::RatioAtMost)
                goal = "<= " + number(f.goal.limit) + "x";
            else if (f.goal.kind == Goal::Below)
                goal = "< " + number(f.goal.limit) + " " + f.goal.unit;
            else if (f.goal.kind == Goal::AtMost)
                goal = "<= " + number(f.goal.limit) + " " + f.goal.unit;
            else if (f.goal.kind == Goal::AboveAtMost)
                goal = "<= +" + number(f.goal.limit) + " " + f.goal.unit;
            const auto met = f.met();
            std::fprintf(out, "%-58s %12s %12s %7s %14s %4s\n", f.name.c_str(), ours.c_str(), floor.c_str(),
                         ratioText, goal.c_str(), met ? (*met ? "yes" : "NO") : "-");
        }
    }

    // Whether every figure with a goal reached it.
    bool allMet() const
    {
        return std::all_of(figures_.begin(), figures_.end(), [](const Figure& f) { return f.met().value_or(true); });
    }

private:
    static std::string number(double value)
    {
        char text[32];
        std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 1 ? "%.2f" : "%.3f", value);
        return text;
    }

    std::vector<Figure> figures_;
    std::multimap<std::size_t, std::string> notes_;   // before the figure of that index
};

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

// The nearest-rank percentile, p from 0 to 1.
inline double percentile(std::vector<double> times, double p)
{
    std::sort(times.begin(), times.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * double(times.size())));
    return times[std::min(times.size(), std::max<std::size_t>(rank, 1)) - 1];
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

// The lane of archer i when four share a lane number: 1A, 1B, 1C, 1D, 2A...
inline std::pair<int, std::string> fourToALane(int i)
{
    return {(i - 1) / 4 + 1, std::string(1, static_cast<char>('A' + (i - 1) % 4))};
}

// What a benchmark adds to its competition beyond the lookups and archers,
// in the same transaction: arrows, a dropped trigger.
using SeedMore = std::function<void(db::Connection&, db::Transaction&)>;

// Creates a competition at login's database (a file or a server's) with
// the lookups, archers 1 to archers spread over the countries on the lanes
// laneOf gives, and what more adds; committed and detached.
inline void createCompetition(const CompetitionLogin& login, int archers, int countries,
                              const std::function<std::pair<int, std::string>(int archer)>& laneOf,
                              const SeedMore& more = {})
{
    CreateCompetitionDatabase(login);
    db::Connection connection;
    attach(connection, login.database, login.user, login.password);
    db::Transaction transaction(&connection);
    seedLookups(connection, transaction, countries);
    seedArchers(connection, transaction, archers, countries, laneOf);
    if (more)
        more(connection, transaction);
    transaction.commit();
    connection.disconnect();
}

// A competition of createCompetition in a temporary folder of its own,
// removed with it.
class TempCompetition {
public:
    TempCompetition(int archers, int countries, const std::function<std::pair<int, std::string>(int archer)>& laneOf,
                    const SeedMore& more = {})
    {
        login_.database = dir_.filePath(QStringLiteral("bench.fdb")).toStdString();
        createCompetition(login_, archers, countries, laneOf, more);
    }
    const CompetitionLogin& login() const { return login_; }
    // A file beside the database, for what the benchmark writes.
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    CompetitionLogin login_;
};

// The Next round trip and the floor of its database work, medians in ms;
// with a count of the requests sent to the server, the requests per Next
// too (medians), beside those of the floor.
struct NextTimes {
    double next = 0;
    double copyAndSave = 0;
    double floor = 0;
    struct Requests {
        double changed60 = 0;
        double changed3 = 0;
        double unchanged = 0;
        double floor = 0;            // a block of 60 updates, the commit, the read of the next archer
        double floorUnchanged = 0;   // the read of the next archer alone
    };
    std::optional<Requests> requests;
};
// Creates and seeds a competition at login's database (a file or a
// server's) and measures the points window's Next on it, runs times.
// requestsSoFar, when given, answers how many requests the attachments
// have sent the server so far (a counting relay's).
NextTimes measureNext(const CompetitionLogin& login, const std::function<long()>& requestsSoFar = {},
                      int runs = 41);

// The figures of each part, measured and added to the table. program: this
// program's path, run again for the figures measured in processes of their own.
void datasetLayerFigures(Table& table);
void modelFigures(Table& table);
void windowFigures(Table& table, const std::string& program);
void resultsFigures(Table& table);
void finalFigures(Table& table);
void serverFigures(Table& table, const std::string& program);
// The station journal's cost per typed arrow and the save with the arrows' history.
void journalAndHistoryFigures(Table& table);
void cardsFigures(Table& table, const std::string& program);
// The live results server under 300 streams, 50 pages a second and 4 saving stations.
void webFigures(Table& table, const std::string& program);

// The children's sides of the server part (this program started with
// "--station" or "--next-on-own-server"); answer the exit code.
int stationChild(int argc, char** argv);
// "--peak-kb PROGRAM ARGS...": runs the program, prints its peak resident memory in kB.
int peakKbChild(int argc, char** argv);
int nextOnOwnServerChild(int argc, char** argv);

} // namespace bench
