// Random scripts of editor input (every tool, modifiers, keys, undo mid-gesture, typing, layers)
// undo to the empty document and redo to exactly where they ended.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "EditorTestSupport.h"
#include "core/annotation/AnnotationEditorModel.h"

namespace tessarin {
namespace {

struct NoRenderer final : AnnotationExportRenderer {
    void render(AnnotationCompositeInputs, std::function<void(std::optional<Image>)> finished) override {
        finished(std::nullopt);
    }
};

// An editor without an image, fed by a script.
AnnotationEditorModel::Dependencies scriptDependencies(NoRenderer& renderer, testing::ManualClock& clock) {
    AnnotationEditorModel::Dependencies deps;
    deps.measurer = std::make_shared<testing::FakeTextMeasurer>();
    deps.renderer = &renderer;
    deps.clock = clock.function();
    return deps;
}

void runScript(AnnotationEditorModel& m, testing::ManualClock& clock, std::mt19937& random, int events,
               const std::function<void()>& beforeEvent = {}, const std::function<void()>& afterEvent = {}) {
    std::uniform_real_distribution<double> coordinate(0, 400);
    const auto point = [&] { return Point{coordinate(random), coordinate(random)}; };
    const auto modifiers = [&] {
        const unsigned bits = random() % 8;
        return AnnotationModifiers{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, false};
    };
    const char32_t keys[] = {U'm', U'a', U'l', U'n', U'r', U'o', U't', U'f', U'h', U'p', U'3', U'7', U'1'};
    for (int i = 0; i < events; ++i) {
        clock.now += (random() % 5) * 0.1;
        auto& canvas = m.canvas();
        if (beforeEvent) beforeEvent();
        switch (random() % 14) {
            case 0:
            case 1:
            case 2: canvas.mouseDown(point(), 1 + int(random() % 2), modifiers()); break;
            case 3:
            case 4: canvas.mouseDragged(point(), modifiers()); break;
            case 5:
            case 6: canvas.mouseUp(point(), modifiers()); break;
            case 7: m.handleKey(AnnotationKey::of(keys[random() % std::size(keys)])); break;
            case 8: random() % 2 ? m.undo() : m.redo(); break;
            case 9:
                m.handleKey(AnnotationKey::named(random() % 2 ? AnnotationKey::Kind::deleteKey : AnnotationKey::Kind::escape));
                break;
            case 10:
                canvas.updatePendingText(random() % 3 ? "note" : " ");
                if (random() % 2) canvas.commitPendingText();
                break;
            case 11: canvas.duplicateSelection(); break;
            case 12: {
                const auto ids = m.document().selectedIDs;
                if (random() % 2) {
                    m.setLayersHidden(random() % 2, ids);
                } else {
                    m.moveLayers(ids, AnnotationLayerPlacement(random() % 4));
                }
                break;
            }
            default:
                m.updateParameter(double(1 + random() % 20), AnnotationMetricKind(random() % 4), random() % 2);
                if (random() % 2) m.endAdjusting();
                break;
        }
        if (afterEvent) afterEvent();
    }
}

struct Drawn {
    size_t index;
    AnnotationStateCapture state;
    Rect bounds;
};

std::map<AnnotationID, Drawn> drawnState(const AnnotationDocument& doc) {
    std::map<AnnotationID, Drawn> out;
    for (size_t i = 0; i < doc.annotations.size(); ++i) {
        const auto& a = doc.annotations[i];
        out.emplace(a->id(), Drawn{i, a->stateCapture(), a->visualBounds()});
    }
    return out;
}

bool covers(const std::optional<Rect>& dirty, const Rect& bounds) {
    if (!dirty) return false;
    const Rect b = bounds.standardized();
    constexpr double e = 1e-6;  // the union's arithmetic rounds; the canvas repaints whole pixels anyway
    return dirty->minX() <= b.minX() + e && dirty->minY() <= b.minY() + e && dirty->maxX() >= b.maxX() - e &&
           dirty->maxY() >= b.maxY() - e;
}

// Every annotation that appeared, vanished, changed or moved in the order lies inside the reported repaint.
TEST(AnnotationEditScript, RepaintReportsCoverEveryChangedAnnotation) {
    NoRenderer renderer;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        testing::ManualClock clock;
        AnnotationEditorModel m(nullptr, scriptDependencies(renderer, clock), Rect{0, 0, 400, 400});
        std::mt19937 random(seed);
        std::map<AnnotationID, Drawn> before;
        const auto snapshot = [&] {
            m.canvas().takeChanges();
            before = drawnState(m.document());
        };
        const auto check = [&] {
            const auto dirty = m.canvas().takeChanges().dirtyRect;
            auto after = drawnState(m.document());
            // Place in the drawing order counts among the annotations on both sides only.
            std::vector<AnnotationID> survivors;
            for (const auto& a : m.document().annotations) {
                if (before.count(a->id())) survivors.push_back(a->id());
            }
            for (size_t rank = 0; rank < survivors.size(); ++rank) after.at(survivors[rank]).index = rank;
            std::vector<std::pair<size_t, AnnotationID>> order;
            for (const auto& [id, d] : before) {
                if (after.count(id)) order.emplace_back(d.index, id);
            }
            std::sort(order.begin(), order.end());
            for (size_t rank = 0; rank < order.size(); ++rank) before.at(order[rank].second).index = rank;
            for (const auto& [id, was] : before) {
                const auto now = after.find(id);
                const bool same = now != after.end() && now->second.state == was.state && now->second.index == was.index;
                const bool staysUnseen = was.state.isHidden && (now == after.end() || now->second.state.isHidden);
                if (same || staysUnseen) continue;
                if (!was.state.isHidden) { ASSERT_TRUE(covers(dirty, was.bounds)) << "where it was"; }
                if (now != after.end() && !now->second.state.isHidden) {
                    ASSERT_TRUE(covers(dirty, now->second.bounds)) << "where it is";
                }
            }
            for (const auto& [id, now] : after) {
                if (!before.count(id) && !now.state.isHidden) {
                    ASSERT_TRUE(covers(dirty, now.bounds)) << "a new one";
                }
            }
        };
        runScript(m, clock, random, 120, snapshot, check);
    }
}

TEST(AnnotationEditScript, RandomScriptsUndoToTheStartAndRedoToTheEnd) {
    NoRenderer renderer;
    for (unsigned seed = 1; seed <= 1000; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        testing::ManualClock clock;
        AnnotationEditorModel m(nullptr, scriptDependencies(renderer, clock), Rect{0, 0, 400, 400});
        const auto start = testing::fingerprint(m.document());
        std::mt19937 random(seed);
        runScript(m, clock, random, 120);
        m.canvas().endDrag();
        m.canvas().commitPendingText();
        const auto end = testing::fingerprint(m.document());
        size_t steps = 0;
        while (m.undo()) ++steps;
        ASSERT_EQ(testing::fingerprint(m.document()), start);
        // As many redos as undos: entries undone during the script lie beyond its end.
        for (size_t i = 0; i < steps; ++i) ASSERT_TRUE(m.redo());
        ASSERT_EQ(testing::fingerprint(m.document()), end);
        EXPECT_TRUE(m.document().geometryBaseline.empty() && m.document().pendingDuplicates.empty());
    }
}

}  // namespace
}  // namespace tessarin
