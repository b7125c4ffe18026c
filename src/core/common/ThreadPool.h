#pragma once
// The background executor: up to a fixed number of worker threads, each
// started the first time a task finds no idle one (a command that never
// works in the background starts none). shutdown() (and the destructor)
// finishes every queued task before joining, so no accepted work is lost;
// a task posted after it is destroyed unrun. A task that throws is logged
// and the worker goes on: tasks report failure in their results, this is
// only the last line.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/common/Executor.h"

namespace tessarin {

class ThreadPool final : public Executor {
public:
    // `onThreadStart` runs first on each worker (the application lowers
    // their priority there, so its interface thread comes first).
    explicit ThreadPool(unsigned threads = 2, std::function<void()> onThreadStart = {});
    ~ThreadPool() override;
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    void post(Task task) override;
    // Runs what is queued, then joins every thread. Idempotent; call it
    // after the services that post here have shut down.
    void shutdown();

    // Threads started so far, and those waiting for work (for tests).
    size_t startedThreads() const;
    size_t idleThreads() const;

private:
    void work();
    void startThread(Task& refused);
    static void runGuarded(Task& task);
    const size_t maxThreads_;
    const std::function<void()> onThreadStart_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> queue_;
    size_t idle_ = 0;
    bool stopping_ = false;
    bool joined_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tessarin
