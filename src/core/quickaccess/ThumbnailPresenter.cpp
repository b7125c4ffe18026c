#include "core/quickaccess/ThumbnailPresenter.h"

#include <algorithm>
#include <sstream>

#include "core/common/Log.h"
#include "core/quickaccess/QuickAccessLayout.h"

namespace tessarin {
namespace {

void logQuickAccess(const std::string& line) { logLine(LogLevel::info, LogCategory::capture, "quick_access." + line); }

std::string describe(const Rect& frame) {
    std::ostringstream text;
    text << frame.x << "," << frame.y << "," << frame.width << "x" << frame.height;
    return text.str();
}

}  // namespace

ThumbnailPresenter::ThumbnailPresenter(Dependencies dependencies) : d_(std::move(dependencies)) {}

ThumbnailPresenter::~ThumbnailPresenter() { lifetime_.invalidate(); }

void ThumbnailPresenter::present(SharedImage image, std::shared_ptr<CapturePersistenceTicket> historyItem,
                                 ImageFormat dragExportFormat, const CaptureSessionInfo& session) {
    if (!image) return;
    const ThumbnailID id = show(std::move(image), session, std::nullopt, historyItem, dragExportFormat);
    if (!historyItem) return;
    historyItem->value(lifetime_.guard([this, id](CapturePersistenceTicket::Result item) { bind(id, item); }));
}

ThumbnailID ThumbnailPresenter::showStoredItem(const CaptureHistoryItem& item, SharedImage image,
                                               ImageFormat dragExportFormat) {
    std::optional<CaptureSessionInfo> session;
    if (item.captureID) session = CaptureSessionInfo{*item.captureID, item.sourceMode.value_or(CaptureMode::area)};
    auto ticket = CapturePersistenceTicket::resolved(d_.main, item);
    return show(std::move(image), session, item.id, std::move(ticket), dragExportFormat);
}

ThumbnailID ThumbnailPresenter::show(SharedImage image, std::optional<CaptureSessionInfo> session,
                                     std::optional<std::string> historyItemID,
                                     std::shared_ptr<CapturePersistenceTicket> ticket, ImageFormat dragExportFormat) {
    Presented shown;
    shown.id = nextID_++;
    shown.image = image;
    shown.session = std::move(session);
    shown.historyItemID = std::move(historyItemID);
    shown.ticket = std::move(ticket);
    shown.dragExportFormat = dragExportFormat;
    if (d_.services.writeDragFile) {
        shown.dragFile = ThumbnailDragFile::make(
            dragExportFormat, [write = d_.services.writeDragFile, image, dragExportFormat](Completion<PathResult> done) {
                write(image, dragExportFormat, std::move(done));
            });
    }
    return place(std::move(shown), availableActions());
}

ThumbnailID ThumbnailPresenter::presentVideo(SharedImage poster, ThumbnailVideo video,
                                             std::function<void(ThumbnailAction)> act) {
    Presented shown;
    shown.id = nextID_++;
    shown.image = std::move(poster);
    shown.video = std::move(video);
    shown.videoAction = std::move(act);
    logQuickAccess("video id=" + std::to_string(shown.id) + " file=" + shown.video->file.string());
    return place(std::move(shown), {ThumbnailAction::edit, ThumbnailAction::reveal, ThumbnailAction::saveAs,
                                    ThumbnailAction::close});
}

ThumbnailID ThumbnailPresenter::place(Presented shown, std::vector<ThumbnailAction> actions) {
    ThumbnailContent content{shown.id, shown.image, std::move(actions), shown.dragFile, shown.video};
    shown.window = d_.desktop.makeWindow(content, *this);
    const ThumbnailID id = shown.id;
    presented_.push_back(std::move(shown));
    // The oldest goes first, so the new one appears straight in its slot.
    evictIfNeeded();
    // Placed before it is raised, so it appears where it belongs.
    restackOverlays();
    Presented& placed = presented_.back();
    placed.window->orderFront();
    logFront(placed, "initial");
    // Once the loop has turned, again: the window that had the focus may
    // have come back above it meanwhile.
    d_.main.post(lifetime_.guard([this, id] {
        if (Presented* still = find(id)) {
            still->window->orderFront();
            logFront(*still, "stabilize");
        }
    }));
    return id;
}

void ThumbnailPresenter::bind(ThumbnailID id, const std::optional<CaptureHistoryItem>& item) {
    if (!item) return;
    if (Presented* shown = find(id)) {
        shown->historyItemID = item->id;
        d_.history.setQuickAccess(item->id, true);
        return;
    }
    // Dismissed before its item was known: the item must not stay flagged.
    d_.history.setQuickAccess(item->id, false);
    d_.history.prune();
}

// The caller lays the column out again.
void ThumbnailPresenter::evictIfNeeded() {
    const size_t maxCount = static_cast<size_t>(std::max(1, d_.settings().maxCount));
    while (presented_.size() > maxCount) {
        logQuickAccess("evict id=" + std::to_string(presented_.front().id));
        remove(presented_.front().id, Flag::clear, Pruning::prune);
    }
}

void ThumbnailPresenter::dismiss(ThumbnailID id) {
    if (!find(id)) return;
    remove(id, Flag::clear, Pruning::prune);
    restackOverlays();
}

void ThumbnailPresenter::remove(ThumbnailID id, Flag flag, Pruning pruning) {
    auto it = std::find_if(presented_.begin(), presented_.end(), [id](const Presented& p) { return p.id == id; });
    if (it == presented_.end()) return;
    Presented gone = std::move(*it);
    presented_.erase(it);
    if (gone.historyItemID && flag == Flag::clear) {
        d_.history.setQuickAccess(*gone.historyItemID, false);
        if (pruning == Pruning::prune) d_.history.prune();
    }
    gone.window->fadeOut();
}

void ThumbnailPresenter::restackOverlays() {
    const QuickAccessPosition position = d_.settings().position;
    std::optional<Rect> underPointer;
    bool askedPointer = false;
    for (size_t i = 0; i < presented_.size(); ++i) {
        ThumbnailWindow& window = *presented_[i].window;
        std::optional<Rect> frame = window.currentVisibleFrame();
        if (!frame) {
            if (!askedPointer) underPointer = d_.desktop.visibleFrameUnderPointer();
            askedPointer = true;
            frame = underPointer;
        }
        // No display connected: the next screen change lays it out.
        if (!frame) continue;
        window.moveTo(QuickAccessLayout::origin(*frame, position, i));
    }
}

void ThumbnailPresenter::closeOverlays(const std::vector<std::string>& removedHistoryItemIDs) {
    std::vector<ThumbnailID> closing;
    for (const Presented& shown : presented_) {
        if (!shown.historyItemID) continue;
        if (std::find(removedHistoryItemIDs.begin(), removedHistoryItemIDs.end(), *shown.historyItemID) !=
            removedHistoryItemIDs.end()) {
            closing.push_back(shown.id);
        }
    }
    if (closing.empty()) return;
    for (ThumbnailID id : closing) remove(id, Flag::keep, Pruning::skip);
    restackOverlays();
}

void ThumbnailPresenter::closeAllForQuit() {
    while (!presented_.empty()) remove(presented_.front().id, Flag::keep, Pruning::skip);
}

void ThumbnailPresenter::restore(ImageFormat dragExportFormat, std::function<void()> done) {
    auto items = d_.history.quickAccessItems();
    // The history lists newest first; the column is built oldest first.
    auto queue = std::make_shared<std::deque<CaptureHistoryItem>>(items.rbegin(), items.rend());
    restoreNext(std::move(queue), dragExportFormat, std::move(done));
}

void ThumbnailPresenter::restoreNext(std::shared_ptr<std::deque<CaptureHistoryItem>> queue, ImageFormat format,
                                     std::function<void()> done) {
    if (queue->empty()) {
        if (done) done();
        return;
    }
    CaptureHistoryItem item = std::move(queue->front());
    queue->pop_front();
    const std::string id = item.id;
    d_.history.loadImage(id, lifetime_.guard([this, item = std::move(item), queue, format,
                                              done = std::move(done)](DecodeResult image) mutable {
        if (image) {
            showStoredItem(item, std::make_shared<const Image>(std::move(*image)), format);
        } else {
            // Left flagged it would be kept forever and never shown.
            logQuickAccess("restore_failed item=" + item.id + " error=" + image.error().message);
            d_.history.setQuickAccess(item.id, false);
        }
        restoreNext(std::move(queue), format, std::move(done));
    }));
}

void ThumbnailPresenter::perform(ThumbnailID id, ThumbnailAction action) {
    Presented* shown = find(id);
    if (!shown) return;
    if (shown->video) return performForVideo(id, action);
    const auto& s = d_.services;
    switch (action) {
        case ThumbnailAction::copy:
            if (s.copy) s.copy(shown->image, [](bool) {});
            return;
        case ThumbnailAction::save:
            return save(id);
        case ThumbnailAction::pin: {
            if (!s.pin) return;
            auto image = shown->image;
            auto ticket = shown->ticket;
            // The pin takes the item over: its flag goes, but pruning now
            // could drop the item before the pin has marked it.
            remove(id, Flag::clear, Pruning::skip);
            restackOverlays();
            s.pin(std::move(image), std::move(ticket));
            return;
        }
        case ThumbnailAction::annotate: {
            if (!s.annotate) return;
            auto image = shown->image;
            auto session = shown->session;
            auto ticket = shown->ticket;
            dismiss(id);
            s.annotate(std::move(image), std::move(session), std::move(ticket));
            return;
        }
        case ThumbnailAction::close:
            return dismiss(id);
        case ThumbnailAction::edit:
        case ThumbnailAction::reveal:
        case ThumbnailAction::saveAs:
            return;  // a recording's
    }
}

void ThumbnailPresenter::performForVideo(ThumbnailID id, ThumbnailAction action) {
    Presented* shown = find(id);
    // Kept past a dismissal, which destroys the entry.
    const auto act = shown->videoAction;
    switch (action) {
        case ThumbnailAction::edit:
            // The editor takes the recording over.
            dismiss(id);
            if (act) act(action);
            return;
        case ThumbnailAction::reveal:
        case ThumbnailAction::saveAs:
            if (act) act(action);
            return;
        case ThumbnailAction::close:
            return dismiss(id);
        case ThumbnailAction::copy:
        case ThumbnailAction::save:
        case ThumbnailAction::pin:
        case ThumbnailAction::annotate:
            return;  // an image's
    }
}

void ThumbnailPresenter::save(ThumbnailID id) {
    const auto& s = d_.services;
    Presented* shown = find(id);
    if (!s.save || !shown) return;
    s.save(shown->image, shown->dragExportFormat, lifetime_.guard([this, id](PathResult saved) {
        if (!saved) {
            // The thumbnail stays, so nothing is lost and the user can retry.
            if (d_.services.presentError) d_.services.presentError(saved.error().description());
            return;
        }
        logQuickAccess("saved path=" + saved->string());
        dismiss(id);
    }));
}

std::vector<ThumbnailID> ThumbnailPresenter::presented() const {
    std::vector<ThumbnailID> ids;
    for (const Presented& shown : presented_) ids.push_back(shown.id);
    return ids;
}

std::optional<std::string> ThumbnailPresenter::historyItemID(ThumbnailID id) const {
    const Presented* shown = find(id);
    return shown ? shown->historyItemID : std::nullopt;
}

std::vector<ThumbnailAction> ThumbnailPresenter::availableActions() const {
    const auto& s = d_.services;
    std::vector<ThumbnailAction> actions;
    if (s.copy) actions.push_back(ThumbnailAction::copy);
    if (s.save) actions.push_back(ThumbnailAction::save);
    if (s.pin) actions.push_back(ThumbnailAction::pin);
    if (s.annotate) actions.push_back(ThumbnailAction::annotate);
    actions.push_back(ThumbnailAction::close);
    return actions;
}

ThumbnailWindow* ThumbnailPresenter::window(ThumbnailID id) const {
    const Presented* shown = find(id);
    return shown ? shown->window.get() : nullptr;
}

ThumbnailPresenter::Presented* ThumbnailPresenter::find(ThumbnailID id) {
    auto it = std::find_if(presented_.begin(), presented_.end(), [id](const Presented& p) { return p.id == id; });
    return it == presented_.end() ? nullptr : &*it;
}

const ThumbnailPresenter::Presented* ThumbnailPresenter::find(ThumbnailID id) const {
    return const_cast<ThumbnailPresenter*>(this)->find(id);
}

void ThumbnailPresenter::logFront(const Presented& shown, const char* phase) const {
    logQuickAccess(std::string("front phase=") + phase + " id=" + std::to_string(shown.id) +
                   " frame=" + describe(shown.window->frame()));
}

void QuickAccessHistoryStore::prune() {
    const auto [maxCount, maxAgeDays] = retention_();
    store_.prune(maxCount, maxAgeDays);
}

}  // namespace tessarin
