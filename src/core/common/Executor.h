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

#include "core/common/UniqueFunction.h"

namespace tessarin {

using Task = UniqueFunction<void()>;

class Executor {
public:
    virtual ~Executor() = default;
    // Thread-safe; the task runs later, never inside post().
    virtual void post(Task task) = 0;
};

template <class T>
using Completion = UniqueFunction<void(T)>;

// An operation started with its completion; it must call it exactly once, on
// the main executor.
template <class T>
using AsyncOperation = UniqueFunction<void(Completion<T>)>;

// Runs `work` on `background` and hands its result to `done` on `main`.
template <class T, class Work>
void runInBackground(Executor& background, Executor& main, Work work, Completion<T> done) {
    background.post([&main, work = std::move(work), done = std::move(done)]() mutable {
        T result = work();
        main.post([result = std::move(result), done = std::move(done)]() mutable { done(std::move(result)); });
    });
}

}  // namespace tessarin
