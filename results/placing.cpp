#include "results/placing.h"

#include "core/latin1.h"

#include <algorithm>
#include <climits>

bool tiedOnEveryRule(const ArcherResult& a, const ArcherResult& b, const std::vector<RankRule>& rules)
{
    return std::all_of(rules.begin(), rules.end(), [&](const RankRule& r) {
        return criterionValue(a, r.criterion) == criterionValue(b, r.criterion);
    });
}

namespace {

// Orders one group of archers who share a place by their shoot-off ranks:
// ranked archers first, each with a place of its own unless their ranks
// are equal; the archers without a rank stay tied after them.
void applyShootOff(std::vector<ArcherResult>::iterator begin, std::vector<ArcherResult>::iterator end,
                   const std::map<std::int32_t, int>& ranks)
{
    const auto rankOf = [&](const ArcherResult& a) {
        const auto it = ranks.find(a.archerId);
        return it == ranks.end() ? INT_MAX : it->second;
    };
    if (std::none_of(begin, end, [&](const ArcherResult& a) { return rankOf(a) != INT_MAX; }))
        return;
    std::stable_sort(begin, end, [&](const ArcherResult& a, const ArcherResult& b) { return rankOf(a) < rankOf(b); });
    const int first = begin->place;
    for (auto it = begin; it != end; ++it) {
        it->shootOff = rankOf(*it) != INT_MAX;
        if (it == begin)
            continue;
        const auto prior = std::prev(it);
        it->place = rankOf(*it) == rankOf(*prior) ? prior->place : first + int(it - begin);
    }
}

} // namespace

void placeArchers(std::vector<ArcherResult>& archers, const std::vector<RankRule>& rules,
                  const std::map<std::int32_t, int>& shootOffRanks)
{
    std::vector<ArcherResult> ranked, dns, dsq;
    for (ArcherResult& a : archers) {
        a.shootOff = false;
        if (a.status == "DNS")
            dns.push_back(std::move(a));
        else if (a.status == "DSQ")
            dsq.push_back(std::move(a));
        else
            ranked.push_back(std::move(a));
    }
    rankArchers(ranked, rules);
    for (auto begin = ranked.begin(); begin != ranked.end();) {
        auto end = std::find_if(begin, ranked.end(), [&](const ArcherResult& a) { return a.place != begin->place; });
        if (end - begin > 1)
            applyShootOff(begin, end, shootOffRanks);
        begin = end;
    }
    archers = std::move(ranked);
    for (std::vector<ArcherResult>* unplaced : {&dns, &dsq}) {
        for (ArcherResult& a : *unplaced) {
            a.place = 0;
            archers.push_back(std::move(a));
        }
    }
}

std::vector<OpenTie> findOpenTies(const std::vector<const ArcherResult*>& placed, int cutOff)
{
    std::vector<OpenTie> ties;
    for (std::size_t begin = 0; begin < placed.size();) {
        std::size_t end = begin + 1;
        while (end < placed.size() && placed[end]->place == placed[begin]->place)
            ++end;
        const int place = placed[begin]->place;
        const int last = place + int(end - begin) - 1;
        const bool matters = place <= 3 || (cutOff > 0 && place <= cutOff && last > cutOff);
        if (place > 0 && end - begin > 1 && matters) {
            OpenTie tie{place, {}};
            for (std::size_t i = begin; i < end; ++i)
                tie.names.push_back(placed[i]->name);
            ties.push_back(std::move(tie));
        }
        begin = end;
    }
    return ties;
}

std::vector<OpenTie> findOpenTies(const std::vector<ArcherResult>& archers, int cutOff)
{
    std::vector<const ArcherResult*> placed;
    for (const ArcherResult& a : archers)
        placed.push_back(&a);
    return findOpenTies(placed, cutOff);
}

std::vector<OpenTie> findOpenTies(const std::vector<TeamResult>& teams, int cutOff)
{
    std::vector<const ArcherResult*> placed;
    for (const TeamResult& t : teams)
        placed.push_back(&t.sum);
    return findOpenTies(placed, cutOff);
}

namespace {

// Adds a member's counts into the team's sum.
void addCounts(ArcherResult& sum, const ArcherResult& member)
{
    for (std::size_t r = 0; r < sum.roundPoints.size(); ++r)
        sum.roundPoints[r] += member.roundPoints[r];
    sum.total += member.total;
    sum.hits += member.hits;
    sum.xs += member.xs;
    for (std::size_t v = 0; v < sum.count.size(); ++v)
        sum.count[v] += member.count[v];
    sum.arrowsEntered += member.arrowsEntered;
}

} // namespace

std::vector<TeamResult> rankTeams(const std::vector<ArcherResult>& archers, const std::vector<RankRule>& rules,
                                  int teamSize)
{
    std::map<std::string, std::vector<ArcherResult>> byCountry;
    for (const ArcherResult& a : archers) {
        if (a.enableTeam && !a.country.empty() && a.status != "DNS" && a.status != "DSQ" && a.fault.empty())
            byCountry[a.country].push_back(a);
    }
    std::vector<ArcherResult> sums;
    std::vector<TeamResult> full, shortTeams;
    for (auto& [country, members] : byCountry) {
        rankArchers(members, rules);
        TeamResult team;
        team.sum.name = country;
        team.sum.country = country;
        team.sum.laneLetter = country;   // teams equal on every rule stand in the order of their names
        team.counted = std::min(teamSize, int(members.size()));
        team.shortTeam = int(members.size()) < teamSize;
        for (int i = 0; i < team.counted; ++i)
            addCounts(team.sum, members[std::size_t(i)]);
        team.members = std::move(members);
        (team.shortTeam ? shortTeams : full).push_back(std::move(team));
    }
    // Ranked by the rules on their sums, through the archers' own ranking.
    const auto rankGroup = [&](std::vector<TeamResult>& teams) {
        std::vector<ArcherResult> keys;
        for (std::size_t i = 0; i < teams.size(); ++i) {
            keys.push_back(teams[i].sum);
            keys.back().archerId = std::int32_t(i);
        }
        rankArchers(keys, rules);
        std::vector<TeamResult> ordered;
        for (const ArcherResult& k : keys) {
            ordered.push_back(std::move(teams[std::size_t(k.archerId)]));
            ordered.back().sum.place = k.place;
        }
        teams = std::move(ordered);
    };
    rankGroup(full);
    rankGroup(shortTeams);
    for (TeamResult& t : shortTeams) {
        t.sum.place = 0;
        full.push_back(std::move(t));
    }
    return full;
}

std::string openTieText(const OpenTie& tie)
{
    std::string names;
    for (std::size_t i = 0; i < tie.names.size(); ++i) {
        if (i > 0)
            names += i + 1 == tie.names.size() ? " and " : "; ";
        names += fromLatin1(tie.names[i]).toStdString();
    }
    return "Tie for place " + std::to_string(tie.place) + ": " + names + ": shoot-off needed";
}
