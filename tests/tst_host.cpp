// The tallyon program run as a person runs it, on temporary files, checked
// through the database afterwards; and its CSV reader on its own.

#include "core/command_error.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "roster/csv.h"
#include "roster/import.h"
#include "roster/roster.h"
#include "tests/support/competition.h"
#include "tests/support/expect_throw.h"
#include "tests/test_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <QElapsedTimer>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

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

// Three archers out of lane order: 1 Anna on 2A, 2 Bert on 1B with three
// arrows entered and one row left empty, 3 Cara on 1A without a country.
void seedRoster(const ProgramCompetition& c)
{
    QCOMPARE(tallyon({QStringLiteral("init"), c.path()}).exitCode, 0);
    c.write(QStringLiteral("roster.csv"), kHeader + "2,A,,Anna,F,Norge,Recurve,Adult,Women\n"
                                                    "1,B,,Bert \xC3\x96st,M,Sverige,Compound,Adult,Men\n"
                                                    "1,A,,Cara,F,,Barebow,Junior,Women\n");
    QCOMPARE(tallyon({QStringLiteral("import"), c.path(), c.file(QStringLiteral("roster.csv"))}).exitCode, 0);
    c.seed({"insert into POINTS values (2, 1, 1, 10, 'T', 'F')", "insert into POINTS values (2, 1, 2, 0, 'F', 'F')",
           "insert into POINTS values (2, 1, 3, 7, 'F', 'F')", "insert into POINTS values (2, 1, 4, 0, 'F', 'T')",
           "insert into POINTS values (3, 1, 1, 0, 'F', 'T')"});
}

// Everything a roster command may touch, to see that a refusal changed nothing.
QStringList rosterDigest(const ProgramCompetition& c)
{
    return c.list("select ARCHERID || LANENO || LANELETTER || LANE || NAME || coalesce(SEX, '-')"
                  " || coalesce(COUNTRYNUMBER, 0) || coalesce(BOWTYPE, 0) || coalesce(AGECLASSNO, 0)"
                  " || coalesce(SHOOTINGCLASS, 0) || ENABLETEAM || ENABLEFINALS from ARCHER order by 1")
        + c.list("select count(*) || '/' || (select count(*) from COUNTRY) || '/' || (select count(*) from BOWTYPES)"
                 " || '/' || (select count(*) from AGECLASS) from POINTS");
}

// Archer 2 as "lane|LANE|NAME|SEX|country|bow type|age class|shooting class|flags".
QString bert(const ProgramCompetition& c)
{
    return c.list("select a.LANENO || a.LANELETTER || '|' || a.LANE || '|' || a.NAME || '|' || coalesce(a.SEX, '')"
                  " || '|' || coalesce(c.NAME, '') || '|' || coalesce(b.DESCRIPTION, '') || '|'"
                  " || coalesce(g.DESCRIPTION, '') || '|' || coalesce(k.DESCRIPTION, '') || '|'"
                  " || a.ENABLETEAM || a.ENABLEFINALS from ARCHER a"
                  " left join COUNTRY c on c.COUNTRYNUMBER = a.COUNTRYNUMBER left join BOWTYPES b on b.TYPENO = a.BOWTYPE"
                  " left join AGECLASS g on g.AGECLASSNO = a.AGECLASSNO"
                  " left join SHOOTINGCLASSES k on k.SHOOTINGCLASSNO = a.SHOOTINGCLASS where a.ARCHERID = 2")
        .value(0);
}

// A port on 127.0.0.1 that either takes connections and never says a word
// (listening, never accepting) or refuses them (bound, not listening).
class SilentPort {
public:
    explicit SilentPort(bool listening)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0
            || (listening && ::listen(fd_, 8) != 0)
            || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port_ = ntohs(address.sin_port);
    }
    ~SilentPort()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

} // namespace

class TestHost : public QObject {
    Q_OBJECT

private slots:
    void csvRecords_data();
    void csvRecords();
    void csvNotUtf8NamesTheLine();
    void csvSeparator_data();
    void csvSeparator();
    void csvEncoding_data();
    void csvEncoding();

    void initCreatesAnEmptyCompetition();
    void demoCreatesAScoredCompetition();
    void importAddsArchersAndCreatesNamesOnce();
    void importVariants_data();
    void importVariants();
    void importReadsTheOrganisersSheet_data();
    void importReadsTheOrganisersSheet();
    void importMatchesNamesAndSexes();
    void importIsRefusedWhole_data();
    void importIsRefusedWhole();
    void archersListInLaneOrder();
    void archerChanges_data();
    void archerChanges();
    void archerRemoval();
    void exportReadsBack();
    void exportGuardsFormulas_data();
    void exportGuardsFormulas();
    void archersShowControlCharactersAsText();
    void concurrentChangesMeetTheKeys_data();
    void concurrentChangesMeetTheKeys();
    void rosterKeysAreAddedToOlderDatabases();
    void screenshotOfTheDemo();
    void screenshotOfAnEmptyCompetition();
    void terminationClosesTheWindowAndEnds_data();
    void terminationClosesTheWindowAndEnds();
    void signalEndsTheTypedWindow_data();
    void signalEndsTheTypedWindow();
    void serverStation();
    void unansweredServerIsToldWithinSeconds_data();
    void unansweredServerIsToldWithinSeconds();
    void serverNeedsAPassword();
    void readOnlyDatabaseIsRanked();
    void initFollowsTheUmask_data();
    void damagedDatabaseIsRefused_data();
    void damagedDatabaseIsRefused();
    void initFollowsTheUmask();
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
    QTest::newRow("lone CRs count lines") << "a\rb\r\"c\"d" << "error 3";
    QTest::newRow("lone CR in quotes") << "\"a\rb\"\rc\r\"open" << "error 4";
    QTest::newRow("NUL") << QStringLiteral("a\nb") + QChar(0) + QStringLiteral("c") << "error 2";
    QTest::newRow("NUL in quotes") << QStringLiteral("\"a\n") + QChar(0) + QStringLiteral("\"") << "error 2";
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
    std::optional<CsvError> error;
    QVERIFY(expectThrow<CsvError>([] { decodeUtf8("fine\nfine too\nJ\xFCrgen\n"); }, {}, &error));
    QCOMPARE(error->line(), 3);
}

void TestHost::csvSeparator_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<bool>("skipFirstLine");

    QTest::newRow("comma") << "A,B;C,D\n1;2;3;4" << "," << false;
    QTest::newRow("semicolon") << "A;B;C,D\n" << ";" << false;
    QTest::newRow("tab") << "A\tB\tC;D" << "\t" << false;
    QTest::newRow("quoted separators do not count") << "\"A;B;C\",D,E" << "," << false;
    QTest::newRow("quoted line break") << "\"A\nB;C;D\";E" << ";" << false;
    QTest::newRow("after empty lines") << "\r\n\nA;B" << ";" << false;
    QTest::newRow("only the first line counts") << "A,B\nC;D;E;F" << "," << false;
    QTest::newRow("one column") << "NAME\nx;y" << "," << false;
    QTest::newRow("empty") << "" << "," << false;
    QTest::newRow("spreadsheet's sep line") << "sep=;\nA,B,C" << ";" << true;
    QTest::newRow("sep line, CRLF") << "SEP=\t\r\nA,B" << "\t" << true;
    QTest::newRow("sep line of another char") << "sep=|\nA;B" << "," << false;
}

void TestHost::csvSeparator()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(bool, skipFirstLine);
    bool skip = !skipFirstLine;
    QCOMPARE(QString(detectSeparator(text, &skip)), separator);
    QCOMPARE(skip, skipFirstLine);
}

void TestHost::csvEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");      // or "error N"
    QTest::addColumn<bool>("windows1252");

    QTest::newRow("ASCII") << QByteArray("a,b") << "a,b" << false;
    QTest::newRow("UTF-8") << QByteArray("J\xC3\xBCrgen") << "Jürgen" << false;
    QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBFZo\xC3\xAB") << "Zoë" << false;
    QTest::newRow("4-byte UTF-8") << QByteArray("\xF0\x9F\x8E\xAF") << "🎯" << false;
    QTest::newRow("Latin-1 bytes") << QByteArray("J\xFCrgen") << "Jürgen" << true;
    QTest::newRow("Windows-1252 quotes and euro") << QByteArray("\x93x\x94 \x80 \x9A") << "“x” € š" << true;
    QTest::newRow("undefined 1252 bytes") << QByteArray("\x81\x9D") << "\u0081\u009D" << true;
    QTest::newRow("overlong UTF-8") << QByteArray("\xC0\xAF") << "À¯" << true;
    QTest::newRow("UTF-8 surrogate") << QByteArray("\xED\xA0\x80") << "í\u00A0€" << true;
    QTest::newRow("cut UTF-8 at the end") << QByteArray("ab\xC3") << "abÃ" << true;
    QTest::newRow("mark, then not UTF-8") << QByteArray("\xEF\xBB\xBF" "a\rb\r\nc\xFC") << "error 3" << false;
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFEN\0A\0") << "error 1" << false;
}

void TestHost::csvEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, windows1252);
    try {
        const DecodedText decoded = decodeCsvText(bytes);
        QCOMPARE(decoded.text, text);
        QCOMPARE(decoded.encoding == CsvEncoding::Windows1252, windows1252);
    } catch (const CsvError& e) {
        QCOMPARE(QStringLiteral("error %1").arg(e.line()), text);
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

void TestHost::importVariants_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("archers");   // LANE;NAME;COUNTRY;BOWTYPE;USERDEF1 in lane order
    QTest::addColumn<QString>("note");          // a line the import prints before its summary, or ""

    const QStringList both = {QStringLiteral("1A;Müller, Jürgen;Deutschland;Recurve;"),
                              QStringLiteral("1B;Zoë;España;Compound;")};
    // As a German spreadsheet writes it: semicolons, CRLF, Windows-1252.
    QTest::newRow("semicolon, Windows-1252, CRLF")
        << QByteArray("LANENO;LANELETTER;LANE;NAME;SEX;COUNTRY;BOWTYPE;AGECLASS;SHOOTINGCLASS\r\n"
                      "1;A;;M\xFCller, J\xFCrgen;M;Deutschland;Recurve;Adult;Men\r\n"
                      "1;B;;Zo\xEB;F;Espa\xF1" "a;Compound;Adult;Women\r\n")
        << both << "bad.csv is not UTF-8: read it as Windows-1252";
    QTest::newRow("tab, UTF-8 with mark")
        << QByteArray("\xEF\xBB\xBFLANENO\tLANELETTER\tLANE\tNAME\tSEX\tCOUNTRY\tBOWTYPE\tAGECLASS\tSHOOTINGCLASS\n"
                      "1\tA\t\tM\xC3\xBCller, J\xC3\xBCrgen\tM\tDeutschland\tRecurve\tAdult\tMen\n"
                      "1\tB\t\tZo\xC3\xAB\tF\tEspa\xC3\xB1" "a\tCompound\tAdult\tWomen\n")
        << both << "";
    QTest::newRow("comma, UTF-8, quoted separators")
        << QByteArray("LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS\n"
                      "1,A,,\"M\xC3\xBCller, J\xC3\xBCrgen\",M,Deutschland,Recurve,Adult,Men\n"
                      "1,B,,Zo\xC3\xAB,F,Espa\xC3\xB1" "a,Compound,Adult,Women\n")
        << both << "";
    QTest::newRow("extra columns ignored, any order")
        << QByteArray("Fee;NAME;LANENO;LANELETTER;LANE;SEX;COUNTRY;BOWTYPE;AGECLASS;SHOOTINGCLASS;;Notes\n"
                      "BSC;M\xC3\xBCller, J\xC3\xBCrgen;1;A;;M;Deutschland;Recurve;Adult;Men;;late\n"
                      "TSV;Zo\xC3\xAB;1;B;;F;Espa\xC3\xB1" "a;Compound;Adult;Women;;\n")
        << both << "ignored the unknown columns \"Fee\", column 11 (no name), \"Notes\" of bad.csv";
    QTest::newRow("sep line, blank rows, lone CRs")
        << QByteArray("sep=;\rLANENO;LANELETTER;LANE;NAME;SEX;COUNTRY;BOWTYPE;AGECLASS;SHOOTINGCLASS;USERDEF1\r"
                      ";;;;;;;;;\r1;A;;M\xC3\xBCller, J\xC3\xBCrgen;M;Deutschland;Recurve;Adult;Men;\"two\rlines\"\r"
                      ";;;;;;;;;\r\r1;b;1b;Zo\xC3\xAB;F;Espa\xC3\xB1" "a;Compound;Adult;Women;\r;;;;;;;;;\r")
        << QStringList{QStringLiteral("1A;Müller, Jürgen;Deutschland;Recurve;two\rlines"), both[1]} << "";
}

void TestHost::importVariants()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, archers);
    QFETCH(QString, note);
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("init"), c.path()}).exitCode, 0);
    c.write(QStringLiteral("bad.csv"), csv);
    const RunResult r = tallyon({QStringLiteral("import"), c.path(), c.file(QStringLiteral("bad.csv"))});
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.exitCode, 0);
    QStringList expectedOut;
    if (!note.isEmpty())
        expectedOut << note;
    expectedOut << QStringLiteral("imported 2 archers; added 2 countries, 2 bow types, 1 age class, 2 shooting classes");
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts), expectedOut);
    QCOMPARE(c.list("select a.LANE || ';' || a.NAME || ';' || c.NAME || ';' || b.DESCRIPTION || ';'"
                    " || coalesce(a.USERDEF1, '') from ARCHER a"
                    " join COUNTRY c on c.COUNTRYNUMBER = a.COUNTRYNUMBER join BOWTYPES b on b.TYPENO = a.BOWTYPE"
                    " order by a.LANENO, a.LANELETTER"),
             archers);
}

void TestHost::importReadsTheOrganisersSheet_data()
{
    QTest::addColumn<QString>("file");            // in tests/data
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("archers");     // LANE|NAME|SEX|USERDEF1|country|bow type|age class|class
    QTest::addColumn<QStringList>("out");         // the import's lines

    // A German club's sheet: semicolons, Windows-1252, its own headers; the
    // spellings of a bow type, a country and a sex vary, one name lost a letter.
    const QStringList german = {
        QStringLiteral("1A|Müller, Jürgen|M|BSC Essen|Deutschland|Recurve|Erwachsene|Herren"),
        QStringLiteral("1B|?esko, Jan|M|TSV Hof|Tschechien|Compound|Erwachsene|Herren"),
        QStringLiteral("1C|Weiß, Eva|F|TSV Hof|Deutschland|Compound|Erwachsene|Damen"),
        QStringLiteral("2A|Grün, Lotte|F|BSC Essen|Deutschland|Recurve|Junioren|Damen"),
        QStringLiteral("2B|König, Ute|F|SV Brake|Österreich|Blankbogen|Master|Damen")};
    const QString germanTaken = QStringLiteral(
        "took the columns of roster-de.csv: \"Scheibe\" as LANENO, \"Position\" as LANELETTER, \"Vorname\" as the "
        "first name (NAME as \"Name, First name\"), \"Verein\" as the club (USERDEF1), \"Nation\" as COUNTRY, "
        "\"Bogenart\" as BOWTYPE, \"Altersklasse\" as AGECLASS, \"Klasse\" as SHOOTINGCLASS, \"Geschlecht\" as SEX");
    const QString lostLetter = QStringLiteral(
        "warning: roster-de.csv line 3: archer 2 \"?esko, Jan\" holds \"?\", where the spreadsheet may have lost a "
        "letter; correct it with tallyon archer DB 2 set NAME=...");
    QTest::newRow("German") << "roster-de.csv" << QStringList() << german
                            << QStringList{QStringLiteral("roster-de.csv is not UTF-8: read it as Windows-1252"),
                                           germanTaken, lostLetter,
                                           QStringLiteral("imported 5 archers; added 3 countries, 3 bow types, "
                                                          "3 age classes, 2 shooting classes")};
    QStringList byClub = german;
    for (QString& row : byClub) {
        QStringList cells = row.split(u'|');
        cells[4] = cells[3];
        row = cells.join(u'|');
    }
    QTest::newRow("German, the club as team")
        << "roster-de.csv" << QStringList{QStringLiteral("--club-as-team")} << byClub
        << QStringList{QStringLiteral("roster-de.csv is not UTF-8: read it as Windows-1252"), germanTaken,
                       QStringLiteral("the club names the team (COUNTRY); the file's country column is not used"),
                       lostLetter,
                       QStringLiteral("imported 5 archers; added 3 countries, 3 bow types, 3 age classes, "
                                      "2 shooting classes")};
    QTest::newRow("French")
        << "roster-fr.csv" << QStringList()
        << QStringList{QStringLiteral("3A|Dupont, Amélie|F|Les Archers de Lyon|France|Classique|Senior|Femmes"),
                       QStringLiteral("3B|Lefèvre, Jean|M|Compagnie d'Arc de Reims|France|Poulies|Senior|Hommes"),
                       QStringLiteral("3C|Martin, Noémie|F|Les Archers de Lyon|Belgique|Classique|Junior|Femmes")}
        << QStringList{QStringLiteral("took the columns of roster-fr.csv: \"Cible\" as LANENO, \"Lettre\" as "
                                      "LANELETTER, \"Nom\" as NAME, \"Prénom\" as the first name (NAME as \"Name, "
                                      "First name\"), \"Club\" as the club (USERDEF1), \"Pays\" as COUNTRY, \"Type "
                                      "d'arc\" as BOWTYPE, \"Catégorie d'âge\" as AGECLASS, \"Classe\" as "
                                      "SHOOTINGCLASS, \"Sexe\" as SEX"),
                       QStringLiteral("imported 3 archers; added 2 countries, 2 bow types, 2 age classes, "
                                      "2 shooting classes")};
    // The sheet's own headers named by the map; the lane as "4A" in one column.
    QTest::newRow("map")
        << "roster-map.csv"
        << QStringList{QStringLiteral("--map"), QStringLiteral("Ziel=LANENO, Wer=NAME,Team=club,Land=COUNTRY, "
                                                               "Bogen=BOWTYPE,AK=AGECLASS,WK=SHOOTINGCLASS,G=SEX")}
        << QStringList{QStringLiteral("4A|Nowak, Ewa|F|KS Kraków|Polska|Recurve|Adult|Women"),
                       QStringLiteral("4B|Berg, Ola|M|Oslo BK|Norge|Recurve|Adult|Men")}
        << QStringList{QStringLiteral("took the columns of roster-map.csv: \"Ziel\" as LANENO, \"Wer\" as NAME, "
                                      "\"Team\" as the club (USERDEF1), \"Land\" as COUNTRY, \"Bogen\" as BOWTYPE, "
                                      "\"AK\" as AGECLASS, \"WK\" as SHOOTINGCLASS, \"G\" as SEX"),
                       QStringLiteral("imported 2 archers; added 2 countries, 1 bow type, 1 age class, "
                                      "2 shooting classes")};
}

void TestHost::importReadsTheOrganisersSheet()
{
    QFETCH(QString, file);
    QFETCH(QStringList, options);
    QFETCH(QStringList, archers);
    QFETCH(QStringList, out);
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("init"), c.path()}).exitCode, 0);
    QFile sheet(QFINDTESTDATA(QStringLiteral("data/") + file));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    c.write(file, sheet.readAll());
    const RunResult r = tallyon(QStringList{QStringLiteral("import"), c.path(), c.file(file)} + options);
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts), out);
    QCOMPARE(c.list("select a.LANE || '|' || a.NAME || '|' || a.SEX || '|' || a.USERDEF1 || '|' || c.NAME || '|'"
                    " || b.DESCRIPTION || '|' || g.DESCRIPTION || '|' || k.DESCRIPTION from ARCHER a"
                    " join COUNTRY c on c.COUNTRYNUMBER = a.COUNTRYNUMBER join BOWTYPES b on b.TYPENO = a.BOWTYPE"
                    " join AGECLASS g on g.AGECLASSNO = a.AGECLASSNO"
                    " join SHOOTINGCLASSES k on k.SHOOTINGCLASSNO = a.SHOOTINGCLASS order by a.LANENO, a.LANELETTER"),
             archers);
    // The club shows in the archer list.
    const RunResult list = tallyon({QStringLiteral("archers"), c.path()});
    QVERIFY2(list.out.startsWith(QStringLiteral("ID  LANE  NAME")) && list.out.contains(QStringLiteral("  CLUB  ")),
             qPrintable(list.out));
}

void TestHost::importMatchesNamesAndSexes()
{
    ProgramCompetition c;
    seedRoster(c);   // Norge, Sverige; Recurve, Compound, Barebow; Adult, Junior; Women, Men
    c.write(QStringLiteral("more.csv"), kHeader + "7,A,,Dag,m,  NORGE ,recurve,ADULT,  women\n"
                                                  "7,B,,Eli,w,sverige,Compound  ,junior,Men\n"
                                                  "7,C,,Fia,Weiblich,norge,BAREBOW,Adult,Women\n"
                                                  "7,D,,Gus,x,Norge,Recurve,Adult,Men\n");
    const RunResult r = tallyon({QStringLiteral("import"), c.path(), c.file(QStringLiteral("more.csv"))});
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts),
             QStringList{QStringLiteral("imported 4 archers; added 0 countries, 0 bow types, 0 age classes, "
                                        "0 shooting classes")});
    QCOMPARE(c.list("select a.NAME || a.SEX || c.NAME || b.DESCRIPTION || g.DESCRIPTION || k.DESCRIPTION from ARCHER a"
                    " join COUNTRY c on c.COUNTRYNUMBER = a.COUNTRYNUMBER join BOWTYPES b on b.TYPENO = a.BOWTYPE"
                    " join AGECLASS g on g.AGECLASSNO = a.AGECLASSNO"
                    " join SHOOTINGCLASSES k on k.SHOOTINGCLASSNO = a.SHOOTINGCLASS where a.LANENO = 7 order by 1"),
             (QStringList{QStringLiteral("DagMNorgeRecurveAdultWomen"), QStringLiteral("EliFSverigeCompoundJuniorMen"),
                          QStringLiteral("FiaFNorgeBarebowAdultWomen"), QStringLiteral("GusxNorgeRecurveAdultMen")}));
    // A change takes the same rules.
    QCOMPARE(tallyon({QStringLiteral("archer"), c.path(), QStringLiteral("1"), QStringLiteral("set"),
                      QStringLiteral("SEX=damen"), QStringLiteral("BOWTYPE=COMPOUND")}).exitCode, 0);
    QCOMPARE(c.list("select SEX || BOWTYPE from ARCHER where ARCHERID = 1"), QStringList{QStringLiteral("F2")});
    QCOMPARE(c.count("select count(*) from BOWTYPES"), 3);
}

void TestHost::importIsRefusedWhole_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expected");   // a part of the one error line

    // Line 2 is always good and brings a new country; only line 3 or the
    // header is at fault, so a half import would show.
    const QByteArray good = "5,A,,Piotr,M,Polska,Recurve,Adult,Men\n";
    const QStringList none;
    QTest::newRow("beyond ISO 8859-1") << kHeader + good + "5,B,,\xC5\x81ukasz,M,Polska,Recurve,Adult,Men\n" << none
                                       << "line 3: NAME holds \"Ł\" (U+0141), which ISO 8859-1 cannot hold";
    QTest::newRow("Windows-1252 beyond ISO 8859-1")
        << kHeader + "5,A,,Pi\xF6tr,M,Polska,Recurve,Adult,Men\n" + "5,B,,Jan,M,Polska,Recurve,Adult,Euro\x80\n"
        << none << "line 3: SHOOTINGCLASS holds \"€\" (U+20AC)";
    QTest::newRow("missing column") << QByteArray("LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS\n") << none
                                    << "line 1: column SHOOTINGCLASS is missing (the header has 8 columns separated by commas)";
    QTest::newRow("columns missing, all named")
        << QByteArray("Scheibe;Name;Startgeld\n") << none
        << "line 1: columns SEX, COUNTRY, BOWTYPE, AGECLASS, SHOOTINGCLASS are missing (the header has 3 columns "
           "separated by semicolons)";
    QTest::newRow("map names a header the file lacks")
        << kHeader + good << QStringList{QStringLiteral("--map"), QStringLiteral("Ziel=LANENO")}
        << "line 1: --map names the header \"Ziel\", which the header row lacks";
    QTest::newRow("lane without letter, no letter column")
        << QByteArray("Scheibe;Name;Geschlecht;Nation;Bogenart;Altersklasse;Klasse\n5A;Piotr;m;Polska;Recurve;Adult;Men\n"
                      "6;Jan;m;Polska;Recurve;Adult;Men\n")
        << none << "line 3: LANENO \"6\" is no lane such as 12A, and the file has no LANELETTER column";
    QTest::newRow("club and USERDEF1")
        << QByteArray("LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS,Verein,USERDEF1\n") + good
        << none << "line 1: the club and USERDEF1 are both given";
    QTest::newRow("unknown column, strict")
        << QByteArray("LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS,AGE\n") + good
        << QStringList{QStringLiteral("--strict")} << "line 1: unknown column \"AGE\"; the columns are LANENO, LANELETTER";
    QTest::newRow("column twice") << QByteArray("LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS,name\n")
                                         + good << none << "line 1: column NAME appears twice";
    QTest::newRow("bad lane number") << kHeader + good + "x5,C,,Jan,M,Polska,Recurve,Adult,Men\n" << none
                                     << "line 3: LANENO \"x5\" is not a positive whole number";
    QTest::newRow("bad lane letter") << kHeader + good + "5,C3,,Jan,M,Polska,Recurve,Adult,Men\n" << none
                                     << "line 3: LANELETTER \"C3\" is not a letter A to Z";
    QTest::newRow("lane label of another lane") << kHeader + good + "5,C,5D,Jan,M,Polska,Recurve,Adult,Men\n" << none
                                                << "line 3: LANE \"5D\" names another lane than LANENO 5 and LANELETTER C";
    QTest::newRow("lane twice in the file") << kHeader + good + "5,a,,Jan,M,Polska,Recurve,Adult,Men\n" << none
                                            << "line 3: lane 5A is also given on line 2";
    QTest::newRow("lane taken in the database") << kHeader + good + "1,A,,Jan,M,Polska,Recurve,Adult,Men\n" << none
                                                << "line 3: lane 1A already has an archer";
    QTest::newRow("field missing") << kHeader + good + "5,C,,Jan,M,Polska,Recurve,Adult\n" << none
                                   << "line 3: 8 fields where the header has 9 (separated by commas)";
    QTest::newRow("field missing, semicolons")
        << QByteArray(kHeader).replace(',', ';') + QByteArray(good).replace(',', ';') + "5;C;;Jan;M;Polska,Recurve;Adult;Men\n"
        << none << "line 3: 8 fields where the header has 9 (separated by semicolons)";
    QTest::newRow("empty name") << kHeader + good + "5,C,,  ,M,Polska,Recurve,Adult,Men\n" << none
                                << "line 3: NAME is empty";
    QTest::newRow("unclosed quote") << kHeader + good + "5,C,,\"Jan,M,Polska,Recurve,Adult,Men\n" << none
                                    << "line 3: a quoted field is never closed";
    QTest::newRow("unclosed quote, lone CRs") << QByteArray(kHeader + good + "5,C,,\"Jan,M,Polska,Recurve,Adult,Men\n\n").replace('\n', '\r')
                                              << none << "line 3: a quoted field is never closed";
    QTest::newRow("NUL byte") << kHeader + good + "5,C,,Jan" + QByteArray(1, '\0') + ",M,Polska,Recurve,Adult,Men\n"
                              << none << "line 3: a NUL character";
    QTest::newRow("NUL byte, Windows-1252") << kHeader + "5,A,,Pi\xF6tr,M,Polska,Recurve,Adult,Men\n" + QByteArray(1, '\0') << none
                                            << "line 3: a NUL character";
    QTest::newRow("UTF-8 mark, then not UTF-8") << "\xEF\xBB\xBF" + kHeader + good + "5,C,,J\xFCrgen,M,Polska,Recurve,Adult,Men\n"
                                                << none << "line 3: the text is not UTF-8";
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFEL\0A\0", 6) << none << "line 1: the file is UTF-16";
    QTest::newRow("name too long") << kHeader + good + "5,C,," + QByteArray(81, 'n') + ",M,Polska,Recurve,Adult,Men\n"
                                   << none << "line 3: NAME is longer than 80";
    QTest::newRow("10 MB lane number") << kHeader + good + QByteArray(10 * 1024 * 1024, '7') + "x,C,,Jan,M,Polska,Recurve,Adult,Men\n"
                                       << none << "line 3: LANENO \"7777777777777777777777777777777777777777... (10485761 characters)\" is not";
    QTest::newRow("10 MB line of quoted breaks")
        << kHeader + good + "5,\"" + QByteArray(5 * 1024 * 1024, '\n') + QByteArray(5 * 1024 * 1024, 'C')
               + "\",,Jan,M,Polska,Recurve,Adult,Men\n"
        << none << "line 3: LANELETTER \"";
    QTest::newRow("ESC in a name") << kHeader + good + "5,C,,Jan\x1b[2J,M,Polska,Recurve,Adult,Men\n" << none
                                   << "line 3: NAME holds the control character U+001B at character 4";
    QTest::newRow("SOH in a country") << kHeader + good + "5,C,,Jan,M,Pol\x01ska,Recurve,Adult,Men\n" << none
                                      << "line 3: COUNTRY holds the control character U+0001 at character 4";
    // A free text (USERDEF1) may keep its lines; a name may not.
    QTest::newRow("line break in a quoted name") << kHeader + good + "5,C,,\"Jan\nKowalski\",M,Polska,Recurve,Adult,Men\n"
                                                 << none << "line 3: NAME holds the control character U+000A at character 4";
    QTest::newRow("flag neither T nor F")
        << QByteArray("LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS,ENABLETEAM\n")
               + "5,A,,Piotr,M,Polska,Recurve,Adult,Men,T\n5,C,,Jan,M,Polska,Recurve,Adult,Men,maybe\n"
        << none << "line 3: ENABLETEAM \"maybe\" is neither T nor F";
}

void TestHost::importIsRefusedWhole()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, options);
    QFETCH(QString, expected);
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("init"), c.path()}).exitCode, 0);
    c.write(QStringLiteral("base.csv"), kHeader + "1,A,,Anna,F,Norge,Recurve,Adult,Women\n");
    QCOMPARE(tallyon({QStringLiteral("import"), c.path(), c.file(QStringLiteral("base.csv"))}).exitCode, 0);
    const QStringList before = c.list("select count(*) || ',' || (select count(*) from COUNTRY) || ','"
                                      " || (select count(*) from BOWTYPES) from ARCHER");

    c.write(QStringLiteral("bad.csv"), csv);
    const RunResult r = tallyon(QStringList{QStringLiteral("import"), c.path(), c.file(QStringLiteral("bad.csv"))} + options);
    QVERIFY(r.exitCode != 0);
    QCOMPARE(r.errorLines.size(), 1);
    QVERIFY2(r.errorLines[0].startsWith(QStringLiteral("tallyon: bad.csv line ")), qPrintable(r.errorLines[0]));
    QVERIFY2(r.errorLines[0].contains(expected), qPrintable(r.errorLines[0]));
    // Whatever the file holds, the line stays readable.
    QVERIFY2(r.errorLines[0].size() < 300, qPrintable(r.errorLines[0].left(300)));
    QCOMPARE(c.list("select count(*) || ',' || (select count(*) from COUNTRY) || ','"
                    " || (select count(*) from BOWTYPES) from ARCHER"), before);
}

void TestHost::archersListInLaneOrder()
{
    ProgramCompetition c;
    seedRoster(c);
    const RunResult r = tallyon({QStringLiteral("archers"), c.path()});
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts),
             (QStringList{QStringLiteral("ID  LANE  NAME      COUNTRY  BOW TYPE  AGE CLASS  SHOOTING CLASS  ARROWS  STATUS"),
                          QStringLiteral("3   1A    Cara               Barebow   Junior     Women           0"),
                          QStringLiteral("2   1B    Bert Öst  Sverige  Compound  Adult      Men             3"),
                          QStringLiteral("1   2A    Anna      Norge    Recurve   Adult      Women           0")}));

    ProgramCompetition empty;
    QCOMPARE(tallyon({QStringLiteral("init"), empty.path()}).exitCode, 0);
    const RunResult none = tallyon({QStringLiteral("archers"), empty.path()});
    QCOMPARE(none.exitCode, 0);
    QVERIFY2(none.out.contains(QStringLiteral("has no archers yet; add them with tallyon import")), qPrintable(none.out));
}

void TestHost::archerChanges_data()
{
    QTest::addColumn<QStringList>("args");       // after "archer DB"
    QTest::addColumn<QString>("expected");       // archer 2 afterwards, or "error: " and a part of the one line

    const QString before = QStringLiteral("1B|1B|Bert Öst|M|Sverige|Compound|Adult|Men|TT");
    QTest::newRow("name") << QStringList{"2", "set", "NAME=Bert Öster"} << "1B|1B|Bert Öster|M|Sverige|Compound|Adult|Men|TT";
    QTest::newRow("lane by its label") << QStringList{"2", "set", "LANE=3c"} << "3C|3C|Bert Öst|M|Sverige|Compound|Adult|Men|TT";
    QTest::newRow("lane number keeps the letter") << QStringList{"2", "set", "LANENO=4"}
                                                  << "4B|4B|Bert Öst|M|Sverige|Compound|Adult|Men|TT";
    QTest::newRow("lane letter, any case") << QStringList{"2", "set", "laneletter=d"}
                                           << "1D|1D|Bert Öst|M|Sverige|Compound|Adult|Men|TT";
    QTest::newRow("a label of its own") << QStringList{"2", "set", "LANE=Hall 2", "LANENO=5", "LANELETTER=A"}
                                        << "5A|Hall 2|Bert Öst|M|Sverige|Compound|Adult|Men|TT";
    QTest::newRow("own lane again") << QStringList{"2", "set", "LANE=1B"} << before;
    QTest::newRow("new country") << QStringList{"2", "set", "COUNTRY=Suomi"} << "1B|1B|Bert Öst|M|Suomi|Compound|Adult|Men|TT";
    QTest::newRow("classes and sex, W read as F") << QStringList{"2", "set", "SEX=W", "AGECLASS=Junior", "SHOOTINGCLASS=Women", "BOWTYPE=Barebow"}
                                     << "1B|1B|Bert Öst|F|Sverige|Barebow|Junior|Women|TT";
    QTest::newRow("country emptied") << QStringList{"2", "set", "COUNTRY="} << "1B|1B|Bert Öst|M||Compound|Adult|Men|TT";
    QTest::newRow("flag") << QStringList{"2", "set", "ENABLETEAM=no"} << "1B|1B|Bert Öst|M|Sverige|Compound|Adult|Men|FT";

    QTest::newRow("lane taken") << QStringList{"2", "set", "LANE=1A"} << "error: archer 2: lane 1A is taken by archer 3 (Cara); nothing changed";
    QTest::newRow("lane taken, the rest fine") << QStringList{"2", "set", "NAME=X", "LANENO=2", "LANELETTER=A"}
                                               << "error: lane 2A is taken by archer 1 (Anna)";
    QTest::newRow("label alone that is no lane") << QStringList{"2", "set", "LANE=Hall"}
                                                 << "error: LANE \"Hall\" is not a lane such as 12B";
    QTest::newRow("label of another lane") << QStringList{"2", "set", "LANE=3C", "LANENO=3", "LANELETTER=D"}
                                           << "error: LANE \"3C\" names another lane than LANENO 3 and LANELETTER D";
    QTest::newRow("bad lane number") << QStringList{"2", "set", "LANENO=0"} << "error: LANENO \"0\" is not a positive whole number";
    QTest::newRow("empty name") << QStringList{"2", "set", "NAME= "} << "error: NAME is empty";
    // The country is made before the flag is read; the refusal takes it back.
    QTest::newRow("bad flag after a new country") << QStringList{"2", "set", "ENABLETEAM=maybe", "COUNTRY=Suomi"}
                                                  << "error: ENABLETEAM \"maybe\" is neither T nor F";
    QTest::newRow("beyond ISO 8859-1") << QStringList{"2", "set", "NAME=Łukasz"} << "error: NAME holds \"Ł\" (U+0141)";
    QTest::newRow("ESC in a name") << QStringList{"2", "set", "NAME=Bert\x1b]0;owned\x07"}
                                   << "error: archer 2: NAME holds the control character U+001B at character 5";
    QTest::newRow("too long") << QStringList{"2", "set", "SEX=" + QString(11, u'x')} << "error: SEX is longer than 10 characters";
    QTest::newRow("unknown column") << QStringList{"2", "set", "AGE=12"} << "error: unknown column \"AGE\"; the columns are LANENO";
    QTest::newRow("column twice") << QStringList{"2", "set", "NAME=a", "name=b"} << "error: column NAME is given twice";
    QTest::newRow("no value") << QStringList{"2", "set", "NAME"} << "error: \"NAME\" is no COLUMN=VALUE";
    QTest::newRow("nothing to set") << QStringList{"2", "set"} << "error: usage: tallyon archer DB ID set";
    QTest::newRow("no such archer") << QStringList{"9", "set", "NAME=x"} << "error: has no archer 9";
    QTest::newRow("no number") << QStringList{"x2", "set", "NAME=x"} << "error: \"x2\" is not an archer's number";
    QTest::newRow("unknown action") << QStringList{"2", "rename", "x"} << "error: usage: tallyon archer DB ID set";
    QTest::newRow("remove with arrows") << QStringList{"2", "remove"}
                                        << "error: archer 2 (Bert Öst, lane 1B) has 3 arrows entered; add --with-points";
}

void TestHost::archerChanges()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    ProgramCompetition c;
    seedRoster(c);
    const QStringList before = rosterDigest(c);
    const RunResult r = tallyon(QStringList{QStringLiteral("archer"), c.path()} + args);
    if (expected.startsWith(QStringLiteral("error: "))) {
        QVERIFY(r.exitCode != 0);
        QCOMPARE(r.errorLines.size(), 1);
        QVERIFY2(r.errorLines[0].contains(expected.mid(7)), qPrintable(r.errorLines[0]));
        QCOMPARE(rosterDigest(c), before);
        return;
    }
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(bert(c), expected);
    // The others and the arrows stay as they were.
    QCOMPARE(rosterDigest(c).mid(0, 1), before.mid(0, 1));
    QCOMPARE(rosterDigest(c).mid(2, 1), before.mid(2, 1));
    QCOMPARE(c.count("select count(*) from POINTS where ARCHERID = 2"), 4);
}

void TestHost::archerRemoval()
{
    ProgramCompetition c;
    seedRoster(c);
    // No arrow entered: the archer goes with the empty row.
    RunResult r = tallyon({QStringLiteral("archer"), c.path(), QStringLiteral("3"), QStringLiteral("remove")});
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.out.trimmed(), QStringLiteral("removed archer 3 (Cara, lane 1A)"));
    QCOMPARE(c.list("select ARCHERID from ARCHER order by 1"), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    QCOMPARE(c.count("select count(*) from POINTS where ARCHERID = 3"), 0);

    r = tallyon({QStringLiteral("archer"), c.path(), QStringLiteral("2"), QStringLiteral("remove"), QStringLiteral("--with-points")});
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.out.trimmed(), QStringLiteral("removed archer 2 (Bert Öst, lane 1B) with its 3 arrows"));
    QCOMPARE(c.list("select ARCHERID from ARCHER"), QStringList{QStringLiteral("1")});
    QCOMPARE(c.count("select count(*) from POINTS"), 0);

    r = tallyon({QStringLiteral("archer"), c.path(), QStringLiteral("2"), QStringLiteral("remove")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.errorLines.value(0).contains(QStringLiteral("has no archer 2")), qPrintable(r.errorLines.value(0)));
}

void TestHost::exportReadsBack()
{
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("demo"), c.path()}).exitCode, 0);
    // A name that needs quotes, and an arrow left empty.
    c.seed({"update ARCHER set NAME = 'Smith, \"Jo\"' where ARCHERID = 2",
           "update POINTS set EMPTYSCORE = 'T', POINT = 0 where ARCHERID = 1 and ROUNDNO = 2 and ARROWNO = 30"});
    const QString csv = c.file(QStringLiteral("out.csv"));
    const RunResult r = tallyon({QStringLiteral("export"), c.path(), QStringLiteral("--csv"), csv});
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.exitCode, 0);
    const int entered = c.count("select count(*) from POINTS where EMPTYSCORE = 'F'");
    QCOMPARE(r.out.trimmed(), QStringLiteral("exported 40 archers with %1 arrows to %2").arg(entered).arg(csv));

    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const std::vector<CsvRecord> records = parseCsv(decodeCsvText(bytes).text);
    QCOMPARE(records.front().fields.join(u','),
             QStringLiteral("ARCHERID,LANENO,LANELETTER,LANE,NAME,SEX,COUNTRY,BOWTYPE,AGECLASS,SHOOTINGCLASS,"
                            "USERDEF1,USERDEF2,ENABLETEAM,ENABLEFINALS,ROUNDNO,ARROWNO,ARROW"));
    // One row per stored arrow, one for each archer without any, in lane order.
    QStringList got;
    for (std::size_t i = 1; i < records.size(); ++i) {
        const QStringList& f = records[i].fields;
        QCOMPARE(f.size(), 17);
        got << QStringList{f[0], f[3], f[4], f[6], f[12], f[14], f[15], f[16]}.join(u'|');
    }
    const QStringList expected = c.list(
        "select a.ARCHERID || '|' || a.LANE || '|' || a.NAME || '|' || coalesce(c.NAME, '') || '|' || a.ENABLETEAM"
        " || '|' || coalesce(p.ROUNDNO, '') || '|' || coalesce(p.ARROWNO, '') || '|' ||"
        " case when p.ARCHERID is null then '' when p.\"CROSS\" = 'T' then 'X' when p.EMPTYSCORE = 'T' then ''"
        " when p.POINT = 0 then 'M' else p.POINT end"
        " from ARCHER a left join COUNTRY c on c.COUNTRYNUMBER = a.COUNTRYNUMBER"
        " left join POINTS p on p.ARCHERID = a.ARCHERID order by a.LANENO, a.LANELETTER, p.ROUNDNO, p.ARROWNO");
    QCOMPARE(got.size(), expected.size());
    QCOMPARE(got, expected);
    QVERIFY(got.contains(QStringLiteral("1|1A|Jürgen Müller|Deutschland|T|2|30|")));
    QVERIFY(got.filter(QStringLiteral("|X")).size() > 0);
    QVERIFY(got.filter(QStringLiteral("|M")).size() > 0);
    QVERIFY(got.filter(QStringLiteral("|Smith, \"Jo\"|")).size() == 60);
}

void TestHost::exportGuardsFormulas_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("golden");
    QTest::newRow("commas") << QStringList() << QStringLiteral("data/export-formula-guard.csv");
    QTest::newRow("semicolons") << QStringList{QStringLiteral("--separator"), QStringLiteral(";")}
                                << QStringLiteral("data/export-formula-guard-semicolons.csv");
}

void TestHost::exportGuardsFormulas()
{
    QFETCH(QStringList, options);
    QFETCH(QString, golden);
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("init"), c.path()}).exitCode, 0);
    // What a spreadsheet would run; a plain negative number stays a number.
    c.write(QStringLiteral("roster.csv"),
            kHeader + "1,A,,\"=HYPERLINK(\"\"http://example.com\"\",\"\"prize\"\")\",F,+1+2,Recurve,Adult,Women\n"
                      "1,B,,@SUM(1+1),M,-3,Recurve,Adult,Men\n"
                      "2,A,Podium,\"-Dash; Jo, Jr\",F,Norge,=1+1,Adult,Women\n");
    QCOMPARE(tallyon({QStringLiteral("import"), c.path(), c.file(QStringLiteral("roster.csv"))}).exitCode, 0);
    c.seed({"insert into POINTS values (1, 1, 1, 10, 'T', 'F')", "insert into POINTS values (1, 1, 2, 0, 'F', 'F')"});
    const QString csv = c.file(QStringLiteral("out.csv"));
    const RunResult r = tallyon(QStringList{QStringLiteral("export"), c.path(), QStringLiteral("--csv"), csv} + options);
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.exitCode, 0);
    QFile written(csv);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QFile expected(QFINDTESTDATA(golden));
    QVERIFY2(expected.open(QIODevice::ReadOnly), qPrintable(golden));
    QCOMPARE(written.readAll(), expected.readAll());
}

void TestHost::archersShowControlCharactersAsText()
{
    ProgramCompetition c;
    seedRoster(c);
    // Another program stored escape sequences; the terminal must not obey them.
    c.seed({"update ARCHER set NAME = 'Anna' || ascii_char(27) || '[2J' || ascii_char(155) || 'x' where ARCHERID = 1",
            "update COUNTRY set NAME = 'No' || ascii_char(1) || 'rge' where NAME = 'Norge'"});
    const RunResult r = tallyon({QStringLiteral("archers"), c.path()});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(!r.out.contains(QChar(0x1B)) && !r.out.contains(QChar(0x9B)) && !r.out.contains(QChar(0x01)), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("2A    Anna\\x1b[2J\\x9bx  No\\x01rge")), qPrintable(r.out));

    // A change reports the old name the same way.
    const RunResult change = tallyon({QStringLiteral("archer"), c.path(), QStringLiteral("1"), QStringLiteral("set"),
                                      QStringLiteral("NAME=Anna")});
    QCOMPARE(change.exitCode, 0);
    QCOMPARE(change.out.trimmed(), QStringLiteral("archer 1: NAME: \"Anna\\x1b[2J\\x9bx\" -> \"Anna\""));
}

void TestHost::concurrentChangesMeetTheKeys_data()
{
    QTest::addColumn<QString>("command");      // "set": archer 1 set LANE=5A; "import": a file
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("taken");        // what the other transaction stores first
    QTest::addColumn<QString>("expected");     // the refusal's line

    QTest::newRow("lane by archer set") << QStringLiteral("set") << QByteArray() << QStringLiteral("lane")
                                        << QStringLiteral("archer 1: lane 5A was just taken by another change; run the command again; nothing changed");
    QTest::newRow("lane by import") << QStringLiteral("import") << kHeader + "5,A,,Piotr,M,Norge,Recurve,Adult,Men\n"
                                    << QStringLiteral("lane")
                                    << QStringLiteral("lane 5A was just taken by another change; run the command again");
    QTest::newRow("country by import") << QStringLiteral("import") << kHeader + "6,A,,Piotr,M,Atlantis,Recurve,Adult,Men\n"
                                       << QStringLiteral("country")
                                       << QStringLiteral("the country \"Atlantis\" was just added by another change; run the command again");
    QTest::newRow("country by archer set") << QStringLiteral("set-country") << QByteArray() << QStringLiteral("country")
                                           << QStringLiteral("the country \"Atlantis\" was just added by another change; run the command again");
}

void TestHost::concurrentChangesMeetTheKeys()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, csv);
    QFETCH(QString, taken);
    QFETCH(QString, expected);
    ProgramCompetition c;
    seedRoster(c);
    c.write(QStringLiteral("more.csv"), csv);
    const char* const roster = "select ARCHERID || ' ' || LANENO || LANELETTER || ' ' || coalesce(COUNTRYNUMBER, 0) from ARCHER"
                               " where ARCHERID < 50 order by 1";
    const QStringList archersBefore = c.list(roster);

    // The other change: stored, not yet committed, on an attachment of its own.
    db::Connection other;
    c.attach(other);
    db::Transaction otherTransaction(&other);
    db::Statement insert(&other, &otherTransaction);
    if (taken == u"lane")
        insert.sqlAdd("insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (50, 'Other', '5A', 5, 'A')");
    else
        insert.sqlAdd("insert into COUNTRY (COUNTRYNUMBER, NAME) values (50, 'Atlantis')");
    insert.execute({});

    // This change reads the roster before the other commits, so its own
    // checks find the lane or the name free.
    std::string refusal = "<none>";
    std::thread change([&] {
        std::ostringstream out;
        try {
            if (command == u"import")
                importArchers(c.login, c.file(QStringLiteral("more.csv")), {});
            else if (command == u"set")
                changeArcher(c.login, 1, {QStringLiteral("LANE=5A")}, out);
            else
                changeArcher(c.login, 1, {QStringLiteral("COUNTRY=Atlantis")}, out);
        } catch (const CommandError& e) {
            refusal = e.what();
        } catch (const std::exception& e) {
            refusal = std::string("unexpected: ") + e.what();
        }
    });
    // Wait until its write waits for the other transaction.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool waiting = false;
    while (!waiting && std::chrono::steady_clock::now() < deadline) {
        waiting = c.count("select count(*) from MON$STATEMENTS where MON$STATE = 1"
                          " and MON$ATTACHMENT_ID <> current_connection"
                          " and (MON$SQL_TEXT containing 'insert into' or MON$SQL_TEXT containing 'update ARCHER')") > 0;
        if (!waiting)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    otherTransaction.commit();
    change.join();
    other.disconnect();
    QVERIFY(waiting);

    QCOMPARE(QString::fromStdString(refusal), expected);
    // The other change is stored once; nothing of this one is.
    if (taken == u"lane")
        QCOMPARE(c.list("select ARCHERID from ARCHER where LANENO = 5 and LANELETTER = 'A'"), QStringList{QStringLiteral("50")});
    QCOMPARE(c.count("select count(*) from COUNTRY where NAME = 'Atlantis'"), taken == u"country" ? 1 : 0);
    QCOMPARE(c.count("select count(*) from ARCHER where NAME = 'Piotr'"), 0);
    QCOMPARE(c.list(roster), archersBefore);
    QCOMPARE(c.count("select count(*) from ARCHER"), taken == u"lane" ? 4 : 3);
}

void TestHost::rosterKeysAreAddedToOlderDatabases()
{
    ProgramCompetition c;
    seedRoster(c);
    const char* const keys = "select count(*) from RDB$INDICES where RDB$INDEX_NAME starting with 'UX_'"
                             " and RDB$UNIQUE_FLAG = 1";
    QCOMPARE(c.count(keys), 5);
    // A database made before the keys, where two archers share lane 9A.
    c.seed({"drop index UX_ARCHER_LANE", "drop index UX_COUNTRY_NAME", "drop index UX_AGECLASS_DESCRIPTION",
            "drop index UX_SHOOTINGCLASSES_DESCRIPTION", "drop index UX_BOWTYPES_DESCRIPTION"});
    c.seed({"insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (20, 'Dora', '9A', 9, 'A')",
            "insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (21, 'Emil', '9A', 9, 'A')",
            // No letter: no lane, so these do not break the rule.
            "insert into ARCHER (ARCHERID, NAME, LANE, LANENO) values (22, 'Finn', 'Podium', 9)",
            "insert into ARCHER (ARCHERID, NAME, LANE, LANENO) values (23, 'Gus', 'Podium', 9)"});

    // The change goes through; the key the rows break is named and left out.
    RunResult r = tallyon({QStringLiteral("archer"), c.path(), QStringLiteral("2"), QStringLiteral("set"), QStringLiteral("NAME=Bert")});
    QCOMPARE(r.errorLines, QStringList());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("breaks the rule of one archer per lane already (\"9A\" is there more than once)")),
             qPrintable(r.out));
    QCOMPARE(c.list("select NAME from ARCHER where ARCHERID = 2"), QStringList{QStringLiteral("Bert")});
    QCOMPARE(c.count(keys), 4);
    QCOMPARE(c.count("select count(*) from RDB$INDICES where RDB$INDEX_NAME = 'UX_ARCHER_LANE'"), 0);

    // Once the lanes are mended, the next change adds the key.
    r = tallyon({QStringLiteral("archer"), c.path(), QStringLiteral("21"), QStringLiteral("set"), QStringLiteral("LANE=9B")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(c.count(keys), 4);
    r = tallyon({QStringLiteral("archer"), c.path(), QStringLiteral("2"), QStringLiteral("set"), QStringLiteral("LANE=9B")});
    QVERIFY(r.exitCode != 0);
    QVERIFY2(r.errorLines.value(0).contains(QStringLiteral("lane 9B is taken by archer 21")), qPrintable(r.errorLines.value(0)));
    QVERIFY2(!r.out.contains(QStringLiteral("breaks the rule")), qPrintable(r.out));
    QCOMPARE(c.count(keys), 5);
    // The key refuses what another program writes too.
    QVERIFY(expectThrow<db::DuplicateKeyError>(
        [&] { c.seed({"insert into COUNTRY (COUNTRYNUMBER, NAME) values (70, 'Norge')"}); }, "UX_COUNTRY_NAME"));
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

void TestHost::screenshotOfAnEmptyCompetition()
{
    // No archer yet: the window is pictured as it opens, no box waits.
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("init"), c.path()}).exitCode, 0);
    const QString png = c.file(QStringLiteral("empty.png"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const RunResult r = tallyon({QStringLiteral("points"), c.path(), QStringLiteral("--screenshot"), png}, env);
    QVERIFY2(r.exitCode == 0, qPrintable(r.errorLines.join(u'\n')));
    // No box came up to be closed unanswered.
    QCOMPARE(r.errorLines.filter(QStringLiteral("tallyon:")), QStringList());
    QCOMPARE(QImage(png).size(), QSize(688, 474));
}

void TestHost::terminationClosesTheWindowAndEnds_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("command"); // what makes the competition
    QTest::newRow("SIGTERM") << int(SIGTERM) << "demo";
    QTest::newRow("SIGINT") << int(SIGINT) << "demo";
    QTest::newRow("SIGHUP") << int(SIGHUP) << "demo";
    QTest::newRow("SIGTERM, no archer yet") << int(SIGTERM) << "init";
}

void TestHost::terminationClosesTheWindowAndEnds()
{
    // The signal closes the window as the operator would; the database
    // engine's threads must not see it, or detaching hangs.
    QFETCH(int, signal);
    QFETCH(QString, command);
    ProgramCompetition c;
    QCOMPARE(tallyon({command, c.path()}).exitCode, 0);
    const int archers = c.count("select count(*) from ARCHER");
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
    QCOMPARE(c.count("select count(*) from ARCHER"), archers);
}

void TestHost::signalEndsTheTypedWindow_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QStringList>("keys");   // for xdotool key, into round 1 arrow 2
    QTest::addColumn<bool>("boxUp");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("arrows");     // archer 1's round 1 arrows 1 to 5 afterwards, "-" for no row
    QTest::addColumn<int>("rows");           // of archer 1 afterwards
    const QStringList fifteen = {"1", "0", "shift+Left", "5"};   // typed over part of 10
    const QStringList nineEightSeven = {"9", "Return", "8", "Return", "7", "Return"};
    QTest::newRow("SIGTERM, an arrow typed: saved") << int(SIGTERM) << QStringList({"9"}) << false << 0 << "5 9 0 0 0" << 60;
    QTest::newRow("SIGHUP, an arrow typed: saved") << int(SIGHUP) << QStringList({"9"}) << false << 0 << "5 9 0 0 0" << 60;
    // The valid arrows are stored, the impossible one is named and left
    // out, and the exit code tells that something was not stored.
    QTest::newRow("SIGTERM, 9 8 7 and 15 typed")
        << int(SIGTERM) << nineEightSeven + fifteen << false << 1 << "5 9 8 7 -" << 59;
    // The move is refused with a message box; the signal closes the box
    // and then saves what it can.
    QTest::newRow("SIGINT, 9 8 7 and 15 typed, its box up")
        << int(SIGINT) << nineEightSeven + fifteen + QStringList({"Next"}) << true << 1 << "5 9 8 7 -" << 59;
    QTest::newRow("SIGHUP, 15 typed, its box up")
        << int(SIGHUP) << fifteen + QStringList({"Next"}) << true << 1 << "5 - 0 0 0" << 59;
}

void TestHost::signalEndsTheTypedWindow()
{
#ifdef TALLYON_SANITIZED_BUILD
    // Seen here: the sanitized program does not show its window on Xvfb within
    // minutes. The plain build's run of this test covers the signals.
    QSKIP("the sanitized program does not show its window on Xvfb");
#endif
    QFETCH(int, signal);
    QFETCH(QStringList, keys);
    QFETCH(bool, boxUp);
    QFETCH(int, exitCode);
    QFETCH(QString, arrows);
    QFETCH(int, rows);
    // The real window on a virtual display, typed into through the X server.
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("needs Xvfb and xdotool (scripts/install-deps.sh)");
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("init"), c.path()}).exitCode, 0);
    c.seed({"insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (1, 'Anna', '1A', 1, 'A')",
            "insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (2, 'Bernd', '1B', 1, 'B')",
            "insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values (1, 1, 1, 5, 'F', 'F')"});

    int display = 90;
    while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(display)))
        ++display;
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(display), QStringLiteral("-screen"), QStringLiteral("0"),
                                        QStringLiteral("800x600x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QVERIFY(xvfb.waitForStarted());
    auto stopX = qScopeGuard([&] {
        xvfb.terminate();
        xvfb.waitForFinished(10000);
    });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)), 20000);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    auto xdotool = [&](const QStringList& args) {
        QProcess x;
        x.setProcessEnvironment(env);
        x.start(QStringLiteral("xdotool"), args);
        if (!x.waitForFinished(30000))
            x.kill();
        x.waitForFinished();
        return QString::fromLocal8Bit(x.readAllStandardOutput()).trimmed();
    };

    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TALLYON_EXE), {QStringLiteral("points"), c.path()});
    QVERIFY(p.waitForStarted());
    auto stopProgram = qScopeGuard([&] {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
        }
    });
    const QString window = xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--name"),
                                    QStringLiteral("^Vozoze Vove$")}).section(u'\n', 0, 0);
    QVERIFY2(!window.isEmpty(), p.readAllStandardError().constData());
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    // The focus is in the first empty box, round 1 arrow 2.
    for (const QString& key : std::as_const(keys))
        xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"), key});
    if (boxUp)
        QTRY_VERIFY_WITH_TIMEOUT(
            !xdotool({QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^tallyon$")}).isEmpty(), 30000);
    QCOMPARE(p.state(), QProcess::Running);

    ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(30000));
    const QString errors = QString::fromLocal8Bit(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == exitCode, qPrintable(errors));
    QCOMPARE(c.count("select count(*) from POINTS where ARCHERID = 1"), rows);
    QStringList stored;
    for (int arrow = 1; arrow <= 5; ++arrow) {
        const QStringList point = c.list("select POINT from POINTS where ARCHERID = 1 and ROUNDNO = 1 and ARROWNO = "
                                         + std::to_string(arrow));
        stored << (point.isEmpty() ? QStringLiteral("-") : point.first());
    }
    QCOMPARE(stored.join(u' '), arrows);
    const int impossible = arrows.split(u' ').indexOf(QStringLiteral("-")) + 1;
    if (impossible > 0) {
        const QString line = QStringLiteral("tallyon: archer 1 (1A Anna): round 1 arrow %1 holds \"15\", not stored")
                                 .arg(impossible);
        QVERIFY2(errors.split(u'\n').contains(line), qPrintable(errors));
    }
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

void TestHost::unansweredServerIsToldWithinSeconds_data()
{
    QTest::addColumn<bool>("listening");   // takes the connection and stays silent; else refuses it
    QTest::addColumn<QStringList>("args"); // DB stands for the server's database
    QTest::addColumn<QString>("expected");
    QTest::newRow("points, silent") << true << QStringList{"points", "DB", "--screenshot", "x.png"} << "cannot open";
    QTest::newRow("archers, silent") << true << QStringList{"archers", "DB"} << "cannot open";
    QTest::newRow("init, silent") << true << QStringList{"init", "DB"} << "cannot create";
    QTest::newRow("results, refused") << false << QStringList{"results", "DB"} << "cannot open";
    QTest::newRow("export, refused") << false << QStringList{"export", "DB", "--csv", "x.csv"} << "cannot open";
}

void TestHost::unansweredServerIsToldWithinSeconds()
{
    QFETCH(bool, listening);
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    const SilentPort port(listening);
    QVERIFY(port.port() > 0);
    QTemporaryDir dir;
    const QString server = QStringLiteral("127.0.0.1/%1").arg(port.port());
    for (QString& a : args) {
        if (a == u"DB")
            a = server + QStringLiteral(":/nowhere/hall.fdb");
        else if (a.startsWith(u"x."))
            a = QDir(dir.path()).filePath(a);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ISC_USER"), QStringLiteral("SYSDBA"));
    env.insert(QStringLiteral("ISC_PASSWORD"), QStringLiteral("secret"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QElapsedTimer clock;
    clock.start();
    const RunResult r = tallyon(args, env);
    const qint64 seconds = clock.elapsed() / 1000;
    QVERIFY2(seconds < 15, qPrintable(QString::number(seconds) + " s"));
    QVERIFY(r.exitCode != 0);
    QCOMPARE(r.errorLines.size(), 1);
    const QString& line = r.errorLines[0];
    QVERIFY2(line.startsWith(QStringLiteral("tallyon: ") + expected), qPrintable(line));
    QVERIFY2(line.contains(QStringLiteral("Firebird server 127.0.0.1 port %1").arg(port.port())), qPrintable(line));
    QVERIFY2(line.contains(QStringLiteral("check that the server runs")), qPrintable(line));
}

void TestHost::serverNeedsAPassword()
{
    // No password given: the command says how to give one, and never tries
    // the server's installation default. The port refuses, so a try would
    // show as "cannot open".
    const SilentPort port(false);
    const QString database = QStringLiteral("127.0.0.1/%1:/nowhere/hall.fdb").arg(port.port());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("ISC_USER"));
    env.remove(QStringLiteral("ISC_PASSWORD"));
    const RunResult none = tallyon({QStringLiteral("archers"), database}, env);
    QVERIFY(none.exitCode != 0);
    QCOMPARE(none.errorLines.size(), 1);
    QVERIFY2(none.errorLines[0].contains(QStringLiteral("no password for ")), qPrintable(none.errorLines[0]));
    QVERIFY2(none.errorLines[0].contains(QStringLiteral("ISC_PASSWORD")), qPrintable(none.errorLines[0]));
    QVERIFY2(none.errorLines[0].contains(QStringLiteral("--password-file")), qPrintable(none.errorLines[0]));

    // A password file others may read is refused, naming it and its mode;
    // one only its owner reads is taken (and the refusing port answers).
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath(QStringLiteral("password"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("secret\n");
    }
    for (const mode_t mode : {mode_t(0644), mode_t(0640), mode_t(0604)}) {
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode), 0);
        const RunResult shared = tallyon({QStringLiteral("archers"), database, QStringLiteral("--password-file"), file}, env);
        QVERIFY(shared.exitCode != 0);
        QCOMPARE(shared.errorLines.size(), 1);
        QVERIFY2(shared.errorLines[0].contains(file + QStringLiteral(" may be read by others (mode 0")),
                 qPrintable(shared.errorLines[0]));
    }
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0600), 0);
    const RunResult own = tallyon({QStringLiteral("archers"), database, QStringLiteral("--password-file"), file}, env);
    QCOMPARE(own.errorLines.size(), 1);
    QVERIFY2(own.errorLines[0].contains(QStringLiteral("no answer from the Firebird server")), qPrintable(own.errorLines[0]));

    // A plain file needs no password, as before.
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("init"), c.path()}, env).exitCode, 0);
    QCOMPARE(tallyon({QStringLiteral("archers"), c.path()}, env).exitCode, 0);
}

void TestHost::readOnlyDatabaseIsRanked()
{
    // A database set read-only, its file read-only too: the results are
    // ranked by the default rules, and nothing is written to it.
    if (QStandardPaths::findExecutable(QStringLiteral("gfix")).isEmpty())
        QSKIP("needs gfix (firebird3.0-utils)");
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("demo"), c.path()}).exitCode, 0);
    QProcess gfix;
    gfix.start(QStringLiteral("gfix"), {QStringLiteral("-mode"), QStringLiteral("read_only"), QStringLiteral("-user"),
                                        QStringLiteral("SYSDBA"), c.path()});
    QVERIFY(gfix.waitForFinished(60000));
    QCOMPARE(gfix.exitCode(), 0);
    QVERIFY(QFile::setPermissions(c.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const RunResult r = tallyon({QStringLiteral("results"), c.path()});
    QVERIFY2(r.exitCode == 0, qPrintable(r.errorLines.join(u'\n')));
    QVERIFY2(r.out.contains(QStringLiteral("Place")), qPrintable(r.out));
    QCOMPARE(c.count("select count(*) from RDB$RELATIONS where RDB$RELATION_NAME = 'RANKINGRULES'"), 0);
    QVERIFY(QFile::setPermissions(c.path(), QFile::ReadOwner | QFile::WriteOwner));
}

void TestHost::initFollowsTheUmask_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("mode");
    QTest::newRow("077") << 077 << 0600;
    QTest::newRow("022") << 022 << 0644;
    QTest::newRow("002") << 002 << 0664;
}

void TestHost::initFollowsTheUmask()
{
    QFETCH(int, umask);
    QFETCH(int, mode);
    ProgramCompetition c;
    // The child inherits the umask of this process.
    const mode_t before = ::umask(mode_t(umask));
    auto restore = qScopeGuard([&] { ::umask(before); });
    const RunResult r = tallyon({QStringLiteral("init"), c.path()});
    restore.dismiss();
    ::umask(before);
    QVERIFY2(r.exitCode == 0, qPrintable(r.errorLines.join(u'\n')));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(c.path()).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 0777), mode);
}

void TestHost::damagedDatabaseIsRefused_data()
{
    // 256 bytes of 0x7F written over the first page of POINTS of one kind,
    // found by the page's own header, so that no change of the schema or the
    // demo moves the damage elsewhere. The damage over the record index lets
    // the window open and take saves before. (A damaged index page is left
    // out: the embedded engine of Debian 12 ends the process on it.)
    QTest::addColumn<int>("pageType");
    QTest::addColumn<int>("relationOffset");   // where the page names its table
    QTest::addColumn<int>("damageOffset");     // where the damage starts in the page
    QTest::addColumn<QStringList>("refusing"); // the commands that find it
    QTest::newRow("a data page of POINTS") << 5 << 20 << 24 << QStringList{"points"};
}

void TestHost::damagedDatabaseIsRefused()
{
    QFETCH(int, pageType);
    QFETCH(int, relationOffset);
    QFETCH(int, damageOffset);
    QFETCH(QStringList, refusing);
    ProgramCompetition c;
    QCOMPARE(tallyon({QStringLiteral("demo"), c.path()}).exitCode, 0);
    const QStringList relation = c.list("select RDB$RELATION_ID from RDB$RELATIONS where RDB$RELATION_NAME = 'POINTS'");
    QCOMPARE(relation.size(), 1);
    const int pointsId = relation.first().toInt();
    {
        QFile f(c.path());
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QByteArray file = f.readAll();
        auto u16 = [&](qint64 at) { return int(quint8(file[at])) | int(quint8(file[at + 1])) << 8; };
        const qint64 pageSize = u16(16);   // the header page's page size
        QVERIFY(pageSize >= 1024);
        qint64 page = -1;
        for (qint64 at = pageSize; at + pageSize <= file.size() && page < 0; at += pageSize)
            if (quint8(file[at]) == pageType && u16(at + relationOffset) == pointsId)
                page = at;
        QVERIFY2(page > 0, "no page of POINTS of that kind");
        QVERIFY(f.seek(page + damageOffset));
        QCOMPARE(f.write(QByteArray(256, '\x7f')), qint64(256));
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString png = c.file(QStringLiteral("x.png"));
    const QMap<QString, QStringList> commands{{"points", {"points", c.path(), "--screenshot", png}},
                                              {"archers", {"archers", c.path()}},
                                              {"results", {"results", c.path()}}};
    for (const QString& command : std::as_const(refusing)) {
        const RunResult r = tallyon(commands.value(command), env);
        QVERIFY2(r.exitCode != 0, qPrintable(command));
        const QStringList lines = r.errorLines.filter(QRegularExpression(QStringLiteral("^tallyon: ")));
        QCOMPARE(lines.size(), 1);
        const QString& line = lines[0];
        QVERIFY2(line.startsWith(QStringLiteral("tallyon: ") + c.path() + QStringLiteral(" is damaged (")), qPrintable(line));
        QVERIFY2(line.contains(QStringLiteral("restore it from a backup (")), qPrintable(line));
    }
    QVERIFY(!QFile::exists(png));
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
    // A column missing would show only at the first save, with the window then unable to close.
    QTest::newRow("points: POINTS lacks a column") << "lacks POINTS.EMPTYSCORE" << QStringList{points, db, shot, "x.png"}
                                                   << "(it lacks the column POINTS.EMPTYSCORE)";
    QTest::newRow("archers: ARCHER lacks columns") << "lacks ARCHER.USERDEF1 ARCHER.ENABLEFINALS" << QStringList{"archers", db}
                                                   << "(it lacks the columns ARCHER.USERDEF1, ARCHER.ENABLEFINALS)";
    QTest::newRow("export without a file") << "nothing" << QStringList{"export", db} << "usage: tallyon export DB --csv FILE.csv";
    QTest::newRow("an option of another command") << "nothing" << QStringList{points, db, "--strict"}
                                                  << "--strict belongs to the import command";
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
    if (setup.startsWith(u"lacks ")) {
        QCOMPARE(tallyon({QStringLiteral("init"), c.path()}).exitCode, 0);
        // A database of another program: without the arrows' history,
        // whose trigger would hold on to the columns.
        std::vector<std::string> drops{"drop trigger TALLYON_POINTS_HISTORY"};
        for (const QString& column : setup.mid(6).split(u' '))
            drops.push_back("alter table " + column.section(u'.', 0, 0).toStdString() + " drop "
                            + column.section(u'.', 1).toStdString());
        c.seed(drops);
    }
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
    env.insert(QStringLiteral("ISC_USER"), QStringLiteral("SYSDBA"));
    env.insert(QStringLiteral("ISC_PASSWORD"), QStringLiteral("secret"));   // for the server's row
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
