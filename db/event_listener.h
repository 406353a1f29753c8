#pragma once
// Waits for events that committed transactions post (POST_EVENT in a trigger
// or procedure) without polling: the wait is queued on the server, and the
// listener hears of each delivery.
//
// Thread rules:
// - Construct, stop() and destroy the listener on one thread, the one that
//   owns the connection. The connection may disconnect before the listener
//   goes; the listener keeps its own reference to the attachment and then
//   simply stops hearing anything.
// - The client library calls back on a thread of its own. That call only
//   hands the counts over and never lets an exception out (one would end the
//   process).
// - The callback given here runs on the listener's own thread: never on the
//   client's, never on the owner's. It must not use the connection. An
//   exception it throws is caught and dropped; the listener keeps waiting.
// - After stop() returns, the callback is not running and is not called again.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace db {

class Connection;

class EventListener {
public:
    // For each name, in the order given, how often it was posted since the
    // last call. Called only when some count is above zero.
    using Callback = std::function<void(const std::vector<unsigned>& posted)>;

    // Queues the wait on the connection's attachment and takes the server's
    // first delivery, the counts as they stand, as the baseline: an event
    // posted after the constructor returns reaches the callback. UsageError
    // when the connection is not connected or a name is empty or longer than
    // 255 bytes; DbError when the server refuses the wait.
    EventListener(Connection& connection, std::vector<std::string> names, Callback callback);
    // stop().
    ~EventListener();
    EventListener(const EventListener&) = delete;
    EventListener& operator=(const EventListener&) = delete;

    // Cancels the wait and ends the listener's thread. Never throws; a second
    // call does nothing.
    void stop() noexcept;
    // Still waiting: false after stop(), or once a delivery found that the
    // wait cannot be queued again (the attachment has gone).
    bool listening() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace db
