#pragma once
// The pinned screenshots that survive a restart: the open pins and the ten
// most recently closed ones, with an image per pin, in the "Pins" artifact
// folder ("index.json", "images/<id>.png"), and beside each image a small
// JPEG preview ("previews/<id>.jpg", at most 1280 x 800) that a launch shows
// while the full image is still being decoded.
//
// Lives on the main executor; image writes, decoding, deletions and index
// writes run on the background executor.
//
// Writes are debounced: every change cancels the pending write and asks for
// one `debounce` later (0.4 s), so a drag that moves a pin a hundred times
// costs one write. A write that fails is tried again after a growing pause
// (1 s, 2 s, 4 s ... at most a minute), not only when something else changes.
//
// Another copy of the application may share the folder for a moment (the
// newest launch takes over from a running one). Local changes are therefore
// kept as operations (open, move, close, forget) that each write applies,
// under the folder's lock, to the index as it is on disk then, as the
// history store does; and start-up garbage collection spares image files
// younger than ten minutes, which may belong to a pin the other copy has not
// listed yet.
//
// An image file is deleted only when no entry of either list names its id
// any more (an id that is open and was also closed keeps its image). An
// index that cannot be read is moved aside to "index.json.corrupt-<time>"
// and nothing is garbage-collected while it waits there; one that reads as
// an I/O error is left in place, and nothing is written over it until it
// reads again.

#include <atomic>
#include <chrono>
#include <memory>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/capture/BackgroundImageWriter.h"
#include "core/capture/CaptureArtifactDirectory.h"
#include "core/common/Executor.h"
#include "core/common/Lifetime.h"
#include "core/pins/StoredPin.h"

namespace tessarin {

// A pin's image as loading found it. Only `missing` means the pin is gone
// for good; `unreadable` may be passing (an I/O error) or a damaged file a
// person may want back.
struct PinImage {
    enum class Kind { loaded, missing, unreadable };
    Kind kind = Kind::unreadable;
    SharedImage image;
    std::string reason;
};
template <>
struct InterruptedResult<PinImage> {
    static PinImage make(std::string_view reason) { return {PinImage::Kind::unreadable, nullptr, std::string(reason)}; }
};

using PinAddResult = Expected<StoredPin, ExportError>;

class PinStore {
public:
    static constexpr size_t recentlyClosedCap = 10;
    // Runs a task on the main executor after a delay (a timer in the
    // application, a fake clock in tests).
    using DelayOnMain = std::function<void(std::chrono::milliseconds, Task)>;

    struct Options {
        DelayOnMain delay;
        std::chrono::milliseconds debounce{400};
        std::chrono::milliseconds firstRetry{1000};
        std::chrono::milliseconds longestRetry{60000};
        std::chrono::seconds garbageGrace = std::chrono::minutes(10);
    };

    // <data home>/io.tessarin.Tessarin/Pins with its "images" sub-folder.
    static CaptureArtifactDirectory defaultDirectory(const std::filesystem::path& root);

    // Ensures the folders, loads the index and collects garbage, at once.
    PinStore(CaptureArtifactDirectory folder, Executor& main, Executor& background, BackgroundImageWriter& writer,
             Options options);
    PinStore(const PinStore&) = delete;
    PinStore& operator=(const PinStore&) = delete;
    ~PinStore() { shutdown(); }

    // Nothing comes back to the store after this; unwritten changes stay
    // unwritten. Call before the background executor stops.
    void shutdown();

    const PinStoreIndex& index() const { return index_; }
    bool isOpen(std::string_view id) const { return index_.isOpen(id); }
    std::set<std::string, std::less<>> openIDs() const;
    const CaptureArtifactDirectory& folder() const { return folder_; }
    std::filesystem::path imagePath(std::string_view id) const;
    std::filesystem::path previewPath(std::string_view id) const;
    static constexpr uint32_t previewWidth = 1280;
    static constexpr uint32_t previewHeight = 800;

    // Writes images/<id>.png and its preview, then lists the pin as open
    // (last) and asks for a write. An id that was recently closed leaves
    // that list.
    void add(std::string id, SharedImage image, std::optional<Rect> frame, uint32_t screenID,
             Completion<PinAddResult> done);
    // A new frame for an open pin; nothing for an id that is not open.
    void updatePinFrame(std::string_view id, Rect frame, uint32_t screenID);
    // Moves an open pin, with its final frame, to the end of the recently
    // closed list; the oldest beyond ten are evicted with their images.
    void closePin(std::string_view id, std::optional<Rect> finalFrame, uint32_t screenID);
    // The newest recently closed pin, listed as open again and written at
    // once; nothing when the list is empty.
    std::optional<StoredPin> reopenMostRecentlyClosed();
    // Removes the id from both lists and, once written, its image.
    void forget(std::string_view id);
    // Writes pending changes now instead of after the pause.
    void flushNow();
    // At quit, on the calling thread, once the main loop has stopped: writes
    // every change not known to be on disk, those of a write still in
    // flight included (that write stands down if it has not taken the lock
    // yet; if it has, replaying its changes after it is harmless: each sets
    // its pin's state outright). Returns whether the index was written.
    bool writePendingNow();

    // Decodes a pin's image off the main executor.
    void loadImageAsync(std::string_view id, Completion<PinImage> done);
    // The same for its preview; `missing` for a pin stored without one.
    void loadPreviewAsync(std::string_view id, Completion<PinImage> done);

    // Completes once no image write, index write or deletion is in flight
    // and nothing waits to be written (or the last write failed), with
    // whether the last index write succeeded.
    void whenIdle(Completion<bool> done);
    // Whether start-up found a usable index (or none) and collected garbage.
    bool collectedGarbage() const { return collectedGarbage_; }
    // Index writes attempted so far (successful or not).
    size_t indexWrites() const { return indexWrites_; }

    struct Change {
        enum class Kind { open, move, close, forget };
        Kind kind = Kind::open;
        StoredPin pin;
    };
    // Applies one change; returns the ids whose entries it removed for good
    // (forgotten or evicted), whose images may go.
    static std::vector<std::string> apply(PinStoreIndex& index, const Change& change);

private:
    struct IndexWrite {
        bool written = false;
        PinStoreIndex index;
        std::vector<std::string> released;
    };
    static IndexWrite writeIndex(const CaptureArtifactDirectory& folder, const std::vector<Change>& changes,
                                 const std::atomic<bool>* standDown = nullptr);

    void load();
    void change(Change next);
    void scheduleFlush(std::chrono::milliseconds delay);
    void flush();
    void finishFlush(IndexWrite result, std::vector<Change> sent);
    void deleteReleasedImages();
    void checkIdle();

    CaptureArtifactDirectory folder_;
    Executor& main_;
    Executor& background_;
    BackgroundImageWriter& writer_;
    Options options_;

    PinStoreIndex index_;
    std::vector<Change> unsent_;
    std::vector<Change> inFlight_;
    std::shared_ptr<std::atomic<bool>> standDown_;  // of the write in flight
    std::set<std::string, std::less<>> released_;       // ids whose images may go once no entry names them
    std::set<std::string, std::less<>> writingImages_;  // adds in flight
    bool collectedGarbage_ = false;
    bool flushing_ = false;
    bool flushAgain_ = false;
    bool lastWriteSucceeded_ = true;
    uint64_t timerGeneration_ = 0;
    std::chrono::milliseconds retryDelay_{0};
    int pendingDeletions_ = 0;
    size_t indexWrites_ = 0;
    std::vector<Completion<bool>> idleWaiters_;
    LifetimeToken lifetime_;  // last: invalidated first
};

}  // namespace tessarin
