#include "data/archer_status.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"

#include <algorithm>
#include <cctype>

namespace {

bool statusTableExists(db::Connection& connection, db::Transaction& transaction)
{
    db::Query q(&connection, &transaction);
    q.sqlAdd("select 1 from RDB$RELATIONS where RDB$RELATION_NAME = 'ARCHERSTATUS'");
    q.open();
    const bool found = !q.isEmpty();
    q.close();
    return found;
}

} // namespace

std::optional<std::string> archerStatusFromText(const std::string& text)
{
    std::string word;
    for (char c : text) {
        if (c != ' ')
            word += char(std::toupper(static_cast<unsigned char>(c)));
    }
    if (word.empty() || word == "DNS" || word == "DNF" || word == "DSQ")
        return word;
    return std::nullopt;
}

void ensureArcherStatusTable(db::Connection& connection)
{
    {
        db::Transaction transaction(&connection);
        const bool exists = statusTableExists(connection, transaction);
        transaction.commit();
        if (exists)
            return;
    }
    try {
        db::Transaction transaction(&connection);
        connection.executeImmediate("CREATE TABLE ARCHERSTATUS ("
                                    " ARCHERID INTEGER NOT NULL,"
                                    " STATUS VARCHAR(3) CHARACTER SET ISO8859_1 NOT NULL,"
                                    " CONSTRAINT PK_ARCHERSTATUS PRIMARY KEY (ARCHERID))",
                                    transaction);
        transaction.commit();
    } catch (const db::DbError&) {
        // Another program may have made it a moment earlier.
        db::Transaction transaction(&connection);
        const bool exists = statusTableExists(connection, transaction);
        transaction.commit();
        if (!exists)
            throw;
    }
}

std::map<std::int32_t, std::string> readArcherStatuses(db::Connection& connection, db::Transaction& transaction)
{
    std::map<std::int32_t, std::string> statuses;
    if (!statusTableExists(connection, transaction))
        return statuses;
    db::Query q(&connection, &transaction);
    q.sqlAdd("select ARCHERID, STATUS from ARCHERSTATUS");
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        if (const auto status = archerStatusFromText(q.fieldByName("STATUS").asString()); status && !status->empty())
            statuses[q.fieldByName("ARCHERID").asInteger()] = *status;
    }
    q.close();
    return statuses;
}

void writeArcherStatus(db::Connection& connection, db::Transaction& transaction, std::int32_t archerId,
                       const std::string& status)
{
    db::Statement remove(&connection, &transaction);
    remove.sqlAdd("delete from ARCHERSTATUS where ARCHERID = ?");
    remove.execute({db::Value(archerId)});
    if (status.empty())
        return;
    db::Statement insert(&connection, &transaction);
    insert.sqlAdd("insert into ARCHERSTATUS (ARCHERID, STATUS) values (?, ?)");
    insert.execute({db::Value(archerId), db::Value(status)});
}
