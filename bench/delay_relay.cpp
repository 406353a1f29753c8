#include "bench/delay_relay.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

// A socket descriptor, closed when it goes.
class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void noDelay(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// One direction of a connection: a reader stamps each piece with the time it
// may leave, a writer passes it on then. An empty piece is the end.
class DelayedPipe {
public:
    DelayedPipe(int from, int to, std::chrono::microseconds delay, std::atomic<long>* pieces = nullptr)
        : from_(from), to_(to), delay_(delay), piecesRead_(pieces), reader_([this] { read(); }),
          writer_([this] { write(); })
    {
    }
    ~DelayedPipe()
    {
        reader_.join();
        writer_.join();
    }

private:
    struct Piece {
        Clock::time_point due;
        std::vector<char> bytes;
    };

    void read()
    {
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            const ssize_t n = ::recv(from_, buffer.data(), buffer.size(), 0);
            if (n > 0 && piecesRead_)
                ++*piecesRead_;
            std::lock_guard lock(mutex_);
            pieces_.push_back({Clock::now() + delay_, n > 0 ? std::vector<char>(buffer.begin(), buffer.begin() + n)
                                                            : std::vector<char>()});
            ready_.notify_one();
            if (n <= 0)
                return;
        }
    }

    void write()
    {
        // The default slack of 50 us per sleep would lengthen every delay.
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        for (;;) {
            Piece piece;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return !pieces_.empty(); });
                piece = std::move(pieces_.front());
                pieces_.pop_front();
            }
            // Asleep until shortly before it is due, then awake to the
            // microsecond: a sleep alone wakes a tenth of a millisecond late.
            std::this_thread::sleep_until(piece.due - std::chrono::microseconds(150));
            while (Clock::now() < piece.due)
                std::this_thread::yield();
            if (piece.bytes.empty()) {
                ::shutdown(to_, SHUT_WR);
                return;
            }
            for (std::size_t sent = 0; sent < piece.bytes.size();) {
                const ssize_t n = ::send(to_, piece.bytes.data() + sent, piece.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    ::shutdown(from_, SHUT_RD); // the reader ends too
                    return;
                }
                sent += std::size_t(n);
            }
        }
    }

    int from_;
    int to_;
    std::chrono::microseconds delay_;
    std::atomic<long>* piecesRead_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Piece> pieces_;
    std::thread reader_;
    std::thread writer_;
};

struct Connection {
    Connection(int clientFd, int serverFd, std::chrono::microseconds delay, std::atomic<long>& requests)
        : client(clientFd), server(serverFd), up(clientFd, serverFd, delay, &requests), down(serverFd, clientFd, delay)
    {
    }
    Socket client;
    Socket server;
    DelayedPipe up;
    DelayedPipe down;
};

} // namespace

struct DelayRelay::State {
    Socket listener{::socket(AF_INET, SOCK_STREAM, 0)};
    int port = 0;
    int targetPort = 0;
    std::chrono::microseconds delay{};
    std::atomic<long> requests{0};
    std::mutex mutex;
    std::list<std::unique_ptr<Connection>> connections;
    std::vector<int> openFds;
    std::thread acceptor;

    void accept()
    {
        for (;;) {
            const int client = ::accept(listener.fd(), nullptr, nullptr);
            if (client < 0)
                return; // the listener was shut down
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            const sockaddr_in target = loopback(targetPort);
            if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
                ::close(client);
                if (server >= 0)
                    ::close(server);
                continue;
            }
            noDelay(client);
            noDelay(server);
            std::lock_guard lock(mutex);
            openFds.push_back(client);
            openFds.push_back(server);
            connections.push_back(std::make_unique<Connection>(client, server, delay, requests));
        }
    }
};

DelayRelay::DelayRelay(int targetPort, std::chrono::microseconds delay) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.targetPort = targetPort;
    s.delay = delay;
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (s.listener.fd() < 0 || ::bind(s.listener.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(s.listener.fd(), 16) != 0
        || ::getsockname(s.listener.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the delaying relay cannot listen on 127.0.0.1");
    s.port = ntohs(address.sin_port);
    s.acceptor = std::thread([&s] { s.accept(); });
}

DelayRelay::~DelayRelay()
{
    State& s = *state_;
    ::shutdown(s.listener.fd(), SHUT_RDWR);
    s.acceptor.join();
    std::lock_guard lock(s.mutex);
    for (int fd : s.openFds)
        ::shutdown(fd, SHUT_RDWR);
    s.connections.clear();
}

int DelayRelay::port() const
{
    return state_->port;
}

long DelayRelay::requests() const
{
    return state_->requests.load();
}

} // namespace bench

namespace bench {

double DelayRelay::roundTripMs(std::chrono::microseconds delay)
{
    // An echo server, the relay in front of it, and one byte sent to and
    // fro through both.
    Socket listener(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener.fd() < 0 || ::bind(listener.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener.fd(), 1) != 0
        || ::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("no echo server for the delaying relay");
    std::thread echo([&] {
        Socket peer(::accept(listener.fd(), nullptr, nullptr));
        noDelay(peer.fd());
        char byte;
        while (::recv(peer.fd(), &byte, 1, 0) == 1 && ::send(peer.fd(), &byte, 1, MSG_NOSIGNAL) == 1) {
        }
    });
    constexpr int kTrips = 100;
    double ms = 0;
    {
        const DelayRelay relay(ntohs(address.sin_port), delay);
        Socket client(::socket(AF_INET, SOCK_STREAM, 0));
        const sockaddr_in target = loopback(relay.port());
        bool ok = ::connect(client.fd(), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0;
        noDelay(client.fd());
        std::vector<double> trips;
        char byte = 'x';
        for (int i = 0; ok && i < kTrips; ++i) {
            const auto start = Clock::now();
            ok = ::send(client.fd(), &byte, 1, MSG_NOSIGNAL) == 1 && ::recv(client.fd(), &byte, 1, 0) == 1;
            trips.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        // The median: a moment of a busy machine is no part of the link.
        std::sort(trips.begin(), trips.end());
        ms = trips[trips.size() / 2];
        ::shutdown(client.fd(), SHUT_RDWR);
        if (!ok)
            ms = -1;
    }
    echo.join();
    if (ms < 0)
        throw std::runtime_error("the delaying relay passed no data");
    return ms;
}

} // namespace bench
