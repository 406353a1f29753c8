#pragma once
// The history of every arrow: POINTS_HISTORY, filled by a trigger on POINTS
// with each append, change and removal of an arrow, who made it (the
// database user) and where (the station's name, which each attachment
// sets in its USER_SESSION context as kStationContextName).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace db { class Connection; }

inline constexpr const char* kStationContextName = "TALLYON_STATION";

// Creates the history table, its sequence and its trigger, with the rights
// the trigger needs, where the database lacks them. False when they are
// missing and could not be made (a login that may not change the schema, a
// read-only database): the arrows are then saved without their history.
bool EnsurePointsHistory(db::Connection& connection);
// Whether the database has the history's trigger.
bool HasPointsHistory(db::Connection& connection);

// One change of one arrow. Values as the card shows them: "X", "10" to "1",
// "M", "" for an arrow not yet shot; none for an arrow that had no row
// before (old) or has none after (new).
struct PointsChange {
    std::string changedAt;            // "YYYY-MM-DD HH:MM:SS"
    std::int32_t archer = 0;
    std::string lane;
    std::string name;
    std::int32_t round = 0;
    std::int32_t arrow = 0;
    std::optional<std::string> oldValue;
    std::optional<std::string> newValue;
    std::string user;
    std::string station;
};

// Every change of the archer's arrows (or of the archers on the lane: LANE
// as stored, in any case), oldest first. Text in ISO 8859-1.
std::vector<PointsChange> ReadPointsHistory(db::Connection& connection, std::optional<std::int32_t> archer,
                                            const std::optional<std::string>& lane);
