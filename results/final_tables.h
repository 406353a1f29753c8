#pragma once
// The tables the closing of a competition adds beside the Parts' own, each
// created the first time something is written to it; a database without
// one reads as having no rows in it:
//   SHOOTOFFS (LISTNAME, ARCHERID, SHOOTOFFRANK): the order the judges set
//     among archers tied on every criterion;
//   RESULTLISTOPTIONS (LISTNAME, TEAMSIZE, CUTOFF): members counted per
//     team and the place up to which archers go on;
//   CARDCHECKS (ARCHERID, CHECKEDBY, CHECKEDAT): the cards checked against
//     the card the archer signed, and locked.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace db { class Connection; class Transaction; }

// Creates the table when it is missing, in a transaction of its own.
void ensureShootOffTable(db::Connection& connection);
void ensureListOptionsTable(db::Connection& connection);
void ensureCardCheckTable(db::Connection& connection);

bool tableExists(db::Connection& connection, db::Transaction& transaction, const char* table);

// Every list's shoot-off order: list name → archer → rank (1 first).
std::map<std::string, std::map<std::int32_t, int>> readShootOffs(db::Connection& connection,
                                                                 db::Transaction& transaction);
// Records the order of archers (best first) on a list, replacing what was
// recorded for them and for the archers in `replaced`.
void writeShootOff(db::Connection& connection, const std::string& listName, const std::vector<std::int32_t>& order,
                   const std::vector<std::int32_t>& replaced);

struct ListOptions {
    int teamSize = 3;
    int cutOff = 0;
};
std::map<std::string, ListOptions> readListOptions(db::Connection& connection, db::Transaction& transaction);
void writeListOptions(db::Connection& connection, const std::string& listName, const ListOptions& options);

struct CardCheck {
    std::string by;      // the station's or the host's name
    std::string at;      // "2026-12-09 14:32"
};
std::map<std::int32_t, CardCheck> readCardChecks(db::Connection& connection, db::Transaction& transaction);
