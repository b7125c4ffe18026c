#include <gtest/gtest.h>

#include "OverlayTestSupport.h"

namespace tessarin {
namespace {

using namespace OverlayTests;

double area(const std::vector<Rect>& rects) {
    double sum = 0;
    for (const Rect& r : rects) sum += r.width * r.height;
    return sum;
}

bool inside(const Rect& inner, const Rect& outer) { return inner.intersection(outer) == inner; }

TEST(OverlayDrawing, ShowsTheHintUntilASelectionExistsThenTheSelectionsChrome) {
    AreaSelectionModel model({1440, 900}, request());
    OverlayDrawing picture = model.drawing();
    ASSERT_TRUE(picture.hintBadge);
    EXPECT_EQ(centre(picture.hintBadge->frame), (Point{720, 450}));
    EXPECT_EQ(picture.mask, (std::vector<Rect>{{0, 0, 1440, 900}}));
    EXPECT_FALSE(picture.toolbar);
    EXPECT_FALSE(picture.sizeBadge);

    model.mouseDown({400, 400});  // a zero-size start changes nothing yet
    EXPECT_EQ(model.drawing(), picture);

    model.mouseDragged({700, 600});
    picture = model.drawing();
    EXPECT_FALSE(picture.hintBadge);
    EXPECT_EQ(picture.selection, (Rect{400, 400, 300, 200}));
    EXPECT_EQ(area(picture.mask), 1440.0 * 900 - 300 * 200);
    ASSERT_TRUE(picture.sizeBadge);
    EXPECT_EQ(picture.sizeBadge->frame.minY(), 600 + CaptureOverlayStyle::badgeGap);  // above the top-left corner
    EXPECT_EQ(picture.sizeBadge->frame.minX(), 400);
    ASSERT_TRUE(picture.toolbar);
    EXPECT_LT(picture.toolbar->frame.maxY(), 400);
}

TEST(OverlayDrawing, BadgesStayOnTheDisplayAndClearOfTheToolbar) {
    const Rect bounds{0, 0, 1440, 900};
    const Rect selections[] = {{0, 0, 1440, 900}, {1400, 860, 40, 40}, {0, 876, 100, 24}};
    for (const Rect& s : selections) {
        AreaSelectionModel model({1440, 900}, request(), {}, s);
        const OverlayDrawing picture = model.drawing();
        ASSERT_TRUE(picture.sizeBadge && picture.toolbar) << s.x;
        EXPECT_TRUE(inside(picture.sizeBadge->frame, bounds)) << s.x << "," << s.y;
        EXPECT_TRUE(inside(picture.toolbar->frame, bounds)) << s.x << "," << s.y;
    }
    AreaSelectionModel aboveToolbar({1440, 900}, request(), {}, Rect{400, 20, 300, 200});  // toolbar above it
    const OverlayDrawing picture = aboveToolbar.drawing();
    EXPECT_TRUE(picture.sizeBadge->frame.intersection(picture.toolbar->frame).isEmpty());
}

// Every point whose colour can differ between the two pictures.
std::vector<Point> changedPoints(const OverlayDrawing& before, const OverlayDrawing& after) {
    std::vector<Point> points;
    const double reach = CaptureOverlayStyle::chromeReach;
    const auto nearEdge = [reach](const std::optional<Rect>& s, Point p) {
        if (!s) return false;
        const Rect outer{s->x - reach, s->y - reach, s->width + 2 * reach, s->height + 2 * reach};
        const Rect inner{s->x + reach, s->y + reach, s->width - 2 * reach, s->height - 2 * reach};
        return outer.containsInclusive(p) && !(inner.width > 0 && inner.height > 0 && inner.containsInclusive(p));
    };
    const auto in = [](const auto& badge, Point p) { return badge && badge->frame.containsInclusive(p); };
    for (double x = 1; x < after.bounds.width; x += 7) {
        for (double y = 1; y < after.bounds.height; y += 7) {
            const Point p{x, y};
            const bool clearBefore = before.selection && before.selection->containsInclusive(p);
            const bool clearAfter = after.selection && after.selection->containsInclusive(p);
            if (clearBefore != clearAfter || nearEdge(before.selection, p) || nearEdge(after.selection, p) ||
                in(before.sizeBadge, p) || in(after.sizeBadge, p) || in(before.toolbar, p) || in(after.toolbar, p) ||
                in(before.hintBadge, p) || in(after.hintBadge, p)) {
                points.push_back(p);
            }
        }
    }
    return points;
}

TEST(OverlayRepaint, CoversTheOldAndNewChromeOfEveryKindOfChange) {
    const Rect start{400, 300, 600, 400};
    const struct { const char* what; Point down, to; } rows[] = {
        {"move", {700, 500}, {760, 470}},
        {"resize the top-left corner", {395, 705}, {300, 800}},
        {"a new selection elsewhere", {100, 100}, {250, 200}},
    };
    for (const auto& [what, down, to] : rows) {
        AreaSelectionModel model({1440, 900}, request(), {}, start);
        const OverlayDrawing before = model.drawing();
        std::vector<Rect> repaint = model.mouseDown(down).repaint;
        const OverlayResponse dragged = model.mouseDragged(to);
        repaint.insert(repaint.end(), dragged.repaint.begin(), dragged.repaint.end());
        const OverlayDrawing after = model.drawing();
        ASSERT_NE(before, after) << what;
        for (const Point& p : changedPoints(before, after)) {
            ASSERT_TRUE(covered(repaint, p)) << what << ": " << p.x << "," << p.y;
        }
    }
}

TEST(OverlayRepaint, TheFirstSelectionRepaintsTheHintAndNothingChangedRepaintsNothing) {
    AreaSelectionModel model({1440, 900}, request());
    const Rect hint = model.drawing().hintBadge->frame;
    EXPECT_TRUE(model.mouseMoved({10, 10}).repaint.empty());
    model.mouseDown({100, 100});
    const OverlayResponse response = model.mouseDragged({300, 300});
    EXPECT_TRUE(covered(response.repaint, centre(hint)));
    EXPECT_TRUE(model.mouseDragged({300, 300}).repaint.empty());
}

}  // namespace
}  // namespace tessarin
