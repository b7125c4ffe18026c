#include "core/pins/PinStore.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "core/capture/Thumbnail.h"
#include "core/capture/Uuid.h"
#include "core/common/Log.h"
#include "core/common/PosixFiles.h"
#include "core/pins/PinPlacement.h"
#include "render/ImageDecoder.h"

namespace tessarin {
namespace fs = std::filesystem;
namespace {

constexpr const char* kImages = "images";
constexpr const char* kPreviews = "previews";

void logStorage(const std::string& message) { logLine(LogLevel::error, LogCategory::storage, message); }

void removeID(std::vector<StoredPin>& pins, std::string_view id) {
    std::erase_if(pins, [id](const StoredPin& pin) { return pin.id == id; });
}

}  // namespace

CaptureArtifactDirectory PinStore::defaultDirectory(const fs::path& root) {
    return CaptureArtifactDirectory(root, {kImages, kPreviews});
}

// Decodes the file at `path` off the main executor, telling a missing file
// from one that cannot be read or decoded.
static PinImage decodePinFile(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        return {PinImage::Kind::missing, nullptr, "Failed to load screenshot image"};
    }
    auto decoded = decodeImageFile(path);
    if (!decoded) {
        const bool unreadable = decoded.error().kind == DecodeError::Kind::fileSystem;
        return {PinImage::Kind::unreadable, nullptr,
                std::string(unreadable ? "Failed to load screenshot image" : "Failed to decode screenshot image") + ": " +
                    decoded.error().message};
    }
    return {PinImage::Kind::loaded, std::make_shared<const Image>(std::move(*decoded)), {}};
}

PinStore::PinStore(CaptureArtifactDirectory folder, Executor& main, Executor& background, BackgroundImageWriter& writer,
                   Options options)
    : folder_(std::move(folder)), main_(main), background_(background), writer_(writer), options_(std::move(options)) {
    load();
}

void PinStore::load() {
    folder_.ensureDirectories();
    const auto read = folder_.readIndex(PinIndexCodec::maxBytes);
    const std::string where = folder_.indexPath().string();
    using Kind = CaptureArtifactDirectory::IndexRead::Kind;
    switch (read.kind) {
        case Kind::missing: break;
        case Kind::failed:
            // Perhaps passing: keep the file, show no pins this time, and
            // write nothing over it until it reads again.
            logStorage("pins index load failed at " + where + ", GC skipped: " + read.reason);
            return;
        case Kind::unusable:
            logStorage("pins index load failed at " + where + ", GC skipped: " + read.reason);
            folder_.setIndexAside(read, PinIndexCodec::maxBytes, read.reason);
            return;
        case Kind::text: {
            auto parsed = PinIndexCodec::parse(read.text);
            if (!parsed) {
                logStorage("pins index load failed at " + where + ", GC skipped: " + parsed.error());
                folder_.setIndexAside(read, PinIndexCodec::maxBytes, parsed.error());
                return;
            }
            index_ = std::move(parsed->index);
            if (parsed->framesReset > 0) {
                logStorage("pins index at " + where + ": " + std::to_string(parsed->framesReset) +
                           " pins without a usable frame open at their default size");
            }
            const size_t dropped = parsed->droppedUnsafeIDs + parsed->droppedOther;
            if (dropped > 0) {
                logStorage("pins index at " + where + " dropped " + std::to_string(parsed->droppedUnsafeIDs) +
                           " entries with unsafe ids and " + std::to_string(parsed->droppedOther) +
                           " other unusable entries, GC skipped");
                return;
            }
            break;
        }
    }
    if (folder_.hasSetAsideIndex()) {
        logStorage("GC skipped at " + folder_.root().string() + ": a pins index set aside earlier is waiting there");
        return;
    }
    std::set<std::string, std::less<>> images, previews;
    for (const auto* list : {&index_.pins, &index_.recentlyClosed}) {
        for (const auto& pin : *list) {
            images.insert(pin.imageFilename());
            previews.insert(pin.id + ".jpg");
        }
    }
    folder_.collectGarbage(kImages, images, options_.garbageGrace);
    folder_.collectGarbage(kPreviews, previews, options_.garbageGrace);
    collectedGarbage_ = true;
}

std::set<std::string, std::less<>> PinStore::openIDs() const {
    std::set<std::string, std::less<>> ids;
    for (const auto& pin : index_.pins) ids.insert(pin.id);
    return ids;
}

fs::path PinStore::imagePath(std::string_view id) const { return folder_.folder(kImages) / (std::string(id) + ".png"); }
fs::path PinStore::previewPath(std::string_view id) const { return folder_.folder(kPreviews) / (std::string(id) + ".jpg"); }

// ---- changes ----------------------------------------------------------------------

std::vector<std::string> PinStore::apply(PinStoreIndex& index, const Change& change) {
    const std::string& id = change.pin.id;
    switch (change.kind) {
        case Change::Kind::open:
            removeID(index.pins, id);
            removeID(index.recentlyClosed, id);
            index.pins.push_back(change.pin);
            return {};
        case Change::Kind::move:
            for (auto& pin : index.pins) {
                if (pin.id == id) pin = change.pin;
            }
            return {};
        case Change::Kind::close: {
            removeID(index.pins, id);
            removeID(index.recentlyClosed, id);
            std::vector<std::string> released;
            for (auto& evicted : PinPlacement::appendBounded(index.recentlyClosed, change.pin, recentlyClosedCap)) {
                released.push_back(std::move(evicted.id));
            }
            return released;
        }
        case Change::Kind::forget:
            removeID(index.pins, id);
            removeID(index.recentlyClosed, id);
            return {id};
    }
    return {};
}

void PinStore::change(Change next) {
    for (auto& id : apply(index_, next)) released_.insert(std::move(id));
    unsent_.push_back(std::move(next));
    scheduleFlush(options_.debounce);
}

void PinStore::add(std::string id, SharedImage image, std::optional<Rect> frame, uint32_t screenID,
                   Completion<PinAddResult> done) {
    if (!lifetime_.alive()) return;
    if (!isUUIDString(id)) {
        done(unexpected(ExportError::cannotCreateImageFile()));
        return;
    }
    folder_.ensureDirectories();
    writingImages_.insert(id);
    StoredPin pin{id, frame, screenID};
    auto preview = [](const Image& source) { return makeThumbnail(source, {previewWidth, previewHeight}); };
    writer_.writeHistoryImages(
        std::move(image), imagePath(id), previewPath(id), preview,
                  lifetime_.guard([this, pin = std::move(pin), done = std::move(done)](WriteResult written) mutable {
                      writingImages_.erase(pin.id);
                      if (!written) {
                          logStorage("pin image write failed for " + pin.id + ": " + written.error().description());
                          done(unexpected(written.error()));
                          checkIdle();
                          return;
                      }
                      released_.erase(pin.id);  // its image is wanted again
                      change({Change::Kind::open, pin});
                      done(pin);
                  }));
}

void PinStore::updatePinFrame(std::string_view id, Rect frame, uint32_t screenID) {
    if (!index_.isOpen(id)) return;
    change({Change::Kind::move, StoredPin{std::string(id), frame, screenID}});
}

void PinStore::closePin(std::string_view id, std::optional<Rect> finalFrame, uint32_t screenID) {
    if (!index_.isOpen(id)) return;
    change({Change::Kind::close, StoredPin{std::string(id), finalFrame, screenID}});
}

std::optional<StoredPin> PinStore::reopenMostRecentlyClosed() {
    if (index_.recentlyClosed.empty()) return std::nullopt;
    StoredPin pin = index_.recentlyClosed.back();
    change({Change::Kind::open, pin});
    flushNow();
    return pin;
}

void PinStore::forget(std::string_view id) {
    if (!index_.names(id) && !writingImages_.contains(id)) {
        // Not listed, but its image may be on disk (a failed add): remove it.
        released_.insert(std::string(id));
        deleteReleasedImages();
        return;
    }
    change({Change::Kind::forget, StoredPin{std::string(id), std::nullopt, 0}});
}

// ---- writing ----------------------------------------------------------------------

void PinStore::scheduleFlush(std::chrono::milliseconds delay) {
    const uint64_t generation = ++timerGeneration_;
    auto fire = lifetime_.guard([this, generation] {
        if (generation == timerGeneration_) flush();
    });
    if (!options_.delay) {
        main_.post(std::move(fire));
        return;
    }
    options_.delay(delay, std::move(fire));
}

void PinStore::flushNow() {
    ++timerGeneration_;  // the pending pause is over
    flush();
}

PinStore::IndexWrite PinStore::writeIndex(const CaptureArtifactDirectory& folder, const std::vector<Change>& changes,
                                          const std::atomic<bool>* standDown) {
    using Read = CaptureArtifactDirectory::IndexRead;
    IndexWrite result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::optional<std::pair<Read, std::string>> unreadable;
        result.released.clear();
        result.written = folder.updateIndex(PinIndexCodec::maxBytes, [&](const Read& current) -> std::optional<std::string> {
            PinStoreIndex index;
            if (standDown && standDown->load()) return std::nullopt;  // the quit's own write has it
            if (current.kind == Read::Kind::unusable) {
                unreadable.emplace(current, current.reason);
                return std::nullopt;
            }
            if (current.kind == Read::Kind::text) {
                auto parsed = PinIndexCodec::parse(current.text);
                if (!parsed) {
                    unreadable.emplace(current, parsed.error());
                    return std::nullopt;
                }
                index = std::move(parsed->index);
            }
            for (const auto& change : changes) {
                for (auto& id : apply(index, change)) result.released.push_back(std::move(id));
            }
            result.index = std::move(index);
            return PinIndexCodec::serialize(result.index);
        });
        if (standDown && standDown->load()) result.written = false;
        if (!unreadable) return result;
        // Damaged since start-up: keep it for a person, then write ours.
        result.written = false;
        if (!folder.setIndexAside(unreadable->first, PinIndexCodec::maxBytes, unreadable->second)) break;
    }
    return result;
}

void PinStore::flush() {
    if (unsent_.empty() || !lifetime_.alive()) return;
    if (flushing_) {
        flushAgain_ = true;
        return;
    }
    flushing_ = true;
    ++indexWrites_;
    std::vector<Change> sent = std::move(unsent_);
    unsent_.clear();
    inFlight_ = sent;
    standDown_ = std::make_shared<std::atomic<bool>>(false);
    auto written = lifetime_.guard([this](IndexWrite& result, std::vector<Change>& changes) {
        finishFlush(std::move(result), std::move(changes));
    });
    background_.post([&main = main_, folder = folder_, sent = std::move(sent), standDown = standDown_,
                      written = std::move(written)]() mutable {
        IndexWrite result = writeIndex(folder, sent, standDown.get());
        main.post([result = std::move(result), sent = std::move(sent), written = std::move(written)]() mutable {
            written(result, sent);
        });
    });
}

void PinStore::finishFlush(IndexWrite result, std::vector<Change> sent) {
    flushing_ = false;
    inFlight_.clear();
    lastWriteSucceeded_ = result.written;
    if (result.written) {
        logLine(LogLevel::debug, LogCategory::storage, "pins.index_write changes=" + std::to_string(sent.size()));
        retryDelay_ = std::chrono::milliseconds(0);
        // The index as written, with the changes made since on top.
        for (const auto& change : unsent_) {
            for (auto& id : apply(result.index, change)) released_.insert(std::move(id));
        }
        for (auto& id : result.released) released_.insert(std::move(id));
        index_ = std::move(result.index);
        deleteReleasedImages();
        if (std::exchange(flushAgain_, false)) flush();
    } else {
        // Nothing reached the disk: these changes go out with the next
        // write, which comes after a pause even if nothing else changes.
        sent.insert(sent.end(), std::make_move_iterator(unsent_.begin()), std::make_move_iterator(unsent_.end()));
        unsent_ = std::move(sent);
        flushAgain_ = false;
        retryDelay_ = retryDelay_.count() == 0 ? options_.firstRetry
                                               : std::min(retryDelay_ * 2, options_.longestRetry);
        logStorage("pins index write failed; trying again in " + std::to_string(retryDelay_.count()) + " ms");
        scheduleFlush(retryDelay_);
    }
    checkIdle();
}

void PinStore::deleteReleasedImages() {
    std::vector<std::pair<const char*, std::string>> names;
    for (auto it = released_.begin(); it != released_.end();) {
        // Only when the index on disk (and ours) names it nowhere: not
        // while unwritten changes might still list it, nor while it is
        // being written for a new pin.
        if (index_.names(*it) || writingImages_.contains(*it) || !unsent_.empty()) {
            ++it;
            continue;
        }
        names.emplace_back(kImages, *it + ".png");
        names.emplace_back(kPreviews, *it + ".jpg");
        it = released_.erase(it);
    }
    if (names.empty()) return;
    ++pendingDeletions_;
    auto deleted = lifetime_.guard([this] {
        --pendingDeletions_;
        checkIdle();
    });
    background_.post([&main = main_, folder = folder_, names = std::move(names), deleted = std::move(deleted)]() mutable {
        for (const auto& [subfolder, name] : names) folder.removeFile(name, subfolder);
        main.post(std::move(deleted));
    });
}

bool PinStore::writePendingNow() {
    std::vector<Change> changes;
    if (flushing_) {
        standDown_->store(true);
        changes = inFlight_;
    }
    changes.insert(changes.end(), unsent_.begin(), unsent_.end());
    ++timerGeneration_;
    if (changes.empty()) return lastWriteSucceeded_;
    ++indexWrites_;
    const IndexWrite result = writeIndex(folder_, changes);
    if (result.written) unsent_.clear();
    lastWriteSucceeded_ = result.written;
    return result.written;
}

// ---- images ----------------------------------------------------------------------

void PinStore::loadImageAsync(std::string_view id, Completion<PinImage> done) {
    runInBackground<PinImage>(background_, main_, [path = imagePath(id)] { return decodePinFile(path); }, std::move(done));
}

void PinStore::loadPreviewAsync(std::string_view id, Completion<PinImage> done) {
    runInBackground<PinImage>(background_, main_, [path = previewPath(id)] { return decodePinFile(path); }, std::move(done));
}

// ---- lifetime ----------------------------------------------------------------------

void PinStore::whenIdle(Completion<bool> done) {
    if (!lifetime_.alive()) return;
    idleWaiters_.push_back(std::move(done));
    main_.post(lifetime_.guard([this] { checkIdle(); }));
}

void PinStore::checkIdle() {
    if (flushing_ || pendingDeletions_ > 0 || !writingImages_.empty() || idleWaiters_.empty()) return;
    if (!unsent_.empty() && lastWriteSucceeded_) return;  // a write is coming
    auto waiters = std::move(idleWaiters_);
    idleWaiters_.clear();
    for (auto& done : waiters) done(lastWriteSucceeded_);
}

void PinStore::shutdown() {
    if (!lifetime_.alive()) return;
    lifetime_.invalidate();
    auto waiters = std::move(idleWaiters_);
    idleWaiters_.clear();
}

}  // namespace tessarin
