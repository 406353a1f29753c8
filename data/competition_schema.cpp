#include "data/competition_schema.h"

#include "data/table_shapes.h"
#include "db/connection.h"
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
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

std::string trimmed(const std::string& text)
{
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return {};
    const auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
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
