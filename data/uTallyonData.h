#pragma once
// The competition data context: the host's data module with its connections,
// transactions and datasets on the competition database, the lookups by
// number, and the archer ordering.

#include "data/competition_login.h"
#include "data/object_list.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "db/update_sql.h"

#include <cstdint>
#include <string>

class TArcher;

class TdmTallyon {
public:
    // Builds the components with their statements; connects nothing.
    TdmTallyon();
    // Closes every dataset and disconnects; never throws.
    ~TdmTallyon();
    TdmTallyon(const TdmTallyon&) = delete;
    TdmTallyon& operator=(const TdmTallyon&) = delete;

    // The components, in the order of the data module.
    db::UpdateSql IBUpdSQLCompetition;
    db::Connection IBDBCompetition;
    db::Query IBQryCompetition;
    db::Transaction IBTransCompetition;
    db::Query IBQryBaseAgeClass;
    db::UpdateSql IBUpdSQLBaseAgeClass;
    db::Connection IBDBBaseClasses;
    db::Transaction IBTransBaseClasses;
    db::Query IBQryBaseShootingClass;
    db::UpdateSql IBUpdBaseShootingClass;
    db::Query IBQryBaseBowType;
    db::UpdateSql IBUpdBaseBowType;
    db::Query IBQryAgeClass;
    db::UpdateSql IBUpdSQLAgeClass;
    db::Query IBQryShootingClass;
    db::UpdateSql IBUpdSQLShootingClass;
    db::Query IBQryBowType;
    db::UpdateSql IBUpdSQLBowType;
    db::Query IBQryCountry;
    db::UpdateSql IBUpdSQLCountry;
    db::Query IBQryArcher;
    db::UpdateSql IBUpdSQLArcher;
    db::Query IBQryPoints;
    db::UpdateSql IBUpdSQLPoints;
    db::Query IBQryResultListsIndividual;
    db::UpdateSql IBUpdSQLResultListsIndividual;
    db::Query IBQryArcherForResultLists;
    db::Transaction IBTransPoints;
    db::Statement IBSQLDelete;
    db::UpdateSql IBUpdSQLResultListsTeam;
    db::Query IBQryResultListsTeam;

    // The host's own members.
    TObjectList<TArcher> ArcherList;

    // Host side: connects IBDBCompetition to the given database, opens the
    // lookup queries (age class, shooting class, bow type, country) and
    // leaves IBDBBaseClasses closed. Raises db::DbError with the server's words.
    void Connect(const CompetitionLogin& login);

    // Lookups by number over the open lookup datasets: empty text when the
    // dataset is closed or has no such number, "Unknown" when the search fails.
    std::string GetBowTypeDescription(std::int32_t typeNo);
    std::string GetAgeClassDescription(std::int32_t ageClassNo);
    std::string GetShootingClassDescription(std::int32_t shootingClassNo);
    std::string GetCountryName(std::int32_t countryNumber);

    // Archer ordering (implemented with the archer model): reopens
    // IBQryArcher ordered by the given column list and rebuilds ArcherList.
    void SortArchers(const std::string& orderBy);
    void ReadArcherList();
};

// The unit-wide instance; nothing in the module assigns it.
extern TdmTallyon* dmTallyon;
