#include "data/competition_schema.h"

#include "data/points_history.h"

#include "core/latin1.h"
#include "core/text_trim.h"
#include "data/table_shapes.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/sql_text.h"
#include "db/transaction.h"

#include <filesystem>
#include <set>
#include <utility>
#include <stdexcept>
#include <system_error>

extern const char* const kCompetitionSchemaScript;

namespace {

bool isBlank(const std::string& text)
{
    return trimmedView(text).empty();
}

} // namespace

std::vector<std::string> CompetitionSchemaStatements()
{
    // Splits the script at the semicolons that stand outside comments,
    // quoted names and string literals; comments are dropped.
    std::vector<std::string> statements;
    std::string current;
    for (const db::SqlPiece& piece : db::splitSqlText(kCompetitionSchemaScript)) {
        switch (piece.kind) {
        case db::SqlPieceKind::BlockComment:
            current += ' ';
            break;
        case db::SqlPieceKind::LineComment:
            break;
        case db::SqlPieceKind::Quoted:
            current += piece.text;
            break;
        case db::SqlPieceKind::Code:
            for (const char c : piece.text) {
                if (c != ';') {
                    current += c;
                    continue;
                }
                if (!isBlank(current))
                    statements.push_back(trimmed(current));
                current.clear();
            }
            break;
        }
    }
    if (!isBlank(current))
        statements.push_back(trimmed(current));
    return statements;
}

void CreateCompetitionDatabase(const CompetitionLogin& login)
{
    const bool plain = !IsServerDatabase(login.database);
    if (plain && std::filesystem::exists(login.database))
        throw std::runtime_error("The database file \"" + login.database + "\" exists already");

    db::Connection connection;
    SetCompetitionLogin(connection, login);
    connection.createDatabase();
    try {
        db::Transaction transaction(&connection);
        for (const std::string& statement : CompetitionSchemaStatements())
            connection.executeImmediate(statement, transaction);
        transaction.commit();
        EnsurePointsHistory(connection);
        connection.disconnect();
    } catch (...) {
        connection.disconnect();
        if (plain) {
            std::error_code ignored;
            std::filesystem::remove(login.database, ignored);
        }
        throw;
    }
}

std::vector<std::string> MissingCompetitionColumns(db::Connection& connection)
{
    // The columns each table needs; the lookups need their key and name only.
    const std::vector<std::pair<const char*, std::vector<std::string>>> needed = {
        {kArcherShape.table, kArcherShape.columns},
        {kPointsShape.table, kPointsShape.columns},
        {kCountryShape.table, {"COUNTRYNUMBER", "NAME"}},
        {kAgeClassShape.table, {"AGECLASSNO", "DESCRIPTION"}},
        {kShootingClassesShape.table, {"SHOOTINGCLASSNO", "DESCRIPTION"}},
        {kBowTypesShape.table, {"TYPENO", "DESCRIPTION"}},
    };
    std::set<std::string> present;
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    q.sqlAdd("select trim(RDB$RELATION_NAME) || '.' || trim(RDB$FIELD_NAME) as COLUMN_NAME");
    q.sqlAdd("from RDB$RELATION_FIELDS");
    q.open();
    for (q.first(); !q.eof(); q.next())
        present.insert(q.fieldByName("COLUMN_NAME").asString());
    q.close();
    transaction.commit();

    std::vector<std::string> missing;
    for (const auto& [table, columns] : needed) {
        for (const std::string& column : columns) {
            const std::string name = std::string(table) + "." + column;
            if (!present.count(name))
                missing.push_back(name);
        }
    }
    return missing;
}

namespace {

struct RosterKey {
    const char* index;
    const char* table;
    const char* key;   // the columns in parentheses, or "computed by (...)"
    // The first value the stored rows give twice, as a select of one column BROKEN.
    const char* brokenSelect;
    const char* rule;
};

const RosterKey kRosterKeys[] = {
    {"UX_ARCHER_LANE", "ARCHER",
     "computed by (case when LANENO is null or LANELETTER is null then null else LANENO || ' ' || LANELETTER end)",
     "select first 1 LANENO || coalesce(LANELETTER, '') as BROKEN from ARCHER where LANENO is not null"
     " and LANELETTER is not null group by LANENO, LANELETTER having count(*) > 1",
     "one archer per lane"},
    {"UX_COUNTRY_NAME", "COUNTRY", "NAME",
     "select first 1 NAME as BROKEN from COUNTRY where NAME is not null group by NAME having count(*) > 1",
     "one country per name"},
    {"UX_AGECLASS_DESCRIPTION", "AGECLASS", "DESCRIPTION",
     "select first 1 DESCRIPTION as BROKEN from AGECLASS where DESCRIPTION is not null"
     " group by DESCRIPTION having count(*) > 1",
     "one age class per name"},
    {"UX_SHOOTINGCLASSES_DESCRIPTION", "SHOOTINGCLASSES", "DESCRIPTION",
     "select first 1 DESCRIPTION as BROKEN from SHOOTINGCLASSES where DESCRIPTION is not null"
     " group by DESCRIPTION having count(*) > 1",
     "one shooting class per name"},
    {"UX_BOWTYPES_DESCRIPTION", "BOWTYPES", "DESCRIPTION",
     "select first 1 DESCRIPTION as BROKEN from BOWTYPES where DESCRIPTION is not null"
     " group by DESCRIPTION having count(*) > 1",
     "one bow type per name"},
};

std::set<std::string> presentIndexes(db::Connection& connection)
{
    std::set<std::string> present;
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    q.sqlAdd("select trim(RDB$INDEX_NAME) as NAME from RDB$INDICES where RDB$INDEX_NAME starting with 'UX_'");
    q.open();
    for (q.first(); !q.eof(); q.next())
        present.insert(q.fieldByName("NAME").asString());
    q.close();
    transaction.commit();
    return present;
}

std::string brokenBy(db::Connection& connection, const RosterKey& key)
{
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    q.sqlAdd(key.brokenSelect);
    q.open();
    std::string broken = q.isEmpty() ? std::string() : q.fieldByName("BROKEN").asString();
    const bool found = !q.isEmpty();
    q.close();
    transaction.commit();
    return found ? (broken.empty() ? std::string("\"\"") : broken) : std::string();
}

} // namespace

std::vector<std::string> EnsureRosterKeys(db::Connection& connection, const std::string& database)
{
    std::vector<std::string> notes;
    const std::set<std::string> present = presentIndexes(connection);
    for (const RosterKey& key : kRosterKeys) {
        if (present.count(key.index))
            continue;
        const std::string broken = brokenBy(connection, key);
        if (!broken.empty()) {
            notes.push_back(database + " breaks the rule of " + key.rule + " already (\"" + fromLatin1(broken).toStdString()
                            + "\" is there more than once), so the database cannot keep it when two changes"
                              " meet; mend the rows and the next change adds the key");
            continue;
        }
        try {
            db::Transaction transaction(&connection);
            const std::string columns = std::string(key.key).starts_with("computed") ? key.key : "(" + std::string(key.key) + ")";
            connection.executeImmediate(std::string("create unique index ") + key.index + " on " + key.table + " " + columns,
                                        transaction);
            transaction.commit();
        } catch (const db::DbError&) {
            // Another change may have added it at the same moment.
            if (!presentIndexes(connection).count(key.index))
                notes.push_back("could not add the key of " + std::string(key.rule) + " to " + database
                                + " now; the next change tries again");
        }
    }
    return notes;
}
