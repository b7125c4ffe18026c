#pragma once
// The background executor: up to a fixed number of worker threads, each
// started the first time a task finds no idle one (a command that never
// works in the background starts none). The destructor finishes every
// queued task before joining, so no accepted work is lost.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "core/common/Executor.h"

namespace tessarin {

class ThreadPool final : public Executor {
public:
    explicit ThreadPool(unsigned threads = 2);
    ~ThreadPool() override;
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    void post(Task task) override;

    // Threads started so far, and those waiting for work (for tests).
    size_t startedThreads() const;
    size_t idleThreads() const;

private:
    void work();
    const size_t maxThreads_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> queue_;
    size_t idle_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tessarin
