#pragma once
// Hands a result to a completion exactly once, whichever path gets there
// first: the engine's normal return or the error caught around it. Later
// attempts are dropped, so a continuation can never run twice.

#include <atomic>
#include <utility>

#include "core/common/Executor.h"

namespace tessarin {

template <class T>
class SingleResume {
public:
    explicit SingleResume(Completion<T> completion) : completion_(std::move(completion)) {}
    SingleResume(const SingleResume&) = delete;
    SingleResume& operator=(const SingleResume&) = delete;

    // True when this call delivered the value; false when one was delivered before.
    bool resume(T value) {
        if (resumed_.exchange(true)) return false;
        Completion<T> completion = std::move(completion_);
        completion(std::move(value));
        return true;
    }
    bool hasResumed() const { return resumed_.load(); }

private:
    std::atomic<bool> resumed_{false};
    Completion<T> completion_;
};

}  // namespace tessarin
