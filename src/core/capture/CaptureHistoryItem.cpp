#include "core/capture/CaptureHistoryItem.h"

#include <cmath>
#include <unordered_set>

#include "core/capture/JsonFields.h"
#include "core/capture/Uuid.h"

namespace tessarin::CaptureHistoryIndex {
namespace {

using nlohmann::json;
constexpr int kMaxDepth = 16;

const json* member(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<int64_t> pixelCount(const json& object, const char* key) {
    const json* v = member(object, key);
    if (!v || !v->is_number_integer()) return std::nullopt;
    if (v->is_number_unsigned() && v->get<uint64_t>() > uint64_t{UINT32_MAX}) return std::nullopt;
    const int64_t n = v->get<int64_t>();
    if (n < 0 || n > int64_t{UINT32_MAX}) return std::nullopt;
    return n;
}

std::optional<bool> flag(const json& object, const char* key) {
    const json* v = member(object, key);
    if (!v || !v->is_boolean()) return std::nullopt;
    return v->get<bool>();
}

std::optional<CaptureHistoryItem> decodeItem(const json& object) {
    if (!object.is_object()) return std::nullopt;
    CaptureHistoryItem item;
    const json* id = member(object, "id");
    if (!id || !id->is_string() || !isUUIDString(id->get_ref<const std::string&>())) return std::nullopt;
    item.id = id->get<std::string>();
    if (const json* capture = member(object, "captureID"); capture && !capture->is_null()) {
        if (!capture->is_string() || capture->get_ref<const std::string&>().size() > 64) return std::nullopt;
        item.captureID = capture->get<std::string>();
    }
    const json* created = member(object, "createdAt");
    if (!created || !created->is_number() || !std::isfinite(created->get<double>())) return std::nullopt;
    item.createdAt = created->get<double>();
    // The image file is always named after the id; anything else (a path,
    // "..", another item's file) is refused rather than ever deleted.
    const json* file = member(object, "imageFilename");
    if (!file || !file->is_string() || file->get_ref<const std::string&>() != item.id + ".png") return std::nullopt;
    item.imageFilename = file->get<std::string>();
    const auto width = pixelCount(object, "pixelWidth");
    const auto height = pixelCount(object, "pixelHeight");
    if (!width || !height) return std::nullopt;
    item.pixelWidth = *width;
    item.pixelHeight = *height;
    if (const json* mode = member(object, "sourceMode"); mode && mode->is_string()) {
        item.sourceMode = captureModeFromRawValue(mode->get_ref<const std::string&>());
    }
    const auto pinned = flag(object, "isPinned");
    const auto annotated = flag(object, "isAnnotated");
    if (!pinned || !annotated) return std::nullopt;
    item.isPinned = *pinned;
    item.isAnnotated = *annotated;
    item.isQuickAccess = flag(object, "isQuickAccess").value_or(false);
    return item;
}

}  // namespace

json encode(const CaptureHistoryItem& item) {
    json object = json::object();
    object["id"] = item.id;
    if (item.captureID) object["captureID"] = *item.captureID;
    object["createdAt"] = item.createdAt;
    object["imageFilename"] = item.imageFilename;
    object["pixelWidth"] = item.pixelWidth;
    object["pixelHeight"] = item.pixelHeight;
    if (item.sourceMode) object["sourceMode"] = std::string(rawValue(*item.sourceMode));
    object["isPinned"] = item.isPinned;
    object["isAnnotated"] = item.isAnnotated;
    object["isQuickAccess"] = item.isQuickAccess;
    return object;
}

std::string serialize(const std::vector<CaptureHistoryItem>& items) {
    // Keys in the documented order: nlohmann's default object sorts keys, so
    // each item is written out by hand from its ordered members.
    std::string text = "{\"items\":[";
    static constexpr const char* order[] = {"id",          "captureID", "createdAt",  "imageFilename",
                                            "pixelWidth",  "pixelHeight", "sourceMode", "isPinned",
                                            "isAnnotated", "isQuickAccess"};
    for (size_t i = 0; i < items.size(); ++i) {
        const json object = encode(items[i]);
        text += i == 0 ? "{" : ",{";
        bool first = true;
        for (const char* key : order) {
            const json* v = member(object, key);
            if (!v) continue;
            text += first ? "" : ",";
            first = false;
            text += json(key).dump() + ":" + v->dump();
        }
        text += "}";
    }
    return text + "]}";
}

Expected<Decoded, std::string> parse(std::string_view text) {
    auto parsed = JsonFields::parseBounded(text, maxBytes, kMaxDepth);
    if (!parsed) return unexpected(parsed.error());
    const json document = std::move(*parsed);
    if (!document.is_object()) return unexpected(std::string("not a JSON object"));
    const json* items = member(document, "items");
    if (!items || !items->is_array()) return unexpected(std::string("no \"items\" array"));
    if (items->size() > maxItems) return unexpected(std::string("more than ") + std::to_string(maxItems) + " items");
    Decoded decoded;
    std::unordered_set<std::string> seen;
    for (const json& entry : *items) {
        auto item = decodeItem(entry);
        if (!item || !seen.insert(item->id).second) {
            ++decoded.dropped;
            continue;
        }
        decoded.items.push_back(std::move(*item));
    }
    return decoded;
}

}  // namespace tessarin::CaptureHistoryIndex
