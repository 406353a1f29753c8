#include "results/final_tables.h"

#include "core/command_error.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"

namespace {

void readOnly(db::Transaction& transaction)
{
    transaction.params() = {"read_committed", "rec_version", "read"};
}

bool exists(db::Connection& connection, const char* table)
{
    db::Transaction transaction(&connection);
    readOnly(transaction);
    const bool found = tableExists(connection, transaction, table);
    transaction.commit();
    return found;
}

// Runs the statements in a transaction of their own when the table is
// missing; another program having made it a moment earlier is no failure.
void ensureTable(db::Connection& connection, const char* table, const std::vector<std::string>& statements)
{
    if (exists(connection, table))
        return;
    try {
        for (const std::string& sql : statements) {
            db::Transaction transaction(&connection);
            connection.executeImmediate(sql, transaction);
            transaction.commit();
        }
    } catch (const db::DbError& e) {
        if (!exists(connection, table))
            throw CommandError("cannot extend the competition database: " + oneLine(e.what()));
    }
}

} // namespace

bool tableExists(db::Connection& connection, db::Transaction& transaction, const char* table)
{
    db::Query q(&connection, &transaction);
    q.sqlAdd("select 1 from RDB$RELATIONS where RDB$RELATION_NAME = ?");
    q.setParams({db::Value(table)});
    q.open();
    const bool found = !q.isEmpty();
    q.close();
    return found;
}

void ensureShootOffTable(db::Connection& connection)
{
    ensureTable(connection, "SHOOTOFFS",
                {"CREATE TABLE SHOOTOFFS ("
                 " LISTNAME VARCHAR(60) CHARACTER SET ISO8859_1 NOT NULL,"
                 " ARCHERID INTEGER NOT NULL,"
                 " SHOOTOFFRANK INTEGER NOT NULL,"
                 " CONSTRAINT PK_SHOOTOFFS PRIMARY KEY (LISTNAME, ARCHERID))"});
}

void ensureListOptionsTable(db::Connection& connection)
{
    ensureTable(connection, "RESULTLISTOPTIONS",
                {"CREATE TABLE RESULTLISTOPTIONS ("
                 " LISTNAME VARCHAR(60) CHARACTER SET ISO8859_1 NOT NULL,"
                 " TEAMSIZE INTEGER,"
                 " CUTOFF INTEGER,"
                 " CONSTRAINT PK_RESULTLISTOPTIONS PRIMARY KEY (LISTNAME))"});
}

void ensureCardCheckTable(db::Connection& connection)
{
    ensureTable(connection, "CARDCHECKS",
                {"CREATE TABLE CARDCHECKS ("
                 " ARCHERID INTEGER NOT NULL,"
                 " CHECKEDBY VARCHAR(60) CHARACTER SET ISO8859_1,"
                 " CHECKEDAT TIMESTAMP,"
                 " CONSTRAINT PK_CARDCHECKS PRIMARY KEY (ARCHERID))"});
}

std::map<std::string, std::map<std::int32_t, int>> readShootOffs(db::Connection& connection,
                                                                 db::Transaction& transaction)
{
    std::map<std::string, std::map<std::int32_t, int>> byList;
    if (!tableExists(connection, transaction, "SHOOTOFFS"))
        return byList;
    db::Query q(&connection, &transaction);
    q.sqlAdd("select LISTNAME, ARCHERID, SHOOTOFFRANK from SHOOTOFFS");
    q.open();
    for (q.first(); !q.eof(); q.next())
        byList[q.fieldByName("LISTNAME").asString()][q.fieldByName("ARCHERID").asInteger()] =
            q.fieldByName("SHOOTOFFRANK").asInteger();
    q.close();
    return byList;
}

void writeShootOff(db::Connection& connection, const std::string& listName, const std::vector<std::int32_t>& order,
                   const std::vector<std::int32_t>& replaced)
{
    ensureShootOffTable(connection);
    db::Transaction transaction(&connection);
    db::Statement remove(&connection, &transaction);
    remove.sqlAdd("delete from SHOOTOFFS where LISTNAME = ? and ARCHERID = ?");
    for (const std::vector<std::int32_t>* ids : {&order, &replaced}) {
        for (std::int32_t id : *ids)
            remove.execute({db::Value(listName), db::Value(id)});
    }
    db::Statement insert(&connection, &transaction);
    insert.sqlAdd("insert into SHOOTOFFS (LISTNAME, ARCHERID, SHOOTOFFRANK) values (?, ?, ?)");
    for (std::size_t i = 0; i < order.size(); ++i)
        insert.execute({db::Value(listName), db::Value(order[i]), db::Value(int(i) + 1)});
    transaction.commit();
}

std::map<std::string, ListOptions> readListOptions(db::Connection& connection, db::Transaction& transaction)
{
    std::map<std::string, ListOptions> byList;
    if (!tableExists(connection, transaction, "RESULTLISTOPTIONS"))
        return byList;
    db::Query q(&connection, &transaction);
    q.sqlAdd("select LISTNAME, TEAMSIZE, CUTOFF from RESULTLISTOPTIONS");
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        ListOptions o;
        if (!q.fieldByName("TEAMSIZE").isNull() && q.fieldByName("TEAMSIZE").asInteger() > 0)
            o.teamSize = q.fieldByName("TEAMSIZE").asInteger();
        if (!q.fieldByName("CUTOFF").isNull() && q.fieldByName("CUTOFF").asInteger() > 0)
            o.cutOff = q.fieldByName("CUTOFF").asInteger();
        byList[q.fieldByName("LISTNAME").asString()] = o;
    }
    q.close();
    return byList;
}

void writeListOptions(db::Connection& connection, const std::string& listName, const ListOptions& options)
{
    ensureListOptionsTable(connection);
    db::Transaction transaction(&connection);
    db::Statement remove(&connection, &transaction);
    remove.sqlAdd("delete from RESULTLISTOPTIONS where LISTNAME = ?");
    remove.execute({db::Value(listName)});
    db::Statement insert(&connection, &transaction);
    insert.sqlAdd("insert into RESULTLISTOPTIONS (LISTNAME, TEAMSIZE, CUTOFF) values (?, ?, ?)");
    insert.execute({db::Value(listName), db::Value(options.teamSize), db::Value(options.cutOff)});
    transaction.commit();
}

std::map<std::int32_t, CardCheck> readCardChecks(db::Connection& connection, db::Transaction& transaction)
{
    std::map<std::int32_t, CardCheck> checks;
    if (!tableExists(connection, transaction, "CARDCHECKS"))
        return checks;
    db::Query q(&connection, &transaction);
    q.sqlAdd("select ARCHERID, CHECKEDBY, cast(CHECKEDAT as varchar(24)) as CHECKEDAT from CARDCHECKS");
    q.open();
    for (q.first(); !q.eof(); q.next())
        checks[q.fieldByName("ARCHERID").asInteger()] = {q.fieldByName("CHECKEDBY").asString(),
                                                         q.fieldByName("CHECKEDAT").asString().substr(0, 16)};
    q.close();
    return checks;
}
