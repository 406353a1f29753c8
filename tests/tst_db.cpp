// The dataset layer against a real embedded database per test.

#include "db/connection.h"
#include "db/error.h"
#include "db/event_listener.h"
#include "db/query.h"
#include "db/sql_text.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "db/update_sql.h"
#include "db/write_block.h"
#include "tests/support/competition.h"
#include "tests/support/expect_throw.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

Q_DECLARE_METATYPE(db::Value)

namespace {

db::UpdateSql pointsUpdate()
{
    db::UpdateSql u;
    u.ModifySQL = {"update POINTS", "set", "  ARCHERID = :ARCHERID,", "  ARROWNO = :ARROWNO,",
                   "  \"CROSS\" = :CROSS,", "  EMPTYSCORE = :EMPTYSCORE,", "  POINT = :POINT,",
                   "  ROUNDNO = :ROUNDNO", "where", "  ARCHERID = :OLD_ARCHERID and",
                   "  ARROWNO = :OLD_ARROWNO and", "  ROUNDNO = :OLD_ROUNDNO"};
    u.InsertSQL = {"insert into POINTS", "  (ARCHERID, ARROWNO, \"CROSS\", EMPTYSCORE, POINT, ROUNDNO)", "values",
                   "  (:ARCHERID, :ARROWNO, :CROSS, :EMPTYSCORE, :POINT, :ROUNDNO)"};
    u.DeleteSQL = {"delete from POINTS", "where", "  ARCHERID = :OLD_ARCHERID and", "  ARROWNO = :OLD_ARROWNO and",
                   "  ROUNDNO = :OLD_ROUNDNO"};
    return u;
}

db::UpdateSql archerUpdate()
{
    db::UpdateSql u;
    u.ModifySQL = {"update ARCHER set ARCHERID = :ARCHERID, ENABLETEAM = :ENABLETEAM, LANELETTER = :LANELETTER,",
                   "  LANENO = :LANENO, NAME = :NAME", "where ARCHERID = :OLD_ARCHERID"};
    u.InsertSQL = {"insert into ARCHER (ARCHERID, ENABLETEAM, LANELETTER, LANENO, NAME)",
                   "values (:ARCHERID, :ENABLETEAM, :LANELETTER, :LANENO, :NAME)"};
    u.DeleteSQL = {"delete from ARCHER where ARCHERID = :OLD_ARCHERID"};
    return u;
}

// The test database's login on a connection that is not yet attached.
void setLogin(db::Connection& c, const std::string& path)
{
    c.setDatabaseName(path);
    c.params() = attachmentParams(CompetitionLogin{path});
}

// A fresh database file with the two tables the tests use.
struct TestDb {
    TemporaryDatabase file{QStringLiteral("test.fdb")};
    std::string path = file.login.database;
    db::Connection conn;
    db::Transaction tra{&conn};
    db::UpdateSql pointsSql = pointsUpdate();
    db::UpdateSql archerSql = archerUpdate();

    TestDb()
    {
        setLogin(conn, path);
        conn.createDatabase();
        conn.setDefaultTransaction(&tra);
        exec("create table POINTS (ARCHERID integer not null, ROUNDNO integer not null, "
             "ARROWNO integer not null, POINT integer, \"CROSS\" varchar(5), EMPTYSCORE char(1), "
             "primary key (ARCHERID, ARROWNO, ROUNDNO))");
        exec("create table ARCHER (ARCHERID integer not null primary key, NAME varchar(40), "
             "LANENO integer, LANELETTER char(1), ENABLETEAM varchar(5))");
        exec("create generator GEN_ARCHER_ID");
        tra.commit();
    }

    void exec(const std::string& sql) { conn.executeImmediate(sql, tra); }

    // A second attachment to the same file, as another user would have.
    std::unique_ptr<db::Connection> other() const { return file.attachment(); }
};

// Rows of one statement as "v1|v2|..." lines, read through its own attachment.
QStringList readBack(const TestDb& t, const std::string& sql)
{
    QStringList rows;
    for (const std::string& row : t.file.rows(sql, "<null>"))
        rows << QString::fromLatin1(row.data(), qsizetype(row.size()));
    return rows;
}

// Fills POINTS for archer 1 with round 1..2 × arrow 1..3, POINT = 10*round + arrow.
void fillPoints(TestDb& t)
{
    for (int r = 1; r <= 2; ++r)
        for (int a = 1; a <= 3; ++a)
            t.exec("insert into POINTS values (1, " + std::to_string(r) + ", " + std::to_string(a) + ", " +
                   std::to_string(10 * r + a) + ", 'F', 'F')");
    t.tra.commit();
}

const std::string pointsInOrder = "select * from POINTS order by ROUNDNO, ARROWNO";
const std::string round1Points = "select POINT from POINTS where ROUNDNO = 1 order by ARROWNO";

// Opens select on q, editable through update when one is given.
void openOn(db::Query& q, const std::string& select, db::UpdateSql* update = nullptr)
{
    q.setUpdateObject(update);
    q.sqlAdd(select);
    q.open();
}

// Appends a row for archer 1 with the given key, the other columns unset.
void appendPoint(db::Query& q, int round, int arrow)
{
    q.append();
    q.fieldByName("ARCHERID").setInteger(1);
    q.fieldByName("ROUNDNO").setInteger(round);
    q.fieldByName("ARROWNO").setInteger(arrow);
}

// Edits POINT of the current row and posts it.
void editPoint(db::Query& q, int point)
{
    q.edit();
    q.fieldByName("POINT").setInteger(point);
    q.post();
}

} // namespace

class TestDbLayer : public QObject {
    Q_OBJECT

private slots:
    void flagRule_data();
    void flagRule();
    void flagWritesTOrF();
    void editAndAppendLandInTable();
    void generatorFillsKeyOnAppend();
    void oldParameterChangesKey();
    void cursorMoves();
    void emptyAndClosedQuery();
    void locateByTwoKeys_data();
    void locateByTwoKeys();
    void locateIntegerKeyAndPendingEdit();
    void filterHidesRows();
    void refreshSeesCommittedRows();
    void refreshKeepsRowIndex();
    void statementsArePreparedOnce();
    void rollbackRetainingUndoes();
    void commitRetainingKeepsTransaction();
    void removeDeletesRow();
    void serverErrorKeepsItsWords();
    void badDatabases_data();
    void badDatabases();
    void createRefusesExistingFile();
    void misuse();
    void postErrorHandler_data();
    void postErrorHandler();
    void lockConflictReportsDeadlock();
    void latin1RoundTrip();
    void valuesOfColumnTypes();
    void plainStatementWithParameters();
    void sqlTextPieces_data();
    void sqlTextPieces();
    void parametersInQuotesAndCommentsStayText();
    void disconnectEndsTransactionsAndQueries();
    void queryOutlivesConnection();
    void membersDeclaredAroundTheirConnection();
    void lostConnectionAttachesAgainForNewWork();
    void operationPastItsTimeIsCancelled();
    void committedEventsReachTheListener();
    void listenerStopsCleanly();

    void blockWritesStoreWhatSingleWritesStore();
    void blocksStayWithinTheServersLimits();
    void blockRefusedHalfwayStoresNothingOfIt();
    void blockErrorsKeepTheirKinds();
    void blockWritesOnlyWhenItsConditionFindsARow();
    void sameTextIsPreparedOncePerAttachment();
};

void TestDbLayer::flagRule_data()
{
    QTest::addColumn<QString>("stored"); // "<null>" stores NULL
    QTest::addColumn<bool>("flag");
    QTest::newRow("T") << "T" << true;
    QTest::newRow("t") << "t" << true;
    QTest::newRow("Y") << "Y" << true;
    QTest::newRow("y") << "y" << true;
    QTest::newRow("True") << "True" << true;
    QTest::newRow("yes") << "yes" << true;
    QTest::newRow("F") << "F" << false;
    QTest::newRow("N") << "N" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("space T") << " T" << false;
    QTest::newRow("NULL") << "<null>" << false;
}

void TestDbLayer::flagRule()
{
    QFETCH(QString, stored);
    QFETCH(bool, flag);
    TestDb t;
    auto literal = [&](const QString& text) {
        return stored == "<null>" ? std::string("null") : "'" + text.toStdString() + "'";
    };
    t.exec("insert into POINTS values (1, 1, 1, 0, " + literal(stored) + ", " + literal(stored.left(1)) + ")");
    t.tra.commit();
    db::Query q(&t.conn);
    openOn(q, "select * from POINTS");
    QCOMPARE(q.fieldByName("CROSS").asFlag(), flag);      // varchar column
    QCOMPARE(q.fieldByName("EMPTYSCORE").asFlag(), flag); // char(1) column
}

void TestDbLayer::flagWritesTOrF()
{
    TestDb t;
    db::Query q(&t.conn);
    openOn(q, "select * from POINTS", &t.pointsSql);
    for (int arrow = 1; arrow <= 2; ++arrow) {
        appendPoint(q, 1, arrow);
        q.fieldByName("POINT").setInteger(0);
        q.fieldByName("CROSS").setFlag(arrow == 1);
        q.fieldByName("EMPTYSCORE").setFlag(arrow != 1);
        q.post();
    }
    t.tra.commit();
    QCOMPARE(readBack(t, "select \"CROSS\", EMPTYSCORE from POINTS order by ARROWNO"),
             QStringList({"T|F", "F|T"}));
}

void TestDbLayer::editAndAppendLandInTable()
{
    TestDb t;
    fillPoints(t);
    db::Transaction pointsTra(&t.conn);
    db::Query q(&t.conn, &pointsTra);
    q.setUpdateObject(&t.pointsSql);
    q.sqlAdd("SELECT * FROM POINTS");
    q.sqlAdd("WHERE ARCHERID = '1'");
    q.sqlAdd("ORDER BY ROUNDNO, ARROWNO");
    q.open();
    QVERIFY(pointsTra.inTransaction());
    QVERIFY(q.locate("ROUNDNO; ARROWNO", {2, 2}));
    q.edit();
    q.fieldByName("POINT").setInteger(7);
    q.fieldByName("CROSS").setFlag(true);
    q.post();
    QCOMPARE(q.state(), db::DataSetState::Browse);
    QCOMPARE(q.fieldByName("POINT").asInteger(), 7);

    appendPoint(q, 2, 4);
    q.fieldByName("POINT").setInteger(9);
    q.fieldByName("CROSS").setFlag(false);
    q.fieldByName("EMPTYSCORE").setFlag(false);
    q.post();
    // The appended row stands at the end of the buffer and is current.
    QCOMPARE(q.recordCount(), 7);
    QCOMPARE(q.fieldByName("ARROWNO").asInteger(), 4);
    q.next();
    QVERIFY(q.eof());

    // Nothing is visible to others before the commit.
    QCOMPARE(readBack(t, "select count(*) from POINTS where POINT in (7, 9)"), QStringList({"0"}));
    pointsTra.commit();
    QCOMPARE(readBack(t, "select ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE from POINTS "
                         "where ROUNDNO = 2 order by ARROWNO"),
             QStringList({"2|1|21|F|F", "2|2|7|T|F", "2|3|23|F|F", "2|4|9|F|F"}));
    // The buffer survives the commit.
    QVERIFY(q.active());
    QCOMPARE(q.fieldByName("POINT").asInteger(), 9);
}

void TestDbLayer::generatorFillsKeyOnAppend()
{
    TestDb t;
    t.exec("set generator GEN_ARCHER_ID to 41");
    t.tra.commit();
    db::Query q(&t.conn);
    q.setUpdateObject(&t.archerSql);
    q.setGeneratorField("ARCHERID", "GEN_ARCHER_ID");
    int newRecordCalls = 0;
    q.onNewRecord = [&](db::Query& query) {
        ++newRecordCalls;
        QCOMPARE(query.fieldByName("ARCHERID").asInteger(), 42 + newRecordCalls - 1);
        query.fieldByName("ENABLETEAM").setFlag(true);
    };
    q.sqlAdd("select * from ARCHER");
    q.open();
    for (const char* name : {"Anna", "Bert"}) {
        q.append();
        q.fieldByName("NAME").setString(name);
        q.post();
    }
    t.tra.commit();
    QCOMPARE(newRecordCalls, 2);
    QCOMPARE(readBack(t, "select ARCHERID, NAME, ENABLETEAM from ARCHER order by ARCHERID"),
             QStringList({"42|Anna|T", "43|Bert|T"}));
}

void TestDbLayer::oldParameterChangesKey()
{
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    openOn(q, pointsInOrder, &t.pointsSql);
    QVERIFY(q.locate("ROUNDNO;ARROWNO", {1, 3}));
    q.edit();
    q.fieldByName("ARROWNO").setInteger(30);
    q.post();
    t.tra.commit();
    QCOMPARE(readBack(t, "select ARROWNO, POINT from POINTS where ROUNDNO = 1 order by ARROWNO"),
             QStringList({"1|11", "2|12", "30|13"}));
}

void TestDbLayer::cursorMoves()
{
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    openOn(q, "select ARROWNO from POINTS where ROUNDNO = 1 order by ARROWNO");
    auto at = [&] { return q.fieldByName("ARROWNO").asInteger(); };
    QVERIFY(q.bof());
    QVERIFY(!q.eof());
    QCOMPARE(at(), 1);
    q.next();
    QVERIFY(!q.bof());
    QCOMPARE(at(), 2);
    q.next();
    QCOMPARE(at(), 3);
    QVERIFY(!q.eof());
    q.next(); // past the end: stays on the last row
    QVERIFY(q.eof());
    QCOMPARE(at(), 3);
    q.next();
    QCOMPARE(at(), 3);
    q.prior();
    QVERIFY(!q.eof());
    QCOMPARE(at(), 2);
    q.prior();
    QCOMPARE(at(), 1);
    QVERIFY(!q.bof());
    q.prior(); // before the start: stays on the first row
    QVERIFY(q.bof());
    QCOMPARE(at(), 1);
    q.last();
    QVERIFY(q.eof());
    QCOMPARE(at(), 3);
    q.prior();
    QVERIFY(!q.eof());
    QCOMPARE(at(), 2);
    q.first();
    QVERIFY(q.bof());
    QCOMPARE(at(), 1);
    QCOMPARE(q.recordCount(), 3);
    QVERIFY(!q.isEmpty());
}

void TestDbLayer::emptyAndClosedQuery()
{
    TestDb t;
    db::Query q(&t.conn);
    q.sqlAdd("select * from POINTS");
    QVERIFY(q.eof() && q.bof() && q.isEmpty());
    QVERIFY(expectThrow<db::UsageError>([&] { q.next(); }, "Query is closed"));
    QVERIFY(expectThrow<db::UsageError>([&] { q.first(); }, "Query is closed"));
    QVERIFY(expectThrow<db::UsageError>([&] { q.fieldByName("POINT"); }, "Field 'POINT' not found")); // never prepared
    q.open();
    QVERIFY(q.eof());
    QVERIFY(q.bof());
    QVERIFY(q.isEmpty());
    QCOMPARE(q.recordCount(), 0);
    QVERIFY(q.fieldByName("POINT").isNull());
    q.next();
    q.prior();
    q.last();
    QVERIFY(q.eof() && q.bof());
    QVERIFY(expectThrow<db::UsageError>([&] { q.edit(); }, "no current row"));
    q.close();
    QVERIFY(expectThrow<db::UsageError>([&] { (void)q.fieldByName("POINT").value(); }, "Query is closed"));
}

void TestDbLayer::locateByTwoKeys_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<db::Value>("round");
    QTest::addColumn<db::Value>("arrow");
    QTest::addColumn<int>("point"); // 0: not found, cursor stays on the row it was on (ARROWNO 2 of round 1)
    QTest::newRow("found") << "ROUNDNO; ARROWNO" << db::Value(2) << db::Value(3) << 23;
    QTest::newRow("found, no spaces") << "ROUNDNO;ARROWNO" << db::Value(1) << db::Value(1) << 11;
    QTest::newRow("lower-case names") << " roundno ; arrowno " << db::Value(2) << db::Value(1) << 21;
    QTest::newRow("integer text") << "ROUNDNO; ARROWNO" << db::Value("2") << db::Value("2") << 22;
    QTest::newRow("arrow missing") << "ROUNDNO; ARROWNO" << db::Value(1) << db::Value(4) << 0;
    QTest::newRow("round missing") << "ROUNDNO; ARROWNO" << db::Value(3) << db::Value(1) << 0;
    QTest::newRow("not an integer") << "ROUNDNO; ARROWNO" << db::Value("2 ") << db::Value(1) << 0;
    QTest::newRow("null") << "ROUNDNO; ARROWNO" << db::Value() << db::Value(1) << 0;
}

void TestDbLayer::locateByTwoKeys()
{
    QFETCH(QString, keys);
    QFETCH(db::Value, round);
    QFETCH(db::Value, arrow);
    QFETCH(int, point);
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    openOn(q, pointsInOrder);
    q.next();
    const int before = q.prepareCount();
    QCOMPARE(q.locate(keys.toStdString(), {round, arrow}), point != 0);
    QCOMPARE(q.fieldByName("POINT").asInteger(), point != 0 ? point : 12);
    QCOMPARE(q.prepareCount(), before); // searched in the buffer, no statement
    if (point != 0)
        QVERIFY(!q.eof() && !q.bof());
}

void TestDbLayer::locateIntegerKeyAndPendingEdit()
{
    TestDb t;
    t.exec("insert into ARCHER (ARCHERID, NAME) values (5, 'Eve')");
    t.exec("insert into ARCHER (ARCHERID, NAME) values (7, 'Gus')");
    t.tra.commit();
    db::Query q(&t.conn);
    openOn(q, "select * from ARCHER order by ARCHERID", &t.archerSql);
    q.edit();
    q.fieldByName("NAME").setString("Eva");
    // The search posts the pending edit first.
    QVERIFY(q.locate("ARCHERID", {7}));
    QCOMPARE(q.state(), db::DataSetState::Browse);
    QCOMPARE(q.fieldByName("NAME").asString(), std::string("Gus"));
    QVERIFY(!q.locate("ARCHERID", {6}));
    QCOMPARE(q.fieldByName("ARCHERID").asInteger(), 7);
    QVERIFY(q.locate("NAME", {"Eva"}));
    QVERIFY(!q.locate("NAME", {"eva"})); // exact, case-sensitive
    QVERIFY(expectThrow<db::UsageError>([&] { q.locate("ARCHERID;NAME", {5}); }, "one value per key field"));
    QVERIFY(expectThrow<db::UsageError>([&] { q.locate("NOSUCH", {5}); }, "Field 'NOSUCH' not found"));
    t.tra.commit();
    QCOMPARE(readBack(t, "select NAME from ARCHER order by ARCHERID"), QStringList({"Eva", "Gus"}));
}

void TestDbLayer::filterHidesRows()
{
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    q.sqlAdd(pointsInOrder);
    q.setFilter([](const db::RowView& row) { return row["ARROWNO"].toInteger() != 2; });
    q.open();
    QCOMPARE(q.recordCount(), 6); // the filter is off until switched on
    q.setFiltered(true);
    QCOMPARE(q.recordCount(), 4);
    QList<int> seen;
    for (q.first(); !q.eof(); q.next())
        seen << q.fieldByName("POINT").asInteger();
    QCOMPARE(seen, QList<int>({11, 13, 21, 23}));
    seen.clear();
    for (q.last(); !q.bof(); q.prior())
        seen << q.fieldByName("POINT").asInteger();
    // last() leaves eof set, so the first prior moves on from the last row
    QCOMPARE(seen, QList<int>({23, 21, 13, 11}));
    QVERIFY(!q.locate("ROUNDNO;ARROWNO", {1, 2}));
    q.setFiltered(false);
    QVERIFY(q.locate("ROUNDNO;ARROWNO", {1, 2}));
    QCOMPARE(q.recordCount(), 6);

    q.setFilter([](const db::RowView&) { return false; });
    q.setFiltered(true);
    QVERIFY(q.isEmpty());
    QVERIFY(q.eof() && q.bof());
}

void TestDbLayer::refreshSeesCommittedRows()
{
    TestDb t;
    fillPoints(t);
    db::Transaction own(&t.conn);
    own.params() = {"read_committed", "rec_version", "nowait"};
    db::Query q(&t.conn, &own);
    q.sqlAdd(pointsInOrder);
    q.open();
    QCOMPARE(q.recordCount(), 6);
    {
        auto c = t.other();
        db::Transaction tr(c.get());
        c->executeImmediate("insert into POINTS values (1, 3, 1, 5, 'F', 'F')", tr);
        tr.commit();
    }
    q.refresh();
    QCOMPARE(q.recordCount(), 7);
    q.last();
    QCOMPARE(q.fieldByName("POINT").asInteger(), 5);
}

void TestDbLayer::refreshKeepsRowIndex()
{
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    openOn(q, pointsInOrder);
    q.next();
    q.next();
    q.refresh();
    QCOMPARE(q.fieldByName("POINT").asInteger(), 13);
    q.last();
    t.exec("delete from POINTS where ROUNDNO = 2");
    q.refresh(); // the index no longer exists: clamped to the last row
    QCOMPARE(q.recordCount(), 3);
    QCOMPARE(q.fieldByName("POINT").asInteger(), 13);
}

void TestDbLayer::statementsArePreparedOnce()
{
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    openOn(q, pointsInOrder, &t.pointsSql);
    QCOMPARE(q.prepareCount(), 1);
    for (int i = 0; i < 3; ++i) {
        for (q.first(); !q.eof(); q.next())
            editPoint(q, i);
        t.tra.commit();
        q.close();
        q.sqlClear();
        q.sqlAdd(pointsInOrder); // the same text again
        q.open();
    }
    QCOMPARE(q.prepareCount(), 2); // the select and the modify statement, once each
    q.close();
    q.sqlClear();
    q.sqlAdd("select * from POINTS where ROUNDNO = 1");
    q.open();
    QCOMPARE(q.prepareCount(), 3);
    QCOMPARE(q.recordCount(), 3);

    // A new attachment makes the cached statements stale.
    q.close();
    t.conn.disconnect();
    t.conn.connect();
    q.open();
    QCOMPARE(q.prepareCount(), 4);
    QCOMPARE(q.fieldByName("POINT").asInteger(), 2);
}

void TestDbLayer::rollbackRetainingUndoes()
{
    TestDb t;
    fillPoints(t);
    db::Transaction pointsTra(&t.conn);
    db::Query q(&t.conn, &pointsTra);
    openOn(q, pointsInOrder, &t.pointsSql);
    editPoint(q, 0);
    pointsTra.rollbackRetaining();
    QVERIFY(pointsTra.inTransaction());
    // The transaction is still usable after the rollback.
    q.next();
    editPoint(q, 99);
    pointsTra.commit();
    QVERIFY(!pointsTra.inTransaction());
    QCOMPARE(readBack(t, round1Points), QStringList({"11", "99", "13"}));
}

void TestDbLayer::commitRetainingKeepsTransaction()
{
    TestDb t;
    fillPoints(t);
    t.exec("update POINTS set POINT = 1 where ROUNDNO = 1 and ARROWNO = 1");
    t.tra.commitRetaining();
    QVERIFY(t.tra.inTransaction());
    t.exec("update POINTS set POINT = 2 where ROUNDNO = 1 and ARROWNO = 2");
    QCOMPARE(readBack(t, round1Points), QStringList({"1", "12", "13"}));
    t.tra.rollback();
    QCOMPARE(readBack(t, round1Points), QStringList({"1", "12", "13"}));
}

void TestDbLayer::removeDeletesRow()
{
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    openOn(q, pointsInOrder, &t.pointsSql);
    QVERIFY(q.locate("ROUNDNO;ARROWNO", {1, 3}));
    q.remove();
    QCOMPARE(q.fieldByName("POINT").asInteger(), 21); // the row that followed
    q.last();
    q.remove();
    QCOMPARE(q.fieldByName("POINT").asInteger(), 22); // the new last row
    t.tra.commit();
    QCOMPARE(readBack(t, "select count(*) from POINTS"), QStringList({"4"}));
}

void TestDbLayer::serverErrorKeepsItsWords()
{
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    openOn(q, "select * from POINTS", &t.pointsSql);
    appendPoint(q, 1, 1);
    std::optional<db::DuplicateKeyError> duplicate;
    QVERIFY(expectThrow<db::DuplicateKeyError>([&] { q.post(); }, {}, &duplicate));
    const QStringList lines = QString::fromLatin1(duplicate->what()).split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith("violation of PRIMARY or UNIQUE KEY constraint \"INTEG_"), duplicate->what());
    QVERIFY2(lines[0].endsWith("on table \"POINTS\""), duplicate->what());
    QVERIFY2(lines[1].startsWith("-Problematic key value is"), duplicate->what());
    QVERIFY(duplicate->hasCode(335544665)); // isc_unique_key_violation
    QCOMPARE(duplicate->sqlState(), std::string("23000"));
    // The failed row is still pending and can be put right.
    QCOMPARE(q.state(), db::DataSetState::Insert);
    q.fieldByName("ARROWNO").setInteger(4);
    q.post();
    QCOMPARE(q.recordCount(), 7);

    // A text too long for its column: the server says so.
    q.edit();
    q.fieldByName("EMPTYSCORE").setString("TOO LONG");
    bool takenForAConflict = false;
    QVERIFY(expectThrow<db::DbError>([&] {
        try {
            q.post();
        } catch (const db::LockConflictError&) {
            takenForAConflict = true;
            throw;
        } catch (const db::DuplicateKeyError&) {
            takenForAConflict = true;
            throw;
        }
    }, "string right truncation"));
    QVERIFY(!takenForAConflict);
    q.cancel();

    QVERIFY(expectThrow<db::DbError>([&] { t.exec("select nonsense from nowhere"); }, "Table unknown\n-NOWHERE"));
}

void TestDbLayer::badDatabases_data()
{
    QTest::addColumn<QString>("name"); // %1 stands for a temporary folder
    QTest::addColumn<QString>("words");
    QTest::newRow("missing file") << "%1/missing.fdb" << "No such file or directory";
    QTest::newRow("missing folder") << "%1/no/such/folder/x.fdb" << "I/O error during \"open\" operation";
    QTest::newRow("not a database") << "%1/text.fdb" << "not a valid database";
    QTest::newRow("unreachable server") << "127.0.0.1/1:%1/x.fdb" << "Unable to complete network request";
}

void TestDbLayer::badDatabases()
{
    QFETCH(QString, name);
    QFETCH(QString, words);
    QTemporaryDir dir;
    {
        QFile text(dir.filePath("text.fdb"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray(20000, 'x'));
    }
    const QString path = name.arg(dir.path());
    db::Connection c;
    setLogin(c, path.toStdString());
    QVERIFY(expectThrow<db::DbError>([&] { c.connect(); }, words.toStdString()));
    QVERIFY(!c.connected());
    // Connecting never creates a file.
    QVERIFY(!QFile::exists(dir.filePath("missing.fdb")));
    QVERIFY(!QFile::exists(dir.filePath("x.fdb")));
    QCOMPARE(QFileInfo(dir.filePath("text.fdb")).size(), 20000);
}

void TestDbLayer::createRefusesExistingFile()
{
    TestDb t;
    t.exec("insert into POINTS values (1, 1, 1, 5, 'F', 'F')");
    t.tra.commit();
    db::Connection second;
    setLogin(second, t.path);
    // Refused while in use, and refused when nobody uses it. The engine that
    // shares files between processes finds the file there before it finds
    // the attachment, and says so.
    for (const char* words : {"File exists", "File exists"}) {
        QVERIFY(expectThrow<db::DbError>([&] { second.createDatabase(); }, words));
        QVERIFY(!second.connected());
        t.conn.disconnect();
    }
    QCOMPARE(readBack(t, "select POINT from POINTS"), QStringList({"5"}));
}

void TestDbLayer::misuse()
{
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    openOn(q, "select * from POINTS");
    QVERIFY(expectThrow<db::UsageError>([&] { q.fieldByName("FOO"); }, "Field 'FOO' not found"));
    QVERIFY(expectThrow<db::UsageError>([&] { q.fieldByName("POINT").setInteger(1); },
                                        "Query is not in edit or insert state"));
    QVERIFY(expectThrow<db::UsageError>([&] { q.post(); }, "Query is not in edit or insert state"));
    q.edit();
    QVERIFY(expectThrow<db::UsageError>([&] { q.post(); }, "no update statements"));
    q.cancel();
    q.close();
    QVERIFY(expectThrow<db::UsageError>([&] { q.edit(); }, "Query is closed"));
    QVERIFY(expectThrow<db::UsageError>([&] { q.refresh(); }, "Query is closed"));

    db::Transaction tr(&t.conn);
    tr.params() = {"concurrency", "sideways"};
    QVERIFY(expectThrow<db::UsageError>([&] { tr.start(); }, "Unknown transaction parameter 'sideways'"));
    QVERIFY(!tr.inTransaction());
    QVERIFY(expectThrow<db::UsageError>([&] { tr.commit(); }, "not active"));

    db::Connection c;
    c.setDatabaseName(t.path);
    c.params() = {"user_name=SYSDBA", "colour=blue"};
    QVERIFY(expectThrow<db::UsageError>([&] { c.connect(); }, "Unknown connection parameter 'colour'"));
    db::Query unconnected(&c);
    unconnected.sqlAdd("select * from POINTS");
    QVERIFY(expectThrow<db::UsageError>([&] { unconnected.open(); }, "not connected"));
    db::Query orphan;
    orphan.sqlAdd("select * from POINTS");
    QVERIFY(expectThrow<db::UsageError>([&] { orphan.open(); }, "no connection"));

    db::Value text("12x");
    QVERIFY(expectThrow<db::ConversionError>([&] { (void)text.toInteger(); }, "'12x' is not a valid integer value"));
    q.open();
    q.edit();
    q.fieldByName("POINT").setValue(db::Value(std::int64_t{1} << 40));
    QVERIFY(expectThrow<db::ConversionError>([&] { (void)q.fieldByName("POINT").asInteger(); },
                                             "is not a valid integer value"));

    // A statement that returns no rows is refused on every try, not only the first.
    db::Query update(&t.conn);
    update.sqlAdd("update POINTS set POINT = 1");
    for (int attempt = 0; attempt < 2; ++attempt)
        QVERIFY(expectThrow<db::UsageError>([&] { update.open(); }, "must return rows"));
    QVERIFY(!update.active());
}

void TestDbLayer::postErrorHandler_data()
{
    QTest::addColumn<int>("action");
    QTest::newRow("fail") << int(db::PostErrorAction::Fail);
    QTest::newRow("abort") << int(db::PostErrorAction::Abort);
    QTest::newRow("retry") << int(db::PostErrorAction::Retry);
}

void TestDbLayer::postErrorHandler()
{
    QFETCH(int, action);
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    openOn(q, pointsInOrder, &t.pointsSql);
    int calls = 0;
    QString seen;
    q.onPostError = [&](db::Query& query, const db::DbError& e, db::PostErrorAction& a) {
        ++calls;
        seen = QString::fromLatin1(e.what());
        QCOMPARE(a, db::PostErrorAction::Fail); // the default offered
        a = db::PostErrorAction(action);
        if (a == db::PostErrorAction::Retry)
            query.fieldByName("ARROWNO").setInteger(9); // put the key right, then try again
    };
    appendPoint(q, 1, 2); // exists
    bool raised = false;
    try {
        q.post();
    } catch (const db::DbError&) {
        raised = true;
    }
    QCOMPARE(calls, 1);
    QVERIFY(seen.contains("violation of PRIMARY or UNIQUE KEY constraint"));
    switch (db::PostErrorAction(action)) {
    case db::PostErrorAction::Fail:
        QVERIFY(raised);
        QCOMPARE(q.state(), db::DataSetState::Insert);
        break;
    case db::PostErrorAction::Abort:
        QVERIFY(!raised);
        QCOMPARE(q.state(), db::DataSetState::Browse);
        QCOMPARE(q.recordCount(), 6);
        break;
    case db::PostErrorAction::Retry:
        QVERIFY(!raised);
        QCOMPARE(q.state(), db::DataSetState::Browse);
        QCOMPARE(q.recordCount(), 7);
        break;
    }
    q.cancel();
    t.tra.commit();
    QCOMPARE(readBack(t, "select count(*) from POINTS").first(),
             db::PostErrorAction(action) == db::PostErrorAction::Retry ? QString("7") : QString("6"));
}

void TestDbLayer::lockConflictReportsDeadlock()
{
    TestDb t;
    fillPoints(t);
    // Another user holds the row of round 1, arrow 1.
    auto holder = t.other();
    db::Transaction holding(holder.get());
    holder->executeImmediate("update POINTS set POINT = 0 where ROUNDNO = 1 and ARROWNO = 1", holding);

    db::Transaction pointsTra(&t.conn);
    pointsTra.params() = {"wait", "lock_timeout=1"};
    db::Query q(&t.conn, &pointsTra);
    openOn(q, pointsInOrder, &t.pointsSql);
    q.next();
    editPoint(q, 1); // another row: no conflict
    q.first();
    q.edit();
    q.fieldByName("POINT").setInteger(1);
    std::optional<db::LockConflictError> conflict;
    QVERIFY(expectThrow<db::LockConflictError>([&] { q.post(); }, "deadlock", &conflict));
    QVERIFY2(QString::fromLatin1(conflict->what()).contains("update conflicts with concurrent update"), conflict->what());
    q.cancel();
    pointsTra.rollbackRetaining();
    holding.commit();
    pointsTra.commit();
    QCOMPARE(readBack(t, round1Points), QStringList({"0", "12", "13"}));
}

void TestDbLayer::latin1RoundTrip()
{
    TestDb t;
    const std::string name = "M\xfcller \xc5se \xe9\xe8\xff"; // ISO 8859-1 bytes
    db::Query q(&t.conn);
    openOn(q, "select * from ARCHER", &t.archerSql);
    q.append();
    q.fieldByName("ARCHERID").setInteger(1);
    q.fieldByName("NAME").setString(name);
    q.post();
    t.tra.commit();
    QCOMPARE(readBack(t, "select NAME, octet_length(NAME) from ARCHER"),
             QStringList({QString::fromLatin1(name) + "|" + QString::number(name.size())}));
    QVERIFY(q.locate("NAME", {name}));
}

void TestDbLayer::valuesOfColumnTypes()
{
    TestDb t;
    t.exec("create table KINDS (S smallint, B bigint, N numeric(9,2), D double precision, C char(4), "
           "V varchar(10), DT date, TS timestamp, TX blob sub_type text)");
    t.tra.commit();
    t.exec("insert into KINDS values (-3, 9000000000, 12.5, 0.25, 'ab', 'ab  ', '2024-02-29', "
           "'2024-02-29 13:14:15', 'long text')");
    db::Query q(&t.conn);
    openOn(q, "select S, B, N, D, C, V, DT, TS, TX, cast(null as integer) as NOTHING from KINDS");
    QCOMPARE(q.fieldNames(),
             std::vector<std::string>({"S", "B", "N", "D", "C", "V", "DT", "TS", "TX", "NOTHING"}));
    QVERIFY(q.fieldByName("S").value() == db::Value(-3));
    QVERIFY(q.fieldByName("B").value() == db::Value(std::int64_t{9000000000}));
    QVERIFY(q.fieldByName("N").value() == db::Value(12.5));
    QVERIFY(q.fieldByName("D").value() == db::Value(0.25));
    QCOMPARE(q.fieldByName("C").asString(), std::string("ab")); // CHAR padding dropped
    QCOMPARE(q.fieldByName("V").asString(), std::string("ab  ")); // VARCHAR as stored
    QCOMPARE(q.fieldByName("DT").asString(), std::string("2024-02-29"));
    QCOMPARE(q.fieldByName("TS").asString(), std::string("2024-02-29 13:14:15"));
    QCOMPARE(q.fieldByName("TX").asString(), std::string("long text"));
    QVERIFY(q.fieldByName("NOTHING").isNull());
    QCOMPARE(q.fieldByName("NOTHING").asInteger(), 0);
    QCOMPARE(q.fieldByName("NOTHING").asString(), std::string());

    // Names that differ only in case: every spelling finds the first of them.
    db::Query cases(&t.conn);
    cases.sqlAdd("select 1 as \"a\", 2 as A from RDB$DATABASE");
    cases.open();
    QCOMPARE(cases.fieldNames(), std::vector<std::string>({"a", "A"}));
    QCOMPARE(cases.fieldByName("A").asInteger(), 1);
    QCOMPARE(cases.fieldByName("a").asInteger(), 1);
}

void TestDbLayer::plainStatementWithParameters()
{
    TestDb t;
    db::Statement s(&t.conn, &t.tra);
    s.sqlAdd("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE)");
    s.sqlAdd("values (?, ?, ?, ?, ?, ?)");
    for (int a = 1; a <= 3; ++a)
        s.execute({1, 1, a, std::to_string(a), a == 1 ? "T" : "F", db::Value()});
    QCOMPARE(s.prepareCount(), 1);
    QVERIFY(expectThrow<db::UsageError>([&] { s.execute({1}); }, "takes 6 parameters, 1 given"));
    QVERIFY(expectThrow<db::DbError>([&] { s.execute({1, 1, 4, "four", "F", "F"}); },
                                     "conversion error from string \"four\""));
    t.tra.commit();
    QCOMPARE(readBack(t, "select ARROWNO, POINT, \"CROSS\", EMPTYSCORE from POINTS order by ARROWNO"),
             QStringList({"1|1|T|<null>", "2|2|F|<null>", "3|3|F|<null>"}));
}

void TestDbLayer::disconnectEndsTransactionsAndQueries()
{
    TestDb t;
    fillPoints(t);
    db::Transaction pointsTra(&t.conn);
    db::Query q(&t.conn, &pointsTra);
    openOn(q, "select * from POINTS", &t.pointsSql);
    editPoint(q, 0);
    QVERIFY(pointsTra.inTransaction());
    t.conn.disconnect();
    QVERIFY(!t.conn.connected());
    QVERIFY(!pointsTra.inTransaction());
    QVERIFY(!q.active());
    t.conn.connect();
    QCOMPARE(readBack(t, "select count(*) from POINTS where POINT = 0"), QStringList({"0"}));
    q.open(); // usable again after reconnecting
    QCOMPARE(q.recordCount(), 6);
}

void TestDbLayer::queryOutlivesConnection()
{
    // Members declared before their connection are destroyed after it.
    QTemporaryDir dir;
    auto q = std::make_unique<db::Query>();
    auto s = std::make_unique<db::Statement>();
    auto conn = std::make_unique<db::Connection>();
    auto tra = std::make_unique<db::Transaction>(conn.get());
    setLogin(*conn, dir.filePath("x.fdb").toStdString());
    conn->setDefaultTransaction(tra.get());
    conn->createDatabase();
    conn->executeImmediate("create table T (A integer)", *tra);
    tra->commit();
    q->setConnection(conn.get());
    q->setTransaction(tra.get());
    q->sqlAdd("select * from T");
    q->open();
    s->setConnection(conn.get());
    s->setTransaction(tra.get());
    s->sqlAdd("insert into T values (?)");
    s->execute({1});
    QVERIFY(tra->inTransaction());
    tra.reset(); // rolls back
    conn.reset();
    QVERIFY(!q->active());
    QCOMPARE(q->connection(), nullptr);
    s.reset();
    q.reset();
}

// A data module declares some queries before the connection they use, and
// is destroyed in reverse order with everything open and a transaction active.
struct DataModule {
    db::Query before;
    db::Statement statementBefore;
    db::Connection conn;
    db::Transaction tra{&conn};
    db::Query after{&conn, &tra};

    explicit DataModule(const std::string& path)
    {
        before.setConnection(&conn);
        before.setTransaction(&tra);
        statementBefore.setConnection(&conn);
        statementBefore.setTransaction(&tra);
        setLogin(conn, path);
        conn.setDefaultTransaction(&tra);
    }
};

void TestDbLayer::membersDeclaredAroundTheirConnection()
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("m.fdb").toStdString();
    {
        DataModule m(path);
        m.conn.createDatabase();
        m.conn.executeImmediate("create table T (A integer)", m.tra);
        m.tra.commit();
        m.statementBefore.sqlAdd("insert into T values (?)");
        m.statementBefore.execute({1});
        m.before.sqlAdd("select * from T");
        m.before.open();
        m.after.sqlAdd("select A + 1 as B from T");
        m.after.open();
        QCOMPARE(m.after.fieldByName("B").asInteger(), 2);
        QVERIFY(m.tra.inTransaction());
    }
    // The uncommitted row is gone and the file is free for the next user.
    db::Connection c;
    setLogin(c, path);
    c.connect();
    db::Transaction tr(&c);
    db::Query q(&c, &tr);
    q.sqlAdd("select count(*) as N from T");
    q.open();
    QCOMPARE(q.fieldByName("N").asInteger(), 0);
}

namespace {

// The attachment's number as the server knows it.
std::int64_t attachmentId(db::Connection& c)
{
    db::Transaction tr(&c);
    db::Query q(&c, &tr);
    q.sqlAdd("select current_connection as ID from RDB$DATABASE");
    q.open();
    const std::int64_t id = q.fieldByName("ID").value().toInteger();
    q.close();
    tr.commit();
    return id;
}

// Another attachment ends this one, as a server shutdown or an
// administrator would.
void killAttachment(const TestDb& t, std::int64_t id)
{
    auto killer = t.other();
    db::Transaction tr(killer.get());
    killer->executeImmediate("delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + std::to_string(id), tr);
    tr.commit();
}

} // namespace

// The station's attachment is killed: the next call says so, the work of
// the open transaction is gone and never replayed, and new work attaches
// again, with the prepared statements prepared anew.
void TestDbLayer::lostConnectionAttachesAgainForNewWork()
{
    TestDb t;
    fillPoints(t);
    db::Transaction pointsTra(&t.conn);
    db::Query q(&t.conn, &pointsTra);
    openOn(q, pointsInOrder, &t.pointsSql);
    db::Statement insert(&t.conn, &pointsTra);
    insert.sqlAdd("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT) values (?, ?, ?, ?)");
    insert.execute({2, 1, 1, 5});
    editPoint(q, 0);
    const std::int64_t first = attachmentId(t.conn);

    killAttachment(t, first);
    QVERIFY(expectThrow<db::ConnectionLostError>([&] { pointsTra.commit(); }, "shutdown"));
    QVERIFY(t.conn.lost());
    QVERIFY(!pointsTra.inTransaction());
    QVERIFY(q.active());   // the buffered rows stay
    QCOMPARE(q.fieldByName("POINT").asInteger(), 0);

    q.close();
    q.open();
    QVERIFY(!t.conn.lost());
    QVERIFY(attachmentId(t.conn) != first);
    QCOMPARE(q.fieldByName("POINT").asInteger(), 11);   // the edit was never stored
    editPoint(q, 1);
    insert.execute({2, 1, 2, 6});
    pointsTra.commit();
    QCOMPARE(readBack(t, "select ARCHERID, POINT from POINTS where POINT < 10 order by ARCHERID, POINT"),
             QStringList({"1|1", "2|6"}));

    // Killed while idle: the next transaction attaches again on its own.
    killAttachment(t, attachmentId(t.conn));
    q.close();
    q.open();
    QCOMPARE(q.recordCount(), 7);
    insert.execute({2, 1, 3, 7});
    pointsTra.commit();
    QCOMPARE(readBack(t, "select count(*) from POINTS"), QStringList({"8"}));
}

// A call that runs past the operation timeout (here waiting for another
// user's lock) is cancelled; the connection stays usable.
void TestDbLayer::operationPastItsTimeIsCancelled()
{
    TestDb t;
    fillPoints(t);
    auto holder = t.other();
    db::Transaction holding(holder.get());
    holder->executeImmediate("update POINTS set POINT = 0 where ROUNDNO = 1 and ARROWNO = 1", holding);

    t.conn.setOperationTimeout(std::chrono::seconds(1));
    QCOMPARE(t.conn.operationTimeout(), std::chrono::seconds(1));
    db::Transaction waiting(&t.conn);
    waiting.params() = {"wait", "lock_timeout=60"};   // bounds the test should the cancel fail
    QVERIFY(expectThrow<db::DbError>(
        [&] { t.conn.executeImmediate("update POINTS set POINT = 1 where ROUNDNO = 1 and ARROWNO = 1", waiting); },
        "cancelled"));
    holding.rollback();
    if (waiting.inTransaction())
        waiting.rollback();
    t.exec("update POINTS set POINT = 1 where ROUNDNO = 1 and ARROWNO = 1");
    t.tra.commit();
    QCOMPARE(readBack(t, round1Points), QStringList({"1", "12", "13"}));
}

void TestDbLayer::sqlTextPieces_data()
{
    // Each piece written as its kind's letter and its text in brackets.
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("pieces");
    QTest::newRow("code only") << "select 1" << "C[select 1]";
    QTest::newRow("literal with a semicolon") << "a = 'x;y' ;" << "C[a = ]Q['x;y']C[ ;]";
    QTest::newRow("doubled quote") << "'it''s'" << "Q['it''s']";
    QTest::newRow("quoted name") << "\"CROSS\" = 1" << "Q[\"CROSS\"]C[ = 1]";
    QTest::newRow("line comment ends before the line end") << "a -- b;\nc" << "C[a ]L[-- b;]C[\nc]";
    QTest::newRow("block comment") << "a/* ; */b" << "C[a]B[/* ; */]C[b]";
    QTest::newRow("quote left open") << "a 'b" << "C[a ]Q['b]";
    QTest::newRow("comment left open") << "a /* b" << "C[a ]B[/* b]";
    QTest::newRow("minus alone is code") << "a - b / c" << "C[a - b / c]";
}

void TestDbLayer::sqlTextPieces()
{
    QFETCH(QString, sql);
    QFETCH(QString, pieces);
    const std::string text = sql.toStdString();
    QString written;
    for (const db::SqlPiece& piece : db::splitSqlText(text)) {
        const char kind = piece.kind == db::SqlPieceKind::Code ? 'C'
            : piece.kind == db::SqlPieceKind::Quoted           ? 'Q'
            : piece.kind == db::SqlPieceKind::LineComment      ? 'L'
                                                               : 'B';
        written += QChar(kind) + QString("[") + QString::fromStdString(std::string(piece.text)) + "]";
    }
    QCOMPARE(written, pieces);
}

void TestDbLayer::parametersInQuotesAndCommentsStayText()
{
    // Only the parameters outside quotes and comments take the row's values;
    // a ":NOPE" anywhere else would ask for a column the row does not have.
    TestDb t;
    t.exec("insert into ARCHER (ARCHERID, NAME) values (1, 'one')");
    t.tra.commit();
    db::UpdateSql update;
    update.ModifySQL = {"update ARCHER set NAME = :NAME || ' :NOPE' /* :NOPE */", "where ARCHERID = :OLD_ARCHERID -- :NOPE"};
    db::Query q(&t.conn, &t.tra);
    openOn(q, "select ARCHERID, NAME from ARCHER", &update);
    q.edit();
    q.fieldByName("NAME").setString("two");
    q.post();
    t.tra.commit();
    QCOMPARE(readBack(t, "select NAME from ARCHER"), QStringList({"two :NOPE"}));
}

namespace {

// Posts the event from a transaction of its own on the connection, and
// commits or rolls it back.
void postEvent(db::Connection& c, const std::string& name, bool commit = true)
{
    db::Transaction t(&c);
    c.executeImmediate("execute block as begin post_event '" + name + "'; end", t);
    if (commit)
        t.commit();
    else
        t.rollback();
}

} // namespace

void TestDbLayer::committedEventsReachTheListener()
{
    TestDb t;
    std::atomic<unsigned> saved{0};
    std::atomic<unsigned> other{0};
    std::atomic<bool> fail{false};
    std::atomic<bool> onOwnersThread{false};
    const std::thread::id owner = std::this_thread::get_id();
    db::EventListener listener(t.conn, {"SAVED", "OTHER"}, [&](const std::vector<unsigned>& posted) {
        if (std::this_thread::get_id() == owner)
            onOwnersThread = true;
        saved += posted.at(0);
        other += posted.at(1);
        if (fail)
            throw std::runtime_error("the callback fails");
    });
    QVERIFY(listener.listening());

    // Only what a committed transaction posts arrives, counted per name.
    std::unique_ptr<db::Connection> station = t.other();
    postEvent(*station, "SAVED");
    QTRY_COMPARE_WITH_TIMEOUT(saved.load(), 1u, 10000);
    postEvent(*station, "SAVED", false);
    postEvent(*station, "OTHER");
    QTRY_COMPARE_WITH_TIMEOUT(other.load(), 1u, 10000);
    QCOMPARE(saved.load(), 1u);

    // A callback that throws neither ends the process nor the waiting.
    fail = true;
    postEvent(*station, "SAVED");
    QTRY_COMPARE_WITH_TIMEOUT(saved.load(), 2u, 10000);
    postEvent(*station, "SAVED");
    QTRY_COMPARE_WITH_TIMEOUT(saved.load(), 3u, 10000);
    QVERIFY(listener.listening());
    QVERIFY(!onOwnersThread);
    station->disconnect();
}

void TestDbLayer::listenerStopsCleanly()
{
    TestDb t;
    std::unique_ptr<db::Connection> station = t.other();
    std::atomic<unsigned> calls{0};
    {
        db::EventListener listener(t.conn, {"SAVED"}, [&](const std::vector<unsigned>&) { ++calls; });
        postEvent(*station, "SAVED");
        QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1u, 10000);
        listener.stop();
        QVERIFY(!listener.listening());
        postEvent(*station, "SAVED");
        QTest::qWait(300);
        QCOMPARE(calls.load(), 1u);
        listener.stop();   // a second time does nothing
    }

    // Listeners that go while deliveries are under way.
    for (int i = 0; i < 10; ++i) {
        db::EventListener listener(t.conn, {"SAVED"}, [&](const std::vector<unsigned>&) { ++calls; });
        postEvent(*station, "SAVED");
    }

    // The connection may detach before the listener goes: nothing arrives.
    const unsigned before = calls;
    db::EventListener listener(t.conn, {"SAVED"}, [&](const std::vector<unsigned>&) { ++calls; });
    t.conn.disconnect();
    postEvent(*station, "SAVED");
    QTest::qWait(300);
    QCOMPARE(calls.load(), before);

    QVERIFY(expectThrow<db::UsageError>([&] { db::EventListener l(t.conn, {"SAVED"}, {}); }, "connected"));
    t.conn.connect();
    QVERIFY(expectThrow<db::UsageError>([&] { db::EventListener l(t.conn, {""}, {}); }, "empty"));
    station->disconnect();
}

QTEST_GUILESS_MAIN(TestDbLayer)
#include "tst_db.moc"

// A query's posts carried by a block store the rows that post() stores.
void TestDbLayer::blockWritesStoreWhatSingleWritesStore()
{
    TestDb t;
    fillPoints(t);
    db::Query q(&t.conn);
    openOn(q, pointsInOrder, &t.pointsSql);
    db::WriteBlock block(&t.conn, &t.tra);
    q.edit();
    q.fieldByName("POINT").setInteger(99);
    q.fieldByName("CROSS").setFlag(true);
    q.postTo(block);
    q.last();
    q.edit();
    q.fieldByName("EMPTYSCORE").setNull();
    q.postTo(block);
    appendPoint(q, 3, 1);
    q.fieldByName("POINT").setString("7");
    q.postTo(block);
    QCOMPARE(q.state(), db::DataSetState::Browse);
    QCOMPARE(q.recordCount(), 7);   // the buffer holds the posted rows already
    QCOMPARE(block.size(), std::size_t{3});
    QCOMPARE(readBack(t, pointsInOrder).size(), 6);   // nothing sent yet

    block.execute();
    QCOMPARE(block.blocksSent(), 1);
    QVERIFY(block.empty());
    t.tra.commit();
    QCOMPARE(readBack(t, pointsInOrder),
             QStringList({"1|1|1|99|T|F", "1|1|2|12|F|F", "1|1|3|13|F|F", "1|2|1|21|F|F", "1|2|2|22|F|F",
                          "1|2|3|23|F|<null>", "1|3|1|7|<null>|<null>"}));

    // Plain statements with "?" in a literal and a comment beside the
    // parameters; an empty block sends nothing.
    block.add("update POINTS set \"CROSS\" = '?' /* ? */ where ROUNDNO = ? and ARROWNO = ?;", {3, 1});
    block.execute();
    QCOMPARE(block.blocksSent(), 1);
    block.execute();
    QCOMPARE(block.blocksSent(), 0);
    t.tra.commit();
    QCOMPARE(readBack(t, "select \"CROSS\" from POINTS where ROUNDNO = 3"), QStringList({"?"}));
}

// More writes than one block takes, and writes whose values fill the
// parameter message: split into blocks the server accepts, all stored in
// order.
void TestDbLayer::blocksStayWithinTheServersLimits()
{
    TestDb t;
    t.exec("create table NOTES (ID integer not null primary key, TITLE varchar(20), BODY varchar(2000))");
    t.tra.commit();
    db::WriteBlock block(&t.conn, &t.tra);
    constexpr int kRows = 250;
    for (int id = 1; id <= kRows; ++id)
        block.add("insert into NOTES (ID, TITLE) values (?, ?)", {id, std::string(10, 'a')});
    block.execute();
    QCOMPARE(block.blocksSent(), 3);   // 100 writes to a block
    for (int id = 1; id <= kRows; ++id)
        block.add("update NOTES set BODY = ? where ID = ?", {std::string(2000, char('a' + id % 26)), id});
    block.execute();
    QVERIFY2(block.blocksSent() >= 9, "2,000 bytes a value: under 30 to a block");
    t.tra.commit();
    QCOMPARE(t.file.count("select count(*) from NOTES where char_length(BODY) = 2000"), kRows);
    QCOMPARE(readBack(t, "select substring(BODY from 1 for 1) from NOTES where ID in (1, 250) order by ID"),
             QStringList({"b", "q"}));
}

// A block that a check refuses on one row leaves none of its rows, and the
// error is the server's in its own words, no conflict.
void TestDbLayer::blockRefusedHalfwayStoresNothingOfIt()
{
    TestDb t;
    t.exec("alter table POINTS add constraint CK_NOT_THIRTEEN check (POINT <> 13)");
    t.tra.commit();
    t.exec("insert into POINTS values (2, 1, 1, 5, 'F', 'F')");   // earlier work of the transaction
    db::WriteBlock block(&t.conn, &t.tra);
    for (int arrow = 1; arrow <= 10; ++arrow)
        block.add("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT) values (1, 1, ?, ?)",
                  {arrow, arrow == 5 ? 13 : arrow});
    std::optional<db::DbError> refused;
    QVERIFY(expectThrow<db::DbError>([&] { block.execute(); }, "CK_NOT_THIRTEEN", &refused));
    QVERIFY(!dynamic_cast<const db::LockConflictError*>(&*refused));
    QVERIFY(!dynamic_cast<const db::DuplicateKeyError*>(&*refused));
    QVERIFY(block.empty());
    t.tra.commit();
    QCOMPARE(readBack(t, "select ARCHERID, ARROWNO from POINTS"), QStringList({"2|1"}));
}

// A duplicate key and another user's lock inside a block are told apart as
// a single write's are.
void TestDbLayer::blockErrorsKeepTheirKinds()
{
    TestDb t;
    fillPoints(t);
    db::WriteBlock block(&t.conn, &t.tra);
    block.add("update POINTS set POINT = 0 where ROUNDNO = ? and ARROWNO = ?", {2, 2});
    block.add("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO) values (1, ?, ?)", {1, 2});
    QVERIFY_THROWS_EXCEPTION(db::DuplicateKeyError, block.execute());
    t.tra.rollback();

    auto holder = t.other();
    db::Transaction holding(holder.get());
    holder->executeImmediate("update POINTS set POINT = 0 where ROUNDNO = 1 and ARROWNO = 3", holding);
    db::Transaction pointsTra(&t.conn);
    pointsTra.params() = {"wait", "lock_timeout=1"};
    block.setTransaction(&pointsTra);
    for (int arrow = 1; arrow <= 3; ++arrow)
        block.add("update POINTS set POINT = 1 where ROUNDNO = 1 and ARROWNO = ?", {arrow});
    QVERIFY(expectThrow<db::LockConflictError>([&] { block.execute(); }, "deadlock"));
    pointsTra.rollback();
    holding.commit();
    QCOMPARE(readBack(t, round1Points), QStringList({"11", "12", "0"}));
}

// A block's condition travels in its first block: a row found, every write
// is stored; none found (a row another user removed, seen in a snapshot
// taken after), nothing is written, not even of the blocks after the
// first, and the writes wait for a send without the condition.
void TestDbLayer::blockWritesOnlyWhenItsConditionFindsARow()
{
    TestDb t;
    fillPoints(t);
    t.exec("insert into ARCHER (ARCHERID, NAME) values (1, 'Anna')");
    t.tra.commit();
    const std::string archerRow = "select ARCHERID from ARCHER where ARCHERID = ?";
    db::WriteBlock block(&t.conn, &t.tra);
    block.add("update POINTS set POINT = ? where ROUNDNO = ? and ARROWNO = ?", {7, 1, 1});
    block.onlyWhenFound(archerRow, {1});
    QVERIFY(block.execute());
    QCOMPARE(block.blocksSent(), 1);
    QVERIFY(block.empty());
    QVERIFY(!block.hasCondition());
    t.tra.commit();
    QCOMPARE(readBack(t, round1Points), QStringList({"7", "12", "13"}));

    auto other = t.other();
    db::Transaction removing(other.get());
    other->executeImmediate("delete from ARCHER where ARCHERID = 1", removing);
    removing.commit();
    t.tra.params() = {"concurrency"};
    constexpr int kRows = 150;   // two blocks
    for (int arrow = 1; arrow <= kRows; ++arrow)
        block.add("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT) values (1, 3, ?, 0)", {arrow});
    block.onlyWhenFound(archerRow, {1});
    QVERIFY(!block.execute());
    QCOMPARE(block.blocksSent(), 1);
    QCOMPARE(block.size(), std::size_t(kRows));
    QVERIFY(block.hasCondition());
    QCOMPARE(readBack(t, round1Points), QStringList({"7", "12", "13"}));
    QVERIFY(t.tra.inTransaction());

    block.dropCondition();
    QVERIFY(block.execute());
    QCOMPARE(block.blocksSent(), 2);
    t.tra.commit();
    QCOMPARE(t.file.count("select count(*) from POINTS where ROUNDNO = 3"), kRows);

    // A condition that returns no rows is refused before anything is sent.
    block.add("delete from POINTS", {});
    block.onlyWhenFound("delete from ARCHER", {});
    QVERIFY_THROWS_EXCEPTION(db::UsageError, block.execute());
    t.tra.rollback();
    QCOMPARE(t.file.count("select count(*) from POINTS"), kRows + 6);
}

// Queries with the same text share one statement of the attachment; a new
// attachment prepares it again.
void TestDbLayer::sameTextIsPreparedOncePerAttachment()
{
    TestDb t;
    fillPoints(t);
    db::Query first(&t.conn);
    openOn(first, round1Points);
    QCOMPARE(first.prepareCount(), 1);
    db::Query second(&t.conn);
    openOn(second, round1Points);
    QCOMPARE(second.prepareCount(), 0);
    QCOMPARE(second.recordCount(), 3);
    first.close();
    second.close();

    t.conn.disconnect();
    t.conn.connect();
    db::Query third(&t.conn);
    openOn(third, round1Points);
    QCOMPARE(third.prepareCount(), 1);
    second.open();   // its statement went with the old attachment
    QCOMPARE(second.recordCount(), 3);
    QCOMPARE(second.prepareCount(), 0);
}
