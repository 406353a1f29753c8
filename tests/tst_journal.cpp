// The station journal and the history of every arrow: records that survive
// the process, a record cut short, another database's journal, the window
// writing each typed arrow and taking back what an earlier run left, and
// the history's rows with their station.

#include "tests/support/competition.h"
#include "tests/support/typing.h"

#include "data/competition_schema.h"
#include "data/points_history.h"
#include "db/error.h"
#include "db/transaction.h"
#include "forms/error_display.h"
#include "forms/question_display.h"
#include "forms/uVuRudiCompetition.h"
#include "host/station_context.h"
#include "journal/journal_record.h"
#include "journal/station_journal.h"
#include "model/message_seam.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> ThreeArchers{
    "insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (10, 'Anna', '1A', 1, 'A')",
    "insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (11, 'Bernd', '1B', 1, 'B')",
    "insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (12, 'Carl', '2A', 2, 'A')",
};

std::string arrowRow(int archer, int round, int arrow, int point)
{
    return "insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values ("
        + std::to_string(archer) + ", " + std::to_string(round) + ", " + std::to_string(arrow) + ", "
        + std::to_string(point) + ", 'F', 'F')";
}

QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// "round:arrow=text" of each unsaved arrow of each archer, "archer:" first.
QStringList unsavedOf(const StationJournal& journal)
{
    QStringList out;
    for (const auto& archer : journal.unsaved()) {
        out << QStringLiteral("archer %1").arg(archer.archer);
        for (const auto& typed : archer.arrows)
            out << QStringLiteral("%1:%2 %3->%4").arg(typed.round).arg(typed.arrow).arg(typed.asRead, typed.text);
    }
    return out;
}

// The arrow records of a journal file as "archer round:arrow text", read
// from the disk.
QStringList recordsIn(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("cannot read")};
    QStringList out;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const auto record = DecodeJournalRecord(line);
        if (record && record->kind == JournalRecord::Kind::Arrow)
            out << QStringLiteral("%1 %2:%3 %4").arg(record->archer).arg(record->round).arg(record->arrow).arg(record->text);
    }
    return out;
}

qint64 fileSize(const QString& path)
{
    return QFileInfo(path).size();
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void recordKeepsItsFieldsAndRefusesDamage_data();
    void recordKeepsItsFieldsAndRefusesDamage();
    void unsavedArrowsOutliveTheJournalUntilSaved();
    void recordCutShortIsDroppedNeverMisread_data();
    void recordCutShortIsDroppedNeverMisread();
    void journalOfAnotherDatabaseIsIgnored();
    void secondProgramOnTheSameJournalIsRefused();

    void windowJournalsEachTypedArrowUntilTheSaveCommits();
    void acceptedRecoveryShowsEachArcherAsTypedAndSaves();
    void declinedRecoveryKeepsTheArrowsInANamedFile();
    void recoveryMeetingAnotherStationsValueGoesThroughTheConflictRules();

    void historyKeepsEveryChangeWithItsStation();
    void historyIsAddedToAnOlderDatabase();
    void historyCommandShowsTheChangesInTimeOrder();

private:
    void open(const std::vector<std::string>& seed);
    std::unique_ptr<StationJournal> journal() const
    {
        return std::make_unique<StationJournal>(competition_->path(), QStringLiteral("hall-2"), journals_->path());
    }
    std::vector<std::string> arrowsOf(int archer) const
    {
        return competition_->rows("select ROUNDNO, ARROWNO, POINT from POINTS where ARCHERID = "
                                  + std::to_string(archer) + " and EMPTYSCORE = 'F' order by ROUNDNO, ARROWNO");
    }
    QString shownId() const { return form_->lblIDVal->text(); }

    std::unique_ptr<QTemporaryDir> journals_;
    std::unique_ptr<TestCompetition> competition_;
    std::unique_ptr<TdmTallyon> dm_;
    std::unique_ptr<TfrmVuRudiCompetition> form_;
    QStringList errors_;
    QStringList messages_;
    QStringList questions_;
    bool answer_ = true;
};

void TestJournal::init()
{
    errors_.clear();
    messages_.clear();
    questions_.clear();
    answer_ = true;
    SetErrorHandler([this](const QString& message) { errors_ << message; });
    SetMessageHandler([this](const std::string& message) { messages_ << latin1(message); });
    SetQuestionHandler([this](const QString& question) {
        questions_ << question;
        return answer_;
    });
    journals_ = std::make_unique<QTemporaryDir>();
    competition_ = std::make_unique<TestCompetition>();
}

void TestJournal::cleanup()
{
    if (form_) {
        form_->UseStationJournal(nullptr);
        form_->hide();
    }
    form_.reset();
    dm_.reset();
    competition_.reset();
    journals_.reset();
    SetErrorHandler({});
    SetMessageHandler({});
    SetQuestionHandler({});
}

void TestJournal::open(const std::vector<std::string>& seed)
{
    competition_->seed(seed);
    dm_ = competition_->connectContext();
    form_ = std::make_unique<TfrmVuRudiCompetition>(dm_.get());
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
}

void TestJournal::recordKeepsItsFieldsAndRefusesDamage_data()
{
    QTest::addColumn<int>("flipAt");   // the byte changed; -1: none
    QTest::addColumn<bool>("read");
    QTest::newRow("whole") << -1 << true;
    QTest::newRow("archer changed") << 2 << false;
    QTest::newRow("text changed") << 24 << false;
    QTest::newRow("checksum changed") << -2 << false;
}

void TestJournal::recordKeepsItsFieldsAndRefusesDamage()
{
    QFETCH(int, flipAt);
    QFETCH(bool, read);
    const JournalRecord written{JournalRecord::Kind::Arrow, 12, 2, 30, 1765272725000, QStringLiteral("7"),
                                QStringLiteral("1 0%\u00e4")};
    QByteArray line = EncodeJournalRecord(written);
    QVERIFY(line.endsWith('\n'));
    if (flipAt != -1) {
        const qsizetype at = flipAt >= 0 ? flipAt : line.size() + flipAt;
        line[at] = line[at] == '1' ? '2' : '1';
    }
    const auto back = DecodeJournalRecord(line);
    QCOMPARE(back.has_value(), read);
    if (!read)
        return;
    QCOMPARE(back->archer, 12);
    QCOMPARE(back->round, 2);
    QCOMPARE(back->arrow, 30);
    QCOMPARE(back->msecs, written.msecs);
    QCOMPARE(back->asRead, written.asRead);
    QCOMPARE(back->text, written.text);
}

void TestJournal::unsavedArrowsOutliveTheJournalUntilSaved()
{
    QString path;
    qint64 empty = 0;
    {
        auto j = journal();
        QVERIFY2(j->ok(), qPrintable(j->errorText()));
        path = j->path();
        empty = fileSize(path);
        QVERIFY(j->recordArrow(11, 1, 1, QString(), QStringLiteral("1")));
        QVERIFY(j->recordArrow(11, 1, 1, QString(), QStringLiteral("10")));
        QVERIFY(j->recordArrow(10, 2, 3, QStringLiteral("7"), QStringLiteral("X")));
        QVERIFY(j->recordArrow(11, 1, 2, QStringLiteral("M"), QString()));
    }
    QVERIFY(path.startsWith(journals_->path()));
    {
        auto j = journal();
        QCOMPARE(j->path(), path);
        // Archers in the order first typed; an arrow keeps its value as
        // first read and its last text.
        QCOMPARE(unsavedOf(*j), (QStringList{"archer 11", "1:1 ->10", "1:2 M->", "archer 10", "2:3 7->X"}));
        QVERIFY(j->archerSaved(11));
        QCOMPARE(unsavedOf(*j), (QStringList{"archer 10", "2:3 7->X"}));
    }
    {
        auto j = journal();
        QCOMPARE(unsavedOf(*j), (QStringList{"archer 10", "2:3 7->X"}));
        QVERIFY(j->archerSaved(10));
        // Nothing left: the file is back to its first line.
        QCOMPARE(fileSize(path), empty);
    }
    QCOMPARE(unsavedOf(*journal()), QStringList());
}

void TestJournal::recordCutShortIsDroppedNeverMisread_data()
{
    QTest::addColumn<int>("cut");   // bytes cut from the end of the file
    QTest::newRow("line end only") << 1;
    QTest::newRow("half the checksum") << 5;
    QTest::newRow("into the text") << 14;
    QTest::newRow("all but the kind") << -1;
}

void TestJournal::recordCutShortIsDroppedNeverMisread()
{
    QFETCH(int, cut);
    QString path;
    qint64 lastLine = 0;
    {
        auto j = journal();
        path = j->path();
        QVERIFY(j->recordArrow(10, 1, 1, QString(), QStringLiteral("9")));
        const qint64 before = fileSize(path);
        QVERIFY(j->recordArrow(10, 1, 2, QString(), QStringLiteral("10")));
        lastLine = fileSize(path) - before;
    }
    // A power cut in the middle of the last write.
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() - (cut >= 0 ? cut : lastLine - 1)));
    }
    {
        auto j = journal();
        QCOMPARE(j->droppedRecords(), 1);
        QCOMPARE(unsavedOf(*j), (QStringList{"archer 10", "1:1 ->9"}));
        // What follows is read whole, not glued to the damaged bytes.
        QVERIFY(j->recordArrow(10, 1, 3, QString(), QStringLiteral("8")));
    }
    auto j = journal();
    QCOMPARE(j->droppedRecords(), 0);
    QCOMPARE(unsavedOf(*j), (QStringList{"archer 10", "1:1 ->9", "1:3 ->8"}));
}

void TestJournal::journalOfAnotherDatabaseIsIgnored()
{
    TestCompetition other(QStringLiteral("other.fdb"));
    QString otherPath;
    {
        StationJournal j(other.path(), QStringLiteral("hall-2"), journals_->path());
        QVERIFY(j.recordArrow(10, 1, 1, QString(), QStringLiteral("9")));
        otherPath = j.path();
    }
    QString ownPath;
    {
        auto j = journal();
        ownPath = j->path();
    }
    QVERIFY(ownPath != otherPath);
    // The other database's journal copied over this one's, as a restored
    // backup or a renamed competition file might leave it.
    QVERIFY(QFile::remove(ownPath));
    QVERIFY(QFile::copy(otherPath, ownPath));
    auto j = journal();
    QVERIFY(j->ok());
    QCOMPARE(unsavedOf(*j), QStringList());
    // Kept aside, not lost.
    const QStringList aside =
        QDir(journals_->path()).entryList({QFileInfo(ownPath).fileName() + QStringLiteral(".another-database-*")});
    QCOMPARE(aside.size(), 1);
    // The other database's own journal is untouched.
    StationJournal again(other.path(), QStringLiteral("hall-2"), journals_->path());
    QCOMPARE(unsavedOf(again), (QStringList{"archer 10", "1:1 ->9"}));
}

void TestJournal::secondProgramOnTheSameJournalIsRefused()
{
    auto first = journal();
    QVERIFY(first->recordArrow(10, 1, 1, QString(), QStringLiteral("9")));
    auto second = journal();
    QVERIFY(!second->ok());
    QVERIFY2(second->errorText().contains(QStringLiteral("station name of its own")), qPrintable(second->errorText()));
    QVERIFY(!second->recordArrow(10, 1, 2, QString(), QStringLiteral("8")));
    second->archerSaved(10);   // touches nothing: the first one's records stay
    second.reset();
    first.reset();
    QCOMPARE(unsavedOf(*journal()), (QStringList{"archer 10", "1:1 ->9"}));
}

void TestJournal::windowJournalsEachTypedArrowUntilTheSaveCommits()
{
    std::vector<std::string> seed = ThreeArchers;
    seed.push_back(arrowRow(10, 1, 2, 7));
    open(seed);
    auto j = journal();
    form_->UseStationJournal(j.get());
    QVERIFY(questions_.isEmpty());

    typeInto(form_->pe1, QStringLiteral("1"));
    typeKeys(form_->pe1, QStringLiteral("0"));
    typeInto(form_->pe2, QStringLiteral("^X"));
    // Each key is in the file before the next one is typed.
    QCOMPARE(recordsIn(j->path()), (QStringList{"10 1:1 1", "10 1:1 10", "10 1:2 X"}));
    QCOMPARE(unsavedOf(*j), (QStringList{"archer 10", "1:1 ->10", "1:2 7->X"}));

    QTest::keyClick(form_->pe2, Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("11"));
    QCOMPARE(arrowsOf(10), (std::vector<std::string>{"1|1|10", "1|2|10"}));
    QCOMPARE(unsavedOf(*j), QStringList());
    QCOMPARE(recordsIn(j->path()), QStringList());

    // A save that stores nothing (an impossible text) keeps the records.
    typeInto(form_->pe1, QStringLiteral("1"));
    typeKeys(form_->pe1, QStringLiteral("0"));
    form_->pe1->setText(QStringLiteral("15"));
    typeInto(form_->pe2, QStringLiteral("5"));
    QTest::keyClick(form_->pe2, Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("11"));
    QCOMPARE(unsavedOf(*j), (QStringList{"archer 11", "1:1 ->10", "1:2 ->5"}));
}

void TestJournal::acceptedRecoveryShowsEachArcherAsTypedAndSaves()
{
    {
        // What a station killed in the middle of two archers left.
        auto earlier = journal();
        earlier->recordArrow(12, 1, 1, QString(), QStringLiteral("9"));
        earlier->recordArrow(12, 2, 30, QString(), QStringLiteral("M"));
        earlier->recordArrow(11, 1, 3, QString(), QStringLiteral("X"));
        earlier->recordArrow(99, 1, 1, QString(), QStringLiteral("5"));   // removed since
    }
    open(ThreeArchers);
    auto j = journal();
    form_->UseStationJournal(j.get());
    QCOMPARE(questions_.size(), 1);
    const QString& asked = questions_[0];
    QVERIFY2(asked.contains(QStringLiteral("archer 12 (2A Carl): round 1 arrow 1: 9, round 2 arrow 30: M")),
             qPrintable(asked));
    QVERIFY2(asked.contains(QStringLiteral("archer 11 (1B Bernd): round 1 arrow 3: X")), qPrintable(asked));
    QVERIFY2(asked.contains(QStringLiteral("archer 99 (no longer in the competition")), qPrintable(asked));

    // The first archer typed comes first, with the boxes as typed.
    QCOMPARE(shownId(), QStringLiteral("12"));
    QCOMPARE(form_->pe1->text(), QStringLiteral("9"));
    QCOMPARE(form_->PointEdits[59]->text(), QStringLiteral("M"));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("9"));
    QVERIFY(form_->Changed);
    QCOMPARE(form_->RecoveredArchersLeft(), std::size_t{1});
    QVERIFY(arrowsOf(12).empty());

    QTest::keyClick(form_.get(), Qt::Key_PageDown);
    QCOMPARE(arrowsOf(12), (std::vector<std::string>{"1|1|9", "2|30|0"}));
    QCOMPARE(shownId(), QStringLiteral("11"));
    QCOMPARE(form_->PointEdits[2]->text(), QStringLiteral("X"));

    QTest::keyClick(form_.get(), Qt::Key_PageDown);
    QCOMPARE(arrowsOf(11), (std::vector<std::string>{"1|3|10"}));
    // Then the moves are the usual ones again: 11 (1B) is followed by 12 (2A).
    QCOMPARE(shownId(), QStringLiteral("12"));
    QCOMPARE(unsavedOf(*j), QStringList());
    QCOMPARE(errors_, QStringList());
}

void TestJournal::declinedRecoveryKeepsTheArrowsInANamedFile()
{
    QString journalPath;
    {
        auto earlier = journal();
        earlier->recordArrow(11, 1, 1, QString(), QStringLiteral("8"));
        journalPath = earlier->path();
    }
    open(ThreeArchers);
    answer_ = false;
    auto j = journal();
    form_->UseStationJournal(j.get());
    QCOMPARE(questions_.size(), 1);
    QCOMPARE(messages_.size(), 1);
    const QString kept = messages_[0].section(QStringLiteral("kept in "), 1).chopped(1);
    QVERIFY2(QFileInfo::exists(kept), qPrintable(messages_[0]));
    QVERIFY(kept != journalPath);
    // The kept file holds the arrows; the journal starts empty.
    QFile file(kept);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY(lines.size() >= 2);
    const auto record = DecodeJournalRecord(lines[1]);
    QVERIFY(record && record->archer == 11 && record->text == QLatin1String("8"));
    QCOMPARE(unsavedOf(*j), QStringList());
    QCOMPARE(shownId(), QStringLiteral("10"));
    QVERIFY(!form_->Changed);
    QVERIFY(arrowsOf(11).empty());
}

void TestJournal::recoveryMeetingAnotherStationsValueGoesThroughTheConflictRules()
{
    std::vector<std::string> seed = ThreeArchers;
    seed.push_back(arrowRow(10, 1, 1, 7));
    seed.push_back(arrowRow(10, 1, 2, 7));
    {
        // Typed over 7 and 7 as read; then the station died.
        auto earlier = journal();
        earlier->recordArrow(10, 1, 1, QStringLiteral("7"), QStringLiteral("9"));
        earlier->recordArrow(10, 1, 2, QStringLiteral("7"), QStringLiteral("7"));
    }
    // Meanwhile another station stored 8 for both arrows.
    seed.push_back("update POINTS set POINT = 8 where ARCHERID = 10");
    open(seed);
    auto j = journal();
    form_->UseStationJournal(j.get());
    QCOMPARE(shownId(), QStringLiteral("10"));
    QCOMPARE(form_->pe1->text(), QStringLiteral("9"));

    // Arrow 1: both changed it, nothing is stored and the operator is told.
    QTest::keyClick(form_.get(), Qt::Key_PageDown);
    QCOMPARE(errors_.size(), 1);
    QVERIFY2(errors_[0].contains(QStringLiteral("Round 1, arrow 1: stored 8, typed 9")), qPrintable(errors_[0]));
    QCOMPARE(shownId(), QStringLiteral("10"));
    QCOMPARE(arrowsOf(10), (std::vector<std::string>{"1|1|8", "1|2|8"}));
    QCOMPARE(unsavedOf(*j).size(), 3);

    // Told, the operator keeps 9: the next move stores it; arrow 2, which
    // the operator left as read, keeps the other station's 8.
    QTest::keyClick(form_.get(), Qt::Key_PageDown);
    QCOMPARE(arrowsOf(10), (std::vector<std::string>{"1|1|9", "1|2|8"}));
    QCOMPARE(shownId(), QStringLiteral("11"));
    QCOMPARE(unsavedOf(*j), QStringList());
}

void TestJournal::historyKeepsEveryChangeWithItsStation()
{
    competition_->seed(ThreeArchers);
    TdmTallyon dm;
    SetUpStationContext(dm, competition_->login, kTestLockTimeout, "hall-2");
    dm.Connect(competition_->login);
    const auto write = [&](const std::string& sql) {
        db::Transaction transaction(&dm.IBDBCompetition);
        dm.IBDBCompetition.executeImmediate(sql, transaction);
        transaction.commit();
    };
    write(arrowRow(10, 1, 4, 9));
    write("update POINTS set POINT = 10 where ARCHERID = 10 and ROUNDNO = 1 and ARROWNO = 4");
    // A save writes every arrow again: an unchanged value is no change.
    write("update POINTS set POINT = POINT where ARCHERID = 10");
    write("update POINTS set \"CROSS\" = 'T' where ARCHERID = 10");

    // The attachment is lost and made again: the station keeps its name.
    const auto currentAttachment = [&] {
        db::Transaction asking(&dm.IBDBCompetition);
        db::Query query(&dm.IBDBCompetition, &asking);
        query.sqlAdd("select current_connection as ID from RDB$DATABASE");
        query.open();
        const std::int64_t id = query.fieldByName("ID").value().toInteger();
        query.close();
        asking.commit();
        return id;
    };
    const std::int64_t attachment = currentAttachment();
    competition_->seed({"delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + std::to_string(attachment)});
    try {
        write("delete from POINTS where ARCHERID = 10");
    } catch (const db::ConnectionLostError&) {
        write("delete from POINTS where ARCHERID = 10");   // on an attachment made again
    }
    QVERIFY(currentAttachment() != attachment);

    QCOMPARE(competition_->rows("select ARCHERID, ROUNDNO, ARROWNO, OLDVALUE, NEWVALUE, USERNAME, STATION"
                                " from POINTS_HISTORY order by CHANGEDAT, RDB$DB_KEY",
                                "none"),
             (std::vector<std::string>{"10|1|4|none|9|SYSDBA|hall-2", "10|1|4|9|10|SYSDBA|hall-2",
                                       "10|1|4|10|X|SYSDBA|hall-2", "10|1|4|X|none|SYSDBA|hall-2"}));
}

void TestJournal::historyIsAddedToAnOlderDatabase()
{
    TemporaryDatabase older;
    {
        db::Connection connection;
        SetCompetitionLogin(connection, older.login);
        connection.createDatabase();
        db::Transaction transaction(&connection);
        for (const std::string& statement : CompetitionSchemaStatements())
            connection.executeImmediate(statement, transaction);
        transaction.commit();
        QVERIFY(!HasPointsHistory(connection));
        QVERIFY(EnsurePointsHistory(connection));
        QVERIFY(EnsurePointsHistory(connection));   // found the second time
        connection.disconnect();
    }
    older.seed({ThreeArchers[0], arrowRow(10, 1, 1, 5)});
    QCOMPARE(older.rows("select ARCHERID, OLDVALUE, NEWVALUE from POINTS_HISTORY", "none"),
             (std::vector<std::string>{"10|none|5"}));
}

void TestJournal::historyCommandShowsTheChangesInTimeOrder()
{
    competition_->seed(ThreeArchers);
    competition_->seed({arrowRow(11, 1, 4, 9)});
    competition_->seed({"update POINTS set POINT = 10 where ARCHERID = 11"});
    competition_->seed({arrowRow(10, 2, 1, 3)});
    QProcess tallyon;
    tallyon.start(QStringLiteral(TALLYON_EXE), {QStringLiteral("history"), competition_->path(), QStringLiteral("11")});
    QVERIFY(tallyon.waitForFinished(60000));
    QCOMPARE(tallyon.exitCode(), 0);
    QStringList lines = QString::fromLocal8Bit(tallyon.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);   // the day, then the two changes
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d$")).match(lines[0]).hasMatch());
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d station .* round 1 arrow 4: none -> 9 \\(user SYSDBA\\)$"))
                 .match(lines[1]).hasMatch(), qPrintable(lines[1]));
    QVERIFY2(lines[2].endsWith(QStringLiteral("round 1 arrow 4: 9 -> 10 (user SYSDBA)")), qPrintable(lines[2]));

    const QString csv = competition_->file(QStringLiteral("history.csv"));
    tallyon.start(QStringLiteral(TALLYON_EXE),
                  {QStringLiteral("history"), competition_->path(), QStringLiteral("--lane"), QStringLiteral("1a"),
                   QStringLiteral("--csv"), csv});
    QVERIFY(tallyon.waitForFinished(60000));
    QCOMPARE(tallyon.exitCode(), 0);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[1].contains(QStringLiteral(",SYSDBA,10,1A,Anna,2,1,,3")), qPrintable(lines[1]));
}

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"
