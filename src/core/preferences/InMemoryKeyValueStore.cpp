#include "core/preferences/KeyValueStore.h"

namespace tessarin {

bool KeyValueStore::apply(const KeyValueChanges& changes) {
    bool written = true;
    for (const auto& [key, value] : changes) written = (value ? set(key, *value) : remove(key)) && written;
    return written;
}

std::optional<nlohmann::json> InMemoryKeyValueStore::object(const std::string& key) const {
    const auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

bool InMemoryKeyValueStore::set(const std::string& key, const nlohmann::json& value) {
    values_[key] = value;
    return !failWrites;
}

bool InMemoryKeyValueStore::remove(const std::string& key) {
    values_.erase(key);
    return !failWrites;
}

}  // namespace tessarin
