#include "FlowTestSupport.h"

namespace tessarin {
namespace {

using testing::FlowHarness;

CaptureSession sessionOf(CaptureMode mode) {
    return {"C0FFEE42", mode, std::chrono::system_clock::now(), WindowHandle(0x2a00007)};
}

SharedImage anImage() { return std::make_shared<const Image>(std::move(*Image::allocate(8, 6))); }

struct Settings {
    bool sound = true, copy = false, thumbnail = true, editor = false;
    ImageFormatPreference format = ImageFormatPreference::png;
    void apply(AppPreferences& p) const {
        p.setPlaySound(sound);
        p.setAutoCopyToClipboard(copy);
        p.setShowThumbnail(thumbnail);
        p.setOpenAnnotationEditorAfterCapture(editor);
        p.setDefaultImageFormat(format);
    }
};

TEST(CaptureCompletionRouter, LinesAndStepsForEachCombinationOfSettings) {
    struct Case {
        std::string name;
        Settings settings;
        CaptureMode mode;
        bool soundPlays;
        std::vector<std::string> lines;
        int thumbnails, copies, plays, editors;
    };
    const std::string skippedFocus = "complete.restore_focus duration_ms=0 skipped=true";
    const Case cases[] = {
        {"defaults", {}, CaptureMode::fullScreen, true,
         {"complete.route_policy duration_ms=3 play_sound=true auto_copy=false show_thumbnail=true open_annotate=false format=png",
          skippedFocus, "complete.thumbnail_schedule duration_ms=3 shown=true",
          "complete.play_sound duration_ms=3 played=true"},
         1, 0, 1, 0},
        {"everything off, jpeg", {false, false, false, false, ImageFormatPreference::jpeg}, CaptureMode::fullScreen, true,
         {"complete.route_policy duration_ms=3 play_sound=false auto_copy=false show_thumbnail=false open_annotate=false format=jpeg",
          skippedFocus, "complete.thumbnail_schedule duration_ms=0 skipped=true",
          "complete.play_sound duration_ms=0 skipped=true"},
         0, 0, 0, 0},
        {"copy on, the cue cannot play", {true, true, true, false}, CaptureMode::fullScreen, false,
         {"complete.route_policy duration_ms=3 play_sound=true auto_copy=true show_thumbnail=true open_annotate=false format=png",
          skippedFocus, "complete.thumbnail_schedule duration_ms=3 shown=true",
          "complete.play_sound duration_ms=3 played=false"},
         1, 1, 1, 0},
        {"the editor takes over", {true, true, true, true}, CaptureMode::fullScreen, true,
         {"complete.route_policy duration_ms=3 play_sound=true auto_copy=true show_thumbnail=true open_annotate=true format=png",
          skippedFocus},
         0, 0, 0, 1},
        // The focus comes back after the 75 ms wait, so its line comes last;
        // the clock was read by the thumbnail and cue steps meanwhile.
        {"an area capture restores the focus", {}, CaptureMode::area, true,
         {"complete.route_policy duration_ms=3 play_sound=true auto_copy=false show_thumbnail=true open_annotate=false format=png",
          "complete.thumbnail_schedule duration_ms=3 shown=true", "complete.play_sound duration_ms=3 played=true",
          "complete.restore_focus duration_ms=15 restored=true"},
         1, 0, 1, 0},
    };
    for (const auto& c : cases) {
        FlowHarness h;
        c.settings.apply(h.preferences);
        h.sound.plays = c.soundPlays;
        h.router.route(anImage(), sessionOf(c.mode));
        h.settle();
        EXPECT_EQ(h.log.of("C0FFEE42"), c.lines) << c.name;
        EXPECT_EQ(int(h.quickAccess.shown.size()), c.thumbnails) << c.name;
        EXPECT_EQ(int(h.clipboard.copied.size()), c.copies) << c.name;
        EXPECT_EQ(h.sound.played, c.plays) << c.name;
        EXPECT_EQ(int(h.editor.opened.size()), c.editors) << c.name;
        EXPECT_EQ(h.stored.size(), 1u) << c.name;
        if (c.thumbnails) {
            const auto expected = c.settings.format == ImageFormatPreference::jpeg ? ImageFormat::jpeg(0.9) : ImageFormat::png();
            EXPECT_EQ(h.quickAccess.shown[0].format, expected) << c.name;
        }
    }
}

TEST(CaptureCompletionRouter, AMeasuredDurationIsNeverNegative) {
    FlowHarness h;
    h.clock.step = std::chrono::milliseconds(-5);
    h.router.route(anImage(), sessionOf(CaptureMode::fullScreen));
    h.settle();
    const auto lines = h.log.of("C0FFEE42");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("complete.route_policy duration_ms=0 ", 0), 0u) << lines[0];
}

TEST(CaptureCompletionRouter, ACaptureTheHistoryDoesNotKeepStillGetsThumbnailCopyAndCue) {
    const std::vector<std::pair<std::string, std::function<std::shared_ptr<CapturePersistenceTicket>(FlowHarness&)>>>
        histories = {
            {"no ticket at all", [](FlowHarness&) { return nullptr; }},
            {"the write failed",
             [](FlowHarness& h) {
                 return CapturePersistenceTicket::start(h.main, [&h](Completion<CapturePersistenceTicket::Result> done) {
                     h.main.post([done = std::move(done)]() mutable { done(std::nullopt); });
                 });
             }},
        };
    for (const auto& [name, ticket] : histories) {
        FlowHarness h;
        h.preferences.setAutoCopyToClipboard(true);
        h.ticketFactory = [&h, make = ticket] { return make(h); };
        h.router.route(anImage(), sessionOf(CaptureMode::fullScreen));
        h.settle();
        ASSERT_EQ(h.quickAccess.shown.size(), 1u) << name;
        ASSERT_NE(h.quickAccess.shown[0].ticket, nullptr) << name;
        std::optional<CapturePersistenceTicket::Result> item;
        h.quickAccess.shown[0].ticket->value([&](CapturePersistenceTicket::Result r) { item = r; });
        h.settle();
        ASSERT_TRUE(item.has_value()) << name;
        EXPECT_FALSE(item->has_value()) << name;
        EXPECT_EQ(h.clipboard.copied.size(), 1u) << name;
        EXPECT_EQ(h.sound.played, 1) << name;
    }
}

TEST(CaptureCompletionRouter, OutputActionsReplaceTheThumbnail) {
    using Kind = CaptureOutputAction::Kind;
    struct Case {
        CaptureOutputAction action;
        int plays, copies, saves, editors, pins, texts;
        size_t persisted;
    };
    const Case cases[] = {
        {{Kind::copy}, 1, 1, 0, 0, 0, 0, 0},      {{Kind::save}, 0, 0, 1, 0, 0, 0, 0},
        {{Kind::annotate}, 0, 0, 0, 1, 0, 0, 1},  {{Kind::pin}, 0, 0, 0, 0, 1, 0, 1},
        {{Kind::ocr, true}, 0, 0, 0, 0, 0, 1, 0},
    };
    for (const auto& c : cases) {
        FlowHarness h;
        h.preferences.setDefaultImageFormat(ImageFormatPreference::jpeg);
        h.router.route(anImage(), sessionOf(CaptureMode::fullScreen), c.action);
        h.settle();
        const std::string name(rawValue(c.action.kind));
        EXPECT_TRUE(h.quickAccess.shown.empty()) << name;
        EXPECT_EQ(h.sound.played, c.plays) << name;
        EXPECT_EQ(int(h.clipboard.copied.size()), c.copies) << name;
        EXPECT_EQ(int(h.saver.saved.size()), c.saves) << name;
        EXPECT_EQ(int(h.editor.opened.size()), c.editors) << name;
        EXPECT_EQ(int(h.pins.pinned.size()), c.pins) << name;
        EXPECT_EQ(int(h.text.extracted.size()), c.texts) << name;
        EXPECT_EQ(h.stored.size(), c.persisted) << name;
        if (c.saves) {
            EXPECT_EQ(h.saver.saved[0].second, ImageFormat::jpeg(0.9));
        }
        if (c.texts) {
            EXPECT_TRUE(h.text.extracted[0].second);
        }
    }
}

TEST(CaptureCompletionRouter, AnnotateAndPinAreLinkedToTheHistoryItemPersistedFirst) {
    FlowHarness h;
    auto ticket = CapturePersistenceTicket::resolved(h.main, std::nullopt);
    h.ticketFactory = [ticket] { return ticket; };
    h.router.route(anImage(), sessionOf(CaptureMode::area), {CaptureOutputAction::Kind::pin});
    h.router.route(anImage(), sessionOf(CaptureMode::area), {CaptureOutputAction::Kind::annotate});
    h.settle();
    EXPECT_EQ(h.pins.pinned.at(0).second, ticket);
    h.editor.opened.at(0).finished(anImage());
    EXPECT_EQ(h.editedStored.at(0).first, ticket);
}

TEST(CaptureCompletionRouter, AFailedSaveIsShownWithItsReason) {
    FlowHarness h;
    h.saver.failure = ExportError::cannotLocateDesktop();
    h.router.route(anImage(), sessionOf(CaptureMode::area), {CaptureOutputAction::Kind::save});
    h.settle();
    EXPECT_EQ(h.errors, std::vector<std::string>{"Cannot locate Desktop directory"});
}

TEST(InteractiveCapturePresentationRestorer, TriesUpToEightTimesSeventyFiveMillisecondsApart) {
    struct Case {
        int activeAfter;  // activations; 0 = never
        bool restored;
        size_t attempts;
    };
    for (const Case c : {Case{3, true, 3}, Case{0, false, 8}}) {
        testing::ManualExecutor main;
        testing::FakeWindowActivation windows;
        windows.activeAfterActivations = c.activeAfter;
        std::vector<std::chrono::milliseconds> delays;
        InteractiveCapturePresentationRestorer restorer(windows, [&](std::chrono::milliseconds delay, Task task) {
            delays.push_back(delay);
            main.post(std::move(task));
        });
        std::optional<bool> restored;
        restorer.restoreAppFocus(sessionOf(CaptureMode::area), [&](bool r) { restored = r; });
        EXPECT_FALSE(restored) << "answered before waiting";
        main.runAll();
        EXPECT_EQ(restored, c.restored);
        EXPECT_EQ(windows.activated, std::vector<WindowHandle>(c.attempts, WindowHandle(0x2a00007)));
        EXPECT_EQ(delays, std::vector<std::chrono::milliseconds>(c.attempts, std::chrono::milliseconds(75)));
    }
}

TEST(InteractiveCapturePresentationRestorer, WithoutARecordedWindowThereIsNothingToRestore) {
    testing::ManualExecutor main;
    testing::FakeWindowActivation windows;
    InteractiveCapturePresentationRestorer restorer(windows, [&](auto, Task task) { main.post(std::move(task)); });
    auto session = sessionOf(CaptureMode::area);
    session.frontmostWindow.reset();
    std::optional<bool> restored;
    restorer.restoreAppFocus(session, [&](bool r) { restored = r; });
    main.runAll();
    EXPECT_EQ(restored, false);
    EXPECT_TRUE(windows.activated.empty());
}

}  // namespace
}  // namespace tessarin
