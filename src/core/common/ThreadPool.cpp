#include "core/common/ThreadPool.h"

#include <algorithm>
#include <system_error>

#include "core/common/Log.h"

namespace tessarin {

ThreadPool::ThreadPool(unsigned threads, std::function<void()> onThreadStart)
    : maxThreads_(std::max(threads, 1u)), onThreadStart_(std::move(onThreadStart)) {
    threads_.reserve(maxThreads_);
}

ThreadPool::~ThreadPool() { shutdown(); }

void ThreadPool::shutdown() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    // A task still running may post more work; the threads drain it all.
    for (;;) {
        std::thread thread;
        {
            std::lock_guard lock(mutex_);
            if (threads_.empty()) break;
            thread = std::move(threads_.back());
            threads_.pop_back();
        }
        thread.join();
    }
    std::lock_guard lock(mutex_);
    joined_ = true;
}

void ThreadPool::post(Task task) {
    Task refused;  // destroyed unrun after the lock is released (its completion says "cancelled")
    {
        std::unique_lock lock(mutex_);
        if (joined_) {
            refused = std::move(task);  // shut down
        } else {
            queue_.push_back(std::move(task));
            if (queue_.size() > idle_ && threads_.size() < maxThreads_ && !stopping_) startThread(refused);
        }
    }
    wake_.notify_one();
}

// Under the lock. The threads already running take the task; with none, no
// background work can run, and the task is refused rather than kept forever.
void ThreadPool::startThread(Task& refused) {
    try {
        threads_.emplace_back([this] { work(); });
    } catch (const std::system_error& error) {
        if (!threads_.empty()) return;
        logLine(LogLevel::error, LogCategory::capture,
                std::string("background.thread could not start: ") + error.what());
        refused = std::move(queue_.back());
        queue_.pop_back();
    }
}

size_t ThreadPool::startedThreads() const {
    std::lock_guard lock(mutex_);
    return threads_.size();
}

size_t ThreadPool::idleThreads() const {
    std::lock_guard lock(mutex_);
    return idle_;
}

void ThreadPool::work() {
    if (onThreadStart_) onThreadStart_();
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            ++idle_;
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            --idle_;
            if (queue_.empty()) return;  // stopping and drained
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        runGuarded(task);
    }
}

void ThreadPool::runGuarded(Task& task) {
    try {
        task();
    } catch (...) {
        logLine(LogLevel::error, LogCategory::capture,
                "background.task threw: " + backgroundFailureReason(std::current_exception()));
    }
}

}  // namespace tessarin
