#pragma once
// What the results add to a competition database, each created the first
// time it is needed, so that older databases keep working: the table of
// tie-break rules and the trigger that tells listeners of every save.

#include "results/ranking.h"

#include <string>
#include <vector>

namespace db { class Connection; }

// The event every committed change of POINTS posts.
inline constexpr const char* kPointsSavedEvent = "TALLYON_POINTS_SAVED";

// The tie-break rules in their order, from RANKINGRULES (RULENO,
// CRITERION). The table is created, holding the default rules, when the
// database lacks it. CommandError for an unknown criterion or an empty table.
std::vector<RankRule> readRankRules(db::Connection& connection);

// Creates the trigger on POINTS that posts kPointsSavedEvent, when missing.
void ensurePointsSavedTrigger(db::Connection& connection);

// A schema change in a transaction of its own. Another program may have
// made the same object a moment earlier (done then says so): that is no
// failure. CommandError for any other.
void createSchemaObject(db::Connection& connection, const std::vector<std::string>& statements,
                        bool (*done)(db::Connection&));

// Whether select, with value as its one parameter, finds a row (read only).
bool rowExists(db::Connection& connection, const char* select, const std::string& value);

// Whether the database has a table or a trigger of that name.
bool hasTable(db::Connection& connection, const char* table);
bool hasTrigger(db::Connection& connection, const char* trigger);
