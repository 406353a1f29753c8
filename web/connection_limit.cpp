#include "web/connection_limit.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <utility>

// Lives as the socket's child: counts the connection while it exists, and
// watches the bytes of each request and the time it takes. It may outlive
// the server (the sockets are the server's children, deleted once the
// server is no longer one), so it keeps the count and the limits itself.
class ConnectionGuard : public QObject {
public:
    ConnectionGuard(std::shared_ptr<int> open, const ConnectionLimits& limits, QTcpSocket* socket)
        : QObject(socket), open_(std::move(open)), limits_(limits), socket_(socket)
    {
        ++*open_;
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { socket_->abort(); });
        // Connected before the HTTP server's own slot: the bytes are counted
        // before they are parsed.
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this] { received(); });
        QObject::connect(socket, &QTcpSocket::bytesWritten, this, [this] { answered(); });
        waitIdle();
    }
    ~ConnectionGuard() override { --*open_; }

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
        if (pending_ > limits_.maxRequestBytes) {
            // Cut off: whatever it is, it is no request this server answers.
            socket_->abort();
            return;
        }
        if (!requestOpen_) {
            requestOpen_ = true;
            timer_.start(limits_.requestTimeout);
        }
    }

    void answered()
    {
        pending_ = 0;
        requestOpen_ = false;
        if (!stream_)
            waitIdle();
    }

    void waitIdle() { timer_.start(limits_.idleTimeout); }

    std::shared_ptr<int> open_;
    const ConnectionLimits limits_;
    QTcpSocket* socket_;
    QTimer timer_;
    qint64 pending_ = 0;
    bool requestOpen_ = false;
    bool stream_ = false;
};

LimitedTcpServer::LimitedTcpServer(ConnectionLimits limits, QObject* parent)
    : QTcpServer(parent), limits_(limits), open_(std::make_shared<int>(0))
{
}

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
    if (*open_ >= limits_.maxConnections) {
        socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        return;
    }
    new ConnectionGuard(open_, limits_, socket);
    addPendingConnection(socket);
}
