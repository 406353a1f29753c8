#include "host/serve_command.h"

#include "core/command_error.h"
#include "web/results_server.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QSocketNotifier>

#include <csignal>
#include <iostream>
#include <memory>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr quint16 kDefaultPort = 8080;

// Ctrl+C and SIGTERM end the event loop, read from a signal descriptor.
// The two signals are blocked before the client library starts its
// threads, which inherit the mask: its own handlers, which would shut the
// engine down while the server still detaches (and hang the detach), then
// never run.
class StopOnSignals {
public:
    StopOnSignals()
    {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        if (::pthread_sigmask(SIG_BLOCK, &signals_, &old_) != 0)
            throw CommandError("cannot watch for Ctrl+C");
        fd_ = ::signalfd(-1, &signals_, SFD_CLOEXEC | SFD_NONBLOCK);
        if (fd_ < 0)
            throw CommandError("cannot watch for Ctrl+C");
        // A client gone in the middle of an answer is no reason to end.
        ::signal(SIGPIPE, SIG_IGN);
    }
    ~StopOnSignals()
    {
        notifier_.reset();
        ::close(fd_);
        ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    // Quits the application's loop on the first of the signals.
    void quitOnSignal()
    {
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            signalfd_siginfo info{};
            [[maybe_unused]] const auto got = ::read(fd_, &info, sizeof info);
            QCoreApplication::quit();
        });
    }

private:
    sigset_t signals_{};
    sigset_t old_{};
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

quint16 portArgument(const Invocation& in)
{
    const auto text = in.value("--port");
    if (!text)
        return kDefaultPort;
    bool ok = false;
    const uint port = QString::fromStdString(*text).toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        throw UsageError("--port takes a number from 1 to 65535, not \"" + *text + "\"");
    return quint16(port);
}

QHostAddress listenArgument(const Invocation& in)
{
    const auto text = in.value("--listen");
    if (!text)
        return QHostAddress::Any;
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(*text)))
        throw UsageError("--listen takes an address of this machine such as 127.0.0.1 or 0.0.0.0, not \"" + *text
                         + "\"");
    return address;
}

// The addresses a phone in the hall opens: this machine's own on each
// network when listening on all of them.
QStringList addressesToOpen(const QHostAddress& listening, quint16 port)
{
    QList<QHostAddress> hosts;
    if (listening == QHostAddress::Any || listening == QHostAddress::AnyIPv4 || listening == QHostAddress::AnyIPv6) {
        for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
            if (!a.isLoopback() && a.protocol() == QAbstractSocket::IPv4Protocol)
                hosts << a;
        }
        hosts << QHostAddress(QHostAddress::LocalHost);
    } else {
        hosts << listening;
    }
    QStringList urls;
    for (const QHostAddress& a : hosts) {
        const QString host = a.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + a.toString() + u']' : a.toString();
        urls << QStringLiteral("http://%1:%2/").arg(host).arg(port);
    }
    return urls;
}

} // namespace

int runServeCommand(const Invocation& in)
{
    const quint16 port = portArgument(in);
    const QHostAddress address = listenArgument(in);
    StopOnSignals stopper;
    QCoreApplication app(*in.argc, in.argv);
    ResultsServer server(in.login);
    stopper.quitOnSignal();
    if (server.listenOn(address, port) == 0)
        throw CommandError("cannot listen on " + address.toString().toStdString() + " port " + std::to_string(port)
                           + " (in use by another program?)");
    std::cout << "serving the results of " << in.login.database << "; open on a phone or in a browser:\n";
    for (const QString& url : addressesToOpen(address, server.port()))
        std::cout << "  " << url.toStdString() << "    (hall screen: " << url.toStdString() << "hall)\n";
    std::cout << "Ctrl+C ends." << std::endl;
    app.exec();
    std::cout << "stopped" << std::endl;
    return 0;
}
