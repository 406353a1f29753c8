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

// The transactions on their databases, each database with its default
// transaction; both logins are the data module's design-time one, until
// the host connects.
void joinConnections(TdmTallyon& dm)
{
    CompetitionLogin designTime;
    designTime.user = "sysdba";
    for (db::Connection* connection : {&dm.IBDBCompetition, &dm.IBDBBaseClasses})
        SetCompetitionLogin(*connection, designTime);
    dm.IBTransCompetition.setConnection(&dm.IBDBCompetition);
    dm.IBTransPoints.setConnection(&dm.IBDBCompetition);
    dm.IBTransBaseClasses.setConnection(&dm.IBDBBaseClasses);
    dm.IBDBCompetition.setDefaultTransaction(&dm.IBTransCompetition);
    dm.IBDBBaseClasses.setDefaultTransaction(&dm.IBTransBaseClasses);
}

void fillUpdateStatements(TdmTallyon& dm)
{
    dm.IBUpdSQLArcher = statementsOf(kArcherShape);
    dm.IBUpdSQLPoints = statementsOf(kPointsShape);
    dm.IBUpdSQLCountry = statementsOf(kCountryShape);
    dm.IBUpdSQLAgeClass = statementsOf(kAgeClassShape);
    dm.IBUpdSQLShootingClass = statementsOf(kShootingClassesShape);
    dm.IBUpdSQLBowType = statementsOf(kBowTypesShape);
    dm.IBUpdSQLCompetition = MakeUpdateStatements(
        {kCompetitionShape.table, kCompetitionShape.columns, kCompetitionShape.keys, "competition", true});
    dm.IBUpdSQLResultListsIndividual = statementsOf(kResultListsShape);
    dm.IBUpdSQLResultListsTeam = statementsOf(kResultListsShape);
    dm.IBUpdSQLBaseAgeClass = statementsOf(kBaseAgeClassShape);
    dm.IBUpdBaseShootingClass = statementsOf(kBaseShootingClassesShape);
    dm.IBUpdBaseBowType = statementsOf(kBaseBowTypesShape);
}

// Each dataset on its database, its transaction and its update statements.
void bindDatasets(TdmTallyon& dm)
{
    db::Connection& competition = dm.IBDBCompetition;
    db::Transaction& competitionTrans = dm.IBTransCompetition;
    db::Connection& baseClasses = dm.IBDBBaseClasses;
    db::Transaction& baseClassesTrans = dm.IBTransBaseClasses;
    bind(dm.IBQryCompetition, competition, competitionTrans, &dm.IBUpdSQLCompetition);
    bind(dm.IBQryAgeClass, competition, competitionTrans, &dm.IBUpdSQLAgeClass);
    bind(dm.IBQryShootingClass, competition, competitionTrans, &dm.IBUpdSQLShootingClass);
    bind(dm.IBQryBowType, competition, competitionTrans, &dm.IBUpdSQLBowType);
    bind(dm.IBQryCountry, competition, competitionTrans, &dm.IBUpdSQLCountry);
    bind(dm.IBQryArcher, competition, competitionTrans, &dm.IBUpdSQLArcher);
    bind(dm.IBQryPoints, competition, dm.IBTransPoints, &dm.IBUpdSQLPoints);
    bind(dm.IBQryResultListsIndividual, competition, competitionTrans, &dm.IBUpdSQLResultListsIndividual);
    bind(dm.IBQryResultListsTeam, competition, competitionTrans, &dm.IBUpdSQLResultListsTeam);
    bind(dm.IBQryArcherForResultLists, competition, competitionTrans, nullptr);
    bind(dm.IBQryBaseAgeClass, baseClasses, baseClassesTrans, &dm.IBUpdSQLBaseAgeClass);
    bind(dm.IBQryBaseShootingClass, baseClasses, baseClassesTrans, &dm.IBUpdBaseShootingClass);
    bind(dm.IBQryBaseBowType, baseClasses, baseClassesTrans, &dm.IBUpdBaseBowType);
    dm.IBSQLDelete.setConnection(&competition);
    dm.IBSQLDelete.setTransaction(&competitionTrans);
}

void setSelects(TdmTallyon& dm)
{
    setStatement(dm.IBQryCompetition, {"select * from COMPETITION"});
    setStatement(dm.IBQryAgeClass, {"select * from AGECLASS"});
    setStatement(dm.IBQryShootingClass, {"select * from SHOOTINGCLASSES"});
    setStatement(dm.IBQryBowType, {"select * from BOWTYPES"});
    setStatement(dm.IBQryCountry, {"select * from COUNTRY"});
    setStatement(dm.IBQryArcher, {"select * from ARCHER"});
    setStatement(dm.IBQryPoints, {"select * from POINTS"});
    setStatement(dm.IBQryResultListsIndividual,
                 {"select * from RESULTLISTS", "WHERE APPLYTO = 'INDIVIDUAL'", "ORDER BY LISTNAME"});
    setStatement(dm.IBQryResultListsTeam,
                 {"select * from RESULTLISTS", "WHERE APPLYTO = 'TEAM'", "ORDER BY LISTNAME"});
    setStatement(dm.IBQryBaseAgeClass, {"select * from BASEAGECLASS"});
    setStatement(dm.IBQryBaseShootingClass, {"select * from BASESHOOTINGCLASSES"});
    setStatement(dm.IBQryBaseBowType, {"select * from BASEBOWTYPES"});
}

// The generator that numbers each appended row of the lookup tables and
// the archers.
void setGeneratorFields(TdmTallyon& dm)
{
    dm.IBQryArcher.setGeneratorField("ARCHERID", "GEN_ARCHER_ID");
    dm.IBQryCountry.setGeneratorField("COUNTRYNUMBER", "GEN_COUNTRY_ID");
    dm.IBQryAgeClass.setGeneratorField("AGECLASSNO", "GEN_AGECLASS_ID");
    dm.IBQryShootingClass.setGeneratorField("SHOOTINGCLASSNO", "GEN_SHOOTINGCLASSES_ID");
    dm.IBQryBowType.setGeneratorField("TYPENO", "GEN_BOWTYPES_ID");
    dm.IBQryBaseAgeClass.setGeneratorField("AGECLASSNO", "GEN_AGECLASS_ID");
    dm.IBQryBaseShootingClass.setGeneratorField("SHOOTINGCLASSNO", "GEN_SHOOTINGCLASSES_ID");
    dm.IBQryBaseBowType.setGeneratorField("TYPENO", "GEN_BOWTYPES_ID");
}

} // namespace

TdmTallyon::TdmTallyon()
{
    joinConnections(*this);
    fillUpdateStatements(*this);
    bindDatasets(*this);
    setSelects(*this);
    setGeneratorFields(*this);
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
