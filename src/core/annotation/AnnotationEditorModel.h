#pragma once
// The editor's state for one session: the tool and shared style, the
// canvas's interaction (which owns the document and its undo log), the side
// panels, and the export and its outcome. The editor window shows this
// state and calls these operations; nothing here knows a toolkit.

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/annotation/AnnotationCanvasFrame.h"
#include "core/annotation/AnnotationEditorPorts.h"
#include "core/annotation/AnnotationEditorSession.h"
#include "core/annotation/AnnotationEditorStyle.h"
#include "core/annotation/AnnotationExportController.h"
#include "core/annotation/AnnotationInteractionOrchestrator.h"
#include "core/annotation/AnnotationLayers.h"

namespace tessarin {

enum class AnnotationSidebarPanel { layers, background, crop };

class AnnotationEditorModel {
public:
    static constexpr double kMinimumZoom = 0.1;
    static constexpr double kMaximumZoom = 8;
    static constexpr double kZoomStep = 1.25;

    struct Dependencies {
        std::shared_ptr<const TextMeasurer> measurer;
        AnnotationExportRenderer* renderer = nullptr;  // no renderer: exports fail and say so
        AnnotationExportDelivery* delivery = nullptr;
        AnnotationToolMemory* toolMemory = nullptr;
        AnnotationCropSessionFactory cropSessions;
        AnnotationTextLineResolver textLines;
        AnnotationClock clock = steadyAnnotationClock();
    };

    // The image fills `imageDrawRect` of drawing space: by default one unit per pixel.
    AnnotationEditorModel(AnnotationEditorSessionPtr session, Dependencies dependencies,
                          std::optional<Rect> imageDrawRect = std::nullopt);
    AnnotationEditorModel(const AnnotationEditorModel&) = delete;
    AnnotationEditorModel& operator=(const AnnotationEditorModel&) = delete;

    const AnnotationEditorSessionPtr& session() const { return session_; }
    const Rect& imageDrawRect() const { return imageDrawRect_; }
    AnnotationInteractionOrchestrator& canvas() { return canvas_; }
    const AnnotationInteractionOrchestrator& canvas() const { return canvas_; }
    const AnnotationDocument& document() const { return canvas_.document; }

    // ---- tools and style ----
    AnnotationToolType selectedTool() const { return selectedTool_; }
    void setSelectedTool(AnnotationToolType tool);
    AnnotationToolHandler& toolHandler(AnnotationToolType tool) const;
    const std::set<AnnotationToolType>& filledShapeTools() const { return filledShapeTools_; }
    void toggleFill(AnnotationToolType tool);
    const AnnotationColor& globalColor() const { return globalColor_; }
    bool hasAppliedDefaultHighlighterColor() const { return hasAppliedDefaultHighlighterColor_; }
    // Applied to the selection too. `coalescing`: part of a drag, ended by endAdjusting().
    void setColor(const AnnotationColor& color, bool coalescing = false);
    AnnotationMosaicEffect sharedMosaicEffect() const { return sharedMosaicEffect_; }
    void setMosaicEffect(AnnotationMosaicEffect effect);
    const AnnotationSharedMetrics& sharedMetrics() const { return sharedMetrics_; }
    // Only for a metric the style toolbar shows; applied to the selection as one undo step per gesture.
    void updateParameter(double value, AnnotationMetricKind kind, bool coalescing = false);
    // A slider or picker gesture ended: the next change is a new undo step.
    void endAdjusting();
    AnnotationStyleState styleState() const;
    long long nextNumberMarkerValue() const;

    // ---- canvas ----
    double zoomLevel() const { return zoomLevel_; }
    void setZoomLevel(double zoom);
    // Keys on the canvas; false when not handled (the view passes them on).
    bool handleKey(const AnnotationKey& key);
    bool undo();
    bool redo();
    bool canUndo() const { return document().editLog.canUndo(); }
    bool canRedo() const { return document().editLog.canRedo(); }
    bool hasUnsavedChanges() const;

    // ---- layers ----
    std::vector<AnnotationLayerItem> layers() const;  // top-most first
    void selectLayers(const std::set<AnnotationID>& ids);
    void setLayersHidden(bool hidden, const std::set<AnnotationID>& ids);
    void toggleLayerVisibility(const AnnotationID& id);
    void moveLayers(const std::set<AnnotationID>& ids, AnnotationLayerPlacement placement);
    // Rows as the panel lists them (top-most first), moved before row `toOffset`.
    void moveLayerRows(const std::vector<size_t>& fromOffsets, size_t toOffset);
    void deleteLayers(const std::set<AnnotationID>& ids);

    // ---- panels, crop and background ----
    std::optional<AnnotationSidebarPanel> sidebarPanel() const { return sidebarPanel_; }
    void toggleSidebarPanel(AnnotationSidebarPanel panel);
    AnnotationCropSession* cropSession() const { return cropSession_.get(); }
    void applyCrop();
    void cancelCrop();
    AnnotationBackgroundPanelState& backgroundPanel() { return backgroundPanel_; }
    void setBackgroundEnabled(bool enabled);
    // `coalescing`: a slider drag; endAdjusting() ends it.
    void updateBackground(const AnnotationBackgroundStyle& style, bool coalescing = false);
    // A new fill, keeping padding, corners and shadow (the defaults when the
    // background was off); one undo step. A picture is remembered for its
    // swatch, a blur remembers its amount.
    void updateBackgroundFill(AnnotationBackgroundFill::Fill fill);
    void selectCustomBackgroundColor(const AnnotationBackgroundColor& color);
    // What the canvas shows: the crop and the frame, or the whole image
    // while the crop is being edited.
    AnnotationCanvasFrame canvasFrame() const;

    // ---- export ----
    bool isExporting() const { return exporter_ && exporter_->isExporting(); }
    // Commits the text being typed and an open crop, then renders what the
    // canvas shows and delivers it. False when ignored (an export runs).
    bool requestExport(AnnotationExportAction action, std::function<void(AnnotationExportOutcome)> finished = {});
    // The last failure, for the window to show; cleared by the next export.
    const std::optional<std::string>& exportError() const { return exportError_; }

private:
    void syncToolHandlers();
    void applyHighlighterColorRule();
    void endCropSession(bool commit);
    AnnotationCompositeInputs compositeInputs() const;

    AnnotationEditorSessionPtr session_;
    Dependencies deps_;
    Rect imageDrawRect_;
    std::vector<std::unique_ptr<AnnotationToolHandler>> toolHandlers_;
    AnnotationInteractionOrchestrator canvas_;
    std::optional<AnnotationExportController> exporter_;

    AnnotationToolType selectedTool_ = AnnotationToolType::freehand;
    std::set<AnnotationToolType> filledShapeTools_{AnnotationToolType::number};
    AnnotationColor globalColor_ = AnnotationColor::systemRed();
    AnnotationMosaicEffect sharedMosaicEffect_ = AnnotationMosaicEffect::pixelate;
    AnnotationSharedMetrics sharedMetrics_;
    bool hasAppliedDefaultHighlighterColor_ = false;
    double zoomLevel_ = 1;

    std::optional<AnnotationSidebarPanel> sidebarPanel_;
    std::optional<AnnotationSidebarPanel> panelBeforeCrop_;
    std::unique_ptr<AnnotationCropSession> cropSession_;
    AnnotationBackgroundPanelState backgroundPanel_;
    std::optional<std::string> exportError_;
};

}  // namespace tessarin
