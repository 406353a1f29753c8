// The station journal and the arrows' history:
//  - one typed arrow's journal record (the write to the operating system;
//    the sync runs beside it), median and 99th percentile, at typing pace,
//    on the disk of the user's state folder;
//  - savePoints with the history's trigger against the same save on a
//    database without it: 60 changed arrows, and one changed end of three.

#include "bench/bench_support.h"
#include "data/competition_schema.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/transaction.h"
#include "host/station_context.h"
#include "journal/station_journal.h"
#include "model/uTallyonClasses.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>

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

void historyFigures(bench::Table& table)
{
    QTemporaryDir dir;
    CompetitionLogin with, without;
    with.database = dir.filePath("history.fdb").toStdString();
    without.database = dir.filePath("plain.fdb").toStdString();
    CreateCompetitionDatabase(with);
    CreateCompetitionDatabase(without);
    for (const CompetitionLogin* login : {&with, &without}) {
        db::Connection connection;
        bench::attach(connection, login->database, login->user, login->password);
        db::Transaction transaction(&connection);
        connection.executeImmediate("insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) "
                                    "values (1, 'Archer', '1A', 1, 'A')",
                                    transaction);
        if (login == &without)
            connection.executeImmediate("drop trigger TALLYON_POINTS_HISTORY", transaction);
        transaction.commit();
        connection.disconnect();
    }
    SavingStation history(with), plain(without);
    constexpr int kRuns = 41;
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
        table.add({oneEnd ? "save of one changed end, with the arrows' history"
                          : "save of 60 changed arrows, with the arrows' history",
                   bench::median(ours), bench::median(floor), bench::Goal::ratioAtMost(1.3)});
    }
}

} // namespace

void bench::journalAndHistoryFigures(Table& table)
{
    journalFigures(table);
    historyFigures(table);
}
