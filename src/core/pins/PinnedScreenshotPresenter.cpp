#include "core/pins/PinnedScreenshotPresenter.h"

#include "core/capture/Uuid.h"
#include "core/common/Log.h"

namespace tessarin {
namespace {

void logPins(LogLevel level, const std::string& message) { logLine(level, LogCategory::storage, message); }

}  // namespace

PinnedScreenshotPresenter::PinnedScreenshotPresenter(PinStore& store, PinWindowHost& windows, PinHistoryLink& history,
                                                     FlowAlerts& alerts)
    : store_(store), windows_(windows), history_(history), alerts_(alerts) {}

Size PinnedScreenshotPresenter::imageSize(const SharedImage& image) const {
    return {static_cast<double>(image->width()), static_cast<double>(image->height())};
}

bool PinnedScreenshotPresenter::isShown(std::string_view id) const {
    const auto it = open_.find(id);
    return it != open_.end() && it->second.frame.has_value();
}

size_t PinnedScreenshotPresenter::shownCount() const {
    size_t shown = 0;
    for (const auto& [id, window] : open_) shown += window.frame ? 1 : 0;
    return shown;
}

std::optional<uint32_t> PinnedScreenshotPresenter::screenIDOf(const Rect& frame) {
    const auto screen = PinPlacement::screenOf(frame, windows_.liveScreens());
    if (!screen) return std::nullopt;
    return screen->displayID;
}

void PinnedScreenshotPresenter::show(const std::string& id, SharedImage image, std::optional<Rect> frame,
                                     bool complete) {
    const Size size = imageSize(image);
    open_[id] = Window{image, frame, complete};
    if (!frame) {
        logPins(LogLevel::info, "pin.placement deferred id=" + id + " reason=no_display");
        return;
    }
    // The minimum depends on the image's proportions only, so a preview gives the same.
    windows_.open(id, std::move(image), *frame, PinPlacement::minimumSize(size, {frame->width, frame->height}), complete);
}

// ---- pinning ------------------------------------------------------------------------

void PinnedScreenshotPresenter::pin(SharedImage image, std::shared_ptr<CapturePersistenceTicket> historyItem) {
    if (!image || image->isEmpty()) return;
    if (!historyItem) return pin(std::move(image), newUUIDString(), false);
    historyItem->value(lifetime_.guard([this, image](CapturePersistenceTicket::Result item) {
        if (item) return pin(image, item->id, true);
        pin(image, newUUIDString(), false);
    }));
}

void PinnedScreenshotPresenter::pin(SharedImage image, const std::string& id, bool linkedToHistory) {
    if (!image || image->isEmpty()) return;
    if (open_.contains(id)) {
        if (isShown(id)) windows_.raise(id);
        return;
    }
    const auto screens = windows_.liveScreens();
    std::optional<Rect> frame;
    uint32_t screenID = 0;
    if (!screens.empty()) {
        const auto under = windows_.screenUnderPointer();
        const PinPlacement::Screen* on = under ? PinPlacement::screenWithID(*under, screens) : nullptr;
        if (!on) on = &screens.front();
        const Size visible{on->visibleFrame.width, on->visibleFrame.height};
        frame = PinPlacement::centred(PinPlacement::windowSize(imageSize(image), visible), on->visibleFrame);
        screenID = on->displayID;
    }
    show(id, image, frame);
    store_.add(id, image, frame, screenID, lifetime_.guard([this, id, linkedToHistory](PinAddResult added) {
        if (!added) {
            if (open_.erase(id) > 0) windows_.close(id);
            store_.forget(id);
            logPins(LogLevel::error, "pin.store failed id=" + id + ": " + added.error().description());
            alerts_.showWarning("Tessarin", added.error().description());
            return;
        }
        if (droppedBeforeStored_.erase(id) > 0) {
            // Unpinned, or its history item removed, while its image was written.
            store_.forget(id);
            return;
        }
        const auto window = open_.find(id);
        if (window == open_.end()) {
            // Closed while its image was written: it is recently closed now.
            const auto closed = closedBeforeStored_.find(id);
            store_.closePin(id, closed == closedBeforeStored_.end() ? std::optional<Rect>() : std::optional<Rect>(closed->second), added->screenID);
            closedBeforeStored_.erase(id);
            return;
        }
        // Moved while its image was written.
        if (window->second.frame && window->second.frame != added->frame) {
            store_.updatePinFrame(id, *window->second.frame, screenIDOf(*window->second.frame).value_or(added->screenID));
        }
        if (linkedToHistory) history_.setPinned(id, true);
    }));
}

void PinnedScreenshotPresenter::unpin(const std::string& id) {
    if (open_.erase(id) > 0) windows_.close(id);
    if (!store_.index().names(id)) droppedBeforeStored_.insert(id);
    store_.forget(id);
    history_.setPinned(id, false);
}

// ---- what the windows report ----------------------------------------------------------

void PinnedScreenshotPresenter::windowMoved(const std::string& id, Rect frame) {
    const auto window = open_.find(id);
    if (window == open_.end()) return;
    window->second.frame = frame;
    store_.updatePinFrame(id, frame, screenIDOf(frame).value_or(0));
}

void PinnedScreenshotPresenter::windowClosed(const std::string& id, Rect frame) {
    if (open_.erase(id) == 0) return;
    if (!store_.isOpen(id)) closedBeforeStored_[id] = frame;
    store_.closePin(id, frame, screenIDOf(frame).value_or(0));
    history_.setPinned(id, false);
}

// ---- bringing pins back ----------------------------------------------------------------

void PinnedScreenshotPresenter::restoreMostRecentlyClosed() {
    const auto pin = store_.reopenMostRecentlyClosed();
    if (!pin) return;
    if (history_.contains(pin->id)) history_.setPinned(pin->id, true);
    store_.loadImageAsync(pin->id, lifetime_.guard([this, pin = *pin](PinImage loaded) {
        if (loaded.kind != PinImage::Kind::loaded) {
            logPins(LogLevel::error, "pin.restore failed id=" + pin.id + ": " + loaded.reason);
            history_.setPinned(pin.id, false);
            // Only a missing file ends a pin; otherwise it waits, closed, for another try.
            if (loaded.kind == PinImage::Kind::missing) store_.forget(pin.id);
            else store_.closePin(pin.id, pin.frame, pin.screenID);
            return;
        }
        if (open_.contains(pin.id) || !store_.isOpen(pin.id)) return;
        const auto screens = windows_.liveScreens();
        std::optional<Rect> frame;
        if (!screens.empty()) frame = PinPlacement::restoredFrame(pin, imageSize(loaded.image), screens, screens.front());
        show(pin.id, loaded.image, frame);
        if (frame && frame != pin.frame) store_.updatePinFrame(pin.id, *frame, screenIDOf(*frame).value_or(pin.screenID));
    }));
}

void PinnedScreenshotPresenter::showRestored(const StoredPin& pin, SharedImage image, bool complete) {
    if (open_.contains(pin.id) || !store_.isOpen(pin.id)) return;
    const auto screens = windows_.liveScreens();
    std::optional<Rect> frame;
    if (!screens.empty()) frame = PinPlacement::restoredFrame(pin, imageSize(image), screens, screens.front());
    show(pin.id, std::move(image), frame, complete);
    if (frame && frame != pin.frame) store_.updatePinFrame(pin.id, *frame, screenIDOf(*frame).value_or(pin.screenID));
}

void PinnedScreenshotPresenter::restoreLoaded(const StoredPin& pin, PinImage full) {
    if (full.kind != PinImage::Kind::loaded) {
        const bool missing = full.kind == PinImage::Kind::missing;
        logPins(missing ? LogLevel::info : LogLevel::error,
                "pin.restore " + std::string(missing ? "dropped" : "skipped") + " id=" + pin.id + ": " + full.reason);
        // A preview shown meanwhile goes: the pin has no image to offer.
        if (open_.erase(pin.id) > 0) windows_.close(pin.id);
        // Only a missing file ends a pin: an I/O error may pass, and a
        // damaged file is a person's to judge.
        if (missing) store_.forget(pin.id);
        return;
    }
    const auto window = open_.find(pin.id);
    if (window == open_.end()) return showRestored(pin, full.image, true);
    window->second.image = full.image;
    window->second.complete = true;
    if (window->second.frame) windows_.setImage(pin.id, full.image);
}

void PinnedScreenshotPresenter::restorePersistedPins(std::function<void(size_t shown)> done) {
    auto pins = std::make_shared<const std::vector<StoredPin>>(store_.index().pins);
    auto finished = [this, done] {
        history_.reconcilePinnedIDs(store_.openIDs());
        if (done) done(shownCount());
    };
    if (pins->empty()) return finished();
    // Every preview first, then the full images: their decoding would
    // otherwise take the processors from the windows being shown.
    auto fullImages = [this, pins, finished] {
        auto remaining = std::make_shared<size_t>(pins->size());
        for (const auto& pin : *pins) {
            store_.loadImageAsync(pin.id, lifetime_.guard([this, pin, remaining, finished](PinImage full) {
                restoreLoaded(pin, std::move(full));
                if (--*remaining == 0) finished();
            }));
        }
    };
    auto previewsLeft = std::make_shared<size_t>(pins->size());
    for (const auto& pin : *pins) {
        store_.loadPreviewAsync(pin.id, lifetime_.guard([this, pin, previewsLeft, fullImages](PinImage preview) {
            if (preview.kind == PinImage::Kind::loaded) showRestored(pin, preview.image, false);
            if (--*previewsLeft == 0) fullImages();
        }));
    }
}

// ---- history and displays ----------------------------------------------------------------

void PinnedScreenshotPresenter::closeOverlays(const std::vector<std::string>& removedHistoryItemIDs) {
    for (const auto& id : removedHistoryItemIDs) {
        const bool shown = open_.erase(id) > 0;
        if (shown) windows_.close(id);
        if (shown && !store_.index().names(id)) droppedBeforeStored_.insert(id);
        if (shown || store_.isOpen(id)) store_.forget(id);
    }
}

void PinnedScreenshotPresenter::restackOverlays() {
    const auto screens = windows_.liveScreens();
    if (screens.empty()) return;  // no display: the next change of screens places them
    const auto& main = screens.front();
    for (auto& [id, window] : open_) {
        const StoredPin* stored = store_.index().find(id);
        const uint32_t screenID = stored ? stored->screenID : main.displayID;
        if (!window.frame) {
            const Rect frame = PinPlacement::restoredFrame(StoredPin{id, std::nullopt, screenID},
                                                           imageSize(window.image), screens, main);
            show(id, window.image, frame);
            store_.updatePinFrame(id, frame, screenIDOf(frame).value_or(main.displayID));
            continue;
        }
        const PinPlacement::Screen* home = PinPlacement::screenWithID(screenID, screens);
        const PinPlacement::Screen& target = home ? *home : main;
        const Rect clamped = PinPlacement::clamp(*window.frame, target.visibleFrame, true);
        if (clamped == *window.frame) continue;
        window.frame = clamped;
        windows_.setFrame(id, clamped);
        store_.updatePinFrame(id, clamped, target.displayID);
    }
}

}  // namespace tessarin
