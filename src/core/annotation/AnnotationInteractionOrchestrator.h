#pragma once
// The editor canvas's state machine: it owns the document and turns pointer
// and key input into edits. The view forwards events in drawing coordinates
// and, after each, paints what takeChanges() reports.
//
// Every gesture records at most one undo step, and only when it ends: an
// undo, delete or tool change that arrives while the pointer is still held
// first ends the drag as a release where the pointer last was, so the log
// never holds half a gesture.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "core/annotation/AnnotationDocument.h"
#include "core/annotation/AnnotationHandles.h"
#include "core/annotation/AnnotationInteractionTypes.h"
#include "core/annotation/AnnotationToolHandlers.h"
#include "core/annotation/AnnotationTools.h"

namespace tessarin {

class TextMeasurer;

// Seconds on a monotonic clock; tests inject their own.
using AnnotationClock = std::function<double()>;
AnnotationClock steadyAnnotationClock();

// A text being typed on the canvas: a new one at `anchor` (its top-left
// corner), or an existing annotation being edited.
struct AnnotationTextEditing {
    static constexpr std::string_view kPlaceholder = "Type text...";
    std::optional<AnnotationID> editingID;
    Point anchor;
    std::string text;
    double fontSize = 16;
    AnnotationColor color;
    std::optional<double> width;  // wrap width of an edited text
};

struct AnnotationTextCommitOutcome {
    enum class Kind { committed, notEditing, discardedEmpty, removed } kind = Kind::notEditing;
    std::optional<AnnotationID> id;  // committed only
};

// What changed since the last takeChanges(), for the view to repaint.
struct AnnotationCanvasChanges {
    std::optional<Rect> dirtyRect;  // drawing space
    bool selection = false;
    bool history = false;  // canUndo / canRedo may differ
    bool crop = false;
    bool background = false;
    bool textEditing = false;
    bool any() const { return dirtyRect || selection || history || crop || background || textEditing; }
};

class AnnotationInteractionOrchestrator {
public:
    // Within this, a digit continues the number typed before it.
    static constexpr double kDigitRunSeconds = 0.3;
    // An option-drag duplicates once the pointer is further than this from the press.
    static constexpr double kDuplicateDistance = 3;
    // Drawing-space margin repainted around a changed annotation (handles, anti-aliasing).
    static constexpr double kDirtyPadding = 12;
    // Where duplicateSelection() puts the copies: right of and below the originals.
    static constexpr Point kDuplicateOffset{10, -10};

    explicit AnnotationInteractionOrchestrator(std::shared_ptr<const TextMeasurer> measurer,
                                               AnnotationClock clock = steadyAnnotationClock());

    AnnotationDocument document;

    // The tool whose presses draw; null or the move tool select and move.
    // Commits a text being typed and ends number typing.
    void setToolHandler(AnnotationToolHandler* handler);
    AnnotationToolHandler* toolHandler() const { return toolHandler_; }
    // Where typing a digit with no badge selected sets the next badge number.
    void setNumberTool(NumberToolHandler* handler) { numberTool_ = handler; }

    // `allowsTool` false: the press only selects (e.g. the view is panning).
    void mouseDown(Point point, int clickCount, AnnotationModifiers modifiers, bool allowsTool = true);
    void mouseDragged(Point point, AnnotationModifiers modifiers);
    void mouseUp(Point point, AnnotationModifiers modifiers);
    void optionKeyChanged(bool isDown);
    bool isDragging() const;
    // Finishes a drag in progress as a release at the last pointer point.
    void endDrag();
    // Cancels a drag: nothing is recorded and what moved goes back.
    void cancelDrag();

    void duplicateSelection();
    bool undo();
    bool redo();
    // False when the digit has no badge to go to.
    bool handleDigit(int digit);
    void deselect();
    bool beginEditingSelectedText();
    void deleteSelection();

    const std::optional<AnnotationTextEditing>& textEditing() const { return textEditing_; }
    void updatePendingText(std::string text);
    AnnotationTextCommitOutcome commitPendingText();
    bool hasPendingNonBlankText() const;

    void selectAnnotations(const std::set<AnnotationID>& ids);
    void setAnnotationsHidden(bool hidden, const std::set<AnnotationID>& ids);
    void reorderAnnotations(const std::vector<AnnotationID>& order);
    void removeAnnotations(const std::set<AnnotationID>& ids);
    // `coalescing`: part of a slider or picker drag; endAdjusting() ends it.
    void updateSelectedAnnotationColor(const AnnotationColor& color, bool coalescing = false);
    void updateSelectedAnnotationMosaicEffect(AnnotationMosaicEffect effect);
    void updateSelectedAnnotationParameter(double value, AnnotationMetricKind kind, bool coalescing = false);
    void endAdjusting();
    void setCropRect(std::optional<Rect> rect);
    void setBackground(std::optional<AnnotationBackgroundStyle> style, bool coalescing);

    AnnotationCursorKind pointerCursorKind(std::optional<Point> point) const;
    std::vector<AnnotationCursorRect> cursorRects() const;
    std::vector<AnnotationHandle> selectionHandles() const;
    // The shape being drawn, for the canvas to show over the document.
    AnnotationPtr drawingPreview() const;
    std::optional<Rect> marqueeRect() const;
    const AnnotationInteraction::Interaction& interaction() const { return interaction_; }

    AnnotationCanvasChanges takeChanges();
    // Marks an area (drawing space) to repaint.
    void invalidate(const std::optional<Rect>& rect);

private:
    struct NumberEditBuffer {
        std::optional<AnnotationID> badge;  // none: the next badge number
        std::string typed;
        double lastInputTime = 0;
    };

    bool isDrawingTool() const;
    void applySelection(std::set<AnnotationID> ids);
    void startMoveGesture(Point point, int clickCount, AnnotationModifiers modifiers);
    void startDuplicatesIfFarEnough(Point point);
    void finishDrawing(Point point, AnnotationModifiers modifiers);
    void beginTextInput(Point anchor);
    void beginEditing(const std::shared_ptr<class TextAnnotation>& text);
    void invalidateAnnotations(const std::vector<AnnotationPtr>& annotations);
    void recordStyleChange(const std::function<bool(Annotation&)>& change, bool coalescing);
    void applyBadgeNumber(const std::optional<AnnotationID>& badge, long long value);

    std::shared_ptr<const TextMeasurer> measurer_;
    AnnotationClock clock_;
    AnnotationToolHandler* toolHandler_ = nullptr;
    NumberToolHandler* numberTool_ = nullptr;

    AnnotationInteraction::Interaction interaction_;
    bool isDrawing_ = false;
    bool suppressToolCommitOnMouseUp_ = false;
    bool duplicateArmed_ = false;
    bool hasDraggedFarEnoughToDuplicate_ = false;
    std::set<AnnotationID> duplicateOriginals_;
    Point pressPoint_;
    std::optional<Point> lastPointerPoint_;
    AnnotationModifiers lastModifiers_;
    bool isOptionDown_ = false;

    std::optional<NumberEditBuffer> numberEditBuffer_;
    std::optional<AnnotationTextEditing> textEditing_;

    AnnotationCanvasChanges changes_;
    std::set<AnnotationID> publishedSelection_;
    std::pair<size_t, size_t> publishedHistory_{0, 0};
    std::optional<Rect> publishedCrop_;
    std::optional<AnnotationBackgroundStyle> publishedBackground_;
};

}  // namespace tessarin
