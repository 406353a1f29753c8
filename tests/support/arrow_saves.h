#pragma once
// Saves of 60, 3 and no changed arrows on a competition database, file or
// server, and the rows each must leave: every arrow of the archer stored
// as it was typed, its flags written "T" or "F", whatever the row held
// before; a row of an arrow the archer does not hold left as it was.

#include "data/uTallyonData.h"
#include "model/uTallyonClasses.h"
#include "tests/support/competition.h"

#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace arrow_saves {

struct Typed {
    int point;
    bool cross;
    bool empty;
};
using Rule = std::function<Typed(int round, int arrow)>;

inline Typed byArrow(int, int arrow)
{
    const int point = arrow % 11;
    return {point, point == 10, arrow == 29};
}

// "round.arrow:POINT|CROSS|EMPTYSCORE" of each stored arrow of the archer.
inline std::vector<std::string> stored(const CompetitionLogin& login, int archer)
{
    return readRows(login,
                    "select ROUNDNO || '.' || ARROWNO || ':' || coalesce(cast(POINT as varchar(11)), '<null>') || '|' "
                    "|| coalesce(\"CROSS\", '<null>') || '|' || coalesce(EMPTYSCORE, '<null>') from POINTS "
                    "where ARCHERID = " + std::to_string(archer) + " order by ROUNDNO, ARROWNO");
}

inline std::string line(int round, int arrow, const Typed& t)
{
    return std::to_string(round) + '.' + std::to_string(arrow) + ':' + std::to_string(t.empty ? 0 : t.point) + '|'
        + (t.cross ? "T" : "F") + '|' + (t.empty ? "T" : "F");
}

inline std::vector<std::string> expected(const Rule& rule)
{
    std::vector<std::string> lines;
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow)
            lines.push_back(line(round, arrow, rule(round, arrow)));
    return lines;
}

inline void type(TArcher& archer, const Rule& rule)
{
    archer.Results.clear();
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow) {
            const Typed t = rule(round, arrow);
            auto point = std::make_unique<TArcheryPoint>();
            point->RoundNo = round;
            point->ArrowNo = arrow;
            point->Point = t.empty ? 0 : t.point;
            point->Cross = t.cross;
            point->EmptyScore = t.empty;
            archer.Results.push_back(std::move(point));
        }
}

// Archers 1 and 2 must exist, without arrows. Archer 1 gets rows as
// another program may have written them (flags in lower case, a NULL
// flag) and a row of a third round; archer 2 is never saved before.
inline void checkSavesLeaveTheRowsTheyAlwaysLeft(const CompetitionLogin& login)
{
    std::vector<std::string> seed;
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow) {
            const Typed t = byArrow(round, arrow);
            seed.push_back("insert into POINTS values (1, " + std::to_string(round) + ", " + std::to_string(arrow)
                           + ", " + std::to_string(t.empty ? 0 : t.point) + ", " + (t.cross ? "'t'" : "'F'") + ", "
                           + (arrow == 7 ? "NULL" : t.empty ? "'y'" : "'F'") + ")");
        }
    seed.push_back("insert into POINTS values (1, 3, 1, 4, 'x', NULL)");
    runStatements(login, seed);
    auto dm = connectStation(login);
    const auto archerOf = [&](int id) {
        auto archer = std::make_unique<TArcher>();
        archer->dataset = &dm->IBQryArcher;
        archer->pointsDataset = &dm->IBQryPoints;
        archer->ID = id;
        return archer;
    };

    // A never saved archer: 60 rows appended.
    auto fresh = archerOf(2);
    type(*fresh, byArrow);
    fresh->savePoints();
    QCOMPARE(stored(login, 2), expected(byArrow));

    // Three arrows changed: they take the typed values, and every other
    // arrow of the archer its flags as written.
    auto archer = archerOf(1);
    archer->ReadPointsInDatabase();
    QCOMPARE(archer->Results.size(), std::size_t{61});
    const Rule threeChanged = [](int round, int arrow) {
        if (round == 1 && arrow == 1)
            return Typed{9, false, false};
        if (round == 1 && arrow == 2)
            return Typed{10, true, false};
        if (round == 2 && arrow == 30)
            return Typed{0, false, true};
        return byArrow(round, arrow);
    };
    type(*archer, threeChanged);
    archer->savePoints();
    std::vector<std::string> rows = expected(threeChanged);
    rows.push_back("3.1:4|x|<null>");
    QCOMPARE(stored(login, 1), rows);

    // Nothing changed: the rows stay.
    archer->savePoints();
    QCOMPARE(stored(login, 1), rows);

    // Every arrow changed.
    const Rule allChanged = [](int, int arrow) { return Typed{arrow % 9 + 1, false, false}; };
    type(*archer, allChanged);
    archer->savePoints();
    rows = expected(allChanged);
    rows.push_back("3.1:4|x|<null>");
    QCOMPARE(stored(login, 1), rows);
    QCOMPARE(stored(login, 2), expected(byArrow));
}

} // namespace arrow_saves
