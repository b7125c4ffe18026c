#include "core/capture/StoredCaptureSelection.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "core/capture/JsonFields.h"

namespace tessarin {

uint32_t StoredCaptureSelection::screenID() const {
    return std::visit([](const auto& v) { return v.screenID; }, value);
}

nlohmann::json StoredCaptureSelection::toJson() const {
    if (const Area* a = asArea()) {
        return {{"area",
                 {{"localX", a->localX},
                  {"localY", a->localY},
                  {"width", a->width},
                  {"height", a->height},
                  {"screenID", a->screenID}}}};
    }
    return {{"fullscreen", {{"screenID", std::get<Fullscreen>(value).screenID}}}};
}

Expected<StoredCaptureSelection, std::string> StoredCaptureSelection::fromJson(const nlohmann::json& json) {
    return fromJson(json, "localX", "localY");
}

Expected<StoredCaptureSelection, std::string> StoredCaptureSelection::fromJson(const nlohmann::json& json,
                                                                                const std::string& xKey,
                                                                                const std::string& yKey) {
    const auto decoded = JsonFields::enumCase(json);
    if (!decoded) return unexpected(decoded.error());
    const std::string& key = decoded->name;
    const nlohmann::json& payload = *decoded->payload;
    const auto screenID = JsonFields::uint32(payload, "screenID");
    if (!screenID) return unexpected(std::string("screenID is missing or not a 32-bit unsigned integer"));
    if (key == "fullscreen") return fullscreen(*screenID);
    if (key != "area") return unexpected("unknown case \"" + key + "\"");
    const auto x = JsonFields::number(payload, xKey.c_str());
    const auto y = JsonFields::number(payload, yKey.c_str());
    const auto w = JsonFields::number(payload, "width");
    const auto h = JsonFields::number(payload, "height");
    if (!x || !y || !w || !h) return unexpected("area needs numbers " + xKey + ", " + yKey + ", width, height");
    return area(*x, *y, *w, *h, *screenID);
}

}  // namespace tessarin
