#pragma once
// The local history of finished captures: an index plus, per capture, a
// full-resolution PNG (kept for the most recent, pinned and Quick Access
// items) and a JPEG thumbnail (kept for every item), in the "History"
// artifact folder.
//
// Lives on the main executor. Image writes, file deletions and index writes
// run on the background executor. Captures and edits of captures are
// applied one at a time, in the order they were asked for, so an edit
// queued behind the capture it edits finds that capture's item.
//
// Another process (the agent, or a second copy) may change the same index.
// Local changes are therefore kept as a list of operations (put an item,
// remove an id) that each index write applies, under the folder's lock, to
// the index as it is on disk at that moment; the result becomes the list in
// memory, with the operations made since put on top. Items another process
// added appear, items it removed disappear (and observers hear of it), and
// no process overwrites what the other wrote.
//
// Start-up loads the index and removes files no item names. An index that
// cannot be read is moved aside to "index.json.corrupt-<time>", the store
// starts empty, and no file is ever garbage-collected while such a file
// waits in the folder: the images it listed stay for a person to recover.

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/capture/BackgroundImageWriter.h"
#include "core/capture/CaptureArtifactDirectory.h"
#include "core/capture/CaptureHistoryItem.h"
#include "core/capture/Thumbnail.h"
#include "core/common/Executor.h"
#include "core/common/Lifetime.h"
#include "core/common/ObserverList.h"
#include "render/ImageDecoder.h"

namespace tessarin {

// What the history keeps of the capture session that made an image.
struct CaptureSessionInfo {
    std::string captureID;
    CaptureMode mode = CaptureMode::area;
};

// Told on the main executor when items leave the history ("deleted",
// "evicted", "cleared" or removed by another process), so views showing them
// can close; and when the list changes at all.
class CaptureHistoryObserver {
public:
    virtual ~CaptureHistoryObserver() = default;
    virtual void captureHistoryItemsRemoved(const std::vector<std::string>& removedItemIDs) = 0;
    virtual void captureHistoryItemsChanged() {}
};

class CaptureHistoryStore {
public:
    using Result = std::optional<CaptureHistoryItem>;
    static constexpr ThumbnailSize thumbnailBounds{440, 330};

    struct Options {
        // Unpinned, non-Quick-Access items that keep their full-resolution PNG.
        size_t fullResolutionRecentCount = 10;
        // Files younger than this are never garbage-collected: another
        // process may have written them for an item its index does not list yet.
        std::chrono::seconds garbageGrace = std::chrono::minutes(10);
        // Now, in seconds since 2001-01-01 UTC.
        std::function<double()> now;
    };

    // The shared store's folder: <data home>/io.tessarin.Tessarin/History.
    static CaptureArtifactDirectory defaultDirectory(const std::filesystem::path& root);

    // Ensures the folders, loads the index and collects garbage, at once.
    CaptureHistoryStore(CaptureArtifactDirectory folder, Executor& main, Executor& background,
                        BackgroundImageWriter& writer, Options options);
    CaptureHistoryStore(CaptureArtifactDirectory folder, Executor& main, Executor& background,
                        BackgroundImageWriter& writer);
    CaptureHistoryStore(const CaptureHistoryStore&) = delete;
    CaptureHistoryStore& operator=(const CaptureHistoryStore&) = delete;
    ~CaptureHistoryStore() { shutdown(); }

    // Stops on the main executor: work in flight finishes in the background
    // but nothing comes back to the store; queued captures and edits, and
    // idle waiters, complete as cancelled. Changes not yet written stay
    // unwritten (the files they name are collected at the next start).
    // Call before the background executor shuts down.
    void shutdown();

    const std::vector<CaptureHistoryItem>& items() const { return items_; }
    const CaptureHistoryItem* item(std::string_view id) const;
    std::vector<CaptureHistoryItem> quickAccessItems() const;
    // images/<imageFilename> when it exists, else thumbnails/<id>.jpg when
    // it exists, else nothing.
    std::optional<std::filesystem::path> fileURL(const CaptureHistoryItem& item) const;
    const CaptureArtifactDirectory& folder() const { return folder_; }

    // Decode off the main thread; an unknown id or missing file is an error.
    void loadImageAsync(std::string_view id, Completion<DecodeResult> done);
    void loadThumbnailAsync(std::string_view id, Completion<DecodeResult> done);

    // A new capture: writes its files, puts it first, prunes, writes the
    // index. Completes with the item, or nothing when its files could not
    // be written (the image itself is untouched for its other consumers).
    void record(SharedImage image, std::optional<CaptureSessionInfo> session, int maxCount, int maxAgeDays,
                Completion<Result> done);
    // The same with the item flagged as shown in Quick Access.
    void addQuickAccessItem(SharedImage image, int maxCount, int maxAgeDays, Completion<Result> done);
    // An edited capture: the item with `id` gets the new image files, its new
    // pixel size and isAnnotated, in place; its other fields are as they are
    // when the files are written (a pin or a flag set meanwhile stays).
    // Nothing when there is no such item, then or once the files are
    // written (the files just written are removed again).
    void replaceImage(std::string id, SharedImage image, int maxCount, int maxAgeDays, Completion<Result> done);

    void deleteItem(std::string_view id);
    // Removes every item, pinned ones included.
    void clearAll();
    void setPinned(std::string_view id, bool pinned);
    void setQuickAccess(std::string_view id, bool shown);
    // isPinned := the id has an open pin, for every item.
    void reconcilePinnedIDs(const std::set<std::string, std::less<>>& pinnedIDs);
    void prune(int maxCount, int maxAgeDays);

    // Observes until the subscription is reset or destroyed; an observer
    // removed during a notification is not called from then on.
    [[nodiscard]] Subscription addObserver(CaptureHistoryObserver& observer);

    // Completes once no capture, edit, index write or file deletion is pending, with
    // whether the last index write succeeded.
    void whenIdle(Completion<bool> done);
    // Whether start-up found a usable index (or none) and collected garbage.
    bool collectedGarbage() const { return collectedGarbage_; }

private:
    struct Operation {
        std::optional<CaptureHistoryItem> put;  // nothing: remove `id`
        std::string id;
    };
    struct IndexWrite {
        bool written = false;
        std::vector<CaptureHistoryItem> items;
    };
    using Mutation = UniqueFunction<void(Task finished)>;

    static void apply(std::vector<CaptureHistoryItem>& items, const Operation& operation);
    static IndexWrite writeIndex(const CaptureArtifactDirectory& folder, const std::vector<Operation>& operations);

    void load();
    void enqueue(Mutation mutation);
    void runNextMutation();
    // Writes the image files, then `admit` turns the item as written into
    // the change to make (nothing: drop it; its files are removed).
    using Admit = UniqueFunction<std::optional<CaptureHistoryItem>(CaptureHistoryItem written)>;
    void performRecord(CaptureHistoryItem item, SharedImage image, int maxCount, int maxAgeDays,
                       Completion<Result> done, Task finished, Admit admit);
    void change(Operation operation);
    void remove(const std::vector<std::string>& ids);
    void deleteFiles(std::vector<std::pair<std::string, std::string>> files);
    void pruneFullResolutionImages();
    // Sets one of an item's switches and saves it; nothing when it is already so.
    void setFlag(std::string_view id, bool CaptureHistoryItem::*flag, bool value);
    void flush();
    void finishFlush(IndexWrite result, std::vector<Operation> sent);
    void notifyRemoved(const std::vector<std::string>& ids);
    void notifyChanged();
    void checkIdle();
    double now() const { return options_.now(); }

    CaptureArtifactDirectory folder_;
    Executor& main_;
    Executor& background_;
    BackgroundImageWriter& writer_;
    Options options_;

    std::vector<CaptureHistoryItem> items_;
    std::set<std::string, std::less<>> fullResolutionRemoved_;
    ObserverList<CaptureHistoryObserver*> observers_;
    bool collectedGarbage_ = false;

    std::deque<Mutation> mutations_;
    bool mutating_ = false;
    std::vector<Operation> unsent_;
    bool flushing_ = false;
    int pendingDeletions_ = 0;
    bool flushAgain_ = false;
    bool lastWriteSucceeded_ = true;
    std::vector<Completion<bool>> idleWaiters_;
    LifetimeToken lifetime_;  // last: invalidated first
};

}  // namespace tessarin
