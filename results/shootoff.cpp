#include "results/shootoff.h"

#include "core/command_error.h"
#include "core/latin1.h"
#include "results/final_tables.h"
#include "results/placing.h"
#include "results/ranking.h"

#include <algorithm>
#include <set>

namespace {

std::string who(const ArcherResult& a)
{
    return fromLatin1(a.name).toStdString() + " (" + std::to_string(a.archerId) + ")";
}

// The first rule on which the two differ, as "TOTAL 540 against 538".
std::string difference(const ArcherResult& a, const ArcherResult& b, const std::vector<RankRule>& rules)
{
    for (const RankRule& r : rules) {
        const int va = criterionValue(a, r.criterion);
        const int vb = criterionValue(b, r.criterion);
        if (va != vb)
            return std::string(criterionWord(r.criterion)) + " " + std::to_string(va) + " against "
                   + std::to_string(vb);
    }
    return {};
}

} // namespace

std::string recordShootOff(db::Connection& connection, const std::string& listName,
                           const std::vector<std::int32_t>& order)
{
    const std::string list = fromLatin1(listName).toStdString();
    if (order.size() < 2)
        throw CommandError("a shoot-off orders two archers or more");
    if (std::set<std::int32_t>(order.begin(), order.end()).size() != order.size())
        throw CommandError("an archer is named twice");
    const CompetitionResults results = readResults(connection, listName);
    const ResultList& l = results.lists.front();
    if (l.team)
        throw CommandError("\"" + list + "\" is a team list: shoot-offs are recorded for archers");
    if (!l.faults.empty())
        throw CommandError(l.faults.front());
    std::vector<const ArcherResult*> archers;
    for (std::int32_t id : order) {
        const auto it = std::find_if(l.archers.begin(), l.archers.end(),
                                     [&](const ArcherResult& a) { return a.archerId == id; });
        if (it == l.archers.end())
            throw CommandError("archer " + std::to_string(id) + " is not on the list \"" + list + "\"");
        if (it->status == "DNS" || it->status == "DSQ")
            throw CommandError(who(*it) + " is " + it->status + " and has no place to shoot off for");
        archers.push_back(&*it);
    }
    for (const ArcherResult* a : archers) {
        if (!tiedOnEveryRule(*archers.front(), *a, results.rules))
            throw CommandError(who(*archers.front()) + " and " + who(*a) + " are not tied: "
                               + difference(*archers.front(), *a, results.rules) + "; nothing recorded");
    }
    // The rest of their tie loses what was recorded before: the new order is the tie's.
    std::vector<std::int32_t> replaced;
    for (const ArcherResult& a : l.archers) {
        if (a.status != "DNS" && a.status != "DSQ" && tiedOnEveryRule(*archers.front(), a, results.rules))
            replaced.push_back(a.archerId);
    }
    writeShootOff(connection, listName, order, replaced);
    std::string report = "shoot-off recorded on " + list + ":";
    for (std::size_t i = 0; i < archers.size(); ++i)
        report += (i ? ", " : " ") + std::to_string(i + 1) + ". " + who(*archers[i]);
    return report;
}
