#pragma once
// How asynchronous work runs, once for the whole code base.
//
// There are two executors: the main executor, a single thread that owns the
// user interface, flow controllers and stores (the agent's EventLoop now, the
// Qt event loop in the desktop application), and a background executor for
// encoding, decoding, file writes and screen grabs. An asynchronous operation
// is a function that takes a Completion and calls it exactly once, on the main
// executor, with its result (an Expected<T, E> when it can fail). Nothing
// else: no futures, no coroutines, no blocking waits outside runAsyncOnMain.
//
// Lifetimes (see Lifetime.h): a main-thread continuation that touches an
// object is guarded by the object's LifetimeToken; a background half holds
// values only. A service with work in flight is stopped by its shutdown(),
// on the main executor, before the background executor is shut down.

#include <exception>
#include <optional>
#include <string>

#include "core/common/Completion.h"
#include "core/common/UniqueFunction.h"

namespace tessarin {

using Task = UniqueFunction<void()>;

class Executor {
public:
    virtual ~Executor() = default;
    // Thread-safe; the task runs later, never inside post(). An executor
    // that can no longer run tasks destroys them instead, on its own thread.
    virtual void post(Task task) = 0;
};

// An operation started with its completion; it must call it exactly once, on
// the main executor.
template <class T>
using AsyncOperation = UniqueFunction<void(Completion<T>)>;

// What a background half that threw gives its completion.
std::string backgroundFailureReason(std::exception_ptr thrown);

// Runs `work` on `background` and hands its result to `done` on `main`. A
// `work` that throws completes with its result type's interrupted value
// naming what was thrown, so `done` always runs.
template <class T, class Work>
void runInBackground(Executor& background, Executor& main, Work work, Completion<T> done) {
    background.post([&main, work = std::move(work), done = std::move(done)]() mutable {
        std::optional<T> result;
        try {
            result.emplace(work());
        } catch (...) {
            result.emplace(interruptedResult<T>(backgroundFailureReason(std::current_exception())));
        }
        main.post([result = std::move(*result), done = std::move(done)]() mutable { done(std::move(result)); });
    });
}

}  // namespace tessarin
