// Medians of the points window's heavy paths on an embedded database, the
// window offscreen:
//  - the Next round trip (copy the boxes, save 60 changed arrows, move, read
//    the next archer with its arrows, show it), against the floor of its
//    database work: the same 60 updates through one prepared statement, a
//    commit, and the select of the next archer's 60 arrows;
//  - the show of a competition with 5,000 archers on 250 lanes (order the
//    archers, rebuild the archer list, re-read the archer, fill the lane
//    tree), against the floor of the ordered select of the 5,000 archers.

#include "bench/bench_support.h"
#include "data/competition_schema.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "forms/uVuRudiCompetition.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <string>

using bench::medianMs;

namespace {

constexpr int kArchers = 5000;
constexpr int kLanes = 250;
constexpr int kCountries = 200;
// Archers with 60 stored arrows each, first in lane order.
constexpr int kArchersWithArrows = 4;

void openAttachment(db::Connection& connection, const CompetitionLogin& login)
{
    bench::attach(connection, login.database, login.user, login.password);
}

// Archers 1 to archers, 20 to a lane in lane and letter order; the first
// few with all their arrows stored.
void seed(const CompetitionLogin& login, int archers)
{
    db::Connection connection;
    openAttachment(connection, login);
    db::Transaction transaction(&connection);
    bench::seedLookups(connection, transaction, kCountries);
    const int perLane = std::max(1, archers / kLanes);
    bench::seedArchers(connection, transaction, archers, kCountries, [perLane](int i) {
        const int letterIndex = (i - 1) % perLane;
        std::string letter(1, static_cast<char>('A' + letterIndex % 26));
        if (letterIndex >= 26)
            letter += static_cast<char>('A' + letterIndex / 26 - 1);
        return std::pair{(i - 1) / perLane + 1, letter};
    });
    db::Statement point(&connection, &transaction);
    point.sqlAdd("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) "
                 "values (?, ?, ?, 1, 'F', 'F')");
    for (int id = 1; id <= std::min(archers, kArchersWithArrows); ++id)
        for (int round = 1; round <= 2; ++round)
            for (int arrow = 1; arrow <= 30; ++arrow)
                point.execute({db::Value(id), db::Value(round), db::Value(arrow)});
    transaction.commit();
    connection.disconnect();
}

struct Competition {
    explicit Competition(int archers)
    {
        login.database = dir.filePath("bench.fdb").toStdString();
        CreateCompetitionDatabase(login);
        seed(login, archers);
        dm.IBTransPoints.params() = {"concurrency", "wait", "lock_timeout=5"};
        dm.Connect(login);
    }

    QTemporaryDir dir;
    CompetitionLogin login;
    TdmTallyon dm;
};

// Next from archer to archer among those with arrows, every box changed.
void benchNext()
{
    Competition c(kArchersWithArrows);
    TfrmVuRudiCompetition form(&c.dm);
    form.show();

    constexpr int kRuns = 41;
    const double next = medianMs(
        kRuns, [&](int) { form.dxBtnNext->click(); },
        [&](int run) {
            const QString text = QString::number(run % 9 + 1);
            for (TPointEdit* box : std::as_const(form.PointEdits))
                box->setText(text);
            form.Changed = true;
        });

    // The copy and the save alone, on the archer on display.
    const double save = medianMs(
        kRuns,
        [&](int) {
            form.CopyEditsToPoints();
            form.CurrentArcher->savePoints();
        },
        [&](int run) {
            const QString text = QString::number(run % 9 + 1);
            for (TPointEdit* box : std::as_const(form.PointEdits))
                box->setText(text);
        });

    db::Connection connection;
    openAttachment(connection, c.login);
    db::Transaction transaction(&connection);
    db::Statement update(&connection, &transaction);
    update.sqlAdd("update POINTS set POINT = ?, \"CROSS\" = ?, EMPTYSCORE = ? "
                  "where ARCHERID = ? and ROUNDNO = ? and ARROWNO = ?");
    db::Query arrowsOf(&connection, &transaction);
    // As in the window, the select's transaction stays open until the next
    // save: one commit per round trip.
    const double floor = medianMs(kRuns, [&](int run) {
        const int id = run % kArchersWithArrows + 1;
        for (int round = 1; round <= 2; ++round)
            for (int arrow = 1; arrow <= 30; ++arrow)
                update.execute({db::Value(run % 9 + 1), db::Value("F"), db::Value("F"), db::Value(id),
                                db::Value(round), db::Value(arrow)});
        transaction.commit();
        arrowsOf.sqlClear();
        arrowsOf.sqlAdd("SELECT * FROM POINTS WHERE ARCHERID = '" + std::to_string(id % kArchersWithArrows + 1) + "'");
        arrowsOf.sqlAdd("ORDER BY ROUNDNO, ARROWNO");
        arrowsOf.open();
        arrowsOf.close();
    });
    transaction.commit();
    form.hide();
    connection.disconnect();

    std::printf("Next, 60 changed arrows saved, next archer shown: %8.2f ms (median of %d)\n", next, kRuns);
    std::printf("  of which copy and save %8.2f ms\n", save);
    std::printf("  floor, 60 prepared updates + commit + select of 60 arrows: %8.2f ms  ratio %.2f\n", floor,
                next / floor);
}

void benchShow()
{
    Competition c(kArchers);
    TfrmVuRudiCompetition form(&c.dm);
    form.show();
    // On an archer in the middle of the field.
    form.fctvRange->setCurrentItem(form.fctvRange->topLevelItem(kLanes / 2)->child(3));

    constexpr int kRuns = 9;
    const double show = medianMs(kRuns, [&](int) { form.FormShow(&form); });
    const double sort = medianMs(kRuns, [&](int) { c.dm.SortArchers("LANENO, LANELETTER"); });
    const double tree = medianMs(kRuns, [&](int) { form.FillLaneTree(); });

    db::Connection connection;
    openAttachment(connection, c.login);
    db::Transaction transaction(&connection);
    db::Query ordered(&connection, &transaction);
    ordered.sqlAdd("Select * from ARCHER");
    ordered.sqlAdd("ORDER BY LANENO, LANELETTER");
    const double floor = medianMs(kRuns, [&](int) {
        ordered.close();
        ordered.open();
    });
    ordered.close();
    transaction.commit();
    connection.disconnect();

    int nodes = 0;
    for (int i = 0; i < form.fctvRange->topLevelItemCount(); ++i)
        nodes += 1 + form.fctvRange->topLevelItem(i)->childCount();
    std::printf("Show, %d archers on %d lanes (%d tree nodes): %8.2f ms (median of %d), on archer %s\n", kArchers,
                form.fctvRange->topLevelItemCount(), nodes, show, kRuns, qPrintable(form.lblIDVal->text()));
    std::printf("  of which SortArchers %8.2f ms, FillLaneTree %8.2f ms\n", sort, tree);
    std::printf("  floor, ordered select of %d archers: %8.2f ms  ratio %.2f\n", kArchers, floor, show / floor);
    form.hide();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // "next" or "show" runs only that one, for a profiler.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only.isEmpty() || only == QLatin1String("next"))
        benchNext();
    if (only.isEmpty() || only == QLatin1String("show"))
        benchShow();
    return 0;
}
