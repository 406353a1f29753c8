#include "results/points_events.h"

#include "db/connection.h"
#include "core/command_error.h"
#include "results/results_schema.h"

#include <firebird/Interface.h>

#include <QMetaObject>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr unsigned char kEpbVersion1 = 1;

std::string statusText(Firebird::IStatus* status)
{
    char buffer[1024] = {};
    Firebird::IUtil* util = Firebird::fb_get_master_interface()->getUtilInterface();
    util->formatStatus(buffer, sizeof buffer - 1, status);
    return buffer;
}

} // namespace

QByteArray eventBlock(const std::vector<std::string>& names)
{
    QByteArray block(1, char(kEpbVersion1));
    for (const std::string& name : names) {
        block.append(char(static_cast<unsigned char>(name.size())));
        block.append(name.data(), qsizetype(name.size()));
        block.append(4, '\0');
    }
    return block;
}

std::vector<unsigned> eventCounts(const QByteArray& block)
{
    std::vector<unsigned> counts;
    qsizetype i = 1;
    while (i < block.size()) {
        const auto length = static_cast<unsigned char>(block[i]);
        i += 1 + length;
        if (i + 4 > block.size())
            break;
        unsigned n = 0;
        for (int b = 3; b >= 0; --b)
            n = (n << 8) | static_cast<unsigned char>(block[i + b]);
        counts.push_back(n);
        i += 4;
    }
    return counts;
}

// What the callback and the listener share: the callback may outlive the
// listener by a delivery that is under way when the listener goes.
struct PointsSavedListener::Shared {
    std::mutex mutex;
    PointsSavedListener* owner = nullptr;
};

class PointsSavedListener::Callback
    : public Firebird::IEventCallbackImpl<Callback, Firebird::CheckStatusWrapper> {
public:
    explicit Callback(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    void addRef() override { ++refs_; }
    int release() override
    {
        const int left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    // On the client library's thread: hand the counts to the listener's thread.
    void eventCallbackFunction(unsigned length, const unsigned char* events) override
    {
        const QByteArray counts(reinterpret_cast<const char*>(events), qsizetype(length));
        std::lock_guard lock(shared_->mutex);
        if (PointsSavedListener* owner = shared_->owner)
            QMetaObject::invokeMethod(owner, [owner, counts] { owner->delivered(counts); }, Qt::QueuedConnection);
    }

private:
    std::shared_ptr<Shared> shared_;
    std::atomic<int> refs_{1};
};

PointsSavedListener::PointsSavedListener(db::Connection& connection, QObject* parent)
    : QObject(parent), connection_(connection), shared_(std::make_shared<Shared>())
{
    shared_->owner = this;
    callback_ = new Callback(shared_);
    request_ = eventBlock({kPointsSavedEvent});
    try {
        queue();
    } catch (...) {
        callback_->release();
        throw;
    }
}

PointsSavedListener::~PointsSavedListener()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->owner = nullptr;
    }
    if (events_) {
        Firebird::IStatus* st = Firebird::fb_get_master_interface()->getStatus();
        Firebird::CheckStatusWrapper status(st);
        events_->cancel(&status);   // fails harmlessly when the wait has already fired
        events_->release();
        st->dispose();
    }
    callback_->release();
}

void PointsSavedListener::queue()
{
    Firebird::IAttachment* attachment = connection_.attachment();
    if (!attachment)
        throw CommandError("cannot wait for saved points: the database is not connected");
    Firebird::IStatus* st = Firebird::fb_get_master_interface()->getStatus();
    Firebird::CheckStatusWrapper status(st);
    Firebird::IEvents* events = attachment->queEvents(&status, callback_, unsigned(request_.size()),
                                                      reinterpret_cast<const unsigned char*>(request_.constData()));
    const bool failed = status.getState() & Firebird::IStatus::STATE_ERRORS;
    const std::string message = failed ? statusText(&status) : std::string();
    st->dispose();
    if (failed)
        throw CommandError("cannot wait for saved points: " + oneLine(message));
    events_ = events;
}

void PointsSavedListener::delivered(const QByteArray& counts)
{
    // The wait that delivered is spent: release it, compare, wait again
    // from the counts just seen, so only a later save calls back.
    if (events_) {
        events_->release();
        events_ = nullptr;
    }
    const std::vector<unsigned> before = eventCounts(request_);
    const std::vector<unsigned> now = eventCounts(counts);
    if (!now.empty() && counts.size() == request_.size())
        request_ = counts;
    const bool changed = !before.empty() && !now.empty() && now[0] != before[0];
    try {
        queue();
    } catch (const CommandError&) {
        // The attachment has gone; there is nothing left to wait on.
    }
    // The first delivery may tell the count as it stands rather than a
    // save; one refresh too many does no harm.
    if (changed) {
        ++saves_;
        emit pointsSaved();
    }
}
