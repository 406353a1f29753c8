#pragma once
// Whether an archer did not start (DNS), retired (DNF) or was disqualified
// (DSQ), kept in a table of our own, ARCHERSTATUS (ARCHERID, STATUS), beside
// ARCHER, which keeps its columns. The table is created the first time a
// status is written; a database without it has no status at all.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace db { class Connection; class Transaction; }

// "DNS", "DNF", "DSQ" or "" (no status) from a typed text, case and
// surrounding spaces aside; nullopt for anything else.
std::optional<std::string> archerStatusFromText(const std::string& text);

// Creates ARCHERSTATUS in a transaction of its own when it is missing.
void ensureArcherStatusTable(db::Connection& connection);

// Every archer's status that is set; empty when the table does not exist.
std::map<std::int32_t, std::string> readArcherStatuses(db::Connection& connection, db::Transaction& transaction);

// Sets (or with "" clears) one archer's status inside the caller's
// transaction; the table must exist (ensureArcherStatusTable).
void writeArcherStatus(db::Connection& connection, db::Transaction& transaction, std::int32_t archerId,
                       const std::string& status);
