#include "results/results_schema.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "core/command_error.h"

void createSchemaObject(db::Connection& connection, const std::vector<std::string>& statements,
                        bool (*done)(db::Connection&))
{
    try {
        db::Transaction transaction(&connection);
        for (const std::string& sql : statements)
            connection.executeImmediate(sql, transaction);
        transaction.commit();
    } catch (const db::DbError& e) {
        if (!done(connection))
            throw CommandError("cannot extend the competition database: " + oneLine(e.what()));
    }
}

bool rowExists(db::Connection& connection, const char* select, const std::string& value)
{
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    q.sqlAdd(select);
    q.setParams({db::Value(value)});
    q.open();
    const bool found = !q.isEmpty();
    q.close();
    transaction.commit();
    return found;
}

bool hasTable(db::Connection& connection, const char* table)
{
    return rowExists(connection, "select 1 from RDB$RELATIONS where RDB$RELATION_NAME = ?", table);
}

bool hasTrigger(db::Connection& connection, const char* trigger)
{
    return rowExists(connection, "select 1 from RDB$TRIGGERS where RDB$TRIGGER_NAME = ?", trigger);
}

std::vector<RankRule> readRankRules(db::Connection& connection)
{
    if (!hasTable(connection, "RANKINGRULES")) {
        try {
            createSchemaObject(connection,
                         {"CREATE TABLE RANKINGRULES ("
                          " RULENO INTEGER NOT NULL,"
                          " CRITERION VARCHAR(20) CHARACTER SET ISO8859_1 NOT NULL,"
                          " CONSTRAINT PK_RANKINGRULES PRIMARY KEY (RULENO))"},
                         [](db::Connection& c) { return hasTable(c, "RANKINGRULES"); });
            db::Transaction transaction(&connection);
            db::Statement insert(&connection, &transaction);
            insert.sqlAdd("insert into RANKINGRULES (RULENO, CRITERION) values (?, ?)");
            for (const RankRule& r : defaultRankRules())
                insert.execute({db::Value(r.position), db::Value(criterionWord(r.criterion))});
            transaction.commit();
        } catch (const std::exception&) {
            // A database that cannot be written (a read-only file or
            // attachment, a login without the right) is ranked by the
            // default rules, which are then not stored.
            if (!hasTable(connection, "RANKINGRULES"))
                return defaultRankRules();
            throw;
        }
    }

    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    q.sqlAdd("select RULENO, trim(upper(CRITERION)) as CRITERION from RANKINGRULES order by RULENO");
    q.open();
    std::vector<RankRule> rules;
    for (q.first(); !q.eof(); q.next()) {
        const std::string word = q.fieldByName("CRITERION").asString();
        const auto criterion = criterionFromWord(word);
        if (!criterion)
            throw CommandError("RANKINGRULES rule " + q.fieldByName("RULENO").asString() + ": unknown criterion \""
                            + word + "\" (known: TOTAL, TENS, XS, NINES, EIGHTS, SEVENS, HITS, ROUND1, ROUND2)");
        rules.push_back({q.fieldByName("RULENO").asInteger(), *criterion});
    }
    q.close();
    transaction.commit();
    if (rules.empty())
        throw CommandError("RANKINGRULES holds no rule: the archers cannot be ranked");
    return rules;
}

void ensurePointsSavedTrigger(db::Connection& connection)
{
    if (hasTrigger(connection, "TALLYON_POINTS_SAVED"))
        return;
    createSchemaObject(connection,
                 {std::string("CREATE TRIGGER TALLYON_POINTS_SAVED FOR POINTS ACTIVE AFTER INSERT OR UPDATE OR DELETE "
                              "POSITION 100 AS BEGIN POST_EVENT '")
                  + kPointsSavedEvent + "'; END"},
                 [](db::Connection& c) { return hasTrigger(c, "TALLYON_POINTS_SAVED"); });
}
