#pragma once
// An executor whose tasks run only when the test says so, on the test's
// thread: interleavings become explicit steps.

#include <deque>

#include "core/common/Executor.h"

namespace tessarin::testing {

class ManualExecutor final : public Executor {
public:
    void post(Task task) override { queue_.push_back(std::move(task)); }
    // Runs the oldest task; false when there was none.
    bool runOne() {
        if (queue_.empty()) return false;
        Task task = std::move(queue_.front());
        queue_.pop_front();
        task();
        return true;
    }
    // Runs tasks, those they post included, until none is left.
    size_t runAll() {
        size_t ran = 0;
        while (runOne()) ++ran;
        return ran;
    }
    size_t pending() const { return queue_.size(); }

private:
    std::deque<Task> queue_;
};

}  // namespace tessarin::testing
