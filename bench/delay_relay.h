#pragma once
// A TCP relay on 127.0.0.1 that holds every piece of data for a fixed delay
// before passing it on, in both directions: a link with twice the delay as
// round-trip time, for a machine where tc netem is not at hand. Pieces in
// flight overlap, as packets on a delayed link do. It counts what the
// clients send, so that a benchmark can tell requests from their delay.

#include <chrono>
#include <memory>

namespace bench {

class DelayRelay {
public:
    // Listens on a free port of 127.0.0.1 and relays to 127.0.0.1:targetPort.
    DelayRelay(int targetPort, std::chrono::microseconds delay);
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    int port() const;

    // How many pieces of data the clients have sent towards the server
    // since the relay started: one per write of a client that waits for the
    // answer, so the requests of a request-answer protocol.
    long requests() const;

    // The median round-trip time of one byte through a relay of that delay,
    // in ms: twice the delay and what the relay's own passing adds.
    static double roundTripMs(std::chrono::microseconds delay);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace bench
