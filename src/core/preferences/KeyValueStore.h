#pragma once
// The per-user key-value store every setting lives in: one JSON value per
// string key, shared by the desktop application and the agent. Values keep
// their JSON types, so a Boolean written as a Boolean reads back as one.
//
// Writes never throw. A write that could not reach the backing storage is
// logged there and reported by the return value; the value stays visible to
// this process and is retried by synchronize().

#include <map>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tessarin {

// Changes to write together, by key; nothing means "remove the key".
using KeyValueChanges = std::map<std::string, std::optional<nlohmann::json>>;

class KeyValueStore {
public:
    virtual ~KeyValueStore() = default;

    // The value as this process last saw it, or nothing when the key is unset.
    virtual std::optional<nlohmann::json> object(const std::string& key) const = 0;
    virtual bool set(const std::string& key, const nlohmann::json& value) = 0;
    virtual bool remove(const std::string& key) = 0;

    // Several changes in one write where the storage allows it; true when
    // all of them reached it. A store used by a background writer makes this
    // (with reload and synchronize) safe to call from another thread.
    virtual bool apply(const KeyValueChanges& changes);

    // Reads one key again from the backing storage, for values another
    // process may have changed since this one last looked (the agent writes
    // the previous capture region while the desktop application runs).
    virtual std::optional<nlohmann::json> reload(const std::string& key) = 0;

    // Forces every change of this process to the backing storage; true when
    // nothing is left unwritten.
    virtual bool synchronize() = 0;
};

// A store that lives only in memory, for tests of anything built over the
// preferences. failWrites simulates a backing store that refuses writes: the
// value is still kept, as the file store keeps it, but the write reports false.
class InMemoryKeyValueStore final : public KeyValueStore {
public:
    InMemoryKeyValueStore() = default;
    explicit InMemoryKeyValueStore(std::map<std::string, nlohmann::json> values) : values_(std::move(values)) {}

    std::optional<nlohmann::json> object(const std::string& key) const override;
    bool set(const std::string& key, const nlohmann::json& value) override;
    bool remove(const std::string& key) override;
    std::optional<nlohmann::json> reload(const std::string& key) override { return object(key); }
    bool synchronize() override { return !failWrites; }

    bool contains(const std::string& key) const { return values_.count(key) != 0; }
    const std::map<std::string, nlohmann::json>& values() const { return values_; }

    bool failWrites = false;

private:
    std::map<std::string, nlohmann::json> values_;
};

}  // namespace tessarin
