#pragma once
// The shape constraint applied while dragging an area, and the built-in list
// the selection overlay cycles through.
//
// Stored form, one key naming the case:
//   {"freeform":{}}  {"aspectRatio":{"width":16,"height":9}}
//   {"fixedSize":{"width":1280,"height":720,"name":"720p"}}   (name optional)

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "core/common/Expected.h"

namespace tessarin {

struct CapturePreset {
    // Persisted case names; append only.
    enum class Kind { freeform, aspectRatio, fixedSize };

    Kind kind = Kind::freeform;
    int width = 0;
    int height = 0;
    std::optional<std::string> name;

    static CapturePreset freeform() { return {}; }
    static CapturePreset aspectRatio(int w, int h, std::optional<std::string> name = std::nullopt) {
        return {Kind::aspectRatio, w, h, std::move(name)};
    }
    static CapturePreset fixedSize(int w, int h, std::optional<std::string> name = std::nullopt) {
        return {Kind::fixedSize, w, h, std::move(name)};
    }

    std::string id() const;
    std::string displayName() const;
    std::string compactName() const;

    nlohmann::json toJson() const;
    static Expected<CapturePreset, std::string> fromJson(const nlohmann::json& json);

    static const std::vector<CapturePreset>& builtIn();

    friend bool operator==(const CapturePreset&, const CapturePreset&) = default;
};

}  // namespace tessarin
