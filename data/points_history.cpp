#include "data/points_history.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"

#include <QString>

namespace {

constexpr const char* Trigger = "TALLYON_POINTS_HISTORY";

// An arrow's columns as the card shows the arrow.
std::string shownValue(const char* row)
{
    const std::string r(row);
    return "CASE WHEN UPPER(SUBSTRING(" + r + ".EMPTYSCORE FROM 1 FOR 1)) IN ('T', 'Y') THEN ''"
           " WHEN UPPER(SUBSTRING(" + r + ".\"CROSS\" FROM 1 FOR 1)) IN ('T', 'Y') THEN 'X'"
           " WHEN COALESCE(" + r + ".POINT, 0) = 0 THEN 'M'"
           " ELSE CAST(" + r + ".POINT AS VARCHAR(11)) END";
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

bool EnsurePointsHistory(db::Connection& connection)
{
    if (HasPointsHistory(connection))
        return true;
    const std::string station = std::string("RDB$GET_CONTEXT('USER_SESSION', '") + kStationContextName + "')";
    try {
        if (!found(connection, "select 1 from RDB$RELATIONS where RDB$RELATION_NAME = 'POINTS_HISTORY'")) {
            run(connection, "CREATE SEQUENCE GEN_POINTS_HISTORY");
            run(connection,
                "CREATE TABLE POINTS_HISTORY ("
                " CHANGENO  BIGINT NOT NULL,"
                " ARCHERID  INTEGER NOT NULL,"
                " ROUNDNO   INTEGER NOT NULL,"
                " ARROWNO   INTEGER NOT NULL,"
                " OLDVALUE  VARCHAR(11) CHARACTER SET ISO8859_1,"
                " NEWVALUE  VARCHAR(11) CHARACTER SET ISO8859_1,"
                " CHANGEDAT TIMESTAMP NOT NULL,"
                " USERNAME  VARCHAR(63) CHARACTER SET ISO8859_1,"
                " STATION   VARCHAR(255) CHARACTER SET ISO8859_1,"
                " CONSTRAINT PK_POINTS_HISTORY PRIMARY KEY (CHANGENO))");
            run(connection, "CREATE INDEX IX_POINTS_HISTORY_ARCHER ON POINTS_HISTORY (ARCHERID)");
        }
        // An update that leaves the arrow as the card shows it (a save
        // writes every arrow of the archer) is no change.
        run(connection,
            std::string("CREATE TRIGGER ") + Trigger
                + " FOR POINTS ACTIVE AFTER INSERT OR UPDATE OR DELETE POSITION 90 AS"
                  " DECLARE OLDV VARCHAR(11) CHARACTER SET ISO8859_1;"
                  " DECLARE NEWV VARCHAR(11) CHARACTER SET ISO8859_1;"
                  " BEGIN"
                  "  IF (NOT INSERTING) THEN OLDV = " + shownValue("OLD") + ";"
                  "  IF (NOT DELETING) THEN NEWV = " + shownValue("NEW") + ";"
                  "  IF (UPDATING AND :OLDV IS NOT DISTINCT FROM :NEWV AND OLD.ARCHERID = NEW.ARCHERID"
                  "      AND OLD.ROUNDNO = NEW.ROUNDNO AND OLD.ARROWNO = NEW.ARROWNO) THEN EXIT;"
                  "  INSERT INTO POINTS_HISTORY (CHANGENO, ARCHERID, ROUNDNO, ARROWNO, OLDVALUE, NEWVALUE,"
                  "   CHANGEDAT, USERNAME, STATION)"
                  "  VALUES (NEXT VALUE FOR GEN_POINTS_HISTORY,"
                  "   COALESCE(NEW.ARCHERID, OLD.ARCHERID), COALESCE(NEW.ROUNDNO, OLD.ROUNDNO),"
                  "   COALESCE(NEW.ARROWNO, OLD.ARROWNO), :OLDV, :NEWV, CURRENT_TIMESTAMP, CURRENT_USER, "
                + station + ");"
                  " END");
        // Every login that may write arrows writes their history through
        // the trigger's rights, not its own.
        run(connection, std::string("GRANT INSERT ON POINTS_HISTORY TO TRIGGER ") + Trigger);
        run(connection, std::string("GRANT USAGE ON SEQUENCE GEN_POINTS_HISTORY TO TRIGGER ") + Trigger);
        return true;
    } catch (const db::DbError&) {
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
    q.sqlAdd("select H.CHANGENO, H.ARCHERID, H.ROUNDNO, H.ARROWNO, H.OLDVALUE, H.NEWVALUE,"
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
    q.sqlAdd("order by H.CHANGEDAT, H.CHANGENO");
    q.setParams(params);
    q.open();
    std::vector<PointsChange> changes;
    for (q.first(); !q.eof(); q.next()) {
        PointsChange c;
        c.number = q.fieldByName("CHANGENO").asInteger();
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
