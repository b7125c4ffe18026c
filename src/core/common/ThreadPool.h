#pragma once
// The background executor: a fixed set of worker threads. The destructor
// finishes every queued task before joining, so no accepted work is lost.

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

private:
    void work();
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tessarin
