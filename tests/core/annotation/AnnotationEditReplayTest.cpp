// Undo and redo restore the document exactly; a gesture is one step; a drag cut short stays consistent.

#include <gtest/gtest.h>

#include "EditorTestSupport.h"
#include "core/annotation/AnnotationEditReplay.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {
namespace {

using testing::fingerprint;
using testing::ScriptedCanvas;
const AnnotationColor red = AnnotationColor::systemRed();

struct Seeded : ScriptedCanvas {
    AnnotationPtr rect = std::make_shared<RectangleAnnotation>(Rect{0, 0, 40, 40}, red, 3, true);
    AnnotationPtr arrow = std::make_shared<ArrowAnnotation>(Point{100, 100}, Point{200, 150}, red, 3);
    AnnotationPtr badge = std::make_shared<NumberAnnotation>(4, Point{300, 50}, red, 28, true);
    AnnotationPtr note;
    Seeded() {
        note = std::make_shared<TextAnnotation>("note", Point{10, 300}, 16, red, std::nullopt, measurer);
        doc().add({rect, arrow, badge, note});
        doc().cropRect = Rect{0, 0, 500, 400};
    }
};

TEST(AnnotationEditReplay, EveryEditKindUndoesAndRedoesExactly) {
    const struct {
        const char* name;
        std::function<void(Seeded&)> edit;
    } cases[] = {
        {"add", [](Seeded& s) { s.doc().add({std::make_shared<LineAnnotation>(Point{0, 0}, Point{9, 9}, red, 2)}); }},
        {"remove", [](Seeded& s) { s.canvas.removeAnnotations({s.arrow->id(), s.note->id()}); }},
        {"move", [](Seeded& s) { s.drag({20, 20}, {70, 90}); }},
        {"style",
         [](Seeded& s) {
             s.doc().selectedIDs = {s.rect->id(), s.arrow->id()};
             s.canvas.updateSelectedAnnotationColor(AnnotationColor::black());
         }},
        {"hide", [](Seeded& s) { s.canvas.setAnnotationsHidden(true, {s.badge->id()}); }},
        {"reorder", [](Seeded& s) { s.canvas.reorderAnnotations({s.note->id(), s.badge->id(), s.rect->id(), s.arrow->id()}); }},
        {"crop", [](Seeded& s) { s.canvas.setCropRect(Rect{10, 10, 100, 100}); }},
        {"uncrop", [](Seeded& s) { s.canvas.setCropRect(std::nullopt); }},
        {"background", [](Seeded& s) { s.canvas.setBackground(AnnotationBackgroundStyle{}, false); }},
        {"text",
         [](Seeded& s) {
             s.doc().selectedIDs = {s.note->id()};
             s.canvas.beginEditingSelectedText();
             s.canvas.updatePendingText("longer note\nwith two lines");
             s.canvas.commitPendingText();
         }},
        {"badge number",
         [](Seeded& s) {
             s.doc().selectedIDs = {s.badge->id()};
             s.canvas.handleDigit(9);
         }},
        {"duplicate",
         [](Seeded& s) {
             s.doc().selectedIDs = {s.rect->id(), s.badge->id()};
             s.canvas.duplicateSelection();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Seeded s;
        const auto before = fingerprint(s.doc());
        c.edit(s);
        const auto after = fingerprint(s.doc());
        ASSERT_NE(after, before);
        ASSERT_TRUE(s.canvas.undo());
        EXPECT_EQ(fingerprint(s.doc()), before);
        ASSERT_TRUE(s.canvas.redo());
        EXPECT_EQ(fingerprint(s.doc()), after);
        ASSERT_TRUE(s.canvas.undo());
        EXPECT_EQ(fingerprint(s.doc()), before) << "and again";
        for (const auto& id : s.doc().selectedIDs) EXPECT_TRUE(s.doc().annotation(id)) << "no stale selection";
    }
}

TEST(AnnotationEditReplay, EmptyStacksDoNothingAndRecordingDropsRedo) {
    Seeded s;
    ScriptedCanvas empty;
    EXPECT_FALSE(empty.canvas.undo());
    EXPECT_FALSE(empty.canvas.redo());
    s.canvas.undo();  // the seeding add
    EXPECT_TRUE(s.doc().editLog.canRedo());
    s.doc().add({std::make_shared<LineAnnotation>(Point{0, 0}, Point{9, 9}, red, 2)});
    EXPECT_FALSE(s.doc().editLog.canRedo());
}

TEST(AnnotationEditReplay, ASliderGestureIsOneStepAndTwoGesturesAreTwo) {
    Seeded s;
    s.doc().selectedIDs = {s.rect->id()};
    const size_t base = s.doc().editLog.undoStack().size();
    for (int step = 1; step <= 20; ++step) s.canvas.updateSelectedAnnotationParameter(step, AnnotationMetricKind::strokeWidth, true);
    s.canvas.endAdjusting();
    EXPECT_EQ(s.doc().editLog.undoStack().size(), base + 1);
    for (int step = 5; step <= 8; ++step) s.canvas.updateSelectedAnnotationParameter(step, AnnotationMetricKind::strokeWidth, true);
    s.canvas.endAdjusting();
    EXPECT_EQ(s.doc().editLog.undoStack().size(), base + 2) << "a second drag is its own step";
    auto& rect = dynamic_cast<RectangleAnnotation&>(*s.rect);
    s.canvas.undo();
    EXPECT_EQ(rect.lineWidth, 20);
    s.canvas.undo();
    EXPECT_EQ(rect.lineWidth, 3);

    s.canvas.setBackground(AnnotationBackgroundStyle{}, true);
    for (double p = 10; p < 60; p += 10) {
        AnnotationBackgroundStyle style;
        style.padding = p;
        s.canvas.setBackground(style, true);
    }
    s.canvas.endAdjusting();
    AnnotationBackgroundStyle wide;
    wide.padding = 99;
    s.canvas.setBackground(wide, true);
    s.canvas.undo();
    EXPECT_EQ(s.doc().background->padding, 50) << "the second background drag undoes alone";
    s.canvas.undo();
    EXPECT_FALSE(s.doc().background);
}

TEST(AnnotationEditReplay, UndoDeleteOrToolChangeDuringADragEndsItFirst) {
    const struct {
        const char* name;
        std::function<void(Seeded&)> interrupt;
        size_t annotationsAfter;
    } cases[] = {
        {"undo", [](Seeded& s) { s.canvas.undo(); }, 4},
        {"delete", [](Seeded& s) { s.canvas.deleteSelection(); }, 3},
        {"tool change", [](Seeded& s) { s.use(std::make_unique<DragToolHandler>(AnnotationToolType::arrow)); }, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Seeded s;
        const auto before = fingerprint(s.doc());
        const size_t steps = s.doc().editLog.undoStack().size();
        s.canvas.mouseDown({20, 20}, 1, {});
        s.canvas.mouseDragged({60, 20}, {});
        c.interrupt(s);
        EXPECT_FALSE(s.canvas.isDragging());
        s.canvas.mouseDragged({90, 20}, {});  // the rest of the gesture changes nothing
        s.canvas.mouseUp({90, 20}, {});
        EXPECT_EQ(s.doc().annotations.size(), c.annotationsAfter);
        EXPECT_TRUE(s.doc().geometryBaseline.empty());
        while (s.doc().editLog.undoStack().size() > steps) s.canvas.undo();
        EXPECT_EQ(fingerprint(s.doc()), before);
    }
}

TEST(AnnotationEditReplay, ReplayToleratesIndexesPastTheEnd) {
    AnnotationDocument doc;
    const auto a = std::make_shared<RectangleAnnotation>(Rect{0, 0, 4, 4}, red, 1, false);
    AnnotationEdit::Edit edit = AnnotationEdit::Remove{{{a, 7}}};
    const auto effect = AnnotationEditReplay::apply(doc, edit, AnnotationReplayDirection::backward);
    EXPECT_EQ(doc.annotations, std::vector<AnnotationPtr>{a});
    EXPECT_TRUE(effect.annotationsChanged && effect.dirtyBounds);
}

}  // namespace
}  // namespace tessarin
