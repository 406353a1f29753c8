#pragma once
// The closing rules of a ranking: an archer's status (DNS left out and
// listed after, DSQ listed last, both without a place; DNF ranked on the
// arrows entered), the order of a shoot-off among archers still tied, the
// ties still open for the places that matter, and the teams.

#include "results/ranking.h"

#include <cstdint>
#include <map>
#include <vector>

// Whether two archers are equal on every rule.
bool tiedOnEveryRule(const ArcherResult& a, const ArcherResult& b, const std::vector<RankRule>& rules);

// Ranks the archers by the rules, then applies the shoot-off ranks (archer →
// rank, 1 first) among the archers still tied, marking them; DNS and DSQ
// archers follow without a place, DNS first, each group in lane order.
void placeArchers(std::vector<ArcherResult>& archers, const std::vector<RankRule>& rules,
                  const std::map<std::int32_t, int>& shootOffRanks);

// The ties of placed rows for places 1 to 3, and for the cut-off place
// (a tie that reaches across it), in place order.
std::vector<OpenTie> findOpenTies(const std::vector<const ArcherResult*>& placed, int cutOff);
std::vector<OpenTie> findOpenTies(const std::vector<ArcherResult>& archers, int cutOff);
std::vector<OpenTie> findOpenTies(const std::vector<TeamResult>& teams, int cutOff);

// The teams of a list: archers with ENABLETEAM, neither DNS nor DSQ, grouped
// by country; a team's counts are the sums of its best teamSize members
// (by the rules), and teams are ranked by the same rules on those sums.
// Teams with fewer members follow, marked, without a place.
std::vector<TeamResult> rankTeams(const std::vector<ArcherResult>& archers, const std::vector<RankRule>& rules,
                                  int teamSize);

// "Tie for place 3: Koch, Emil and Wolf, Anna: shoot-off needed" (UTF-8).
std::string openTieText(const OpenTie& tie);
