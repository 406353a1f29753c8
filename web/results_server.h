#pragma once
// The live results on the web: a small read-only HTTP server over one
// competition. It serves
//   /             the results page for phones
//   /hall         the same page in large type, turning its own pages
//   /api/results  every list as JSON; /api/results/<list> one list
//   /api/events   Server-Sent Events: the results as JSON now, and again
//                 after every committed save
//   /app.css, /app.js  the page's style and script
// and nothing else: only GET; nothing from a request reaches the database
// or a file. It reads the results on start and after each save the
// database tells of (no polling), and keeps them in memory for every
// request until the next save.
//
// Thread rules: one thread, the one that creates it, with an event loop.

#include "data/competition_login.h"
#include "db/connection.h"
#include "web/connection_limit.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class PointsSavedListener;
struct CompetitionResults;
class QTcpSocket;

class ResultsServer : public QAbstractHttpServer {
    Q_OBJECT

public:
    // Opens its own attachment, adds the save trigger when missing, reads the
    // results and starts waiting for saves. CommandError on failure.
    explicit ResultsServer(const CompetitionLogin& login, ConnectionLimits limits = {}, QObject* parent = nullptr);
    ~ResultsServer() override;

    // Listens on address and port (0: any free one). The port, or 0 when
    // it cannot listen there.
    quint16 listenOn(const QHostAddress& address, quint16 port);
    quint16 port() const;

    // Reads the results anew and pushes them to every update stream.
    void refresh();

    int streamCount() const { return int(streams_.size()); }
    int openConnections() const;

signals:
    // After each refresh, once the update is written to every stream.
    void pushed();

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Snapshot {
        QByteArray json;
        QHash<QString, QByteArray> listJson;   // by list name
        QByteArray page, hall;
        QByteArray event;                       // one SSE frame with json
    };
    // Keeps the results as every answer serves them and pushes them to the streams.
    void publish(const CompetitionResults& results);
    void openStream(const QHttpServerRequest& request, QTcpSocket* socket);
    void scheduleRefresh();
    void heartbeat();

    db::Connection connection_;
    std::unique_ptr<PointsSavedListener> listener_;
    ConnectionLimits limits_;
    LimitedTcpServer* tcp_ = nullptr;
    Snapshot snapshot_;
    QList<QPointer<QTcpSocket>> streams_;
    QTimer heartbeat_;
    bool refreshQueued_ = false;
};
