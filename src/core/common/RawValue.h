#pragma once
// Enumerations persisted as text. Each one specialises RawValues<E> with its
// table of (case, text); reading needs an exact, case-sensitive match so a
// value that reads back always writes back the same.

#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace tessarin {

template <class E>
struct RawValues;  // static constexpr std::array<std::pair<E, std::string_view>, N> table;

template <class E>
constexpr std::string_view rawValue(E value) {
    for (const auto& [known, text] : RawValues<E>::table) {
        if (known == value) return text;
    }
    return {};
}

template <class E>
constexpr std::optional<E> fromRawValue(std::string_view text) {
    for (const auto& [known, knownText] : RawValues<E>::table) {
        if (knownText == text) return known;
    }
    return std::nullopt;
}

}  // namespace tessarin
