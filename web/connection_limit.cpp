#include "web/connection_limit.h"

#include <QTcpSocket>
#include <QTimer>

// Lives as the socket's child: counts the connection while it exists, and
// watches the bytes of each request and the time it takes.
class ConnectionGuard : public QObject {
public:
    ConnectionGuard(LimitedTcpServer& server, QTcpSocket* socket) : QObject(socket), server_(server), socket_(socket)
    {
        ++server_.open_;
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { socket_->abort(); });
        // Connected before the HTTP server's own slot: the bytes are counted
        // before they are parsed.
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this] { received(); });
        QObject::connect(socket, &QTcpSocket::bytesWritten, this, [this] { answered(); });
        waitIdle();
    }
    ~ConnectionGuard() override { --server_.open_; }

    void makeStream()
    {
        stream_ = true;
        timer_.stop();
    }

private:
    void received()
    {
        if (stream_)
            return;
        pending_ += socket_->bytesAvailable();
        if (pending_ > server_.limits_.maxRequestBytes) {
            // Cut off: whatever it is, it is no request this server answers.
            socket_->abort();
            return;
        }
        if (!requestOpen_) {
            requestOpen_ = true;
            timer_.start(server_.limits_.requestTimeout);
        }
    }

    void answered()
    {
        pending_ = 0;
        requestOpen_ = false;
        if (!stream_)
            waitIdle();
    }

    void waitIdle() { timer_.start(server_.limits_.idleTimeout); }

    LimitedTcpServer& server_;
    QTcpSocket* socket_;
    QTimer timer_;
    qint64 pending_ = 0;
    bool requestOpen_ = false;
    bool stream_ = false;
};

LimitedTcpServer::LimitedTcpServer(ConnectionLimits limits, QObject* parent) : QTcpServer(parent), limits_(limits) {}

void LimitedTcpServer::markAsStream(QTcpSocket* socket)
{
    for (QObject* child : socket->children()) {
        if (auto* guard = dynamic_cast<ConnectionGuard*>(child))
            guard->makeStream();
    }
}

void LimitedTcpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (open_ >= limits_.maxConnections) {
        socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        return;
    }
    new ConnectionGuard(*this, socket);
    addPendingConnection(socket);
}
