#pragma once
// A key-value store whose writes never wait for the disk. Each set() or
// remove() takes effect in memory at once (object() returns it), on the main
// thread, and the change is written behind on the background executor:
// changes made before the write starts go out together in one apply() on the
// backing store, and writes never overlap, so the last change of a key is the
// one that stays. The backing store does the cross-process part (a file store
// re-reads under its lock and merges).
//
// synchronize() is the blocking exit path: it waits for a write already
// running, writes what is left on the caller's thread and says whether
// everything reached the storage. Call it before the process ends (the
// agent does at the end of each command that changes a preference); a write
// the background executor dropped unrun is written there too.
//
// Used from the main executor only. The background half holds the shared
// write state and the backing store, never `this`, so destroying the store
// with a write queued is safe; the write still runs.

#include <condition_variable>
#include <memory>
#include <mutex>

#include "core/common/Executor.h"
#include "core/preferences/KeyValueStore.h"

namespace tessarin {

class WriteBehindStore final : public KeyValueStore {
public:
    WriteBehindStore(std::shared_ptr<KeyValueStore> backing, Executor& background);

    WriteBehindStore(const WriteBehindStore&) = delete;
    WriteBehindStore& operator=(const WriteBehindStore&) = delete;

    std::optional<nlohmann::json> object(const std::string& key) const override;
    // True once the change is taken: whether it reached the storage is
    // reported by synchronize() (and logged by the backing store).
    bool set(const std::string& key, const nlohmann::json& value) override;
    bool remove(const std::string& key) override;
    bool apply(const KeyValueChanges& changes) override;
    // Reads the backing storage again, blocking; a change of this process
    // not yet written still wins.
    std::optional<nlohmann::json> reload(const std::string& key) override;
    bool synchronize() override;

    // Writes that ran on the background executor so far.
    size_t backgroundWrites() const;

    struct WriteState;

private:
    void enqueue(const KeyValueChanges& changes);

    std::shared_ptr<WriteState> state_;
    Executor& background_;
    // What this process last saw or set, by key. A key's first read asks
    // the backing store, which may wait for a write in progress; the
    // preferences read every key once, when they are built.
    mutable KeyValueChanges seen_;
};

}  // namespace tessarin
