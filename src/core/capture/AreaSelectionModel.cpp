#include "core/capture/AreaSelectionModel.h"

#include <algorithm>
#include <cmath>

#include "core/capture/CaptureSelectionGeometry.h"

namespace tessarin {

using CaptureOverlayStyle::Handle;
namespace Geometry = CaptureSelectionGeometry;

AreaSelectionModel::AreaSelectionModel(Size displaySize, CaptureSelectionRequest request,
                                       OverlayEnvironment environment, std::optional<Rect> initialSelection)
    : bounds_{0, 0, displaySize.width, displaySize.height},
      request_(std::move(request)),
      environment_(std::move(environment)),
      activePreset_(request_.activePreset),
      toolbar_(request_, environment_.measureText) {
    if (initialSelection && !initialSelection->isEmpty()) {
        setSelection(Geometry::move(*initialSelection, {0, 0}, bounds_).integral());
    }
}

double AreaSelectionModel::effectiveMinimum(double extent) const {
    // A display smaller than the minimum still allows selecting all of it.
    return std::min(request_.minimumDimension, extent);
}

bool AreaSelectionModel::hasSelection() const {
    if (!currentSelection_ || currentSelection_->isEmpty()) return false;
    const Rect s = currentSelection_->standardized();
    return s.width >= effectiveMinimum(bounds_.width) && s.height >= effectiveMinimum(bounds_.height);
}

template <typename Change>
OverlayResponse AreaSelectionModel::changing(Change&& change) {
    const OverlayDrawing before = drawing();
    OverlayResponse response;
    change(response);
    response.repaint = repaintRegion(before, drawing());
    response.cursor = currentMouseLocation_ ? cursor(*currentMouseLocation_) : OverlayCursor::crosshair;
    return response;
}

void AreaSelectionModel::setSelection(std::optional<Rect> selection) {
    currentSelection_ = selection;
    toolbar_.updateVisibility(hasSelection());
    if (currentSelection_) toolbar_.place(*currentSelection_, bounds_);
}

void AreaSelectionModel::applyPreset(const CapturePreset& preset) {
    activePreset_ = preset;
    toolbar_.updatePresetBadge(preset);
    if (!currentSelection_ || currentSelection_->isEmpty()) return;
    const Rect applied = Geometry::applyingPreset(preset, *currentSelection_, bounds_, request_.minimumDimension);
    setSelection(applied);
    // A drag in progress continues from the new rectangle.
    if (!interaction_) return;
    if (auto* moving = std::get_if<Moving>(&*interaction_)) {
        *moving = {applied, currentMouseLocation_.value_or(moving->dragOrigin)};
    } else if (auto* resizing = std::get_if<Resizing>(&*interaction_)) {
        resizing->initialSelection = applied;
    }
}

OverlayResponse AreaSelectionModel::keyDown(OverlayKeyPress press) {
    using Key = OverlayKeyPress::Key;
    switch (press.key) {
        case Key::escape: {
            OverlayResponse response;
            response.cancelled = true;
            return response;
        }
        case Key::r:
            if (!request_.presetsEnabled || request_.presets.empty()) break;
            return changing([&](OverlayResponse&) {
                const size_t index = Geometry::cycledPresetIndex(request_.presets, activePreset_, !press.shift);
                applyPreset(request_.presets[index]);
            });
        case Key::returnKey:
        case Key::keypadEnter: return confirmSelection();
        case Key::other: break;
    }
    OverlayResponse unhandled;
    unhandled.handled = false;
    unhandled.cursor = currentMouseLocation_ ? cursor(*currentMouseLocation_) : OverlayCursor::crosshair;
    return unhandled;
}

OverlayResponse AreaSelectionModel::mouseDown(Point p) {
    return changing([&](OverlayResponse&) {
        currentMouseLocation_ = p;
        ignoringMouseSequence_ = false;
        interaction_.reset();
        if (toolbar_.hitTestFloatingToolbar(p)) {
            // The toolbar takes the whole press; a button acts on release.
            toolbar_.setPressedItem(toolbar_.itemAt(p));
            ignoringMouseSequence_ = true;
            return;
        }
        if (currentSelection_) {
            if (const auto handle = CaptureOverlayStyle::handle(p, *currentSelection_)) {
                interaction_ = Resizing{*currentSelection_, *handle};
                return;
            }
            if (currentSelection_->containsInclusive(p)) {
                interaction_ = Moving{*currentSelection_, p};
                return;
            }
        }
        if (activePreset_.kind == CapturePreset::Kind::fixedSize) {
            const double w = std::min(std::max(double(activePreset_.width), 1.0), bounds_.width);
            const double h = std::min(std::max(double(activePreset_.height), 1.0), bounds_.height);
            const Rect centred{std::round(p.x - w / 2), std::round(p.y - h / 2), w, h};
            const Rect placed = Geometry::move(centred, {0, 0}, bounds_);
            setSelection(placed);
            interaction_ = Moving{placed, p};
            return;
        }
        interaction_ = Creating{p};
        setSelection(Rect{p.x, p.y, 0, 0});
    });
}

Rect AreaSelectionModel::draggedRect(Point p) const {
    const double m = request_.minimumDimension;
    if (const auto* creating = std::get_if<Creating>(&*interaction_)) {
        std::optional<double> ratio;
        if (activePreset_.kind == CapturePreset::Kind::aspectRatio && activePreset_.height >= 1) {
            ratio = double(activePreset_.width) / double(activePreset_.height);
        }
        return Geometry::selectionRect(creating->origin, p, bounds_, ratio, m).integral();
    }
    if (const auto* moving = std::get_if<Moving>(&*interaction_)) {
        const Rect& initial = moving->initialSelection;
        // Whole-point steps: rounding the moved edges outward would grow it.
        double x = initial.minX() + std::round(p.x - moving->dragOrigin.x);
        double y = initial.minY() + std::round(p.y - moving->dragOrigin.y);
        x = std::max(bounds_.minX(), std::min(x, bounds_.maxX() - initial.width));
        y = std::max(bounds_.minY(), std::min(y, bounds_.maxY() - initial.height));
        return Rect{x, y, initial.width, initial.height};
    }
    const auto& resizing = std::get<Resizing>(*interaction_);
    const Rect& initial = resizing.initialSelection;
    double minX = initial.minX(), maxX = initial.maxX(), minY = initial.minY(), maxY = initial.maxY();
    const Handle h = resizing.handle;
    if (CaptureOverlayStyle::movesLeftEdge(h)) minX = std::max(bounds_.minX(), std::min(p.x, initial.maxX() - m));
    if (CaptureOverlayStyle::movesRightEdge(h)) maxX = std::max(initial.minX() + m, std::min(p.x, bounds_.maxX()));
    if (CaptureOverlayStyle::movesTopEdge(h)) maxY = std::max(initial.minY() + m, std::min(p.y, bounds_.maxY()));
    if (CaptureOverlayStyle::movesBottomEdge(h)) minY = std::max(bounds_.minY(), std::min(p.y, initial.maxY() - m));
    return Rect{minX, minY, maxX - minX, maxY - minY}.integral();
}

OverlayResponse AreaSelectionModel::mouseDragged(Point p) {
    return changing([&](OverlayResponse&) {
        currentMouseLocation_ = p;
        if (ignoringMouseSequence_ || !interaction_) return;
        setSelection(draggedRect(p));
    });
}

OverlayResponse AreaSelectionModel::mouseUp(Point p) {
    return changing([&](OverlayResponse& response) {
        currentMouseLocation_ = p;
        if (ignoringMouseSequence_) {
            ignoringMouseSequence_ = false;
            const auto pressed = toolbar_.pressedItem();
            toolbar_.setPressedItem(std::nullopt);
            if (pressed && toolbar_.itemAt(p) == pressed) activateToolbarItem(*pressed, response);
            return;
        }
        if (interaction_ && std::holds_alternative<Creating>(*interaction_)) {
            const Rect final = draggedRect(p);
            const bool bigEnough = final.width >= effectiveMinimum(bounds_.width) &&
                                   final.height >= effectiveMinimum(bounds_.height);
            // The zero-size start of a drag is never left behind as a selection.
            setSelection(bigEnough ? std::optional<Rect>(final) : std::nullopt);
        }
        interaction_.reset();
    });
}

void AreaSelectionModel::activateToolbarItem(size_t index, OverlayResponse& response) {
    const OverlayToolbarItem item = toolbar_.layout().items.at(index);
    switch (item.kind) {
        case OverlayToolbarItem::Kind::presetBadge: return;
        case OverlayToolbarItem::Kind::microphoneToggle: toolbar_.toggleMicrophone(); return;
        case OverlayToolbarItem::Kind::actionButton:
            if (item.action == CaptureSelectionAction::cancel) {
                response.cancelled = true;
                return;
            }
            response.confirmed = confirmSelection(item.action).confirmed;
            return;
    }
}

OverlayResponse AreaSelectionModel::mouseMoved(Point p) {
    return changing([&](OverlayResponse&) { currentMouseLocation_ = p; });
}

OverlayResponse AreaSelectionModel::mouseExited() {
    return changing([&](OverlayResponse&) { currentMouseLocation_.reset(); });
}

std::optional<std::vector<PresetMenuItem>> AreaSelectionModel::rightMouseDown(Point p) {
    currentMouseLocation_ = p;
    if (!request_.presetsEnabled || request_.presets.empty()) return std::nullopt;
    std::vector<PresetMenuItem> items;
    for (const CapturePreset& preset : request_.presets) items.push_back({preset.displayName(), preset == activePreset_});
    return items;
}

OverlayResponse AreaSelectionModel::choosePreset(size_t index) {
    return changing([&](OverlayResponse&) {
        if (!request_.presetsEnabled || index >= request_.presets.size()) return;
        applyPreset(request_.presets[index]);
    });
}

OverlayResponse AreaSelectionModel::confirmSelection(std::optional<CaptureSelectionAction> action) {
    OverlayResponse response;
    response.cursor = currentMouseLocation_ ? cursor(*currentMouseLocation_) : OverlayCursor::crosshair;
    // Also covers Return straight after a mouse down, whose selection is a point.
    if (!hasSelection()) return response;
    if (environment_.hapticFeedbackEnabled && environment_.performHapticFeedback) environment_.performHapticFeedback();
    if (!action) {
        const auto& style = request_.actionStyle;
        action = style.kind == CaptureSelectionActionStyle::Kind::button ? style.action : CaptureSelectionAction::capture;
    }
    response.confirmed = OverlayConfirmation{currentSelection_->standardized(), toolbar_.microphoneEnabled(), *action};
    return response;
}

OverlayResponse AreaSelectionModel::clearSelection() {
    return changing([&](OverlayResponse&) {
        interaction_.reset();
        ignoringMouseSequence_ = false;
        toolbar_.setPressedItem(std::nullopt);
        setSelection(std::nullopt);
    });
}

OverlayCursor AreaSelectionModel::cursor(Point p) const {
    if (interaction_) {
        if (std::holds_alternative<Moving>(*interaction_)) return OverlayCursor::closedHand;
        if (const auto* resizing = std::get_if<Resizing>(&*interaction_)) {
            return CaptureOverlayStyle::resizeCursor(resizing->handle);
        }
        return OverlayCursor::crosshair;
    }
    if (toolbar_.hitTestFloatingToolbar(p)) return OverlayCursor::arrow;
    if (currentSelection_ && !currentSelection_->isEmpty()) {
        if (const auto handle = CaptureOverlayStyle::handle(p, *currentSelection_)) {
            return CaptureOverlayStyle::resizeCursor(*handle);
        }
        if (currentSelection_->containsInclusive(p)) return OverlayCursor::openHand;
    }
    return OverlayCursor::crosshair;
}

OverlayDrawing AreaSelectionModel::drawing() const {
    OverlayPictureState state;
    state.bounds = bounds_;
    state.selection = currentSelection_;
    state.hasSelection = hasSelection();
    state.hintText = request_.hintText;
    state.toolbar = &toolbar_;
    state.measureText = environment_.measureText;
    return describeOverlay(state);
}

}  // namespace tessarin
