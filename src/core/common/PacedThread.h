#pragma once
// A worker thread that works in rounds and sleeps between them, woken at
// once when it is asked to stop: the frame loops of the recording sources.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tessarin {

class PacedThread {
public:
    PacedThread() = default;
    PacedThread(const PacedThread&) = delete;
    PacedThread& operator=(const PacedThread&) = delete;
    ~PacedThread() { stop(); }

    bool running() const { return thread_.joinable(); }

    // Runs `body` on a new thread; does nothing while one runs.
    void start(std::function<void()> body) {
        if (running()) return;
        {
            const std::lock_guard guard(lock_);
            stopping_ = false;
        }
        thread_ = std::thread(std::move(body));
    }

    // Asks the body to end, wakes it and waits for it.
    void stop() {
        {
            const std::lock_guard guard(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    // For the body: sleeps until `until` or stop(); true when stopping.
    bool waitUntil(std::chrono::steady_clock::time_point until) {
        std::unique_lock guard(lock_);
        return wake_.wait_until(guard, until, [this] { return stopping_; });
    }

private:
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tessarin
