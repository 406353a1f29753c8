#pragma once
// A login for the scoring stations on a server: a user of its own with only
// the rights the points window needs, so that the organiser's SYSDBA
// password stays off the stations.

#include "data/competition_login.h"

#include <optional>
#include <ostream>
#include <string>

// The tables the points window reads, and the one it writes.
inline constexpr const char* kStationReadTables[] = {"ARCHER", "COUNTRY", "AGECLASS", "SHOOTINGCLASSES", "BOWTYPES"};
inline constexpr const char* kStationWriteTable = "POINTS";

// Logged in as organiser, creates the user name on the server (with
// password, or a new one told once on out) unless it exists, and grants it
// SELECT on ARCHER and the lookups and SELECT, INSERT and UPDATE on POINTS
// in the organiser's database. An existing user keeps its password unless
// one is given. CommandError on failure.
void createStationLogin(const CompetitionLogin& organiser, const std::string& name,
                        const std::optional<std::string>& password, std::ostream& out);
