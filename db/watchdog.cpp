#include "db/watchdog.h"

#include <ibase.h>

#include <algorithm>

namespace db::detail {

Watchdog::Watchdog(Cancel cancel) : cancel_(std::move(cancel)) {}

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void Watchdog::setTimeout(std::chrono::milliseconds timeout)
{
    {
        std::lock_guard lock(mutex_);
        timeout_ = timeout;
    }
    if (timeout.count() > 0 && !thread_.joinable())
        thread_ = std::thread([this] { run(); });
    wake_.notify_all();
}

std::chrono::milliseconds Watchdog::timeout() const
{
    std::lock_guard lock(mutex_);
    return timeout_;
}

void Watchdog::begin()
{
    std::lock_guard lock(mutex_);
    if (depth_++ > 0)
        return;
    ++call_;
    deadline_ = std::chrono::steady_clock::now() + timeout_;
    if (timeout_.count() > 0)
        wake_.notify_all();
}

void Watchdog::end() noexcept
{
    {
        std::lock_guard lock(mutex_);
        if (depth_ > 0)
            --depth_;
    }
    wake_.notify_all();
}

void Watchdog::run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (depth_ == 0 || timeout_.count() <= 0) {
            wake_.wait(lock);
            continue;
        }
        const std::uint64_t call = call_;
        if (wake_.wait_until(lock, deadline_, [&] { return stop_ || depth_ == 0 || call_ != call; }))
            continue;
        // Past its time: ask the server to cancel the call, then, if the
        // call still runs after a grace period, close the attachment.
        for (int option : {fb_cancel_raise, fb_cancel_abort}) {
            lock.unlock();
            try {
                cancel_(option);
            } catch (...) {
                // A cancel that fails leaves the next step to end the call.
            }
            lock.lock();
            const auto grace = std::min<std::chrono::milliseconds>(timeout_, std::chrono::seconds(2));
            if (wake_.wait_for(lock, grace, [&] { return stop_ || depth_ == 0 || call_ != call; }))
                break;
        }
        // Whatever happened, wait for this call to end before the next one.
        wake_.wait(lock, [&] { return stop_ || depth_ == 0 || call_ != call; });
    }
}

} // namespace db::detail
