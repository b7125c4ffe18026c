// The run, the headless session, the auto-scroller and the interactive
// session's state, against a scripted frame source on a fake clock.

#include <gtest/gtest.h>

#include <cmath>

#include "ScrollingTestSupport.h"
#include "support/ManualExecutor.h"
#include "core/scrolling/HeadlessScrollingSession.h"
#include "core/scrolling/ScrollingCaptureSession.h"
#include "core/scrolling/ScrollingPreviewLayout.h"

namespace tessarin {
namespace {

using Ending = ScrollingCaptureRun::Ending;
using Outcome = ScrollingAutoScroller::Outcome;
using testing::cutFrame;
using testing::FakeClock;
using testing::isPrefixOfStitchedPage;
using testing::makePage;
using testing::Page;
using testing::ScriptedFrameSource;

constexpr int64_t kFrameHeight = 300;

// A scrollable view of a page: one wheel line moves one text line.
Page viewerPage(int64_t lines) { return makePage({.width = 240, .lines = lines}); }

struct Viewer {
    Page page = viewerPage(80);
    int64_t offset = 0;
    std::vector<int32_t> scrolls;
    void scroll(int32_t lines) {
        scrolls.push_back(lines);
        offset = std::clamp<int64_t>(offset - int64_t{lines} * 16, 0, std::max<int64_t>(0, page.height - kFrameHeight));
    }
    std::shared_ptr<RegionFrame> frame() const { return cutFrame(page, offset, kFrameHeight); }
};

struct Harness {
    FakeClock clock;
    Viewer viewer;
    testing::InlineExecutor worker;
    int stops = 0;
    std::optional<double> failAfter;
    std::optional<double> firstFrameAfter;

    ScrollingEnvironment environment() {
        ScrollingEnvironment e;
        e.makeFrameSource = [this]() -> Expected<std::unique_ptr<RegionFrameStream>, CaptureError> {
            auto stream = std::make_unique<ScriptedFrameSource>(clock, [this] { return viewer.frame(); });
            stream->failAfterSeconds = failAfter;
            stream->firstFrameAfterSeconds = firstFrameAfter;
            stream->stopCount = &stops;
            return std::unique_ptr<RegionFrameStream>(std::move(stream));
        };
        e.postScroll = [this](int32_t lines) { viewer.scroll(lines); };
        e.now = [this] { return clock.now(); };
        e.sleep = [this](std::chrono::nanoseconds pause) { clock.sleep(pause); };
        e.stitchWorker = &worker;
        return e;
    }

    struct Result {
        Expected<Image, CaptureError> image;
        std::optional<Ending> ending;
        double seconds;
        ScrollingTrackingSummary tracking;
    };
    Result runHeadless(bool autoScroll, double maxSeconds, double idleSeconds) {
        const auto start = clock.now();
        HeadlessScrollingSession session({{0, 0, 240, kFrameHeight}, autoScroll, maxSeconds, idleSeconds, {}},
                                         environment());
        auto image = session.run();
        return {std::move(image), session.ending(), clock.secondsSince(start), session.tracking()};
    }
};

TEST(ScrollingPump, ProcessesEachFrameOnceAndSkipsRatherThanQueues) {
    Viewer viewer;
    testing::ManualExecutor worker;  // a busy stitcher: tasks wait for the test
    auto first = ScrollingFrameRaster::fromFrame(viewer.frame()).value();
    ScrollingCapturePump pump(std::make_unique<ScrollingCaptureStitcher>(
                                  ScrollingCaptureComposer::make(first, 12).value(), first, &worker),
                              1, 12);
    auto frameAt = [&](int64_t offset) {
        viewer.offset = offset;
        return std::shared_ptr<const RegionFrame>(viewer.frame());
    };
    EXPECT_FALSE(pump.advance({frameAt(0), 1}, std::nullopt));  // the first frame's id
    EXPECT_EQ(worker.pending(), 0u);
    EXPECT_FALSE(pump.advance({frameAt(32), 2}, std::nullopt));
    EXPECT_EQ(worker.pending(), 1u);
    // Frames 3 and 4 arrive while frame 2 is analysed: neither is queued.
    EXPECT_FALSE(pump.advance({frameAt(48), 3}, std::nullopt));
    EXPECT_FALSE(pump.advance({frameAt(64), 4}, std::nullopt));
    EXPECT_EQ(worker.pending(), 1u);
    worker.runAll();
    const auto result = pump.advance({frameAt(64), 4}, std::nullopt);  // frame 2's result; frame 4 goes in
    ASSERT_TRUE(result && *result);
    EXPECT_EQ((*result)->disposition, ScrollingCaptureFrameDisposition::appended(32));
    EXPECT_EQ(worker.pending(), 1u);
    worker.runAll();
    EXPECT_TRUE(pump.advance({frameAt(64), 4}, std::nullopt));  // frame 4's result, once
    EXPECT_FALSE(pump.advance({frameAt(64), 4}, std::nullopt));
    EXPECT_EQ(worker.pending(), 0u);
    EXPECT_EQ(pump.appendedRows(), 64);
    auto image = pump.takeFinalImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(int64_t(image->height()), kFrameHeight + 64);
}

// Durations of any size neither overflow nor wait; the fake clock makes elapsed times exact.
TEST(HeadlessScrolling, EndsAtIdleDeadlineOrStreamFailureWithWhatWasStitched) {
    const std::optional<double> none;
    const auto failed = [](const char* message) { return std::string("Capture failed: ") + message; };
    const struct {
        const char* name;
        bool autoScroll;
        double maxSeconds, idleSeconds;
        std::optional<double> failAfter, firstFrameAfter;
        std::optional<Ending> ending;
        double seconds;  // NaN: not fixed
        std::string error;
        int64_t height;  // 0: more than one frame
    } cases[] = {
        {"still view", false, 30, 3, none, none, Ending::idle, 3, "", kFrameHeight},
        {"no time", false, 0, 3, none, none, std::nullopt, 0, "", kFrameHeight},
        {"huge time", false, 9.2e18, 3, none, none, Ending::idle, 3, "", kFrameHeight},
        {"negative idle time", false, 30, -1, none, none, Ending::idle, 0, "", kFrameHeight},
        {"huge idle time", false, 1, 9.2e18, none, none, std::nullopt, 1, "", kFrameHeight},
        {"auto-scroll to the end", true, 30, 3, none, none, Ending::idle, NAN, "", 80 * 16},
        {"stream dies while scrolling", true, 30, 3, 1.0, none, Ending::streamFailed, 1, "", 0},
        {"stream dies before anything", false, 30, 3, 1.0, none, std::nullopt, 1, failed("the display went away"), 0},
        {"no first frame", false, 30, 3, none, 10.0, std::nullopt, 150 * 0.016,
         failed(ScrollingRunMessages::firstFrameTimedOut), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.failAfter = c.failAfter;
        h.firstFrameAfter = c.firstFrameAfter;
        const auto r = h.runHeadless(c.autoScroll, c.maxSeconds, c.idleSeconds);
        EXPECT_NEAR(r.seconds, std::isnan(c.seconds) ? r.seconds : c.seconds, 0.01);
        EXPECT_EQ(h.viewer.scrolls.empty(), !c.autoScroll);
        EXPECT_EQ(c.autoScroll ? h.viewer.scrolls.front() : -3, -3) << "up first";
        EXPECT_GE(h.stops, 1);
        if (!c.error.empty()) {
            ASSERT_FALSE(r.image);
            EXPECT_EQ(r.image.error().description(), c.error);
            continue;
        }
        ASSERT_TRUE(r.image) << r.image.error().description();
        EXPECT_EQ(r.ending, c.ending);
        EXPECT_TRUE(c.height ? int64_t(r.image->height()) == c.height : int64_t(r.image->height()) > kFrameHeight);
        EXPECT_TRUE(isPrefixOfStitchedPage(*r.image, h.viewer.page, cutFrame(h.viewer.page, 0, kFrameHeight), 0));
    }
}

TEST(HeadlessScrolling, LookAlikeRowsAreFollowedAndLostTrackingIsReported) {
    const struct {
        const char* name;
        Page page;
        int64_t height;
        bool lost;
    } cases[] = {
        {"log numbered at the left edge", testing::makeLookAlikePage(240, 80, testing::NumberEdge::left), 80 * 16, false},
        {"lines repeating two by two", testing::tiledPage(makePage({.width = 240, .lines = 2}), 40), kFrameHeight, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.viewer.page = c.page;
        const auto r = h.runHeadless(true, 30, 3);
        ASSERT_TRUE(r.image);
        EXPECT_EQ(int64_t(r.image->height()), c.height);
        EXPECT_TRUE(isPrefixOfStitchedPage(*r.image, c.page, cutFrame(c.page, 0, kFrameHeight), 0));
        EXPECT_EQ(r.tracking.lostTrack(), c.lost);
        EXPECT_EQ(r.tracking.appendedRows, c.height - kFrameHeight);
        const auto warning = lostTrackingWarning(r.tracking);
        ASSERT_EQ(warning.has_value(), c.lost);
        if (c.lost) {
            EXPECT_EQ(*warning, "scrolling capture lost track of the content: " + std::to_string(r.tracking.lostFrames) +
                                    " frames moved but could not be stitched, 0 were (0 rows); the image holds only "
                                    "what was stitched");
        }
    }
}

// A few lost frames, or fewer lost than placed and spread among them, are hiccups;
// a run of lost frames after the last placed one means the end is missing.
TEST(ScrollingTracking, LostTrackWhenMoreMovingFramesAreLostThanPlacedOrTheEndIsLost) {
    const struct {
        int64_t placed, lostBetween, lostAtEnd;
        bool lostTrack;
    } rows[] = {{0, 0, 4, false}, {0, 0, 5, true}, {5, 5, 0, false}, {5, 0, 6, true}, {100, 16, 4, false}};
    for (const auto& row : rows) {
        ScrollingTrackingSummary summary;
        for (int64_t i = 0; i < row.placed; ++i) {
            summary.count(true, 10, true);
            if (i < row.lostBetween) summary.count(false, 0, true);
        }
        for (int64_t i = 0; i < row.lostAtEnd; ++i) summary.count(false, 0, true);
        summary.count(false, 0, false);  // not visibly moved: never lost
        EXPECT_EQ(summary.lostFrames, row.lostBetween + row.lostAtEnd);
        EXPECT_EQ(summary.lostTrack(), row.lostTrack)
            << row.placed << " placed, " << row.lostBetween << " lost between, " << row.lostAtEnd << " at the end";
    }
}

struct ScrollerHarness {
    FakeClock clock;
    bool cursorInside = true;
    int64_t progress = 0;
    uint64_t frameID = 1;
    int waits = 0;
    std::vector<int32_t> posted;
    ScrollingAutoScroller scroller{{}, [this](int32_t lines) { posted.push_back(lines); }};

    ScrollerHarness() {
        scroller.start({[this] { return cursorInside; }, [this] { return progress; }, [this] { return frameID; },
                        [] {}, [this] { ++waits; }},
                       clock.now());
    }
    // One tick later; `changeFrame` and `grow` describe what the last step did.
    Outcome tick(bool changeFrame = false, int64_t grow = 0) {
        frameID += changeFrame ? 1 : 0;
        progress += grow;
        const Outcome outcome = scroller.advance(clock.now());
        clock.sleep(std::chrono::milliseconds(80));
        return outcome;
    }
};

TEST(AutoScroller, AWindowThatNeverMovesFlipsOnceThenGivesUp) {
    ScrollerHarness s;
    EXPECT_EQ(s.tick(), Outcome::running);  // the first scroll
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.tick(), Outcome::running);  // stall 32: flip
    EXPECT_EQ(s.scroller.direction(), 1);
    EXPECT_EQ(s.posted.back(), 3);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.tick(), Outcome::running);
    EXPECT_EQ(s.tick(), Outcome::cannotScroll);  // fifth static tick after the flip: stall 40
    EXPECT_EQ(s.tick(), Outcome::cannotScroll);
    EXPECT_EQ(s.posted.size(), 9u);
}

TEST(AutoScroller, StopsAtTheEndAndPausesWhileTheCursorIsOutside) {
    ScrollerHarness s;
    s.tick();
    s.tick(true, 36);  // content grew: tracking
    for (int i = 0; i < 10; ++i) s.tick();
    // The pointer leaves: no scrolling, counters kept, the poll is quicker.
    s.cursorInside = false;
    const size_t posted = s.posted.size();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s.tick(), Outcome::running);
    EXPECT_EQ(s.posted.size(), posted);
    EXPECT_EQ(s.waits, 5);
    s.cursorInside = true;
    for (int i = 0; i < 9; ++i) EXPECT_EQ(s.tick(), Outcome::running);
    EXPECT_EQ(s.tick(), Outcome::reachedEnd);  // the 20th static tick
    EXPECT_EQ(s.scroller.direction(), -1);

    ScrollerHarness limit;
    limit.tick();
    EXPECT_EQ(limit.tick(true, 60'000), Outcome::reachedEnd);
}

TEST(ScrollingSession, RunsOnceAndTurnsFramesIntoHints) {
    Harness h;
    bool trusted = false;
    int prompts = 0;
    ScrollingCaptureSession::Hooks hooks;
    hooks.environment = h.environment();
    hooks.isTrustedForAccessibility = [&](bool prompt) { return prompts += prompt ? 1 : 0, trusted; };
    ScrollingCaptureSession session(true, {}, hooks);
    EXPECT_FALSE(session.start());
    EXPECT_EQ(session.lifecycleState(), ScrollingCaptureSession::LifecycleState::capturing);
    EXPECT_EQ(session.hint(), ScrollingHints::needsAccessibility);
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(session.isAutoScrollButtonOn());
    const auto again = session.start();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->message(), ScrollingSessionMessages::runOnce);

    // Scrolled by hand far past the first view: five unplaceable frames in a row bring the hint.
    h.viewer.offset = 600;
    for (int frame = 0; frame < 5; ++frame) {
        EXPECT_NE(session.hint(), ScrollingHints::lostTracking) << frame;
        h.viewer.offset += 20;
        h.clock.sleep(std::chrono::milliseconds(34));  // the next frame
        session.pollOnce();
    }
    EXPECT_EQ(session.hint(), ScrollingHints::lostTracking);
    // Scrolling back connects again and clears the hint.
    h.viewer.offset = 100;
    h.clock.sleep(std::chrono::milliseconds(34));
    session.pollOnce();
    EXPECT_EQ(session.hint(), std::nullopt);

    // Auto Scroll now allowed; the page ends, the scroller keeps trying.
    trusted = true;
    session.toggleAutoScroll();
    EXPECT_TRUE(session.isAutoScrollButtonOn());
    session.toggleAutoScroll();
    EXPECT_FALSE(session.isAutoScrollButtonOn());

    auto result = session.finish(true);
    ASSERT_TRUE(result && *result);
    EXPECT_EQ(int64_t((*result)->height()), kFrameHeight + 100);
    EXPECT_EQ(session.lifecycleState(), ScrollingCaptureSession::LifecycleState::finished);
    EXPECT_FALSE(session.finish(true));
}

TEST(ScrollingSession, AutoScrollEndingsTurnTheButtonOffWithTheirHint) {
    const struct {
        Page page;
        std::optional<double> failAfter;
        const char* hint;
        bool grew;
    } cases[] = {
        {viewerPage(18), std::nullopt, ScrollingHints::cannotScroll, false},  // shorter than the view
        {viewerPage(80), 0.5, ScrollingHints::streamFailed, true},
        // It scrolls, but no frame can be placed: not "can't be scrolled".
        {testing::tiledPage(makePage({.width = 240, .lines = 2}), 40), std::nullopt, ScrollingHints::lostTracking, false},
    };
    for (const auto& c : cases) {
        Harness h;
        h.viewer.page = c.page;
        h.failAfter = c.failAfter;
        ScrollingCaptureSession::Hooks hooks;
        hooks.environment = h.environment();
        ScrollingCaptureSession session(true, {}, hooks);
        ASSERT_FALSE(session.start());
        EXPECT_TRUE(session.isAutoScrollButtonOn());
        for (int i = 0; i < 1000 && session.isAutoScrollButtonOn(); ++i) {
            session.pollOnce();
            h.clock.sleep(std::chrono::milliseconds(16));
        }
        EXPECT_FALSE(session.isAutoScrollButtonOn());
        EXPECT_EQ(session.hint(), c.hint);
        auto result = session.finish(c.grew);
        EXPECT_EQ(result.has_value(), c.grew);
        EXPECT_GT(result ? int64_t(result->value().height()) : kFrameHeight + 1, kFrameHeight);
    }
}

// The preview goes beside the region's frame, never over it: right, else
// left, else nowhere; its height follows the image between the limits.
TEST(ScrollingPreviewLayout, BesideTheFrameNeverOverItAndItsHeightWithinTheLimits) {
    const ScrollingCaptureConfiguration configuration;
    const Rect display{0, 0, 1920, 1080};
    const struct {
        const char* what;
        Size stitched;
        Rect frame;
        std::optional<Rect> preview;
    } cases[] = {
        {"right, as tall as the image", {640, 960}, {100, 200, 660, 540}, Rect{768, 200, 190, 285}},
        {"no image yet: the smallest", {0, 0}, {100, 200, 660, 540}, Rect{768, 200, 190, 72}},
        {"a tall image: the display's limit", {640, 64000}, {100, 200, 660, 540}, Rect{768, 200, 190, 777.6}},
        {"kept on the display", {640, 960}, {100, 900, 660, 100}, Rect{768, 795, 190, 285}},
        {"left when the right has no room", {640, 960}, {1500, 200, 400, 540}, Rect{1302, 200, 190, 285}},
        {"exactly room on the right", {640, 960}, {0, 0, 1722, 100}, Rect{1730, 0, 190, 285}},
        {"no room on either side", {640, 960}, {100, 0, 1700, 1080}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(placeScrollingPreview(c.stitched, c.frame, display, configuration), c.preview) << c.what;
    }
    const ScrollingCapturePreviewRequest request = scrollingPreviewRequest(2, 1055, configuration);
    EXPECT_EQ(std::pair(request.maxWidth, request.maxHeight), std::pair(int64_t{380}, int64_t{1520}));
    const ScrollingCapturePreviewRequest odd = scrollingPreviewRequest(std::nan(""), -1, configuration);
    EXPECT_EQ(std::pair(odd.maxWidth, odd.maxHeight), std::pair(int64_t{190}, int64_t{1}));
}

}  // namespace
}  // namespace tessarin
