#include "roster/demo.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "roster/archer_row.h"
#include "data/competition_io.h"
#include "core/command_error.h"
#include "core/latin1.h"
#include "core/round_format.h"
#include "roster/name_table.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

struct DemoArcher {
    const char* name;     // UTF-8
    const char* sex;
    int country;          // index into the demo countries; -1: a number without a row
    int bow;
    int ageClass;
    int shootingClass;
};

std::string latin1(const char* utf8)
{
    QString bad;
    auto bytes = toLatin1Exact(QString::fromUtf8(utf8), &bad);
    if (!bytes)
        throw CommandError(latin1Refusal("demo text", bad));
    return *bytes;
}

// A fixed sequence, so every demo competition is the same.
class DemoRandom {
public:
    std::uint32_t next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int below(int n) { return int(next() % std::uint32_t(n)); }

private:
    std::uint32_t state_ = 20260412u;
};

// 11 stands for an X, 0 for a miss. Skill 4 to 10: the better the archer,
// the closer the arrows stay to the ten.
int demoArrow(DemoRandom& random, int skill)
{
    if (random.below(80) == 0)
        return 0;
    const int spread = random.below(25) == 0 ? 10 : 3 + (10 - skill) / 2;
    const int score = std::max(1, 10 - random.below(spread));
    if (score == 10 && random.below(2) == 0)
        return 11;
    return score;
}

const std::vector<const char*> kDemoCountries = {
    "Deutschland", "Österreich", "Schweiz", "France", "España", "Danmark", "Sverige", "Ísland"};
const std::vector<const char*> kDemoBowTypes = {"Recurve", "Compound", "Barebow"};
const std::vector<const char*> kDemoAgeClasses = {"Adult", "Junior (U21)", "Cadet (U18)", "Master (50+)"};
const std::vector<const char*> kDemoShootingClasses = {"Men", "Women", "Open"};
const std::vector<DemoArcher> kDemoArchers = {
    {"Jürgen Müller", "M", 0, 0, 0, 0},        {"Åsa Öberg", "F", 6, 0, 0, 1},
    {"François Lefèvre", "M", 3, 1, 3, 0},     {"José Núñez", "M", 4, 0, 1, 0},
    {"Søren Kjærgaard", "M", 5, 2, 0, 0},      {"Zoë Brontë", "F", 3, 0, 2, 1},
    {"Björn Ångström", "M", 6, 1, 0, 0},       {"Ana Peña", "F", 4, 2, 0, 1},
    {"Ólafur Þórsson", "M", 7, 0, 3, 0},       {"Hélène Dubé", "F", 3, 1, 0, 1},
    {"Günther Weiß", "M", 1, 0, 3, 0},         {"Maëlle Dufaÿ", "F", 3, 0, 1, 1},
    {"Íris Sigurðardóttir", "F", 7, 1, 1, 1},  {"Märta Lindqvist", "F", 6, 0, 0, 1},
    {"Jörg Schäfer", "M", 2, 2, 0, 0},         {"Léa Bérénice Roux", "F", 3, 0, 2, 1},
    {"Iñigo Muñoz", "M", 4, 1, 0, 0},          {"Ærlig Jørgensen", "M", 5, 0, 0, 0},
    {"Anaïs Gaëlle", "F", 3, 2, 3, 1},         {"Stefan Unbekannt", "M", -1, 0, 0, 2},
    {"Renée Dürr", "F", 1, 0, 0, 1},           {"Tomás Ibáñez", "M", 4, 0, 3, 0},
    {"Liselotte Größ", "F", 0, 1, 3, 1},       {"Mikkel Østergaard", "M", 5, 1, 1, 0},
    {"Céline Château", "F", 2, 0, 0, 1},       {"Þóra Guðmundsdóttir", "F", 7, 2, 0, 1},
    {"Urs Zürcher", "M", 2, 0, 1, 0},          {"Noël Crémieux", "M", 3, 0, 0, 2},
    {"Sönke Lüders", "M", 0, 2, 3, 0},         {"Inés Galán", "F", 4, 1, 0, 1},
    {"Håkan Sjöström", "M", 6, 0, 0, 0},       {"Benoît Grégoire", "M", 3, 1, 2, 0},
    {"Karin Mähler", "F", 1, 0, 1, 1},         {"Rasmus Bæk", "M", 5, 0, 2, 0},
    {"Chloé Aubépine", "F", 3, 0, 0, 1},       {"Björk Hjálmarsdóttir", "F", 7, 0, 0, 2},
    {"Matthäus Kühn", "M", 0, 1, 0, 0},        {"Begoña Íñiguez", "F", 4, 2, 0, 1},
    {"Ingrid Ødegård", "F", 5, 0, 3, 1},       {"Rüdiger Füßli", "M", 2, 0, 0, 0},
};

// The numbers of the names, in the order given.
std::vector<std::int32_t> demoNames(NameTable table, const std::vector<const char*>& names,
                                    db::Connection& connection, db::Transaction& transaction)
{
    std::vector<std::int32_t> numbers;
    for (const char* name : names)
        numbers.push_back(table.numberOf(latin1(name), connection, transaction));
    return numbers;
}

void insertDemoCompetitionRow(db::Connection& connection, db::Transaction& transaction)
{
    db::Statement competition(&connection, &transaction);
    competition.sqlAdd("insert into COMPETITION (NAME, PLACE, CONTESTTYPE, STARTDATE, FINISHEDDATE,");
    competition.sqlAdd("  RANGELASTLETTER, RANGENUMBERLANES) values (?, ?, ?, current_date, null, ?, ?)");
    competition.execute({db::Value(latin1("Hallenturnier am Mühlbach")), db::Value(latin1("Sporthalle Süd")),
                         db::Value("FITA Indoor"), db::Value("D"), db::Value(14)});
}

// Lanes 1-4 hold A to D, lanes 5-8 A to C, lanes 9-14 A and B: 40 archers.
std::vector<std::pair<int, char>> demoLanes()
{
    std::vector<std::pair<int, char>> lanes;
    for (int lane = 1; lane <= 14; ++lane) {
        const char last = lane <= 4 ? 'D' : lane <= 8 ? 'C' : 'B';
        for (char letter = 'A'; letter <= last; ++letter)
            lanes.emplace_back(lane, letter);
    }
    return lanes;
}

// Every other archer has both rounds, every fourth the first only.
void insertDemoArrows(db::Statement& point, DemoRandom& random, std::int32_t id, std::size_t i)
{
    const int rounds = i % 4 == 0 || i % 4 == 1 ? RoundCount : i % 4 == 2 ? 1 : 0;
    const int skill = 4 + int(i % 7);
    for (int round = 1; round <= rounds; ++round) {
        for (int arrow = 1; arrow <= ArrowsPerRound; ++arrow) {
            const int value = demoArrow(random, skill);
            point.execute({db::Value(id), db::Value(round), db::Value(arrow), db::Value(value == 11 ? 10 : value),
                           db::Value(value == 11 ? "T" : "F")});
        }
    }
}

void fillDemo(db::Connection& connection, db::Transaction& transaction)
{
    const std::vector<std::int32_t> countryNo = demoNames(countryTable(), kDemoCountries, connection, transaction);
    const std::vector<std::int32_t> bowNo = demoNames(bowTypeTable(), kDemoBowTypes, connection, transaction);
    const std::vector<std::int32_t> ageNo = demoNames(ageClassTable(), kDemoAgeClasses, connection, transaction);
    const std::vector<std::int32_t> shootingNo =
        demoNames(shootingClassTable(), kDemoShootingClasses, connection, transaction);
    insertDemoCompetitionRow(connection, transaction);

    const std::vector<std::pair<int, char>> lanes = demoLanes();
    DemoRandom random;
    db::Statement point(&connection, &transaction);
    point.sqlAdd("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE)");
    point.sqlAdd("values (?, ?, ?, ?, ?, 'F')");
    for (std::size_t i = 0; i < kDemoArchers.size() && i < lanes.size(); ++i) {
        const DemoArcher& d = kDemoArchers[i];
        ArcherRow row;
        row.countryNumber = d.country < 0 ? 99 : countryNo[std::size_t(d.country)];
        row.name = latin1(d.name);
        row.laneNo = lanes[i].first;
        row.laneLetter = std::string(1, lanes[i].second);
        row.lane = std::to_string(row.laneNo) + row.laneLetter;
        row.sex = d.sex;
        row.bowType = bowNo[std::size_t(d.bow)];
        row.ageClass = ageNo[std::size_t(d.ageClass)];
        row.shootingClass = shootingNo[std::size_t(d.shootingClass)];
        row.enableTeam = i % 7 != 3;
        row.enableFinals = i % 11 != 5;
        insertDemoArrows(point, random, insertArcher(connection, transaction, row), i);
    }
}

} // namespace

void createDemoCompetition(const CompetitionLogin& login)
{
    initCompetition(login);
    try {
        db::Connection connection;
        openCompetitionDatabase(connection, login);
        db::Transaction transaction(&connection);
        fillDemo(connection, transaction);
        transaction.commit();
        connection.disconnect();
    } catch (const db::DbError& e) {
        removeCreated(login);
        throw CommandError("cannot fill " + login.database + ": " + oneLine(e.what()));
    } catch (...) {
        removeCreated(login);
        throw;
    }
}
