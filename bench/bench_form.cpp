// The points window's figures on an embedded database, the window
// offscreen:
//  - the Next round trip (copy the boxes, save 60 changed arrows, move, read
//    the next archer with its arrows, show it), against the floor of its
//    database work: the same 60 updates in one block, a commit, and the
//    prepared select of the next archer's 60 arrows;
//  - the show of 1,000, 5,000 and 20,000 archers on 250 lanes (order the
//    archers, rebuild the archer list, re-read the archer, fill the lane
//    tree), against the floor of the ordered select and the four lookups;
//  - one typed arrow climbing through its sums to the grand total;
//  - the peak memory of the host program showing 20,000 archers, against
//    the host on an empty competition.

#include "bench/bench_support.h"
#include "data/competition_schema.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "db/write_block.h"
#include "forms/uVuRudiCompetition.h"
#include "host/station_context.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <filesystem>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>
#include <cstdio>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using bench::medianMs;

namespace {

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
        SetUpStationContext(dm, login);
        dm.Connect(login);
    }

    QTemporaryDir dir;
    CompetitionLogin login;
    TdmTallyon dm;
};

} // namespace

namespace {

// Every box of the window shows text, the form marked changed.
void changeEveryBox(TfrmVuRudiCompetition& form, int run)
{
    const QString text = QString::number(run % 9 + 1);
    for (TPointEdit* box : std::as_const(form.PointEdits))
        box->setText(text);
    form.Changed = true;
}

// The first three boxes show another value than they did.
void changeThreeBoxes(TfrmVuRudiCompetition& form)
{
    for (int i = 0; i < 3; ++i) {
        TPointEdit* box = form.PointEdits.at(i);
        box->setText(QString::number(box->text().toInt() % 9 + 1));
    }
    form.Changed = true;
}

// The median of the requests that each run of work sends.
double requestsPerRun(int runs, const std::function<long()>& requestsSoFar, const std::function<void(int)>& work,
                      const std::function<void(int)>& prepare = {})
{
    std::vector<double> counts;
    for (int run = 0; run < runs; ++run) {
        if (prepare)
            prepare(run);
        const long before = requestsSoFar();
        work(run);
        counts.push_back(double(requestsSoFar() - before));
    }
    return bench::median(std::move(counts));
}

// The wire minimum of a Next through the dataset layer alone: one block of
// the archer's 60 updates, the commit, and the read of the next archer's
// arrows by a prepared select whose transaction stays open until the next
// commit, as the window's does.
struct NextFloor {
    explicit NextFloor(const CompetitionLogin& login)
    {
        bench::attach(connection, login.database, login.user, login.password);
        arrowsOf.sqlAdd("SELECT * FROM POINTS WHERE ARCHERID = ?");
        arrowsOf.sqlAdd("ORDER BY ROUNDNO, ARROWNO");
    }
    ~NextFloor()
    {
        transaction.commit();
        connection.disconnect();
    }

    void save(int run, int archer)
    {
        for (int round = 1; round <= 2; ++round)
            for (int arrow = 1; arrow <= 30; ++arrow)
                block.add("update POINTS set POINT = ?, \"CROSS\" = ?, EMPTYSCORE = ? "
                          "where ARCHERID = ? and ROUNDNO = ? and ARROWNO = ?",
                          {db::Value(run % 9 + 1), db::Value("F"), db::Value("F"), db::Value(archer),
                           db::Value(round), db::Value(arrow)});
        block.execute();
        transaction.commit();
    }
    void read(int archer)
    {
        arrowsOf.setParams({db::Value(archer)});
        arrowsOf.open();
        arrowsOf.close();
    }

    db::Connection connection;
    db::Transaction transaction{&connection};
    db::WriteBlock block{&connection, &transaction};
    db::Query arrowsOf{&connection, &transaction};
};

} // namespace

// Next from archer to archer among those with arrows, every box changed.
bench::NextTimes bench::measureNext(const CompetitionLogin& login, const std::function<long()>& requestsSoFar,
                                    int runs)
{
    CreateCompetitionDatabase(login);
    seed(login, kArchersWithArrows);
    TdmTallyon dm;
    SetUpStationContext(dm, login);
    dm.Connect(login);
    TfrmVuRudiCompetition form(&dm);
    form.show();

    NextTimes times;
    const auto next = [&](int) { form.dxBtnNext->click(); };
    times.next = medianMs(runs, next, [&](int run) { changeEveryBox(form, run); });

    // The copy and the save alone, on the archer on display.
    times.copyAndSave = medianMs(
        runs,
        [&](int) {
            form.CopyEditsToPoints();
            form.CurrentArcher->savePoints();
        },
        [&](int run) { changeEveryBox(form, run); });

    constexpr int kCountedRuns = 9;
    NextTimes::Requests requests;
    if (requestsSoFar) {
        requests.changed60 = requestsPerRun(kCountedRuns, requestsSoFar, next,
                                            [&](int run) { changeEveryBox(form, run); });
        requests.changed3 = requestsPerRun(kCountedRuns, requestsSoFar, next, [&](int) { changeThreeBoxes(form); });
        requests.unchanged = requestsPerRun(kCountedRuns, requestsSoFar, next, [&](int) { form.Changed = false; });
    }
    form.Changed = false;
    form.hide();

    // Last: the window would take the floor's writes for another station's.
    NextFloor floor(login);
    const auto floorNext = [&](int run) {
        const int id = run % kArchersWithArrows + 1;
        floor.save(run, id);
        floor.read(id % kArchersWithArrows + 1);
    };
    times.floor = medianMs(runs, floorNext);
    if (requestsSoFar) {
        requests.floor = requestsPerRun(kCountedRuns, requestsSoFar, floorNext);
        requests.floorUnchanged = requestsPerRun(kCountedRuns, requestsSoFar,
                                                 [&](int run) { floor.read(run % kArchersWithArrows + 1); });
        times.requests = requests;
    }
    return times;
}

namespace {

// The show of the archers, answers its median.
double benchShow(bench::Table& table, int archers, int runs)
{
    Competition c(archers);
    TfrmVuRudiCompetition form(&c.dm);
    form.show();
    // On an archer in the middle of the field.
    form.fctvRange->setCurrentItem(form.fctvRange->topLevelItem(kLanes / 2)->child(3));

    const double show = medianMs(runs, [&](int) { form.FormShow(&form); });

    db::Connection connection;
    openAttachment(connection, c.login);
    db::Transaction transaction(&connection);
    db::Query ordered(&connection, &transaction);
    ordered.sqlAdd("Select * from ARCHER");
    ordered.sqlAdd("ORDER BY LANENO, LANELETTER");
    std::vector<std::unique_ptr<db::Query>> lookups;
    for (const char* lookup : {"AGECLASS", "SHOOTINGCLASSES", "BOWTYPES", "COUNTRY"}) {
        lookups.push_back(std::make_unique<db::Query>(&connection, &transaction));
        lookups.back()->sqlAdd(std::string("select * from ") + lookup);
    }
    const double floor = medianMs(runs, [&](int) {
        ordered.close();
        ordered.open();
        for (auto& lookup : lookups) {
            lookup->close();
            lookup->open();
        }
    });
    ordered.close();
    lookups.clear();
    transaction.commit();
    connection.disconnect();
    form.hide();

    table.add({"show of " + std::to_string(archers) + " archers on " + std::to_string(kLanes) + " lanes", show, floor,
               bench::Goal::ratioAtMost(3)});
    return show;
}

// One key into an empty arrow box, up through its sums to the grand total.
void benchTypedArrow(bench::Table& table)
{
    Competition c(1);
    TfrmVuRudiCompetition form(&c.dm);
    form.show();
    if (!QTest::qWaitForWindowActive(&form))
        throw std::runtime_error("the window did not become active");
    TPointEdit* box = form.PointEdits.at(0);
    box->setFocus(Qt::OtherFocusReason);
    constexpr int kRuns = 2001;
    bool climbed = true;
    int totalBefore = 0;
    const double typed = medianMs(
        kRuns,
        [&](int) { QTest::keyClick(box, Qt::Key_9); },
        [&](int run) {
            if (run > 0 && form.SumEdit17->text().toInt() != totalBefore + 9)
                climbed = false;
            box->setText(QString());
            totalBefore = form.SumEdit17->text().toInt();
        });
    form.hide();
    table.add({climbed ? "one typed arrow climbing to the grand total" : "one typed arrow (NOT reaching the total)",
               typed, std::nullopt, bench::Goal::below(0.1)});
}

// The peak resident memory, in kB, of the host showing the points window
// of the database (and writing its picture, to end the run): measured by
// this program started small, see peakKbChild.
long hostPeakKb(const std::string& program, const std::string& host, const std::string& database,
                const std::string& picture)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QString::fromStdString(program),
                {QStringLiteral("--peak-kb"), QString::fromStdString(host), QStringLiteral("points"),
                 QString::fromStdString(database), QStringLiteral("--screenshot"), QString::fromStdString(picture)});
    if (!child.waitForFinished(600000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        throw std::runtime_error("the host failed to show " + database);
    return child.readAllStandardOutput().trimmed().toLong();
}

} // namespace

int bench::peakKbChild(int argc, char** argv)
{
    // The peak that wait4 reports counts the memory of the process that
    // forked, up to its exec: hence a small process between this program's
    // full one and the host.
    if (argc < 3)
        return 2;
    const pid_t pid = ::fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        ::execv(argv[2], argv + 2);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
    std::printf("%ld\n", usage.ru_maxrss);
    return 0;
}

void bench::windowFigures(Table& table, const std::string& program)
{
    {
        QTemporaryDir dir;
        CompetitionLogin login;
        login.database = dir.filePath("next.fdb").toStdString();
        const NextTimes times = measureNext(login);
        table.add({"Next round trip (copy, save 60, move, load, show), embedded", times.next, times.floor,
                   Goal::ratioAtMost(1.5)});
        table.add({"  of which copy and save", times.copyAndSave, std::nullopt, Goal::none()});
    }
    benchShow(table, 1000, 9);
    const double show5000 = benchShow(table, 5000, 9);
    const double show20000 = benchShow(table, 20000, 5);
    table.add({"  show of 20,000 against 5,000", show20000, show5000, Goal::ratioAtMost(4.5)});
    benchTypedArrow(table);

    // The host beside this program, on an empty competition and on 20,000 archers.
    const std::string host = std::filesystem::path(program).parent_path() / "tallyon";
    QTemporaryDir dir;
    CompetitionLogin empty, full;
    empty.database = dir.filePath("empty.fdb").toStdString();
    full.database = dir.filePath("full.fdb").toStdString();
    CreateCompetitionDatabase(empty);
    CreateCompetitionDatabase(full);
    seed(full, 20000);
    const std::string picture = dir.filePath("window.png").toStdString();
    const long emptyKb = hostPeakKb(program, host, empty.database, picture);
    const long fullKb = hostPeakKb(program, host, full.database, picture);
    table.add({"peak memory of the host with 20,000 archers shown", double(fullKb) / 1024.0, double(emptyKb) / 1024.0,
               Goal::aboveAtMost(100, "MB"), "MB"});
}
