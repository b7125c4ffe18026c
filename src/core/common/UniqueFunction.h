#pragma once
// A move-only std::function, so tasks can own move-only values such as Image.

#include <memory>
#include <type_traits>
#include <utility>

namespace tessarin {

template <class Signature>
class UniqueFunction;

template <class R, class... Args>
class UniqueFunction<R(Args...)> {
public:
    UniqueFunction() = default;
    UniqueFunction(std::nullptr_t) {}
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, UniqueFunction> &&
                                                std::is_invocable_r_v<R, F&, Args...>>>
    UniqueFunction(F&& f) : callable_(std::make_unique<Model<std::decay_t<F>>>(std::forward<F>(f))) {}

    UniqueFunction(UniqueFunction&&) noexcept = default;
    UniqueFunction& operator=(UniqueFunction&&) noexcept = default;

    explicit operator bool() const { return callable_ != nullptr; }
    R operator()(Args... args) const { return callable_->call(std::forward<Args>(args)...); }

private:
    struct Concept {
        virtual ~Concept() = default;
        virtual R call(Args... args) = 0;
    };
    template <class F>
    struct Model final : Concept {
        explicit Model(F f) : fn(std::move(f)) {}
        R call(Args... args) override { return fn(std::forward<Args>(args)...); }
        F fn;
    };
    std::unique_ptr<Concept> callable_;
};

}  // namespace tessarin
