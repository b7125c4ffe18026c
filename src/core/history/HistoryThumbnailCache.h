#pragma once
// Which history thumbnails to decode and which to keep. The window asks
// only for the cells on the screen, a few decodes at a time (they run off
// the main thread), so opening a long history or scrolling through it
// never waits for hundreds of files; decoded pictures beyond `capacity`
// are dropped, those seen longest ago first, and decoded again when their
// cells come back.
//
// Keys carry the cell's thumbnail revision: a picture decoded for an older
// revision is stale (the image was edited) and is neither shown nor kept.
// A thumbnail that failed to decode is not tried again for that revision.
//
// `Picture` is the view's decoded image type; the cache only holds it.

#include <cstdint>
#include <unordered_map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessarin {

struct ThumbnailKey {
    std::string id;
    uint64_t revision = 0;
    friend bool operator==(const ThumbnailKey&, const ThumbnailKey&) = default;
};

template <class Picture>
class HistoryThumbnailCache {
public:
    HistoryThumbnailCache(size_t capacity, size_t maxLoading) : capacity_(capacity), maxLoading_(maxLoading) {}

    // The cells on the screen now, most wanted first. Returns the decodes
    // to start.
    std::vector<ThumbnailKey> show(const std::vector<ThumbnailKey>& visible) {
        visible_ = visible;
        ++clock_;
        for (const auto& key : visible_) {
            auto found = entries_.find(key.id);
            if (found != entries_.end() && found->second.revision == key.revision) found->second.lastShown = clock_;
        }
        return startLoads();
    }

    struct Finished {
        bool repaint = false;  // a cell on the screen has its picture now
        std::vector<ThumbnailKey> start;
    };
    // A decode ended with its picture, or nothing when it failed.
    Finished finished(const ThumbnailKey& key, std::optional<Picture> picture) {
        Finished result;
        auto found = entries_.find(key.id);
        if (found == entries_.end() || found->second.revision != key.revision || found->second.state != State::loading) {
            // Stale or forgotten: only its decode slot comes back.
            if (loading_ > 0 && stale_ > 0) {
                --loading_;
                --stale_;
            }
            result.start = startLoads();
            return result;
        }
        --loading_;
        Entry& entry = found->second;
        entry.state = picture ? State::ready : State::failed;
        entry.picture = std::move(picture);
        entry.lastShown = clock_;
        result.repaint = isVisible(key);
        evict();
        result.start = startLoads();
        return result;
    }

    // The picture to draw for the cell, or nothing yet (a placeholder).
    const Picture* picture(std::string_view id, uint64_t revision) const {
        const auto found = entries_.find(std::string(id));
        if (found == entries_.end()) return nullptr;
        const Entry& entry = found->second;
        if (entry.revision != revision || !entry.picture.has_value()) return nullptr;
        return entry.picture.operator->();
    }
    bool failed(std::string_view id, uint64_t revision) const {
        const auto found = entries_.find(std::string(id));
        return found != entries_.end() && found->second.revision == revision && found->second.state == State::failed;
    }

    // The item left the history.
    void forget(const std::string& id) {
        auto found = entries_.find(id);
        if (found == entries_.end()) return;
        if (found->second.state == State::loading) ++stale_;
        entries_.erase(found);
    }

    size_t loading() const { return loading_; }
    size_t decodedCount() const {
        size_t count = 0;
        for (const auto& [id, entry] : entries_) count += entry.picture ? 1 : 0;
        return count;
    }

private:
    enum class State { loading, ready, failed };
    struct Entry {
        uint64_t revision = 0;
        State state = State::loading;
        std::optional<Picture> picture;
        uint64_t lastShown = 0;
    };

    bool isVisible(const ThumbnailKey& key) const {
        for (const auto& shown : visible_) {
            if (shown == key) return true;
        }
        return false;
    }

    std::vector<ThumbnailKey> startLoads() {
        std::vector<ThumbnailKey> start;
        for (const auto& key : visible_) {
            if (loading_ >= maxLoading_) break;
            auto found = entries_.find(key.id);
            if (found != entries_.end()) {
                if (found->second.revision == key.revision) continue;  // loading, ready or failed
                if (found->second.state == State::loading) ++stale_;
                entries_.erase(found);
            }
            entries_[key.id] = Entry{key.revision, State::loading, std::nullopt, clock_};
            ++loading_;
            start.push_back(key);
        }
        return start;
    }

    void evict() {
        while (decodedCount() > capacity_) {
            auto oldest = entries_.end();
            for (auto it = entries_.begin(); it != entries_.end(); ++it) {
                if (!it->second.picture || isVisible({it->first, it->second.revision})) continue;
                if (oldest == entries_.end() || it->second.lastShown < oldest->second.lastShown) oldest = it;
            }
            if (oldest == entries_.end()) return;  // everything decoded is on the screen
            entries_.erase(oldest);
        }
    }

    size_t capacity_;
    size_t maxLoading_;
    size_t loading_ = 0;
    size_t stale_ = 0;  // decodes in flight whose entry is gone
    uint64_t clock_ = 0;
    std::vector<ThumbnailKey> visible_;
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace tessarin
