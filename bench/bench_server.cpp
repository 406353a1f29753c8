// Save latency on a Firebird server over the loopback interface, for one
// station and for four stations saving at the same time, each station a
// process of its own with the data context and the points window as the
// host sets them up (offscreen). Per station and save of 60 changed arrows:
//  - Page Down or Page Up in the window: save, move, read the archer, show it;
//  - the archer model's save alone (savePoints);
//  - the floor: the same 60 rows through one prepared update, and a commit.
// Medians and 95th percentiles over all the stations' saves.
//
//   bench_server [RUNS]
// Uses the server of TALLYON_TEST_SERVER_ROOT when set (scripts/test-server.sh
// run DIR bench_server); otherwise starts a throwaway one of its own.

#include "bench/bench_support.h"
#include "data/competition_schema.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "forms/uVuRudiCompetition.h"
#include "model/uTallyonClasses.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    dm.IBTransPoints.params() = {"concurrency", "wait", "lock_timeout=5"};
    dm.IBQryPoints.onPostError = [](db::Query&, const db::DbError&, db::PostErrorAction& action) {
        action = db::PostErrorAction::Fail;
    };
    dm.Connect(login);
    const int first = firstArcherOf(station);

    // The model's save on a data context of its own, so that the window's
    // archer query stays where the window left it.
    TdmTallyon modelDm;
    modelDm.IBTransPoints.params() = dm.IBTransPoints.params();
    modelDm.IBQryPoints.onPostError = dm.IBQryPoints.onPostError;
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
    QString root;
};

std::optional<Server> readServer(const QString& root)
{
    QFile address(QDir(root).filePath("address")), password(QDir(root).filePath("password"));
    if (!address.open(QIODevice::ReadOnly) || !password.open(QIODevice::ReadOnly))
        return std::nullopt;
    return Server{QString::fromLatin1(address.readAll()).trimmed(), password.readAll().trimmed().toStdString(),
                  QDir(root).absolutePath()};
}

bool runScript(const QString& action, const QString& root)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start("bash", {QStringLiteral(TALLYON_TEST_SERVER_SCRIPT), action, root});
    return script.waitForFinished(120000) && script.exitCode() == 0;
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

double percentile(std::vector<double> times, double p)
{
    std::sort(times.begin(), times.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * double(times.size())));
    return times[std::min(times.size(), std::max<std::size_t>(rank, 1)) - 1];
}

// Runs the stations at once; the timings of each figure over all of them.
std::map<std::string, std::vector<double>> runStations(const CompetitionLogin& login, int stations, int runs)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int k = 0; k < stations; ++k) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(),
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

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    try {
        // A station never starts servers or stations of its own.
        if (argc > 1 && std::string(argv[1]) == "--station") {
            if (argc != 6)
                throw std::runtime_error("usage: bench_server --station DATABASE PASSWORD INDEX RUNS");
            CompetitionLogin login;
            login.database = argv[2];
            login.password = argv[3];
            return runStation(login, std::atoi(argv[4]), std::atoi(argv[5]));
        }
        const int runs = argc > 1 ? std::atoi(argv[1]) : 60;
        if (argc > 2 || runs < 5)
            throw std::runtime_error("usage: bench_server [RUNS of at least 5]");

        QTemporaryDir ownRoot;
        QString root = qEnvironmentVariable("TALLYON_TEST_SERVER_ROOT");
        const bool own = root.isEmpty();
        if (own) {
            root = ownRoot.filePath("server");
            if (!runScript("start", root))
                throw std::runtime_error("the test server did not start");
        }
        const auto stopServer = qScopeGuard([&] {
            if (own)
                runScript("stop", root);
        });
        const std::optional<Server> server = readServer(root);
        if (!server)
            throw std::runtime_error("no test server in " + root.toStdString());

        CompetitionLogin login;
        login.database = (server->address + ':' + server->root + "/data/bench-"
                          + QUuid::createUuid().toString(QUuid::WithoutBraces) + ".fdb").toStdString();
        login.password = server->password;
        CreateCompetitionDatabase(login);
        seed(login, kArchers);

        std::printf("Saves of 60 changed arrows on the Firebird server at %s (loopback), %d saves per station\n",
                    qPrintable(server->address), runs);
        std::printf("%-9s %-48s %9s %9s\n", "stations", "figure", "median", "p95");
        const std::pair<const char*, const char*> figures[] = {
            {"next", "Page Down/Up: save, move, read, show"},
            {"save", "the model's save (savePoints)"},
            {"floor", "floor: 60 prepared updates + commit"},
        };
        for (int stations : {1, 4}) {
            auto times = runStations(login, stations, runs);
            for (const auto& [key, label] : figures) {
                const auto& t = times[key];
                if (t.empty())
                    throw std::runtime_error(std::string("no timings of ") + key);
                std::printf("%-9d %-48s %6.2f ms %6.2f ms\n", stations, label, percentile(t, 0.5),
                            percentile(t, 0.95));
            }
        }

        db::Connection connection;
        bench::attach(connection, login.database, login.user, login.password);
        connection.dropDatabase();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_server: %s\n", e.what());
        return 1;
    }
}
