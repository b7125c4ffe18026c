#pragma once
// The enumerated preference values and their persisted raw values.

#include <array>
#include <string_view>
#include <utility>

#include "core/common/RawValue.h"

namespace tessarin {

// Persisted as raw values; append only.
enum class ImageFormatPreference { png = 0, jpeg = 1 };

// Persisted as raw values; append only.
enum class QuickAccessPosition { bottomRight = 0, bottomLeft = 1 };

template <>
struct RawValues<ImageFormatPreference> {
    static constexpr std::array<std::pair<ImageFormatPreference, std::string_view>, 2> table{{
        {ImageFormatPreference::png, "png"},
        {ImageFormatPreference::jpeg, "jpeg"},
    }};
};

template <>
struct RawValues<QuickAccessPosition> {
    static constexpr std::array<std::pair<QuickAccessPosition, std::string_view>, 2> table{{
        {QuickAccessPosition::bottomRight, "bottomRight"},
        {QuickAccessPosition::bottomLeft, "bottomLeft"},
    }};
};

}  // namespace tessarin
