#pragma once
// The continuation of an asynchronous operation. It is called exactly once:
// a second call is a programming error and stops the program, and a
// completion destroyed without having been called delivers its result
// type's "interrupted" value (reason kCancelled), so whoever waits on it
// (runAsyncOnMain, a flow) always hears back.
//
// Every result type that travels through a completion says what an
// interrupted operation gives: Expected<V, E> asks E::interrupted(reason),
// std::optional gives nothing, bool gives false, a pointer gives null. Other
// types specialise InterruptedResult.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/common/Check.h"
#include "core/common/Expected.h"
#include "core/common/UniqueFunction.h"

namespace tessarin {

// Why an operation ended without its result.
inline constexpr std::string_view kCancelled = "the operation was cancelled";

template <class T>
struct InterruptedResult;  // deliberately undefined: a result type must say

template <>
struct InterruptedResult<bool> {
    static bool make(std::string_view) { return false; }
};
template <class T>
struct InterruptedResult<std::optional<T>> {
    static std::optional<T> make(std::string_view) { return std::nullopt; }
};
template <class T>
struct InterruptedResult<std::unique_ptr<T>> {
    static std::unique_ptr<T> make(std::string_view) { return nullptr; }
};
template <class T>
struct InterruptedResult<std::shared_ptr<T>> {
    static std::shared_ptr<T> make(std::string_view) { return nullptr; }
};
template <class V, class E>
struct InterruptedResult<Expected<V, E>> {
    static Expected<V, E> make(std::string_view reason) { return unexpected(E::interrupted(std::string(reason))); }
};

template <class T>
T interruptedResult(std::string_view reason) {
    return InterruptedResult<T>::make(reason);
}

template <class T>
class Completion {
public:
    Completion() = default;
    Completion(std::nullptr_t) {}
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Completion> &&
                                                std::is_invocable_v<F&, T>>>
    Completion(F&& f) : call_(std::forward<F>(f)) {}

    Completion(Completion&& other) noexcept : call_(std::move(other.call_)) { other.call_ = nullptr; }
    Completion& operator=(Completion&& other) noexcept {
        if (this != &other) {
            cancel();
            call_ = std::move(other.call_);
            other.call_ = nullptr;
        }
        return *this;
    }
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;
    ~Completion() { cancel(); }

    explicit operator bool() const { return static_cast<bool>(call_); }

    // Delivers the result; the completion is spent afterwards. Const so a
    // completion captured by a non-mutable lambda can be called; being
    // called at all is the one change it allows.
    void operator()(T result) const {
        TESSARIN_CHECK(call_, "a completion was called twice, or after it was moved from");
        UniqueFunction<void(T)> call = std::move(call_);
        call_ = nullptr;
        call(std::move(result));
    }

private:
    void cancel() noexcept {
        if (!call_) return;
        UniqueFunction<void(T)> call = std::move(call_);
        call_ = nullptr;
        call(interruptedResult<T>(kCancelled));
    }

    mutable UniqueFunction<void(T)> call_;
};

}  // namespace tessarin
