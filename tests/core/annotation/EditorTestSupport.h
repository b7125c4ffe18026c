#pragma once
// Scripted input for the editor core: a hand-set clock, a canvas with a
// tool, pointer gestures in one call, and a fingerprint of a document's
// whole state to compare before and after undo.

#include <string>
#include <vector>

#include "FakeTextMeasurer.h"
#include "core/annotation/AnnotationInteractionOrchestrator.h"

namespace tessarin::testing {

struct ManualClock {
    double now = 1000;
    AnnotationClock function() {
        return [this] { return now; };
    }
};

struct ScriptedCanvas {
    ManualClock clock;
    std::shared_ptr<FakeTextMeasurer> measurer = std::make_shared<FakeTextMeasurer>();
    AnnotationInteractionOrchestrator canvas{measurer, clock.function()};
    std::unique_ptr<AnnotationToolHandler> handler;

    void use(std::unique_ptr<AnnotationToolHandler> h) {
        handler = std::move(h);
        canvas.setToolHandler(handler.get());
        if (auto* number = dynamic_cast<NumberToolHandler*>(handler.get())) canvas.setNumberTool(number);
    }
    // Press at `from`, drag through `via` and release at `to`.
    void drag(Point from, Point to, AnnotationModifiers m = {}, std::vector<Point> via = {}) {
        canvas.mouseDown(from, 1, m);
        for (Point p : via) canvas.mouseDragged(p, m);
        canvas.mouseDragged(to, m);
        canvas.mouseUp(to, m);
    }
    void click(Point at, AnnotationModifiers m = {}, int clicks = 1) {
        canvas.mouseDown(at, clicks, m);
        canvas.mouseUp(at, m);
    }
    AnnotationDocument& doc() { return canvas.document; }
    template <class T>
    std::shared_ptr<T> last() {
        return doc().annotations.empty() ? nullptr : std::dynamic_pointer_cast<T>(doc().annotations.back());
    }
};

// Everything undo must restore: order, every annotation's state, crop and background.
struct DocumentFingerprint {
    std::vector<AnnotationID> order;
    std::vector<AnnotationStateCapture> states;
    std::optional<Rect> crop;
    std::optional<AnnotationBackgroundStyle> background;
    friend bool operator==(const DocumentFingerprint&, const DocumentFingerprint&) = default;
};

inline DocumentFingerprint fingerprint(const AnnotationDocument& doc) {
    DocumentFingerprint f{doc.order(), {}, doc.cropRect, doc.background};
    for (const auto& a : doc.annotations) f.states.push_back(a->stateCapture());
    return f;
}

}  // namespace tessarin::testing
