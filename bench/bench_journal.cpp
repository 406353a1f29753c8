// The station journal and the arrows' history:
//  - one typed arrow's journal record (the write to the operating system;
//    the sync runs beside it), median and 99th percentile, at typing pace,
//    on the disk of the user's state folder;
//  - savePoints with the history's trigger against the same save on a
//    database without it: 60 changed arrows, and one changed end of three,
//    on embedded databases and on a loopback server.

#include "bench/bench_support.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/transaction.h"
#include "host/station_context.h"
#include "journal/station_journal.h"
#include "model/uTallyonClasses.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <memory>
#include <string>

namespace {

void setArrows(TArcher& archer, int score, bool oneEnd)
{
    archer.Results.clear();
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow) {
            auto point = std::make_unique<TArcheryPoint>();
            point->RoundNo = round;
            point->ArrowNo = arrow;
            point->Point = oneEnd && (round > 1 || arrow > 3) ? 5 : score;
            archer.Results.push_back(std::move(point));
        }
}

struct SavingStation {
    explicit SavingStation(const CompetitionLogin& login)
    {
        SetUpStationContext(dm, login, kStationLockTimeout, "bench");
        dm.Connect(login);
        archer.pointsDataset = &dm.IBQryPoints;
        archer.ID = 1;
        setArrows(archer, 1, false);
        archer.savePoints();   // the 60 rows exist from here on
    }
    TdmTallyon dm;
    TArcher archer;
};

void journalFigures(bench::Table& table)
{
    // On the disk the journal really lives on, not a memory file system.
    QDir().mkpath(StationJournal::defaultFolder());
    QTemporaryDir dir(StationJournal::defaultFolder() + QStringLiteral("/bench-XXXXXX"));
    StationJournal journal(dir.filePath(QStringLiteral("bench.fdb")), QStringLiteral("bench"), dir.path());
    if (!journal.ok())
        throw std::runtime_error("the journal cannot be opened: " + journal.errorText().toStdString());
    constexpr int kKeys = 600;
    std::vector<double> times;
    for (int key = 0; key < kKeys; ++key) {
        const int arrow = key % 30 + 1;   // every third ends an end: synced at once
        times.push_back(bench::elapsedMs([&] {
            journal.recordArrow(key / 60 + 1, key / 30 % 2 + 1, arrow, QString(), QString::number(key % 10 + 1));
        }));
        QThread::msleep(15);   // a fast operator
    }
    table.add({"journal: one typed arrow's record (median)", bench::median(times), std::nullopt,
               bench::Goal::below(1)});
    table.add({"journal: one typed arrow's record (99th percentile)", bench::percentile(times, 0.99),
               std::nullopt, bench::Goal::below(5)});
}

// Runs the test server's script; its exit code (77: no server package).
int runServerScript(const QString& action, const QString& root)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.setStandardOutputFile(QProcess::nullDevice());
    script.start("bash", {QStringLiteral(TALLYON_TEST_SERVER_SCRIPT), action, root});
    if (!script.waitForFinished(120000))
        return -1;
    return script.exitStatus() == QProcess::NormalExit ? script.exitCode() : -1;
}

void dropDatabase(const CompetitionLogin& login)
{
    db::Connection connection;
    bench::attach(connection, login.database, login.user, login.password);
    connection.dropDatabase();
}

// Saves on a database with the history and on one without it, interleaved.
void historyFigures(bench::Table& table, const CompetitionLogin& with, const CompetitionLogin& without,
                    const std::string& where)
{
    // One archer on lane 1A; the plain database without the history's trigger.
    bench::createCompetition(with, 1, 1, bench::fourToALane);
    bench::createCompetition(without, 1, 1, bench::fourToALane,
                             [](db::Connection& connection, db::Transaction& transaction) {
                                 connection.executeImmediate("drop trigger TALLYON_POINTS_HISTORY", transaction);
                             });
    SavingStation history(with), plain(without);
    constexpr int kRuns = 101;
    for (const bool oneEnd : {false, true}) {
        std::vector<double> ours, floor;
        for (int run = 0; run < kRuns; ++run) {
            // Interleaved, so that both see the same machine.
            for (SavingStation* station : {&history, &plain}) {
                setArrows(station->archer, run % 2 ? 9 : 8, oneEnd);
                const double ms = bench::elapsedMs([&] { station->archer.savePoints(); });
                (station == &history ? ours : floor).push_back(ms);
            }
        }
        table.add({(oneEnd ? "save of one changed end with the history, " : "save of 60 changed arrows with the history, ")
                       + where,
                   bench::median(ours), bench::median(floor), bench::Goal::ratioAtMost(1.3)});
    }
}

void embeddedHistoryFigures(bench::Table& table)
{
    QTemporaryDir dir;
    CompetitionLogin with, without;
    with.database = dir.filePath("history.fdb").toStdString();
    without.database = dir.filePath("plain.fdb").toStdString();
    historyFigures(table, with, without, "embedded");
}

void serverHistoryFigures(bench::Table& table)
{
    QTemporaryDir dir;
    const QString root = dir.filePath("server");
    const int started = runServerScript("start", root);
    if (started == 77) {
        table.note("history on a server skipped: the Firebird server package is not installed");
        return;
    }
    QFile address(QDir(root).filePath("address")), password(QDir(root).filePath("password"));
    if (started != 0 || !address.open(QIODevice::ReadOnly) || !password.open(QIODevice::ReadOnly)) {
        table.note("history on a server skipped: the test server did not start");
        return;
    }
    const QString server = QString::fromLatin1(address.readAll()).trimmed();
    CompetitionLogin with, without;
    for (CompetitionLogin* login : {&with, &without}) {
        login->database = (server + ':' + root + "/data/bench-" + QUuid::createUuid().toString(QUuid::WithoutBraces)
                           + ".fdb").toStdString();
        login->password = password.readAll().trimmed().toStdString();
        password.seek(0);
    }
    try {
        historyFigures(table, with, without, "loopback server");
    } catch (...) {
        runServerScript("stop", root);
        throw;
    }
    for (const CompetitionLogin* login : {&with, &without}) {
        try {
            dropDatabase(*login);
        } catch (const std::exception&) {
        }
    }
    runServerScript("stop", root);
}

} // namespace

void bench::journalAndHistoryFigures(Table& table)
{
    journalFigures(table);
    embeddedHistoryFigures(table);
    serverHistoryFigures(table);
}
