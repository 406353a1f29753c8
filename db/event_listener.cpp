#include "db/event_listener.h"

#include "db/connection.h"
#include "db/fb_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace db {

using namespace Firebird;

namespace {

constexpr char kEpbVersion1 = 1;
// How long the constructor waits for the server's first delivery.
constexpr auto kBaselineWait = std::chrono::seconds(10);

// An event parameter block asking for the named events, all counts 0.
std::string eventBlock(const std::vector<std::string>& names)
{
    std::string block(1, kEpbVersion1);
    for (const std::string& name : names) {
        block += static_cast<char>(static_cast<unsigned char>(name.size()));
        block += name;
        block.append(4, '\0');
    }
    return block;
}

// The counts of an event parameter block, in the order of its names.
std::vector<unsigned> eventCounts(const std::string& block)
{
    std::vector<unsigned> counts;
    std::size_t i = 1;
    while (i < block.size()) {
        i += 1 + static_cast<unsigned char>(block[i]);
        if (i + 4 > block.size())
            break;
        unsigned n = 0;
        for (int b = 3; b >= 0; --b)
            n = (n << 8) | static_cast<unsigned char>(block[i + static_cast<std::size_t>(b)]);
        counts.push_back(n);
        i += 4;
    }
    return counts;
}

} // namespace

// What the owner, the listener's thread and the client's callback share.
struct EventListener::State {
    Callback callback;

    // The deliveries the client has handed over, not yet taken. Guarded by
    // inboxMutex, which is never held across a call into the client, so
    // the client's thread never waits for one.
    std::mutex inboxMutex;
    std::condition_variable wake;
    std::deque<std::string> deliveries;
    bool baselineTaken = false;
    std::atomic<bool> stopping{false};

    // The handles and the counts last seen, guarded by handleMutex.
    mutable std::mutex handleMutex;
    fb::Ref<IAttachment> attachment;
    fb::Ref<IEventCallback> clientCallback;
    fb::Ref<IEvents> events;
    std::string request;
    bool firstDelivery = true;
    bool listening = false;

    std::thread thread;

    // On the client's thread.
    void deliver(std::string block)
    {
        {
            std::lock_guard lock(inboxMutex);
            deliveries.push_back(std::move(block));
        }
        wake.notify_all();
    }

    // Under handleMutex: asks the server for the next delivery, from the
    // counts last seen.
    void queue()
    {
        events.reset(fb::call([&](ThrowStatusWrapper* st) {
            return attachment->queEvents(st, clientCallback.get(), static_cast<unsigned>(request.size()),
                                         reinterpret_cast<const unsigned char*>(request.data()));
        }));
        listening = true;
    }

    // The one place a delivery becomes counts: the spent wait is released,
    // a new one queued, and the posts since the counts last seen returned.
    // The first delivery tells the counts as they stand: the baseline, no
    // posts. An empty block (the client's word that the attachment has
    // closed) ends the waiting.
    std::vector<unsigned> take(const std::string& block)
    {
        std::lock_guard lock(handleMutex);
        events.reset();
        const std::vector<unsigned> before = eventCounts(request);
        const std::vector<unsigned> now = eventCounts(block);
        std::vector<unsigned> posted;
        listening = false;
        if (now.empty() || now.size() != before.size() || block.size() != request.size())
            return posted;
        request = block;
        if (!firstDelivery) {
            posted.resize(now.size());
            for (std::size_t i = 0; i < now.size(); ++i)
                posted[i] = now[i] > before[i] ? now[i] - before[i] : 0;
        }
        firstDelivery = false;
        if (!stopping) {
            try {
                queue();
            } catch (const DbError&) {
                // The attachment has gone: there is nothing left to wait on.
            }
        }
        return posted;
    }

    // The listener's thread.
    void run()
    {
        std::unique_lock inbox(inboxMutex);
        for (;;) {
            wake.wait(inbox, [&] { return stopping || !deliveries.empty(); });
            if (stopping)
                return;
            const std::string block = std::move(deliveries.front());
            deliveries.pop_front();
            inbox.unlock();
            try {
                const std::vector<unsigned> posted = take(block);
                if (std::any_of(posted.begin(), posted.end(), [](unsigned n) { return n > 0; }))
                    callback(posted);
            } catch (...) {
                // The owner's callback failed; the listener keeps waiting.
            }
            inbox.lock();
            baselineTaken = true;
            wake.notify_all();
        }
    }
};

namespace {

// Called by the client library on its own thread. Holds the state weakly:
// a delivery under way when the listener goes finds nothing to hand to.
class ClientCallback : public IEventCallbackImpl<ClientCallback, CheckStatusWrapper> {
public:
    explicit ClientCallback(std::weak_ptr<EventListener::State> state) : state_(std::move(state)) {}

    void addRef() override { ++refs_; }
    int release() override
    {
        const int left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    void eventCallbackFunction(unsigned length, const unsigned char* events) override
    {
        // Nothing may leave this call: an exception on the client's thread
        // ends the process.
        try {
            if (std::shared_ptr<EventListener::State> state = state_.lock())
                state->deliver(events ? std::string(reinterpret_cast<const char*>(events), length) : std::string());
        } catch (...) {
        }
    }

private:
    std::weak_ptr<EventListener::State> state_;
    std::atomic<int> refs_{1};
};

} // namespace

EventListener::EventListener(Connection& connection, std::vector<std::string> names, Callback callback)
    : state_(std::make_shared<State>())
{
    if (!connection.connected() || connection.lost())
        throw UsageError("EventListener needs a connected connection");
    if (names.empty())
        throw UsageError("EventListener needs an event name");
    for (const std::string& name : names)
        if (name.empty() || name.size() > 255)
            throw UsageError("event name \"" + name + "\" is empty or longer than 255 bytes");

    State& s = *state_;
    s.callback = std::move(callback);
    s.request = eventBlock(names);
    IAttachment* attachment = connection.attachment();
    attachment->addRef();
    s.attachment.reset(attachment);
    s.clientCallback.reset(new ClientCallback(state_));
    {
        std::lock_guard lock(s.handleMutex);
        s.queue();
    }
    try {
        s.thread = std::thread([state = state_] { state->run(); });
    } catch (...) {
        stop();
        throw;
    }
    std::unique_lock inbox(s.inboxMutex);
    s.wake.wait_for(inbox, kBaselineWait, [&] { return s.baselineTaken; });
}

EventListener::~EventListener()
{
    stop();
}

void EventListener::stop() noexcept
{
    State& s = *state_;
    {
        std::lock_guard inbox(s.inboxMutex);
        if (s.stopping)
            return;
        s.stopping = true;
    }
    s.wake.notify_all();
    {
        std::lock_guard lock(s.handleMutex);
        if (s.events) {
            try {
                fb::call([&](ThrowStatusWrapper* st) { s.events->cancel(st); });
            } catch (...) {
                // The wait has fired already, or the attachment is gone.
            }
            s.events.reset();
        }
        s.listening = false;
    }
    if (s.thread.joinable()) {
        if (s.thread.get_id() == std::this_thread::get_id())
            s.thread.detach();
        else
            s.thread.join();
    }
    std::lock_guard lock(s.handleMutex);
    s.clientCallback.reset();
    s.attachment.reset();
}

bool EventListener::listening() const
{
    std::lock_guard lock(state_->handleMutex);
    return state_->listening;
}

} // namespace db
