// The window pick's hit test and the overlay keyboard grab's retry timing:
// pure logic, no display.

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/WindowPick.h"

namespace tessarin {
namespace {

PickableWindow window(uint32_t id, Rect frame, WindowKind kind = WindowKind::normal, bool hidden = false,
                      int32_t pid = 100) {
    PickableWindow w;
    w.description.windowID = id;
    w.description.processID = pid;
    w.description.frame = frame;
    w.kind = kind;
    w.hidden = hidden;
    return w;
}

std::optional<uint32_t> pick(const std::vector<PickableWindow>& windows, Point p,
                             const WindowPickExclusions& exclusions = {}) {
    const auto picked = topmostPickableWindowAt(windows, p, exclusions);
    return picked ? std::optional(picked->windowID) : std::nullopt;
}

TEST(WindowPick, TopmostPickableWindowUnderThePoint) {
    const Rect big{0, 0, 800, 600};
    const Rect small{100, 100, 200, 100};
    const struct {
        std::string name;
        std::vector<PickableWindow> windowsTopmostFirst;
        Point point;
        std::optional<uint32_t> expected;
    } cases[] = {
        {"the topmost of two overlapping", {window(1, small), window(2, big)}, {150, 150}, 1},
        {"outside the upper one", {window(1, small), window(2, big)}, {50, 50}, 2},
        {"over no window", {window(1, small)}, {900, 900}, std::nullopt},
        {"a dock is passed over", {window(1, small, WindowKind::dock), window(2, big)}, {150, 150}, 2},
        {"the desktop is never picked", {window(1, small), window(2, big, WindowKind::desktop)}, {50, 50}, std::nullopt},
        {"a popup menu is passed over", {window(1, small, WindowKind::popup), window(2, big)}, {150, 150}, 2},
        {"a dialog is picked", {window(1, small, WindowKind::dialog), window(2, big)}, {150, 150}, 1},
        {"a hidden window is passed over", {window(1, small, WindowKind::normal, true), window(2, big)}, {150, 150}, 2},
        {"a window of no size is passed over", {window(1, {150, 150, 0, 10}), window(2, big)}, {150, 150}, 2},
        {"left and top edges belong to the window", {window(1, small), window(2, big)}, {100, 100}, 1},
        {"right and bottom edges belong to the next", {window(1, small), window(2, big)}, {300, 200}, 2},
        {"negative coordinates (a monitor left of the primary)", {window(1, {-500, -20, 400, 300})}, {-300, 0}, 1},
        {"a frame of negative width is standardised", {window(1, {300, 100, -200, 100})}, {150, 150}, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(pick(c.windowsTopmostFirst, c.point), c.expected) << c.name;
}

TEST(WindowPick, OwnWindowsAreNeverPicked) {
    const std::vector<PickableWindow> windows = {window(1, {0, 0, 100, 100}, WindowKind::normal, false, 42),
                                                 window(2, {0, 0, 100, 100}, WindowKind::normal, false, 7),
                                                 window(3, {0, 0, 100, 100}, WindowKind::normal, false, 0)};
    EXPECT_EQ(pick(windows, {5, 5}, {.processID = 42, .windowIDs = {}}), 2u);
    EXPECT_EQ(pick(windows, {5, 5}, {.processID = std::nullopt, .windowIDs = {1, 2}}), 3u);
    // A window whose process is unknown (0) is not taken for ours.
    EXPECT_EQ(pick(windows, {5, 5}, {.processID = 0, .windowIDs = {1, 2}}), 3u);
    EXPECT_EQ(pick(windows, {5, 5}, {.processID = 7, .windowIDs = {1, 3}}), std::nullopt);
}

TEST(WindowPick, PointerAndHighlightChangeSpacesAroundThePrimaryDisplay) {
    // A primary display 800 points high; a second one above it reaches
    // negative window-space y.
    constexpr double height = 800;
    const struct {
        Point pointer;
        Point expected;
    } points[] = {
        {{0, 800}, {0, 0}},          // the primary's top-left corner
        {{10, 0}, {10, 800}},        // its bottom edge
        {{-300, 1000}, {-300, -200}},  // on a display above and to the left
    };
    for (const auto& [pointer, expected] : points) EXPECT_EQ(windowSpacePoint(pointer, height), expected);

    EXPECT_EQ(displaySpaceRect({100, 50, 300, 200}, height), (Rect{100, 550, 300, 200}));
    EXPECT_EQ(displaySpaceRect({100, -250, 300, 200}, height), (Rect{100, 850, 300, 200}));
    // The pointer over a window is inside the highlight drawn for it.
    const Rect window{100, 50, 300, 200};
    const Point pointer{150, 700};
    EXPECT_TRUE(window.containsInclusive(windowSpacePoint(pointer, height)));
    EXPECT_TRUE(displaySpaceRect(window, height).containsInclusive(pointer));
}

}  // namespace
}  // namespace tessarin
