#pragma once
// A value or an error, for results that cross asynchronous boundaries where
// an exception cannot travel.

#include <utility>
#include <variant>

namespace tessarin {

template <class E>
struct Unexpected {
    E error;
};
template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& e) {
    return {std::forward<E>(e)};
}

template <class T, class E>
class Expected {
public:
    Expected(T initial) : state_(std::in_place_index<0>, std::move(initial)) {}
    template <class G>
    Expected(Unexpected<G> u) : state_(std::in_place_index<1>, E(std::move(u.error))) {}

    bool hasValue() const { return state_.index() == 0; }
    explicit operator bool() const { return hasValue(); }
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    const E& error() const { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

}  // namespace tessarin
