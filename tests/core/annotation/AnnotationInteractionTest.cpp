// Pointer and key input on the editor canvas, scripted.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "EditorTestSupport.h"
#include "core/annotation/AnnotationInteractionResolver.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {
namespace {

using testing::ScriptedCanvas;
using T = AnnotationToolType;
using Cursor = AnnotationCursorKind;
const AnnotationColor red = AnnotationColor::systemRed();
const AnnotationModifiers shift{true, false, false, false};
const AnnotationModifiers alt{false, true, false, false};
const AnnotationModifiers ctrl{false, false, true, false};

std::unique_ptr<AnnotationToolHandler> handlerFor(T tool) {
    for (auto& h : makeAnnotationToolHandlers()) {
        if (h->toolType() == tool) return std::move(h);
    }
    return nullptr;
}

AnnotationPtr box(ScriptedCanvas& s, Rect r, bool filled = true) {
    auto a = std::make_shared<RectangleAnnotation>(r, red, 3, filled);
    s.doc().add({a});
    return a;
}

TEST(AnnotationInteraction, EachDrawingToolCreatesOnlyPastItsThreshold) {
    const struct {
        T tool;
        Point from, to;
        std::vector<Point> via;
        bool creates;
    } cases[] = {
        {T::arrow, {0, 0}, {5, 0}, {}, false},       {T::arrow, {0, 0}, {6, 0}, {}, true},
        {T::rectangle, {0, 0}, {3, 50}, {}, false},  {T::rectangle, {0, 0}, {4, 50}, {}, true},
        {T::highlighter, {0, 0}, {3, 9}, {}, false}, {T::highlighter, {0, 0}, {4, 9}, {}, true},
        {T::pixelate, {0, 0}, {4, 4}, {}, true},     {T::pixelate, {0, 0}, {-3, -30}, {}, false},
        {T::freehand, {5, 5}, {5, 5}, {}, false},    {T::freehand, {5, 5}, {9, 9}, {{7, 7}}, true},
        {T::number, {5, 5}, {5, 5}, {}, true},
    };
    for (const auto& c : cases) {
        ScriptedCanvas s;
        s.use(handlerFor(c.tool));
        if (c.tool == T::freehand) {  // no intermediate drag: only press and release points
            s.canvas.mouseDown(c.from, 1, {});
            for (Point p : c.via) s.canvas.mouseDragged(p, {});
            s.canvas.mouseUp(c.to, {});
        } else {
            s.drag(c.from, c.to, {}, c.via);
        }
        SCOPED_TRACE(std::string(rawValue(c.tool)) + " to " + std::to_string(c.to.x) + "," + std::to_string(c.to.y));
        ASSERT_EQ(s.doc().annotations.size(), c.creates ? 1u : 0u);
        if (!c.creates) continue;
        EXPECT_EQ(s.doc().annotations[0]->toolType(), c.tool);
        EXPECT_EQ(s.doc().selectedIDs, std::set{s.doc().annotations[0]->id()}) << "a new shape is selected";
        EXPECT_EQ(s.doc().editLog.undoStack().size(), 1u) << "one undoable add";
    }
}

TEST(AnnotationInteraction, ShiftSnapsSegmentsTo45DegreesAndBoxesToSquares) {
    ScriptedCanvas s;
    s.use(handlerFor(T::line));
    const double angle = 40 * std::numbers::pi / 180;
    s.drag({10, 10}, {10 + 100 * std::cos(angle), 10 + 100 * std::sin(angle)}, shift);
    const auto line = s.last<LineAnnotation>();
    ASSERT_TRUE(line);
    const double dx = line->endPoint.x - 10, dy = line->endPoint.y - 10;
    EXPECT_NEAR(std::atan2(dy, dx) * 180 / std::numbers::pi, 45, 1e-9);
    EXPECT_NEAR(std::hypot(dx, dy), 100, 1e-9) << "the length is kept";

    const struct {
        Point to;
        Rect expected;
    } boxes[] = {{{110, 40}, {10, 10, 100, 100}}, {{-20, 60}, {-40, 10, 50, 50}}};
    for (const auto& b : boxes) {
        ScriptedCanvas r;
        r.use(handlerFor(T::rectangle));
        r.drag({10, 10}, b.to, shift);
        ASSERT_TRUE(r.last<RectangleAnnotation>());
        EXPECT_EQ(r.last<RectangleAnnotation>()->rect, b.expected);
    }
    EXPECT_EQ(snappedSegmentEnd({0, 0}, {0, 0}), (Point{0, 0})) << "a zero drag stays put";
}

TEST(AnnotationInteraction, HighlighterSnapsToTheRecognisedTextLine) {
    ScriptedCanvas s;
    auto highlighter = std::make_unique<HighlighterToolHandler>();
    highlighter->textLineResolver = [](Point p) -> std::optional<Rect> {
        if (p.y >= 100 && p.y <= 120) return Rect{20, 100, 300, 20};
        return std::nullopt;
    };
    s.use(std::move(highlighter));
    s.drag({50, 110}, {52, 111});  // a short drag along the line still marks it
    ASSERT_TRUE(s.last<HighlighterAnnotation>());
    EXPECT_EQ(s.last<HighlighterAnnotation>()->rect, (Rect{20, 100, 300, 20}));
    s.canvas.deselect();
    s.drag({50, 10}, {90, 40});
    EXPECT_EQ(s.last<HighlighterAnnotation>()->rect, (Rect{50, 10, 40, 30})) << "away from text it is a box";
}

TEST(AnnotationInteraction, MoveToolPressFollowsItsRulesInOrder) {
    namespace I = AnnotationInteraction;
    ScriptedCanvas s;
    const auto a = box(s, {0, 0, 40, 40});
    const auto b = box(s, {100, 0, 40, 40});
    const auto hidden = box(s, {200, 0, 40, 40});
    hidden->setHidden(true);
    namespace R = AnnotationInteractionResolver;
    using Kind = R::SelectionChange::Kind;
    const auto& all = s.doc().annotations;

    auto o = R::moveToolMouseDown({20, 20}, true, all, {b->id()});
    EXPECT_EQ(o.selection.kind, Kind::toggle) << "shift on an annotation toggles it";
    EXPECT_TRUE(std::holds_alternative<I::None>(o.interaction));

    o = R::moveToolMouseDown({40, 40}, false, all, {a->id()});
    EXPECT_TRUE(std::holds_alternative<I::ResizingRect>(o.interaction)) << "a handle of the single selection";
    EXPECT_EQ(o.selection.kind, Kind::unchanged);

    o = R::moveToolMouseDown({120, 20}, false, all, {a->id(), b->id()});
    ASSERT_TRUE(std::holds_alternative<I::Moving>(o.interaction)) << "one of several selected moves them all";
    EXPECT_EQ(std::get<I::Moving>(o.interaction).snapshots.size(), 2u);
    EXPECT_EQ(o.selection.kind, Kind::unchanged);

    o = R::moveToolMouseDown({120, 20}, false, all, {a->id()});
    EXPECT_EQ(o.selection.kind, Kind::replace);
    EXPECT_EQ(o.selection.ids, std::set{b->id()}) << "an unselected hit becomes the selection";

    o = R::moveToolMouseDown({220, 20}, false, all, {a->id()});
    ASSERT_TRUE(std::holds_alternative<I::Marquee>(o.interaction)) << "hidden annotations are not hit";
    EXPECT_EQ(o.selection.kind, Kind::replace);
    EXPECT_TRUE(o.selection.ids.empty());

    o = R::moveToolMouseDown({500, 500}, true, all, {a->id()});
    ASSERT_TRUE(std::holds_alternative<I::Marquee>(o.interaction));
    EXPECT_TRUE(std::get<I::Marquee>(o.interaction).additive);
    EXPECT_EQ(o.selection.kind, Kind::unchanged);
}

TEST(AnnotationInteraction, MovingRecordsOneStepAndMarqueeSkipsHiddenAnnotations) {
    ScriptedCanvas s;
    const auto a = box(s, {0, 0, 40, 40});
    const auto hidden = box(s, {60, 0, 40, 40});
    hidden->setHidden(true);
    const size_t before = s.doc().editLog.undoStack().size();
    s.drag({20, 20}, {30, 25}, {}, {{22, 21}, {25, 23}});
    EXPECT_EQ(std::dynamic_pointer_cast<RectangleAnnotation>(a)->rect, (Rect{10, 5, 40, 40}));
    EXPECT_EQ(s.doc().editLog.undoStack().size(), before + 1) << "a drag is one step";

    s.drag({-50, -50}, {300, 300});
    EXPECT_EQ(s.doc().selectedIDs, std::set{a->id()}) << "the marquee leaves hidden annotations out";
    s.canvas.deleteSelection();
    EXPECT_EQ(s.doc().annotations, std::vector<AnnotationPtr>{hidden}) << "Delete removes only what is seen";
}

TEST(AnnotationInteraction, DuplicatingDragStartsPastThreeWithAltOrCtrl) {
    const struct {
        AnnotationModifiers modifiers;
        double distance;
        bool copies;
    } cases[] = {{alt, 2, false}, {alt, 4, true}, {ctrl, 4, true}, {{}, 10, false}};
    for (const auto& c : cases) {
        ScriptedCanvas s;
        const auto a = box(s, {0, 0, 40, 40});
        s.doc().selectedIDs = {a->id()};
        const size_t steps = s.doc().editLog.undoStack().size();
        s.drag({20, 20}, {20 + c.distance, 20}, c.modifiers);
        SCOPED_TRACE(c.distance);
        ASSERT_EQ(s.doc().annotations.size(), c.copies ? 2u : 1u);
        ASSERT_EQ(s.doc().editLog.undoStack().size(), steps + 1);
        if (!c.copies) continue;
        EXPECT_EQ(std::dynamic_pointer_cast<RectangleAnnotation>(a)->rect, (Rect{0, 0, 40, 40})) << "the original stays";
        const auto copy = s.last<RectangleAnnotation>();
        EXPECT_EQ(copy->rect, (Rect{c.distance, 0, 40, 40}));
        EXPECT_EQ(s.doc().selectedIDs, std::set{copy->id()});
        EXPECT_TRUE(std::holds_alternative<AnnotationEdit::Add>(s.doc().editLog.undoStack().back()));
        s.canvas.undo();
        EXPECT_EQ(s.doc().annotations.size(), 1u) << "one undo removes the copies";
    }
}

TEST(AnnotationInteraction, CancellingADuplicatingDragLeavesNoTrace) {
    ScriptedCanvas s;
    const auto a = box(s, {0, 0, 40, 40});
    s.doc().selectedIDs = {a->id()};
    const auto before = testing::fingerprint(s.doc());
    const size_t steps = s.doc().editLog.undoStack().size();
    s.canvas.mouseDown({20, 20}, 1, ctrl);
    s.canvas.mouseDragged({50, 20}, ctrl);
    ASSERT_EQ(s.doc().annotations.size(), 2u);
    s.canvas.cancelDrag();
    EXPECT_EQ(testing::fingerprint(s.doc()), before);
    EXPECT_EQ(s.doc().selectedIDs, std::set{a->id()}) << "the originals are selected again";
    EXPECT_EQ(s.doc().editLog.undoStack().size(), steps);
    s.canvas.mouseUp({50, 20}, ctrl);
    EXPECT_EQ(s.doc().editLog.undoStack().size(), steps) << "the release after a cancel records nothing";

    s.canvas.duplicateSelection();
    ASSERT_EQ(s.doc().annotations.size(), 2u);
    EXPECT_EQ(s.last<RectangleAnnotation>()->rect, (Rect{10, -10, 40, 40})) << "beside the original, not on it";
}

TEST(AnnotationInteraction, HandlesAndTheirDrags) {
    ScriptedCanvas s;
    const auto rect = box(s, {0, 0, 100, 60});
    const auto handles = AnnotationHandles::handles(*rect);
    ASSERT_EQ(handles.size(), 8u);
    EXPECT_EQ(handles[0].rect, (Rect{-8, 52, 16, 16})) << "top-left: 16 x 16 around the corner (y grows upward)";
    EXPECT_EQ(handles[0].visualRect, (Rect{-4, 56, 8, 8}));
    EXPECT_TRUE(AnnotationHandles::handles(NumberAnnotation(1, {0, 0}, red, 28, true)).empty());

    const struct {
        Point start, end;
        AnnotationResizeHandle cursor;
    } segments[] = {{{0, 0}, {100, 0}, AnnotationResizeHandle::right},
                    {{0, 0}, {100, 100}, AnnotationResizeHandle::topRight},
                    {{0, 0}, {-100, -10}, AnnotationResizeHandle::right}};
    for (const auto& c : segments) {
        const auto h = AnnotationHandles::handles(ArrowAnnotation(c.start, c.end, red, 3));
        ASSERT_EQ(h.size(), 2u);
        EXPECT_EQ(h[1].cursorKind, Cursor::resize(c.cursor));
    }

    s.doc().selectedIDs = {rect->id()};
    s.drag({100, 0}, {130, -20});  // bottom-right corner
    EXPECT_EQ(std::dynamic_pointer_cast<RectangleAnnotation>(rect)->rect, (Rect{0, -20, 130, 80}));
    s.drag({130, 20}, {-50, 20});  // the right edge past the left one flips, never negative
    EXPECT_EQ(std::dynamic_pointer_cast<RectangleAnnotation>(rect)->rect, (Rect{-50, -20, 50, 80}));

    auto arrow = std::make_shared<ArrowAnnotation>(Point{300, 300}, Point{400, 300}, red, 3);
    s.doc().add({arrow});
    s.doc().selectedIDs = {arrow->id()};
    s.drag({400, 300}, {420, 350});
    EXPECT_EQ(arrow->endPoint, (Point{420, 350}));
    EXPECT_EQ(arrow->startPoint, (Point{300, 300}));
}

TEST(AnnotationInteraction, TextScaledPastItsOppositeCornerStaysValid) {
    ScriptedCanvas s;
    auto text = std::make_shared<TextAnnotation>("Hello", Point{100, 100}, 16, red, std::nullopt, s.measurer);
    s.doc().add({text});
    s.doc().selectedIDs = {text->id()};
    const Rect box = text->textBox();  // 50 x 20
    // Top-right corner, dragged down past the bottom-left anchor and beyond.
    s.drag({box.maxX(), box.maxY()}, {box.minX() - 100, box.minY() - 40});
    EXPECT_TRUE(std::isfinite(text->fontSize));
    EXPECT_NEAR(text->fontSize, 32, 1e-9) << "scaled by the height reached: 40 of 20";
    EXPECT_LE(text->textBox().maxX(), box.minX() + 1e-9) << "mirrored to the pointer's side";
    EXPECT_TRUE(text->contains({text->textBox().midX(), text->textBox().midY()})) << "still reachable";

    const Rect scaled = text->textBox();
    s.drag({scaled.minX(), scaled.minY()}, {scaled.maxX(), scaled.maxY()});  // onto the fixed corner
    EXPECT_EQ(text->fontSize, AnnotationInteractionResolver::kMinimumFontSize) << "clamped, never 0 or NaN";
    EXPECT_GT(text->textBox().height, 0);

    text->fontSize = 0;  // from a damaged document: still scales to a valid size
    const Rect tiny = text->textBox();
    s.drag({tiny.maxX(), tiny.maxY()}, {tiny.maxX() + 50, tiny.maxY() + 50});
    EXPECT_TRUE(std::isfinite(text->fontSize) && text->fontSize >= AnnotationInteractionResolver::kMinimumFontSize);
}

TEST(AnnotationInteraction, TypedDigitsNumberTheSelectedBadge) {
    ScriptedCanvas s;
    s.use(handlerFor(T::number));
    auto badge = std::make_shared<NumberAnnotation>(7, Point{50, 50}, red, 28, true);
    s.doc().add({badge});
    s.doc().selectedIDs = {badge->id()};
    const size_t base = s.doc().editLog.undoStack().size();
    const struct {
        double afterSeconds;
        int digit;
        long long expected;
    } script[] = {{0, 1, 1}, {0.2, 2, 12}, {0.29, 3, 3},  // 123 is out of range: start again
                  {0.5, 4, 4},                          // too late: a new run
                  {0.1, 0, 40}, {0.1, 9, 9}};
    for (const auto& step : script) {
        s.clock.now += step.afterSeconds;
        ASSERT_TRUE(s.canvas.handleDigit(step.digit));
        EXPECT_EQ(badge->number, step.expected) << "digit " << step.digit;
    }
    EXPECT_EQ(s.doc().editLog.undoStack().size(), base + 2) << "two runs, two steps";
    s.canvas.undo();
    EXPECT_EQ(badge->number, 3);
    s.canvas.undo();
    EXPECT_EQ(badge->number, 7);

    s.canvas.deselect();
    s.clock.now += 1;
    ASSERT_TRUE(s.canvas.handleDigit(2));
    s.clock.now += 0.1;
    s.canvas.handleDigit(5);
    EXPECT_EQ(dynamic_cast<NumberToolHandler&>(*s.handler).nextNumber, 25) << "with nothing selected: the next badge";
    s.click({200, 200});
    EXPECT_EQ(s.last<NumberAnnotation>()->number, 25);
    s.clock.now += 1;
    s.canvas.deselect();
    s.use(handlerFor(T::rectangle));
    EXPECT_FALSE(s.canvas.handleDigit(3)) << "no badge to number";
}

TEST(AnnotationInteraction, BadgesCountUpToFiftyThenStartAgain) {
    const struct {
        long long placed, next;
    } cases[] = {{1, 2}, {49, 50}, {50, 1}, {77, 1}};
    for (const auto& c : cases) EXPECT_EQ(nextBadgeNumber(c.placed), c.next);
}

TEST(AnnotationInteraction, TextCommitOutcomes) {
    using Kind = AnnotationTextCommitOutcome::Kind;
    ScriptedCanvas s;
    s.use(handlerFor(T::text));
    EXPECT_EQ(s.canvas.commitPendingText().kind, Kind::notEditing);

    s.click({10, 200});
    ASSERT_TRUE(s.canvas.textEditing());
    s.canvas.updatePendingText("  \n ");
    EXPECT_EQ(s.canvas.commitPendingText().kind, Kind::discardedEmpty);
    EXPECT_TRUE(s.doc().annotations.empty());

    s.click({10, 200});
    s.canvas.updatePendingText("Hi");
    const auto committed = s.canvas.commitPendingText();
    ASSERT_EQ(committed.kind, Kind::committed);
    const auto text = s.last<TextAnnotation>();
    ASSERT_TRUE(text && committed.id == text->id());
    EXPECT_EQ(text->textBox().maxY(), 200) << "anchored at its top-left corner at the click";
    EXPECT_EQ(text->textBox().minX(), 10);

    s.canvas.deselect();
    s.click({15, 190});  // on the text with the text tool: edit it
    ASSERT_TRUE(s.canvas.textEditing() && s.canvas.textEditing()->editingID == text->id());
    s.canvas.updatePendingText("Hi\nthere");
    EXPECT_EQ(s.canvas.commitPendingText().kind, Kind::committed);
    EXPECT_EQ(text->textBox().maxY(), 200) << "the top edge stays";
    EXPECT_EQ(text->text, "Hi\nthere");

    s.doc().selectedIDs = {text->id()};
    ASSERT_TRUE(s.canvas.beginEditingSelectedText());
    s.canvas.updatePendingText("");
    EXPECT_EQ(s.canvas.commitPendingText().kind, Kind::removed);
    EXPECT_TRUE(s.doc().annotations.empty());
    s.canvas.undo();
    ASSERT_EQ(s.doc().annotations.size(), 1u) << "removing by emptying is undoable";
    EXPECT_EQ(text->text, "Hi\nthere");
}

TEST(AnnotationInteraction, APressThatClosesTheTextBoxOpensNoOther) {
    ScriptedCanvas s;
    s.use(handlerFor(T::text));
    s.click({10, 200});
    s.canvas.updatePendingText("One");
    s.click({300, 300});
    EXPECT_EQ(s.doc().annotations.size(), 1u);
    EXPECT_FALSE(s.canvas.textEditing());
}

TEST(AnnotationInteraction, ChangesReportWhatToRepaint) {
    ScriptedCanvas s;
    const auto a = box(s, {0, 0, 40, 40});
    s.canvas.takeChanges();
    s.drag({20, 20}, {220, 20});
    const auto changes = s.canvas.takeChanges();
    ASSERT_TRUE(changes.dirtyRect);
    EXPECT_TRUE(changes.dirtyRect->containsInclusive({0, 0}) && changes.dirtyRect->containsInclusive({240, 40}))
        << "where it was and where it is";
    EXPECT_TRUE(changes.selection && changes.history);
    EXPECT_FALSE(changes.crop || changes.background || changes.textEditing);
    EXPECT_FALSE(s.canvas.takeChanges().any()) << "reported once";
    s.canvas.setCropRect(Rect{0, 0, 10, 10});
    EXPECT_TRUE(s.canvas.takeChanges().crop);
}

TEST(AnnotationInteraction, CursorPolicy) {
    ScriptedCanvas s;
    const auto a = box(s, {0, 0, 40, 40});
    using CT = Cursor::Type;
    const struct {
        std::optional<T> tool;
        bool selected;
        bool option;
        Point at;
        Cursor expected;
    } cases[] = {
        {T::move, false, false, {200, 200}, Cursor::of(CT::arrow)},
        {std::nullopt, false, false, {200, 200}, Cursor::of(CT::crosshair)},
        {T::rectangle, true, false, {200, 200}, Cursor::of(CT::arrow)},
        {T::rectangle, false, false, {200, 200}, Cursor::of(CT::crosshair)},
        {T::highlighter, false, false, {200, 200}, Cursor::of(CT::highlighter)},
        {T::text, false, false, {200, 200}, Cursor::of(CT::iBeam)},
        {T::move, false, false, {20, 20}, Cursor::of(CT::openHand)},
        {T::move, false, true, {20, 20}, Cursor::of(CT::dragCopy)},
        {std::nullopt, false, false, {20, 20}, Cursor::of(CT::openHand)},
        {T::rectangle, false, false, {20, 20}, Cursor::of(CT::crosshair)},  // it draws there
        {T::rectangle, true, false, {20, 20}, Cursor::of(CT::openHand)},    // it moves the selection
        {T::move, true, false, {40, 40}, Cursor::resize(AnnotationResizeHandle::topRight)},
    };
    for (const auto& c : cases) {
        AnnotationCursorPolicy::CanvasState state{c.tool, AnnotationInteraction::None{}, &s.doc().annotations,
                                                  c.selected ? std::set{a->id()} : std::set<AnnotationID>{}, c.option};
        EXPECT_EQ(AnnotationCursorPolicy::cursor(state, c.at), c.expected)
            << (c.tool ? rawValue(*c.tool) : "no tool") << " at " << c.at.x << "," << c.at.y;
    }
    AnnotationCursorPolicy::CanvasState moving{T::move, AnnotationInteraction::Moving{}, &s.doc().annotations, {}, false};
    EXPECT_EQ(AnnotationCursorPolicy::cursor(moving, Point{500, 500}), Cursor::of(CT::closedHand));
    moving.isOptionDown = true;
    EXPECT_EQ(AnnotationCursorPolicy::cursor(moving, Point{500, 500}), Cursor::of(CT::dragCopy));

    auto thin = std::make_shared<LineAnnotation>(Point{0, 100}, Point{100, 100}, red, 1);
    s.doc().add({thin});
    AnnotationCursorPolicy::CanvasState idle{T::move, AnnotationInteraction::None{}, &s.doc().annotations, {}, false};
    const auto rects = AnnotationCursorPolicy::cursorRects(idle);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_GE(rects[0].rect.height, 8) << "a thin line stays easy to grab";
}

}  // namespace
}  // namespace tessarin
