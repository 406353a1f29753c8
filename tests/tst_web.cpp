// The live results server driven as a browser and a phone would: through
// Qt's network classes on 127.0.0.1, against a real competition file. The
// pages, the JSON, an update pushed after another attachment's save, and
// the requests it refuses or cuts off.

#include "tests/support/competition.h"

#include "web/results_server.h"

#include <QEventLoop>
#include <QProcess>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

#include <signal.h>

namespace {

constexpr int kWaitMs = 10000;

struct Reply {
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
};

// A competition of three archers, one named like a script.
class WebCompetition : public TestCompetition {
public:
    WebCompetition()
    {
        seed({"insert into BOWTYPES values (1, 'Recurve')", "insert into AGECLASS values (1, 'Adult')",
              "insert into SHOOTINGCLASSES values (1, 'Men')",
              "insert into COUNTRY (COUNTRYNUMBER, NAME) values (1, 'Norge')",
              "insert into COMPETITION (NAME, PLACE) values ('Vinterst\xE6vne', 'Bergen')",
              archer(1, "Kari Nordmann", 1), archer(2, "<script>alert(1)</script>", 2), archer(3, "J\xF8rn & Co", 3),
              "insert into RESULTLISTS (LISTNAME, LISTFILTER, APPLYTO) values ('Recurve Men', '', 'INDIVIDUAL')"});
        std::vector<std::string> points;
        for (int a = 1; a <= 3; ++a)
            points.push_back("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values ("
                             + std::to_string(a) + ", 1, 1, " + std::to_string(7 + a) + ", 'F', 'F')");
        seed(points);
    }

    static std::string archer(int id, const std::string& name, int lane)
    {
        return "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, BOWTYPE, AGECLASSNO, SHOOTINGCLASS,"
               " ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER) values ("
               + std::to_string(id) + ", 1, '" + name + "', '" + std::to_string(lane) + "A', 'M', 1, 1, 1, 'T', 'T', "
               + std::to_string(lane) + ", 'A')";
    }
};

} // namespace

class TestWeb : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WebCompetition> competition_;
    std::unique_ptr<ResultsServer> server_;
    QNetworkAccessManager network_;

    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_->port()).arg(path));
    }

    Reply request(const QString& path, const QByteArray& verb = "GET")
    {
        QNetworkRequest r(url(path));
        QNetworkReply* reply = network_.sendCustomRequest(r, verb);
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
        Reply out;
        out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        out.body = reply->readAll();
        out.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        out.error = reply->error();
        reply->deleteLater();
        return out;
    }

    QJsonObject json(const QString& path)
    {
        const Reply r = request(path);
        if (r.status != 200)
            return {};
        return QJsonDocument::fromJson(r.body).object();
    }

    // Raw bytes on a connection of its own; what came back before the server
    // closed it, and whether it did within the wait.
    std::pair<QByteArray, bool> raw(const QByteArray& bytes)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server_->port());
        if (!socket.waitForConnected(kWaitMs))
            return {{}, false};
        socket.write(bytes);
        QByteArray got;
        QDeadlineTimer deadline(kWaitMs);
        while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            // The server's loop runs in this thread: wait by turning it.
            QTest::qWait(20);
            got += socket.readAll();
        }
        if (socket.isOpen())
            got += socket.readAll();
        return {got, socket.state() != QAbstractSocket::ConnectedState};
    }

    void startServer(ConnectionLimits limits = {})
    {
        server_.reset();
        server_ = std::make_unique<ResultsServer>(competition_->login, limits);
        QVERIFY(server_->listenOn(QHostAddress::LocalHost, 0) != 0);
    }

private slots:
    void init()
    {
        competition_ = std::make_unique<WebCompetition>();
        ConnectionLimits limits;
        limits.requestTimeout = std::chrono::milliseconds(1500);
        startServer(limits);
    }
    void cleanup()
    {
        server_.reset();
        competition_.reset();
    }

    // The page for phones: a whole document with a viewport, the
    // competition, the list chooser, the search, and the names as text.
    void pageIsForPhonesAndEscapesNames()
    {
        const Reply page = request(QStringLiteral("/"));
        QCOMPARE(page.status, 200);
        QVERIFY(page.contentType.startsWith("text/html"));
        const QString html = QString::fromUtf8(page.body);
        QVERIFY(html.startsWith(QLatin1String("<!DOCTYPE html>")));
        QVERIFY(html.contains(QLatin1String("name=\"viewport\" content=\"width=device-width")));
        QVERIFY(html.contains(QStringLiteral("Vinterst\u00e6vne")));
        QVERIFY(html.contains(QLatin1String("<select id=\"list\"")));
        QVERIFY(html.contains(QLatin1String("type=\"search\"")));
        QVERIFY(html.contains(QLatin1String("<time id=\"asof\"")));
        QVERIFY2(html.contains(QLatin1String("&lt;script&gt;alert(1)&lt;/script&gt;")), qPrintable(html));
        QVERIFY(!html.contains(QLatin1String("<script>alert")));
        QVERIFY(html.contains(QStringLiteral("J\u00f8rn &amp; Co")));
        // Nothing from outside: the style and the script come from this server.
        QVERIFY(!html.contains(QLatin1String("http://")) && !html.contains(QLatin1String("https://")));
        QCOMPARE(request(QStringLiteral("/app.js")).status, 200);
        QCOMPARE(request(QStringLiteral("/app.css")).status, 200);
        const Reply hall = request(QStringLiteral("/hall"));
        QCOMPARE(hall.status, 200);
        QVERIFY(hall.body.contains("<body class=\"hall\">"));
    }

    void jsonHoldsTheRanking()
    {
        const QJsonObject all = json(QStringLiteral("/api/results"));
        QCOMPARE(all.value("competition").toObject().value("name").toString(), QStringLiteral("Vinterst\u00e6vne"));
        QVERIFY(QDateTime::fromString(all.value("asOf").toString(), Qt::ISODate).isValid());
        const QJsonArray lists = all.value("lists").toArray();
        QCOMPARE(lists.size(), 1);
        const QJsonArray archers = lists[0].toObject().value("archers").toArray();
        QCOMPARE(archers.size(), 3);
        QCOMPARE(archers[0].toObject().value("name").toString(), QStringLiteral("J\u00f8rn & Co"));
        QCOMPARE(archers[0].toObject().value("total").toInt(), 10);
        QCOMPARE(archers[0].toObject().value("tens").toInt(), 1);
        QCOMPARE(archers[0].toObject().value("place").toInt(), 1);
        QCOMPARE(archers[1].toObject().value("name").toString(), QStringLiteral("<script>alert(1)</script>"));
        QCOMPARE(archers[2].toObject().value("country").toString(), QStringLiteral("Norge"));

        const QJsonObject one = json(QStringLiteral("/api/results/Recurve%20Men"));
        QCOMPARE(one.value("name").toString(), QStringLiteral("Recurve Men"));
        QCOMPARE(one.value("archers").toArray().size(), 3);
        QCOMPARE(request(QStringLiteral("/api/results/Nobody")).status, 404);
    }

    // Only GET, only the served paths; no file and no folder listing.
    void refusesWhatItDoesNotServe_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("verb");
        QTest::addColumn<int>("status");
        QTest::newRow("post") << QStringLiteral("/api/results") << QByteArray("POST") << 405;
        QTest::newRow("delete") << QStringLiteral("/") << QByteArray("DELETE") << 405;
        QTest::newRow("unknown path") << QStringLiteral("/admin") << QByteArray("GET") << 404;
        QTest::newRow("a folder") << QStringLiteral("/web/") << QByteArray("GET") << 404;
        QTest::newRow("a file beside") << QStringLiteral("/../competition.fdb") << QByteArray("GET") << 404;
        QTest::newRow("list named like SQL") << QStringLiteral("/api/results/x'%20or%20'1'='1") << QByteArray("GET")
                                             << 404;
    }
    void refusesWhatItDoesNotServe()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, verb);
        QFETCH(int, status);
        QCOMPARE(request(path, verb).status, status);
    }

    // Another attachment saves arrows: the open stream receives the new
    // ranking without asking.
    void updateArrivesAfterASave()
    {
        QNetworkRequest r(url(QStringLiteral("/api/events")));
        r.setRawHeader("Accept", "text/event-stream");
        std::unique_ptr<QNetworkReply> stream(network_.get(r));
        QByteArray received;
        connect(stream.get(), &QNetworkReply::readyRead, this, [&] { received += stream->readAll(); });
        QTRY_VERIFY_WITH_TIMEOUT(received.count("event: results\n") == 1, kWaitMs);
        QCOMPARE(stream->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        QVERIFY(stream->header(QNetworkRequest::ContentTypeHeader).toByteArray().startsWith("text/event-stream"));
        QTRY_COMPARE_WITH_TIMEOUT(server_->streamCount(), 1, kWaitMs);

        competition_->seed({"update POINTS set POINT = 10, \"CROSS\" = 'T' where ARCHERID = 1"});
        QTRY_VERIFY_WITH_TIMEOUT(received.count("event: results\n") >= 2, kWaitMs);
        const qsizetype last = received.lastIndexOf("data: ");
        const QByteArray data = received.mid(last + 6, received.indexOf('\n', last) - last - 6);
        const QJsonArray archers =
            QJsonDocument::fromJson(data).object().value("lists").toArray()[0].toObject().value("archers").toArray();
        QCOMPARE(archers[0].toObject().value("name").toString(), QStringLiteral("Kari Nordmann"));
        QCOMPARE(archers[0].toObject().value("xs").toInt(), 1);
        stream->abort();
    }

    // A request that is no HTTP gets no page, and the server goes on.
    void malformedRequestIsRefused()
    {
        const auto [answer, closed] = raw("THIS IS NOT HTTP\r\n\r\n");
        QVERIFY2(closed, answer.constData());
        QVERIFY2(!answer.contains(" 200 "), answer.constData());
        QCOMPARE(request(QStringLiteral("/")).status, 200);
    }

    // Endless headers are cut off once past the bound, not buffered.
    void oversizedRequestIsCutOff()
    {
        const QByteArray big = "GET / HTTP/1.1\r\nHost: x\r\nX-Padding: " + QByteArray(64 * 1024, 'a') + "\r\n\r\n";
        const auto [answer, closed] = raw(big);
        QVERIFY(closed);
        QVERIFY2(!answer.contains(" 200 "), answer.constData());
        QCOMPARE(request(QStringLiteral("/")).status, 200);
    }

    // A client that asks for the close after the answer gets the page and the close.
    void closesWhenAsked()
    {
        const auto [answer, closed] = raw("GET /api/results HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QVERIFY(closed);
        QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.constData());
    }

    // A request begun and never finished does not hold its connection.
    void stalledRequestIsClosed()
    {
        const auto [answer, closed] = raw("GET / HTTP/1.1\r\nHost: x\r\n");
        QVERIFY(closed);
        QVERIFY(answer.isEmpty());
    }

    // One connection past the bound is told so and closed; the others stay.
    void connectionCountIsBounded()
    {
        ConnectionLimits limits;
        limits.maxConnections = 2;
        startServer(limits);
        QTcpSocket a, b;
        for (QTcpSocket* s : {&a, &b}) {
            s->connectToHost(QHostAddress::LocalHost, server_->port());
            QVERIFY(s->waitForConnected(kWaitMs));
        }
        QTRY_COMPARE_WITH_TIMEOUT(server_->openConnections(), 2, kWaitMs);
        const auto [answer, closed] = raw("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(closed);
        QVERIFY2(answer.startsWith("HTTP/1.1 503"), answer.constData());
        a.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(server_->openConnections(), 1, kWaitMs);
        QCOMPARE(request(QStringLiteral("/")).status, 200);
    }

    // The command as run from a terminal: it prints where to open it,
    // serves, and ends cleanly on Ctrl+C and on SIGTERM.
    void commandEndsOnSignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl+C") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }
    void commandEndsOnSignals()
    {
        QFETCH(int, signal);
        server_.reset();
        QTcpServer probe;   // a free port for the command
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess serve;
        serve.start(QStringLiteral(TALLYON_EXE), {QStringLiteral("serve"), competition_->path(), QStringLiteral("--listen"),
                                                 QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                                 QString::number(port)});
        QByteArray out;
        QDeadlineTimer deadline(60000);
        while (!out.contains("Ctrl+C ends.") && !deadline.hasExpired() && serve.state() != QProcess::NotRunning) {
            serve.waitForReadyRead(200);
            out += serve.readAllStandardOutput();
        }
        QVERIFY2(out.contains(QStringLiteral("http://127.0.0.1:%1/").arg(port).toUtf8()), out.constData());
        ::kill(pid_t(serve.processId()), signal);
        const bool ended = serve.waitForFinished(20000);
        if (!ended)
            serve.kill();
        QVERIFY2(ended, "the server did not end");
        QCOMPARE(serve.exitStatus(), QProcess::NormalExit);
        QCOMPARE(serve.exitCode(), 0);
    }
};

QTEST_MAIN(TestWeb)
#include "tst_web.moc"
