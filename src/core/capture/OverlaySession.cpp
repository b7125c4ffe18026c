#include "core/capture/OverlaySession.h"

namespace tessarin {
namespace {

Point origin(const DisplayDescription& display) { return {display.frame.minX(), display.frame.minY()}; }

bool sameLayout(const DisplayDescription& a, const DisplayDescription& b) {
    return a.displayID == b.displayID && a.frame.standardized() == b.frame.standardized() && a.scale == b.scale;
}

}  // namespace

OverlaySession::OverlaySession(std::vector<DisplayDescription> displays, const CaptureSelectionRequest& request,
                               size_t startingDisplay, OverlayEnvironment environment)
    : displays_(std::move(displays)), startingDisplay_(startingDisplay < displays_.size() ? startingDisplay : 0) {
    bool initialPlaced = false;
    views_.reserve(displays_.size());
    for (size_t i = 0; i < displays_.size(); ++i) {
        const Rect frame = displays_[i].frame.standardized();
        std::optional<Rect> initial;
        // A remembered area appears on the display that holds its centre.
        if (!initialPlaced && request.initialRect &&
            frame.containsInclusive({request.initialRect->midX(), request.initialRect->midY()})) {
            initial = viewRect(i, *request.initialRect);
            initialPlaced = true;
        }
        views_.emplace_back(Size{frame.width, frame.height}, request, environment, initial);
    }
}

Rect OverlaySession::globalRect(size_t display, const Rect& r) const {
    const Point o = origin(displays_.at(display));
    return r.standardized().offsetBy(o.x, o.y);
}

Rect OverlaySession::viewRect(size_t display, const Rect& r) const {
    const Point o = origin(displays_.at(display));
    return r.standardized().offsetBy(-o.x, -o.y);
}

size_t OverlaySession::keyDisplay() const {
    for (size_t i = 0; i < views_.size(); ++i) {
        if (views_[i].currentSelection()) return i;
    }
    return startingDisplay_;
}

void OverlaySession::end(std::optional<OverlayOutcome> outcome) {
    if (ended_) return;
    ended_ = true;
    outcome_ = std::move(outcome);
}

void OverlaySession::cancel() { end(std::nullopt); }

OverlaySessionResponse OverlaySession::finish(size_t display, OverlayResponse response) {
    OverlaySessionResponse result;
    result.handled = response.handled;
    result.cursor = response.cursor;
    if (!response.repaint.empty()) result.repaints.push_back({display, std::move(response.repaint)});
    if (response.confirmed) {
        const OverlayConfirmation& c = *response.confirmed;
        end(OverlayOutcome{{displays_[display], globalRect(display, c.selection)}, c.microphoneEnabled, c.action});
        result.ended = true;
    } else if (response.cancelled) {
        end(std::nullopt);
        result.ended = true;
    }
    return result;
}

OverlaySessionResponse OverlaySession::keyDown(OverlayKeyPress press) {
    if (ended_ || views_.empty()) return {};
    const size_t display = keyDisplay();
    return finish(display, views_[display].keyDown(press));
}

OverlaySessionResponse OverlaySession::mouseDown(size_t display, Point p) {
    if (ended_ || display >= views_.size()) return {};
    OverlaySessionResponse result = finish(display, views_[display].mouseDown(p));
    if (!views_[display].currentSelection()) return result;
    // One selection across all displays: starting one drops the others.
    for (size_t i = 0; i < views_.size(); ++i) {
        if (i == display || !views_[i].currentSelection()) continue;
        OverlayResponse cleared = views_[i].clearSelection();
        if (!cleared.repaint.empty()) result.repaints.push_back({i, std::move(cleared.repaint)});
    }
    return result;
}

OverlaySessionResponse OverlaySession::mouseDragged(size_t display, Point p) {
    if (ended_ || display >= views_.size()) return {};
    return finish(display, views_[display].mouseDragged(p));
}

OverlaySessionResponse OverlaySession::mouseUp(size_t display, Point p) {
    if (ended_ || display >= views_.size()) return {};
    return finish(display, views_[display].mouseUp(p));
}

OverlaySessionResponse OverlaySession::mouseMoved(size_t display, Point p) {
    if (ended_ || display >= views_.size()) return {};
    return finish(display, views_[display].mouseMoved(p));
}

OverlaySessionResponse OverlaySession::mouseExited(size_t display) {
    if (ended_ || display >= views_.size()) return {};
    return finish(display, views_[display].mouseExited());
}

std::optional<std::vector<PresetMenuItem>> OverlaySession::rightMouseDown(size_t display, Point p) {
    if (ended_ || display >= views_.size()) return std::nullopt;
    return views_[display].rightMouseDown(p);
}

OverlaySessionResponse OverlaySession::choosePreset(size_t display, size_t index) {
    if (ended_ || display >= views_.size()) return {};
    return finish(display, views_[display].choosePreset(index));
}

bool OverlaySession::displaysChanged(const std::vector<DisplayDescription>& now) {
    if (ended_) return false;
    bool same = now.size() == displays_.size();
    for (size_t i = 0; same && i < now.size(); ++i) same = sameLayout(now[i], displays_[i]);
    if (same) return false;
    end(std::nullopt);
    return true;
}

}  // namespace tessarin
