// The archer model: statistics, orders and the numeric test in memory; the
// reading and saving of archers and arrows, lock conflicts with a second
// station, and the archer ordering, on a real embedded database.

#include "core/integer_text.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "model/cursor_seam.h"
#include "model/message_seam.h"
#include "model/uTallyonClasses.h"
#include "tests/support/arrow_saves.h"
#include "tests/support/competition.h"
#include "tests/support/expect_throw.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <optional>

using Lines = std::vector<std::string>;

namespace {

// Lookups and four archers, stored out of lane order.
std::vector<std::string> competitionRows()
{
    return {
        "insert into BOWTYPES (TYPENO, DESCRIPTION) values (1, 'Recurve')",
        "insert into AGECLASS (AGECLASSNO, DESCRIPTION) values (2, 'Senior')",
        "insert into SHOOTINGCLASSES (SHOOTINGCLASSNO, DESCRIPTION) values (3, 'Men')",
        "insert into COUNTRY (COUNTRYNUMBER, NAME) values (4, 'Denmark')",
        "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, USERDEF1, USERDEF2, BOWTYPE, AGECLASSNO, "
        "SHOOTINGCLASS, ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER) "
        "values (1, 4, 'Anna', '2B', 'F', 'club', 'note', 1, 2, 3, 'F', 'y', 2, 'B')",
        "insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER, ENABLETEAM, ENABLEFINALS) "
        "values (2, 'Bent', '1B', 1, 'B', 'Y', 'N')",
        "insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER, BOWTYPE, COUNTRYNUMBER) "
        "values (3, 'Carl', '2A', 2, 'A', 99, 4)",
        "insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (4, 'Dora', '1A', 1, 'A')",
    };
}

std::unique_ptr<TArcher> archerOf(TdmTallyon& dm, std::int32_t id)
{
    auto archer = std::make_unique<TArcher>();
    archer->dataset = &dm.IBQryArcher;
    archer->pointsDataset = &dm.IBQryPoints;
    archer->ID = id;
    return archer;
}

// The 60 arrows of the indoor round, each scored by the given rule.
template <class Score>
void setArrows(TArcher& archer, Score score)
{
    archer.Results.clear();
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow) {
            auto point = std::make_unique<TArcheryPoint>();
            point->RoundNo = round;
            point->ArrowNo = arrow;
            point->Point = score(round, arrow);
            point->Cross = point->Point == 10;
            point->EmptyScore = false;
            archer.Results.push_back(std::move(point));
        }
}

// "round.arrow:points" for each stored arrow of the archer, in key order.
Lines storedArrows(const TestCompetition& fixture, int archerId)
{
    return fixture.rows("select ROUNDNO || '.' || ARROWNO || ':' || POINT || \"CROSS\" || EMPTYSCORE from POINTS "
                        "where ARCHERID = " + std::to_string(archerId) + " order by ROUNDNO, ARROWNO");
}

Lines expectedArrows(int (*score)(int, int))
{
    Lines lines;
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow) {
            const int p = score(round, arrow);
            lines.push_back(std::to_string(round) + '.' + std::to_string(arrow) + ':' + std::to_string(p) +
                            (p == 10 ? "T" : "F") + "F");
        }
    return lines;
}

int scoreOne(int, int) { return 1; }
int scoreSeven(int, int) { return 7; }
int scoreByArrow(int, int arrow) { return arrow % 11; }

} // namespace

class TestModel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fillStatistics_data();
    void fillStatistics();
    void clearKeepsLinksAndStatistics();
    void cancelRangeChangeRestoresTheOldLane();
    void pointsSortByRoundThenArrow();
    void isNumeric_data();
    void isNumeric();
    void integerTextValues_data();
    void integerTextValues();

    void readsTheCurrentRowAndByNumber();
    void readRefusesAMissingOrEmptyArcherDataset();
    void readWithoutPointsDatasetIsADatabaseError();
    void readGivesEmptyAndUnknownDescriptions();
    void readsTheArrowsOfOneArcherInOrder();

    void saveAppendsThenUpdatesTheSameRows();
    void saveWithoutArrowsOnlyCommits();
    void saveLeavesArrowsItDoesNotHoldAlone();
    void saveWithoutPointsDatasetIsRefused();
    void readErrorsLeaveThePointsQueryOpen();
    void failedSaveStoresNothing_data();
    void failedSaveStoresNothing();
    void saveCommitsOnlyThePointsTransaction();
    void lockedArrowUndoesTheWholeSave();
    void arrowsAppendedByAnotherStationUndoTheSave();
    void capitalDeadlockIsAnOrdinaryPostError();
    void arrowsChangedByAnotherStationKeepTheirValues();
    void arrowsChangedOnBothStationsAreReportedNotStored();
    void untypedBoxesOfANewArcherCreateEmptyRows();
    void saveAfterALostConnectionStoresOnTheNextTry();
    void readAfterALostConnectionKeepsTheCause();
    void saveOfARemovedArcherStoresNothing();
    void removedArcherIsToldWithOrWithoutWrites();
    void saveWithoutAReadWritesEveryArrow();
    void savesOfSixtyThreeAndNoChangedArrows();
    void arrowHeldTwiceSavesTheLaterOne();
    void laneIsWrittenToTheArchersRow();
    void laneSaveErrors_data();
    void laneSaveErrors();
    void pointsQueryOnTheConnectionsTransaction();

    void sortArchersPutsThemInLaneOrder();
    void sortArchersPostsAPendingEdit();
    void readArcherListSwitchesTheFilterOff();
    void readArcherListKeepsTheArchersReadBeforeAFailure();
    void sortArchersWithABadColumnLeavesTheDatasetClosed();
    void sortArchersKeepsAChangeThatCannotBePosted();

private:
    std::vector<std::string> messages_;
    std::vector<int> cursors_;
};

void TestModel::init()
{
    messages_.clear();
    cursors_.clear();
    SetMessageHandler([this](const std::string& text) { messages_.push_back(text); });
    SetCursorHandler([this](int cursor) { cursors_.push_back(cursor); });
}

void TestModel::cleanup()
{
    SetMessageHandler({});
    SetCursorHandler({});
}

void TestModel::fillStatistics_data()
{
    QTest::addColumn<QString>("arrows");     // "round.arrow:points", "x" marks a cross
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("hits");
    QTest::addColumn<int>("crosses");
    QTest::addColumn<QString>("counts");     // tens down to ones
    QTest::addColumn<QString>("rounds");     // "round:points" in list order

    QStringList zeros;
    for (int arrow = 1; arrow <= 30; ++arrow)
        zeros << QStringLiteral("1.%1:0").arg(arrow);

    QTest::newRow("no arrows") << "" << 0 << 0 << 0 << "0 0 0 0 0 0 0 0 0 0" << "";
    QTest::newRow("an X") << "1.1:10x" << 10 << 1 << 1 << "1 0 0 0 0 0 0 0 0 0" << "1:10";
    QTest::newRow("a cross on a seven") << "1.1:7x" << 7 << 1 << 1 << "0 0 0 1 0 0 0 0 0 0" << "1:7";
    QTest::newRow("out of range") << "1.1:11 1.2:-3" << 8 << 1 << 0 << "0 0 0 0 0 0 0 0 0 0" << "1:8";
    QTest::newRow("thirty misses") << zeros.join(' ') << 0 << 0 << 0 << "0 0 0 0 0 0 0 0 0 0" << "1:0";
    QTest::newRow("round 2 first") << "2.1:5 1.1:3 2.2:4" << 12 << 3 << 0 << "0 0 0 0 0 1 1 1 0 0" << "2:9 1:3";
    QTest::newRow("every value") << "1.1:1 1.2:2 1.3:3 1.4:4 1.5:5 2.1:6 2.2:7 2.3:8 2.4:9 2.5:10"
                                 << 55 << 10 << 0 << "1 1 1 1 1 1 1 1 1 1" << "1:15 2:40";
}

void TestModel::fillStatistics()
{
    QFETCH(QString, arrows);
    TArcher archer;
    for (const QString& item : arrows.split(' ', Qt::SkipEmptyParts)) {
        auto point = std::make_unique<TArcheryPoint>();
        const QStringList parts = item.split(QRegularExpression("[.:]"));
        point->RoundNo = parts[0].toInt();
        point->ArrowNo = parts[1].toInt();
        point->Cross = parts[2].endsWith('x');
        point->Point = QString(parts[2]).remove('x').toInt();
        archer.Results.push_back(std::move(point));
    }
    // Twice: the second count must not add to the first.
    for (int pass = 0; pass < 2; ++pass) {
        archer.FillStatistics();
        QTEST(archer.TotalPoints, "total");
        QTEST(archer.Hits, "hits");
        QTEST(archer.Crosses, "crosses");
        const QString counts = QStringList{QString::number(archer.Tens), QString::number(archer.Nines),
                                           QString::number(archer.Eights), QString::number(archer.Sevens),
                                           QString::number(archer.Sixes), QString::number(archer.Fives),
                                           QString::number(archer.Fours), QString::number(archer.Threes),
                                           QString::number(archer.Twos), QString::number(archer.Ones)}
                                   .join(' ');
        QTEST(counts, "counts");
        QStringList rounds;
        for (const auto& round : archer.RoundPoints)
            rounds << QStringLiteral("%1:%2").arg(round->RoundNo).arg(round->Points);
        QTEST(rounds.join(' '), "rounds");
    }
}

void TestModel::clearKeepsLinksAndStatistics()
{
    TestCompetition fixture;
    auto dm = fixture.connectContext();
    auto archer = archerOf(*dm, 5);
    archer->Name = "Anna";
    archer->oldLane = "3C";
    archer->canBeOnTeam = true;
    setArrows(*archer, scoreSeven);
    archer->FillStatistics();

    archer->Clear();
    QCOMPARE(archer->ID, -1);
    QVERIFY(archer->Name.empty() && archer->oldLane.empty() && !archer->canBeOnTeam);
    QVERIFY(archer->Results.empty());
    QCOMPARE(archer->TotalPoints, 420);
    QCOMPARE(archer->Sevens, 60);
    QCOMPARE(archer->RoundPoints.size(), std::size_t{2});
    QCOMPARE(archer->dataset, &dm->IBQryArcher);
    QCOMPARE(archer->pointsDataset, &dm->IBQryPoints);
    QVERIFY(archer->ClearResults());
}

void TestModel::cancelRangeChangeRestoresTheOldLane()
{
    TArcher archer;
    QCOMPARE(archer.ID, 0);
    archer.Lane = "4A";
    archer.cancelRangeChange();
    QCOMPARE(archer.Lane, std::string());
    archer.Lane = "4A";
    archer.oldLane = "2C";
    archer.cancelRangeChange();
    QCOMPARE(archer.Lane, std::string("2C"));
}

void TestModel::pointsSortByRoundThenArrow()
{
    std::vector<std::unique_ptr<TArcheryPoint>> points;
    for (auto [round, arrow] : {std::pair{2, 1}, {1, 30}, {1, 1}}) {
        points.push_back(std::make_unique<TArcheryPoint>());
        points.back()->RoundNo = round;
        points.back()->ArrowNo = arrow;
    }
    QVERIFY(CompareArcheryPoints(*points[0], *points[1]) > 0);
    QVERIFY(CompareArcheryPoints(*points[2], *points[1]) < 0);
    QCOMPARE(CompareArcheryPoints(*points[1], *points[1]), 0);
    std::sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return CompareArcheryPoints(*a, *b) < 0; });
    QStringList order;
    for (const auto& p : points)
        order << QStringLiteral("%1.%2").arg(p->RoundNo).arg(p->ArrowNo);
    QCOMPARE(order.join(' '), QString("1.1 1.30 2.1"));

    // Numbers far apart (stored rows may hold any) keep the order's sign.
    TArcheryPoint low, high;
    low.RoundNo = INT32_MIN;
    high.RoundNo = 1;
    QVERIFY(CompareArcheryPoints(low, high) < 0);
    QVERIFY(CompareArcheryPoints(high, low) > 0);
    low.RoundNo = high.RoundNo;
    low.ArrowNo = -2;
    high.ArrowNo = INT32_MAX;
    QVERIFY(CompareArcheryPoints(low, high) < 0);
    QVERIFY(CompareArcheryPoints(high, low) > 0);
}

void TestModel::isNumeric_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    for (const char* yes : {"12", " 12", "+7", "-0", "0", "$1A", "0x1a", "x1A", "2147483647", "-2147483648",
                            "$FFFFFFFF"})
        QTest::newRow(yes) << yes << true;
    for (const char* no : {"", "12 ", "1A", "X", "0x", "$", "+-5", "2147483648", "-2147483649", "$100000000"})
        QTest::newRow(*no ? no : "(empty)") << no << false;
}

void TestModel::isNumeric()
{
    QFETCH(QString, text);
    QTEST(IsNumeric(text.toStdString()), "numeric");
}

// The values the integer text rule gives, and its message when it fails.
void TestModel::integerTextValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("all 32 bits") << "$FFFFFFFF" << true << -1;
    QTest::newRow("negated hex") << "-$1" << true << -1;
    QTest::newRow("negated all bits") << "-$FFFFFFFF" << true << 1;
    QTest::newRow("sign bit") << "$80000000" << true << int(INT32_MIN);
    QTest::newRow("negated sign bit") << "-$80000000" << true << int(INT32_MIN);
    QTest::newRow("leading zeros") << "$0000000000001" << true << 1;
    QTest::newRow("0X") << "0X7fffffff" << true << int(INT32_MAX);
    QTest::newRow("spaces, sign, 0x") << "  -0x10" << true << -16;
    QTest::newRow("lowest decimal") << "-2147483648" << true << int(INT32_MIN);
    QTest::newRow("zeros before decimal") << "+00000000000012" << true << 12;
    QTest::newRow("sign alone") << "-" << false << 0;
    QTest::newRow("sign then prefix") << "-$" << false << 0;
    QTest::newRow("tab") << "\t5" << false << 0;
    QTest::newRow("space after sign") << "- 5" << false << 0;
    QTest::newRow("sign after prefix") << "$-1" << false << 0;
    QTest::newRow("two zeros then x") << "00x1" << false << 0;
    QTest::newRow("33 bits") << "$1FFFFFFFF" << false << 0;
}

void TestModel::integerTextValues()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const std::string latin1 = text.toStdString();
    QCOMPARE(IsNumeric(latin1), valid);
    if (valid) {
        QCOMPARE(StrToInt(latin1), value);
        return;
    }
    QVERIFY(expectThrowExactly<EConvertError>([&] { StrToInt(latin1); },
                                              "'" + latin1 + "' is not a valid integer value"));
}

void TestModel::readsTheCurrentRowAndByNumber()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBQryArcher.open();
    dm->IBQryArcher.first();
    auto archer = archerOf(*dm, 0);
    archer->oldLane = "kept";
    setArrows(*archer, scoreOne);

    archer->ReadArcherInDatabase(-1, false, dm.get());
    QCOMPARE(archer->ID, 1);
    QCOMPARE(archer->Name, std::string("Anna"));
    QCOMPARE(archer->Lane, std::string("2B"));
    QCOMPARE(archer->UserDefined1, std::string("club"));
    QCOMPARE(archer->UserDefined2, std::string("note"));
    QCOMPARE(archer->BowType, std::string("Recurve"));
    QCOMPARE(archer->AgeClass, std::string("Senior"));
    QCOMPARE(archer->ShootingClass, std::string("Men"));
    QCOMPARE(archer->Country, std::string("Denmark"));
    QCOMPARE(archer->sex, std::string("F"));
    QVERIFY(archer->canAdvanceToFinals);   // 'y'
    QVERIFY(!archer->canBeOnTeam);         // 'F'
    QCOMPARE(archer->oldLane, std::string("kept"));
    QCOMPARE(archer->Results.size(), std::size_t{60});   // arrows not asked for: untouched

    archer->ReadArcherInDatabase(2, false, dm.get());
    QCOMPARE(archer->ID, 2);
    QVERIFY(archer->canBeOnTeam);          // 'Y'
    QVERIFY(!archer->canAdvanceToFinals);  // 'N'
    QCOMPARE(archer->Country, std::string());   // NULL country number: no such row
    QCOMPARE(dm->IBQryArcher.fieldByName("ARCHERID").asInteger(), 2);

    // A number no row has reads the row at the cursor.
    archer->ReadArcherInDatabase(77, false, dm.get());
    QCOMPARE(archer->ID, 2);
    QCOMPARE(archer->Name, std::string("Bent"));
}

void TestModel::readRefusesAMissingOrEmptyArcherDataset()
{
    TestCompetition fixture;
    auto dm = fixture.connectContext();
    TArcher archer;
    QVERIFY(expectThrowExactly<ENoDataSetError>([&] { archer.ReadArcherInDatabase(-1, false, dm.get()); },
                                                "There is no table connected to the TArcher"));
    archer.dataset = &dm->IBQryArcher;
    for (bool open : {false, true}) {
        if (open)
            dm->IBQryArcher.open();   // no rows
        QVERIFY(expectThrowExactly<EEmptyDataSetError>([&] { archer.ReadArcherInDatabase(-1, false, dm.get()); },
                                                       "The Archer table is empty"));
        QCOMPARE(archer.ID, 0);
    }
}

void TestModel::readWithoutPointsDatasetIsADatabaseError()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBQryArcher.open();
    dm->IBQryArcher.first();
    TArcher archer;
    archer.dataset = &dm->IBQryArcher;
    QVERIFY(expectThrowExactly<EArcherDBError>(
        [&] { archer.ReadArcherInDatabase(-1, true, dm.get()); },
        "Unable to read in Archer table. There is no points table connected to the TArcher"));
    QCOMPARE(archer.Name, std::string("Anna"));   // what was read before stays
}

void TestModel::readGivesEmptyAndUnknownDescriptions()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    reopenWith(dm->IBQryAgeClass, "select AGECLASSNO from AGECLASS");
    dm->IBQryArcher.open();
    auto archer = archerOf(*dm, 0);
    archer->ReadArcherInDatabase(3, false, dm.get());
    QCOMPARE(archer->BowType, std::string());          // 99 has no row
    QCOMPARE(archer->Country, std::string("Denmark"));
    archer->ReadArcherInDatabase(1, false, dm.get());
    QCOMPARE(archer->AgeClass, std::string("Unknown"));  // the row lacks DESCRIPTION
    QCOMPARE(archer->BowType, std::string("Recurve"));
}

void TestModel::readsTheArrowsOfOneArcherInOrder()
{
    TestCompetition fixture;
    fixture.seed(competitionRows());
    fixture.seed({"insert into POINTS values (17, 2, 1, 9, NULL, 'F')",
                  "insert into POINTS values (17, 1, 30, 10, 't', 'n')",
                  "insert into POINTS values (17, 1, 1, 0, 'F', 'Y')",
                  "insert into POINTS values (18, 1, 2, 5, 'F', 'F')"});
    auto dm = fixture.connectContext();
    auto archer = archerOf(*dm, 17);
    archer->ReadPointsInDatabase();
    QCOMPARE(dm->IBQryPoints.sql(), (Lines{"SELECT * FROM POINTS", "WHERE ARCHERID = '17'", "ORDER BY ROUNDNO, ARROWNO"}));
    QVERIFY(!dm->IBQryPoints.active());
    QStringList read;
    for (const auto& p : archer->Results)
        read << QStringLiteral("%1.%2:%3%4%5").arg(p->RoundNo).arg(p->ArrowNo).arg(p->Point)
                    .arg(p->Cross ? "x" : "").arg(p->EmptyScore ? "e" : "");
    QCOMPARE(read.join(' '), QString("1.1:0e 1.30:10x 2.1:9"));

    // The archer read through the archer dataset brings its arrows along;
    // one without stored arrows reads with none.
    dm->IBQryArcher.open();
    archer->ReadArcherInDatabase(4, true, dm.get());
    QVERIFY(archer->Results.empty());
}

void TestModel::saveAppendsThenUpdatesTheSameRows()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    auto archer = archerOf(*dm, 1);
    setArrows(*archer, scoreByArrow);
    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreByArrow));
    QVERIFY(!dm->IBQryPoints.active());
    QVERIFY(!dm->IBTransPoints.inTransaction());

    setArrows(*archer, scoreSeven);
    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreSeven));
    QCOMPARE(fixture.rows("select count(*) from POINTS"), Lines{"60"});
    QCOMPARE(archer->Results.size(), std::size_t{60});
    QVERIFY(messages_.empty());

    auto again = archerOf(*dm, 1);
    again->ReadPointsInDatabase();
    QCOMPARE(again->Results.size(), std::size_t{60});
    QCOMPARE(again->Results[29]->Point, 7);
}

void TestModel::saveWithoutArrowsOnlyCommits()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext({"insert into POINTS values (1, 1, 1, 8, 'F', 'F')"});
    auto archer = archerOf(*dm, 1);
    dm->IBQryPoints.open();   // whatever the host left open is closed first
    archer->savePoints();
    QCOMPARE(dm->IBQryPoints.sql(), (Lines{"SELECT * FROM POINTS", "WHERE ARCHERID = '1'", "ORDER BY ROUNDNO, ARROWNO"}));
    QVERIFY(!dm->IBQryPoints.active());
    QVERIFY(!dm->IBTransPoints.inTransaction());
    QCOMPARE(storedArrows(fixture, 1), Lines{"1.1:8FF"});
}

void TestModel::saveLeavesArrowsItDoesNotHoldAlone()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext({"insert into POINTS values (1, 3, 1, 4, 'F', 'F')"});
    auto archer = archerOf(*dm, 1);
    setArrows(*archer, scoreOne);
    archer->savePoints();
    Lines expected = expectedArrows(scoreOne);
    expected.push_back("3.1:4FF");
    QCOMPARE(storedArrows(fixture, 1), expected);
}

void TestModel::saveWithoutPointsDatasetIsRefused()
{
    TArcher archer;
    QVERIFY_THROWS_EXCEPTION(ENoDataSetError, archer.savePoints());
    QVERIFY(expectThrowExactly<ENoDataSetError>([&] { archer.savePoints(); },
                                                "There is no Pointstable connected to the TArcher"));
    QVERIFY(expectThrowExactly<ENoDataSetError>([&] { archer.ReadPointsInDatabase(); },
                                                "There is no points table connected to the TArcher"));
    QVERIFY(expectThrowExactly<ENoDataSetError>([&] { archer.SaveLaneToDatabase(); },
                                                "There is no database connected to the TArcher"));
}

// A read error passes through and leaves the points query as it stood:
// open, its transaction neither committed nor ended.
void TestModel::readErrorsLeaveThePointsQueryOpen()
{
    TestCompetition fixture;
    fixture.seed({"alter table POINTS alter POINT type bigint"});
    fixture.seed({"insert into POINTS values (1, 1, 1, 5, 'F', 'F')",
                  "insert into POINTS values (1, 1, 2, 1099511627776, 'F', 'F')",
                  "insert into POINTS values (1, 1, 3, 7, 'F', 'F')"});
    auto dm = fixture.connectContext();
    auto archer = archerOf(*dm, 1);
    QVERIFY_THROWS_EXCEPTION(db::ConversionError, archer->ReadPointsInDatabase());
    QCOMPARE(archer->Results.size(), std::size_t{1});
    QCOMPARE(archer->Results[0]->Point, 5);
    QVERIFY(dm->IBQryPoints.active());
    QVERIFY(dm->IBTransPoints.inTransaction());
}

// A save that fails anywhere (a post, the commit, a column) stores nothing:
// the whole save is rolled back, one error passes on with the server's
// words, Results keeps the typed arrows, and no later read or save commits
// any of it.
void TestModel::failedSaveStoresNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("words");    // in the error's message
    QTest::newRow("a check refuses one arrow") << "check" << "CK_NO_THIRTEEN";
    QTest::newRow("the commit is refused") << "commit" << "Commit refused by the test";
    QTest::newRow("a column is missing") << "column" << "Field 'EMPTYSCORE' not found";
}

void TestModel::failedSaveStoresNothing()
{
    QFETCH(QString, fault);
    QFETCH(QString, words);
    TestCompetition fixture;
    fixture.seed(competitionRows());
    {
        auto dm = fixture.connectContext();
        auto archer = archerOf(*dm, 1);
        setArrows(*archer, scoreOne);
        archer->savePoints();
    }
    if (fault == "check")
        fixture.seed({"alter table POINTS add constraint CK_NO_THIRTEEN check (POINT <> 13)"});
    if (fault == "commit")
        fixture.seed({"create exception E_TEST 'test'",
                      "create trigger T_COMMIT_TEST on transaction commit as begin "
                      "if (exists(select 1 from POINTS where POINT = 13)) then "
                      "exception E_TEST 'Commit refused by the test'; end"});
    if (fault == "column")
        fixture.seed({"drop trigger TALLYON_POINTS_HISTORY", "alter table POINTS drop EMPTYSCORE"});
    const Lines before = fixture.rows("select * from POINTS order by ROUNDNO, ARROWNO");

    auto dm = fixture.connectContext();
    auto archer = archerOf(*dm, 1);
    if (fault != "column")
        archer->ReadPointsInDatabase();
    setArrows(*archer, [](int round, int arrow) { return round == 2 && arrow == 10 ? 13 : 7; });
    QVERIFY(expectThrow<std::exception>([&] { archer->savePoints(); }, words.toStdString()));
    QVERIFY(messages_.empty());
    QVERIFY(!dm->IBQryPoints.active());
    QVERIFY(!dm->IBTransPoints.inTransaction());
    QCOMPARE(archer->Results[39]->Point, 13);   // as typed
    QCOMPARE(archer->Results[0]->Point, 7);
    QCOMPARE(fixture.rows("select * from POINTS order by ROUNDNO, ARROWNO"), before);

    // The next read commits nothing of it; a save without the fault stores
    // every typed arrow.
    auto reread = archerOf(*dm, 1);
    if (fault == "column") {
        QVERIFY_THROWS_EXCEPTION(db::UsageError, reread->ReadPointsInDatabase());
        dm.reset();
        QCOMPARE(fixture.rows("select * from POINTS order by ROUNDNO, ARROWNO"), before);
        return;
    }
    reread->ReadPointsInDatabase();
    QCOMPARE(fixture.rows("select * from POINTS order by ROUNDNO, ARROWNO"), before);
    archer->Results[39]->Point = 7;
    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreSeven));
}

void TestModel::saveCommitsOnlyThePointsTransaction()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBQryArcher.open();
    dm->IBQryArcher.first();
    dm->IBQryArcher.edit();
    dm->IBQryArcher.fieldByName("NAME").setString("Annie");
    dm->IBQryArcher.post();   // in the host's transaction, not committed

    auto archer = archerOf(*dm, 1);
    setArrows(*archer, scoreOne);
    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 1).size(), std::size_t{60});
    QCOMPARE(fixture.rows("select NAME from ARCHER where ARCHERID = 1"), Lines{"Anna"});
    QVERIFY(dm->IBTransCompetition.inTransaction());
    QVERIFY(dm->IBQryArcher.active());
}

void TestModel::lockedArrowUndoesTheWholeSave()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    auto archer = archerOf(*dm, 1);
    setArrows(*archer, scoreOne);
    archer->savePoints();

    // The other station holds an uncommitted change of arrow 5.
    db::Connection other;
    fixture.attach(other);
    db::Transaction otherWork(&other);
    other.executeImmediate("update POINTS set POINT = 3 where ARCHERID = 1 and ROUNDNO = 1 and ARROWNO = 5",
                           otherWork);

    setArrows(*archer, scoreSeven);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(expectThrowExactly<EOtherUserError>([&] { archer->savePoints(); }, ""));
    QVERIFY2(clock.elapsed() < 5000, "the save waited past the lock timeout");
    QVERIFY(messages_.empty());
    QVERIFY(dm->IBTransPoints.inTransaction());   // rolled back, kept open

    otherWork.rollback();
    other.disconnect();
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreOne));   // arrows 1 to 4 were undone

    // The next read and save start clean.
    auto reread = archerOf(*dm, 1);
    reread->ReadPointsInDatabase();
    QCOMPARE(reread->Results.size(), std::size_t{60});
    QCOMPARE(reread->Results[3]->Point, 1);
    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreSeven));
}

void TestModel::arrowsAppendedByAnotherStationUndoTheSave()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());

    // The other station typed the same archer's arrow 3 and has not committed.
    db::Connection other;
    fixture.attach(other);
    db::Transaction otherWork(&other);
    other.executeImmediate("insert into POINTS values (1, 1, 3, 9, 'F', 'F')", otherWork);

    auto archer = archerOf(*dm, 1);
    setArrows(*archer, scoreOne);
    QVERIFY_THROWS_EXCEPTION(EOtherUserError, archer->savePoints());
    QVERIFY(messages_.empty());

    otherWork.rollback();
    other.disconnect();
    QCOMPARE(storedArrows(fixture, 1), Lines{});

    // Once the other station committed its row, both have changed arrow 3:
    // the operator is told, nothing is stored, and the next save stores the
    // typed values.
    fixture.seed({"insert into POINTS values (1, 1, 3, 9, 'F', 'F')"});
    QVERIFY(expectThrow<EArrowConflictError>([&] { archer->savePoints(); }, "Round 1, arrow 3: stored 9, typed 1"));
    QCOMPARE(storedArrows(fixture, 1), Lines{"1.3:9FF"});
    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreOne));
}

void TestModel::capitalDeadlockIsAnOrdinaryPostError()
{
    TestCompetition fixture;
    fixture.seed(competitionRows());
    fixture.seed({"create exception E_TEST 'test'",
                  "create trigger T_POINTS_TEST for POINTS before update as begin "
                  "if (new.ARROWNO = 5 and new.ROUNDNO = 1) then exception E_TEST 'Deadlock in the test trigger'; "
                  "end"});
    auto dm = fixture.connectContext();
    auto archer = archerOf(*dm, 1);
    setArrows(*archer, scoreOne);
    archer->savePoints();   // appends: the trigger watches updates only
    QVERIFY(messages_.empty());

    // One error with the server's words, not a lock conflict; nothing of the
    // save is stored and no message box is shown.
    setArrows(*archer, scoreSeven);
    QVERIFY(expectThrow<db::DbError>([&] { archer->savePoints(); }, "Deadlock in the test trigger"));
    QVERIFY(messages_.empty());
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreOne));
    QVERIFY(!dm->IBTransPoints.inTransaction());
}

// Station B loaded the archer; station A then stored arrow 4. B changes
// arrow 5 only: A's arrow stays, and B's archer holds it after the save.
void TestModel::arrowsChangedByAnotherStationKeepTheirValues()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    auto archer = archerOf(*dm, 1);
    setArrows(*archer, scoreOne);
    archer->savePoints();
    archer->ReadPointsInDatabase();

    fixture.seed({"update POINTS set POINT = 9 where ARCHERID = 1 and ROUNDNO = 1 and ARROWNO = 4"});
    archer->Results[4]->Point = 8;
    archer->savePoints();

    Lines expected = expectedArrows(scoreOne);
    expected[3] = "1.4:9FF";
    expected[4] = "1.5:8FF";
    QCOMPARE(storedArrows(fixture, 1), expected);
    QCOMPARE(archer->Results[3]->Point, 9);
    QVERIFY(messages_.empty());

    // A window that stays on the archer copies its box, still showing the
    // old value, back: that is no change of the operator's.
    archer->Results[3]->Point = 1;
    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 1), expected);
    QCOMPARE(archer->Results[3]->Point, 9);

    // Once read again, the stored value is this station's own: changing it
    // is stored.
    archer->ReadPointsInDatabase();
    archer->Results[3]->Point = 2;
    archer->savePoints();
    expected[3] = "1.4:2FF";
    QCOMPARE(storedArrows(fixture, 1), expected);
}

// Both stations changed arrows 4 and 31: one error lists both with the
// stored and the typed value, nothing of the archer is stored (arrow 5
// neither), and the next save stores what the operator typed.
void TestModel::arrowsChangedOnBothStationsAreReportedNotStored()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    auto archer = archerOf(*dm, 1);
    setArrows(*archer, scoreOne);
    archer->savePoints();
    archer->ReadPointsInDatabase();

    fixture.seed({"update POINTS set POINT = 9 where ARCHERID = 1 and ROUNDNO = 1 and ARROWNO = 4",
                  "update POINTS set POINT = 10, \"CROSS\" = 'T' where ARCHERID = 1 and ROUNDNO = 2 and ARROWNO = 1"});
    archer->Results[3]->Point = 5;
    archer->Results[30]->Point = 6;
    archer->Results[4]->Point = 8;
    std::optional<EArrowConflictError> conflict;
    QVERIFY(expectThrow<EArrowConflictError>([&] { archer->savePoints(); }, "nothing of this archer was saved",
                                             &conflict));
    const QStringList lines = QString::fromLatin1(conflict->what()).split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[1], QString("Round 1, arrow 4: stored 9, typed 5"));
    QCOMPARE(lines[2], QString("Round 2, arrow 1: stored X, typed 6"));
    Lines expected = expectedArrows(scoreOne);
    expected[3] = "1.4:9FF";
    expected[30] = "2.1:10TF";
    QCOMPARE(storedArrows(fixture, 1), expected);
    QCOMPARE(archer->Results[3]->Point, 5);   // as typed
    QVERIFY(!dm->IBTransPoints.inTransaction());

    archer->savePoints();
    expected[3] = "1.4:5FF";
    expected[4] = "1.5:8FF";
    expected[30] = "2.1:6FF";
    QCOMPARE(storedArrows(fixture, 1), expected);
}

// An archer never saved: its 60 untyped boxes become 60 empty rows; an
// arrow another station stored meanwhile keeps its value.
void TestModel::untypedBoxesOfANewArcherCreateEmptyRows()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    auto archer = archerOf(*dm, 2);
    archer->ReadPointsInDatabase();
    fixture.seed({"insert into POINTS values (2, 1, 2, 9, 'F', 'F')"});
    setArrows(*archer, [](int, int) { return 0; });
    for (const auto& point : archer->Results)
        point->EmptyScore = true;
    archer->savePoints();

    const Lines stored = storedArrows(fixture, 2);
    QCOMPARE(stored.size(), std::size_t{60});
    QCOMPARE(stored[0], std::string("1.1:0FT"));
    QCOMPARE(stored[1], std::string("1.2:9FF"));
    QCOMPARE(stored[59], std::string("2.30:0FT"));
    QCOMPARE(archer->Results[1]->Point, 9);
    QVERIFY(!archer->Results[1]->EmptyScore);
}

// The station's attachment is ended (server restart, administrator) after
// the archer was read: the save says so once and stores nothing, the typed
// arrows stay, and the next save attaches again and stores them.
void TestModel::saveAfterALostConnectionStoresOnTheNextTry()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    auto archer = archerOf(*dm, 1);
    setArrows(*archer, scoreOne);
    archer->savePoints();
    archer->ReadPointsInDatabase();   // leaves the points transaction running

    std::int64_t station = 0;
    {
        db::Transaction asking(&dm->IBDBCompetition);
        db::Query query(&dm->IBDBCompetition, &asking);
        query.sqlAdd("select current_connection as ID from RDB$DATABASE");
        query.open();
        station = query.fieldByName("ID").value().toInteger();
        asking.commit();
    }
    fixture.seed({"delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + std::to_string(station)});

    setArrows(*archer, scoreSeven);
    QVERIFY_THROWS_EXCEPTION(db::ConnectionLostError, archer->savePoints());
    QVERIFY(messages_.empty());
    QCOMPARE(archer->Results[0]->Point, 7);
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreOne));

    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreSeven));
    QVERIFY(!dm->IBDBCompetition.lost());
}

namespace {

// Ends the data context's attachment from another one, as a server restart does.
void endAttachment(const TestCompetition& fixture, TdmTallyon& dm)
{
    std::int64_t station = 0;
    db::Transaction asking(&dm.IBDBCompetition);
    db::Query query(&dm.IBDBCompetition, &asking);
    query.sqlAdd("select current_connection as ID from RDB$DATABASE");
    query.open();
    station = query.fieldByName("ID").value().toInteger();
    query.close();
    asking.commit();
    fixture.seed({"delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + std::to_string(station)});
}

} // namespace

// The read's error keeps its words and carries the lost connection behind
// it, which a window can tell the operator about plainly.
void TestModel::readAfterALostConnectionKeepsTheCause()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBQryArcher.open();
    auto archer = archerOf(*dm, 1);
    archer->ReadArcherInDatabase(1, true, dm.get());
    endAttachment(fixture, *dm);

    std::optional<EArcherDBError> error;
    bool lost = false;
    try {
        archer->ReadArcherInDatabase(2, true, dm.get());
    } catch (const EArcherDBError& e) {
        error.emplace(e);
        try {
            std::rethrow_if_nested(e);
        } catch (const db::ConnectionLostError&) {
            lost = true;
        } catch (...) {
        }
    }
    QVERIFY(error);
    QVERIFY2(std::string_view(error->what()).starts_with("Unable to read in Archer table. "), error->what());
    QVERIFY(lost);
    // Connected again, the read succeeds.
    archer->ReadArcherInDatabase(2, true, dm.get());
    QCOMPARE(archer->Name, std::string("Bent"));
}

// Another station removed the archer after it was read: the save stores
// nothing and names the archer; the points transaction is over.
void TestModel::saveOfARemovedArcherStoresNothing()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBQryArcher.open();
    auto archer = archerOf(*dm, 3);
    archer->ReadArcherInDatabase(3, true, dm.get());
    fixture.seed({"delete from ARCHER where ARCHERID = 3"});
    setArrows(*archer, scoreSeven);
    QVERIFY(expectThrow<EArcherRemovedError>([&] { archer->savePoints(); }, "Archer 3 (Carl, lane 2A)"));
    QCOMPARE(fixture.count("select count(*) from POINTS"), 0);
    QVERIFY(!dm->IBTransPoints.inTransaction());
    QVERIFY(messages_.empty());
}

// The archer's row is asked for in the save's block when rows are to be
// written, alone when none are or when arrows conflict: a removed archer is
// told in each case, and an archer the host's own transaction has appended
// and not committed yet is no removed one.
void TestModel::removedArcherIsToldWithOrWithoutWrites()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBQryArcher.open();
    dm->IBQryArcher.append();
    dm->IBQryArcher.fieldByName("ARCHERID").setInteger(9);
    dm->IBQryArcher.fieldByName("NAME").setString("Ida");
    dm->IBQryArcher.post();   // in the host's transaction, not committed
    auto fresh = archerOf(*dm, 9);
    fresh->ReadArcherInDatabase(9, true, dm.get());
    setArrows(*fresh, scoreSeven);
    fresh->savePoints();
    QCOMPARE(storedArrows(fixture, 9), expectedArrows(scoreSeven));

    auto archer = archerOf(*dm, 1);
    archer->ReadArcherInDatabase(1, true, dm.get());
    setArrows(*archer, scoreOne);
    archer->savePoints();
    archer->ReadArcherInDatabase(1, true, dm.get());
    fixture.seed({"delete from ARCHER where ARCHERID = 1"});
    // Nothing differs from the stored rows.
    QVERIFY(expectThrow<EArcherRemovedError>([&] { archer->savePoints(); }, "Archer 1 (Anna, lane 2B)"));
    QVERIFY(!dm->IBTransPoints.inTransaction());
    // Arrows another station changed as well.
    fixture.seed({"update POINTS set POINT = 9 where ARCHERID = 1 and ROUNDNO = 1 and ARROWNO = 1"});
    archer->Results[0]->Point = 5;
    QVERIFY(expectThrow<EArcherRemovedError>([&] { archer->savePoints(); }, "Archer 1 (Anna, lane 2B)"));
    Lines expected = expectedArrows(scoreOne);
    expected[0] = "1.1:9FF";
    QCOMPARE(storedArrows(fixture, 1), expected);
    QVERIFY(messages_.empty());
}

// An archer whose arrows were never read (or were read for another ID)
// saves its arrows as they are: the stored ones are no other station's
// changes, and after that save the stored arrows are its baseline.
// Only the arrows that differ from their rows travel; the rows end as
// they always have.
void TestModel::savesOfSixtyThreeAndNoChangedArrows()
{
    TestCompetition fixture;
    fixture.seed(competitionRows());
    arrow_saves::checkSavesLeaveTheRowsTheyAlwaysLeft(fixture.login);
}

void TestModel::saveWithoutAReadWritesEveryArrow()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    auto first = archerOf(*dm, 1);
    setArrows(*first, scoreOne);
    first->savePoints();

    auto archer = archerOf(*dm, 1);
    setArrows(*archer, scoreSeven);
    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreSeven));

    auto other = archerOf(*dm, 2);
    other->ReadPointsInDatabase();
    other->ID = 1;
    setArrows(*other, scoreByArrow);
    other->savePoints();
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreByArrow));

    // From now on another station's change of an arrow left alone is kept.
    fixture.seed({"update POINTS set POINT = 9 where ARCHERID = 1 and ROUNDNO = 1 and ARROWNO = 4"});
    other->Results[4]->Point = 2;
    other->savePoints();
    Lines expected = expectedArrows(scoreByArrow);
    expected[3] = "1.4:9FF";
    expected[4] = "1.5:2FF";
    QCOMPARE(storedArrows(fixture, 1), expected);
}

// Results holds a new arrow twice: the later value is stored, once, and
// no other station is blamed.
void TestModel::arrowHeldTwiceSavesTheLaterOne()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    auto archer = archerOf(*dm, 2);
    archer->ReadPointsInDatabase();
    for (int point : {3, 4}) {
        auto arrow = std::make_unique<TArcheryPoint>();
        arrow->RoundNo = 1;
        arrow->ArrowNo = 7;
        arrow->Point = point;
        archer->Results.push_back(std::move(arrow));
    }
    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 2), Lines({"1.7:4FF"}));
    archer->Results.back()->Point = 5;
    archer->savePoints();
    QCOMPARE(storedArrows(fixture, 2), Lines({"1.7:5FF"}));
    QVERIFY(messages_.empty());
}

void TestModel::laneIsWrittenToTheArchersRow()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBQryArcher.open();
    auto archer = archerOf(*dm, 40);
    archer->Lane = "9Z";
    QVERIFY(!archer->SaveLaneToDatabase());
    archer->ID = 3;
    QVERIFY(archer->SaveLaneToDatabase());
    QCOMPARE(dm->IBQryArcher.fieldByName("ARCHERID").asInteger(), 3);
    dm->IBTransCompetition.commit();
    QCOMPARE(fixture.rows("select ARCHERID, LANE from ARCHER order by ARCHERID"),
             (Lines{"1|2B", "2|1B", "3|9Z", "4|1A"}));
}

void TestModel::laneSaveErrors_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("archerError");   // else the error passes through unchanged
    QTest::addColumn<QString>("message");    // how the message begins
    QTest::newRow("closed dataset") << "closed" << true << "ArcherDBError: Query is closed";
    QTest::newRow("no lane column") << "no lane" << true << "ArcherDBError: Field 'LANE' not found";
    QTest::newRow("server refuses") << "too long" << true << "ArcherDBError: Dynamic SQL Error";
    QTest::newRow("host handler") << "handler" << false << "the host refuses";
}

void TestModel::laneSaveErrors()
{
    QFETCH(QString, fault);
    QFETCH(bool, archerError);
    QFETCH(QString, message);
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    auto archer = archerOf(*dm, 3);
    archer->Lane = "9Z";
    if (fault == "no lane")
        reopenWith(dm->IBQryArcher, "select ARCHERID, NAME from ARCHER");
    else if (fault != "closed")
        dm->IBQryArcher.open();
    if (fault == "too long")
        archer->Lane = std::string(40, 'L');
    if (fault == "handler")
        dm->IBQryArcher.beforePost = [](db::Query&) { throw std::runtime_error("the host refuses"); };
    try {
        archer->SaveLaneToDatabase();
        QFAIL("the lane was saved");
    } catch (const EArcherDBError& e) {
        QVERIFY2(archerError, e.what());
        QVERIFY2(QString::fromLatin1(e.what()).startsWith(message), e.what());
    } catch (const std::exception& e) {
        QVERIFY2(!archerError, e.what());
        QCOMPARE(QString::fromLatin1(e.what()), message);
    }
    QCOMPARE(fixture.rows("select LANE from ARCHER where ARCHERID = 3"), Lines{"2A"});
}

// A points query that has no transaction of its own runs in its
// connection's default one; saving through it must not crash.
void TestModel::pointsQueryOnTheConnectionsTransaction()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBTransCompetition.params() = {"concurrency", "wait", "lock_timeout=1"};
    db::Query points(&dm->IBDBCompetition);
    points.setUpdateObject(&dm->IBUpdSQLPoints);
    auto archer = archerOf(*dm, 1);
    archer->pointsDataset = &points;
    setArrows(*archer, scoreOne);
    archer->savePoints();
    QVERIFY(!points.active());
    QVERIFY(!dm->IBTransCompetition.inTransaction());
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreOne));

    db::Connection other;
    fixture.attach(other);
    db::Transaction otherWork(&other);
    other.executeImmediate("update POINTS set POINT = 3 where ARCHERID = 1 and ROUNDNO = 2 and ARROWNO = 1",
                           otherWork);
    setArrows(*archer, scoreSeven);
    QVERIFY_THROWS_EXCEPTION(EOtherUserError, archer->savePoints());
    QVERIFY(dm->IBTransCompetition.inTransaction());   // rolled back, kept open
    otherWork.rollback();
    other.disconnect();

    archer->ReadPointsInDatabase();   // commits what the failed save left open
    QVERIFY(!points.active());
    QCOMPARE(archer->Results.size(), std::size_t{60});
    QCOMPARE(storedArrows(fixture, 1), expectedArrows(scoreOne));
}

void TestModel::sortArchersPutsThemInLaneOrder()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    for (int pass = 0; pass < 2; ++pass) {
        dm->SortArchers("LANENO, LANELETTER");
        QCOMPARE(dm->IBQryArcher.sql(), (Lines{"Select * from ARCHER", "ORDER BY LANENO, LANELETTER"}));
        QCOMPARE(dm->ArcherList.Count(), 4);
        QStringList order;
        for (int i = 0; i < dm->ArcherList.Count(); ++i) {
            const TArcher* archer = dm->ArcherList[i];
            order << QString::fromStdString(archer->Lane);
            QCOMPARE(archer->dataset, &dm->IBQryArcher);
            QVERIFY(!archer->pointsDataset);
            QVERIFY(archer->Results.empty());
        }
        QCOMPARE(order.join(' '), QString("1A 1B 2A 2B"));
        QCOMPARE(dm->ArcherList[0]->Name, std::string("Dora"));
        QVERIFY(dm->IBQryArcher.eof());
    }
    QCOMPARE(cursors_, (std::vector<int>{-11, 0, -11, 0}));
}

void TestModel::sortArchersPostsAPendingEdit()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBQryArcher.open();
    QVERIFY(dm->IBQryArcher.locate("ARCHERID", {db::Value(4)}));
    dm->IBQryArcher.edit();
    dm->IBQryArcher.fieldByName("LANENO").setInteger(7);
    dm->SortArchers("LANENO, LANELETTER");
    QCOMPARE(dm->ArcherList[3]->Name, std::string("Dora"));
}

void TestModel::readArcherListSwitchesTheFilterOff()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBQryArcher.setFilter([](const db::RowView& row) { return row["LANENO"].toInteger() == 1; });
    dm->IBQryArcher.setFiltered(true);
    dm->IBQryArcher.open();
    dm->ReadArcherList();
    QCOMPARE(dm->ArcherList.Count(), 4);
    QVERIFY(!dm->IBQryArcher.filtered());
    dm->SortArchers("LANENO, LANELETTER");
    QVERIFY(!dm->IBQryArcher.filtered());
    QCOMPARE(dm->ArcherList.Count(), 4);
}

void TestModel::readArcherListKeepsTheArchersReadBeforeAFailure()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    // The third row's bow type is no number.
    dm->IBQryArcher.sqlClear();
    dm->IBQryArcher.sqlAdd("select ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, USERDEF1, USERDEF2, "
                           "cast(iif(ARCHERID = 3, 'none', BOWTYPE) as varchar(10)) as BOWTYPE, AGECLASSNO, "
                           "SHOOTINGCLASS, ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER from ARCHER order by ARCHERID");
    dm->IBQryArcher.open();
    std::optional<EArcherDBError> error;
    QVERIFY(expectThrow<EArcherDBError>([&] { dm->ReadArcherList(); }, {}, &error));
    QVERIFY(std::string(error->what()).starts_with("Unable to read in Archer table. "));
    QCOMPARE(dm->ArcherList.Count(), 2);
    QCOMPARE(dm->ArcherList[1]->ID, 2);

    // No rows: an empty list.
    reopenWith(dm->IBQryArcher, "select * from ARCHER where ARCHERID < 0");
    dm->ReadArcherList();
    QCOMPARE(dm->ArcherList.Count(), 0);
}

void TestModel::sortArchersWithABadColumnLeavesTheDatasetClosed()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->SortArchers("LANENO, LANELETTER");
    cursors_.clear();
    QVERIFY_THROWS_EXCEPTION(db::DbError, dm->SortArchers("NOSUCHCOLUMN"));
    QCOMPARE(cursors_, (std::vector<int>{-11, 0}));
    QVERIFY(!dm->IBQryArcher.active());
    QCOMPARE(dm->IBQryArcher.sql(), (Lines{"Select * from ARCHER", "ORDER BY NOSUCHCOLUMN"}));
    QCOMPARE(dm->ArcherList.Count(), 4);
}

void TestModel::sortArchersKeepsAChangeThatCannotBePosted()
{
    TestCompetition fixture;
    auto dm = fixture.seededContext(competitionRows());
    dm->IBQryArcher.open();
    dm->IBQryArcher.first();
    dm->IBQryArcher.edit();
    dm->IBQryArcher.fieldByName("NAME").setString("Anne");
    dm->IBQryArcher.beforePost = [](db::Query&) { throw std::runtime_error("the host refuses"); };
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, dm->SortArchers("LANENO, LANELETTER"));
    QCOMPARE(cursors_, (std::vector<int>{-11, 0}));
    QVERIFY(dm->IBQryArcher.state() == db::DataSetState::Edit);
    QCOMPARE(dm->IBQryArcher.fieldByName("NAME").asString(), std::string("Anne"));
    QCOMPARE(dm->IBQryArcher.sql(), Lines{"select * from ARCHER"});

    // The server refuses the change (a key set to NULL): the same.
    dm->IBQryArcher.beforePost = nullptr;
    dm->IBQryArcher.fieldByName("ARCHERID").setNull();
    cursors_.clear();
    QVERIFY_THROWS_EXCEPTION(db::DbError, dm->SortArchers("LANENO, LANELETTER"));
    QCOMPARE(cursors_, (std::vector<int>{-11, 0}));
    QVERIFY(dm->IBQryArcher.state() == db::DataSetState::Edit);
    QCOMPARE(dm->IBQryArcher.sql(), Lines{"select * from ARCHER"});
}

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
