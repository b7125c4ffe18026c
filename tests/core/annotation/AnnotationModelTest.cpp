// The annotation model: bounds, hit testing, style channels, duplication, layers, recorded edits.

#include <gtest/gtest.h>

#include "FakeTextMeasurer.h"
#include "core/annotation/AnnotationDocument.h"
#include "core/annotation/AnnotationGeometry.h"
#include "core/annotation/AnnotationLayers.h"
#include "core/annotation/AnnotationTools.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {
namespace {

const AnnotationColor red = AnnotationColor::systemRed();

AnnotationPtr text(const std::string& t, std::shared_ptr<testing::FakeTextMeasurer> m = nullptr) {
    if (!m) m = std::make_shared<testing::FakeTextMeasurer>();
    return std::make_shared<TextAnnotation>(t, Point{10, 10}, 16, red, std::nullopt, m);
}

TEST(AnnotationModel, HitTestingPerKind) {
    const auto arrow = std::make_shared<ArrowAnnotation>(Point{0, 0}, Point{100, 0}, red, 4);
    const auto outlined = std::make_shared<RectangleAnnotation>(Rect{0, 0, 100, 100}, red, 4, false);
    const auto filled = std::make_shared<RectangleAnnotation>(Rect{0, 0, 100, 100}, red, 4, true);
    const auto ring = std::make_shared<CircleAnnotation>(Rect{0, 0, 100, 50}, red, 4, false);
    const auto stroke = [](std::vector<Point> points) { return std::make_shared<FreehandAnnotation>(points, red, 12); };
    const struct {
        AnnotationPtr annotation;
        Point point;
        bool hit;
        const char* why;
    } cases[] = {
        {arrow, {50, 7.9}, true, "near the shaft"},
        {arrow, {50, 8.1}, false, "beyond the tolerance"},
        {std::make_shared<ArrowAnnotation>(Point{5, 5}, Point{5, 5}, red, 4), {10, 10}, true, "a zero-length arrow, near its start"},
        {outlined, {50, 50}, false, "the middle of an outline"},
        {outlined, {-9.9, 50}, true, "outside the edge within tolerance + width/2"},
        {filled, {50, 50}, true, "the middle of a filled box"},
        {ring, {50, 25}, false, "the middle of a ring"},
        {std::make_shared<CircleAnnotation>(Rect{0, 0, 0, 50}, red, 4, true), {0, 25}, false, "an ellipse of zero width"},
        {stroke({{0, 0}, {50, 0}}), {25, 11.9}, true, "within the line width (above the tolerance)"},
        {stroke({{0, 0}}), {0, 0}, false, "a one-point stroke"},
        {std::make_shared<NumberAnnotation>(1, Point{50, 50}, red, 36, true), {50 + 18 + 7.9, 50}, true, "the badge square grown by the tolerance"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.annotation->contains(c.point), c.hit) << c.why;
    filled->setHidden(true);
    EXPECT_FALSE(filled->contains({50, 50})) << "hidden annotations are never hit";
}

TEST(AnnotationModel, BoundsArePaddedPerKind) {
    const ArrowAnnotation arrow({0, 0}, {100, 0}, red, 2);
    EXPECT_EQ(arrow.selectionBounds(), (Rect{-1.5, -1.5, 103, 3}));
    EXPECT_NEAR(arrow.visualBounds().x, -11.495, 0.005) << "grown by just under 10 for the head";
    EXPECT_EQ(RectangleAnnotation({10, 10, -10, 0}, red, 8, false).selectionBounds(), (Rect{-4, 6, 18, 8}));
    EXPECT_EQ(HighlighterAnnotation({5, 5, 0, 0}, red).selectionBounds(), (Rect{4, 4, 2, 2})) << "widened to 2";
    EXPECT_EQ(NumberAnnotation(1, {50, 50}, red, 36, true).selectionBounds(), (Rect{32, 32, 36, 36}));
    EXPECT_EQ(text("abc\nde")->selectionBounds(), (Rect{10, 10, 30, 40}));
}

TEST(AnnotationModel, StyleChannelsAndResizing) {
    PixelateAnnotation mosaic({0, 0, 10, 10}, AnnotationMosaicEffect::pixelate, 12);
    EXPECT_EQ(mosaic.styleChannels(), (AnnotationStyleChannels{std::nullopt, AnnotationMosaicEffect::pixelate, 12}));
    mosaic.applyStyleChannels({red, AnnotationMosaicEffect::blackOut, std::nullopt});
    EXPECT_EQ(mosaic.styleChannels(), (AnnotationStyleChannels{std::nullopt, AnnotationMosaicEffect::blackOut, std::nullopt}));
    EXPECT_EQ(mosaic.radius, 12);

    HighlighterAnnotation highlight({0, 0, 10, 10}, red);
    highlight.applyStyleChannels({AnnotationColor::black(), std::nullopt, 40});
    EXPECT_EQ(highlight.styleChannels(), (AnnotationStyleChannels{AnnotationColor::black(), std::nullopt, std::nullopt}));

    auto t = std::static_pointer_cast<TextAnnotation>(text("hello"));
    t->applyResizedRect({1, 2, 5, 80});
    EXPECT_EQ(t->position, (Point{1, 2}));
    EXPECT_EQ(t->width, 20) << "never narrower than 20";
    LineAnnotation line({0, 0}, {1, 1}, red, 3);
    line.applyResizedRect({0, 0, 50, 50});
    EXPECT_EQ(line.endPoint, (Point{1, 1})) << "segments ignore rectangle resizing";
}

TEST(AnnotationModel, DuplicatesAreFreshVisibleAndUncached) {
    const auto measurer = std::make_shared<testing::FakeTextMeasurer>();
    const auto source = std::static_pointer_cast<TextAnnotation>(text("cached", measurer));
    source->selectionBounds();
    source->selectionBounds();
    EXPECT_EQ(measurer->calls, 1) << "measured once while its inputs stay";
    source->setHidden(true);
    const auto copies = AnnotationDuplication::copies({source}, {source}, {5, -5});
    ASSERT_EQ(copies.size(), 1u);
    const auto& copy = dynamic_cast<const TextAnnotation&>(*copies[0]);
    EXPECT_TRUE(copy.id() != source->id() && !copy.isHidden() && !copy.hasCachedMeasurement());
    EXPECT_EQ(copy.position, (Point{15, 5}));
}

TEST(AnnotationModel, LayerTitlesToolsAndOrdering) {
    EXPECT_EQ(AnnotationLayers::title(*text("\n   \n  first line  \nsecond")), "first line");
    EXPECT_EQ(AnnotationLayers::title(*text(" \n ")), "Text");
    EXPECT_EQ(AnnotationLayers::title(*text(std::string(30, 'w'))), std::string(24, 'w') + "…");
    EXPECT_EQ(AnnotationLayers::title(NumberAnnotation(3, {}, red, 36, true)), "Number 3");
    EXPECT_EQ(metricLabel(AnnotationMetricKind::strokeWidth, 3.6), "Width: 4 pt");

    const AnnotationID a = AnnotationID::random(), b = AnnotationID::random(), c = AnnotationID::random(), d = AnnotationID::random();
    using P = AnnotationLayerPlacement;
    struct Case {
        std::set<AnnotationID> moving;
        P placement;
        std::vector<AnnotationID> expected;
    } cases[] = {
        {{b}, P::front, {a, c, d, b}},      {{b}, P::back, {b, a, c, d}},    {{c, d}, P::backward, {a, c, d, b}},
        {{d}, P::forward, {a, b, c, d}},    {{a, c}, P::forward, {b, a, d, c}},
    };
    for (const auto& k : cases) EXPECT_EQ(AnnotationLayerOrdering::order({a, b, c, d}, k.moving, k.placement), k.expected);
}

TEST(AnnotationDocument, RecordsEachChangeOnceAndCoalescesRuns) {
    AnnotationDocument doc;
    const auto box = std::make_shared<RectangleAnnotation>(Rect{0, 0, 10, 10}, red, 3, false);
    const auto line = std::make_shared<LineAnnotation>(Point{0, 0}, Point{5, 5}, red, 3);
    doc.add({box, line});
    doc.remove({AnnotationID::random()});
    doc.reorder({line->id()});  // not a complete order
    EXPECT_EQ(doc.editLog.undoStack().size(), 1u) << "no-ops record nothing";

    doc.setHidden(true, {box->id()});
    doc.reorder({line->id(), box->id()});
    EXPECT_EQ(doc.annotations.front(), line);
    doc.beginGeometryEdit({box->id(), line->id()});
    box->applyGeometry(box->geometrySnapshot(), {3, 4});
    doc.commitGeometryEditIfNeeded();
    ASSERT_EQ(doc.editLog.undoStack().size(), 4u);
    const auto& moved = std::get<AnnotationEdit::Modify>(doc.editLog.undoStack().back());
    ASSERT_EQ(moved.changes.size(), 1u) << "only the annotation that changed";
    EXPECT_EQ(std::get<GeometrySnapshot::RectShape>(moved.changes[0].before.geometry).rect, (Rect{0, 0, 10, 10}));

    doc.setBackground(AnnotationBackgroundStyle{}, false);
    for (int step = 1; step <= 20; ++step) {
        const auto before = box->stateCapture();
        box->lineWidth = step;
        doc.editLog.recordModify({{box, before, box->stateCapture()}}, true);
    }
    ASSERT_EQ(doc.editLog.undoStack().size(), 6u) << "a slider drag is one step";
    const auto& drag = std::get<AnnotationEdit::Modify>(doc.editLog.undoStack().back());
    EXPECT_EQ(drag.changes[0].before.metricValue, 3);
    EXPECT_EQ(drag.changes[0].after.metricValue, 20);

    box->applyStateCapture(drag.changes[0].before);
    EXPECT_TRUE(box->lineWidth == 3 && box->isHidden());

    doc.selectedIDs = {box->id(), AnnotationID::random()};
    EXPECT_TRUE(doc.pruneSelection());
    EXPECT_EQ(doc.selectedAnnotations(), std::vector<AnnotationPtr>{box});

    const auto copies = AnnotationDuplication::copies({box}, doc.annotations, {0, 0});
    for (const bool commit : {false, true}) {
        doc.annotations.push_back(copies[0]);
        doc.pendingDuplicates = copies;
        commit ? doc.commitDuplicateDragIfNeeded() : doc.cancelDuplicateDrag();
        EXPECT_EQ(doc.annotations.size(), commit ? 3u : 2u);
    }
    EXPECT_EQ(std::get<AnnotationEdit::Add>(doc.editLog.undoStack().back()).entries[0].index, 2u);
}

}  // namespace
}  // namespace tessarin
