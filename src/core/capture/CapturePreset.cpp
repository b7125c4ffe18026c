#include "core/capture/CapturePreset.h"

#include <limits>

#include <nlohmann/json.hpp>

#include "core/capture/JsonFields.h"
#include "core/common/Localization.h"

namespace tessarin {
namespace {

std::string ratioText(const CapturePreset& p) { return std::to_string(p.width) + ":" + std::to_string(p.height); }

std::optional<int> intField(const nlohmann::json& payload, const char* key) {
    const auto v = JsonFields::integer(payload, key);
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(*v);
}

}  // namespace

std::string CapturePreset::id() const {
    switch (kind) {
        case Kind::freeform: return "freeform";
        case Kind::aspectRatio: return "ratio-" + std::to_string(width) + "-" + std::to_string(height);
        case Kind::fixedSize: return "fixed-" + std::to_string(width) + "-" + std::to_string(height);
    }
    return {};
}

std::string CapturePreset::displayName() const {
    const auto named = [this](std::string text) {
        if (name) text += " (" + localized(*name) + ")";
        return text;
    };
    switch (kind) {
        case Kind::freeform: return localized("Freeform");
        case Kind::aspectRatio: return named(ratioText(*this));
        case Kind::fixedSize: return named(std::to_string(width) + " x " + std::to_string(height));
    }
    return {};
}

std::string CapturePreset::compactName() const {
    switch (kind) {
        case Kind::freeform: return localized("Free");
        case Kind::aspectRatio: return ratioText(*this);
        case Kind::fixedSize: return name ? localized(*name) : localized("Fixed");
    }
    return {};
}

nlohmann::json CapturePreset::toJson() const {
    switch (kind) {
        case Kind::freeform: return {{"freeform", nlohmann::json::object()}};
        case Kind::aspectRatio:
        case Kind::fixedSize: {
            nlohmann::json payload = {{"width", width}, {"height", height}};
            if (name) payload["name"] = *name;
            return {{kind == Kind::aspectRatio ? "aspectRatio" : "fixedSize", payload}};
        }
    }
    return {};
}

Expected<CapturePreset, std::string> CapturePreset::fromJson(const nlohmann::json& json) {
    const auto decoded = JsonFields::enumCase(json);
    if (!decoded) return unexpected(decoded.error());
    const std::string& key = decoded->name;
    const nlohmann::json& payload = *decoded->payload;
    if (key == "freeform") return freeform();
    if (key != "aspectRatio" && key != "fixedSize") return unexpected("unknown case \"" + key + "\"");
    const auto w = intField(payload, "width");
    const auto h = intField(payload, "height");
    if (!w || !h) return unexpected(std::string("width and height must be integers"));
    std::optional<std::string> name;
    if (JsonFields::member(payload, "name")) {
        name = JsonFields::string(payload, "name");
        if (!name) return unexpected(std::string("name must be a string"));
    }
    return CapturePreset{key == "aspectRatio" ? Kind::aspectRatio : Kind::fixedSize, *w, *h, std::move(name)};
}

const std::vector<CapturePreset>& CapturePreset::builtIn() {
    static const std::vector<CapturePreset> presets = {
        freeform(),
        aspectRatio(1, 1, "Square"),
        aspectRatio(4, 3),
        aspectRatio(16, 9),
        aspectRatio(3, 2),
        fixedSize(512, 512),
        fixedSize(1280, 720, "720p"),
        fixedSize(1920, 1080, "1080p"),
    };
    return presets;
}

}  // namespace tessarin
