// The tallyon program run as a person runs it, on temporary files, checked
// through the database afterwards; and its CSV reader on its own.

#include "db/connection.h"
#include "host/csv.h"
#include "tests/support/competition.h"
#include "tests/test_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

namespace {

struct RunResult {
    int exitCode = -1;
    QString out;
    QStringList errorLines;   // stderr, without empty lines
};

RunResult runProgram(const QString& program, const QStringList& args,
                     const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    RunResult r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.errorLines << QStringLiteral("<timed out>");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.errorLines = QString::fromLocal8Bit(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    return r;
}

RunResult tallyon(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    return runProgram(QStringLiteral(TALLYON_EXE), args, env);
}

// A competition file in its own temporary folder, made by the program.
class ProgramCompetition : public TemporaryDatabase {
public:
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // The table's rows, ordered as the select says.
    QStringList list(const std::string& select) const
    {
        QStringList out;
        for (const std::string& row : rows(select))
            out << QString::fromLatin1(row.data(), qsizetype(row.size()));
        return out;
    }
};

// Records as "line:field|field", joined by " / ".
QString describe(const std::vector<CsvRecord>& records)
{
    QStringList out;
    for (const CsvRecord& r : records)
        out << QString::number(r.line) + u':' + r.fields.join(u'|');
    return out.join(QStringLiteral(" / "));
}

const QByteArray kHeader = "LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS\n";

} // namespace

class TestHost : public QObject {
    Q_OBJECT

private slots:
    void csvRecords_data();
    void csvRecords();
    void csvNotUtf8NamesTheLine();

    void initCreatesAnEmptyCompetition();
    void demoCreatesAScoredCompetition();
    void importAddsArchersAndCreatesNamesOnce();
    void importIsRefusedWhole_data();
    void importIsRefusedWhole();
    void screenshotOfTheDemo();
    void terminationClosesTheWindowAndEnds_data();
    void terminationClosesTheWindowAndEnds();
    void serverStation();
    void errorsGiveOneLine_data();
    void errorsGiveOneLine();
};

void TestHost::csvRecords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("records");   // or "error N" for a fault on line N

    QTest::newRow("plain") << "a,b\nc,d\n" << "1:a|b / 2:c|d";
    QTest::newRow("CRLF, no last break") << "a,b\r\nc,d" << "1:a|b / 2:c|d";
    QTest::newRow("lone CR") << "a\rb" << "1:a / 2:b";
    QTest::newRow("comma in quotes") << "\"x,y\",z" << "1:x,y|z";
    QTest::newRow("doubled quotes") << "\"say \"\"hi\"\"\",2" << "1:say \"hi\"|2";
    QTest::newRow("line break in quotes") << "\"one\ntwo\",3\nnext,4" << "1:one\ntwo|3 / 3:next|4";
    QTest::newRow("CRLF in quotes") << "\"one\r\ntwo\"\r\nx" << "1:one\r\ntwo / 3:x";
    QTest::newRow("empty fields") << ",,\n" << "1:||";
    QTest::newRow("empty quoted field") << "\"\",x" << "1:|x";
    QTest::newRow("empty lines skipped") << "a\n\n\nb\n" << "1:a / 4:b";
    QTest::newRow("spaces kept") << " a , b " << "1: a | b ";
    QTest::newRow("unclosed quote") << "a\n\"open,x\nmore" << "error 2";
    QTest::newRow("text after closing quote") << "x\n\"a\"b,c" << "error 2";
    QTest::newRow("quote inside unquoted field") << "ab\"c\",d" << "error 1";
}

void TestHost::csvRecords()
{
    QFETCH(QString, text);
    QFETCH(QString, records);
    try {
        const QString got = describe(parseCsv(text));
        QCOMPARE(got, records);
    } catch (const CsvError& e) {
        QCOMPARE(QStringLiteral("error %1").arg(e.line()), records);
    }
}

void TestHost::csvNotUtf8NamesTheLine()
{
    QCOMPARE(decodeUtf8("\xEF\xBB\xBFJ\xC3\xBCrgen"), QStringLiteral("Jürgen"));
    try {
        decodeUtf8("fine\nfine too\nJ\xFCrgen\n");
        QFAIL("Latin-1 bytes were taken for UTF-8");
    } catch (const CsvError& e) {
        QCOMPARE(e.line(), 3);
    }
}

void TestHost::initCreatesAnEmptyCompetition()
{
    ProgramCompetition c;
    const RunResult r = tallyon({QStringLiteral("init"), c.path()});
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.exitCode, 0);
    for (const char* table : {"ARCHER", "POINTS", "COUNTRY", "AGECLASS", "SHOOTINGCLASSES", "BOWTYPES"})
        QCOMPARE(c.count(std::string("select count(*) from ") + table), 0);

    // A second init leaves the first database alone.
    c.seed({"insert into COUNTRY (COUNTRYNUMBER, NAME) values (1, 'Kept')"});
    const RunResult again = tallyon({QStringLiteral("init"), c.path()});
    QVERIFY(again.exitCode != 0);
    QCOMPARE(again.errorLines.size(), 1);
    QVERIFY2(again.errorLines[0].contains(QStringLiteral("already exists")), qPrintable(again.errorLines[0]));
    QCOMPARE(c.count("select count(*) from COUNTRY"), 1);
}

void TestHost::demoCreatesAScoredCompetition()
{
    ProgramCompetition c;
    const RunResult r = tallyon({QStringLiteral("demo"), c.path()});
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.exitCode, 0);

    QCOMPARE(c.count("select count(*) from ARCHER"), 40);
    QCOMPARE(c.count("select count(distinct LANENO) from ARCHER"), 14);
    QCOMPARE(c.list("select min(LANELETTER) || max(LANELETTER) from ARCHER"), QStringList{QStringLiteral("AD")});
    QCOMPARE(c.count("select count(*) from (select LANENO, LANELETTER from ARCHER group by 1, 2)"), 40);
    QCOMPARE(c.list("select DESCRIPTION from BOWTYPES order by TYPENO"),
             (QStringList{QStringLiteral("Recurve"), QStringLiteral("Compound"), QStringLiteral("Barebow")}));
    QVERIFY(c.count("select count(*) from AGECLASS") >= 2);
    QVERIFY(c.count("select count(*) from SHOOTINGCLASSES") >= 2);
    QVERIFY(c.count("select count(*) from COUNTRY") >= 4);
    QCOMPARE(c.count("select count(*) from ARCHER a where not exists"
                     " (select 1 from COUNTRY c where c.COUNTRYNUMBER = a.COUNTRYNUMBER)"), 1);
    QVERIFY(c.list("select NAME from ARCHER").contains(QStringLiteral("Jürgen Müller")));

    // Arrows per archer: both rounds, the first only, or none; all three occur.
    const QStringList perArcher = c.list(
        "select (select count(*) from POINTS p where p.ARCHERID = a.ARCHERID) as N,"
        " (select count(*) from POINTS p where p.ARCHERID = a.ARCHERID and p.ROUNDNO = 1) as R1"
        " from ARCHER a");
    QSet<QString> kinds(perArcher.begin(), perArcher.end());
    QCOMPARE(kinds, (QSet<QString>{QStringLiteral("60|30"), QStringLiteral("30|30"), QStringLiteral("0|0")}));
    QCOMPARE(c.count("select count(*) from POINTS where POINT < 0 or POINT > 10"
                     " or (\"CROSS\" = 'T' and POINT <> 10) or EMPTYSCORE <> 'F'"), 0);
    QVERIFY(c.count("select count(*) from POINTS where \"CROSS\" = 'T'") > 0);
    QVERIFY(c.count("select count(*) from POINTS where POINT = 0") > 0);
    QVERIFY(c.count("select count(distinct POINT) from POINTS") >= 9);
}

void TestHost::importAddsArchersAndCreatesNamesOnce()
{
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("init"), c.path()}).exitCode, 0);
    c.seed({"insert into COUNTRY (COUNTRYNUMBER, NAME) values (7, 'Deutschland')"});
    c.write(QStringLiteral("first.csv"),
            "LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS,USERDEF1,ENABLETEAM\r\n"
            "1,A,,\"M\xC3\xBCller, J\xC3\xBCrgen\",M,Deutschland,Recurve,Adult,Men,\"said \"\"hi\"\"\nand left\",\r\n"
            "1,b,1B,Zo\xC3\xAB,F,Espa\xC3\xB1" "a,Compound,Adult,Women,,F\r\n"
            "2,A,2A,\xC3\x85sa,F,Espa\xC3\xB1" "a,Recurve,Junior,Women,,\r\n");
    const RunResult r = tallyon({QStringLiteral("import"), c.path(), c.file(QStringLiteral("first.csv"))});
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.exitCode, 0);

    QCOMPARE(c.list("select a.LANE || ';' || a.NAME || ';' || c.NAME || ';' || b.DESCRIPTION || ';'"
                    " || g.DESCRIPTION || ';' || s.DESCRIPTION || ';' || a.ENABLETEAM || a.ENABLEFINALS"
                    " from ARCHER a join COUNTRY c on c.COUNTRYNUMBER = a.COUNTRYNUMBER"
                    " join BOWTYPES b on b.TYPENO = a.BOWTYPE join AGECLASS g on g.AGECLASSNO = a.AGECLASSNO"
                    " join SHOOTINGCLASSES s on s.SHOOTINGCLASSNO = a.SHOOTINGCLASS order by a.LANENO, a.LANELETTER"),
             (QStringList{QStringLiteral("1A;Müller, Jürgen;Deutschland;Recurve;Adult;Men;TT"),
                          QStringLiteral("1B;Zoë;España;Compound;Adult;Women;FT"),
                          QStringLiteral("2A;Åsa;España;Recurve;Junior;Women;TT")}));
    QCOMPARE(c.list("select USERDEF1 from ARCHER where LANENO = 1 and LANELETTER = 'A'"),
             QStringList{QStringLiteral("said \"hi\"\nand left")});
    // The existing country is used; each new name is made once.
    QCOMPARE(c.list("select COUNTRYNUMBER || NAME from COUNTRY order by NAME"),
             (QStringList{QStringLiteral("7Deutschland"), c.list("select COUNTRYNUMBER from COUNTRY where NAME <> 'Deutschland'").value(0) + QStringLiteral("España")}));
    QCOMPARE(c.count("select count(*) from AGECLASS"), 2);

    // A second file reuses every name.
    c.write(QStringLiteral("second.csv"), kHeader + "3,A,,Nils,M,Espa\xC3\xB1" "a,Recurve,Junior,Men\n");
    QCOMPARE(tallyon({QStringLiteral("import"), c.path(), c.file(QStringLiteral("second.csv"))}).exitCode, 0);
    QCOMPARE(c.count("select count(*) from ARCHER"), 4);
    QCOMPARE(c.count("select count(*) from COUNTRY"), 2);
    QCOMPARE(c.count("select count(*) from BOWTYPES"), 2);
    QCOMPARE(c.count("select count(*) from AGECLASS"), 2);
    QCOMPARE(c.count("select count(*) from SHOOTINGCLASSES"), 2);
}

void TestHost::importIsRefusedWhole_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("expected");   // a part of the one error line

    // Line 2 is always good and brings a new country; only line 3 or the
    // header is at fault, so a half import would show.
    const QByteArray good = "5,A,,Piotr,M,Polska,Recurve,Adult,Men\n";
    QTest::newRow("beyond ISO 8859-1") << kHeader + good + "5,B,,\xC5\x81ukasz,M,Polska,Recurve,Adult,Men\n"
                                       << "line 3: NAME holds \"Ł\"";
    QTest::newRow("missing column") << QByteArray("LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS\n")
                                    << "line 1: column SHOOTINGCLASS is missing";
    QTest::newRow("unknown column") << QByteArray("LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS,AGE\n") + good
                                    << "line 1: unknown column \"AGE\"";
    QTest::newRow("bad lane number") << kHeader + good + "x5,C,,Jan,M,Polska,Recurve,Adult,Men\n"
                                     << "line 3: LANENO \"x5\" is not";
    QTest::newRow("lane twice in the file") << kHeader + good + "5,a,,Jan,M,Polska,Recurve,Adult,Men\n"
                                            << "line 3: lane 5A is also given on line 2";
    QTest::newRow("lane taken in the database") << kHeader + good + "1,A,,Jan,M,Polska,Recurve,Adult,Men\n"
                                                << "line 3: lane 1A already has an archer";
    QTest::newRow("field missing") << kHeader + good + "5,C,,Jan,M,Polska,Recurve,Adult\n"
                                   << "line 3: 8 fields where the header has 9";
    QTest::newRow("unclosed quote") << kHeader + good + "5,C,,\"Jan,M,Polska,Recurve,Adult,Men\n"
                                    << "line 3: a quoted field is never closed";
    QTest::newRow("not UTF-8") << kHeader + good + "5,C,,J\xFCrgen,M,Polska,Recurve,Adult,Men\n"
                               << "line 3: the text is not UTF-8";
    QTest::newRow("name too long") << kHeader + good + "5,C,," + QByteArray(81, 'n') + ",M,Polska,Recurve,Adult,Men\n"
                                   << "line 3: NAME is longer than 80";
    QTest::newRow("flag neither T nor F")
        << QByteArray("LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS,ENABLETEAM\n")
               + "5,A,,Piotr,M,Polska,Recurve,Adult,Men,T\n5,C,,Jan,M,Polska,Recurve,Adult,Men,maybe\n"
        << "line 3: ENABLETEAM \"maybe\" is neither T nor F";
}

void TestHost::importIsRefusedWhole()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, expected);
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("init"), c.path()}).exitCode, 0);
    c.write(QStringLiteral("base.csv"), kHeader + "1,A,,Anna,F,Norge,Recurve,Adult,Women\n");
    QCOMPARE(tallyon({QStringLiteral("import"), c.path(), c.file(QStringLiteral("base.csv"))}).exitCode, 0);
    const QStringList before = c.list("select count(*) || ',' || (select count(*) from COUNTRY) || ','"
                                      " || (select count(*) from BOWTYPES) from ARCHER");

    c.write(QStringLiteral("bad.csv"), csv);
    const RunResult r = tallyon({QStringLiteral("import"), c.path(), c.file(QStringLiteral("bad.csv"))});
    QVERIFY(r.exitCode != 0);
    QCOMPARE(r.errorLines.size(), 1);
    QVERIFY2(r.errorLines[0].startsWith(QStringLiteral("tallyon: bad.csv line ")), qPrintable(r.errorLines[0]));
    QVERIFY2(r.errorLines[0].contains(expected), qPrintable(r.errorLines[0]));
    QCOMPARE(c.list("select count(*) || ',' || (select count(*) from COUNTRY) || ','"
                    " || (select count(*) from BOWTYPES) from ARCHER"), before);
}

void TestHost::screenshotOfTheDemo()
{
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("demo"), c.path()}).exitCode, 0);
    const QString png = c.file(QStringLiteral("window.png"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const RunResult r = tallyon({QStringLiteral("points"), c.path(), QStringLiteral("--screenshot"), png}, env);
    QVERIFY2(r.exitCode == 0, qPrintable(r.errorLines.join(u'\n')));
    const QImage image(png);
    QVERIFY(!image.isNull());
    // The window's client area as it is laid out.
    QCOMPARE(image.size(), QSize(688, 474));
    // A picture only: nothing was written.
    QCOMPARE(c.count("select count(*) from POINTS"),
             c.count("select count(*) from POINTS where EMPTYSCORE = 'F'"));
}

void TestHost::terminationClosesTheWindowAndEnds_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestHost::terminationClosesTheWindowAndEnds()
{
    // The signal closes the window as the operator would; the database
    // engine's threads must not see it, or detaching hangs.
    QFETCH(int, signal);
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("demo"), c.path()}).exitCode, 0);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TALLYON_EXE), {QStringLiteral("points"), c.path()});
    QVERIFY(p.waitForStarted());
    QVERIFY(!p.waitForFinished(1500));   // the window is open and waits
    ::kill(pid_t(p.processId()), signal);
    const bool ended = p.waitForFinished(20000);
    if (!ended)
        p.kill();
    QVERIFY(ended);
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(c.count("select count(*) from ARCHER"), 40);
}

void TestHost::serverStation()
{
    // A station on the test fixture's Firebird server.
    std::optional<TestServer> server;
    REQUIRE_FIXTURE_SERVER(server);
    const QString password = QString::fromStdString(server->password);
    const QString database = QString::fromStdString(server->newDatabase(QStringLiteral("tallyon-host")).database);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ISC_USER"), QStringLiteral("SYSDBA"));
    env.insert(QStringLiteral("ISC_PASSWORD"), password);
    const RunResult demo = tallyon({QStringLiteral("demo"), database}, env);
    QVERIFY2(demo.exitCode == 0, qPrintable(demo.errorLines.join(u'\n')));
    const auto dropDatabase = qScopeGuard([&] {
        db::Connection connection;
        SetCompetitionLogin(connection, {database.toStdString(), "SYSDBA", password.toStdString()});
        connection.connect();
        connection.dropDatabase();
    });

    // The same database again is refused by the server, and kept.
    const RunResult again = tallyon({QStringLiteral("init"), database}, env);
    QVERIFY(again.exitCode != 0);
    QCOMPARE(again.errorLines.size(), 1);

    // A wrong password, given on the command line, over the environment's.
    const RunResult wrong = tallyon({QStringLiteral("points"), database, QStringLiteral("--password"),
                                     password + QStringLiteral("-wrong"), QStringLiteral("--screenshot"),
                                     QDir::temp().filePath(QStringLiteral("never.png"))}, env);
    QVERIFY(wrong.exitCode != 0);
    QCOMPARE(wrong.errorLines.size(), 1);
    QVERIFY2(wrong.errorLines[0].contains(QStringLiteral("user name and password are not defined")),
             qPrintable(wrong.errorLines[0]));

    QTemporaryDir dir;
    const QString png = QDir(dir.path()).filePath(QStringLiteral("server.png"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const RunResult shot = tallyon({QStringLiteral("points"), database, QStringLiteral("--screenshot"), png}, env);
    QVERIFY2(shot.exitCode == 0, qPrintable(shot.errorLines.join(u'\n')));
    QCOMPARE(QImage(png).size(), QSize(688, 474));
}

void TestHost::errorsGiveOneLine_data()
{
    QTest::addColumn<QString>("setup");        // what the temporary folder holds
    QTest::addColumn<QStringList>("args");      // DB stands for the database path
    QTest::addColumn<QString>("expected");

    const QString db = QStringLiteral("DB");
    const QString points = QStringLiteral("points");
    const QString shot = QStringLiteral("--screenshot");
    QTest::newRow("points: no such file") << "nothing" << QStringList{points, db, shot, "x.png"} << "no such database file";
    QTest::newRow("import: no such file") << "csv" << QStringList{"import", db, "CSV"} << "no such database file";
    QTest::newRow("not a database") << "text file" << QStringList{points, db, shot, "x.png"} << "cannot open";
    QTest::newRow("no schema") << "bare database" << QStringList{points, db, shot, "x.png"}
                               << "is not a competition database";
    QTest::newRow("server not answering") << "nothing" << QStringList{points, "127.0.0.1/1:/nowhere.fdb", shot, "x.png"}
                                          << "cannot open 127.0.0.1/1:/nowhere.fdb";
    QTest::newRow("no display") << "demo" << QStringList{points, db} << "xvfb-run";
    QTest::newRow("module missing") << "demo, no module" << QStringList{points, db, shot, "x.png"}
                                    << "VozozeVove.trn is missing";
    QTest::newRow("shared heap missing") << "demo, no shared heap" << QStringList{points, db, shot, "x.png"}
                                         << "libtallyon_sharedheap.so is missing";
    QTest::newRow("unknown command") << "nothing" << QStringList{"score", db} << "unknown command score";
    QTest::newRow("missing argument") << "nothing" << QStringList{"import", db} << "usage: tallyon import DB FILE.csv";
    QTest::newRow("init on an existing file") << "text file" << QStringList{"init", db} << "already exists";
}

void TestHost::errorsGiveOneLine()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, args);
    QFETCH(QString, expected);

    ProgramCompetition c;
    QString program = QStringLiteral(TALLYON_EXE);
    if (setup == u"text file")
        c.write(QStringLiteral("competition.fdb"), "not a database\n");
    if (setup == u"bare database") {
        db::Connection bare;
        SetCompetitionLogin(bare, c.login);
        bare.createDatabase();
        bare.disconnect();
    }
    if (setup == u"csv")
        c.write(QStringLiteral("archers.csv"), kHeader);
    if (setup.startsWith(u"demo"))
        QCOMPARE(tallyon({QStringLiteral("demo"), c.path()}).exitCode, 0);
    if (setup.contains(u"no ")) {
        // The program with its libraries in a folder of its own, one piece left out.
        const QString left = setup.endsWith(u"no module") ? QStringLiteral("VozozeVove.trn")
                                                          : QStringLiteral("libtallyon_sharedheap.so");
        const QDir bin(QStringLiteral(TALLYON_BIN_DIR));
        const QDir copy(c.folder());
        for (const QString& name : bin.entryList({QStringLiteral("tallyon"), QStringLiteral("*.so*"), QStringLiteral("*.trn")},
                                                 QDir::Files)) {
            if (name != left)
                QVERIFY(QFile::copy(bin.filePath(name), copy.filePath(name)));
        }
        program = copy.filePath(QStringLiteral("tallyon"));
    }
    const bool existed = QFile::exists(c.path());
    for (QString& a : args) {
        if (a == u"DB")
            a = c.path();
        else if (a == u"CSV")
            a = c.file(QStringLiteral("archers.csv"));
        else if (a.endsWith(u".png"))
            a = c.file(a);
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (setup == u"demo") {
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    }
    const RunResult r = runProgram(program, args, env);
    QVERIFY(r.exitCode != 0);
    QCOMPARE(r.errorLines.size(), 1);
    QVERIFY2(r.errorLines[0].startsWith(QStringLiteral("tallyon: ")), qPrintable(r.errorLines[0]));
    QVERIFY2(r.errorLines[0].contains(expected), qPrintable(r.errorLines[0]));
    // Nothing is left behind: no database where there was none, no picture.
    QCOMPARE(QFile::exists(c.path()), existed);
    QVERIFY(!QFile::exists(c.file(QStringLiteral("x.png"))));
}

QTEST_MAIN(TestHost)
#include "tst_host.moc"
