#include "core/pins/StoredPin.h"

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

#include "core/capture/JsonFields.h"
#include "core/capture/Uuid.h"

namespace tessarin {
namespace {

using nlohmann::json;
constexpr int kMaxDepth = 8;

const StoredPin* findIn(const std::vector<StoredPin>& pins, std::string_view id) {
    const auto it = std::find_if(pins.begin(), pins.end(), [id](const StoredPin& pin) { return pin.id == id; });
    return it == pins.end() ? nullptr : &*it;
}

json encode(const StoredPin& pin) {
    // Keys in a fixed order, for people who read the file.
    json object = json::object();
    object["id"] = pin.id;
    if (pin.frame) {
        object["x"] = pin.frame->x;
        object["y"] = pin.frame->y;
        object["width"] = pin.frame->width;
        object["height"] = pin.frame->height;
    }
    object["screenID"] = pin.screenID;
    return object;
}

std::string encodeList(const std::vector<StoredPin>& pins) {
    std::string text = "[";
    static constexpr const char* order[] = {"id", "x", "y", "width", "height", "screenID"};
    for (size_t i = 0; i < pins.size(); ++i) {
        const json object = encode(pins[i]);
        text += i == 0 ? "{" : ",{";
        bool first = true;
        for (const char* key : order) {
            const json* v = JsonFields::member(object, key);
            if (!v) continue;
            text += first ? "" : ",";
            first = false;
            text += json(key).dump() + ":" + v->dump();
        }
        text += "}";
    }
    return text + "]";
}

std::optional<Rect> decodeFrame(const json& object) {
    const auto x = JsonFields::number(object, "x");
    const auto y = JsonFields::number(object, "y");
    const auto width = JsonFields::number(object, "width");
    const auto height = JsonFields::number(object, "height");
    if (!x || !y || !width || !height || !(*width > 0) || !(*height > 0)) return std::nullopt;
    return Rect{*x, *y, *width, *height};
}

// Reads one list into `into`, skipping ids already taken.
void decodeList(const json& list, std::vector<StoredPin>& into, std::set<std::string>& taken,
                PinIndexCodec::Decoded& decoded) {
    for (const json& entry : list) {
        const auto id = JsonFields::string(entry, "id");
        if (!id || !isUUIDString(*id)) {
            if (entry.is_object()) ++decoded.droppedUnsafeIDs;
            else ++decoded.droppedOther;
            continue;
        }
        if (!taken.insert(*id).second) {
            ++decoded.droppedOther;
            continue;
        }
        StoredPin pin;
        pin.id = *id;
        pin.frame = decodeFrame(entry);
        if (!pin.frame) ++decoded.framesReset;
        pin.screenID = JsonFields::uint32(entry, "screenID").value_or(0);
        into.push_back(std::move(pin));
    }
}

}  // namespace

const StoredPin* PinStoreIndex::find(std::string_view id) const {
    if (const StoredPin* open = findIn(pins, id)) return open;
    return findIn(recentlyClosed, id);
}

bool PinStoreIndex::isOpen(std::string_view id) const { return findIn(pins, id) != nullptr; }

namespace PinIndexCodec {

std::string serialize(const PinStoreIndex& index) {
    return "{\"pins\":" + encodeList(index.pins) + ",\"recentlyClosed\":" + encodeList(index.recentlyClosed) + "}";
}

Expected<Decoded, std::string> parse(std::string_view text) {
    auto parsed = JsonFields::parseBounded(text, maxBytes, kMaxDepth);
    if (!parsed) return unexpected(parsed.error());
    const json document = std::move(*parsed);
    if (!document.is_object()) return unexpected(std::string("not a JSON object"));
    const json empty = json::array();
    const json* pins = JsonFields::member(document, "pins");
    const json* closed = JsonFields::member(document, "recentlyClosed");
    if (pins && !pins->is_array()) return unexpected(std::string("\"pins\" is not an array"));
    if (closed && !closed->is_array()) return unexpected(std::string("\"recentlyClosed\" is not an array"));
    if (!pins) pins = &empty;
    if (!closed) closed = &empty;
    if (pins->size() + closed->size() > maxEntries) {
        return unexpected("more than " + std::to_string(maxEntries) + " pins");
    }
    Decoded decoded;
    std::set<std::string> taken;
    decodeList(*pins, decoded.index.pins, taken, decoded);
    // Closed entries newest first, so a duplicate keeps its newest closing.
    std::vector<StoredPin> closedNewestFirst;
    json reversed = json::array();
    for (auto it = closed->rbegin(); it != closed->rend(); ++it) reversed.push_back(*it);
    decodeList(reversed, closedNewestFirst, taken, decoded);
    decoded.index.recentlyClosed.assign(closedNewestFirst.rbegin(), closedNewestFirst.rend());
    return decoded;
}

}  // namespace PinIndexCodec
}  // namespace tessarin
