// The figures on a Firebird server of the benchmark's own (a throwaway one
// on the loopback interface, scripts/test-server.sh):
//  - the points window's Next round trip against the floor of its database
//    work, over the loopback interface through a relay that counts the
//    requests per Next (60, 3 and no changed arrows, against the wire
//    minimum), again in a network namespace whose loopback interface delays
//    every packet by 1 ms (2 ms round-trip time, tc netem; needs root) or
//    through a delaying relay, and through the relay at 20 ms round-trip time;
//  - the save latency of one station and of four stations saving at the
//    same time, each station a process of its own with the data context and
//    the points window as the host sets them up (offscreen). Per station and
//    save of 60 changed arrows: Page Down or Up in the window (save, move,
//    read the archer, show it); the archer model's save alone (savePoints);
//    the floor, the same 60 rows through one prepared update and a commit.
//    Medians and 95th percentiles over all the stations' saves.

#include "bench/bench_support.h"
#include "bench/delay_relay.h"
#include "data/competition_schema.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "forms/uVuRudiCompetition.h"
#include "model/uTallyonClasses.h"
#include "host/station_context.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

void say(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// Station k's window works on archers 2k+1 and 2k+2, its model save on
// archer 9+k and its floor on archer 13+k; all hold both rounds.
constexpr int kArchers = 16;
int firstArcherOf(int station) { return 2 * station + 1; }
int modelArcherOf(int station) { return 9 + station; }
int floorArcherOf(int station) { return 13 + station; }

void fillBoxes(TfrmVuRudiCompetition& window, int run)
{
    const QString text = QString::number(run % 9 + 1);
    for (TPointEdit* box : std::as_const(window.PointEdits))
        box->setText(text);
    window.Changed = true;
}

// One station: waits for "go" on standard input, then prints one line per
// timed save: "next MS", "save MS", "floor MS".
int runStation(const CompetitionLogin& login, int station, int runs)
{
    TdmTallyon dm;
    SetUpStationContext(dm, login);
    dm.Connect(login);
    const int first = firstArcherOf(station);

    // The model's save on a data context of its own, so that the window's
    // archer query stays where the window left it.
    TdmTallyon modelDm;
    SetUpStationContext(modelDm, login);
    modelDm.Connect(login);
    modelDm.SortArchers("LANENO, LANELETTER");
    TArcher modelArcher;
    modelArcher.dataset = &modelDm.IBQryArcher;
    modelArcher.pointsDataset = &modelDm.IBQryPoints;

    db::Connection floorConnection;
    bench::attach(floorConnection, login.database, login.user, login.password);
    db::Transaction floorTransaction(&floorConnection);
    db::Statement update(&floorConnection, &floorTransaction);
    update.sqlAdd("update POINTS set POINT = ?, \"CROSS\" = ?, EMPTYSCORE = ? "
                  "where ARCHERID = ? and ROUNDNO = ? and ARROWNO = ?");

    TfrmVuRudiCompetition window(&dm);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        throw std::runtime_error("the window did not show");
    QTreeWidgetItem* node = nullptr;
    for (int lane = 0; lane < window.fctvRange->topLevelItemCount() && !node; ++lane)
        for (int i = 0; i < window.fctvRange->topLevelItem(lane)->childCount(); ++i)
            if (window.fctvRange->topLevelItem(lane)->child(i)->data(0, NodeDataRole).toInt() == first)
                node = window.fctvRange->topLevelItem(lane)->child(i);
    if (!node)
        throw std::runtime_error("no node for archer " + std::to_string(first));
    window.fctvRange->setCurrentItem(node);
    if (window.CurrentArcher->ID != first)
        throw std::runtime_error("the window is not on archer " + std::to_string(first));

    say("ready");
    std::string line;
    if (!std::getline(std::cin, line) || line != "go")
        return 1;

    for (int run = 0; run < runs; ++run) {
        // Between the station's two archers: Page Down from the first,
        // Page Up from the second, every box changed before each.
        fillBoxes(window, run);
        const bool down = window.CurrentArcher->ID == first;
        say("next " + std::to_string(bench::elapsedMs([&] {
            QTest::keyClick(&window, down ? Qt::Key_PageDown : Qt::Key_PageUp);
        })));
        if (window.CurrentArcher->ID != (down ? first + 1 : first))
            throw std::runtime_error("a move did not land; another station's save in the way?");

        // Read, every arrow changed, saved: only the save is timed.
        modelArcher.Clear();
        modelArcher.ReadArcherInDatabase(modelArcherOf(station), true, &modelDm);
        if (modelArcher.Results.size() != 60)
            throw std::runtime_error("the model's archer has no 60 arrows");
        for (auto& arrow : modelArcher.Results)
            arrow->Point = (run + 1) % 9 + 1;
        say("save " + std::to_string(bench::elapsedMs([&] { modelArcher.savePoints(); })));

        const int id = floorArcherOf(station);
        say("floor " + std::to_string(bench::elapsedMs([&] {
            for (int round = 1; round <= 2; ++round)
                for (int arrow = 1; arrow <= 30; ++arrow)
                    update.execute({db::Value(run % 9 + 1), db::Value("F"), db::Value("F"), db::Value(id),
                                    db::Value(round), db::Value(arrow)});
            floorTransaction.commit();
        })));
    }
    window.Changed = false;
    window.hide();
    floorConnection.disconnect();
    say("done");
    return 0;
}

struct Server {
    QString address;
    std::string password;
};

// Runs the test server's script; answers its exit code (77: no server package).
int runScript(const QString& action, const QString& root)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.setStandardOutputFile(QProcess::nullDevice());
    script.start("bash", {QStringLiteral(TALLYON_TEST_SERVER_SCRIPT), action, root});
    if (!script.waitForFinished(120000))
        return -1;
    return script.exitStatus() == QProcess::NormalExit ? script.exitCode() : -1;
}

// A throwaway server, stopped and removed when it goes.
class OwnServer {
public:
    OwnServer() : root_(folder_.filePath("server")), startCode_(runScript("start", root_))
    {
        QFile address(QDir(root_).filePath("address")), password(QDir(root_).filePath("password"));
        if (startCode_ == 0 && address.open(QIODevice::ReadOnly) && password.open(QIODevice::ReadOnly))
            server_ = Server{QString::fromLatin1(address.readAll()).trimmed(), password.readAll().trimmed().toStdString()};
    }
    ~OwnServer()
    {
        if (startCode_ == 0)
            runScript("stop", root_);
    }
    OwnServer(const OwnServer&) = delete;
    OwnServer& operator=(const OwnServer&) = delete;

    // The script's exit code, 77 when the server package is missing.
    int startCode() const { return startCode_; }
    const std::optional<Server>& server() const { return server_; }

    // The login of a new database name in the server's data folder.
    CompetitionLogin newDatabase() const
    {
        CompetitionLogin login;
        login.database = (server_->address + ':' + root_ + "/data/bench-"
                          + QUuid::createUuid().toString(QUuid::WithoutBraces) + ".fdb").toStdString();
        login.password = server_->password;
        return login;
    }

private:
    QTemporaryDir folder_;
    QString root_;
    int startCode_;
    std::optional<Server> server_;
};

void dropDatabase(const CompetitionLogin& login)
{
    db::Connection connection;
    bench::attach(connection, login.database, login.user, login.password);
    connection.dropDatabase();
}

void seed(const CompetitionLogin& login, int archers)
{
    db::Connection connection;
    bench::attach(connection, login.database, login.user, login.password);
    db::Transaction transaction(&connection);
    for (int id = 1; id <= archers; ++id)
        connection.executeImmediate("insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values ("
                                        + std::to_string(id) + ", 'Archer " + std::to_string(id) + "', '"
                                        + std::to_string(id) + "A', " + std::to_string(id) + ", 'A')",
                                    transaction);
    db::Statement point(&connection, &transaction);
    point.sqlAdd("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) "
                 "values (?, ?, ?, 1, 'F', 'F')");
    for (int id = 1; id <= archers; ++id)
        for (int round = 1; round <= 2; ++round)
            for (int arrow = 1; arrow <= 30; ++arrow)
                point.execute({db::Value(id), db::Value(round), db::Value(arrow)});
    transaction.commit();
    connection.disconnect();
}

// Runs the stations at once; the timings of each figure over all of them.
std::map<std::string, std::vector<double>> runStations(const std::string& program, const CompetitionLogin& login,
                                                       int stations, int runs)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int k = 0; k < stations; ++k) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QString::fromStdString(program),
                 {"--station", QString::fromStdString(login.database), QString::fromStdString(login.password),
                  QString::number(k), QString::number(runs)});
        processes.push_back(std::move(p));
    }
    const auto nextLine = [](QProcess& p) {
        const QDeadlineTimer deadline(120000);
        while (!p.canReadLine()) {
            if (deadline.hasExpired() || p.state() == QProcess::NotRunning)
                throw std::runtime_error("a station stopped answering");
            p.waitForReadyRead(100);
        }
        return QString::fromUtf8(p.readLine()).trimmed();
    };
    for (auto& p : processes)
        if (nextLine(*p) != QLatin1String("ready"))
            throw std::runtime_error("a station did not get ready");
    for (auto& p : processes)
        p->write("go\n");
    std::map<std::string, std::vector<double>> times;
    for (auto& p : processes) {
        for (QString line = nextLine(*p); line != QLatin1String("done"); line = nextLine(*p))
            times[line.section(' ', 0, 0).toStdString()].push_back(line.section(' ', 1, 1).toDouble());
        p->waitForFinished(30000);
    }
    return times;
}

// Runs a command of the system; true when it ends with exit code 0.
bool runQuietly(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(output ? QProcess::SeparateChannels : QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return ok;
}

// A network namespace whose loopback interface delays every packet leaving
// it by delay (tc netem): twice that as round-trip time. Deleted when it
// goes, after the processes still in it (a child's server) are ended.
class DelayedNamespace {
public:
    explicit DelayedNamespace(const QString& delay)
        : name_(QStringLiteral("tallyon-bench-%1").arg(::getpid()))
    {
        created_ = runQuietly("ip", {"netns", "add", name_});
        ready_ = created_ && runQuietly("ip", {"-n", name_, "link", "set", "lo", "up"})
            && runQuietly("ip", {"netns", "exec", name_, "tc", "qdisc", "add", "dev", "lo", "root", "netem", "delay",
                                 delay});
    }
    ~DelayedNamespace()
    {
        if (!created_)
            return;
        QString pids;
        runQuietly("ip", {"netns", "pids", name_}, &pids);
        for (const QString& pid : pids.split('\n', Qt::SkipEmptyParts))
            ::kill(pid.toInt(), SIGTERM);
        runQuietly("ip", {"netns", "delete", name_});
    }
    DelayedNamespace(const DelayedNamespace&) = delete;
    DelayedNamespace& operator=(const DelayedNamespace&) = delete;

    bool ready() const { return ready_; }
    const QString& name() const { return name_; }

private:
    QString name_;
    bool created_ = false;
    bool ready_ = false;
};

bool commandExists(const char* name)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty()
        || !QStandardPaths::findExecutable(QString::fromLatin1(name), {"/usr/sbin", "/sbin"}).isEmpty();
}

// The Next round trip at 2 ms round-trip time: this program again, in the
// delayed namespace, with a server of its own there. Says why when it cannot.
std::optional<bench::NextTimes> nextInDelayedNamespace(const std::string& program, std::string& why)
{
    if (::geteuid() != 0) {
        why = "not run as root";
        return std::nullopt;
    }
    if (!commandExists("ip") || !commandExists("tc")) {
        why = "no ip or tc (package iproute2)";
        return std::nullopt;
    }
    DelayedNamespace delayed(QStringLiteral("1ms"));
    if (!delayed.ready()) {
        why = "no netem delay in a network namespace here (kernel without sch_netem?)";
        return std::nullopt;
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start("ip", {"netns", "exec", delayed.name(), QString::fromStdString(program), "--next-on-own-server"});
    if (!child.waitForFinished(600000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        child.kill();
        child.waitForFinished(10000);
        throw std::runtime_error("the measuring child in the delayed namespace failed");
    }
    bench::NextTimes times;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() != 2)
            continue;
        const double ms = words[1].toDouble();
        if (words[0] == "next")
            times.next = ms;
        else if (words[0] == "save")
            times.copyAndSave = ms;
        else if (words[0] == "floor")
            times.floor = ms;
    }
    if (times.next <= 0 || times.floor <= 0)
        throw std::runtime_error("the measuring child in the delayed namespace answered no figures");
    return times;
}

} // namespace

int bench::stationChild(int argc, char** argv)
{
    if (argc != 6)
        throw std::runtime_error("usage: tallyon_bench --station DATABASE PASSWORD INDEX RUNS");
    CompetitionLogin login;
    login.database = argv[2];
    login.password = argv[3];
    return runStation(login, std::atoi(argv[4]), std::atoi(argv[5]));
}

int bench::nextOnOwnServerChild(int, char**)
{
    OwnServer own;
    if (!own.server())
        throw std::runtime_error("the test server did not start");
    const CompetitionLogin login = own.newDatabase();
    const NextTimes times = measureNext(login);
    dropDatabase(login);
    std::printf("next %f\nsave %f\nfloor %f\n", times.next, times.copyAndSave, times.floor);
    return 0;
}

void bench::serverFigures(Table& table, const std::string& program)
{
    OwnServer own;
    if (own.startCode() == 77) {
        table.note("server figures skipped: the Firebird server package (firebird3.0-server) is not installed");
        return;
    }
    if (!own.server())
        throw std::runtime_error("the test server did not start");

    const QString address = own.server()->address;
    const int serverPort = address.section('/', 1).toInt();
    // The login of a new database reached through the relay.
    const auto through = [&](const DelayRelay& relay) {
        CompetitionLogin login = own.newDatabase();
        login.database = "127.0.0.1/" + std::to_string(relay.port()) + login.database.substr(login.database.find(':'));
        return login;
    };
    {
        // Through a relay that delays nothing and counts the requests.
        const DelayRelay counting(serverPort, std::chrono::microseconds(0));
        const CompetitionLogin login = through(counting);
        const NextTimes times = measureNext(login, [&] { return counting.requests(); });
        dropDatabase(login);
        table.note("Loopback server through a relay that only counts what the station sends");
        table.add({"Next round trip, loopback server", times.next, times.floor, Goal::ratioAtMost(1.5)});
        table.add({"  of which copy and save", times.copyAndSave, std::nullopt, Goal::none()});
        const NextTimes::Requests& r = *times.requests;
        table.add({"  requests per Next, 60 changed arrows", r.changed60, r.floor, Goal::atMost(10, "requests"),
                   "requests"});
        table.add({"  requests per Next, 3 changed arrows", r.changed3, r.floor, Goal::atMost(8, "requests"),
                   "requests"});
        table.add({"  requests per Next, nothing changed", r.unchanged, r.floorUnchanged,
                   Goal::atMost(5, "requests"), "requests"});
    }
    // 2 ms round-trip time: tc netem in a network namespace where it can be
    // had, else this program's own delaying relay in front of the server.
    std::string why;
    std::optional<NextTimes> delayed = nextInDelayedNamespace(program, why);
    std::string how = "netem";
    // Each way half the round-trip time, less half of what the relay's own
    // passing adds.
    const auto relayDelay = [](int roundTripMs) {
        using std::chrono::microseconds;
        const double overheadMs = DelayRelay::roundTripMs(microseconds(0));
        return microseconds(std::max(0, roundTripMs * 500 - int(overheadMs * 500)));
    };
    if (!delayed) {
        const auto delay = relayDelay(2);
        char line[240];
        std::snprintf(line, sizeof line,
                      "2 ms round-trip time by a delaying relay in this program (%.2f ms measured), as tc netem "
                      "is not at hand: %s",
                      DelayRelay::roundTripMs(delay), why.c_str());
        table.note(line);
        how = "relay";
        const DelayRelay relay(serverPort, delay);
        const CompetitionLogin login = through(relay);
        delayed = measureNext(login);
        dropDatabase(login);
    }
    table.add({"Next round trip, server at 2 ms round-trip time (" + how + ")", delayed->next, delayed->floor,
               Goal::ratioAtMost(1.5)});
    table.add({"  the same against its time goal", delayed->next, std::nullopt, Goal::atMost(30)});
    table.add({"  of which copy and save", delayed->copyAndSave, std::nullopt, Goal::none()});
    {
        // A hall's Wi-Fi at its slow end: always the relay, fewer runs.
        const auto delay = relayDelay(20);
        char line[160];
        std::snprintf(line, sizeof line, "20 ms round-trip time by the delaying relay (%.2f ms measured)",
                      DelayRelay::roundTripMs(delay));
        table.note(line);
        const DelayRelay relay(serverPort, delay);
        const CompetitionLogin login = through(relay);
        const NextTimes slow = measureNext(login, {}, 9);
        dropDatabase(login);
        table.add({"Next round trip, server at 20 ms round-trip time (relay)", slow.next, slow.floor,
                   Goal::atMost(250)});
        table.add({"  of which copy and save", slow.copyAndSave, std::nullopt, Goal::none()});
    }

    const CompetitionLogin login = own.newDatabase();
    CreateCompetitionDatabase(login);
    seed(login, kArchers);
    constexpr int kRuns = 60;
    table.note("Saves of 60 changed arrows on the loopback server, " + std::to_string(kRuns)
               + " per station; floor: 60 prepared updates and a commit");
    for (int stations : {1, 4}) {
        auto times = runStations(program, login, stations, kRuns);
        for (const char* key : {"next", "save", "floor"})
            if (times[key].empty())
                throw std::runtime_error(std::string("no timings of ") + key);
        const std::string who = stations == 1 ? "1 station" : std::to_string(stations) + " stations at once";
        for (const auto& [key, label] : {std::pair{"next", "Page Down/Up"}, std::pair{"save", "savePoints"}}) {
            table.add({"  " + who + ", " + label + ", median", bench::percentile(times[key], 0.5),
                       bench::percentile(times["floor"], 0.5), Goal::none()});
            table.add({"  " + who + ", " + label + ", 95th percentile", bench::percentile(times[key], 0.95),
                       bench::percentile(times["floor"], 0.95), Goal::none()});
        }
    }
    dropDatabase(login);
}
