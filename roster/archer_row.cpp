#include "roster/archer_row.h"

#include "core/command_error.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "roster/name_table.h"

namespace {

db::Value optionalNumber(const std::optional<std::int32_t>& v)
{
    return v ? db::Value(*v) : db::Value();
}

db::Value optionalText(const std::string& text)
{
    return text.empty() ? db::Value() : db::Value(text);
}

} // namespace

std::int32_t insertArcher(db::Connection& connection, db::Transaction& transaction, const ArcherRow& a)
{
    const std::int32_t id = nextId(connection, transaction, "GEN_ARCHER_ID");
    db::Statement insert(&connection, &transaction);
    insert.sqlAdd("insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, USERDEF1, USERDEF2,");
    insert.sqlAdd("  BOWTYPE, AGECLASSNO, SHOOTINGCLASS, ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER)");
    insert.sqlAdd("values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    try {
        insert.execute({db::Value(id), optionalNumber(a.countryNumber), db::Value(a.name), db::Value(a.lane),
                        optionalText(a.sex), optionalText(a.userDef1), optionalText(a.userDef2),
                        optionalNumber(a.bowType), optionalNumber(a.ageClass), optionalNumber(a.shootingClass),
                        db::Value(a.enableTeam ? "T" : "F"), db::Value(a.enableFinals ? "T" : "F"),
                        db::Value(a.laneNo), db::Value(a.laneLetter)});
    } catch (const db::DuplicateKeyError&) {
        throw CommandError(laneTakenMeanwhile(a.laneNo, a.laneLetter));
    }
    return id;
}

std::string laneTakenMeanwhile(std::int32_t laneNo, const std::string& letters)
{
    return "lane " + std::to_string(laneNo) + letters + " was just taken by another change; run the command again";
}
