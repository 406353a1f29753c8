#include "data/points_history.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"

#include <QString>

namespace {

constexpr const char* Trigger = "TALLYON_POINTS_HISTORY";
constexpr const char* Procedure = "TALLYON_RECORD_ARROW_CHANGE";

// An arrow's columns (the procedure's parameters OLD... or NEW...) as the
// card shows the arrow.
std::string shownValue(const char* side)
{
    const std::string p = std::string(":") + side;
    return "CASE WHEN UPPER(SUBSTRING(" + p + "EMPTY FROM 1 FOR 1)) IN ('T', 'Y') THEN ''"
           " WHEN UPPER(SUBSTRING(" + p + "CROSS FROM 1 FOR 1)) IN ('T', 'Y') THEN 'X'"
           " WHEN COALESCE(" + p + "POINT, 0) = 0 THEN 'M'"
           " ELSE CAST(" + p + "POINT AS VARCHAR(20)) END";
}

bool found(db::Connection& connection, const std::string& select)
{
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    q.sqlAdd(select);
    q.open();
    const bool any = !q.isEmpty();
    q.close();
    transaction.commit();
    return any;
}

// Each statement in a transaction of its own: a grant needs its trigger
// committed. Another program may have made an object a moment earlier.
void run(db::Connection& connection, const std::string& sql)
{
    db::Transaction transaction(&connection);
    connection.executeImmediate(sql, transaction);
    transaction.commit();
}

} // namespace

bool HasPointsHistory(db::Connection& connection)
{
    return found(connection, std::string("select 1 from RDB$TRIGGERS where RDB$TRIGGER_NAME = '") + Trigger + "'");
}

namespace {

// No key, no index, no sequence: each would be one more page written at
// every commit of a save. The rows are few enough to be read whole, in the
// order of their time.
void ensureHistoryTable(db::Connection& connection)
{
    if (found(connection, "select 1 from RDB$RELATIONS where RDB$RELATION_NAME = 'POINTS_HISTORY'"))
        return;
    run(connection,
        "CREATE TABLE POINTS_HISTORY ("
        " ARCHERID  INTEGER NOT NULL,"
        " ROUNDNO   INTEGER NOT NULL,"
        " ARROWNO   INTEGER NOT NULL,"
        " OLDVALUE  VARCHAR(20) CHARACTER SET ISO8859_1,"
        " NEWVALUE  VARCHAR(20) CHARACTER SET ISO8859_1,"
        " CHANGEDAT TIMESTAMP NOT NULL,"
        " USERNAME  VARCHAR(63) CHARACTER SET ISO8859_1,"
        " STATION   VARCHAR(255) CHARACTER SET ISO8859_1)");
}

// The procedure writes one row of history; an update that leaves the arrow
// as the card shows it is no change.
void ensureRecordingProcedure(db::Connection& connection)
{
    if (found(connection, std::string("select 1 from RDB$PROCEDURES where RDB$PROCEDURE_NAME = '") + Procedure + "'"))
        return;
    const std::string station = std::string("RDB$GET_CONTEXT('USER_SESSION', '") + kStationContextName + "')";
    run(connection,
        std::string("CREATE PROCEDURE ") + Procedure
            + " (ARCHERID INTEGER, ROUNDNO INTEGER, ARROWNO INTEGER,"
              " HADROW SMALLINT, OLDPOINT BIGINT, OLDCROSS VARCHAR(10) CHARACTER SET ISO8859_1,"
              " OLDEMPTY VARCHAR(10) CHARACTER SET ISO8859_1,"
              " HASROW SMALLINT, NEWPOINT BIGINT, NEWCROSS VARCHAR(10) CHARACTER SET ISO8859_1,"
              " NEWEMPTY VARCHAR(10) CHARACTER SET ISO8859_1) AS"
              " DECLARE OLDV VARCHAR(20) CHARACTER SET ISO8859_1;"
              " DECLARE NEWV VARCHAR(20) CHARACTER SET ISO8859_1;"
              " BEGIN"
              "  IF (HADROW = 1) THEN OLDV = " + shownValue("OLD") + ";"
              "  IF (HASROW = 1) THEN NEWV = " + shownValue("NEW") + ";"
              "  IF (HADROW = 1 AND HASROW = 1 AND :OLDV IS NOT DISTINCT FROM :NEWV) THEN EXIT;"
              "  INSERT INTO POINTS_HISTORY (ARCHERID, ROUNDNO, ARROWNO, OLDVALUE, NEWVALUE,"
              "   CHANGEDAT, USERNAME, STATION)"
              "  VALUES (:ARCHERID, :ROUNDNO, :ARROWNO, :OLDV, :NEWV,"
              "   CURRENT_TIMESTAMP, CURRENT_USER, " + station + ");"
              " END");
    run(connection, std::string("GRANT INSERT ON POINTS_HISTORY TO PROCEDURE ") + Procedure);
}

// The trigger passes over an update that leaves the columns as they were (a
// save writes every arrow of the archer) and hands the rest to the
// procedure: a small trigger is cheap on every row.
void createHistoryTrigger(db::Connection& connection)
{
    run(connection,
        std::string("CREATE TRIGGER ") + Trigger
            + " FOR POINTS ACTIVE AFTER INSERT OR UPDATE OR DELETE POSITION 90 AS"
              " BEGIN"
              "  IF (UPDATING AND NEW.POINT IS NOT DISTINCT FROM OLD.POINT"
              "      AND NEW.\"CROSS\" IS NOT DISTINCT FROM OLD.\"CROSS\""
              "      AND NEW.EMPTYSCORE IS NOT DISTINCT FROM OLD.EMPTYSCORE"
              "      AND NEW.ARCHERID = OLD.ARCHERID AND NEW.ROUNDNO = OLD.ROUNDNO"
              "      AND NEW.ARROWNO = OLD.ARROWNO) THEN EXIT;"
              "  BEGIN"
              "   EXECUTE PROCEDURE " + Procedure + " (COALESCE(NEW.ARCHERID, OLD.ARCHERID),"
              "    COALESCE(NEW.ROUNDNO, OLD.ROUNDNO), COALESCE(NEW.ARROWNO, OLD.ARROWNO),"
              "    IIF(INSERTING, 0, 1), OLD.POINT, OLD.\"CROSS\", OLD.EMPTYSCORE,"
              "    IIF(DELETING, 0, 1), NEW.POINT, NEW.\"CROSS\", NEW.EMPTYSCORE);"
              // The arrow is stored whatever its history meets (a value
              // another program wrote that no parameter holds).
              "   WHEN ANY DO EXIT;"
              "  END"
              " END");
    // Every login that may write arrows writes their history through the
    // trigger's rights, not its own.
    run(connection, std::string("GRANT EXECUTE ON PROCEDURE ") + Procedure + " TO TRIGGER " + Trigger);
}

} // namespace

bool EnsurePointsHistory(db::Connection& connection)
{
    if (HasPointsHistory(connection))
        return true;
    try {
        ensureHistoryTable(connection);
        ensureRecordingProcedure(connection);
        createHistoryTrigger(connection);
        return true;
    } catch (const db::DbError&) {
        // A login without the right to add it, or another program that did a moment earlier.
        try {
            return HasPointsHistory(connection);
        } catch (const db::DbError&) {
            return false;
        }
    }
}

std::vector<PointsChange> ReadPointsHistory(db::Connection& connection, std::optional<std::int32_t> archer,
                                            const std::optional<std::string>& lane)
{
    db::Transaction transaction(&connection);
    transaction.params() = {"concurrency", "read"};
    db::Query q(&connection, &transaction);
    q.sqlAdd("select H.ARCHERID, H.ROUNDNO, H.ARROWNO, H.OLDVALUE, H.NEWVALUE,"
             " cast(cast(H.CHANGEDAT as timestamp) as varchar(24)) as CHANGEDAT, H.USERNAME, H.STATION,"
             " A.LANE, A.NAME"
             " from POINTS_HISTORY H left join ARCHER A on A.ARCHERID = H.ARCHERID");
    std::vector<db::Value> params;
    if (archer) {
        q.sqlAdd("where H.ARCHERID = ?");
        params.emplace_back(*archer);
    } else if (lane) {
        q.sqlAdd("where upper(A.LANE) = ?");
        params.emplace_back(QString::fromLatin1(lane->data(), qsizetype(lane->size())).toUpper().toLatin1().toStdString());
    }
    // Within one millisecond, the order in which the rows were written.
    q.sqlAdd("order by H.CHANGEDAT, H.RDB$DB_KEY");
    q.setParams(params);
    q.open();
    std::vector<PointsChange> changes;
    for (q.first(); !q.eof(); q.next()) {
        PointsChange c;
        c.changedAt = q.fieldByName("CHANGEDAT").asString().substr(0, 19);
        c.archer = q.fieldByName("ARCHERID").asInteger();
        c.lane = q.fieldByName("LANE").asString();
        c.name = q.fieldByName("NAME").asString();
        c.round = q.fieldByName("ROUNDNO").asInteger();
        c.arrow = q.fieldByName("ARROWNO").asInteger();
        if (!q.fieldByName("OLDVALUE").isNull())
            c.oldValue = q.fieldByName("OLDVALUE").asString();
        if (!q.fieldByName("NEWVALUE").isNull())
            c.newValue = q.fieldByName("NEWVALUE").asString();
        c.user = q.fieldByName("USERNAME").asString();
        c.station = q.fieldByName("STATION").asString();
        changes.push_back(std::move(c));
    }
    q.close();
    transaction.commit();
    return changes;
}
