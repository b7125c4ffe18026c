#include "QuickAccessTestSupport.h"
#include "core/quickaccess/QuickAccessLayout.h"

namespace tessarin {
namespace {

using test::QuickAccessHarness;

TEST(QuickAccessLayout, OriginsInEitherCornerOfAnyVisibleFrame) {
    struct Case {
        const char* name;
        Rect frame;
        QuickAccessPosition position;
        size_t index;
        Point expected;
    };
    const Case cases[] = {
        {"oldest, bottom right", {0, 0, 1920, 1080}, QuickAccessPosition::bottomRight, 0, {1684, 899}},
        {"fifth", {0, 0, 1920, 1080}, QuickAccessPosition::bottomRight, 4, {1684, 175}},
        {"bottom left, third", {0, 0, 1920, 1080}, QuickAccessPosition::bottomLeft, 2, {16, 537}},
        {"second display below a panel", {1920, 24, 1280, 776}, QuickAccessPosition::bottomRight, 0, {2964, 619}},
        {"short display: the column stops under the top margin", {0, 0, 800, 400}, QuickAccessPosition::bottomRight, 2,
         {564, 16}},
        {"a frame given from its far corner", {1920, 1080, -1920, -1080}, QuickAccessPosition::bottomRight, 0,
         {1684, 899}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QuickAccessLayout::origin(c.frame, c.position, c.index), c.expected) << c.name;
    }
}

TEST(ThumbnailPresenter, SixCapturesWithAMaximumOfFiveLeaveTheNewestFiveFlagged) {
    QuickAccessHarness h;
    std::vector<ThumbnailID> ids;
    for (int i = 1; i <= 6; ++i) ids.push_back(h.capture("item" + std::to_string(i)));

    EXPECT_EQ(h.presenter->presented(), std::vector<ThumbnailID>(ids.begin() + 1, ids.end()));
    EXPECT_TRUE(h.desktop.windows.at(ids[0])->fading);
    EXPECT_EQ(h.shownYs(), (std::vector<double>{899, 718, 537, 356, 175})) << "the others moved down one slot";
    // The newest went straight to the fifth slot, never to a sixth.
    EXPECT_EQ(h.desktop.windows.at(ids[5])->moves, std::vector<Point>{(Point{1684, 175})});
    EXPECT_FALSE(h.history.flags.at("item1"));
    for (int i = 2; i <= 6; ++i) EXPECT_TRUE(h.history.flags.at("item" + std::to_string(i))) << i;
    // The evicted item may now be beyond the retention: the history is pruned.
    const std::vector<std::string> afterSixth(h.history.events.end() - 3, h.history.events.end());
    EXPECT_EQ(afterSixth, (std::vector<std::string>{"unflag item1", "prune", "flag item6"}));
}

TEST(ThumbnailPresenter, AThumbnailStaysOnItsOwnDisplayAndWaitsWhenThereIsNone) {
    QuickAccessHarness h;
    const ThumbnailID placed = h.capture("a");
    h.desktop.windows.at(placed)->display = Rect{1920, 0, 1280, 1024};
    h.desktop.pointerDisplay.reset();
    const ThumbnailID waiting = h.capture("b");
    EXPECT_EQ(h.origin(placed), (Point{2964, 843}));
    // No display to stand on: not moved until a screen appears.
    EXPECT_FALSE(h.desktop.windows.at(waiting)->origin);
    h.desktop.pointerDisplay = Rect{0, 0, 1024, 768};
    h.presenter->restackOverlays();
    EXPECT_EQ(h.origin(waiting), (Point{788, 406}));
}

TEST(ThumbnailPresenter, RaisedAtOnceAndAgainAfterOneTurnWhileStillShown) {
    QuickAccessHarness h;
    auto pending = test::PendingTicket::start(h.main);
    h.presenter->present(test::smallImage(), pending.ticket, ImageFormat::png(), {"CAFE0001", CaptureMode::area});
    const ThumbnailID kept = h.presenter->presented().back();
    EXPECT_EQ(h.desktop.windows.at(kept)->raised, 1);
    h.presenter->present(test::smallImage(), nullptr, ImageFormat::png(), {"CAFE0002", CaptureMode::area});
    const ThumbnailID closed = h.presenter->presented().back();
    h.presenter->dismiss(closed);
    h.main.runAll();
    EXPECT_EQ(h.desktop.windows.at(kept)->raised, 2);
    EXPECT_EQ(h.desktop.windows.at(closed)->raised, 1);
}

TEST(ThumbnailPresenter, DismissalClearsTheFlagPrunesAndRestacks) {
    QuickAccessHarness h;
    const ThumbnailID first = h.capture("a");
    const ThumbnailID second = h.capture("b");
    h.history.events.clear();
    h.presenter->dismiss(first);
    EXPECT_EQ(h.history.events, (std::vector<std::string>{"unflag a", "prune"}));
    EXPECT_TRUE(h.desktop.windows.at(first)->fading);
    EXPECT_EQ(h.origin(second).y, 899);
    // A second dismissal of the same thumbnail changes nothing.
    h.presenter->dismiss(first);
    EXPECT_EQ(h.history.events.size(), 2u);
}

TEST(ThumbnailPresenter, ATicketResolvedAfterDismissalLeavesTheItemUnflagged) {
    QuickAccessHarness h;
    auto pending = test::PendingTicket::start(h.main);
    h.presenter->present(test::smallImage(), pending.ticket, ImageFormat::png(), {"CAFE0001", CaptureMode::area});
    const ThumbnailID id = h.presenter->presented().back();
    h.presenter->dismiss(id);
    EXPECT_TRUE(h.history.events.empty());  // no item known yet
    pending.resolveWith("late");
    h.main.runAll();
    EXPECT_EQ(h.history.events, (std::vector<std::string>{"unflag late", "prune"}));
    EXPECT_FALSE(h.history.flags.at("late"));
}

TEST(ThumbnailPresenter, ACaptureWithoutAHistoryItemTouchesNoFlag) {
    QuickAccessHarness h;
    auto none = CapturePersistenceTicket::resolved(h.main, std::nullopt);
    h.presenter->present(test::smallImage(), none, ImageFormat::png(), {"CAFE0001", CaptureMode::area});
    h.main.runAll();
    const ThumbnailID id = h.presenter->presented().back();
    EXPECT_FALSE(h.presenter->historyItemID(id));
    h.presenter->dismiss(id);
    EXPECT_TRUE(h.history.events.empty());
}

TEST(ThumbnailPresenter, RemovedHistoryItemsCloseTheirThumbnailsWithoutAnotherPrune) {
    QuickAccessHarness h;
    const ThumbnailID a = h.capture("a");
    const ThumbnailID b = h.capture("b");
    const ThumbnailID c = h.capture("c");
    h.history.events.clear();
    h.presenter->closeOverlays({"a", "x"});
    EXPECT_TRUE(h.history.events.empty());
    EXPECT_TRUE(h.desktop.windows.at(a)->fading);
    EXPECT_EQ(h.presenter->presented(), (std::vector<ThumbnailID>{b, c}));
    EXPECT_EQ(h.shownYs(), (std::vector<double>{899, 718}));
}

TEST(ThumbnailPresenter, LaunchRestoreShowsFlaggedItemsOldestFirstAndUnflagsUnreadableOnes) {
    QuickAccessHarness h;
    for (const char* id : {"newest", "broken", "oldest"}) {
        CaptureHistoryItem item;
        item.id = id;
        item.isQuickAccess = true;
        h.history.stored.push_back(item);
    }
    h.history.unreadable.insert("broken");
    bool done = false;
    h.presenter->restore(ImageFormat::png(), [&] { done = true; });
    h.main.runAll();
    EXPECT_TRUE(done);
    const auto shown = h.presenter->presented();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(h.presenter->historyItemID(shown[0]), "oldest");
    EXPECT_EQ(h.presenter->historyItemID(shown[1]), "newest");
    EXPECT_EQ(h.history.flags, (std::map<std::string, bool>{{"broken", false}}));
    // A restored thumbnail is bound at once: closing it clears its flag.
    h.presenter->dismiss(shown[0]);
    EXPECT_FALSE(h.history.flags.at("oldest"));
}

TEST(ThumbnailPresenter, RestoringMoreThanTheMaximumKeepsTheNewest) {
    QuickAccessHarness h;
    h.settings.maxCount = 2;
    for (const char* id : {"c", "b", "a"}) h.history.stored.push_back(CaptureHistoryItem{.id = id, .isQuickAccess = true});
    h.presenter->restore(ImageFormat::png());
    h.main.runAll();
    ASSERT_EQ(h.presenter->presented().size(), 2u);
    EXPECT_EQ(h.presenter->historyItemID(h.presenter->presented()[0]), "b");
    EXPECT_FALSE(h.history.flags.at("a"));
}

TEST(ThumbnailPresenter, QuitClosesThumbnailsButLeavesTheirFlagsForTheNextLaunch) {
    QuickAccessHarness h;
    h.capture("a");
    h.capture("b");
    h.history.events.clear();
    const ThumbnailID video = h.recording("clip");
    h.presenter->closeAllForQuit();
    EXPECT_TRUE(h.presenter->presented().empty());
    EXPECT_TRUE(h.desktop.windows.at(video)->fading);
    EXPECT_TRUE(h.history.events.empty());
}

TEST(ThumbnailPresenter, RecordingsStackAndAreEvictedAmongCaptures) {
    QuickAccessHarness h;
    h.settings.maxCount = 3;
    const ThumbnailID image1 = h.capture("a");
    const ThumbnailID video1 = h.recording("first");
    const ThumbnailID image2 = h.capture("b");
    EXPECT_EQ(h.shownYs(), (std::vector<double>{899, 718, 537}));
    EXPECT_EQ(h.desktop.contents.back().video, std::nullopt);
    const ThumbnailContent& shown = h.desktop.contents[1];
    ASSERT_TRUE(shown.video);
    EXPECT_EQ(shown.video->file, "/tmp/first.mov");
    EXPECT_EQ(shown.dragFile, nullptr);
    EXPECT_EQ(shown.actions, (std::vector{ThumbnailAction::edit, ThumbnailAction::reveal, ThumbnailAction::saveAs,
                                          ThumbnailAction::close}));

    // A fourth evicts the oldest capture; a fifth the recording, whatever its kind.
    const ThumbnailID video2 = h.recording("second");
    EXPECT_TRUE(h.desktop.windows.at(image1)->fading);
    EXPECT_EQ(h.presenter->presented(), (std::vector{video1, image2, video2}));
    h.capture("c");
    EXPECT_TRUE(h.desktop.windows.at(video1)->fading);
    EXPECT_EQ(h.shownYs(), (std::vector<double>{899, 718, 537}));
    // Recordings have no history item: only the captures' flags moved.
    EXPECT_EQ(h.history.flags.size(), 3u);

    // Closing the recording in the middle brings the newer one down a slot.
    h.presenter->perform(video2, ThumbnailAction::close);
    EXPECT_EQ(h.shownYs(), (std::vector<double>{899, 718}));
    EXPECT_TRUE(h.videoActions.empty());
}

TEST(ThumbnailPresenter, ARecordingsActionsReachItsOwnerAndEditConsumesIt) {
    QuickAccessHarness h;
    const ThumbnailID video = h.recording("clip");
    h.presenter->perform(video, ThumbnailAction::reveal);
    h.presenter->perform(video, ThumbnailAction::saveAs);
    h.presenter->perform(video, ThumbnailAction::copy);  // not a recording's: ignored
    EXPECT_EQ(h.presenter->presented(), std::vector{video});
    h.presenter->perform(video, ThumbnailAction::edit);
    EXPECT_TRUE(h.presenter->presented().empty());
    EXPECT_TRUE(h.desktop.windows.at(video)->fading);
    h.presenter->perform(video, ThumbnailAction::reveal);  // gone: nothing
    using Chosen = std::pair<std::string, ThumbnailAction>;
    EXPECT_EQ(h.videoActions, (std::vector<Chosen>{{"clip", ThumbnailAction::reveal},
                                                   {"clip", ThumbnailAction::saveAs},
                                                   {"clip", ThumbnailAction::edit}}));
    EXPECT_TRUE(h.history.events.empty());
}

TEST(ThumbnailControls, CloseInTheCornerTheRestCentredInOrder) {
    const auto controls = ThumbnailControls::layout(
        {ThumbnailAction::copy, ThumbnailAction::save, ThumbnailAction::pin, ThumbnailAction::close});
    ASSERT_EQ(controls.size(), 4u);
    EXPECT_EQ(controls[0].action, ThumbnailAction::close);

    struct Probe {
        Point at;
        std::optional<ThumbnailAction> action;
    };
    const Probe probes[] = {{{19, 19}, ThumbnailAction::close},
                            {{110, 52}, ThumbnailAction::copy},
                            {{110, 67}, std::nullopt},  // between two buttons: a drag starts there
                            {{110, 112}, ThumbnailAction::pin},
                            {{200, 150}, std::nullopt}};
    for (const Probe& probe : probes) {
        EXPECT_EQ(ThumbnailControls::actionAt(controls, probe.at), probe.action) << probe.at.x << "," << probe.at.y;
    }
    EXPECT_EQ(ThumbnailControls::layout({ThumbnailAction::close}).size(), 1u);
}

TEST(ThumbnailControls, ARecordingHasAPlayButtonAndARowAlongTheBottom) {
    const auto controls = ThumbnailControls::layout(
        {ThumbnailAction::edit, ThumbnailAction::reveal, ThumbnailAction::saveAs, ThumbnailAction::close});
    ASSERT_EQ(controls.size(), 4u);
    // Three of (220 - 2 x 8 - 2 x 6) / 3 = 64, 8 from the bottom.
    EXPECT_EQ(controls[1], (ThumbnailControl{ThumbnailAction::reveal, {8, 133, 64, 24}, "Reveal"}));
    EXPECT_EQ(controls[3], (ThumbnailControl{ThumbnailAction::close, {148, 133, 64, 24}, "Close"}));
    EXPECT_EQ(ThumbnailControls::actionAt(controls, {110, 60}), ThumbnailAction::edit);
    EXPECT_EQ(ThumbnailControls::actionAt(controls, {110, 149}), ThumbnailAction::saveAs);
    EXPECT_EQ(ThumbnailControls::actionAt(controls, {110, 120}), std::nullopt);
}

}  // namespace
}  // namespace tessarin
