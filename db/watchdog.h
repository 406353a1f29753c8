#pragma once
// Inside the dataset layer only: bounds how long one call on an attachment
// may take. When a call runs past its time the watchdog asks the server to
// cancel it; when the server does not answer that either (stopped, network
// gone), it closes the attachment on the client side, so the call returns
// with a lost connection instead of waiting for ever.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace db::detail {

class Watchdog {
public:
    // How to cancel: fb_cancel_raise, then fb_cancel_abort.
    using Cancel = std::function<void(int option)>;
    explicit Watchdog(Cancel cancel);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Zero: no bound (the thread is not started).
    void setTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds timeout() const;

    // The calling thread starts and ends one call; nested calls count once.
    void begin();
    void end() noexcept;

private:
    void run();

    Cancel cancel_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    std::chrono::milliseconds timeout_{0};
    bool stop_ = false;
    int depth_ = 0;
    std::uint64_t call_ = 0;   // counts calls, so a late wake-up sees a new one
    std::chrono::steady_clock::time_point deadline_;
};

} // namespace db::detail
