#include "web/results_server.h"

#include "core/command_error.h"
#include "data/competition_io.h"
#include "db/error.h"
#include "results/points_events.h"
#include "results/ranking.h"
#include "results/results_schema.h"
#include "web/results_json.h"
#include "web/results_page.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QTcpSocket>

#include <initializer_list>
#include <iostream>
#include <utility>

namespace {

using Status = QHttpServerResponder::StatusCode;

// A stream whose client reads nothing while this much waits for it is cut.
constexpr qint64 kMaxStreamBacklog = 4 * 1024 * 1024;
// A comment on every stream this often: a client gone without a word is found.
constexpr int kHeartbeatMs = 25000;

void answer(QHttpServerResponder&& responder, Status status, const QByteArray& type, const QByteArray& body,
            std::initializer_list<std::pair<QByteArray, QByteArray>> extra = {})
{
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    for (const auto& [key, value] : extra)
        responder.writeHeader(key, value);
    responder.writeBody(body);
}

void notFound(QHttpServerResponder&& responder)
{
    answer(std::move(responder), Status::NotFound, "text/plain; charset=utf-8", "not found\n");
}

bool asksToClose(const QHttpServerRequest& request)
{
    for (const auto& [name, value] : request.headers()) {
        if (name.compare("Connection", Qt::CaseInsensitive) == 0 && value.trimmed().compare("close", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

ResultsServer::ResultsServer(const CompetitionLogin& login, ConnectionLimits limits, QObject* parent)
    : QAbstractHttpServer(parent), limits_(limits)
{
    openCompetitionDatabase(connection_, login);
    checkCompetitionSchema(connection_, login.database);
    ensurePointsSavedTrigger(connection_);
    listener_ = std::make_unique<PointsSavedListener>(connection_);
    connect(listener_.get(), &PointsSavedListener::pointsSaved, this, &ResultsServer::scheduleRefresh);
    // A failure of the first reading ends the command with its reason.
    publish(readResults(connection_));
    connect(&heartbeat_, &QTimer::timeout, this, &ResultsServer::heartbeat);
    heartbeat_.start(kHeartbeatMs);
}

ResultsServer::~ResultsServer()
{
    listener_.reset();
    connection_.disconnect();
}

quint16 ResultsServer::listenOn(const QHostAddress& address, quint16 port)
{
    auto* tcp = new LimitedTcpServer(limits_, this);
    if (!tcp->listen(address, port)) {
        delete tcp;
        return 0;
    }
    tcp_ = tcp;
    bind(tcp);
    return tcp->serverPort();
}

quint16 ResultsServer::port() const { return tcp_ ? tcp_->serverPort() : 0; }

int ResultsServer::openConnections() const { return tcp_ ? tcp_->openConnections() : 0; }

void ResultsServer::scheduleRefresh()
{
    // Deliveries that arrive together are read once.
    if (refreshQueued_)
        return;
    refreshQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshQueued_ = false;
        refresh();
    });
}

void ResultsServer::refresh()
{
    try {
        publish(readResults(connection_));
    } catch (const std::exception& e) {
        // The last results stay served; the next save tries again.
        std::cerr << "tallyon serve: reading the results failed: " << oneLine(e.what()) << std::endl;
    }
}

void ResultsServer::publish(const CompetitionResults& results)
{
    const QDateTime asOf = QDateTime::currentDateTimeUtc();
    Snapshot s;
    s.json = QJsonDocument(resultsJson(results, asOf)).toJson(QJsonDocument::Compact);
    for (const ResultList& list : results.lists)
        s.listJson.insert(QString::fromLatin1(list.name.data(), qsizetype(list.name.size())),
                          QJsonDocument(listJson(list)).toJson(QJsonDocument::Compact));
    s.page = resultsPage(results, asOf, PageForm::Phone);
    s.hall = resultsPage(results, asOf, PageForm::Hall);
    s.event = "event: results\ndata: " + s.json + "\n\n";
    snapshot_ = std::move(s);

    for (qsizetype i = streams_.size() - 1; i >= 0; --i) {
        QTcpSocket* socket = streams_[i];
        if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
            streams_.removeAt(i);
            continue;
        }
        if (socket->bytesToWrite() > kMaxStreamBacklog) {
            socket->abort();
            streams_.removeAt(i);
            continue;
        }
        socket->write(snapshot_.event);
    }
    emit pushed();
}

void ResultsServer::heartbeat()
{
    for (const QPointer<QTcpSocket>& socket : std::as_const(streams_)) {
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            socket->write(": still here\n\n");
    }
}

void ResultsServer::openStream(const QHttpServerRequest& request, QTcpSocket* socket)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(Status::Ok);
    responder.writeHeader("Content-Type", "text/event-stream; charset=utf-8");
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    // The stream ends when the connection does.
    responder.writeHeader("Connection", "close");
    responder.writeBody("retry: 3000\n\n" + snapshot_.event);
    LimitedTcpServer::markAsStream(socket);
    streams_.append(QPointer<QTcpSocket>(socket));
}

bool ResultsServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (request.method() != QHttpServerRequest::Method::Get) {
        answer(makeResponder(request, socket), Status::MethodNotAllowed, "text/plain; charset=utf-8",
               "only GET\n", {{"Allow", "GET"}});
        return true;
    }
    const QString path = request.url().path(QUrl::FullyDecoded);
    const QByteArray html = "text/html; charset=utf-8";
    const QByteArray json = "application/json; charset=utf-8";
    if (path == u"/")
        answer(makeResponder(request, socket), Status::Ok, html, snapshot_.page);
    else if (path == u"/hall")
        answer(makeResponder(request, socket), Status::Ok, html, snapshot_.hall);
    else if (path == u"/api/results")
        answer(makeResponder(request, socket), Status::Ok, json, snapshot_.json);
    else if (path == u"/api/events")
        openStream(request, socket);
    else if (path == u"/app.css")
        answer(makeResponder(request, socket), Status::Ok, "text/css; charset=utf-8", pageStyle());
    else if (path == u"/app.js")
        answer(makeResponder(request, socket), Status::Ok, "text/javascript; charset=utf-8", pageScript());
    else if (path.startsWith(u"/api/results/")) {
        // The name only picks one of the lists in memory.
        const auto it = snapshot_.listJson.constFind(path.mid(13));
        if (it == snapshot_.listJson.constEnd())
            notFound(makeResponder(request, socket));
        else
            answer(makeResponder(request, socket), Status::Ok, json, *it);
    } else {
        return false;
    }
    // A client that asks to close after the answer gets its close.
    if (asksToClose(request))
        socket->disconnectFromHost();
    return true;
}

void ResultsServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    notFound(makeResponder(request, socket));
}
