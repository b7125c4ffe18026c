#include "core/capture/CaptureHistoryStore.h"

#include <algorithm>

#include "core/capture/HistoryRetention.h"
#include "core/capture/Uuid.h"
#include "core/common/Log.h"

namespace tessarin {
namespace fs = std::filesystem;
namespace {

constexpr const char* kImages = "images";
constexpr const char* kThumbnails = "thumbnails";
constexpr double kSecondsPerDay = 24 * 60 * 60;

void logStorage(const std::string& message) { logLine(LogLevel::error, LogCategory::storage, message); }

double secondsSinceReferenceDate() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() - kReferenceDateOffset;
}

std::set<std::string, std::less<>> idsOf(const std::vector<CaptureHistoryItem>& items) {
    std::set<std::string, std::less<>> ids;
    for (const auto& item : items) ids.insert(item.id);
    return ids;
}

}  // namespace

CaptureArtifactDirectory CaptureHistoryStore::defaultDirectory(const fs::path& root) {
    return CaptureArtifactDirectory(root, {kImages, kThumbnails});
}

CaptureHistoryStore::CaptureHistoryStore(CaptureArtifactDirectory folder, Executor& main, Executor& background,
                                         BackgroundImageWriter& writer)
    : CaptureHistoryStore(std::move(folder), main, background, writer, Options{}) {}

CaptureHistoryStore::CaptureHistoryStore(CaptureArtifactDirectory folder, Executor& main, Executor& background,
                                         BackgroundImageWriter& writer, Options options)
    : folder_(std::move(folder)), main_(main), background_(background), writer_(writer), options_(std::move(options)) {
    if (!options_.now) options_.now = secondsSinceReferenceDate;
    load();
}

void CaptureHistoryStore::load() {
    folder_.ensureDirectories();
    const auto read = folder_.readIndex(CaptureHistoryIndex::maxBytes);
    const std::string where = folder_.indexPath().string();
    switch (read.kind) {
        case CaptureArtifactDirectory::IndexRead::Kind::missing: break;
        case CaptureArtifactDirectory::IndexRead::Kind::failed:
            // Possibly passing (I/O error): keep the file, start empty, and let
            // the next index write merge into it once it reads again.
            logStorage("index load failed at " + where + ", GC skipped: " + read.reason);
            return;
        case CaptureArtifactDirectory::IndexRead::Kind::unusable:
            logStorage("index load failed at " + where + ", GC skipped: " + read.reason);
            folder_.setIndexAside(read, CaptureHistoryIndex::maxBytes, read.reason);
            return;
        case CaptureArtifactDirectory::IndexRead::Kind::text: {
            auto parsed = CaptureHistoryIndex::parse(read.text);
            if (!parsed) {
                logStorage("index load failed at " + where + ", GC skipped: " + parsed.error());
                folder_.setIndexAside(read, CaptureHistoryIndex::maxBytes, parsed.error());
                return;
            }
            items_ = std::move(parsed->items);
            if (parsed->dropped > 0) {
                logStorage("index load at " + where + " dropped " + std::to_string(parsed->dropped) +
                           " unusable items, GC skipped");
                return;
            }
            break;
        }
    }
    if (folder_.hasSetAsideIndex()) {
        logStorage("GC skipped at " + folder_.root().string() + ": an index set aside earlier is waiting there");
        return;
    }
    std::set<std::string, std::less<>> images, thumbnails;
    for (const auto& item : items_) {
        images.insert(item.imageFilename);
        thumbnails.insert(item.thumbnailFilename());
    }
    folder_.collectGarbage(kImages, images, options_.garbageGrace);
    folder_.collectGarbage(kThumbnails, thumbnails, options_.garbageGrace);
    collectedGarbage_ = true;
}

// ---- lookups ----------------------------------------------------------------

const CaptureHistoryItem* CaptureHistoryStore::item(std::string_view id) const {
    const auto it = std::find_if(items_.begin(), items_.end(), [id](const auto& item) { return item.id == id; });
    return it == items_.end() ? nullptr : &*it;
}

std::vector<CaptureHistoryItem> CaptureHistoryStore::quickAccessItems() const {
    std::vector<CaptureHistoryItem> shown;
    std::copy_if(items_.begin(), items_.end(), std::back_inserter(shown), [](const auto& item) { return item.isQuickAccess; });
    return shown;
}

std::optional<fs::path> CaptureHistoryStore::fileURL(const CaptureHistoryItem& entry) const {
    std::error_code error;
    if (fs::path full = folder_.folder(kImages) / entry.imageFilename; fs::is_regular_file(full, error)) return full;
    if (fs::path small = folder_.folder(kThumbnails) / entry.thumbnailFilename(); fs::is_regular_file(small, error)) return small;
    return std::nullopt;
}

void CaptureHistoryStore::loadImageAsync(std::string_view id, Completion<DecodeResult> done) {
    const CaptureHistoryItem* entry = item(id);
    std::optional<fs::path> path = entry ? fileURL(*entry) : std::nullopt;
    runInBackground<DecodeResult>(
        background_, main_,
        [path = std::move(path)]() -> DecodeResult {
            if (!path) return unexpected(DecodeError{DecodeError::Kind::fileSystem, "no image file for this item"});
            return decodeImageFile(*path);
        },
        std::move(done));
}

void CaptureHistoryStore::loadThumbnailAsync(std::string_view id, Completion<DecodeResult> done) {
    const CaptureHistoryItem* entry = item(id);
    std::optional<fs::path> path;
    if (entry) path = folder_.folder(kThumbnails) / entry->thumbnailFilename();
    runInBackground<DecodeResult>(
        background_, main_,
        [path = std::move(path)]() -> DecodeResult {
            if (!path) return unexpected(DecodeError{DecodeError::Kind::fileSystem, "no such history item"});
            return decodeImageFile(*path);
        },
        std::move(done));
}

// ---- captures and edits -------------------------------------------------------

void CaptureHistoryStore::enqueue(Mutation mutation) {
    if (!lifetime_.alive()) return;  // shut down: `mutation` and its completion are dropped, as cancelled
    mutations_.push_back(std::move(mutation));
    if (!mutating_) runNextMutation();
}

void CaptureHistoryStore::runNextMutation() {
    if (mutations_.empty()) {
        mutating_ = false;
        checkIdle();
        return;
    }
    mutating_ = true;
    Mutation next = std::move(mutations_.front());
    mutations_.pop_front();
    next([this] { main_.post(lifetime_.guard([this] { runNextMutation(); })); });
}

void CaptureHistoryStore::record(SharedImage image, std::optional<CaptureSessionInfo> session, int maxCount,
                                 int maxAgeDays, Completion<Result> done) {
    CaptureHistoryItem entry;
    if (session) {
        entry.captureID = session->captureID;
        entry.sourceMode = session->mode;
    }
    enqueue([this, entry = std::move(entry), image = std::move(image), maxCount, maxAgeDays,
             done = std::move(done)](Task finished) mutable {
        entry.id = newUUIDString();
        entry.imageFilename = entry.id + ".png";
        entry.createdAt = now();
        performRecord(std::move(entry), std::move(image), maxCount, maxAgeDays, std::move(done), std::move(finished),
                      [](CaptureHistoryItem written) { return std::optional(std::move(written)); });
    });
}

void CaptureHistoryStore::addQuickAccessItem(SharedImage image, int maxCount, int maxAgeDays, Completion<Result> done) {
    enqueue([this, image = std::move(image), maxCount, maxAgeDays, done = std::move(done)](Task finished) mutable {
        CaptureHistoryItem entry;
        entry.id = newUUIDString();
        entry.imageFilename = entry.id + ".png";
        entry.createdAt = now();
        entry.isQuickAccess = true;
        performRecord(std::move(entry), std::move(image), maxCount, maxAgeDays, std::move(done), std::move(finished),
                      [](CaptureHistoryItem written) { return std::optional(std::move(written)); });
    });
}

void CaptureHistoryStore::replaceImage(std::string id, SharedImage image, int maxCount, int maxAgeDays,
                                       Completion<Result> done) {
    enqueue([this, id = std::move(id), image = std::move(image), maxCount, maxAgeDays,
             done = std::move(done)](Task finished) mutable {
        const CaptureHistoryItem* existing = item(id);
        if (!existing) {
            logStorage("history edit dropped: no item " + id);
            done(std::nullopt);
            finished();
            return;
        }
        // The edit owns the image files, the pixel size and the annotated
        // flag; everything else is taken from the item as it is once the
        // files are written, since a pin, a flag, a delete or another
        // process may have changed it meanwhile.
        performRecord(*existing, std::move(image), maxCount, maxAgeDays, std::move(done), std::move(finished),
                      [this](CaptureHistoryItem written) -> std::optional<CaptureHistoryItem> {
                          const CaptureHistoryItem* current = item(written.id);
                          if (!current) return std::nullopt;
                          CaptureHistoryItem edited = *current;
                          edited.imageFilename = written.imageFilename;
                          edited.pixelWidth = written.pixelWidth;
                          edited.pixelHeight = written.pixelHeight;
                          edited.isAnnotated = true;
                          fullResolutionRemoved_.erase(edited.id);  // written again; pruning decides anew
                          return edited;
                      });
    });
}

void CaptureHistoryStore::performRecord(CaptureHistoryItem entry, SharedImage image, int maxCount, int maxAgeDays,
                                        Completion<Result> done, Task finished, Admit admit) {
    if (!image || image->isEmpty()) {
        done(std::nullopt);
        finished();
        return;
    }
    folder_.ensureDirectories();
    entry.pixelWidth = image->width();
    entry.pixelHeight = image->height();
    const fs::path full = folder_.folder(kImages) / entry.imageFilename;
    const fs::path small = folder_.folder(kThumbnails) / entry.thumbnailFilename();
    writer_.writeHistoryImages(
        std::move(image), full, small, [](const Image& source) { return makeThumbnail(source, thumbnailBounds); },
        lifetime_.guard([this, entry = std::move(entry), maxCount, maxAgeDays, done = std::move(done),
                         finished = std::move(finished), admit = std::move(admit)](WriteResult written) mutable {
            if (!written) {
                logStorage("history image write failed for " + entry.id + ": " + written.error().description());
                done(std::nullopt);
                finished();
                return;
            }
            std::optional<CaptureHistoryItem> admitted = admit(entry);
            if (!admitted) {
                // Removed while its files were written (perhaps because of
                // what they show): the files go too.
                logStorage("history edit dropped: item " + entry.id + " was removed meanwhile");
                deleteFiles({{kImages, entry.imageFilename}, {kThumbnails, entry.thumbnailFilename()}});
                done(std::nullopt);
                finished();
                return;
            }
            change({*admitted, admitted->id});
            prune(maxCount, maxAgeDays);
            flush();
            notifyChanged();
            done(std::move(*admitted));
            finished();
        }));
}

// ---- changes --------------------------------------------------------------------

void CaptureHistoryStore::apply(std::vector<CaptureHistoryItem>& items, const Operation& operation) {
    const auto it = std::find_if(items.begin(), items.end(), [&](const auto& item) { return item.id == operation.id; });
    if (!operation.put) {
        if (it != items.end()) items.erase(it);
        return;
    }
    if (it != items.end()) {
        *it = *operation.put;  // an edit or a flag change keeps the item's place
        return;
    }
    const double createdAt = operation.put->createdAt;
    const auto before = std::find_if(items.begin(), items.end(), [createdAt](const auto& item) { return item.createdAt < createdAt; });
    items.insert(before, *operation.put);
}

void CaptureHistoryStore::change(Operation operation) {
    apply(items_, operation);
    unsent_.push_back(std::move(operation));
}

void CaptureHistoryStore::remove(const std::vector<std::string>& ids) {
    if (ids.empty()) return;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> removed;
    for (const auto& id : ids) {
        const CaptureHistoryItem* entry = item(id);
        if (!entry) continue;
        files.emplace_back(kImages, entry->imageFilename);
        files.emplace_back(kThumbnails, entry->thumbnailFilename());
        fullResolutionRemoved_.erase(id);
        removed.push_back(id);
        change({std::nullopt, id});
    }
    deleteFiles(std::move(files));
    if (!removed.empty()) notifyRemoved(removed);
}

void CaptureHistoryStore::deleteFiles(std::vector<std::pair<std::string, std::string>> files) {
    if (files.empty()) return;
    ++pendingDeletions_;
    auto deleted = lifetime_.guard([this] {
        --pendingDeletions_;
        checkIdle();
    });
    background_.post([&main = main_, folder = folder_, files = std::move(files), deleted = std::move(deleted)]() mutable {
        for (const auto& [subfolder, name] : files) folder.removeFile(name, subfolder);
        main.post(std::move(deleted));
    });
}

void CaptureHistoryStore::prune(int maxCount, int maxAgeDays) {
    remove(HistoryRetention::itemsToEvict(items_, maxCount, maxAgeDays * kSecondsPerDay, now()));
    pruneFullResolutionImages();
    flush();
}

void CaptureHistoryStore::pruneFullResolutionImages() {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& id : HistoryRetention::fullResolutionItemsToEvict(items_, options_.fullResolutionRecentCount)) {
        if (!fullResolutionRemoved_.insert(id).second) continue;
        files.emplace_back(kImages, item(id)->imageFilename);
    }
    deleteFiles(std::move(files));
}

void CaptureHistoryStore::deleteItem(std::string_view id) {
    if (!item(id)) return;
    remove({std::string(id)});
    flush();
    notifyChanged();
}

void CaptureHistoryStore::clearAll() {
    std::vector<std::string> ids;
    for (const auto& entry : items_) ids.push_back(entry.id);
    remove(ids);
    flush();
    notifyChanged();
}

void CaptureHistoryStore::setPinned(std::string_view id, bool pinned) {
    setFlag(id, &CaptureHistoryItem::isPinned, pinned);
}

void CaptureHistoryStore::setQuickAccess(std::string_view id, bool shown) {
    setFlag(id, &CaptureHistoryItem::isQuickAccess, shown);
}

void CaptureHistoryStore::setFlag(std::string_view id, bool CaptureHistoryItem::*flag, bool value) {
    const CaptureHistoryItem* entry = item(id);
    if (!entry || entry->*flag == value) return;
    CaptureHistoryItem updated = *entry;
    updated.*flag = value;
    change({updated, updated.id});
    pruneFullResolutionImages();
    flush();
    notifyChanged();
}

void CaptureHistoryStore::reconcilePinnedIDs(const std::set<std::string, std::less<>>& pinnedIDs) {
    std::vector<CaptureHistoryItem> changed;
    for (const auto& entry : items_) {
        if (entry.isPinned != pinnedIDs.contains(entry.id)) {
            changed.push_back(entry);
            changed.back().isPinned = !entry.isPinned;
        }
    }
    for (auto& entry : changed) change({entry, entry.id});
    pruneFullResolutionImages();
    flush();
    if (!changed.empty()) notifyChanged();
}

// ---- the index --------------------------------------------------------------------

CaptureHistoryStore::IndexWrite CaptureHistoryStore::writeIndex(const CaptureArtifactDirectory& folder,
                                                                const std::vector<Operation>& operations) {
    using Read = CaptureArtifactDirectory::IndexRead;
    IndexWrite result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::optional<std::pair<Read, std::string>> unreadable;  // as read, reason
        result.written = folder.updateIndex(CaptureHistoryIndex::maxBytes, [&](const Read& current) -> std::optional<std::string> {
            std::vector<CaptureHistoryItem> items;
            if (current.kind == Read::Kind::unusable) {
                unreadable.emplace(current, current.reason);
                return std::nullopt;
            }
            if (current.kind == Read::Kind::text) {
                auto parsed = CaptureHistoryIndex::parse(current.text);
                if (!parsed) {
                    unreadable.emplace(current, parsed.error());
                    return std::nullopt;
                }
                items = std::move(parsed->items);
            }
            for (const auto& operation : operations) apply(items, operation);
            result.items = std::move(items);
            return CaptureHistoryIndex::serialize(result.items);
        });
        if (!unreadable) return result;
        // Broken since start-up: keep it for a person, then write ours.
        result.written = false;
        if (!folder.setIndexAside(unreadable->first, CaptureHistoryIndex::maxBytes, unreadable->second)) break;
    }
    return result;
}

void CaptureHistoryStore::flush() {
    if (unsent_.empty()) return;
    if (flushing_) {
        flushAgain_ = true;
        return;
    }
    flushing_ = true;
    std::vector<Operation> sent = std::move(unsent_);
    unsent_.clear();
    auto written = lifetime_.guard([this](IndexWrite& result, std::vector<Operation>& operations) {
        finishFlush(std::move(result), std::move(operations));
    });
    background_.post([&main = main_, folder = folder_, sent = std::move(sent), written = std::move(written)]() mutable {
        IndexWrite result = writeIndex(folder, sent);
        main.post([result = std::move(result), sent = std::move(sent), written = std::move(written)]() mutable {
            written(result, sent);
        });
    });
}

void CaptureHistoryStore::finishFlush(IndexWrite result, std::vector<Operation> sent) {
    flushing_ = false;
    lastWriteSucceeded_ = result.written;
    if (result.written) {
        // The index as written, with the changes made since on top.
        for (const auto& operation : unsent_) apply(result.items, operation);
        const auto now = idsOf(result.items);
        std::vector<std::string> removedElsewhere;
        for (const auto& entry : items_) {
            if (!now.contains(entry.id)) removedElsewhere.push_back(entry.id);
        }
        const bool changed = result.items != items_;
        items_ = std::move(result.items);
        for (const auto& id : removedElsewhere) fullResolutionRemoved_.erase(id);
        if (!removedElsewhere.empty()) notifyRemoved(removedElsewhere);
        if (changed) notifyChanged();
    } else {
        // Nothing reached the disk: these changes go out with the next write.
        sent.insert(sent.end(), std::make_move_iterator(unsent_.begin()), std::make_move_iterator(unsent_.end()));
        unsent_ = std::move(sent);
    }
    if (std::exchange(flushAgain_, false) && result.written) flush();
    checkIdle();
}

// ---- observers ------------------------------------------------------------------

Subscription CaptureHistoryStore::addObserver(CaptureHistoryObserver& observer) { return observers_.add(&observer); }

void CaptureHistoryStore::notifyRemoved(const std::vector<std::string>& ids) {
    observers_.notify([&ids](CaptureHistoryObserver* observer) { observer->captureHistoryItemsRemoved(ids); });
}

void CaptureHistoryStore::notifyChanged() {
    observers_.notify([](CaptureHistoryObserver* observer) { observer->captureHistoryItemsChanged(); });
}

void CaptureHistoryStore::whenIdle(Completion<bool> done) {
    if (!lifetime_.alive()) return;  // shut down: `done` hears "cancelled"
    idleWaiters_.push_back(std::move(done));
    main_.post(lifetime_.guard([this] { checkIdle(); }));
}

void CaptureHistoryStore::shutdown() {
    if (!lifetime_.alive()) return;
    lifetime_.invalidate();
    // Destroyed outside the store's state: their completions may call back in.
    auto queued = std::move(mutations_);
    auto waiters = std::move(idleWaiters_);
    mutations_.clear();
    idleWaiters_.clear();
}

void CaptureHistoryStore::checkIdle() {
    if (mutating_ || flushing_ || pendingDeletions_ > 0 || idleWaiters_.empty()) return;
    auto waiters = std::move(idleWaiters_);
    idleWaiters_.clear();
    for (auto& done : waiters) done(lastWriteSucceeded_);
}

}  // namespace tessarin
