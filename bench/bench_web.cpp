// The live results server under load, on loopback: `tallyon serve` on the
// demo competition (an embedded file shared with the savers, as on one
// laptop), 300 open update streams, 50 page requests a second, and 4
// stations saving an archer's 60 arrows in turn. Figures: the time from a
// save's commit to the moment the last of the 300 streams has it (median
// and 95th percentile over the saves), the page's answer time, and the
// server's memory. Every loop is bounded in count and time.

#include "bench/bench_support.h"
#include "data/competition_login.h"
#include "db/connection.h"
#include "db/transaction.h"
#include "roster/demo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kStreams = 300;
constexpr int kPagesPerSecond = 50;
constexpr int kStations = 4;
constexpr int kSavesPerStation = 20;
constexpr auto kSaveGap = std::chrono::milliseconds(1000);   // per station; staggered
constexpr int kMarkerBase = 9000;                             // ARCHERIDs of the stations' archers

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start, Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(t - start).count();
}

// The marker archers' totals in a pushed document: "Mk1" .. "Mk4".
// Keys come in alphabetical order, so "total" follows "name".
int markerTotal(const QByteArray& frame, int station)
{
    const QByteArray name = "\"name\":\"Mk" + QByteArray::number(station) + "\"";
    const qsizetype at = frame.indexOf(name);
    if (at < 0)
        return -1;
    const qsizetype total = frame.indexOf("\"total\":", at);
    if (total < 0)
        return -1;
    qsizetype i = total + 8, end = i;
    while (end < frame.size() && frame[end] >= '0' && frame[end] <= '9')
        ++end;
    return frame.mid(i, end - i).toInt();
}

// What the streams saw: for each station's save number, how many streams
// have it and when the last of them got it.
struct Arrivals {
    std::map<std::pair<int, int>, std::pair<int, Clock::time_point>> bySave;
};

class Stream : public QObject {
public:
    Stream(quint16 port, Arrivals& arrivals) : arrivals_(arrivals)
    {
        connect(&socket_, &QTcpSocket::connected, this, [this] {
            socket_.write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n");
        });
        connect(&socket_, &QTcpSocket::readyRead, this, [this] { read(); });
        socket_.connectToHost(QHostAddress::LocalHost, port);
    }
    bool open() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    int frames = 0;

private:
    void read()
    {
        buffer_ += socket_.readAll();
        const Clock::time_point now = Clock::now();
        for (qsizetype end; (end = buffer_.indexOf("\n\n")) >= 0;) {
            const QByteArray frame = buffer_.left(end);
            buffer_.remove(0, end + 2);
            if (!frame.contains("event: results"))
                continue;
            ++frames;
            for (int k = 1; k <= kStations; ++k) {
                const int total = markerTotal(frame, k);
                for (int s = seen_[k - 1] + 1; s <= total; ++s) {
                    auto& [count, last] = arrivals_.bySave[{k, s}];
                    ++count;
                    last = std::max(last, now);
                }
                seen_[k - 1] = std::max(seen_[k - 1], total);
            }
        }
    }

    QTcpSocket socket_;
    QByteArray buffer_;
    Arrivals& arrivals_;
    int seen_[kStations] = {0, 0, 0, 0};
};

// Save number s of a station: the marker archer's 60 arrows, summing to s.
void save(db::Connection& connection, int station, int s)
{
    db::Transaction t(&connection);
    t.params() = {"concurrency", "wait", "lock_timeout=5"};
    int left = s;
    for (int n = 0; n < 60; ++n) {
        const int point = std::min(left, 10);
        left -= point;
        connection.executeImmediate("update or insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", "
                                    "EMPTYSCORE) values ("
                                        + std::to_string(kMarkerBase + station) + ", " + std::to_string(n / 30 + 1)
                                        + ", " + std::to_string(n % 30 + 1) + ", " + std::to_string(point)
                                        + ", 'F', 'F')",
                                    t);
    }
    t.commit();
}

long statusKb(qint64 pid, const char* field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

void waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

void bench::webFigures(Table& table, const std::string& program)
{
    QTemporaryDir dir;
    CompetitionLogin login;
    login.database = dir.filePath(QStringLiteral("hall.fdb")).toStdString();
    createDemoCompetition(login);
    {
        db::Connection c;
        SetCompetitionLogin(c, login);
        c.connect();
        db::Transaction t(&c);
        for (int k = 1; k <= kStations; ++k)
            // In the first archer's classes, so in a list of the ranking.
            c.executeImmediate("insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER, COUNTRYNUMBER, SEX,"
                               " BOWTYPE, AGECLASSNO, SHOOTINGCLASS) select "
                                   + std::to_string(kMarkerBase + k) + ", 'Mk" + std::to_string(k) + "', '"
                                   + std::to_string(30 + k) + "A', " + std::to_string(30 + k)
                                   + ", 'A', COUNTRYNUMBER, SEX, BOWTYPE, AGECLASSNO, SHOOTINGCLASS from ARCHER"
                                     " where ARCHERID = (select min(ARCHERID) from ARCHER)",
                               t);
        t.commit();
        c.disconnect();
    }

    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    const QString host = QString::fromStdString(std::filesystem::path(program).parent_path() / "tallyon");
    QProcess serve;
    serve.start(host, {QStringLiteral("serve"), QString::fromStdString(login.database), QStringLiteral("--listen"),
                       QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(port)});
    QByteArray said;
    waitFor([&] {
        said += serve.readAllStandardOutput();
        return said.contains("Ctrl+C ends.") || serve.state() == QProcess::NotRunning;
    }, 60000);
    if (!said.contains("Ctrl+C ends."))
        throw std::runtime_error("tallyon serve did not start: " + serve.readAllStandardError().toStdString());
    const long idleKb = statusKb(serve.processId(), "VmRSS:");

    Arrivals arrivals;
    std::vector<std::unique_ptr<Stream>> streams;
    for (int i = 0; i < kStreams; ++i)
        streams.push_back(std::make_unique<Stream>(port, arrivals));
    waitFor([&] { return std::all_of(streams.begin(), streams.end(), [](const auto& s) { return s->frames >= 1; }); },
            60000);
    const int openStreams = int(std::count_if(streams.begin(), streams.end(), [](const auto& s) { return s->frames >= 1; }));

    // 50 page requests a second, each on a connection of its own.
    std::vector<double> pageMs;
    int pageFailures = 0;
    QTimer pages;
    std::vector<std::unique_ptr<QTcpSocket>> pageSockets;
    QObject::connect(&pages, &QTimer::timeout, [&] {
        auto socket = std::make_unique<QTcpSocket>();
        QTcpSocket* s = socket.get();
        const Clock::time_point start = Clock::now();
        auto got = std::make_shared<QByteArray>();
        QObject::connect(s, &QTcpSocket::connected, s,
                         [s] { s->write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"); });
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, got] { *got += s->readAll(); });
        QObject::connect(s, &QTcpSocket::disconnected, s, [&, got, start] {
            if (got->startsWith("HTTP/1.1 200") && got->contains("</html>"))
                pageMs.push_back(msSince(start, Clock::now()));
            else
                ++pageFailures;
        });
        s->connectToHost(QHostAddress::LocalHost, port);
        pageSockets.push_back(std::move(socket));
    });
    pages.start(1000 / kPagesPerSecond);

    // Four stations, each in a thread with an attachment of its own, saving
    // in turn: one save every quarter of a second in all.
    std::mutex commitsMutex;
    std::map<std::pair<int, int>, Clock::time_point> commits;
    std::atomic<int> saveFailures{0};
    std::vector<std::thread> stations;
    const Clock::time_point begin = Clock::now();
    for (int k = 1; k <= kStations; ++k) {
        stations.emplace_back([&, k] {
            try {
                db::Connection c;
                SetCompetitionLogin(c, login);
                c.connect();
                std::this_thread::sleep_until(begin + (k - 1) * kSaveGap / kStations);
                for (int s = 1; s <= kSavesPerStation; ++s) {
                    std::this_thread::sleep_until(begin + (k - 1) * kSaveGap / kStations + (s - 1) * kSaveGap);
                    save(c, k, s);
                    std::lock_guard lock(commitsMutex);
                    commits[{k, s}] = Clock::now();
                }
                c.disconnect();
            } catch (...) {
                ++saveFailures;
            }
        });
    }
    bool stationsDone = false;
    std::thread joiner([&] {
        for (std::thread& t : stations)
            t.join();
    });
    const int runMs = int(std::chrono::duration_cast<std::chrono::milliseconds>(kSaveGap).count()) * kSavesPerStation
                      + 5000;
    waitFor([&] {
        std::lock_guard lock(commitsMutex);
        stationsDone = int(commits.size()) == kStations * kSavesPerStation;
        return stationsDone && arrivals.bySave.size() >= commits.size()
               && std::all_of(arrivals.bySave.begin(), arrivals.bySave.end(),
                              [&](const auto& a) { return a.second.first >= openStreams; });
    }, runMs + 20000);
    pages.stop();
    const long rssKb = statusKb(serve.processId(), "VmRSS:");
    const long peakKb = statusKb(serve.processId(), "VmHWM:");
    joiner.join();

    std::vector<double> lastClientMs;
    int missing = 0;
    for (const auto& [key, committed] : commits) {
        const auto it = arrivals.bySave.find(key);
        if (it == arrivals.bySave.end() || it->second.first < openStreams) {
            ++missing;
            continue;
        }
        lastClientMs.push_back(std::max(0.0, msSince(committed, it->second.second)));
    }
    for (const auto& socket : pageSockets)
        socket->disconnect();
    streams.clear();
    pageSockets.clear();
    serve.terminate();
    if (!serve.waitForFinished(20000))
        serve.kill();

    const std::string streamsText = std::to_string(openStreams) + " streams";
    std::printf("web load: %d of %d streams open; %d saves committed, %d reached every stream, %d save failures; "
                "%zu pages answered, %d failed; server memory idle %.1f MB\n",
                openStreams, kStreams, int(commits.size()), int(lastClientMs.size()), saveFailures.load(),
                pageMs.size(), pageFailures, double(idleKb) / 1024.0);
    if (lastClientMs.empty() || missing > 0 || openStreams < kStreams)
        table.add({"commit to the last of " + streamsText + " updated: some saves never reached every stream",
                   double(missing), std::nullopt, Goal::below(0.5, "saves"), "saves"});
    if (!lastClientMs.empty()) {
        table.add({"commit to the last of " + streamsText + " updated, median", median(lastClientMs), std::nullopt,
                   Goal::below(2000)});
        table.add({"commit to the last of " + streamsText + " updated, 95th percentile",
                   percentile(lastClientMs, 0.95), std::nullopt, Goal::below(2000)});
    }
    if (!pageMs.empty())
        table.add({"page answer under that load (50 a second), median", median(pageMs), std::nullopt, Goal::none()});
    table.add({"server memory at the end of that load (resident)", double(rssKb) / 1024.0, std::nullopt,
               Goal::below(100, "MB"), "MB"});
    table.add({"  server memory peak", double(peakKb) / 1024.0, std::nullopt, Goal::below(100, "MB"), "MB"});
}
