#include "data/uTallyonData.h"

#include "data/table_shapes.h"
#include "data/update_statements.h"
#include "db/error.h"

#include <exception>

TdmTallyon* dmTallyon = nullptr;

namespace {

db::UpdateSql statementsOf(const TableShape& shape)
{
    return MakeUpdateStatements({shape.table, shape.columns, shape.keys, {}, false});
}

void setStatement(db::Query& query, std::initializer_list<const char*> lines)
{
    query.sqlClear();
    for (const char* line : lines)
        query.sqlAdd(line);
}

void bind(db::Query& query, db::Connection& connection, db::Transaction& transaction, db::UpdateSql* update)
{
    query.setConnection(&connection);
    query.setTransaction(&transaction);
    query.setUpdateObject(update);
}

// One lookup by number: empty when the dataset is closed or lacks the
// number (the cursor then stays), the result column of the found row
// (which becomes current), "Unknown" when the search or the read fails.
std::string lookUp(db::Query& query, const char* keyColumn, const char* resultColumn, std::int32_t number)
{
    std::string result;
    if (!query.active())
        return result;
    try {
        if (query.locate(keyColumn, {db::Value(number)}))
            result = query.fieldByName(resultColumn).asString();
    } catch (const std::exception&) {
        result = "Unknown";
    }
    return result;
}

} // namespace

TdmTallyon::TdmTallyon()
{
    // The data module's design-time login, until the host connects.
    CompetitionLogin designTime;
    designTime.user = "sysdba";
    for (db::Connection* connection : {&IBDBCompetition, &IBDBBaseClasses})
        SetCompetitionLogin(*connection, designTime);
    IBTransCompetition.setConnection(&IBDBCompetition);
    IBTransPoints.setConnection(&IBDBCompetition);
    IBTransBaseClasses.setConnection(&IBDBBaseClasses);
    IBDBCompetition.setDefaultTransaction(&IBTransCompetition);
    IBDBBaseClasses.setDefaultTransaction(&IBTransBaseClasses);

    IBUpdSQLArcher = statementsOf(kArcherShape);
    IBUpdSQLPoints = statementsOf(kPointsShape);
    IBUpdSQLCountry = statementsOf(kCountryShape);
    IBUpdSQLAgeClass = statementsOf(kAgeClassShape);
    IBUpdSQLShootingClass = statementsOf(kShootingClassesShape);
    IBUpdSQLBowType = statementsOf(kBowTypesShape);
    IBUpdSQLCompetition = MakeUpdateStatements(
        {kCompetitionShape.table, kCompetitionShape.columns, kCompetitionShape.keys, "competition", true});
    IBUpdSQLResultListsIndividual = statementsOf(kResultListsShape);
    IBUpdSQLResultListsTeam = statementsOf(kResultListsShape);
    IBUpdSQLBaseAgeClass = statementsOf(kBaseAgeClassShape);
    IBUpdBaseShootingClass = statementsOf(kBaseShootingClassesShape);
    IBUpdBaseBowType = statementsOf(kBaseBowTypesShape);

    bind(IBQryCompetition, IBDBCompetition, IBTransCompetition, &IBUpdSQLCompetition);
    bind(IBQryAgeClass, IBDBCompetition, IBTransCompetition, &IBUpdSQLAgeClass);
    bind(IBQryShootingClass, IBDBCompetition, IBTransCompetition, &IBUpdSQLShootingClass);
    bind(IBQryBowType, IBDBCompetition, IBTransCompetition, &IBUpdSQLBowType);
    bind(IBQryCountry, IBDBCompetition, IBTransCompetition, &IBUpdSQLCountry);
    bind(IBQryArcher, IBDBCompetition, IBTransCompetition, &IBUpdSQLArcher);
    bind(IBQryPoints, IBDBCompetition, IBTransPoints, &IBUpdSQLPoints);
    bind(IBQryResultListsIndividual, IBDBCompetition, IBTransCompetition, &IBUpdSQLResultListsIndividual);
    bind(IBQryResultListsTeam, IBDBCompetition, IBTransCompetition, &IBUpdSQLResultListsTeam);
    bind(IBQryArcherForResultLists, IBDBCompetition, IBTransCompetition, nullptr);
    bind(IBQryBaseAgeClass, IBDBBaseClasses, IBTransBaseClasses, &IBUpdSQLBaseAgeClass);
    bind(IBQryBaseShootingClass, IBDBBaseClasses, IBTransBaseClasses, &IBUpdBaseShootingClass);
    bind(IBQryBaseBowType, IBDBBaseClasses, IBTransBaseClasses, &IBUpdBaseBowType);
    IBSQLDelete.setConnection(&IBDBCompetition);
    IBSQLDelete.setTransaction(&IBTransCompetition);

    setStatement(IBQryCompetition, {"select * from COMPETITION"});
    setStatement(IBQryAgeClass, {"select * from AGECLASS"});
    setStatement(IBQryShootingClass, {"select * from SHOOTINGCLASSES"});
    setStatement(IBQryBowType, {"select * from BOWTYPES"});
    setStatement(IBQryCountry, {"select * from COUNTRY"});
    setStatement(IBQryArcher, {"select * from ARCHER"});
    setStatement(IBQryPoints, {"select * from POINTS"});
    setStatement(IBQryResultListsIndividual,
                 {"select * from RESULTLISTS", "WHERE APPLYTO = 'INDIVIDUAL'", "ORDER BY LISTNAME"});
    setStatement(IBQryResultListsTeam, {"select * from RESULTLISTS", "WHERE APPLYTO = 'TEAM'", "ORDER BY LISTNAME"});
    setStatement(IBQryBaseAgeClass, {"select * from BASEAGECLASS"});
    setStatement(IBQryBaseShootingClass, {"select * from BASESHOOTINGCLASSES"});
    setStatement(IBQryBaseBowType, {"select * from BASEBOWTYPES"});

    IBQryArcher.setGeneratorField("ARCHERID", "GEN_ARCHER_ID");
    IBQryCountry.setGeneratorField("COUNTRYNUMBER", "GEN_COUNTRY_ID");
    IBQryAgeClass.setGeneratorField("AGECLASSNO", "GEN_AGECLASS_ID");
    IBQryShootingClass.setGeneratorField("SHOOTINGCLASSNO", "GEN_SHOOTINGCLASSES_ID");
    IBQryBowType.setGeneratorField("TYPENO", "GEN_BOWTYPES_ID");
    IBQryBaseAgeClass.setGeneratorField("AGECLASSNO", "GEN_AGECLASS_ID");
    IBQryBaseShootingClass.setGeneratorField("SHOOTINGCLASSNO", "GEN_SHOOTINGCLASSES_ID");
    IBQryBaseBowType.setGeneratorField("TYPENO", "GEN_BOWTYPES_ID");
}

TdmTallyon::~TdmTallyon()
{
    ArcherList.Clear();
    for (db::Query* query : {&IBQryCompetition, &IBQryBaseAgeClass, &IBQryBaseShootingClass, &IBQryBaseBowType,
                             &IBQryAgeClass, &IBQryShootingClass, &IBQryBowType, &IBQryCountry, &IBQryArcher,
                             &IBQryPoints, &IBQryResultListsIndividual, &IBQryArcherForResultLists,
                             &IBQryResultListsTeam})
        query->close();
    IBDBCompetition.disconnect();
    IBDBBaseClasses.disconnect();
}

void TdmTallyon::Connect(const CompetitionLogin& login)
{
    SetCompetitionLogin(IBDBCompetition, login);
    IBDBCompetition.connect();
    try {
        for (db::Query* lookup : {&IBQryAgeClass, &IBQryShootingClass, &IBQryBowType, &IBQryCountry})
            lookup->open();
    } catch (...) {
        IBDBCompetition.disconnect();
        throw;
    }
}

std::string TdmTallyon::GetBowTypeDescription(std::int32_t typeNo)
{
    return lookUp(IBQryBowType, "TYPENO", "DESCRIPTION", typeNo);
}

std::string TdmTallyon::GetAgeClassDescription(std::int32_t ageClassNo)
{
    return lookUp(IBQryAgeClass, "AGECLASSNO", "DESCRIPTION", ageClassNo);
}

std::string TdmTallyon::GetShootingClassDescription(std::int32_t shootingClassNo)
{
    return lookUp(IBQryShootingClass, "SHOOTINGCLASSNO", "DESCRIPTION", shootingClassNo);
}

std::string TdmTallyon::GetCountryName(std::int32_t countryNumber)
{
    return lookUp(IBQryCountry, "COUNTRYNUMBER", "NAME", countryNumber);
}
