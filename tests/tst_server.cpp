// Several scoring stations on one Firebird server: the test fixture's
// throwaway server on 127.0.0.1.

#include "tests/support/arrow_saves.h"
#include "tests/support/competition.h"
#include "tests/support/expect_throw.h"
#include "tests/test_server.h"

#include "data/competition_schema.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "model/message_seam.h"
#include "model/uTallyonClasses.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>
#include <string>

class TestServerStations : public QObject {
    Q_OBJECT

private:
    std::optional<TestServer> server_;
    CompetitionLogin login_;

    std::unique_ptr<TdmTallyon> station() const { return connectStation(login_); }

    void seed(const std::vector<std::string>& statements) const { runStatements(login_, statements); }

    static void readArcher(TdmTallyon& dm, TArcher& archer)
    {
        archer.dataset = &dm.IBQryArcher;
        archer.pointsDataset = &dm.IBQryPoints;
        dm.IBQryArcher.open();
        dm.IBQryArcher.first();
        archer.ReadArcherInDatabase(-1, true, &dm);
    }

    static void typeArrows(TArcher& archer, int point)
    {
        archer.Results.clear();
        for (int round = 1; round <= 2; ++round)
            for (int arrow = 1; arrow <= 30; ++arrow) {
                auto p = std::make_unique<TArcheryPoint>();
                p->RoundNo = round;
                p->ArrowNo = arrow;
                p->Point = point;
                archer.Results.push_back(std::move(p));
            }
    }

    static std::string storedPoint(TdmTallyon& dm, int round, int arrow)
    {
        db::Transaction reading(&dm.IBDBCompetition);
        db::Query query(&dm.IBDBCompetition, &reading);
        query.sqlAdd("select POINT from POINTS where ARCHERID = 1 and ROUNDNO = " + std::to_string(round) +
                     " and ARROWNO = " + std::to_string(arrow));
        query.open();
        const std::string value = query.isEmpty() ? "none" : query.fieldByName("POINT").asString();
        query.close();
        reading.commit();
        return value;
    }

private slots:
    void initTestCase()
    {
        REQUIRE_FIXTURE_SERVER(server_);
        login_ = server_->newDatabase();
        CreateCompetitionDatabase(login_);
    }

    void init()
    {
        seed({"delete from POINTS", "delete from ARCHER",
              "insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (1, 'Ann', '1A', 1, 'A')"});
    }

    // A test that failed half-way leaves no handler behind.
    void cleanup() { SetMessageHandler(nullptr); }

    void cleanupTestCase()
    {
        if (!server_)
            return;
        db::Connection connection;
        attach(connection, login_);
        connection.dropDatabase();
    }

    // Only the arrows that differ from their rows travel; the rows end as
    // they always have.
    void savesOfSixtyThreeAndNoChangedArrows()
    {
        seed({"insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (2, 'Bo', '1B', 1, 'B')"});
        arrow_saves::checkSavesLeaveTheRowsTheyAlwaysLeft(login_);
    }

    void wrongPasswordIsRefusedInTheServersWords()
    {
        CompetitionLogin wrong = login_;
        wrong.password = login_.password + "-wrong";
        TdmTallyon dm;
        QVERIFY(expectThrow<db::DbError>([&] { dm.Connect(wrong); }, "user name and password are not defined"));
    }

    // One station saves while another holds arrow 5 of the same archer: the
    // save gives up within the lock timeout, stores nothing, and succeeds once
    // the other station is done. The other station then sees every arrow.
    void conflictBetweenStationsEndsQuicklyAndTheRetryLands()
    {
        auto stationA = station();
        auto stationB = station();
        TArcher archer;
        readArcher(*stationA, archer);
        typeArrows(archer, 7);
        archer.savePoints();
        QCOMPARE(storedPoint(*stationB, 1, 5), std::string("7"));

        db::Transaction holding(&stationB->IBDBCompetition);
        stationB->IBDBCompetition.executeImmediate(
            "update POINTS set POINT = 3 where ARCHERID = 1 and ROUNDNO = 1 and ARROWNO = 5", holding);

        typeArrows(archer, 9);
        std::vector<std::string> boxes;
        SetMessageHandler([&](const std::string& text) { boxes.push_back(text); });
        QElapsedTimer timer;
        timer.start();
        QVERIFY_THROWS_EXCEPTION(EOtherUserError, archer.savePoints());
        QVERIFY2(timer.elapsed() < 10000, "the save waited far beyond its lock timeout");
        QVERIFY(boxes.empty());
        holding.rollback();
        QCOMPARE(storedPoint(*stationB, 1, 4), std::string("7"));

        archer.savePoints();
        QCOMPARE(storedPoint(*stationB, 1, 4), std::string("9"));
        QCOMPARE(storedPoint(*stationB, 2, 30), std::string("9"));
    }

    // Two stations append the same new arrows: the second waits for the
    // first and ends as a conflict with another user, never half-saved.
    void simultaneousAppendsLeaveOneWholeSave()
    {
        auto stationA = station();
        auto stationB = station();
        db::Transaction holding(&stationB->IBDBCompetition);
        stationB->IBDBCompetition.executeImmediate(
            "insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values (1, 1, 3, 4, 'F', 'F')",
            holding);

        TArcher archer;
        readArcher(*stationA, archer);
        typeArrows(archer, 8);
        std::vector<std::string> boxes;
        SetMessageHandler([&](const std::string& text) { boxes.push_back(text); });
        QVERIFY_THROWS_EXCEPTION(EOtherUserError, archer.savePoints());
        QVERIFY(boxes.empty());
        holding.commit();
        QCOMPARE(storedPoint(*stationB, 1, 1), std::string("none"));
        QCOMPARE(storedPoint(*stationB, 1, 3), std::string("4"));

        // B's arrow 3 came after A loaded the archer and A typed that box
        // too: A is told once, and its next save stores what it typed.
        QVERIFY(expectThrow<EArrowConflictError>([&] { archer.savePoints(); },
                                                 "Round 1, arrow 3: stored 4, typed 8"));
        QCOMPARE(storedPoint(*stationB, 1, 1), std::string("none"));
        archer.savePoints();
        QCOMPARE(storedPoint(*stationB, 1, 3), std::string("8"));
        QCOMPARE(storedPoint(*stationB, 2, 30), std::string("8"));
    }
};

QTEST_GUILESS_MAIN(TestServerStations)
#include "tst_server.moc"
