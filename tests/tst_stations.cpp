// Scoring stations as separate processes (station_driver) on the test
// fixture's Firebird server, and on a server of the test's own where one is
// stopped: typed arrows land exactly once, nobody's arrows are overwritten,
// and a save is whole or absent whatever happens to the station or the server.

#include "tests/support/competition.h"
#include "tests/test_server.h"

#include "data/competition_login.h"
#include "data/competition_schema.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

constexpr int AnswerTimeoutMs = 30000;

// Where a station keeps its journal, and how it answers the offer of what
// an earlier run left unsaved. Without a folder the station has a fresh one
// of its own: nothing of an earlier station is offered.
struct JournalSetup {
    QString folder;
    QString answer = QStringLiteral("no");
    QString station = QStringLiteral("hall-2");
};

// One station_driver process. Every wait is bounded; a station still
// running when its object goes is killed.
class Station {
public:
    explicit Station(const CompetitionLogin& login, int lockTimeoutSeconds = 5, const JournalSetup& journal = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TALLYON_JOURNAL_DIR"),
                           journal.folder.isEmpty() ? ownJournals_.path() : journal.folder);
        process_.setProcessEnvironment(environment);
        process_.start(QStringLiteral(STATION_DRIVER),
                       {QString::fromStdString(login.database), QString::fromStdString(login.password),
                        QString::number(lockTimeoutSeconds), QString::fromStdString(login.user), journal.station});
        if (!process_.waitForStarted(10000))
            throw std::runtime_error("the station driver did not start");
        QString first = answer(60000);
        while (first.startsWith(QLatin1String("question "))) {
            questions << first;
            send(journal.answer);
            first = answer(60000);
        }
        if (!first.startsWith(QLatin1String("boxes ")))
            throw std::runtime_error("the station did not open: " + first.toStdString() + diagnostics());
        shown_ = first.section(u' ', 1, 1).toInt();
    }
    ~Station()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    void send(const QString& command)
    {
        process_.write((command + u'\n').toUtf8());
        if (!process_.waitForBytesWritten(5000))
            throw std::runtime_error("the station does not take commands" + diagnostics());
    }

    // The next answer; the messages the window showed before it go to messages.
    QString answer(int timeoutMs = AnswerTimeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                if (line.startsWith(QLatin1String("message ")) || line.startsWith(QLatin1String("error ")))
                    messages << line;
                else
                    return line;
            }
            if (process_.state() == QProcess::NotRunning)
                throw std::runtime_error("the station ended" + diagnostics());
            if (deadline.hasExpired())
                throw std::runtime_error("the station gave no answer within " + std::to_string(timeoutMs) + " ms"
                                         + diagnostics());
            process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }

    // The archer on display after a move's answer.
    int shownAfter()
    {
        const QString line = answer();
        if (!line.startsWith(QLatin1String("shown ")))
            throw std::runtime_error("not an archer on display: " + line.toStdString());
        shown_ = line.section(u' ', 1, 1).toInt();
        return shown_;
    }
    int move(const QString& command)
    {
        send(command);
        return shownAfter();
    }

    void type(int round, int arrow, const QString& text)
    {
        send(QStringLiteral("type %1 %2 %3").arg(round).arg(arrow).arg(text));
        const QString line = answer();
        if (line != QLatin1String("typed"))
            throw std::runtime_error("typing refused: " + line.toStdString());
    }

    // The 60 boxes' texts.
    QStringList boxes()
    {
        send(QStringLiteral("boxes"));
        const QString line = answer();
        if (!line.startsWith(QLatin1String("boxes ")))
            throw std::runtime_error("no boxes: " + line.toStdString());
        return line.section(u' ', 2).split(u',');
    }

    // Closes the window (saving) and waits for the process to end.
    bool close()
    {
        send(QStringLiteral("close"));
        if (answer() != QLatin1String("closed"))
            return false;
        return process_.waitForFinished(10000) && process_.exitCode() == 0;
    }

    void killHard()
    {
        ::kill(pid_t(process_.processId()), SIGKILL);
        process_.waitForFinished(10000);
    }

    int shown() const { return shown_; }
    QStringList messages;
    QStringList questions;

private:
    std::string diagnostics()
    {
        return "; its errors: " + QString::fromUtf8(process_.readAllStandardError()).trimmed().toStdString();
    }

    QTemporaryDir ownJournals_;
    QProcess process_;
    int shown_ = 0;
};

// A competition database of the test's own on a server, dropped when it goes
// (after the stations that use it).
class ServerCompetition {
public:
    explicit ServerCompetition(const TestServer& server) : login(server.newDatabase(QStringLiteral("stations")))
    {
        CreateCompetitionDatabase(login);
    }
    ~ServerCompetition()
    {
        try {
            db::Connection connection;
            attach(connection);
            connection.dropDatabase();
        } catch (...) {
            // The server's root goes with the fixture.
        }
    }
    ServerCompetition(const ServerCompetition&) = delete;
    ServerCompetition& operator=(const ServerCompetition&) = delete;

    void attach(db::Connection& connection) const
    {
        SetCompetitionLogin(connection, login);
        connection.connect();
    }

    void seed(const std::vector<std::string>& statements) const { runStatements(login, statements); }

    CompetitionLogin login;
};

// (archer, round, arrow) → "POINT|CROSS|EMPTYSCORE".
using Arrows = std::map<std::tuple<int, int, int>, std::string>;

// The seeded value of an arrow: 1 to 10, no cross.
int seededPoint(int archer, int round, int arrow) { return (archer * 7 + round * 3 + arrow) % 10 + 1; }

// Archers 1..count in lanes 1..count; rounds 1..storedRounds stored.
std::vector<std::string> archersWithArrows(int count, int storedRounds, Arrows& expected)
{
    std::vector<std::string> sql;
    for (int id = 1; id <= count; ++id) {
        sql.push_back("insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (" + std::to_string(id)
                      + ", 'Archer " + std::to_string(id) + "', '" + std::to_string(id) + "A', " + std::to_string(id)
                      + ", 'A')");
        for (int round = 1; round <= storedRounds; ++round)
            for (int arrow = 1; arrow <= 30; ++arrow)
                expected[{id, round, arrow}] = std::to_string(seededPoint(id, round, arrow)) + "|F|F";
    }
    if (storedRounds > 0)
        sql.push_back("execute block as declare a int; declare r int; declare n int = 1; begin"
                      " while (n <= " + std::to_string(count) + ") do begin r = 1;"
                      "  while (r <= " + std::to_string(storedRounds) + ") do begin a = 1;"
                      "   while (a <= 30) do begin"
                      "    insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE)"
                      "     values (:n, :r, :a, mod(:n * 7 + :r * 3 + :a, 10) + 1, 'F', 'F');"
                      "    a = a + 1; end r = r + 1; end n = n + 1; end end");
    return sql;
}

// What a typed text is stored as.
std::string storedAs(const QString& typed)
{
    if (typed == QLatin1String("X"))
        return "10|T|F";
    if (typed == QLatin1String("M"))
        return "0|F|F";
    return typed.toStdString() + "|F|F";
}

QString textFor(int value)
{
    if (value == 0)
        return QStringLiteral("M");
    if (value == 11)
        return QStringLiteral("X");
    return QString::number(value);
}

Arrows storedArrows(const ServerCompetition& competition, const std::string& where = "1 = 1")
{
    db::Connection connection;
    competition.attach(connection);
    db::Transaction transaction(&connection);
    transaction.params() = {"concurrency", "read"};
    db::Query query(&connection, &transaction);
    query.sqlAdd("select ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE from POINTS where " + where);
    query.open();
    Arrows arrows;
    for (query.first(); !query.eof(); query.next())
        arrows[{query.fieldByName("ARCHERID").asInteger(), query.fieldByName("ROUNDNO").asInteger(),
                query.fieldByName("ARROWNO").asInteger()}] = query.fieldByName("POINT").asString() + "|"
            + query.fieldByName("CROSS").asString() + "|" + query.fieldByName("EMPTYSCORE").asString();
    query.close();
    transaction.commit();
    connection.disconnect();
    return arrows;
}

// A drill of the station journal: a competition on the test server with
// archers and no arrows yet, and a journal folder that every station of the
// drill keeps, each taking what an earlier one left unsaved.
struct JournalDrill {
    JournalDrill(const TestServer& server, int archers) : competition(server)
    {
        competition.seed(archersWithArrows(archers, 0, expected));
    }
    Station station() const { return Station(competition.login, 5, setup); }

    ServerCompetition competition;
    Arrows expected;
    QTemporaryDir journals;
    const JournalSetup setup{journals.path(), QStringLiteral("yes")};
};

// The differences between the stored arrows and the expected ones. A stored
// arrow that is not expected must be an empty one that a save appended for
// an untyped box of a saved archer.
QStringList differences(const Arrows& stored, const Arrows& expected, const std::set<int>& saved)
{
    QStringList out;
    const auto name = [](const std::tuple<int, int, int>& k) {
        return QStringLiteral("archer %1 round %2 arrow %3").arg(std::get<0>(k)).arg(std::get<1>(k)).arg(std::get<2>(k));
    };
    for (const auto& [key, value] : expected) {
        const auto it = stored.find(key);
        if (it == stored.end())
            out << name(key) + ": missing, expected " + QString::fromStdString(value);
        else if (it->second != value)
            out << name(key) + ": " + QString::fromStdString(it->second) + ", expected " + QString::fromStdString(value);
    }
    for (const auto& [key, value] : stored)
        if (!expected.count(key) && (!saved.count(std::get<0>(key)) || !QString::fromStdString(value).endsWith("|T")))
            out << name(key) + ": unexpected " + QString::fromStdString(value);
    return out;
}

#define COMPARE_ARROWS(stored, expected, saved)                                                        \
    do {                                                                                               \
        const QStringList diff_ = differences(stored, expected, saved);                                \
        QVERIFY2(diff_.isEmpty(), qPrintable(QString::number(diff_.size()) + " arrows differ: "        \
                                             + diff_.mid(0, 12).join(QLatin1String("; "))));           \
    } while (false)

// Another attachment holding one arrow row in an open transaction, as a
// station in the middle of its own save does.
class RowHolder {
public:
    RowHolder(const ServerCompetition& competition, int archer, int round, int arrow) : transaction_(&connection_)
    {
        competition.attach(connection_);
        connection_.executeImmediate("update POINTS set POINT = POINT where ARCHERID = " + std::to_string(archer)
                                         + " and ROUNDNO = " + std::to_string(round)
                                         + " and ARROWNO = " + std::to_string(arrow),
                                     transaction_);
    }

    // True once another attachment runs a statement on POINTS that waits:
    // the station's save has reached the held row.
    bool waitForBlockedSave(int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            db::Transaction looking(&connection_);
            db::Query query(&connection_, &looking);
            query.sqlAdd("select count(*) as WAITING from MON$STATEMENTS where MON$ATTACHMENT_ID <> current_connection"
                         " and MON$STATE = 1 and MON$SQL_TEXT containing 'POINTS'"
                         " and (MON$SQL_TEXT containing 'UPDATE' or MON$SQL_TEXT containing 'INSERT')");
            query.open();
            const bool waiting = query.fieldByName("WAITING").asInteger() > 0;
            query.close();
            looking.commit();
            if (waiting)
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    void release() { transaction_.rollback(); }

private:
    db::Connection connection_;
    db::Transaction transaction_;
};

} // namespace

class TestStations : public QObject {
    Q_OBJECT

private:
    std::optional<TestServer> server_;

    // Moves with "next" until the station leaves the archer it shows;
    // another station saving the same archer makes it stay for a moment.
    static void nextUntilMoved(Station& station, int attempts = 20)
    {
        const int from = station.shown();
        for (int i = 0; i < attempts; ++i) {
            if (station.move(QStringLiteral("next")) != from)
                return;
            QThread::msleep(100);
        }
        throw std::runtime_error("the station stayed on archer " + std::to_string(from));
    }

private slots:
    void initTestCase() { REQUIRE_FIXTURE_SERVER(server_); }

    // The login station-login makes runs the window: it reads the archers
    // and the lookups and stores arrows. It can do nothing else: no archer
    // changed, added or removed, no arrow removed.
    void stationLoginRunsTheWindowAndNoMore()
    {
        ServerCompetition competition(*server_);
        Arrows expected;
        competition.seed(archersWithArrows(3, 1, expected));
        competition.seed({"insert into COUNTRY (COUNTRYNUMBER, NAME) values (1, 'Norge')",
                          "update ARCHER set COUNTRYNUMBER = 1 where ARCHERID = 2"});
        const std::string name = "STATION" + std::to_string(QRandomGenerator::global()->bounded(100000, 999999));
        auto dropUser = qScopeGuard([&] {
            try {
                runStatements(competition.login, {"drop user " + name});
            } catch (...) {
            }
        });
        QTemporaryDir dir;
        const QString passwordFile = QDir(dir.path()).filePath(QStringLiteral("station-password"));
        {
            QFile f(passwordFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("arrow-9-x\n");
        }
        QVERIFY(QFile::setPermissions(passwordFile, QFile::ReadOwner | QFile::WriteOwner));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ISC_USER"), QStringLiteral("SYSDBA"));
        env.insert(QStringLiteral("ISC_PASSWORD"), QString::fromStdString(server_->password));
        QProcess tallyon;
        tallyon.setProcessEnvironment(env);
        tallyon.start(QStringLiteral(TALLYON_EXE),
                      {QStringLiteral("station-login"), QString::fromStdString(competition.login.database),
                       QString::fromStdString(name).toLower(), QStringLiteral("--station-password-file"), passwordFile});
        QVERIFY(tallyon.waitForFinished(60000));
        QVERIFY2(tallyon.exitCode() == 0, tallyon.readAllStandardError().constData());

        CompetitionLogin station = competition.login;
        station.user = name;
        station.password = "arrow-9-x";
        {
            Station window(station);
            QCOMPARE(window.move(QStringLiteral("goto 2")), 2);
            window.type(1, 4, QStringLiteral("X"));
            window.type(2, 1, QStringLiteral("7"));
            QCOMPARE(window.move(QStringLiteral("next")), 3);
            QVERIFY(window.close());
            QCOMPARE(window.messages, QStringList());
        }
        const Arrows stored = storedArrows(competition, "ARCHERID = 2 and ((ROUNDNO = 1 and ARROWNO = 4) or "
                                                        "(ROUNDNO = 2 and ARROWNO = 1))");
        QCOMPARE(stored.at({2, 1, 4}), std::string("10|T|F"));
        QCOMPARE(stored.at({2, 2, 1}), std::string("7|F|F"));

        for (const std::string& sql : {std::string("update ARCHER set NAME = 'X' where ARCHERID = 1"),
                                       std::string("insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) "
                                                   "values (9, 'X', '9A', 9, 'A')"),
                                       std::string("delete from ARCHER where ARCHERID = 3"),
                                       std::string("delete from POINTS"),
                                       std::string("insert into COUNTRY (COUNTRYNUMBER, NAME) values (2, 'X')")}) {
            bool refused = false;
            try {
                runStatements(station, {sql});
            } catch (const db::DbError& e) {
                refused = e.isPermissionDenied();
            }
            QVERIFY2(refused, sql.c_str());
        }
        QCOMPARE(storedArrows(competition).size(), std::size_t(3 * 30 + 30));

        // Without a file the password is made up and shown once; the user
        // that exists already keeps its own.
        tallyon.start(QStringLiteral(TALLYON_EXE),
                      {QStringLiteral("station-login"), QString::fromStdString(competition.login.database),
                       QString::fromStdString(name)});
        QVERIFY(tallyon.waitForFinished(60000));
        QCOMPARE(tallyon.exitCode(), 0);
        const QString out = QString::fromLocal8Bit(tallyon.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("keeps its password")), qPrintable(out));
        QVERIFY2(!out.contains(QStringLiteral("shown only this once")), qPrintable(out));
        runStatements(station, {"update POINTS set POINT = POINT where ARCHERID = 2"});
    }

    // Four stations, 25 moves each, each on archers of its own, all saving
    // at the same moments: every typed arrow is stored, nothing else changes.
    void fourStationsOnArchersOfTheirOwn()
    {
        ServerCompetition competition(*server_);
        Arrows expected;
        competition.seed(archersWithArrows(100, 1, expected));
        std::vector<std::unique_ptr<Station>> stations;
        for (int k = 0; k < 4; ++k) {
            stations.push_back(std::make_unique<Station>(competition.login));
            QCOMPARE(stations[k]->move(QStringLiteral("goto %1").arg(25 * k + 1)), 25 * k + 1);
        }
        QRandomGenerator random(10);
        std::set<int> saved;
        int typed = 0;
        for (int m = 0; m < 25; ++m) {
            for (int k = 0; k < 4; ++k) {
                Station& station = *stations[k];
                for (int i = 0; i < 3; ++i) {
                    const int round = int(random.bounded(1, 3));
                    const int arrow = int(random.bounded(1, 31));
                    const QString text = textFor(int(random.bounded(0, 12)));
                    station.type(round, arrow, text);
                    expected[{station.shown(), round, arrow}] = storedAs(text);
                    ++typed;
                }
                saved.insert(station.shown());
            }
            for (auto& station : stations)
                station->send(QStringLiteral("next"));
            for (int k = 0; k < 4; ++k)
                QCOMPARE(stations[k]->shownAfter(), 25 * k + m + 2 > 100 ? 1 : 25 * k + m + 2);
        }
        for (auto& station : stations) {
            QVERIFY(station->close());
            QCOMPARE(station->messages, QStringList());
        }
        const Arrows stored = storedArrows(competition);
        qInfo("%d arrows typed on %zu archers; %zu rows stored", typed, saved.size(), stored.size());
        COMPARE_ARROWS(stored, expected, saved);
    }

    // Four stations walk over the same five archers, 25 moves each, each
    // typing into boxes of its own; a station that meets another one's save stays and tries
    // again with its next move. No station's arrows overwrite another's.
    void fourStationsOnSharedArchers()
    {
        ServerCompetition competition(*server_);
        Arrows expected;
        competition.seed(archersWithArrows(5, 1, expected));
        std::vector<std::unique_ptr<Station>> stations;
        // Two walk forward, two backward, from archers 1 and 3: they meet
        // on one archer now and then.
        const QString direction[4] = {QStringLiteral("next"), QStringLiteral("prior"), QStringLiteral("next"),
                                      QStringLiteral("prior")};
        for (int k = 0; k < 4; ++k) {
            stations.push_back(std::make_unique<Station>(competition.login));
            if (k >= 2)
                QCOMPARE(stations[k]->move(QStringLiteral("goto 3")), 3);
        }
        QRandomGenerator random(11);
        std::set<int> saved;
        std::vector<Arrows> pending(4);   // typed, not yet stored
        std::vector<int> moves(4, 0);
        int stays = 0;
        int typed = 0;
        const auto busy = [&](int k) { return moves[k] < 25; };
        for (int round = 0; round < 300 && std::any_of(moves.begin(), moves.end(), [](int m) { return m < 25; });
             ++round) {
            std::vector<int> from(4);
            for (int k = 0; k < 4; ++k) {
                if (!busy(k))
                    continue;
                Station& station = *stations[k];
                from[k] = station.shown();
                if (pending[k].empty()) {
                    // Station k owns the arrows k+1, k+5, ... of both rounds.
                    for (int i = 0; i < 2; ++i) {
                        const int r = int(random.bounded(1, 3));
                        const int arrow = 4 * int(random.bounded(0, 7)) + k + 1;
                        const QString text = textFor(int(random.bounded(0, 12)));
                        station.type(r, arrow, text);
                        pending[k][{station.shown(), r, arrow}] = storedAs(text);
                        ++typed;
                    }
                }
                station.send(direction[k]);
            }
            for (int k = 0; k < 4; ++k) {
                if (!busy(k))
                    continue;
                if (stations[k]->shownAfter() == from[k]) {
                    ++stays;
                    continue;
                }
                ++moves[k];
                saved.insert(from[k]);
                for (const auto& [key, value] : pending[k])
                    expected[key] = value;
                pending[k].clear();
            }
        }
        QCOMPARE(moves, std::vector<int>(4, 25));
        for (auto& station : stations)
            QVERIFY(station->close());
        qInfo("4 x 25 moves, %d arrows typed, %d stays on a save of another station", typed, stays);
        COMPARE_ARROWS(storedArrows(competition), expected, saved);
    }

    void twoStationsSaveOneArcherAtOnce_data()
    {
        QTest::addColumn<int>("storedRounds");
        QTest::newRow("round 1 stored") << 1;
        QTest::newRow("nothing stored") << 0;
        QTest::newRow("both rounds stored") << 2;
    }

    // Two stations on one archer press Page Down at the same moment, five
    // times over: each one's arrows are stored, the other's survive.
    void twoStationsSaveOneArcherAtOnce()
    {
        QFETCH(int, storedRounds);
        ServerCompetition competition(*server_);
        Arrows expected;
        competition.seed(archersWithArrows(6, storedRounds, expected));
        Station a(competition.login);
        Station b(competition.login);
        std::set<int> saved;
        for (int archer = 1; archer <= 5; ++archer) {
            QCOMPARE(a.shown(), archer);
            QCOMPARE(b.shown(), archer);
            const QString textA = textFor(archer + 1), textB = textFor(11 - archer);
            for (int arrow = 1; arrow <= 3; ++arrow) {
                a.type(1, arrow, textA);
                b.type(2, arrow, textB);
                expected[{archer, 1, arrow}] = storedAs(textA);
                expected[{archer, 2, arrow}] = storedAs(textB);
            }
            a.send(QStringLiteral("next"));
            b.send(QStringLiteral("next"));
            const bool aStayed = a.shownAfter() == archer;
            const bool bStayed = b.shownAfter() == archer;
            if (aStayed)
                nextUntilMoved(a);
            if (bStayed)
                nextUntilMoved(b);
            saved.insert(archer);
        }
        QVERIFY(a.close());
        QVERIFY(b.close());
        COMPARE_ARROWS(storedArrows(competition), expected, saved);
    }

    // A reader reading an archer's 60 arrows in one snapshot while a station
    // saves them again and again sees all 60 of one save, never a mix.
    void readerSeesOneWholeSave()
    {
        ServerCompetition competition(*server_);
        Arrows ignored;
        competition.seed(archersWithArrows(2, 2, ignored));
        competition.seed({"update POINTS set POINT = 1 where ARCHERID = 1"});

        std::atomic<bool> stop = false;
        std::atomic<int> snapshots = 0;
        std::set<std::string> seen, mixed;
        std::string readerError;
        std::thread reader([&] {
            try {
                db::Connection connection;
                competition.attach(connection);
                while (!stop) {
                    db::Transaction snapshot(&connection);
                    snapshot.params() = {"concurrency", "read"};
                    db::Query query(&connection, &snapshot);
                    query.sqlAdd("select POINT from POINTS where ARCHERID = 1");
                    query.open();
                    std::set<std::string> values;
                    int rows = 0;
                    for (query.first(); !query.eof(); query.next(), ++rows)
                        values.insert(query.fieldByName("POINT").asString());
                    query.close();
                    snapshot.commit();
                    std::string seenNow = std::to_string(rows) + " rows of";
                    for (const std::string& v : values)
                        seenNow += " " + v;
                    (rows == 60 && values.size() == 1 ? seen : mixed).insert(seenNow);
                    ++snapshots;
                }
                connection.disconnect();
            } catch (const std::exception& e) {
                readerError = e.what();
            }
        });
        auto joinReader = qScopeGuard([&] {
            stop = true;
            reader.join();
        });

        Station station(competition.login);
        for (int value = 2; value <= 9; ++value) {
            for (int round = 1; round <= 2; ++round)
                for (int arrow = 1; arrow <= 30; ++arrow)
                    station.type(round, arrow, QString::number(value));
            QCOMPARE(station.move(QStringLiteral("next")), 2);
            QCOMPARE(station.move(QStringLiteral("prior")), 1);
        }
        QVERIFY(station.close());
        stop = true;
        joinReader.dismiss();
        reader.join();
        QVERIFY2(readerError.empty(), readerError.c_str());
        qInfo("%d snapshots read during 8 saves", snapshots.load());
        QVERIFY2(mixed.empty(), mixed.begin()->c_str());
        QVERIFY2(seen.size() > 1, "the reader never saw a save land");
    }

    void staleCopyKeepsTheOtherStationsArrows_data()
    {
        QTest::addColumn<int>("arrowOfB");     // round 1 arrow that station B types
        QTest::addColumn<bool>("bStaysFirst");  // B's first move is refused (both changed that arrow)
        QTest::newRow("another arrow") << 10 << false;
        QTest::newRow("the same arrow") << 2 << true;
    }

    // Station B shows the archer from before station A's save and types one
    // arrow: A's arrows stay. Where both typed the same arrow, B is told and
    // stays; its next move stores what B typed, the operator having seen it.
    void staleCopyKeepsTheOtherStationsArrows()
    {
        QFETCH(int, arrowOfB);
        QFETCH(bool, bStaysFirst);
        ServerCompetition competition(*server_);
        Arrows expected;
        competition.seed(archersWithArrows(2, 2, expected));
        Station a(competition.login);
        Station b(competition.login);
        QCOMPARE(b.shown(), 1);

        for (int arrow = 1; arrow <= 3; ++arrow) {
            a.type(1, arrow, QStringLiteral("X"));
            expected[{1, 1, arrow}] = storedAs(QStringLiteral("X"));
        }
        QCOMPARE(a.move(QStringLiteral("next")), 2);

        b.type(1, arrowOfB, QStringLiteral("M"));
        if (bStaysFirst) {
            QCOMPARE(b.move(QStringLiteral("next")), 1);
            QCOMPARE(b.messages.size(), qsizetype(1));
            COMPARE_ARROWS(storedArrows(competition), expected, {1});
            QCOMPARE(b.boxes().value(arrowOfB - 1), QStringLiteral("M"));
        }
        QCOMPARE(b.move(QStringLiteral("next")), 2);
        expected[{1, 1, arrowOfB}] = storedAs(QStringLiteral("M"));
        QVERIFY(a.close());
        QVERIFY(b.close());
        COMPARE_ARROWS(storedArrows(competition), expected, {1});
        if (!bStaysFirst)
            QCOMPARE(b.messages, QStringList());
    }

    // A station killed while its save waits on the last of its arrows leaves
    // none of them; the next station saves the archer at once.
    void killedStationLeavesNothingOfItsSave()
    {
        ServerCompetition competition(*server_);
        Arrows expected;
        competition.seed(archersWithArrows(2, 2, expected));
        {
            Station station(competition.login, 60);
            station.type(1, 1, QStringLiteral("X"));
            station.type(1, 2, QStringLiteral("X"));
            station.type(2, 30, QStringLiteral("X"));
            RowHolder holder(competition, 1, 2, 30);
            station.send(QStringLiteral("next"));
            QVERIFY2(holder.waitForBlockedSave(20000), "the station's save never reached the held arrow");
            station.killHard();
            holder.release();
        }
        COMPARE_ARROWS(storedArrows(competition), expected, {});

        Station next(competition.login, 5);
        next.type(1, 1, QStringLiteral("7"));
        QCOMPARE(next.move(QStringLiteral("next")), 2);
        expected[{1, 1, 1}] = storedAs(QStringLiteral("7"));
        QVERIFY(next.close());
        COMPARE_ARROWS(storedArrows(competition), expected, {1});
    }

    // A station killed (kill -9, as a crash or a power cut does) after
    // typing a whole card, before any move stored it: the next run on the
    // database offers all 60 arrows in one question, shows the archer with
    // the boxes as typed, and the move stores them. A third run offers
    // nothing.
    void killedStationRecoversEveryTypedArrow()
    {
        JournalDrill drill(*server_, 2);
        QStringList typed;
        {
            Station station = drill.station();
            QCOMPARE(station.shown(), 1);
            QRandomGenerator random(19);
            for (int round = 1; round <= 2; ++round)
                for (int arrow = 1; arrow <= 30; ++arrow) {
                    const QString text = textFor(int(random.bounded(12)));
                    station.type(round, arrow, text);
                    typed << text;
                    drill.expected[{1, round, arrow}] = storedAs(text);
                }
            station.killHard();
        }
        QVERIFY(storedArrows(drill.competition).empty());

        Station again = drill.station();
        QCOMPARE(again.questions.size(), 1);
        QVERIFY2(again.questions[0].contains(QStringLiteral("archer 1 (1A Archer 1): round 1 arrow 1: ")),
                 qPrintable(again.questions[0]));
        QCOMPARE(again.shown(), 1);
        QCOMPARE(again.boxes(), typed);
        QCOMPARE(again.move(QStringLiteral("next")), 2);
        COMPARE_ARROWS(storedArrows(drill.competition), drill.expected, {1});
        QVERIFY(again.close());

        Station third = drill.station();
        QVERIFY(third.questions.isEmpty());
        QVERIFY(third.close());
    }

    // Kills at random moments while a station types, one key at a time as
    // an operator does: every key the station has taken comes back after
    // the restart; at most the key being typed at the kill is lost.
    // TALLYON_KILL_ROUNDS sets the number of kills (5).
    void randomKillsLoseAtMostTheLastKey()
    {
        JournalDrill drill(*server_, 1);
        const int kills = qEnvironmentVariableIntValue("TALLYON_KILL_ROUNDS") > 0
            ? qEnvironmentVariableIntValue("TALLYON_KILL_ROUNDS")
            : 5;
        QRandomGenerator random(QRandomGenerator::global()->generate());
        QStringList boxes(60, QString());
        int lastKeyLost = 0;
        int keysTaken = 0;
        for (int kill = 0; kill < kills; ++kill) {
            Station station = drill.station();
            QCOMPARE(station.boxes(), boxes);
            const int keys = 3 + int(random.bounded(12));
            for (int key = 0; key < keys; ++key) {
                const int index = int(random.bounded(60));
                const QString text = textFor(int(random.bounded(12)));
                station.type(index / 30 + 1, index % 30 + 1, text);
                boxes[index] = text;
                ++keysTaken;
            }
            // The last key goes in while the station is killed.
            const int index = int(random.bounded(60));
            const QString text = textFor(int(random.bounded(12)));
            station.send(QStringLiteral("type %1 %2 %3").arg(index / 30 + 1).arg(index % 30 + 1).arg(text));
            QThread::msleep(random.bounded(25));
            station.killHard();

            Station after = drill.station();
            QCOMPARE(after.questions.size(), 1);
            QStringList recovered = after.boxes();
            QStringList withLast = boxes;
            withLast[index] = text;
            if (recovered == withLast) {
                boxes = withLast;
            } else {
                // Not taken, or taken in part ("1" of "10"); nothing else may differ.
                QStringList partly = boxes;
                partly[index] = recovered[index];
                QCOMPARE(recovered, partly);
                QVERIFY(text.startsWith(recovered[index]) || recovered[index] == boxes[index]);
                boxes = recovered;
                ++lastKeyLost;
            }
            after.killHard();
        }
        qInfo("%d kills after %d keys taken: no key taken was lost; the key being typed at the kill was "
              "lost %d times",
              kills, keysTaken, lastKeyLost);

        Station last = drill.station();
        QCOMPARE(last.boxes(), boxes);
        last.move(QStringLiteral("next"));
        QVERIFY(last.close());
        for (int index = 0; index < 60; ++index)
            drill.expected[{1, index / 30 + 1, index % 30 + 1}] =
                boxes[index].isEmpty() ? "0|F|T" : storedAs(boxes[index]);
        COMPARE_ARROWS(storedArrows(drill.competition), drill.expected, {1});
    }

    // The restart drill: four stations enter the score cards of archers of
    // their own, 12 cards each, passing one archer who has not shot yet,
    // when the server restarts. Two have just typed a card, two are passing
    // that archer; all four press Page Down
    // while the server is away, each is told once that the connection was
    // lost and stays on its archer, and each presses Page Down again once
    // the server is back, as the message says. Every typed arrow is stored
    // once, on the archer of its card.
    void fourStationsThroughAServerRestart()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        OwnTestServer own(root.filePath(QStringLiteral("server")));
        ServerCompetition competition(own.server());
        constexpr int PerStation = 13;   // 12 cards and one archer not shot yet
        constexpr int EarlyBlank = 2;    // where stations 0 and 2 pass theirs
        constexpr int RestartAt = 6;     // the card at which the server goes away
        Arrows expected;
        competition.seed(archersWithArrows(4 * PerStation, 1, expected));
        std::vector<std::unique_ptr<Station>> stations;
        for (int k = 0; k < 4; ++k) {
            stations.push_back(std::make_unique<Station>(competition.login));
            QCOMPARE(stations[k]->move(QStringLiteral("goto %1").arg(PerStation * k + 1)), PerStation * k + 1);
        }
        auto resumeAtLast = qScopeGuard([&] {
            try {
                own.resume();
            } catch (...) {
            }
        });

        QRandomGenerator random(12);
        Arrows typed;   // what the operators typed, by the archer of the card
        std::set<int> saved;
        QStringList offCard;   // the window showed another archer than the card's
        for (int card = 0; card < PerStation; ++card) {
            const bool restart = card == RestartAt;
            for (int k = 0; k < 4; ++k) {
                Station& station = *stations[k];
                const int archer = PerStation * k + card + 1;
                if (station.shown() != archer)
                    offCard << QStringLiteral("station %1 showed %2 for the card of %3")
                                   .arg(k).arg(station.shown()).arg(archer);
                if (k % 2 == 1 ? restart : card == EarlyBlank)
                    continue;   // this archer has not shot yet
                const int round = int(random.bounded(1, 3));
                const int first = int(random.bounded(1, 29));
                for (int arrow = first; arrow < first + 3; ++arrow) {
                    const QString text = textFor(int(random.bounded(0, 12)));
                    station.type(round, arrow, text);
                    typed[{archer, round, arrow}] = expected[{archer, round, arrow}] = storedAs(text);
                }
                saved.insert(archer);
            }
            if (restart)
                own.halt();
            for (auto& station : stations)
                station->send(QStringLiteral("next"));
            for (int k = 0; k < 4; ++k) {
                const int from = PerStation * k + card + 1;
                const int shown = stations[k]->shownAfter();
                if (restart && shown != from)
                    offCard << QStringLiteral("station %1 left %2 for %3 with the server away").arg(k).arg(from).arg(shown);
            }
            if (restart) {
                own.resume();
                resumeAtLast.dismiss();
                for (auto& station : stations)
                    station->send(QStringLiteral("next"));
                for (auto& station : stations)
                    station->shownAfter();
            }
        }
        for (auto& station : stations)
            QVERIFY(station->close());
        const Arrows stored = storedArrows(competition);
        int storedAsTyped = 0;
        for (const auto& [key, value] : typed)
            storedAsTyped += stored.count(key) && stored.at(key) == value;
        qInfo("%d of %zu typed arrows stored as typed", storedAsTyped, typed.size());
        for (int k = 0; k < 4; ++k) {
            const QStringList& messages = stations[k]->messages;
            QVERIFY2(messages.size() == 1
                         && messages[0].contains(QLatin1String("connection to the competition database was lost")),
                     qPrintable(QStringLiteral("station %1: ").arg(k) + messages.join(QLatin1String(" / "))));
        }
        QVERIFY2(offCard.isEmpty(), qPrintable(offCard.mid(0, 8).join(QLatin1String("; "))));
        COMPARE_ARROWS(stored, expected, saved);
    }

    void serverGoesAwayDuringASave_data()
    {
        QTest::addColumn<bool>("frozen");
        QTest::newRow("stopped while the save waits for a held arrow") << false;
        QTest::newRow("frozen, as when its network is gone") << true;
    }

    // The server stops, or stops answering, during a station's save: the
    // station tells the operator once, within a bounded wait, and keeps the
    // boxes as typed. Once the server is back, the next move attaches anew
    // and stores them, without a restart of the station.
    void serverGoesAwayDuringASave()
    {
        QFETCH(bool, frozen);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        OwnTestServer own(root.filePath(QStringLiteral("server")));
        ServerCompetition competition(own.server());
        Arrows expected;
        competition.seed(archersWithArrows(2, 2, expected));

        Station station(competition.login, 60);
        const QStringList typed = {QStringLiteral("X"), QStringLiteral("9"), QStringLiteral("M")};
        station.type(1, 1, typed[0]);
        station.type(1, 2, typed[1]);
        station.type(2, 30, typed[2]);
        QElapsedTimer waited;
        waited.start();
        auto thawAtLast = qScopeGuard([&] {
            if (frozen)
                own.thaw();
        });
        if (frozen) {
            own.freeze();
            station.send(QStringLiteral("next"));
        } else {
            RowHolder holder(competition, 1, 2, 30);
            station.send(QStringLiteral("next"));
            QVERIFY2(holder.waitForBlockedSave(20000), "the station's save never reached the held arrow");
            own.halt();
        }
        QCOMPARE(station.shownAfter(), 1);
        qInfo("told after %lld ms: %s", waited.elapsed(), qPrintable(station.messages.value(0)));
        QVERIFY2(waited.elapsed() < AnswerTimeoutMs, "the station waited for the server too long");
        QVERIFY2(station.messages.size() == 1, qPrintable(station.messages.join(QLatin1String(" / "))));
        QVERIFY2(station.messages.value(0).contains(QLatin1String("connection to the competition database was lost")),
                 qPrintable(station.messages.value(0)));
        const QStringList boxes = station.boxes();
        QCOMPARE(QStringList({boxes.value(0), boxes.value(1), boxes.value(59)}), typed);

        thawAtLast.dismiss();
        if (frozen)
            own.thaw();
        else
            own.resume();
        QCOMPARE(station.move(QStringLiteral("next")), 2);
        QVERIFY2(station.messages.size() == 1, qPrintable(station.messages.join(QLatin1String(" / "))));
        QVERIFY(station.close());
        expected[{1, 1, 1}] = storedAs(typed[0]);
        expected[{1, 1, 2}] = storedAs(typed[1]);
        expected[{1, 2, 30}] = storedAs(typed[2]);
        COMPARE_ARROWS(storedArrows(competition), expected, {1});
    }
};

QTEST_GUILESS_MAIN(TestStations)
#include "tst_stations.moc"
