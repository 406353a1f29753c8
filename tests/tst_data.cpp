// The competition data context on a real embedded database: the schema, the
// statements of its datasets, the generators and the lookups by number.

#include "data/competition_schema.h"
#include "data/update_statements.h"
#include "db/error.h"
#include "tests/support/competition.h"

#include <QFile>
#include <QTest>

#include <filesystem>

using Lines = std::vector<std::string>;
Q_DECLARE_METATYPE(Lines)

namespace {

const char* const kSeed[] = {
    "insert into BOWTYPES (TYPENO, DESCRIPTION) values (1, 'Recurve')",
    "insert into BOWTYPES (TYPENO, DESCRIPTION) values (2, 'Compound')",
    "insert into AGECLASS (AGECLASSNO, DESCRIPTION) values (3, 'Senior')",
    "insert into SHOOTINGCLASSES (SHOOTINGCLASSNO, DESCRIPTION) values (4, 'Men')",
    "insert into COUNTRY (COUNTRYNUMBER, NAME) values (10, 'Denmark')",
    "insert into COUNTRY (COUNTRYNUMBER, NAME) values (20, 'Sweden')",
    "insert into COUNTRY (COUNTRYNUMBER, NAME) values (30, 'Norway')",
};

std::vector<std::string> seedStatements()
{
    return {std::begin(kSeed), std::end(kSeed)};
}

} // namespace

class TestData : public QObject {
    Q_OBJECT

private slots:
    void pointsStatementsFollowTheRule();
    void competitionWritesEveryRowUnderItsLowerCaseName();
    void archerAppendTakesItsNumberFromTheGenerator();
    void pointsRowsGoThroughTheUpdateStatements();
    void schemaHoldsEveryTableAndGenerator();
    void textTravelsAsLatin1();
    void createRefusesAnExistingFile();
    void createLeavesNothingBehindOnFailure();
    void connectOpensTheLookupsOnly();
    void serverDatabases_data();
    void serverDatabases();
    void lookups_data();
    void lookups();
    void lookupOnAClosedDatasetIsEmpty();
    void lookupOfAMissingNumberLeavesTheCurrentRow();
    void lookupWithoutTheResultColumnIsUnknown();
};

void TestData::pointsStatementsFollowTheRule()
{
    TdmTallyon dm;
    const db::UpdateSql& points = dm.IBUpdSQLPoints;
    QCOMPARE(points.RefreshSQL, (Lines{"Select ", "  ARCHERID,", "  ROUNDNO,", "  ARROWNO,", "  POINT,",
                                       "  \"CROSS\",", "  EMPTYSCORE", "from POINTS ", "where",
                                       "  ARCHERID = :ARCHERID and", "  ARROWNO = :ARROWNO and",
                                       "  ROUNDNO = :ROUNDNO"}));
    QCOMPARE(points.ModifySQL, (Lines{"update POINTS", "set", "  ARCHERID = :ARCHERID,", "  ARROWNO = :ARROWNO,",
                                      "  \"CROSS\" = :CROSS,", "  EMPTYSCORE = :EMPTYSCORE,", "  POINT = :POINT,",
                                      "  ROUNDNO = :ROUNDNO", "where", "  ARCHERID = :OLD_ARCHERID and",
                                      "  ARROWNO = :OLD_ARROWNO and", "  ROUNDNO = :OLD_ROUNDNO"}));
    QCOMPARE(points.InsertSQL, (Lines{"insert into POINTS", "  (ARCHERID, ARROWNO, \"CROSS\", EMPTYSCORE, POINT, ROUNDNO)",
                                      "values", "  (:ARCHERID, :ARROWNO, :CROSS, :EMPTYSCORE, :POINT, :ROUNDNO)"}));
    QCOMPARE(points.DeleteSQL, (Lines{"delete from POINTS", "where", "  ARCHERID = :OLD_ARCHERID and",
                                      "  ARROWNO = :OLD_ARROWNO and", "  ROUNDNO = :OLD_ROUNDNO"}));

    // One key column: no "and"; the two result-list objects say the same.
    QCOMPARE(dm.IBUpdSQLBowType.DeleteSQL, (Lines{"delete from BOWTYPES", "where", "  TYPENO = :OLD_TYPENO"}));
    QCOMPARE(dm.IBUpdSQLResultListsTeam.ModifySQL, dm.IBUpdSQLResultListsIndividual.ModifySQL);
    QCOMPARE(dm.IBUpdSQLResultListsTeam.InsertSQL, (Lines{"insert into RESULTLISTS", "  (APPLYTO, LISTFILTER, LISTNAME)",
                                                          "values", "  (:APPLYTO, :LISTFILTER, :LISTNAME)"}));
}

void TestData::competitionWritesEveryRowUnderItsLowerCaseName()
{
    TdmTallyon dm;
    QCOMPARE(dm.IBUpdSQLCompetition.ModifySQL.front(), std::string("update competition"));
    QCOMPARE(dm.IBUpdSQLCompetition.ModifySQL.back(), std::string("  STARTDATE = :STARTDATE"));
    QCOMPARE(dm.IBUpdSQLCompetition.DeleteSQL,
             (Lines{"delete from competition", "where", "  NAME = :OLD_NAME"}));
    QCOMPARE(dm.IBUpdSQLCompetition.RefreshSQL[8], std::string("from COMPETITION "));

    // The table holds one row; its edit goes through without a key.
    TestCompetition fixture;
    auto context = fixture.seededContext({"insert into COMPETITION (NAME, PLACE) values ('Indoor', 'Hall')"});
    db::Query& competition = context->IBQryCompetition;
    competition.open();
    competition.first();
    competition.edit();
    competition.fieldByName("PLACE").setString("Arena");
    competition.fieldByName("NAME").setString("Indoor 2027");
    competition.post();
    context->IBTransCompetition.commit();
    QCOMPARE(fixture.rows("select NAME, PLACE from COMPETITION"), (Lines{"Indoor 2027|Arena"}));
}

void TestData::archerAppendTakesItsNumberFromTheGenerator()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext({"alter sequence GEN_ARCHER_ID restart with 40"});
    db::Query& archers = dm->IBQryArcher;
    archers.open();
    for (const char* name : {"Ann", "Bo"}) {
        archers.append();
        archers.fieldByName("NAME").setString(name);
        archers.fieldByName("ENABLETEAM").setFlag(true);
        archers.post();
    }
    dm->IBTransCompetition.commit();
    QCOMPARE(fixture.rows("select ARCHERID, NAME, ENABLETEAM from ARCHER order by ARCHERID"),
             (Lines{"41|Ann|T", "42|Bo|T"}));
}

void TestData::pointsRowsGoThroughTheUpdateStatements()
{
    TestCompetition fixture;
    auto dm = fixture.connectContext();
    db::Query& points = dm->IBQryPoints;
    points.open();
    points.append();
    points.fieldByName("ARCHERID").setInteger(7);
    points.fieldByName("ROUNDNO").setInteger(1);
    points.fieldByName("ARROWNO").setInteger(2);
    points.fieldByName("POINT").setInteger(10);
    points.fieldByName("CROSS").setFlag(true);
    points.fieldByName("EMPTYSCORE").setFlag(false);
    points.post();
    points.append();
    points.fieldByName("ARCHERID").setInteger(7);
    points.fieldByName("ROUNDNO").setInteger(2);
    points.fieldByName("ARROWNO").setInteger(1);
    points.post();
    QVERIFY(points.locate("ROUNDNO;ARROWNO", {db::Value(1), db::Value(2)}));
    points.edit();
    points.fieldByName("ARROWNO").setInteger(3);   // a key column moves: the OLD_ value finds the row
    points.fieldByName("CROSS").setFlag(false);
    points.post();
    QVERIFY(points.locate("ROUNDNO;ARROWNO", {db::Value(2), db::Value(1)}));
    points.remove();
    dm->IBTransPoints.commit();
    QCOMPARE(fixture.rows("select ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE from POINTS"),
             (Lines{"7|1|3|10|F|F"}));
}

void TestData::schemaHoldsEveryTableAndGenerator()
{
    TestCompetition fixture;
    QCOMPARE(fixture.rows("select trim(RDB$RELATION_NAME) from RDB$RELATIONS where RDB$SYSTEM_FLAG = 0 "
                          "order by 1"),
             (Lines{"AGECLASS", "ARCHER", "BASEAGECLASS", "BASEBOWTYPES", "BASESHOOTINGCLASSES", "BOWTYPES",
                    "COMPETITION", "COUNTRY", "POINTS", "POINTS_HISTORY", "RESULTLISTS", "SHOOTINGCLASSES"}));
    QCOMPARE(fixture.rows("select trim(RDB$GENERATOR_NAME) from RDB$GENERATORS where RDB$SYSTEM_FLAG = 0 "
                          "order by 1"),
             (Lines{"GEN_AGECLASS_ID", "GEN_ARCHER_ID", "GEN_BOWTYPES_ID", "GEN_COUNTRY_ID",
                    "GEN_SHOOTINGCLASSES_ID"}));
    // The keys as the rows are identified.
    QCOMPARE(fixture.rows("select trim(s.RDB$FIELD_NAME) from RDB$RELATION_CONSTRAINTS c "
                          "join RDB$INDEX_SEGMENTS s on s.RDB$INDEX_NAME = c.RDB$INDEX_NAME "
                          "where c.RDB$RELATION_NAME = 'POINTS' and c.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY' "
                          "order by s.RDB$FIELD_POSITION"),
             (Lines{"ARCHERID", "ARROWNO", "ROUNDNO"}));
    QCOMPARE(fixture.rows("select MON$SQL_DIALECT from MON$DATABASE"), Lines{"3"});
    // Flags are text, so that "Y" reads as true.
    QCOMPARE(fixture.rows("select f.RDB$FIELD_TYPE from RDB$RELATION_FIELDS r join RDB$FIELDS f "
                          "on f.RDB$FIELD_NAME = r.RDB$FIELD_SOURCE where r.RDB$RELATION_NAME = 'POINTS' "
                          "and r.RDB$FIELD_NAME in ('CROSS', 'EMPTYSCORE')"),
             (Lines{"37", "37"}));
    QVERIFY(CompetitionSchemaStatements().size() >= 16);
}

void TestData::textTravelsAsLatin1()
{
    TestCompetition fixture;
    const std::string name = "J\xF8rgen M\xFCller";   // ISO 8859-1 bytes
    auto dm = fixture.connectContext();
    dm->IBQryCountry.append();
    dm->IBQryCountry.fieldByName("NAME").setString(name);
    dm->IBQryCountry.post();
    dm->IBTransCompetition.commit();
    QCOMPARE(fixture.rows("select NAME, octet_length(NAME) from COUNTRY"),
             Lines{name + "|" + std::to_string(name.size())});
}

void TestData::createRefusesAnExistingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("taken.fdb");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a database");
    }
    CompetitionLogin login;
    login.database = path.toStdString();
    QVERIFY_THROWS_EXCEPTION(std::exception, CreateCompetitionDatabase(login));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("not a database"));
}

void TestData::createLeavesNothingBehindOnFailure()
{
    QTemporaryDir dir;
    CompetitionLogin login;
    login.database = dir.filePath("missing/folder/competition.fdb").toStdString();
    QVERIFY_THROWS_EXCEPTION(db::DbError, CreateCompetitionDatabase(login));
    QVERIFY(!std::filesystem::exists(dir.filePath("missing").toStdString()));
}

void TestData::connectOpensTheLookupsOnly()
{
    TestCompetition fixture;
    auto dm = fixture.connectContext();
    QVERIFY(dm->IBDBCompetition.connected());
    QVERIFY(!dm->IBDBBaseClasses.connected());
    for (db::Query* lookup : {&dm->IBQryAgeClass, &dm->IBQryShootingClass, &dm->IBQryBowType, &dm->IBQryCountry})
        QVERIFY(lookup->active());
    for (db::Query* other : {&dm->IBQryArcher, &dm->IBQryPoints, &dm->IBQryCompetition})
        QVERIFY(!other->active());
    QCOMPARE(dm->IBDBCompetition.params(),
             (Lines{"user_name=" + fixture.login.user, "password=" + fixture.login.password, "lc_ctype=ISO8859_1"}));

    // A database that is not there: the server's words, and nothing stays connected.
    TdmTallyon missing;
    CompetitionLogin nowhere = fixture.login;
    nowhere.database += ".missing";
    QVERIFY_THROWS_EXCEPTION(db::DbError, missing.Connect(nowhere));
    QVERIFY(!missing.IBDBCompetition.connected());
}

void TestData::serverDatabases_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("server");
    QTest::newRow("plain file") << "competition.fdb" << false;
    QTest::newRow("absolute path") << "/var/lib/tallyon/hall.fdb" << false;
    QTest::newRow("folder with a colon") << "/data/a:b/hall.fdb" << false;
    QTest::newRow("relative folder with a colon") << "./a:b/hall.fdb" << false;
    QTest::newRow("parent folder with a colon") << "../a:b/hall.fdb" << false;
    QTest::newRow("drive letter") << "C:\\tallyon\\hall.fdb" << false;
    QTest::newRow("drive letter, slash") << "C:/tallyon/hall.fdb" << false;
    QTest::newRow("drive-relative") << "C:hall.fdb" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("host and path") << "localhost:/var/lib/hall.fdb" << true;
    QTest::newRow("host, port and path") << "scoring-pc/3050:/var/lib/hall.fdb" << true;
    QTest::newRow("host, service name") << "scoring-pc/gds_db:/var/lib/hall.fdb" << true;
    QTest::newRow("host and alias") << "192.168.1.20:hall" << true;
    QTest::newRow("host and Windows path") << "hallpc:C:\\data\\hall.fdb" << true;
    QTest::newRow("IPv6 in brackets") << "[::1]/3050:/var/lib/hall.fdb" << true;
    QTest::newRow("URL form") << "inet://scoring-pc/var/lib/hall.fdb" << true;
    QTest::newRow("named pipe") << "\\\\hallpc\\C:\\data\\hall.fdb" << true;
    QTest::newRow("host without a path") << "localhost:" << false;
}

void TestData::serverDatabases()
{
    QFETCH(QString, database);
    QFETCH(bool, server);
    QCOMPARE(IsServerDatabase(database.toStdString()), server);
}

void TestData::lookups_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bow type") << 0 << 2 << "Compound";
    QTest::newRow("age class") << 1 << 3 << "Senior";
    QTest::newRow("shooting class") << 2 << 4 << "Men";
    QTest::newRow("country") << 3 << 20 << "Sweden";
    QTest::newRow("bow type missing") << 0 << 99 << "";
    QTest::newRow("age class missing") << 1 << 0 << "";
    QTest::newRow("shooting class missing") << 2 << -4 << "";
    QTest::newRow("country missing") << 3 << 21 << "";
}

void TestData::lookups()
{
    QFETCH(int, which);
    QFETCH(int, number);
    QFETCH(QString, expected);
    TestCompetition fixture;
    auto dm = fixture.seededContext(seedStatements());
    db::Query* const datasets[] = {&dm->IBQryBowType, &dm->IBQryAgeClass, &dm->IBQryShootingClass, &dm->IBQryCountry};
    const int prepared = datasets[which]->prepareCount();
    const std::string found = which == 0   ? dm->GetBowTypeDescription(number)
                              : which == 1 ? dm->GetAgeClassDescription(number)
                              : which == 2 ? dm->GetShootingClassDescription(number)
                                           : dm->GetCountryName(number);
    QCOMPARE(QString::fromLatin1(found), expected);
    QCOMPARE(datasets[which]->prepareCount(), prepared);   // the buffered rows answer
}

void TestData::lookupOnAClosedDatasetIsEmpty()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(seedStatements());
    dm->IBQryCountry.close();
    QCOMPARE(dm->GetCountryName(10), std::string());
}

void TestData::lookupOfAMissingNumberLeavesTheCurrentRow()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(seedStatements());
    QCOMPARE(dm->GetCountryName(30), std::string("Norway"));
    QCOMPARE(dm->IBQryCountry.fieldByName("COUNTRYNUMBER").asInteger(), 30);   // the found row is current
    QCOMPARE(dm->GetCountryName(31), std::string());
    QCOMPARE(dm->IBQryCountry.fieldByName("COUNTRYNUMBER").asInteger(), 30);
}

void TestData::lookupWithoutTheResultColumnIsUnknown()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(seedStatements());
    reopenWith(dm->IBQryBowType, "select TYPENO from BOWTYPES");
    QCOMPARE(dm->GetBowTypeDescription(1), std::string("Unknown"));
    QCOMPARE(dm->GetBowTypeDescription(5), std::string());   // no row: the column is never read
    // A key column the dataset lacks fails the search itself.
    reopenWith(dm->IBQryCountry, "select NAME from COUNTRY");
    QCOMPARE(dm->GetCountryName(10), std::string("Unknown"));
}

QTEST_GUILESS_MAIN(TestData)
#include "tst_data.moc"
