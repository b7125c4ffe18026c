#pragma once
// The agent's main executor: a queue of tasks serviced on the thread that
// calls runUntil(). It is what runAsyncOnMain pumps. Tasks still queued when
// it is destroyed are destroyed unrun (their completions say "cancelled"):
// drain() it before the objects those tasks belong to go.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "core/common/Executor.h"

namespace tessarin {

class EventLoop final : public Executor {
public:
    void post(Task task) override;
    // Runs queued tasks, waiting for new ones, until done() is true after a task.
    template <class Predicate>
    void runUntil(Predicate done) {
        while (!done()) runOne();
    }
    // Runs every task that is queued now, without waiting. Returns how many ran.
    size_t drain();

private:
    void runOne();
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> queue_;
};

// A result cell filled by an asynchronous operation and read by the waiting
// synchronous caller.
template <class T>
struct ResultBox {
    std::optional<T> value;
};

// Starts `operation` on the loop and services the loop until it completes,
// then returns its result. Operations report failure inside T; one that
// drops its completion ends the wait with T's cancelled value.
template <class T>
T runAsyncOnMain(EventLoop& loop, AsyncOperation<T> operation) {
    ResultBox<T> box;
    loop.post([&box, operation = std::move(operation)]() mutable {
        operation([&box](T result) { box.value.emplace(std::move(result)); });
    });
    loop.runUntil([&box] { return box.value.has_value(); });
    return std::move(*box.value);
}

}  // namespace tessarin
