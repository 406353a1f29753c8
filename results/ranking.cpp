#include "results/ranking.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "core/command_error.h"
#include "core/latin1.h"
#include "data/archer_names_select.h"
#include "data/archer_status.h"
#include "results/final_tables.h"
#include "results/list_filter.h"
#include "results/placing.h"
#include "results/results_schema.h"
#include "model/uTallyonClasses.h"

#include <QStringList>
#include <QDateTime>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

namespace {

struct CriterionName {
    RankCriterion criterion;
    const char* word;
};

const CriterionName kCriteria[] = {
    {RankCriterion::Total, "TOTAL"},   {RankCriterion::Tens, "TENS"},     {RankCriterion::Xs, "XS"},
    {RankCriterion::Nines, "NINES"},   {RankCriterion::Eights, "EIGHTS"}, {RankCriterion::Sevens, "SEVENS"},
    {RankCriterion::Hits, "HITS"},     {RankCriterion::Round1, "ROUND1"}, {RankCriterion::Round2, "ROUND2"},
};

std::optional<std::int32_t> optionalInteger(db::Query& q, const char* column)
{
    db::Field f = q.fieldByName(column);
    if (f.isNull())
        return std::nullopt;
    return f.asInteger();
}

// A read-only view of what is committed now.
void readCommitted(db::Transaction& transaction)
{
    transaction.params() = {"read_committed", "rec_version", "read"};
}

// Counts an archer's arrows through the archer model's statistics.
void countArrows(ArcherResult& a, TArcher& archer)
{
    archer.FillStatistics();
    a.total = archer.TotalPoints;
    a.hits = archer.Hits;
    a.xs = archer.Crosses;
    const std::int32_t byValue[] = {0,             archer.Ones,  archer.Twos,   archer.Threes,
                                    archer.Fours,  archer.Fives, archer.Sixes,  archer.Sevens,
                                    archer.Eights, archer.Nines, archer.Tens};
    std::copy(std::begin(byValue), std::end(byValue), a.count.begin());
    a.roundPoints = {};
    for (const auto& round : archer.RoundPoints) {
        if (round->RoundNo >= 1 && round->RoundNo <= RoundCount)
            a.roundPoints[std::size_t(round->RoundNo - 1)] = round->Points;
    }
    a.arrowsEntered = 0;
    for (const auto& p : archer.Results) {
        if (!p->EmptyScore)
            ++a.arrowsEntered;
    }
    a.count[0] = a.arrowsEntered - a.hits;
}

// What is wrong with a stored arrow, or nothing: the point of an entered
// arrow is 0 to 10, and an X is a 10.
std::optional<std::string> storedArrowFault(const TArcheryPoint& p)
{
    if (p.EmptyScore)
        return std::nullopt;
    if (p.Point < 0 || p.Point > 10)
        return "POINT " + std::to_string(p.Point) + " is no arrow's value (0 to 10)";
    if (p.Cross && p.Point != 10)
        return "an X with POINT " + std::to_string(p.Point) + " (an X is a 10)";
    return std::nullopt;
}

std::string categoryName(const ArcherResult& a)
{
    const auto part = [](const std::string& text, const char* none) { return text.empty() ? std::string(none) : text; };
    return part(a.bowType, "no bow type") + " / " + part(a.shootingClass, "no class") + " / "
           + part(a.ageClass, "no age class") + " / " + part(a.sex, "no sex");
}

} // namespace

const char* criterionWord(RankCriterion c)
{
    for (const CriterionName& n : kCriteria) {
        if (n.criterion == c)
            return n.word;
    }
    return "?";
}

std::optional<RankCriterion> criterionFromWord(const std::string& word)
{
    for (const CriterionName& n : kCriteria) {
        if (word == n.word)
            return n.criterion;
    }
    return std::nullopt;
}

std::vector<RankRule> defaultRankRules()
{
    return {{1, RankCriterion::Total}, {2, RankCriterion::Tens}, {3, RankCriterion::Nines}};
}

int criterionValue(const ArcherResult& a, RankCriterion c)
{
    switch (c) {
    case RankCriterion::Total: return a.total;
    case RankCriterion::Tens: return a.count[10];
    case RankCriterion::Xs: return a.xs;
    case RankCriterion::Nines: return a.count[9];
    case RankCriterion::Eights: return a.count[8];
    case RankCriterion::Sevens: return a.count[7];
    case RankCriterion::Hits: return a.hits;
    case RankCriterion::Round1: return a.roundPoints[0];
    case RankCriterion::Round2: return a.roundPoints[1];
    }
    return 0;
}

void rankArchers(std::vector<ArcherResult>& archers, const std::vector<RankRule>& rules)
{
    // Negative when a ranks above b on the rules, 0 when equal on all.
    const auto compare = [&](const ArcherResult& a, const ArcherResult& b) {
        for (const RankRule& r : rules) {
            const int va = criterionValue(a, r.criterion);
            const int vb = criterionValue(b, r.criterion);
            if (va != vb)
                return va > vb ? -1 : 1;
        }
        return 0;
    };
    std::stable_sort(archers.begin(), archers.end(), [&](const ArcherResult& a, const ArcherResult& b) {
        if (const int c = compare(a, b); c != 0)
            return c < 0;
        return std::tie(a.laneNo, a.laneLetter, a.archerId) < std::tie(b.laneNo, b.laneLetter, b.archerId);
    });
    for (std::size_t i = 0; i < archers.size(); ++i)
        archers[i].place = i > 0 && compare(archers[i - 1], archers[i]) == 0 ? archers[i - 1].place : int(i) + 1;
}

namespace {

// One archer's row of the archer-with-names select.
ArcherResult archerFromRow(db::Query& q)
{
    ArcherResult a;
    a.archerId = q.fieldByName("ARCHERID").asInteger();
    a.name = q.fieldByName("NAME").asString();
    a.lane = q.fieldByName("LANE").asString();
    a.laneNo = q.fieldByName("LANENO").asInteger();
    a.laneLetter = q.fieldByName("LANELETTER").asString();
    a.sex = q.fieldByName("SEX").asString();
    a.bowTypeNo = optionalInteger(q, "BOWTYPENO");
    a.ageClassNo = optionalInteger(q, "AGECLASSNO");
    a.shootingClassNo = optionalInteger(q, "SHOOTINGCLASSNO");
    a.country = q.fieldByName("COUNTRY").asString();
    a.bowType = q.fieldByName("BOWTYPE").asString();
    a.ageClass = q.fieldByName("AGECLASS").asString();
    a.shootingClass = q.fieldByName("SHOOTINGCLASS").asString();
    a.club = q.fieldByName("CLUB").asString();
    a.enableTeam = q.fieldByName("ENABLETEAM").asFlag();
    return a;
}

// The archers in lane order, without arrows; with ids, only those archers.
std::vector<ArcherResult> readArchers(db::Connection& connection, db::Transaction& transaction,
                                      const std::vector<std::int32_t>* ids)
{
    std::set<std::int32_t> wanted;
    if (ids)
        wanted.insert(ids->begin(), ids->end());
    std::vector<ArcherResult> out;
    db::Query q(&connection, &transaction);
    q.sqlAdd("select " + archerNamesColumns() + ",");
    q.sqlAdd("  a.BOWTYPE as BOWTYPENO, a.AGECLASSNO, a.SHOOTINGCLASS as SHOOTINGCLASSNO, a.USERDEF1 as CLUB,");
    q.sqlAdd("  a.ENABLETEAM");
    q.sqlAdd(archerNamesFrom());
    q.sqlAdd("order by a.LANENO, a.LANELETTER, a.ARCHERID");
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        if (ids && !wanted.count(q.fieldByName("ARCHERID").asInteger()))
            continue;
        out.push_back(archerFromRow(q));
    }
    q.close();
    const std::map<std::int32_t, std::string> statuses = readArcherStatuses(connection, transaction);
    for (ArcherResult& a : out) {
        if (const auto it = statuses.find(a.archerId); it != statuses.end())
            a.status = it->second;
    }
    return out;
}

// The POINTS columns of one arrow pass, looked up once.
struct PointFields {
    explicit PointFields(db::Query& q)
        : id(q.fieldByName("ARCHERID")), round(q.fieldByName("ROUNDNO")), arrow(q.fieldByName("ARROWNO")),
          point(q.fieldByName("POINT")), cross(q.fieldByName("CROSS")), empty(q.fieldByName("EMPTYSCORE"))
    {
    }
    db::Field id, round, arrow, point, cross, empty;
};

// Takes one stored arrow into the archer's card and the archer model; the
// first arrow no arrow can be becomes the archer's fault.
void takeArrow(const PointFields& f, ArcherResult& current, TArcher& archer)
{
    const int round = f.round.asInteger();
    const int arrow = f.arrow.asInteger();
    if (round < 1 || round > RoundCount || arrow < 1 || arrow > ArrowsPerRound)
        return;
    auto point = std::make_unique<TArcheryPoint>();
    point->RoundNo = round;
    point->ArrowNo = arrow;
    point->EmptyScore = f.empty.asFlag();
    point->Point = point->EmptyScore ? 0 : f.point.asInteger();
    point->Cross = !point->EmptyScore && f.cross.asFlag();
    CardArrow& card = current.arrows[std::size_t(round - 1)][std::size_t(arrow - 1)];
    card.entered = !point->EmptyScore;
    card.point = point->Point;
    card.cross = point->Cross;
    if (const auto fault = storedArrowFault(*point); fault && current.fault.empty())
        current.fault = "archer " + std::to_string(current.archerId) + " (" + fromLatin1(current.name).toStdString()
                        + "), round " + std::to_string(round) + " arrow " + std::to_string(arrow) + ": " + *fault;
    archer.Results.push_back(std::move(point));
}

constexpr std::size_t kArchersReadByNumber = 50;

// The arrows of all archers in one pass, each archer counted by the archer
// model once its rows are in.
void readArrows(db::Connection& connection, db::Transaction& transaction, std::vector<ArcherResult>& archers)
{
    std::unordered_map<std::int32_t, std::size_t> index;
    for (std::size_t i = 0; i < archers.size(); ++i)
        index.emplace(archers[i].archerId, i);
    db::Query q(&connection, &transaction);
    q.sqlAdd("select ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE from POINTS");
    // A few archers (a card to check, to print) are read by their numbers,
    // not picked out of every arrow of the competition.
    if (!archers.empty() && archers.size() <= kArchersReadByNumber) {
        std::string in;
        std::vector<db::Value> params;
        for (const ArcherResult& a : archers) {
            in += in.empty() ? "?" : ", ?";
            params.emplace_back(a.archerId);
        }
        q.sqlAdd("where ARCHERID in (" + in + ")");
        q.setParams(params);
    }
    q.sqlAdd("order by ARCHERID, ROUNDNO, ARROWNO");
    q.open();
    const PointFields fields(q);
    TArcher archer;
    ArcherResult* current = nullptr;
    const auto finish = [&] {
        // An archer with a stored arrow no arrow can be is not summed: its
        // values could run beyond what the counts hold.
        if (current && current->fault.empty())
            countArrows(*current, archer);
        archer.ClearResults();
        current = nullptr;
    };
    for (q.first(); !q.eof(); q.next()) {
        const std::int32_t id = fields.id.asInteger();
        if (!current || current->archerId != id) {
            finish();
            const auto it = index.find(id);
            if (it == index.end())
                continue;
            current = &archers[it->second];
        }
        takeArrow(fields, *current, archer);
    }
    finish();
    q.close();
}

} // namespace

std::vector<ArcherResult> readArcherResults(db::Connection& connection, const std::vector<std::int32_t>* ids)
{
    db::Transaction transaction(&connection);
    readCommitted(transaction);
    std::vector<ArcherResult> archers = readArchers(connection, transaction, ids);
    readArrows(connection, transaction, archers);
    transaction.commit();
    return archers;
}

namespace {

// A name that no row of its table holds selects nobody: a misspelt bow type
// would read as a list of 0 archers. Refused, with the names there are.
void refuseUnknownNames(db::Connection& connection, db::Transaction& transaction, const CompiledFilter& compiled,
                        const std::string& listName)
{
    for (const FilterName& name : compiled.names) {
        db::Query q(&connection, &transaction);
        q.sqlAdd("select " + name.nameColumn + " as NAME from " + name.table + " order by 1");
        q.open();
        QStringList known;
        bool found = false;
        const QString wanted = fromLatin1(name.value).toCaseFolded();
        for (q.first(); !q.eof(); q.next()) {
            const QString stored = fromLatin1(q.fieldByName("NAME").asString());
            found = found || stored.toCaseFolded() == wanted;
            known << stored;
        }
        q.close();
        if (!found)
            throw CommandError("result list \"" + fromLatin1(listName).toStdString() + "\": no " + name.what + " '"
                               + fromLatin1(name.value).toStdString() + "'; known: "
                               + (known.isEmpty() ? std::string("none yet") : known.join(QStringLiteral(", ")).toStdString()));
    }
}

} // namespace

std::vector<std::int32_t> archersOfList(db::Connection& connection, const std::string& listName,
                                        const std::string& filter)
{
    CompiledFilter compiled;
    try {
        compiled = compileListFilter(filter);
    } catch (const ListFilterError& e) {
        throw CommandError("result list \"" + fromLatin1(listName).toStdString() + "\": its condition is refused: "
                           + e.what());
    }
    db::Transaction transaction(&connection);
    readCommitted(transaction);
    db::Query q(&connection, &transaction);
    q.sqlAdd("select ARCHERID from ARCHER");
    if (!compiled.sql.empty())
        q.sqlAdd("where " + compiled.sql);
    q.setParams(compiled.params);
    std::vector<std::int32_t> ids;
    try {
        refuseUnknownNames(connection, transaction, compiled, listName);
        q.open();
        for (q.first(); !q.eof(); q.next())
            ids.push_back(q.fieldByName("ARCHERID").asInteger());
        q.close();
    } catch (const db::DbError& e) {
        throw CommandError("result list \"" + fromLatin1(listName).toStdString() + "\": " + oneLine(e.what()));
    }
    transaction.commit();
    return ids;
}

namespace {

struct ListDefinition {
    std::string name, filter;
    bool team = false;
};

// What decides the lists beside the archers' arrows, read together with
// the list definitions.
struct ListSettings {
    std::map<std::string, std::map<std::int32_t, int>> shootOffs;
    std::map<std::string, ListOptions> options;
    std::map<std::int32_t, CardCheck> checks;
};

// The definitions of one kind of list, in the order of their names.
void readDefinitions(db::Connection& connection, db::Transaction& transaction, const char* applyTo, bool team,
                     std::vector<ListDefinition>& definitions)
{
    db::Query lists(&connection, &transaction);
    lists.sqlAdd("select * from RESULTLISTS");
    lists.sqlAdd(std::string("WHERE APPLYTO = '") + applyTo + "'");
    lists.sqlAdd("ORDER BY LISTNAME");
    lists.open();
    for (lists.first(); !lists.eof(); lists.next())
        definitions.push_back(
            {lists.fieldByName("LISTNAME").asString(), lists.fieldByName("LISTFILTER").asString(), team});
    lists.close();
}

// The competition, its individual list definitions, then its team list
// definitions, and the lists' settings, read together.
std::vector<ListDefinition> readListDefinitions(db::Connection& connection, Competition& competition,
                                                ListSettings& settings)
{
    std::vector<ListDefinition> definitions;
    db::Transaction transaction(&connection);
    readCommitted(transaction);
    competition = readCompetition(connection, transaction);
    readDefinitions(connection, transaction, "INDIVIDUAL", false, definitions);
    readDefinitions(connection, transaction, "TEAM", true, definitions);
    settings.shootOffs = readShootOffs(connection, transaction);
    settings.options = readListOptions(connection, transaction);
    settings.checks = readCardChecks(connection, transaction);
    transaction.commit();
    return definitions;
}

// One list per category that has archers, in the order of the numbers of
// bow type, shooting class and age class, then sex.
std::vector<ResultList> listsPerCategory(const std::vector<ArcherResult>& archers)
{
    using Key = std::tuple<std::int32_t, std::int32_t, std::int32_t, std::string>;
    std::map<Key, ResultList> byCategory;
    for (const ArcherResult& a : archers) {
        const Key key{a.bowTypeNo.value_or(INT32_MAX), a.shootingClassNo.value_or(INT32_MAX),
                      a.ageClassNo.value_or(INT32_MAX), a.sex};
        ResultList& list = byCategory[key];
        if (list.name.empty())
            list.name = categoryName(a);
        list.archers.push_back(a);
    }
    std::vector<ResultList> lists;
    for (auto& [key, list] : byCategory)
        lists.push_back(std::move(list));
    return lists;
}

// One list per definition (onlyList: just that one) with the archers its
// condition passes; a refused condition becomes the list's fault.
std::vector<ResultList> listsOfDefinitions(db::Connection& connection, const std::vector<ListDefinition>& definitions,
                                           const std::vector<ArcherResult>& archers,
                                           const std::optional<std::string>& onlyList)
{
    std::vector<ResultList> lists;
    for (const ListDefinition& d : definitions) {
        if (onlyList && d.name != *onlyList)
            continue;
        ResultList list;
        list.name = d.name;
        list.filter = d.filter;
        list.team = d.team;
        std::set<std::int32_t> ids;
        try {
            for (std::int32_t id : archersOfList(connection, d.name, d.filter))
                ids.insert(id);
        } catch (const CommandError& e) {
            list.faults.push_back(e.what());
        }
        for (const ArcherResult& a : archers) {
            if (ids.count(a.archerId))
                list.archers.push_back(a);
        }
        lists.push_back(std::move(list));
    }
    return lists;
}

// Ranks each list; a list with a fault is not ranked at all: a ranking
// without one of its archers would read as a true one. A team list ranks
// its teams; its archers stay for the count of the checked cards.
void rankLists(std::vector<ResultList>& lists, const std::vector<RankRule>& rules, const ListSettings& settings)
{
    static const std::map<std::int32_t, int> kNoShootOff;
    for (ResultList& list : lists) {
        if (const auto o = settings.options.find(list.name); o != settings.options.end()) {
            list.teamSize = o->second.teamSize;
            list.cutOff = o->second.cutOff;
        }
        for (const ArcherResult& a : list.archers) {
            if (!a.fault.empty())
                list.faults.push_back("result list \"" + fromLatin1(list.name).toStdString() + "\": " + a.fault);
        }
        if (!list.faults.empty())
            list.archers.clear();
        const auto shootOffs = settings.shootOffs.find(list.name);
        placeArchers(list.archers, rules, shootOffs == settings.shootOffs.end() ? kNoShootOff : shootOffs->second);
        if (list.team) {
            list.teams = rankTeams(list.archers, rules, list.teamSize);
            list.openTies = findOpenTies(list.teams, list.cutOff);
        } else {
            list.openTies = findOpenTies(list.archers, list.cutOff);
        }
        for (const ArcherResult& a : list.archers) {
            if (a.status == "DNS" || (list.team && (!a.enableTeam || a.status == "DSQ")))
                continue;
            ++list.cards;
            list.cardsVerified += int(settings.checks.count(a.archerId));
        }
    }
}

} // namespace

CompetitionResults readResults(db::Connection& connection, const std::optional<std::string>& onlyList)
{
    CompetitionResults results;
    results.asOf = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm")).toStdString();
    results.rules = readRankRules(connection);
    ListSettings settings;
    const std::vector<ListDefinition> definitions = readListDefinitions(connection, results.competition, settings);
    const std::vector<ArcherResult> archers = readArcherResults(connection);
    // Without individual lists of its own the competition is listed per
    // category; its team lists follow.
    const bool individualLists =
        std::any_of(definitions.begin(), definitions.end(), [](const ListDefinition& d) { return !d.team; });
    if (!individualLists)
        results.lists = listsPerCategory(archers);
    for (ResultList& l : listsOfDefinitions(connection, definitions, archers, onlyList))
        results.lists.push_back(std::move(l));
    if (onlyList) {
        std::erase_if(results.lists, [&](const ResultList& l) { return l.name != *onlyList; });
        if (results.lists.empty())
            throw CommandError("there is no result list \"" + *onlyList + "\"");
    }
    rankLists(results.lists, results.rules, settings);
    return results;
}
