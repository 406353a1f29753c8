#pragma once
// One archer as it goes into ARCHER, the names of its lookups resolved.

#include <cstdint>
#include <optional>
#include <string>

namespace db {
class Connection;
class Transaction;
}

struct ArcherRow {
    std::optional<std::int32_t> countryNumber;
    std::string name;
    std::string lane;
    std::string sex;
    std::string userDef1;
    std::string userDef2;
    std::optional<std::int32_t> bowType;
    std::optional<std::int32_t> ageClass;
    std::optional<std::int32_t> shootingClass;
    bool enableTeam = true;
    bool enableFinals = true;
    std::int32_t laneNo = 0;
    std::string laneLetter;
};

// Inserts the row with a new ARCHERID from GEN_ARCHER_ID, and returns it.
// CommandError when another change took the lane since this one began.
std::int32_t insertArcher(db::Connection& connection, db::Transaction& transaction, const ArcherRow& a);

// The line for a lane that another change took while this one ran.
std::string laneTakenMeanwhile(std::int32_t laneNo, const std::string& letters);
