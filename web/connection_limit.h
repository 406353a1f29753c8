#pragma once
// The listening socket of the results server with its bounds: at most so
// many connections at once (one more is told 503 and closed), at most so
// many bytes of a request before its answer (more cuts the connection), and
// no connection that sends a request and then stalls, or sits idle, held
// for ever. The HTTP itself is Qt's; this only counts and cuts.
//
// Thread rules: one thread, the one the server lives in.

#include <QTcpServer>

#include <chrono>
#include <memory>

class QTcpSocket;

struct ConnectionLimits {
    int maxConnections = 1000;
    qint64 maxRequestBytes = 16 * 1024;                    // a GET is a line and some headers
    std::chrono::milliseconds requestTimeout{10000};       // a request begun must be whole by then
    std::chrono::milliseconds idleTimeout{120000};         // a connection with nothing to do closes
};

class LimitedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    explicit LimitedTcpServer(ConnectionLimits limits, QObject* parent = nullptr);

    int openConnections() const { return *open_; }
    // A connection that now carries an update stream: it sends nothing more
    // and is kept open without an idle limit.
    static void markAsStream(QTcpSocket* socket);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    ConnectionLimits limits_;
    std::shared_ptr<int> open_;   // shared with the connections' guards
};
