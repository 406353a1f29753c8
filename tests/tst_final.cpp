// Closing a competition on real databases: its details, the archers'
// status, shoot-offs, team lists, the check of the signed cards with the
// lock that follows (met by the points window's save), the verify window
// driven by keys, and the "final" mark, read back from the outputs.

#include "core/command_error.h"
#include "db/connection.h"
#include "db/transaction.h"
#include "forms/error_display.h"
#include "forms/uVuRudiCompetition.h"
#include "model/message_seam.h"
#include "results/card_check.h"
#include "roster/demo.h"
#include "results/placing.h"
#include "results/ranking.h"
#include "results/results_notes.h"
#include "results/results_output.h"
#include "results/scorecard.h"
#include "tests/support/competition.h"
#include "tests/support/typing.h"
#include "verify/verify_window.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <utility>

namespace {

struct RunResult {
    int exitCode = -1;
    QString out;
    QString err;
};

RunResult runProgram(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    RunResult r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("<timed out>");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    QStringList lines = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith(QStringLiteral("QStandardPaths:")); });
    r.err = lines.join(u'\n');
    return r;
}

RunResult tallyon(const QStringList& args)
{
    return runProgram(QStringLiteral(TALLYON_EXE), args);
}

// A competition of archers in one category (Recurve men), countries 1 to 3.
class FinalCompetition : public TestCompetition {
public:
    FinalCompetition()
    {
        seed({"insert into BOWTYPES values (1, 'Recurve')", "insert into AGECLASS values (1, 'Adult')",
              "insert into SHOOTINGCLASSES values (1, 'Men')",
              "insert into COUNTRY (COUNTRYNUMBER, NAME) values (1, 'Deutschland')",
              "insert into COUNTRY (COUNTRYNUMBER, NAME) values (2, 'Danmark')",
              "insert into COUNTRY (COUNTRYNUMBER, NAME) values (3, 'Sverige')"});
    }

    // An archer on lane laneNo "A" with 60 arrows: nines of value v, then eights.
    void archer(int id, const std::string& name, int laneNo, int country = 1, bool team = true) const
    {
        seed({"insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, BOWTYPE, AGECLASSNO, SHOOTINGCLASS,"
              " ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER) values ("
              + std::to_string(id) + ", " + std::to_string(country) + ", '" + name + "', '" + std::to_string(laneNo)
              + "A', 'M', 1, 1, 1, '" + (team ? "T" : "F") + "', 'T', " + std::to_string(laneNo) + ", 'A')"});
    }

    // Arrows: `tens` tens (the first `xs` of them Xs), then nines up to
    // `arrows`, each a row of POINTS.
    void arrows(int id, int tens, int nines, int xs = 0, int arrows = 60) const
    {
        std::vector<std::string> sql;
        for (int n = 0; n < arrows; ++n) {
            const int point = n < tens ? 10 : n < tens + nines ? 9 : 8;
            sql.push_back("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values ("
                          + std::to_string(id) + ", " + std::to_string(n / 30 + 1) + ", " + std::to_string(n % 30 + 1)
                          + ", " + std::to_string(point) + ", '" + (n < xs ? "T" : "F") + "', 'F')");
        }
        seed(sql);
    }

    CompetitionResults results(const std::optional<std::string>& list = {}) const
    {
        db::Connection connection;
        attach(connection);
        CompetitionResults r = readResults(connection, list);
        connection.disconnect();
        return r;
    }

    RunResult run(const QStringList& args) const
    {
        QStringList all = args;
        all.insert(1, path());
        return tallyon(all);
    }
};

// "place:name" for every archer of a list ("SO"/status after the place).
QString placings(const ResultList& list)
{
    QStringList out;
    for (const ArcherResult& a : list.archers)
        out << placeText(a).replace(u' ', QString()) + u':' + QString::fromLatin1(a.name.c_str());
    return out.join(u' ');
}

QString teamPlacings(const ResultList& list)
{
    QStringList out;
    for (const TeamResult& t : list.teams)
        out << QString::number(t.sum.place) + u':' + QString::fromLatin1(t.sum.name.c_str()) + u'='
                   + QString::number(t.sum.total);
    return out.join(u' ');
}

} // namespace

class TestFinal : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void competitionDetailsSetAndShownEverywhere();
    void statusPlacesAndMarks();
    void statusCommands();
    void shootOffOrdersOnlyTheStillTied();
    void shootOffRefusedForArchersNotTied();
    void openTieForTheCutOff();
    void teamsCountTheBestMembers();
    void teamListOnEveryOutput();

    void cardDifferencesNameEachNumber();
    void verifiedCardLocksTheWindowsSave();
    void verifyWindowChecksTypedAndScannedCards();
    void listIsFinalOnceEveryCardIsVerified();
    void demoClosesWithFinalResults();

private:
    QStringList errors_;
    QStringList messages_;
};

void TestFinal::init()
{
    errors_.clear();
    messages_.clear();
    SetErrorHandler([this](const QString& message) { errors_ << message; });
    SetMessageHandler([this](const std::string& message) { messages_ << QString::fromStdString(message); });
}

void TestFinal::cleanup()
{
    SetErrorHandler({});
    SetMessageHandler({});
}

void TestFinal::competitionDetailsSetAndShownEverywhere()
{
    FinalCompetition c;
    c.archer(1, "Koch", 1);
    c.arrows(1, 10, 20);

    const RunResult empty = c.run({QStringLiteral("competition")});
    QCOMPARE(empty.exitCode, 0);
    QVERIFY2(empty.out.contains(QStringLiteral("no details yet")), qPrintable(empty.out));

    // A bad date is refused with the form expected; nothing is written.
    for (const char* bad : {"STARTDATE=2026-02-30", "STARTDATE=9.12.2026", "FINISHEDDATE=2026-1-5"}) {
        const RunResult r = c.run({QStringLiteral("competition"), QStringLiteral("set"), QStringLiteral("NAME=Cup"),
                                   QLatin1String(bad)});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("YYYY-MM-DD")), qPrintable(r.err));
    }
    QCOMPARE(c.count("select count(*) from COMPETITION"), 0);
    const RunResult backwards = c.run({QStringLiteral("competition"), QStringLiteral("set"), QStringLiteral("NAME=Cup"),
                                       QStringLiteral("STARTDATE=2026-12-10"), QStringLiteral("FINISHEDDATE=2026-12-09")});
    QCOMPARE(backwards.exitCode, 1);

    const RunResult set = c.run({QStringLiteral("competition"), QStringLiteral("set"),
                                 QStringLiteral("NAME=Hallencup Mühlbach"), QStringLiteral("PLACE=Sporthalle Süd"),
                                 QStringLiteral("STARTDATE=2026-12-09")});
    QCOMPARE(set.err, QString());
    QVERIFY(set.out.contains(QStringLiteral("Start date:    2026-12-09")));
    // A second set changes the one row and keeps what it does not name.
    QCOMPARE(c.run({QStringLiteral("competition"), QStringLiteral("set"), QStringLiteral("FINISHEDDATE=2026-12-10")})
                 .exitCode,
             0);
    QCOMPARE(c.rows("select NAME || '|' || PLACE || '|' || STARTDATE || '|' || FINISHEDDATE from COMPETITION"),
             std::vector<std::string>{"Hallencup M\xFChlbach|Sporthalle S\xFC" "d|2026-12-09|2026-12-10"});

    const QString heading = QStringLiteral("Hallencup Mühlbach, Sporthalle Süd, 2026-12-09 to 2026-12-10");
    const RunResult text = c.run({QStringLiteral("results")});
    QCOMPARE(text.out.split(u'\n').first(), heading);
    const QString csv = c.file(QStringLiteral("r.csv"));
    const QString html = c.file(QStringLiteral("r.html"));
    QCOMPARE(c.run({QStringLiteral("results"), QStringLiteral("--csv"), csv, QStringLiteral("--html"), html}).exitCode, 0);
    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(csvFile.readAll().mid(3)).split(QStringLiteral("\r\n")).first(),
             QStringLiteral("\"") + heading + u'"');
    QFile htmlFile(html);
    QVERIFY(htmlFile.open(QIODevice::ReadOnly));
    const QString markup = QString::fromUtf8(htmlFile.readAll());
    QVERIFY(markup.contains(QStringLiteral("Sporthalle Süd, 2026-12-09 to 2026-12-10, as of ")));

    db::Connection connection;
    c.attach(connection);
    const std::vector<std::int32_t> ids{1};
    QVERIFY(scorecardsAsHtml(readCompetition(connection), readArcherResults(connection, &ids)).contains(heading));
}

void TestFinal::statusPlacesAndMarks()
{
    FinalCompetition c;
    c.archer(1, "Dns", 1);
    c.archer(2, "Dsq", 2);
    c.archer(3, "Dnf", 3);
    c.archer(4, "Full", 4);
    c.archer(5, "Low", 5);
    c.arrows(1, 60, 0);          // best of all, but did not start
    c.arrows(2, 50, 10);         // disqualified
    c.arrows(3, 30, 0, 0, 30);   // retired after round 1: 300
    c.arrows(4, 0, 40);          // 520
    c.arrows(5, 0, 0, 0, 30);    // 240
    c.seed({"CREATE TABLE ARCHERSTATUS (ARCHERID INTEGER NOT NULL, STATUS VARCHAR(3) NOT NULL, PRIMARY KEY (ARCHERID))"});
    c.seed({"insert into ARCHERSTATUS values (2, 'DSQ')", "insert into ARCHERSTATUS values (1, 'DNS')",
            "insert into ARCHERSTATUS values (3, 'DNF')"});

    const CompetitionResults r = c.results();
    QCOMPARE(r.lists.size(), std::size_t(1));
    // DNF ranked on the arrows it shot; DNS after the ranking, DSQ last, neither placed.
    QCOMPARE(placings(r.lists[0]), QStringLiteral("1:Full 2DNF:Dnf 3:Low DNS:Dns DSQ:Dsq"));
    QCOMPARE(r.lists[0].cards, 4);   // the DNS archer has no card to check

    const QString text = resultsAsText(r);
    QVERIFY2(text.contains(QStringLiteral("\n2 DNF  3A    Dnf")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("DNS  1A")));
    const QByteArray csv = resultsAsCsv(r, u',');
    QVERIFY2(csv.contains(",,1A,Dns,Deutschland,300,300,600,60,0,0,60,yes,DNS,"), csv.constData());
    QVERIFY(csv.contains(",2,3A,Dnf,Deutschland,300,0,300,30,0,0,30,no,DNF,"));
}

void TestFinal::statusCommands()
{
    FinalCompetition c;
    c.archer(1, "Koch", 1);
    c.archer(2, "Wolf", 2);

    RunResult r = c.run({QStringLiteral("archer"), QStringLiteral("1"), QStringLiteral("set"), QStringLiteral("STATUS=dns")});
    QCOMPARE(r.err, QString());
    QCOMPARE(c.rows("select ARCHERID || STATUS from ARCHERSTATUS"), std::vector<std::string>{"1DNS"});
    // ARCHER keeps its columns.
    QCOMPARE(c.count("select count(*) from RDB$RELATION_FIELDS where RDB$RELATION_NAME = 'ARCHER'"), 14);

    r = c.run({QStringLiteral("archer"), QStringLiteral("2"), QStringLiteral("set"), QStringLiteral("STATUS=late")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("DNS")));
    r = c.run({QStringLiteral("archer"), QStringLiteral("9"), QStringLiteral("set"), QStringLiteral("STATUS=DSQ")});
    QCOMPARE(r.exitCode, 1);

    // A status with another column: both change.
    r = c.run({QStringLiteral("archer"), QStringLiteral("2"), QStringLiteral("set"), QStringLiteral("STATUS=DSQ"),
               QStringLiteral("NAME=Wolff")});
    QCOMPARE(r.err, QString());
    QCOMPARE(c.rows("select NAME from ARCHER where ARCHERID = 2"), std::vector<std::string>{"Wolff"});

    const RunResult listed = c.run({QStringLiteral("archers")});
    const QStringList lines = listed.out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(lines[0].endsWith(QStringLiteral("STATUS")));
    QVERIFY2(lines[1].endsWith(QStringLiteral("DNS")), qPrintable(lines[1]));
    QVERIFY(lines[2].endsWith(QStringLiteral("DSQ")));

    // Empty clears.
    QCOMPARE(c.run({QStringLiteral("archer"), QStringLiteral("1"), QStringLiteral("set"), QStringLiteral("STATUS=")})
                 .exitCode,
             0);
    QCOMPARE(c.rows("select ARCHERID || STATUS from ARCHERSTATUS"), std::vector<std::string>{"2DSQ"});

    // An import file's STATUS column; a status no archer can have refuses the whole file.
    c.seed({"ALTER SEQUENCE GEN_ARCHER_ID RESTART WITH 100"});   // the archers above were seeded with their numbers
    const QString csv = c.file(QStringLiteral("more.csv"));
    const auto importFile = [&](const QByteArray& status) {
        QFile f(csv);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write("LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS,STATUS\n"
                "7,A,7A,Neu,M,Deutschland,Recurve,Adult,Men,\n"
                "8,A,8A,Spaet,M,Deutschland,Recurve,Adult,Men," + status + "\n");
        f.close();
        return c.run({QStringLiteral("import"), csv});
    };
    r = importFile("late");
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("line 3: STATUS")), qPrintable(r.err));
    QCOMPARE(c.count("select count(*) from ARCHER"), 2);
    r = importFile("dnf");
    QCOMPARE(r.err, QString());
    QCOMPARE(c.rows("select a.NAME || s.STATUS from ARCHERSTATUS s join ARCHER a on a.ARCHERID = s.ARCHERID "
                    "order by a.NAME"),
             (std::vector<std::string>{"SpaetDNF", "WolffDSQ"}));
}

void TestFinal::shootOffOrdersOnlyTheStillTied()
{
    FinalCompetition c;
    c.archer(1, "Top", 1);
    c.archer(2, "Bauer", 2);
    c.archer(3, "Koch", 3);
    c.archer(4, "Wolf", 4);
    c.archer(5, "Last", 5);
    c.arrows(1, 30, 30);
    for (int id : {2, 3, 4})
        c.arrows(id, 20, 20);
    c.arrows(5, 0, 20);

    CompetitionResults r = c.results();
    QCOMPARE(placings(r.lists[0]), QStringLiteral("1:Top 2:Bauer 2:Koch 2:Wolf 5:Last"));
    QCOMPARE(r.lists[0].openTies.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(openTieText(r.lists[0].openTies[0])),
             QStringLiteral("Tie for place 2: Bauer; Koch and Wolf: shoot-off needed"));
    QVERIFY(resultsAsText(r).contains(QStringLiteral("Tie for place 2: Bauer; Koch and Wolf: shoot-off needed")));

    const QString list = QString::fromLatin1(r.lists[0].name.c_str());
    const RunResult so = c.run({QStringLiteral("shootoff"), QStringLiteral("--list"), list, QStringLiteral("4"),
                                QStringLiteral("2"), QStringLiteral("3")});
    QCOMPARE(so.err, QString());
    r = c.results();
    QCOMPARE(placings(r.lists[0]), QStringLiteral("1:Top 2SO:Wolf 3SO:Bauer 4SO:Koch 5:Last"));
    QVERIFY(r.lists[0].openTies.empty());

    // Bauer's card gets one more point: no longer tied, ranked on the score;
    // the shoot-off stays in force for the two still tied.
    c.seed({"update POINTS set POINT = 9 where ARCHERID = 2 and ROUNDNO = 2 and ARROWNO = 30"});
    r = c.results();
    QCOMPARE(placings(r.lists[0]), QStringLiteral("1:Top 2:Bauer 3SO:Wolf 4SO:Koch 5:Last"));
}

void TestFinal::shootOffRefusedForArchersNotTied()
{
    FinalCompetition c;
    c.archer(1, "Koch, Emil", 1);
    c.archer(2, "Wolf, Anna", 2);
    c.archer(3, "Brandt, Udo", 3);
    c.arrows(1, 20, 20);
    c.arrows(2, 20, 20);
    c.arrows(3, 19, 22);   // the same total, fewer tens
    const QString list = QString::fromLatin1(c.results().lists[0].name.c_str());

    RunResult r = c.run({QStringLiteral("shootoff"), QStringLiteral("--list"), list, QStringLiteral("1"),
                         QStringLiteral("3")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("Koch, Emil (1) and Brandt, Udo (3) are not tied: TENS 20 against 19")),
             qPrintable(r.err));
    r = c.run({QStringLiteral("shootoff"), QStringLiteral("--list"), list, QStringLiteral("1"), QStringLiteral("7")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("archer 7 is not on the list")));
    r = c.run({QStringLiteral("shootoff"), QStringLiteral("--list"), QStringLiteral("No such list"), QStringLiteral("1"),
               QStringLiteral("2")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!c.rows("select count(*) from RDB$RELATIONS where RDB$RELATION_NAME = 'SHOOTOFFS'").empty());
    QCOMPARE(c.count("select count(*) from RDB$RELATIONS where RDB$RELATION_NAME = 'SHOOTOFFS'"), 0);

    QCOMPARE(c.run({QStringLiteral("shootoff"), QStringLiteral("--list"), list, QStringLiteral("2"), QStringLiteral("1")})
                 .exitCode,
             0);
    QCOMPARE(placings(c.results().lists[0]), QStringLiteral("1SO:Wolf, Anna 2SO:Koch, Emil 3:Brandt, Udo"));
}

void TestFinal::openTieForTheCutOff()
{
    FinalCompetition c;
    for (int id = 1; id <= 6; ++id)
        c.archer(id, "A" + std::to_string(id), id);
    c.arrows(1, 40, 20);
    c.arrows(2, 35, 25);
    c.arrows(3, 30, 30);
    c.arrows(4, 20, 20);
    c.arrows(5, 20, 20);
    c.arrows(6, 10, 10);
    QCOMPARE(c.run({QStringLiteral("lists"), QStringLiteral("add"), QStringLiteral("Qualification")}).exitCode, 0);
    CompetitionResults r = c.results();
    QVERIFY(r.lists[0].openTies.empty());   // 4 and 5 share place 4, which decides nothing yet

    // Four go on to the finals: the tie for place 4 decides who does.
    const RunResult set = c.run({QStringLiteral("lists"), QStringLiteral("set"), QStringLiteral("Qualification"),
                                 QStringLiteral("CUTOFF=4")});
    QCOMPARE(set.err, QString());
    r = c.results();
    QCOMPARE(r.lists[0].openTies.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(openTieText(r.lists[0].openTies[0])),
             QStringLiteral("Tie for place 4: A4 and A5: shoot-off needed"));
    QCOMPARE(c.run({QStringLiteral("lists"), QStringLiteral("set"), QStringLiteral("Qualification"),
                    QStringLiteral("CUTOFF=5")})
                 .exitCode,
             0);
    QVERIFY(c.results().lists[0].openTies.empty());
}

void TestFinal::teamsCountTheBestMembers()
{
    FinalCompetition c;
    // Deutschland: 560, 550, 540 count, 500 does not; a 600 not on the team.
    c.archer(1, "D1", 1, 1);
    c.archer(2, "D2", 2, 1);
    c.archer(3, "D3", 3, 1);
    c.archer(4, "D4", 4, 1);
    c.archer(5, "Dsolo", 5, 1, false);
    c.arrows(1, 20, 40);   // 560
    c.arrows(2, 10, 50);   // 550
    c.arrows(3, 0, 60);    // 540
    c.arrows(4, 0, 20);    // 500
    c.arrows(5, 60, 0);    // 600
    // Danmark: 1650 as well, with more tens.
    c.archer(11, "K1", 11, 2);
    c.archer(12, "K2", 12, 2);
    c.archer(13, "K3", 13, 2);
    c.arrows(11, 30, 20);  // 560 with 30 tens ... 300 + 180 + 80
    c.arrows(12, 10, 50);  // 550
    c.arrows(13, 0, 60);   // 540
    // Sverige: two members only.
    c.archer(21, "S1", 21, 3);
    c.archer(22, "S2", 22, 3);
    c.arrows(21, 60, 0);
    c.arrows(22, 60, 0);
    // A DSQ member does not count.
    c.archer(14, "K4dsq", 14, 2);
    c.arrows(14, 60, 0);
    c.seed({"CREATE TABLE ARCHERSTATUS (ARCHERID INTEGER NOT NULL, STATUS VARCHAR(3) NOT NULL, PRIMARY KEY (ARCHERID))"});
    c.seed({"insert into ARCHERSTATUS values (14, 'DSQ')"});
    QCOMPARE(c.run({QStringLiteral("lists"), QStringLiteral("add"), QStringLiteral("Teams"), QStringLiteral("--team")})
                 .exitCode,
             0);

    CompetitionResults r = c.results(std::string("Teams"));
    QCOMPARE(r.lists.size(), std::size_t(1));
    const ResultList& teams = r.lists[0];
    QVERIFY(teams.team);
    QCOMPARE(teamPlacings(teams), QStringLiteral("1:Danmark=1650 2:Deutschland=1650 0:Sverige=1200"));
    QCOMPARE(teams.teams[0].sum.tens(), 40);
    QCOMPARE(teams.teams[1].counted, 3);
    QCOMPARE(teams.teams[1].members.size(), std::size_t(4));
    QVERIFY(teams.teams[2].shortTeam);
    QCOMPARE(teamMembersText(teams.teams[1]), QStringLiteral("D1 560; D2 550; D3 540"));
    // The tie-break settled places 1 and 2: no tie is open.
    QVERIFY(teams.openTies.empty());

    // Two members count: Sverige's 1200 leads, and every team is whole.
    QCOMPARE(c.run({QStringLiteral("lists"), QStringLiteral("set"), QStringLiteral("Teams"), QStringLiteral("TEAMSIZE=2")})
                 .exitCode,
             0);
    r = c.results(std::string("Teams"));
    QCOMPARE(teamPlacings(r.lists[0]), QStringLiteral("1:Sverige=1200 2:Danmark=1110 3:Deutschland=1110"));
}

void TestFinal::teamListOnEveryOutput()
{
    FinalCompetition c;
    c.archer(1, "D1", 1, 1);
    c.archer(2, "D2", 2, 1);
    c.archer(3, "S1", 3, 3);
    c.arrows(1, 20, 40);
    c.arrows(2, 10, 50);
    c.arrows(3, 0, 60);
    QCOMPARE(c.run({QStringLiteral("lists"), QStringLiteral("add"), QStringLiteral("Teams"), QStringLiteral("--team")})
                 .exitCode,
             0);
    QCOMPARE(c.run({QStringLiteral("lists"), QStringLiteral("set"), QStringLiteral("Teams"), QStringLiteral("TEAMSIZE=2")})
                 .exitCode,
             0);
    const RunResult text = c.run({QStringLiteral("results"), QStringLiteral("--list"), QStringLiteral("Teams")});
    QCOMPARE(text.err, QString());
    QCOMPARE(text.exitCode, 0);
    QVERIFY2(text.out.contains(QStringLiteral("Teams (2 teams, 2 counted)")), qPrintable(text.out));
    QVERIFY(text.out.contains(QStringLiteral("    1  Deutschland  D1 560; D2 550   1110")));
    QVERIFY(text.out.contains(QStringLiteral("1 of 2 archers  Sverige")));

    const QString csv = c.file(QStringLiteral("t.csv"));
    const QString html = c.file(QStringLiteral("t.html"));
    QCOMPARE(c.run({QStringLiteral("results"), QStringLiteral("--csv"), csv, QStringLiteral("--html"), html}).exitCode, 0);
    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QString rows = QString::fromUtf8(csvFile.readAll());
    QVERIFY2(rows.contains(QStringLiteral("Teams,1,,Deutschland,Deutschland,570,540,1110,30,0,90,120,yes,,D1 560; D2 550")),
             qPrintable(rows));
    QVERIFY(rows.contains(QStringLiteral("Teams,,,Sverige,Sverige,270,270,540,0,0,60,60,yes,1 of 2 archers,S1 540")));
    QFile htmlFile(html);
    QVERIFY(htmlFile.open(QIODevice::ReadOnly));
    const QString markup = QString::fromUtf8(htmlFile.readAll());
    QVERIFY(markup.contains(QStringLiteral("Teams (teams, best 2 count)")));
    QVERIFY(markup.contains(QStringLiteral("D1 560; D2 550")));
}

void TestFinal::cardDifferencesNameEachNumber()
{
    ArcherResult a;
    a.roundPoints = {272, 268};
    a.count[10] = 9;
    a.xs = 4;
    a.arrowsEntered = 60;
    QVERIFY(cardDifferences(a, {{272, 268}, 9, 4}).isEmpty());
    QCOMPARE(cardDifferences(a, {{270, 268}, 9, 5}),
             QStringList({QStringLiteral("Round 1: signed 270, entered 272"), QStringLiteral("Xs: signed 5, entered 4")}));
    a.arrowsEntered = 57;
    QCOMPARE(cardDifferences(a, {{272, 268}, 9, 4}), QStringList{QStringLiteral("only 57 of 60 arrows are entered")});
    a.status = "DNF";   // a retired archer's card holds what was shot
    QVERIFY(cardDifferences(a, {{272, 268}, 9, 4}).isEmpty());
}

void TestFinal::verifiedCardLocksTheWindowsSave()
{
    FinalCompetition c;
    c.archer(1, "Koch", 1);
    c.archer(2, "Wolf", 2);
    c.arrows(1, 10, 20, 0, 59);   // round 2, arrow 30 still empty
    c.arrows(2, 10, 20);
    {
        db::Connection connection;
        c.attach(connection);
        markCardVerified(connection, 1, "STATION3");
    }
    const std::vector<std::string> before = c.rows("select POINT || \"CROSS\" || EMPTYSCORE from POINTS order by 1");

    auto dm = c.connectContext();
    TfrmVuRudiCompetition form(dm.get());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.lblIDVal->text(), QStringLiteral("1"));
    // Moving on without a change saves nothing and passes.
    form.dxBtnNext->click();
    QCOMPARE(errors_, QStringList());
    QCOMPARE(messages_, QStringList());
    QCOMPARE(form.lblIDVal->text(), QStringLiteral("2"));
    form.dxBtnPrior->click();

    typeInto(form.PointEdits.last(), QStringLiteral("9"));
    form.dxBtnNext->click();
    // One message naming who verified the card and when; the archer and the
    // typed arrow stay on screen; nothing is stored.
    const QStringList all = errors_ + messages_;
    QCOMPARE(all.size(), 1);
    QVERIFY2(all[0].startsWith(QStringLiteral("The card of archer 1 was verified by STATION3 at ")), qPrintable(all[0]));
    QVERIFY2(!all[0].contains(QStringLiteral("TALLYON_CARD_LOCKED")), qPrintable(all[0]));   // no engine lines
    QVERIFY(all[0].contains(QStringLiteral("Unlock it with tallyon verify DB --unlock 1.")));
    QCOMPARE(form.lblIDVal->text(), QStringLiteral("1"));
    QCOMPARE(form.PointEdits.last()->text(), QStringLiteral("9"));
    QCOMPARE(c.rows("select POINT || \"CROSS\" || EMPTYSCORE from POINTS order by 1"), before);

    // Unlocked, the same move stores the arrow.
    {
        db::Connection connection;
        c.attach(connection);
        QVERIFY(unlockCard(connection, 1));
    }
    errors_.clear();
    messages_.clear();
    form.dxBtnNext->click();
    QCOMPARE(errors_ + messages_, QStringList());
    QCOMPARE(c.rows("select POINT from POINTS where ARCHERID = 1 and ROUNDNO = 2 and ARROWNO = 30"),
             std::vector<std::string>{"9"});
    form.hide();
}

void TestFinal::verifyWindowChecksTypedAndScannedCards()
{
    FinalCompetition c;
    c.archer(7, "Koch", 5);
    c.archer(8, "Wolf", 6);
    c.arrows(7, 10, 20, 3);   // round 1: 10 tens, 20 nines = 280; round 2: 240
    c.arrows(8, 0, 60);       // 270 and 270
    db::Connection connection;
    c.attach(connection);
    ensureCardLock(connection);   // as the verify command does on opening
    VerifyWindow window(connection, "TABLE1");
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* archer = window.findChild<QLineEdit*>(QStringLiteral("archer"));
    auto* round1 = window.findChild<QLineEdit*>(QStringLiteral("round1"));
    const auto typeAndEnter = [](QWidget* box, const QString& keys) {
        QTest::keyClicks(box, keys);
        QTest::keyClick(box, Qt::Key_Return);
    };

    // By lane; the numbers typed with Enter after each; one differs.
    archer->setFocus();
    typeAndEnter(archer, QStringLiteral("5a"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("archerName"))->text(), QStringLiteral("Koch, lane 5A (no. 7)"));
    QCOMPARE(QApplication::focusWidget(), round1);
    for (const char* n : {"280", "240", "10", "4"})
        typeAndEnter(QApplication::focusWidget(), QLatin1String(n));
    QVERIFY(!window.lastCheckPassed());
    QVERIFY2(window.message().contains(QStringLiteral("Xs: signed 4, entered 3")), qPrintable(window.message()));
    QVERIFY(window.findChild<QPlainTextEdit*>(QStringLiteral("card"))->toPlainText().contains(
        QStringLiteral("R1 E 1: X X X = 30 ( 30)")));
    QCOMPARE(c.count("select count(*) from CARDCHECKS"), 0);

    // The Xs corrected: verified, recorded, and the window waits for the next card.
    QTest::keyClick(window.findChild<QLineEdit*>(QStringLiteral("xs")), Qt::Key_Backspace);
    typeAndEnter(window.findChild<QLineEdit*>(QStringLiteral("xs")), QStringLiteral("3"));
    QVERIFY2(window.lastCheckPassed(), qPrintable(window.message()));
    QVERIFY(window.message().contains(QStringLiteral("verified by TABLE1")));
    QCOMPARE(c.rows("select ARCHERID || CHECKEDBY from CARDCHECKS"), std::vector<std::string>{"7TABLE1"});
    QCOMPARE(QApplication::focusWidget(), archer);
    QVERIFY(archer->text().isEmpty());

    // A scanned card: the archer's number, then Enter.
    typeAndEnter(archer, QStringLiteral("8"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("archerName"))->text(), QStringLiteral("Wolf, lane 6A (no. 8)"));
    for (const char* n : {"270", "270", "0", "0"})
        typeAndEnter(QApplication::focusWidget(), QLatin1String(n));
    QVERIFY(window.lastCheckPassed());
    QCOMPARE(c.count("select count(*) from CARDCHECKS"), 2);

    // Its button (F9) unlocks the card just checked.
    window.findChild<QPushButton*>(QStringLiteral("unlock"))->click();
    QCOMPARE(c.rows("select ARCHERID from CARDCHECKS"), std::vector<std::string>{"7"});

    typeAndEnter(archer, QStringLiteral("99"));
    QVERIFY(window.message().contains(QStringLiteral("No archer")));
}

void TestFinal::listIsFinalOnceEveryCardIsVerified()
{
    FinalCompetition c;
    c.archer(1, "Koch", 1);
    c.archer(2, "Wolf", 2);
    c.archer(3, "Gone", 3);
    c.archer(4, "Late", 4);
    c.arrows(1, 20, 20);
    c.arrows(2, 20, 20);
    c.arrows(4, 0, 60);
    QCOMPARE(c.run({QStringLiteral("archer"), QStringLiteral("3"), QStringLiteral("set"), QStringLiteral("STATUS=DNS")})
                 .exitCode,
             0);
    {
        db::Connection connection;
        c.attach(connection);
        for (std::int32_t id : {1, 2, 4})
            markCardVerified(connection, id, "T");
    }
    CompetitionResults r = c.results();
    // Every card checked, but the tie for place 1 is open.
    QCOMPARE(listStateText(r.lists[0]), QStringLiteral("provisional: 3 of 3 cards verified"));
    const QString list = QString::fromLatin1(r.lists[0].name.c_str());
    QCOMPARE(c.run({QStringLiteral("shootoff"), QStringLiteral("--list"), list, QStringLiteral("2"), QStringLiteral("1")})
                 .exitCode,
             0);
    r = c.results();
    QVERIFY(r.lists[0].isFinal());
    QVERIFY(resultsAsText(r).endsWith(QStringLiteral("\nfinal\n")));
    QVERIFY(resultsAsHtml(r).contains(QStringLiteral(">final</p>")));
    const RunResult unlock = c.run({QStringLiteral("verify"), QStringLiteral("--unlock"), QStringLiteral("4")});
    QCOMPARE(unlock.err, QString());
    QVERIFY(unlock.out.contains(QStringLiteral("archer 4: the card is unlocked")));
    QCOMPARE(listStateText(c.results().lists[0]), QStringLiteral("provisional: 2 of 3 cards verified"));
}

// The demo competition closed as an organiser would: the details set, the
// cards filled in, one archer DNS, a tie for a first place settled by a
// shoot-off, a team list, every card typed into the verify window; the PDF
// then reads "final" under every list. With TALLYON_FINAL_PDF set, the PDF
// is copied there (docs/final-results.png is its first page).
void TestFinal::demoClosesWithFinalResults()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext is not installed");
    TemporaryDatabase demo;
    createDemoCompetition(demo.login);
    const auto run = [&](QStringList args) {
        args.insert(1, demo.path());
        const RunResult r = tallyon(args);
        if (r.exitCode != 0)
            qWarning("%s", qPrintable(r.err));
        return r.exitCode;
    };
    QCOMPARE(run({QStringLiteral("competition"), QStringLiteral("set"), QStringLiteral("NAME=Hallenturnier am Mühlbach"),
                  QStringLiteral("PLACE=Sporthalle Süd"), QStringLiteral("STARTDATE=2026-12-09"),
                  QStringLiteral("FINISHEDDATE=2026-12-10")}),
             0);
    // Every card shot to its end; archer 40 did not start; archer 2 shot
    // exactly what archer 13 did, in the same list.
    std::vector<std::string> sql{"delete from POINTS where EMPTYSCORE = 'T' or ARCHERID = 40"};
    for (int id = 1; id < 40; ++id) {
        for (int n = 0; n < 60; ++n)
            sql.push_back("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) select "
                          + std::to_string(id) + ", " + std::to_string(n / 30 + 1) + ", " + std::to_string(n % 30 + 1)
                          + ", " + std::to_string(10 - (n * 7 + id) % 4) + ", 'F', 'F' from RDB$DATABASE where not exists "
                          "(select 1 from POINTS where ARCHERID = " + std::to_string(id) + " and ROUNDNO = "
                          + std::to_string(n / 30 + 1) + " and ARROWNO = " + std::to_string(n % 30 + 1) + ")");
    }
    demo.seed(sql);
    QCOMPARE(run({QStringLiteral("archer"), QStringLiteral("40"), QStringLiteral("set"), QStringLiteral("STATUS=DNS")}), 0);
    QCOMPARE(run({QStringLiteral("lists"), QStringLiteral("add"), QStringLiteral("Teams"), QStringLiteral("--team")}), 0);

    // Each tie for a medal settled in the order the archers are listed.
    CompetitionResults r;
    {
        db::Connection connection;
        demo.attach(connection);
        r = readResults(connection);
    }
    for (const ResultList& list : r.lists) {
        for (const OpenTie& tie : list.openTies) {
            QStringList args{QStringLiteral("shootoff"), QStringLiteral("--list"), QString::fromLatin1(list.name.c_str())};
            for (const ArcherResult& a : list.archers) {
                if (a.place == tie.place)
                    args << QString::number(a.archerId);
            }
            QVERIFY(!list.team);
            QCOMPARE(run(args), 0);
        }
    }

    // Every card typed as the archer signed it.
    {
        db::Connection connection;
        demo.attach(connection);
        ensureCardLock(connection);
        VerifyWindow window(connection, "Scorers' table");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* archerBox = window.findChild<QLineEdit*>(QStringLiteral("archer"));
        for (const ArcherResult& a : readArcherResults(connection)) {
            if (a.status == "DNS")
                continue;
            QTest::keyClicks(archerBox, QString::number(a.archerId));
            QTest::keyClick(archerBox, Qt::Key_Return);
            for (int n : {a.roundPoints[0], a.roundPoints[1], a.tens(), a.xs}) {
                QTest::keyClicks(QApplication::focusWidget(), QString::number(n));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            }
            QVERIFY2(window.lastCheckPassed(), qPrintable(window.message()));
        }
    }

    const QString pdf = demo.file(QStringLiteral("final.pdf"));
    QCOMPARE(run({QStringLiteral("results"), QStringLiteral("--pdf"), pdf}), 0);
    if (const QString keep = qEnvironmentVariable("TALLYON_FINAL_PDF"); !keep.isEmpty()) {
        QFile::remove(keep);
        QVERIFY(QFile::copy(pdf, keep));
    }
    // The ligature of "fi" read back as two letters.
    const QString text = runProgram(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                             .out.normalized(QString::NormalizationForm_KC);
    QVERIFY(text.contains(QStringLiteral("Hallenturnier am Mühlbach")));
    QVERIFY(text.contains(QStringLiteral("Sporthalle Süd, 2026-12-09 to 2026-12-10, as of ")));
    QVERIFY(text.contains(QStringLiteral("Teams (teams, best 3 count)")));
    QVERIFY(text.contains(QStringLiteral(" SO ")));
    QVERIFY(text.contains(QStringLiteral("DNS")));
    QVERIFY(!text.contains(QStringLiteral("provisional")));
    QVERIFY(!text.contains(QStringLiteral("shoot-off needed")));
    QCOMPARE(text.count(QRegularExpression(QStringLiteral("^\\s*final\\s*$"), QRegularExpression::MultilineOption)),
             int(r.lists.size()));
}

QTEST_MAIN(TestFinal)
#include "tst_final.moc"
