#pragma once
// The results of a competition: every archer's arrows counted, the archers
// of each result list ranked by the competition's tie-break rules.

#include "core/round_format.h"
#include "results/competition.h"
#include "db/value.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace db { class Connection; class Transaction; }

// One stored arrow, as a score card shows it.
struct CardArrow {
    bool entered = false;   // a value was entered (a miss included)
    int point = 0;
    bool cross = false;
};

// One archer with the counts of the arrows entered so far. Texts hold
// ISO 8859-1 bytes as the database does.
struct ArcherResult {
    std::int32_t archerId = 0;
    std::string name;
    std::string lane;
    std::int32_t laneNo = 0;
    std::string laneLetter;
    std::string sex;
    std::string country;
    std::string bowType;
    std::string ageClass;
    std::string shootingClass;
    std::string club;               // USERDEF1, where the import keeps the club
    std::optional<std::int32_t> bowTypeNo, ageClassNo, shootingClassNo;

    std::array<int, RoundCount> roundPoints{};
    int total = 0;
    int hits = 0;
    int xs = 0;
    std::array<int, 11> count{};    // count[v]: arrows scored v (X counted as 10); count[0] misses
    int arrowsEntered = 0;
    // [round - 1][arrow - 1]
    std::array<std::array<CardArrow, ArrowsPerRound>, RoundCount> arrows{};

    int place = 0;                  // set by ranking, 1 for the first; 0 for no place (DNS, DSQ)
    std::string status;             // "DNS", "DNF", "DSQ" or empty
    bool enableTeam = false;        // ENABLETEAM: may count for its country's team
    bool shootOff = false;          // the place was settled by a shoot-off
    // A stored arrow that no arrow can be (POINT outside 0 to 10, an X that
    // is no 10), named with archer, round and arrow: the archer's arrows
    // are then not counted and the archer is not ranked.
    std::string fault;

    bool incomplete() const { return arrowsEntered < ArrowsPerCard; }
    int tens() const { return count[10]; }
    int nines() const { return count[9]; }
};

// A quantity that decides between archers: more ranks higher.
enum class RankCriterion { Total, Tens, Xs, Nines, Eights, Sevens, Hits, Round1, Round2 };

struct RankRule {
    int position = 0;
    RankCriterion criterion = RankCriterion::Total;
};

// The rule words as the rules table stores them ("TOTAL", "TENS", "XS", ...).
const char* criterionWord(RankCriterion c);
std::optional<RankCriterion> criterionFromWord(const std::string& word);
// TOTAL, then TENS, then NINES: the indoor rule, X counted as a 10.
std::vector<RankRule> defaultRankRules();
int criterionValue(const ArcherResult& a, RankCriterion c);

// Orders the archers by the rules (lane order among equals) and gives each
// its place: archers equal on every rule share it, and the next place
// counts them all (1, 2, 2, 4).
void rankArchers(std::vector<ArcherResult>& archers, const std::vector<RankRule>& rules);

// A tie on every criterion that decides a place that matters (1 to 3, or
// the list's cut-off), with no shoot-off recorded yet.
struct OpenTie {
    int place = 0;
    std::vector<std::string> names;   // ISO 8859-1, in list order
};

// One team of a team list: the members' counts summed into `sum` (its name
// the team's), the members in their individual order.
struct TeamResult {
    ArcherResult sum;
    std::vector<ArcherResult> members;
    int counted = 0;                 // the best members whose scores count
    bool shortTeam = false;          // fewer members than the list counts: listed after, no place
};

struct ResultList {
    std::string name;              // ISO 8859-1
    std::string filter;            // as stored; empty for a list made per category
    bool team = false;             // APPLYTO 'TEAM'
    int teamSize = 3;              // members counted per team
    int cutOff = 0;                // the place up to which archers go on (finals), 0 for none
    std::vector<ArcherResult> archers;   // ranked, then DNS, then DSQ; none when the list has faults
    std::vector<TeamResult> teams;       // team lists: ranked, short teams after
    std::vector<OpenTie> openTies;
    int cards = 0;                 // the cards that must be verified (DNS aside)
    int cardsVerified = 0;
    bool isFinal() const { return faults.empty() && cards > 0 && cardsVerified == cards && openTies.empty(); }
    // Why the list is not ranked, one line each naming the list (UTF-8):
    // its condition is refused, or an archer of it has a stored arrow no
    // arrow can be.
    std::vector<std::string> faults;
};

// What the results commands read in one transaction.
struct CompetitionResults {
    Competition competition;
    std::string asOf;              // "14:32", the time the results were read
    std::vector<RankRule> rules;
    std::vector<ResultList> lists;
};

// The archers of the competition with their arrows counted, in lane order;
// with ids, only those archers.
std::vector<ArcherResult> readArcherResults(db::Connection& connection,
                                            const std::vector<std::int32_t>* ids = nullptr);

// Every individual result list (APPLYTO 'INDIVIDUAL'), or with none defined
// one list per bow type, shooting class, age class and sex that has
// archers; each ranked. onlyList: just the list of that name (CommandError
// when there is none). A list whose condition is refused, or that holds an
// archer with a stored arrow no arrow can be, gets its faults instead of a
// ranking; the other lists are ranked as usual.
CompetitionResults readResults(db::Connection& connection, const std::optional<std::string>& onlyList = {});

// The ARCHERIDs that pass a list's condition (CommandError when refused).
std::vector<std::int32_t> archersOfList(db::Connection& connection, const std::string& listName,
                                        const std::string& filter);
