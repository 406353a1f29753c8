// The results: list conditions checked and run with parameters, the
// ranking with its tie-breaks and shared places on real databases, the
// files the program writes read back, and the board shown anew after a
// save from another attachment.

#include "db/connection.h"
#include "db/query.h"
#include "db/transaction.h"
#include "results/board.h"
#include "core/command_error.h"
#include "results/list_filter.h"
#include "results/points_events.h"
#include "results/ranking.h"
#include "results/results_output.h"
#include "results/results_schema.h"
#include "results/code128.h"
#include "results/scorecard.h"
#include "tests/support/competition.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTextDocument>

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
    // Qt's notes on the environment are no errors of ours.
    QStringList lines = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith(QStringLiteral("QStandardPaths:")); });
    r.err = lines.join(u'\n');
    return r;
}

RunResult tallyon(const QStringList& args)
{
    return runProgram(QStringLiteral(TALLYON_EXE), args);
}

// Arrows as (how many, value) runs: "X", "10" to "1", "M", or "" for an
// arrow whose box is still empty.
using Arrows = std::vector<std::pair<int, const char*>>;

// A competition with lookups and archers made by plain statements.
class ResultsCompetition : public TestCompetition {
public:
    ResultsCompetition()
    {
        seed({"insert into BOWTYPES values (1, 'Recurve')", "insert into BOWTYPES values (2, 'Compound')",
             "insert into AGECLASS values (1, 'Adult')", "insert into SHOOTINGCLASSES values (1, 'Men')",
             "insert into SHOOTINGCLASSES values (2, 'Women')",
             "insert into COUNTRY (COUNTRYNUMBER, NAME) values (1, 'Deutschland')",
             "insert into COUNTRY (COUNTRYNUMBER, NAME) values (2, '\xD6sterreich')",
             "insert into COMPETITION (NAME, PLACE) values ('Hallenturnier', 'M\xFChlbach')"});
    }

    // An archer on lane laneNo with its letter; name in ISO 8859-1.
    void archer(int id, const std::string& name, int laneNo, const std::string& letter, const std::string& sex = "M",
                int bow = 1, int shootingClass = 1, int country = 1) const
    {
        seed({archerRow(id, name, laneNo, letter, sex, bow, shootingClass, country)});
    }

    static std::string archerRow(int id, const std::string& name, int laneNo, const std::string& letter,
                                 const std::string& sex = "M", int bow = 1, int shootingClass = 1, int country = 1)
    {
        return {"insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, BOWTYPE, AGECLASSNO, SHOOTINGCLASS,"
             " ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER) values ("
             + std::to_string(id) + ", " + std::to_string(country) + ", '" + name + "', '" + std::to_string(laneNo)
             + letter + "', '" + sex + "', " + std::to_string(bow) + ", 1, " + std::to_string(shootingClass)
             + ", 'T', 'T', " + std::to_string(laneNo) + ", '" + letter + "')"};
    }

    static std::vector<std::string> pointRows(int id, const Arrows& arrows)
    {
        std::vector<std::string> sql;
        int n = 0;
        for (const auto& [count, value] : arrows) {
            for (int i = 0; i < count; ++i, ++n) {
                const std::string v = value;
                const std::string point = v == "X" ? "10" : v == "M" || v.empty() ? "0" : v;
                sql.push_back("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values ("
                              + std::to_string(id) + ", " + std::to_string(n / 30 + 1) + ", "
                              + std::to_string(n % 30 + 1) + ", " + point + ", '" + (v == "X" ? "T" : "F") + "', '"
                              + (v.empty() ? "T" : "F") + "')");
            }
        }
        return sql;
    }

    void arrows(int id, const Arrows& a) const { seed(pointRows(id, a)); }

    CompetitionResults results(const std::optional<std::string>& list = {}) const
    {
        db::Connection connection;
        attach(connection);
        CompetitionResults r = readResults(connection, list);
        connection.disconnect();
        return r;
    }
};

// "place:name" for every archer of a list, joined by " ".
QString placings(const ResultList& list)
{
    QStringList out;
    for (const ArcherResult& a : list.archers)
        out << QString::number(a.place) + u':' + QString::fromLatin1(a.name.c_str());
    return out.join(u' ');
}

// The tie-break field: I beats all on total; B, F, A and C all have 540;
// B has the most 10s, F as many 10s as A and C but more 9s; A and C are
// equal on all three (C's tens are partly Xs, which count as tens); G
// trails; H has only the first round.
void seedTieBreaks(const ResultsCompetition& c)
{
    c.archer(1, "A", 1, "A");
    c.archer(2, "B", 1, "B");
    c.archer(3, "C", 2, "A");
    c.archer(4, "F", 2, "B");
    c.archer(5, "G", 3, "A");
    c.archer(6, "H", 3, "B");
    c.archer(7, "I", 4, "A");
    c.arrows(1, {{20, "10"}, {20, "9"}, {20, "8"}});
    c.arrows(2, {{21, "10"}, {18, "9"}, {21, "8"}});
    c.arrows(3, {{10, "X"}, {10, "10"}, {20, "9"}, {20, "8"}});
    c.arrows(4, {{20, "10"}, {22, "9"}, {16, "8"}, {2, "7"}});
    c.arrows(5, {{20, "10"}, {20, "9"}, {19, "8"}, {1, "M"}});
    c.arrows(6, {{30, "10"}, {30, ""}});
    c.arrows(7, {{60, "X"}});
}

bool pdftotextInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

int pdfPages(const QString& pdf)
{
    const RunResult r = runProgram(QStringLiteral("pdfinfo"), {pdf});
    for (const QString& line : r.out.split(u'\n')) {
        if (line.startsWith(QStringLiteral("Pages:")))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

QString pdfText(const QString& pdf)
{
    return runProgram(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}).out;
}


// A start list's competition: seven lanes (two pages), a club on one lane,
// a class name longer than its column, and the competition's dates.
void seedStartList(const ResultsCompetition& c)
{
    c.seed({"insert into AGECLASS values (2, 'Erwachsene Sch\xFCtzenklasse')",
            "update COMPETITION set STARTDATE = '2026-12-12', FINISHEDDATE = '2026-12-13'"});
    std::vector<std::string> sql;
    int id = 1;
    for (int lane = 1; lane <= 7; ++lane) {
        for (const char* letter : {"A", "B"}) {
            sql.push_back(ResultsCompetition::archerRow(id, "Sch\xFCtze " + std::to_string(id), lane, letter,
                                                        id % 2 ? "M" : "F", 1 + id % 2, 1 + id % 2, 1 + id % 2));
            ++id;
        }
    }
    sql.push_back("update ARCHER set USERDEF1 = 'BSC M\xFChlbach', AGECLASSNO = 2 where LANENO = 2");
    c.seed(sql);
}

// The golden file's text. With TALLYON_UPDATE_GOLDEN set, actual is
// written into the source tree's file first, to be read over and committed.
QString golden(const char* name, const QString& actual)
{
    if (qEnvironmentVariableIsSet("TALLYON_UPDATE_GOLDEN")) {
        QFile out(QStringLiteral(QT_TESTCASE_SOURCEDIR "/data/") + QLatin1String(name));
        if (out.open(QIODevice::WriteOnly))
            out.write(actual.toUtf8());
    }
    QFile f(QFINDTESTDATA(QStringLiteral("data/") + QLatin1String(name)));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("<no golden file %1>").arg(QLatin1String(name));
    return QString::fromUtf8(f.readAll());
}

} // namespace

class TestResults : public QObject {
    Q_OBJECT

private slots:
    void filterIsCompiledToParameters_data();
    void filterIsCompiledToParameters();
    void filterIsRefused_data();
    void filterIsRefused();

    void tieBreaksAndSharedPlaces();
    void rulesAreReadFromTheDatabase_data();
    void rulesAreReadFromTheDatabase();
    void unknownRuleIsRefused();
    void categoriesWithoutLists();
    void competitionDetailsAndHeading();
    void listConditionsSelectArchers();
    void storedMaliciousConditionIsRefused();
    void scoreCardShowsEndsAndRunningTotals();

    void storedArrowsNoArrowCanBe_data();
    void storedArrowsNoArrowCanBe();
    void csvWrittenAndReadBack();
    void csvGuardsFormulas();
    void pdfWrittenAndReadBack();
    void listsCommands();
    void scorecardPdfHasTwoCardsAPage();
    void code128CheckDigits_data();
    void code128CheckDigits();
    void startListMatchesItsGoldenFiles();
    void blankCardsMatchTheirGoldenText();
    void fullCardMatchesItsGoldenText();
    void resultsHtmlMatchesItsGoldenFile();
    void cardBarcodesDecode();

    void savedPointsReachTheListener();
    void boardIsShownAnewAfterASave();
    void boardPagesKeepTitlesWithRows_data();
    void boardPagesKeepTitlesWithRows();
    void boardPagesFitAboveTheStatusLine();
    void boardWithoutADisplay();
};

void TestResults::filterIsCompiledToParameters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("params");

    QTest::newRow("empty: every archer") << "" << "" << QStringList();
    QTest::newRow("text") << "SEX = 'F'" << "SEX = ?" << QStringList{"F"};
    QTest::newRow("lower case, != ") << "sex != 'F'" << "SEX <> ?" << QStringList{"F"};
    QTest::newRow("quote doubled") << "NAME = 'O''Neill'" << "NAME = ?" << QStringList{"O'Neill"};
    QTest::newRow("numbers, and/or, parentheses")
        << "BOWTYPE = 1 and (LANENO < 5 or LANENO >= 10)" << "BOWTYPE = ? and (LANENO < ? or LANENO >= ?)"
        << QStringList{"1", "5", "10"};
    QTest::newRow("negative number") << "LANENO > -3" << "LANENO > ?" << QStringList{"-3"};
    QTest::newRow("like") << "NAME like 'J%'" << "NAME like ?" << QStringList{"J%"};
    QTest::newRow("not like") << "NAME not like '%x'" << "NAME not like ?" << QStringList{"%x"};
    QTest::newRow("in") << "LANENO in (1, 2,3)" << "(LANENO in (?, ?, ?))" << QStringList{"1", "2", "3"};
    QTest::newRow("not in") << "SEX not in ('F')" << "not (SEX in (?))" << QStringList{"F"};
    QTest::newRow("is null") << "USERDEF1 is null" << "USERDEF1 is null" << QStringList();
    QTest::newRow("is not null") << "USERDEF1 IS NOT NULL" << "USERDEF1 is not null" << QStringList();
    QTest::newRow("not") << "not ENABLEFINALS = 'F'" << "not (ENABLEFINALS = ?)" << QStringList{"F"};
    QTest::newRow("bow type by name")
        << "BOWTYPE = 'Recurve'" << "BOWTYPE in (select TYPENO from BOWTYPES where upper(DESCRIPTION) = upper(?))"
        << QStringList{"Recurve"};
    QTest::newRow("the import's names of columns")
        << "AGECLASS = 'Adult' and COUNTRY = 1 and CLUB like 'BSC%'"
        << "AGECLASSNO in (select AGECLASSNO from AGECLASS where upper(DESCRIPTION) = upper(?)) and COUNTRYNUMBER = ?"
           " and USERDEF1 like ?"
        << QStringList{"Adult", "1", "BSC%"};
    QTest::newRow("country not by name")
        << "COUNTRYNUMBER <> 'France'"
        << "COUNTRYNUMBER not in (select COUNTRYNUMBER from COUNTRY where upper(NAME) = upper(?))" << QStringList{"France"};
    QTest::newRow("in, names and numbers")
        << "SHOOTINGCLASS in ('Men', 2)"
        << "(SHOOTINGCLASS in (?) or SHOOTINGCLASS in (select SHOOTINGCLASSNO from SHOOTINGCLASSES where "
           "upper(DESCRIPTION) in (upper(?))))"
        << QStringList{"2", "Men"};
    QTest::newRow("a keyword inside text stays text")
        << "NAME = 'x'' or 1=1; drop table ARCHER --'" << "NAME = ?"
        << QStringList{"x' or 1=1; drop table ARCHER --"};
}

void TestResults::filterIsCompiledToParameters()
{
    QFETCH(QString, filter);
    QFETCH(QString, sql);
    QFETCH(QStringList, params);
    const CompiledFilter f = compileListFilter(filter.toStdString());
    QCOMPARE(QString::fromStdString(f.sql), sql);
    QStringList got;
    for (const db::Value& v : f.params)
        got << QString::fromStdString(v.toText());
    QCOMPARE(got, params);
    QCOMPARE(qsizetype(std::count(f.sql.begin(), f.sql.end(), '?')), params.size());
}

void TestResults::filterIsRefused_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("message");

    QTest::newRow("always true") << "1=1" << "expected a column";
    QTest::newRow("or 1=1") << "SEX = 'F' or 1 = 1" << "expected a column";
    QTest::newRow("second statement") << "SEX = 'F'; drop table ARCHER" << "\";\"";
    QTest::newRow("comment") << "SEX = 'F' -- x" << "\"-\"";
    QTest::newRow("block comment") << "SEX = 'F' /* x */" << "\"/\"";
    QTest::newRow("sub-select") << "NAME = (select NAME from ARCHER)" << "expected a value";
    QTest::newRow("system table") << "RDB$RELATION_NAME = 'X'" << "\"$\"";
    QTest::newRow("another table's column") << "POINT > 5" << "no column of ARCHER";
    QTest::newRow("function") << "upper(NAME) = 'X'" << "no column of ARCHER";
    QTest::newRow("concatenation") << "NAME || 'x' = 'y'" << "\"|\"";
    QTest::newRow("double quotes") << "SEX = \"F\"" << "\"\"\"";
    QTest::newRow("unclosed quote") << "SEX = 'F" << "not closed";
    QTest::newRow("text for a number") << "LANENO = '5'" << "takes a number";
    QTest::newRow("number for text") << "SEX = 1" << "takes text";
    QTest::newRow("bare word value") << "SEX = F" << "expected a value";
    QTest::newRow("out of range") << "LANENO = 99999999999" << "out of range";
    QTest::newRow("decimal") << "LANENO = 1.5" << "whole number";
    QTest::newRow("like on a number") << "LANENO like '1%'" << "text columns only";
    QTest::newRow("name with <") << "BOWTYPE < 'Recurve'" << "by =, <> or IN";
    QTest::newRow("dangling and") << "SEX = 'F' and" << "expected a column";
    QTest::newRow("trailing words") << "SEX = 'F' SEX = 'M'" << "expected AND, OR";
    QTest::newRow("unbalanced") << "(SEX = 'F'" << "expected \")\"";
    QTest::newRow("too deep") << QString(30, u'(') + "SEX = 'F'" + QString(30, u')') << "nests too deeply";
    QTest::newRow("too long") << "NAME = '" + QString(1000, u'x') + "'" << "at most 1000";
}

void TestResults::filterIsRefused()
{
    QFETCH(QString, filter);
    QFETCH(QString, message);
    try {
        compileListFilter(filter.toStdString());
        QFAIL("the condition was accepted");
    } catch (const ListFilterError& e) {
        QVERIFY2(QString::fromStdString(e.what()).contains(message), e.what());
    }
}

void TestResults::tieBreaksAndSharedPlaces()
{
    ResultsCompetition c;
    seedTieBreaks(c);
    const CompetitionResults r = c.results();
    QCOMPARE(r.lists.size(), std::size_t(1));
    QCOMPARE(placings(r.lists[0]), QStringLiteral("1:I 2:B 3:F 4:A 4:C 6:G 7:H"));

    const auto find = [&](const char* name) {
        for (const ArcherResult& a : r.lists[0].archers) {
            if (a.name == name)
                return a;
        }
        throw std::runtime_error("no archer");
    };
    const ArcherResult c3 = find("C");
    QCOMPARE(c3.total, 540);
    QCOMPARE(c3.tens(), 20);   // Xs counted as tens
    QCOMPARE(c3.xs, 10);
    QCOMPARE(c3.nines(), 20);
    QCOMPARE(c3.roundPoints[0] + c3.roundPoints[1], 540);
    QCOMPARE(c3.roundPoints[0], 10 * 10 + 10 * 10 + 10 * 9);
    QVERIFY(!c3.incomplete());

    const ArcherResult h = find("H");
    QCOMPARE(h.arrowsEntered, 30);
    QVERIFY(h.incomplete());
    QCOMPARE(h.roundPoints[1], 0);
    QCOMPARE(find("G").arrowsEntered, 60);   // a miss is an entered arrow
    QCOMPARE(find("G").count[0], 1);

    // The terminal table marks the incomplete archer, and hides nobody.
    const QString text = resultsAsText(r);
    QVERIFY2(text.contains(QStringLiteral("30/60 incomplete")), qPrintable(text));
    QCOMPARE(text.count(QStringLiteral("60/60")), 6);
    // Its columns line up: every row of the table is as wide as its heading.
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    const qsizetype end = lines[2].indexOf(QStringLiteral("Total")) + 5;
    for (int i = 3; i < lines.size() - 1; ++i)
        QVERIFY2(lines[i].at(end - 1).isDigit() && lines[i].at(end) == u' ', qPrintable(lines[i]));
    // A and C share place 4, which decides nothing: the list's last line is its state.
    QCOMPARE(lines.last(), QStringLiteral("provisional: 0 of 7 cards verified"));
}

void TestResults::rulesAreReadFromTheDatabase_data()
{
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<QString>("placings");

    QTest::newRow("Xs second") << QStringList{"TOTAL", "XS"} << "1:I 2:C 3:A 3:B 3:F 6:G 7:H";
    QTest::newRow("total only") << QStringList{"TOTAL"} << "1:I 2:A 2:B 2:C 2:F 6:G 7:H";
    QTest::newRow("9s before 10s") << QStringList{"total", " NINES ", "TENS"} << "1:I 2:F 3:A 3:C 5:B 6:G 7:H";
    QTest::newRow("hits first") << QStringList{"HITS", "TOTAL", "TENS"} << "1:I 2:B 3:A 3:C 3:F 6:G 7:H";
}

void TestResults::rulesAreReadFromTheDatabase()
{
    QFETCH(QStringList, rules);
    QFETCH(QString, placings);
    ResultsCompetition c;
    seedTieBreaks(c);
    {
        // The first read creates the table with the indoor rule.
        db::Connection connection;
        c.attach(connection);
        const std::vector<RankRule> first = readRankRules(connection);
        QCOMPARE(first.size(), std::size_t(3));
        QCOMPARE(QString::fromLatin1(criterionWord(first[1].criterion)), QStringLiteral("TENS"));
        connection.disconnect();
    }
    std::vector<std::string> sql{"delete from RANKINGRULES"};
    for (int i = 0; i < rules.size(); ++i)
        sql.push_back("insert into RANKINGRULES values (" + std::to_string(i + 1) + ", '" + rules[i].toStdString() + "')");
    c.seed(sql);
    QCOMPARE(::placings(c.results().lists.at(0)), placings);
}

void TestResults::unknownRuleIsRefused()
{
    ResultsCompetition c;
    seedTieBreaks(c);
    c.results();
    c.seed({"update RANKINGRULES set CRITERION = 'LUCK' where RULENO = 2"});
    QVERIFY_THROWS_EXCEPTION(CommandError, c.results());
    c.seed({"delete from RANKINGRULES"});
    QVERIFY_THROWS_EXCEPTION(CommandError, c.results());
}

void TestResults::categoriesWithoutLists()
{
    ResultsCompetition c;
    c.archer(1, "Herr Recurve", 1, "A");
    c.archer(2, "Frau Recurve", 1, "B", "F", 1, 2);
    c.archer(3, "Herr Compound", 2, "A", "M", 2);
    c.archer(4, "Zweiter Recurve", 2, "B");
    c.archer(5, "Sex unknown", 3, "A", "");
    c.arrows(4, {{3, "9"}});
    const CompetitionResults r = c.results();
    QStringList names;
    for (const ResultList& l : r.lists)
        names << QString::fromLatin1(l.name.c_str()) + u'=' + QString::number(l.archers.size());
    QCOMPARE(names, (QStringList{"Recurve / Men / Adult / no sex=1", "Recurve / Men / Adult / M=2",
                                 "Recurve / Women / Adult / F=1", "Compound / Men / Adult / M=1"}));
    QCOMPARE(placings(r.lists[1]), QStringLiteral("1:Zweiter Recurve 2:Herr Recurve"));
    QCOMPARE(r.lists[1].archers[1].arrowsEntered, 0);
}

void TestResults::competitionDetailsAndHeading()
{
    ResultsCompetition c;
    const std::unique_ptr<db::Connection> connection = c.attachment();
    QCOMPARE(competitionHeading(readCompetition(*connection)), QStringLiteral("Hallenturnier, Mühlbach"));
    c.seed({"update COMPETITION set STARTDATE = '2026-12-09'"});
    QCOMPARE(competitionHeading(readCompetition(*connection)), QStringLiteral("Hallenturnier, Mühlbach, 2026-12-09"));
    c.seed({"update COMPETITION set PLACE = null, FINISHEDDATE = '2026-12-10'"});
    QCOMPARE(competitionHeading(readCompetition(*connection)),
             QStringLiteral("Hallenturnier, 2026-12-09 to 2026-12-10"));
    c.seed({"delete from COMPETITION"});
    QCOMPARE(competitionHeading(readCompetition(*connection)), QString());
}

void TestResults::listConditionsSelectArchers()
{
    ResultsCompetition c;
    seedTieBreaks(c);
    c.archer(8, "Frau Compound", 5, "A", "F", 2, 2, 2);
    c.arrows(8, {{60, "9"}});
    c.seed({"insert into RESULTLISTS values ('Everybody', null, 'INDIVIDUAL')",
           "insert into RESULTLISTS values ('Lanes 2 and 3', 'LANENO in (2, 3)', 'INDIVIDUAL')",
           "insert into RESULTLISTS values ('Compound', 'BOWTYPE = ''Compound''', 'INDIVIDUAL')",
           "insert into RESULTLISTS values ('From \xD6sterreich', 'COUNTRYNUMBER = ''\xD6sterreich''', 'INDIVIDUAL')",
           "insert into RESULTLISTS values ('Named A or I', 'NAME in (''A'', ''I'') or LANE like ''4%''', 'INDIVIDUAL')",
           "insert into RESULTLISTS values ('Teams', 'SEX = ''F''', 'TEAM')"});
    const CompetitionResults r = c.results();
    QStringList got;
    for (const ResultList& l : r.lists)
        got << QString::fromLatin1(l.name.c_str()) + u'=' + placings(l);
    QCOMPARE(got, (QStringList{"Compound=1:Frau Compound", "Everybody=1:I 2:B 3:F 4:A 4:C 6:Frau Compound 7:G 8:H",
                               QString::fromLatin1("From \xD6sterreich=1:Frau Compound"),
                               "Lanes 2 and 3=1:F 2:C 3:G 4:H",
                               "Named A or I=1:I 2:A", "Teams=1:Frau Compound"}));
    // The team list follows the individual lists, its team short of members.
    QCOMPARE(r.lists.back().teams.size(), std::size_t(1));
    QVERIFY(r.lists.back().teams[0].shortTeam);
    // One list on its own.
    const CompetitionResults one = c.results(std::string("Compound"));
    QCOMPARE(one.lists.size(), std::size_t(1));
    QVERIFY_THROWS_EXCEPTION(CommandError, c.results(std::string("Nothing")));
}

void TestResults::storedMaliciousConditionIsRefused()
{
    ResultsCompetition c;
    seedTieBreaks(c);
    c.seed({"insert into RESULTLISTS values ('Bad', 'SEX = ''M''; delete from POINTS', 'INDIVIDUAL')",
            "insert into RESULTLISTS values ('Men', 'SEX = ''M''', 'INDIVIDUAL')"});
    const CompetitionResults r = c.results();
    QCOMPARE(r.lists.size(), std::size_t(2));
    QCOMPARE(r.lists[0].name, std::string("Bad"));
    QCOMPARE(r.lists[0].faults.size(), std::size_t(1));
    QVERIFY2(QString::fromStdString(r.lists[0].faults[0]).contains(QStringLiteral("result list \"Bad\": its condition is refused")),
             r.lists[0].faults[0].c_str());
    QVERIFY(r.lists[0].archers.empty());
    QCOMPARE(placings(r.lists[1]), QStringLiteral("1:I 2:B 3:F 4:A 4:C 6:G 7:H"));
    QCOMPARE(c.count("select count(*) from POINTS"), 7 * 60);

    // The program reports the list and prints the others, and says so by its exit code.
    const RunResult run = tallyon({QStringLiteral("results"), c.path()});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith(QStringLiteral("tallyon: result list \"Bad\": its condition is refused")), qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("Men (7 archers)")), qPrintable(run.out));
    QVERIFY2(run.out.contains(QStringLiteral("Bad: not ranked")), qPrintable(run.out));
}

void TestResults::storedArrowsNoArrowCanBe_data()
{
    QTest::addColumn<QStringList>("points");   // rows of archer 8 as "round,arrow,POINT,CROSS"
    QTest::addColumn<QString>("fault");        // after "result list ...: archer 8 (Zed), "

    QTest::newRow("two of the largest integers")
        << QStringList{"1,1,2147483647,F", "1,2,2147483647,F"} << "round 1 arrow 1: POINT 2147483647 is no arrow's value (0 to 10)";
    QTest::newRow("the smallest integer") << QStringList{"1,1,-2147483648,F", "1,2,-2147483648,F"}
                                          << "round 1 arrow 1: POINT -2147483648 is no arrow's value (0 to 10)";
    QTest::newRow("eleven") << QStringList{"2,5,11,F"} << "round 2 arrow 5: POINT 11 is no arrow's value (0 to 10)";
    QTest::newRow("minus three") << QStringList{"1,30,-3,F"} << "round 1 arrow 30: POINT -3 is no arrow's value (0 to 10)";
    QTest::newRow("an X of nine") << QStringList{"1,3,9,T"} << "round 1 arrow 3: an X with POINT 9 (an X is a 10)";
}

void TestResults::storedArrowsNoArrowCanBe()
{
    QFETCH(QStringList, points);
    QFETCH(QString, fault);
    ResultsCompetition c;
    seedTieBreaks(c);
    // Zed shoots compound, so the recurve list stands apart from the bad arrows.
    c.archer(8, "Zed", 9, "A", "M", 2);
    c.arrows(8, {{10, "9"}});
    std::vector<std::string> sql;
    for (const QString& row : points) {
        const QStringList f = row.split(u',');
        sql.push_back(("update or insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values (8, "
                       + f[0] + ", " + f[1] + ", " + f[2] + ", '" + f[3] + "', 'F') matching (ARCHERID, ROUNDNO, ARROWNO)")
                          .toStdString());
    }
    c.seed(sql);

    const CompetitionResults r = c.results();
    QCOMPARE(r.lists.size(), std::size_t(2));
    const ResultList& recurve = r.lists[0];
    const ResultList& compound = r.lists[1];
    QCOMPARE(recurve.faults, std::vector<std::string>());
    QCOMPARE(placings(recurve), QStringLiteral("1:I 2:B 3:F 4:A 4:C 6:G 7:H"));
    QCOMPARE(compound.faults.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(compound.faults[0]),
             QStringLiteral("result list \"Compound / Men / Adult / M\": archer 8 (Zed), ") + fault);
    QVERIFY(compound.archers.empty());

    const RunResult run = tallyon({QStringLiteral("results"), c.path()});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("tallyon: ") + QString::fromStdString(compound.faults[0]));
    QVERIFY2(run.out.contains(QStringLiteral("Recurve / Men / Adult / M (7 archers)")), qPrintable(run.out));
}

void TestResults::scoreCardShowsEndsAndRunningTotals()
{
    ResultsCompetition c;
    c.archer(1, "J\xFCrgen M\xFCller", 1, "A");
    c.arrows(1, {{1, "X"}, {1, "9"}, {1, "M"}, {3, "8"}, {1, ""}, {2, "10"}});
    db::Connection connection;
    c.attach(connection);
    const std::vector<ArcherResult> archers = readArcherResults(connection);
    connection.disconnect();
    QCOMPARE(archers.size(), std::size_t(1));
    const auto& round1 = archers[0].arrows[0];
    QStringList shown;
    for (int i = 0; i < 10; ++i)
        shown << cardArrowText(round1[std::size_t(i)]);
    QCOMPARE(shown, (QStringList{"X", "9", "M", "8", "8", "8", "", "10", "10", ""}));

    QTextDocument doc;
    Competition competition;
    competition.name = "Hallenturnier";
    doc.setHtml(scorecardsAsHtml(competition, archers));
    const QString text = doc.toPlainText();
    QVERIFY(text.contains(QStringLiteral("Jürgen Müller")));
    QVERIFY(text.contains(QStringLiteral("Archer's signature")));
    QVERIFY(text.contains(QStringLiteral("Scorer's signature")));
    // End sums 19, 24, 20 and their running totals 19, 43, 63.
    const QString flat = text.simplified();
    QVERIFY2(flat.contains(QStringLiteral("1 X 9 M 19 19 2 8 8 8 24 43 3 10 10 20 63")), qPrintable(flat));
    QVERIFY2(flat.contains(QStringLiteral("10s: 3 Xs: 1 9s: 1")), qPrintable(flat));
    QVERIFY2(flat.contains(QStringLiteral("8 of 60 (incomplete)")), qPrintable(flat));
}

void TestResults::csvWrittenAndReadBack()
{
    ResultsCompetition c;
    seedTieBreaks(c);
    c.archer(8, "J\xFCrgen \"Juppi\" M\xFCller; jr.", 5, "A");
    const QString csv = c.file(QStringLiteral("results.csv"));
    const RunResult r = tallyon({QStringLiteral("results"), c.path(), QStringLiteral("--csv"), csv,
                                 QStringLiteral("--separator"), QStringLiteral(";")});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    // The competition, the column headings, the archers, the list's state.
    QCOMPARE(lines.size(), 1 + 1 + 8 + 1);
    QCOMPARE(lines[0], QStringLiteral("Hallenturnier, Mühlbach"));
    QCOMPARE(lines[1], QStringLiteral("List;Place;Lane;Name;Country;Round 1;Round 2;Total;10s;Xs;9s;Arrows entered;"
                                      "Complete;Mark;Members"));
    QCOMPARE(lines[2], QStringLiteral("Recurve / Men / Adult / M;1;4A;I;Deutschland;300;300;600;60;60;0;60;yes;;"));
    QCOMPARE(lines[8], QStringLiteral("Recurve / Men / Adult / M;7;3B;H;Deutschland;300;0;300;30;0;0;30;no;;"));
    QCOMPARE(lines[9], QStringLiteral("Recurve / Men / Adult / M;8;5A;\"Jürgen \"\"Juppi\"\" Müller; jr.\";Deutschland;0;0;0;0;0;0;0;no;;"));
    QCOMPARE(lines[10], QStringLiteral("Recurve / Men / Adult / M;provisional: 0 of 8 cards verified"));

    // A separator of more than one character is refused before anything runs.
    const RunResult bad = tallyon({QStringLiteral("results"), c.path(), QStringLiteral("--csv"), csv,
                                   QStringLiteral("--separator"), QStringLiteral(";;")});
    QCOMPARE(bad.exitCode, 2);
}

void TestResults::csvGuardsFormulas()
{
    ResultsCompetition c;
    c.archer(1, "=HYPERLINK(\"http://example.com\",\"prize\")", 1, "A");
    c.archer(2, "+1+2", 1, "B");
    c.archer(3, "@SUM(1+1)", 2, "A");
    c.archer(4, "-3", 2, "B");
    c.archer(5, "-Dash; Jo", 3, "A");
    c.seed({"update ARCHER set LANE = '-1' where ARCHERID = 4"});
    c.arrows(1, {{3, "X"}});
    c.arrows(2, {{3, "9"}});
    const QString csv = c.file(QStringLiteral("results.csv"));
    const RunResult r = tallyon({QStringLiteral("results"), c.path(), QStringLiteral("--csv"), csv,
                                 QStringLiteral("--separator"), QStringLiteral(";")});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QFile written(csv);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QFile golden(QFINDTESTDATA("data/results-formula-guard.csv"));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), golden.readAll());
}

void TestResults::pdfWrittenAndReadBack()
{
    if (!pdftotextInstalled())
        QSKIP("pdftotext and pdfinfo are not installed");
    ResultsCompetition c;
    seedTieBreaks(c);
    std::vector<std::string> sql;
    for (int i = 0; i < 60; ++i) {
        sql.push_back(ResultsCompetition::archerRow(100 + i, "Bj\xF6rn \xC5ngstr\xF6m " + std::to_string(i), 10 + i,
                                                    "A", "F", 1, 2, 2));
        for (const std::string& row : ResultsCompetition::pointRows(100 + i, {{60 - i, "9"}}))
            sql.push_back(row);
    }
    c.seed(sql);
    const QString pdf = c.file(QStringLiteral("results.pdf"));
    const QString html = c.file(QStringLiteral("results.html"));
    const RunResult r = tallyon({QStringLiteral("results"), c.path(), QStringLiteral("--pdf"), pdf,
                                 QStringLiteral("--html"), html});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains(QStringLiteral("2 lists, 67 archers")));
    QFile page(html);
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString markup = QString::fromUtf8(page.readAll());
    QVERIFY(markup.contains(QStringLiteral("<meta charset=\"utf-8\">")));
    QCOMPARE(markup.count(QStringLiteral("Björn Ångström")), 60);
    QVERIFY(markup.contains(QStringLiteral("M&uuml;hlbach")) || markup.contains(QStringLiteral("Mühlbach")));
    QVERIFY2(pdfPages(pdf) >= 2, qPrintable(QString::number(pdfPages(pdf))));
    const QString text = pdfText(pdf);
    QVERIFY(text.contains(QStringLiteral("Hallenturnier")));
    QVERIFY(text.contains(QStringLiteral("Recurve / Women / Adult / F")));
    QVERIFY(text.contains(QStringLiteral("Björn Ångström 59")));
    QVERIFY(text.contains(QStringLiteral("Österreich")));
    // H and all Björns but the first are marked, in their rows.
    QCOMPARE(text.count(QStringLiteral("incomplete")), 60);
    QCOMPARE(text.count(QStringLiteral("Björn Ångström")), 60);
}

void TestResults::listsCommands()
{
    ResultsCompetition c;
    seedTieBreaks(c);
    const QString db = c.path();
    RunResult r = tallyon({QStringLiteral("lists"), db, QStringLiteral("add"), QStringLiteral("Lane 1"),
                           QStringLiteral("LANENO = 1")});
    QCOMPARE(r.err, QString());
    QVERIFY2(r.out.contains(QStringLiteral("2 archers")), qPrintable(r.out));
    r = tallyon({QStringLiteral("lists"), db, QStringLiteral("add"), QStringLiteral("Lane 1"), QStringLiteral("LANENO = 2")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("already")), qPrintable(r.err));

    // A condition that would reach into other tables is refused and not stored.
    r = tallyon({QStringLiteral("lists"), db, QStringLiteral("add"), QStringLiteral("Evil"),
                 QStringLiteral("SEX = 'M' or 1=1); delete from POINTS; --")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("refused")), qPrintable(r.err));
    QCOMPARE(c.count("select count(*) from RESULTLISTS"), 1);
    QCOMPARE(c.count("select count(*) from POINTS"), 7 * 60);

    // A name no table holds is refused with the names there are; any case
    // of a stored name is taken.
    r = tallyon({QStringLiteral("lists"), db, QStringLiteral("add"), QStringLiteral("Compound"),
                 QStringLiteral("BOWTYPE = 'Compund'")});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QStringLiteral("tallyon: result list \"Compound\": no bow type 'Compund'; known: Compound, Recurve"));
    r = tallyon({QStringLiteral("lists"), db, QStringLiteral("add"), QStringLiteral("Adults"),
                 QStringLiteral("AGECLASS in ('adult', 'Veteran')")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("no age class 'Veteran'; known: Adult")), qPrintable(r.err));
    QCOMPARE(c.count("select count(*) from RESULTLISTS"), 1);
    r = tallyon({QStringLiteral("lists"), db, QStringLiteral("add"), QStringLiteral("Recurve"),
                 QStringLiteral("bowtype = 'RECURVE' and AGECLASS = 'adult'")});
    QCOMPARE(r.err, QString());
    QVERIFY2(r.out.contains(QStringLiteral(": 7 archers now")), qPrintable(r.out));
    r = tallyon({QStringLiteral("lists"), db, QStringLiteral("remove"), QStringLiteral("Recurve")});
    QCOMPARE(r.exitCode, 0);

    r = tallyon({QStringLiteral("lists"), db, QStringLiteral("show")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("Lane 1  INDIVIDUAL        2  LANENO = 1")), qPrintable(r.out));

    r = tallyon({QStringLiteral("results"), db});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("Lane 1 (2 archers)")), qPrintable(r.out));

    r = tallyon({QStringLiteral("lists"), db, QStringLiteral("remove"), QStringLiteral("Lane 1")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(c.count("select count(*) from RESULTLISTS"), 0);
    r = tallyon({QStringLiteral("lists"), db, QStringLiteral("remove"), QStringLiteral("Lane 1")});
    QCOMPARE(r.exitCode, 1);
}

void TestResults::scorecardPdfHasTwoCardsAPage()
{
    if (!pdftotextInstalled())
        QSKIP("pdftotext and pdfinfo are not installed");
    ResultsCompetition c;
    seedTieBreaks(c);
    c.archer(8, "Zo\xEB Bront\xEB", 3, "C");
    const QString pdf = c.file(QStringLiteral("cards.pdf"));
    RunResult r = tallyon({QStringLiteral("scorecard"), c.path(), QStringLiteral("--all"), QStringLiteral("--pdf"), pdf});
    QCOMPARE(r.err, QString());
    QCOMPARE(pdfPages(pdf), 4);
    QVERIFY(pdfText(pdf).contains(QStringLiteral("Zoë Brontë")));

    r = tallyon({QStringLiteral("scorecard"), c.path(), QStringLiteral("--lane"), QStringLiteral("3"),
                 QStringLiteral("--pdf"), pdf});
    QCOMPARE(r.err, QString());
    QCOMPARE(pdfPages(pdf), 2);
    r = tallyon({QStringLiteral("scorecard"), c.path(), QStringLiteral("7"), QStringLiteral("--pdf"), pdf});
    QCOMPARE(pdfPages(pdf), 1);
    const QString text = pdfText(pdf).simplified();
    QVERIFY2(text.contains(QStringLiteral("1 X X X 30 30")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("10 X X X 30 300")), qPrintable(text));
    r = tallyon({QStringLiteral("scorecard"), c.path(), QStringLiteral("99"), QStringLiteral("--pdf"), pdf});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("no archer 99")), qPrintable(r.err));
}

void TestResults::code128CheckDigits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("symbols");   // start, data, check digit
    // Even digit counts in code set C, two digits a symbol; the rest in B.
    QTest::newRow("1234, set C") << "1234" << QList<int>{105, 12, 34, 82};
    QTest::newRow("17, set C") << "17" << QList<int>{105, 17, 19};
    QTest::newRow("7, set B") << "7" << QList<int>{104, 23, 24};
    QTest::newRow("123, set B") << "123" << QList<int>{104, 17, 18, 19, 8};
    QTest::newRow("PJJ123C, set B") << "PJJ123C" << QList<int>{104, 48, 42, 42, 17, 18, 19, 35, 55};
    QTest::newRow("no text") << "" << QList<int>{};
    QTest::newRow("beyond ASCII") << "\u00e9" << QList<int>{};
}

void TestResults::code128CheckDigits()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, symbols);
    const std::vector<int> got = code128Symbols(text.toStdString());
    QCOMPARE(QList<int>(got.begin(), got.end()), symbols);
    // Every symbol is eleven modules wide, the stop thirteen.
    const std::vector<int> widths = code128Widths(got);
    int modules = 0;
    for (const int w : widths)
        modules += w;
    QCOMPARE(modules, symbols.isEmpty() ? 0 : 11 * int(symbols.size()) + 13);
}

void TestResults::startListMatchesItsGoldenFiles()
{
    if (!pdftotextInstalled())
        QSKIP("pdftotext and pdfinfo are not installed");
    ResultsCompetition c;
    seedStartList(c);
    const QString pdf = c.file(QStringLiteral("start.pdf"));
    const QString csv = c.file(QStringLiteral("start.csv"));
    const RunResult r = tallyon({QStringLiteral("archers"), c.path(), QStringLiteral("--pdf"), pdf,
                                 QStringLiteral("--csv"), csv, QStringLiteral("--separator"), QStringLiteral(";")});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    // Five lanes a page: seven lanes take two, each with the title.
    QCOMPARE(pdfPages(pdf), 2);
    const QString text = pdfText(pdf);
    QCOMPARE(text.count(QStringLiteral("Start list")), 2);
    QCOMPARE(text, golden("start-list.txt", text));
    QFile written(csv);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QString table = QString::fromUtf8(written.readAll());
    QCOMPARE(table, golden("start-list.csv", table));
}

void TestResults::blankCardsMatchTheirGoldenText()
{
    if (!pdftotextInstalled())
        QSKIP("pdftotext and pdfinfo are not installed");
    ResultsCompetition c;
    seedStartList(c);
    c.arrows(3, {{3, "X"}, {3, "9"}});   // a blank card shows none of them
    const QString pdf = c.file(QStringLiteral("cards.pdf"));
    RunResult r = tallyon({QStringLiteral("scorecard"), c.path(), QStringLiteral("--lane"), QStringLiteral("2"),
                           QStringLiteral("--blank"), QStringLiteral("--pdf"), pdf});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QStringLiteral("wrote %1 (2 blank cards, two a page)\n").arg(pdf));
    QCOMPARE(pdfPages(pdf), 1);
    const QString blank = pdfText(pdf);
    QCOMPARE(blank, golden("scorecard-blank.txt", blank));
    // No sum, no total, no arrow: the card is for the target.
    QVERIFY2(!blank.contains(QRegularExpression(QStringLiteral("\\b0\\b"))), qPrintable(blank));
    // The long class name shrinks to fit; no word of it is broken.
    QCOMPARE(blank.count(QStringLiteral("Erwachsene Schützenklasse")), 2);

    r = tallyon({QStringLiteral("scorecard"), c.path(), QStringLiteral("3"), QStringLiteral("--pdf"), pdf});
    QCOMPARE(r.err, QString());
    const QString filled = pdfText(pdf);
    QCOMPARE(filled, golden("scorecard-filled.txt", filled));
}

// A whole card: both rounds full, Xs and misses among the arrows, the
// running total carried on through the second round.
void TestResults::fullCardMatchesItsGoldenText()
{
    if (!pdftotextInstalled())
        QSKIP("pdftotext and pdfinfo are not installed");
    ResultsCompetition c;
    seedStartList(c);
    c.arrows(5, {{6, "X"}, {12, "10"}, {20, "9"}, {10, "8"}, {3, "M"}, {9, "7"}});
    const QString pdf = c.file(QStringLiteral("card.pdf"));
    const RunResult r = tallyon({QStringLiteral("scorecard"), c.path(), QStringLiteral("5"), QStringLiteral("--pdf"), pdf});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    const QString text = pdfText(pdf);
    QCOMPARE(text, golden("scorecard-full.txt", text));
}

// The results page: the tie-break field with its shared place and an
// incomplete card, a name outside ASCII, the competition's place and dates,
// and a team list with a team short of archers. The time of printing ("as of
// 14:05") is the one part that differs by run.
void TestResults::resultsHtmlMatchesItsGoldenFile()
{
    ResultsCompetition c;
    seedTieBreaks(c);
    c.archer(8, "J\xFCrgen", 4, "B", "M", 1, 1, 2);
    c.arrows(8, {{60, "9"}});
    c.seed({"update COMPETITION set STARTDATE = '2026-12-12', FINISHEDDATE = '2026-12-13'"});
    const QString db = c.path();
    QCOMPARE(tallyon({QStringLiteral("lists"), db, QStringLiteral("add"), QStringLiteral("Teams"),
                      QStringLiteral("--team")})
                 .exitCode,
             0);
    QCOMPARE(tallyon({QStringLiteral("lists"), db, QStringLiteral("set"), QStringLiteral("Teams"),
                      QStringLiteral("TEAMSIZE=2")})
                 .exitCode,
             0);
    const QString html = c.file(QStringLiteral("results.html"));
    const RunResult r = tallyon({QStringLiteral("results"), db, QStringLiteral("--html"), html});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QFile page(html);
    QVERIFY(page.open(QIODevice::ReadOnly));
    QString markup = QString::fromUtf8(page.readAll());
    static const QRegularExpression asOf(QStringLiteral("as of \\d\\d:\\d\\d"));
    QCOMPARE(markup.count(asOf), 1);
    markup.replace(asOf, QStringLiteral("as of HH:MM"));
    QCOMPARE(markup, golden("results.html", markup));
}

void TestResults::cardBarcodesDecode()
{
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        QSKIP("zbarimg (zbar-tools) or pdftoppm (poppler-utils) is not installed");
    ResultsCompetition c;
    seedStartList(c);
    c.seed({"update ARCHER set ARCHERID = 123 where ARCHERID = 13", "update ARCHER set ARCHERID = 1244 where ARCHERID = 14"});
    const QString pdf = c.file(QStringLiteral("cards.pdf"));
    for (const QStringList& how : {QStringList{QStringLiteral("--lane"), QStringLiteral("7")},
                                   QStringList{QStringLiteral("--lane"), QStringLiteral("7"), QStringLiteral("--blank")}}) {
        const RunResult r = tallyon(QStringList{QStringLiteral("scorecard"), c.path()} + how
                                    + QStringList{QStringLiteral("--pdf"), pdf});
        QCOMPARE(r.err, QString());
        const QString png = c.file(QStringLiteral("card"));
        QCOMPARE(runProgram(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("150"), QStringLiteral("-png"),
                                                         QStringLiteral("-singlefile"), pdf, png}).exitCode, 0);
        const RunResult read = runProgram(QStringLiteral("zbarimg"), {QStringLiteral("-q"), png + QStringLiteral(".png")});
        QStringList codes = read.out.split(u'\n', Qt::SkipEmptyParts);
        codes.sort();
        // Archers 13 and 14 became 123 and 1244: an odd and an even count of digits.
        QCOMPARE(codes, (QStringList{QStringLiteral("CODE-128:123"), QStringLiteral("CODE-128:1244")}));
    }
}

void TestResults::savedPointsReachTheListener()
{
    ResultsCompetition c;
    c.archer(1, "A", 1, "A");
    db::Connection listening;
    c.attach(listening);
    ensurePointsSavedTrigger(listening);
    ensurePointsSavedTrigger(listening);   // a second time finds it
    PointsSavedListener listener(listening);
    QSignalSpy saved(&listener, &PointsSavedListener::pointsSaved);
    QTest::qWait(200);
    saved.clear();

    c.arrows(1, {{3, "9"}});
    QTRY_VERIFY_WITH_TIMEOUT(saved.count() >= 1, 10000);
    // Waiting again after the delivery: a second save calls back too.
    saved.clear();
    c.seed({"update POINTS set POINT = 8 where ARROWNO = 1"});
    QTRY_VERIFY_WITH_TIMEOUT(saved.count() >= 1, 10000);
    // A transaction that is rolled back tells nothing.
    saved.clear();
    {
        db::Connection other;
        c.attach(other);
        db::Transaction t(&other);
        other.executeImmediate("update POINTS set POINT = 7", t);
        t.rollback();
        other.disconnect();
    }
    QTest::qWait(500);
    QCOMPARE(saved.count(), 0);
    listening.disconnect();
}

void TestResults::boardIsShownAnewAfterASave()
{
    ResultsCompetition c;
    c.archer(1, "Sigur\xF0" "ard\xF3" "ttir", 1, "A");
    c.archer(2, "Second", 1, "B");
    c.arrows(2, {{3, "9"}});
    ResultsBoard board(c.login);
    board.resize(1280, 720);
    board.show();
    QVERIFY(board.shownText().contains(QStringLiteral("Sigurðardóttir")));
    QVERIFY(!board.shownText().contains(QStringLiteral("30/60")));

    // A station saves through an attachment of its own.
    {
        db::Connection station;
        c.attach(station);
        db::Transaction t(&station);
        for (const std::string& sql : ResultsCompetition::pointRows(1, {{30, "X"}}))
            station.executeImmediate(sql, t);
        t.commit();
        station.disconnect();
    }
    QTRY_VERIFY_WITH_TIMEOUT(board.shownText().contains(QStringLiteral("30/60")), 10000);
    const QString text = board.shownText();
    QVERIFY2(text.indexOf(QStringLiteral("Sigurðardóttir")) < text.indexOf(QStringLiteral("Second")), qPrintable(text));
    QCOMPARE(c.count("select count(*) from RDB$TRIGGERS where RDB$TRIGGER_NAME = 'TALLYON_POINTS_SAVED'"), 1);
}

void TestResults::boardPagesKeepTitlesWithRows_data()
{
    QTest::addColumn<int>("linesPerPage");
    for (const int n : {4, 5, 6, 7, 9, 13, 40})
        QTest::newRow(qPrintable(QStringLiteral("%1 lines").arg(n))) << n;
}

void TestResults::boardPagesKeepTitlesWithRows()
{
    QFETCH(int, linesPerPage);
    // Lists of 3, 12, 1 and no archers, and one with a fault.
    CompetitionResults results;
    int id = 0;
    for (const int size : {3, 12, 1, 0}) {
        ResultList list;
        list.name = "List " + std::to_string(size);
        for (int i = 0; i < size; ++i) {
            ArcherResult a;
            a.archerId = ++id;
            a.name = "Archer " + std::to_string(id);
            a.place = i + 1;
            list.archers.push_back(a);
        }
        results.lists.push_back(list);
    }
    ResultList faulty;
    faulty.name = "Faulty";
    faulty.faults.push_back("its condition is refused");
    results.lists.push_back(faulty);

    const std::vector<BoardPage> pages = boardPages(results, linesPerPage);
    QStringList rows;
    for (const BoardPage& page : pages) {
        QVERIFY(!page.empty());
        QVERIFY2(int(page.size()) <= linesPerPage, qPrintable(QString::number(page.size())));
        // Every page begins with a list's title, and no title or headings end one.
        QCOMPARE(page.front().kind, BoardLine::Title);
        QVERIFY(page.back().kind == BoardLine::Row || page.back().kind == BoardLine::Note);
        for (std::size_t i = 0; i < page.size(); ++i) {
            if (page[i].kind == BoardLine::Row)
                rows << page[i].cells[2];
            // A title stands with its first two rows, or all its rows when fewer.
            if (page[i].kind == BoardLine::Title && !page[i].text.endsWith(QStringLiteral("(continued)"))
                && page[i].text.startsWith(QStringLiteral("List ")) && page[i].text != QStringLiteral("List 0")) {
                const int wanted = std::min(2, page[i].text.mid(5).toInt());
                int following = 0;
                for (std::size_t k = i + 2; k < page.size() && page[k].kind == BoardLine::Row; ++k)
                    ++following;
                QVERIFY2(following >= wanted, qPrintable(page[i].text));
            }
        }
    }
    // Every archer once, in order.
    QCOMPARE(rows.size(), 16);
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows[i], QStringLiteral("Archer %1").arg(i + 1));
    // A list cut by a page goes on under its title, "continued".
    if (linesPerPage < 14) {
        bool continued = false;
        for (const BoardPage& page : pages)
            continued = continued || page.front().text == QStringLiteral("List 12 (continued)");
        QVERIFY(continued);
    }
}

void TestResults::boardPagesFitAboveTheStatusLine()
{
    ResultsCompetition c;
    std::vector<std::string> sql;
    for (int i = 0; i < 45; ++i)
        sql.push_back(ResultsCompetition::archerRow(i + 1, "Archer " + std::to_string(i + 1), i / 4 + 1,
                                                    std::string(1, char('A' + i % 4)), i % 3 ? "M" : "F", 1 + i % 2));
    c.seed(sql);
    ResultsBoard board(c.login);
    board.resize(1280, 720);
    board.show();
    QVERIFY(QTest::qWaitForWindowExposed(&board));
    QVERIFY2(board.pageCount() >= 3, qPrintable(QString::number(board.pageCount())));
    int archers = 0;
    for (int page = 0; page < board.pageCount(); ++page) {
        board.showPage(page);
        const QImage picture = board.grab().toImage();
        const BoardPage& lines = board.shownPage();
        QCOMPARE(lines.front().kind, BoardLine::Title);
        // The picture: the second line is the headings' bar, the last row
        // ends above the status line.
        const QRect headings = board.lineRect(1);
        QCOMPARE(picture.pixelColor(headings.left() + 2, headings.center().y()), QColor(0x24, 0x40, 0x5a));
        QVERIFY2(board.linesBottom() <= board.statusTop(),
                 qPrintable(QStringLiteral("%1 > %2").arg(board.linesBottom()).arg(board.statusTop())));
        for (const BoardLine& l : lines)
            archers += l.kind == BoardLine::Row;
    }
    QCOMPARE(archers, 45);
}

void TestResults::boardWithoutADisplay()
{
    ResultsCompetition c;
    c.archer(1, "A", 1, "A");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TALLYON_EXE), {QStringLiteral("board"), c.path()});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QStringList lines = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith(QStringLiteral("QStandardPaths:")); });
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith(QStringLiteral("tallyon: no display for the board")), qPrintable(lines[0]));
    QVERIFY(lines[0].contains(QStringLiteral("--screenshot")));

    const QString png = c.file(QStringLiteral("board.png"));
    p.start(QStringLiteral(TALLYON_EXE), {QStringLiteral("board"), c.path(), QStringLiteral("--screenshot"), png});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QStringLiteral("wrote %1 (page 1 of 1)\n").arg(png));
    QCOMPARE(QImage(png).size(), QSize(1600, 900));
}

QTEST_MAIN(TestResults)
#include "tst_results.moc"
