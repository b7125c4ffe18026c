#include "core/preferences/WriteBehindStore.h"

#include <utility>

namespace tessarin {

// Shared by the store and its background writes.
struct WriteBehindStore::WriteState {
    explicit WriteState(std::shared_ptr<KeyValueStore> store) : backing(std::move(store)) {}

    const std::shared_ptr<KeyValueStore> backing;
    std::mutex mutex;
    std::condition_variable idle;
    KeyValueChanges waiting;  // taken by the next write
    bool queued = false;      // a background write is posted and has not finished
    bool writing = false;     // a write is inside the backing store
    size_t backgroundWrites = 0;

    // Takes the waiting changes once no other write runs; the caller then
    // writes them and calls finish().
    KeyValueChanges take(std::unique_lock<std::mutex>& lock) {
        idle.wait(lock, [this] { return !writing; });
        KeyValueChanges taken = std::move(waiting);
        waiting.clear();
        writing = !taken.empty();
        return taken;
    }
    void finish() {
        {
            const std::lock_guard guard(mutex);
            writing = false;
        }
        idle.notify_all();
    }
};

namespace {

// Writes until nothing waits, so changes made during a write follow it in
// the same task instead of overlapping it.
void writeWaiting(const std::shared_ptr<WriteBehindStore::WriteState>& state) {
    for (;;) {
        KeyValueChanges changes;
        {
            std::unique_lock lock(state->mutex);
            changes = state->take(lock);
            if (changes.empty()) {
                state->queued = false;
                return;
            }
            ++state->backgroundWrites;
        }
        // A failed write stays pending in the backing store, which logs it
        // and retries it with the next write or synchronize().
        state->backing->apply(changes);
        state->finish();
    }
}

// The posted write. One the executor destroys unrun (it was shutting down)
// clears `queued`, so the next change posts a write again instead of
// waiting for synchronize().
class QueuedWrite {
public:
    explicit QueuedWrite(std::shared_ptr<WriteBehindStore::WriteState> state) : state_(std::move(state)) {}
    QueuedWrite(QueuedWrite&&) noexcept = default;
    QueuedWrite& operator=(QueuedWrite&&) = delete;
    ~QueuedWrite() {
        if (!state_) return;
        const std::lock_guard guard(state_->mutex);
        state_->queued = false;
    }
    void operator()() { writeWaiting(std::exchange(state_, nullptr)); }

private:
    std::shared_ptr<WriteBehindStore::WriteState> state_;
};

}  // namespace

WriteBehindStore::WriteBehindStore(std::shared_ptr<KeyValueStore> backing, Executor& background)
    : state_(std::make_shared<WriteState>(std::move(backing))), background_(background) {}

std::optional<nlohmann::json> WriteBehindStore::object(const std::string& key) const {
    if (const auto it = seen_.find(key); it != seen_.end()) return it->second;
    auto value = state_->backing->object(key);
    seen_.emplace(key, value);
    return value;
}

bool WriteBehindStore::set(const std::string& key, const nlohmann::json& value) { return apply({{key, value}}); }

bool WriteBehindStore::remove(const std::string& key) { return apply({{key, std::nullopt}}); }

bool WriteBehindStore::apply(const KeyValueChanges& changes) {
    for (const auto& [key, value] : changes) seen_[key] = value;
    enqueue(changes);
    return true;
}

void WriteBehindStore::enqueue(const KeyValueChanges& changes) {
    bool post = false;
    {
        const std::lock_guard guard(state_->mutex);
        for (const auto& [key, value] : changes) state_->waiting[key] = value;
        post = !state_->queued;
        state_->queued = true;
    }
    if (post) background_.post(QueuedWrite(state_));
}

std::optional<nlohmann::json> WriteBehindStore::reload(const std::string& key) {
    {
        const std::lock_guard guard(state_->mutex);
        if (const auto it = state_->waiting.find(key); it != state_->waiting.end()) return it->second;
    }
    // A write of this key may be inside the backing store; its value is the
    // one this process set, which the backing store returns until written.
    auto value = state_->backing->reload(key);
    seen_[key] = value;
    return value;
}

bool WriteBehindStore::synchronize() {
    KeyValueChanges changes;
    {
        std::unique_lock lock(state_->mutex);
        changes = state_->take(lock);
    }
    if (!changes.empty()) {
        state_->backing->apply(changes);
        state_->finish();
    }
    // Also retries what an earlier background write could not write.
    return state_->backing->synchronize();
}

size_t WriteBehindStore::backgroundWrites() const {
    const std::lock_guard guard(state_->mutex);
    return state_->backgroundWrites;
}

}  // namespace tessarin
