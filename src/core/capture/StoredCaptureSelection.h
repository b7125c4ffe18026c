#pragma once
// The remembered "previous area", shared by the desktop application and the
// agent through the preferences. Stored display-local (bottom-left origin,
// points) so it survives the display being moved in the layout.
//
// Stored form, one key naming the case:
//   {"area":{"localX":..,"localY":..,"width":..,"height":..,"screenID":..}}
//   {"fullscreen":{"screenID":..}}

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include <nlohmann/json_fwd.hpp>

#include "core/common/Expected.h"

namespace tessarin {

struct StoredCaptureSelection {
    struct Area {
        double localX = 0;
        double localY = 0;
        double width = 0;
        double height = 0;
        uint32_t screenID = 0;
        friend bool operator==(const Area&, const Area&) = default;
    };
    struct Fullscreen {
        uint32_t screenID = 0;
        friend bool operator==(const Fullscreen&, const Fullscreen&) = default;
    };

    std::variant<Area, Fullscreen> value;

    static StoredCaptureSelection area(double localX, double localY, double width, double height, uint32_t screenID) {
        return {Area{localX, localY, width, height, screenID}};
    }
    static StoredCaptureSelection fullscreen(uint32_t screenID) { return {Fullscreen{screenID}}; }

    const Area* asArea() const { return std::get_if<Area>(&value); }
    const Fullscreen* asFullscreen() const { return std::get_if<Fullscreen>(&value); }
    uint32_t screenID() const;

    nlohmann::json toJson() const;
    // The error text says why the value cannot be read (for logs); callers
    // treat any error as "no stored selection".
    static Expected<StoredCaptureSelection, std::string> fromJson(const nlohmann::json& json);
    // The same shape with other names for the area's origin (older releases
    // stored a global "x" and "y").
    static Expected<StoredCaptureSelection, std::string> fromJson(const nlohmann::json& json, const std::string& xKey,
                                                                  const std::string& yKey);

    friend bool operator==(const StoredCaptureSelection&, const StoredCaptureSelection&) = default;
};

}  // namespace tessarin
