#include <gtest/gtest.h>

#include "core/capture/HistoryTestSupport.h"
#include "core/history/CaptureHistoryWindowController.h"
#include "support/FakeCaptureFlowPorts.h"

namespace tessarin {
namespace {

using test::HistoryHarness;

struct RecordingFileManager final : FileManagerPort {
    std::vector<std::string> shown;
    void showItems(const std::vector<std::string>& uris, Completion<bool> done) override {
        shown.insert(shown.end(), uris.begin(), uris.end());
        done(true);
    }
    bool openFolder(const std::string&) override { return false; }
};

struct RecordingPinning final : HistoryPinning {
    std::vector<std::pair<std::string, SharedImage>> pinned;
    std::vector<std::string> unpinned;
    bool unpins = true;
    void pin(const CaptureHistoryItem& item, SharedImage image) override { pinned.emplace_back(item.id, std::move(image)); }
    bool canUnpin() const override { return unpins; }
    void unpin(const std::string& id) override { unpinned.push_back(id); }
};

class HistoryWindowController : public ::testing::Test {
protected:
    HistoryWindowController() : harness(temp.path() / "History") { harness.open(); }

    CaptureHistoryWindowController& open(bool withPins = true, bool withEditor = false) {
        controller.emplace(HistoryWindowPorts{
            .store = *harness.store,
            .preferences = preferences,
            .clipboard = clipboard,
            .saver = saver,
            .alerts = alerts,
            .fileManager = files,
            .pins = withPins ? &pins : nullptr,
            .editor = withEditor ? &editor : nullptr,
            .activateApplication = [this] { ++activations; }});
        controller->setListener([this](const HistoryListChanges& changes) { heard.push_back(changes); });
        return *controller;
    }
    // Runs the action and waits for its asynchronous part.
    void perform(const std::string& id, HistoryAction action) {
        controller->perform(id, action);
        harness.loop.runUntil([this] { return controller->pendingActions() == 0; });
        harness.idle();
    }
    std::vector<std::string> cellIDs() const {
        std::vector<std::string> ids;
        for (const auto& cell : controller->model().cells()) ids.push_back(cell.item.id);
        return ids;
    }
    void removeFiles(const CaptureHistoryItem& item) {
        std::filesystem::remove(harness.path("images/" + item.imageFilename));
        std::filesystem::remove(harness.path("thumbnails/" + item.thumbnailFilename()));
    }

    testing::TempDir temp;
    HistoryHarness harness;
    InMemoryKeyValueStore preferenceValues;
    AppPreferences preferences{preferenceValues};
    testing::FakeClipboard clipboard;
    testing::FakeSaver saver;
    testing::FakeAlerts alerts;
    testing::FakeEditor editor;
    RecordingFileManager files;
    RecordingPinning pins;
    int activations = 0;
    std::vector<HistoryListChanges> heard;
    std::optional<CaptureHistoryWindowController> controller;
};

TEST_F(HistoryWindowController, ListsTheStoreNewestFirstAndFollowsIt) {
    const auto first = harness.record();
    const auto second = harness.record();
    open();
    EXPECT_EQ(cellIDs(), (std::vector<std::string>{second->id, first->id}));
    EXPECT_EQ(controller->model().cells().at(0).title, "Window Capture");

    const auto third = harness.record();
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().added, (std::vector<std::string>{third->id}));
    EXPECT_EQ(cellIDs().front(), third->id);

    harness.store->deleteItem(first->id);  // e.g. another window
    EXPECT_EQ(heard.back().removed, (std::vector<std::string>{first->id}));
    EXPECT_EQ(cellIDs().size(), 2u);
}

TEST_F(HistoryWindowController, CopySaveAndRevealTheFullImageAndShowAFailedSave) {
    const auto item = harness.record(64, 48);
    preferences.setDefaultImageFormat(ImageFormatPreference::jpeg);
    open();
    perform(item->id, HistoryAction::copy);
    ASSERT_EQ(clipboard.copied.size(), 1u);
    EXPECT_EQ(clipboard.copied[0]->width(), 64u);
    perform(item->id, HistoryAction::save);
    ASSERT_EQ(saver.saved.size(), 1u);
    EXPECT_EQ(saver.saved[0].second.kind, ImageFormat::Kind::jpeg);
    EXPECT_EQ(saver.saved[0].first->height(), 48u);
    perform(item->id, HistoryAction::reveal);
    EXPECT_EQ(files.shown, std::vector<std::string>{fileURI(harness.path("images/" + item->imageFilename))});
    EXPECT_TRUE(alerts.shown.empty());
    saver.failure = ExportError::fileSystem("Cannot write /x/y.png: No space left on device", 28);
    perform(item->id, HistoryAction::save);
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].second, "Cannot write /x/y.png: No space left on device");
}

TEST_F(HistoryWindowController, AnItemWithoutFilesWarnsForEveryActionThatNeedsTheImage) {
    const auto item = harness.record();
    open();
    removeFiles(*item);
    for (const auto action : {HistoryAction::copy, HistoryAction::save, HistoryAction::pin, HistoryAction::reveal}) {
        alerts.shown.clear();
        perform(item->id, action);
        ASSERT_EQ(alerts.shown.size(), 1u) << titleOf(action);
        EXPECT_EQ(alerts.shown[0],
                  (std::pair<std::string, std::string>{"Image Open Failed", "Failed to load screenshot image"}));
    }
    EXPECT_TRUE(clipboard.copied.empty());
    EXPECT_TRUE(saver.saved.empty());
    EXPECT_TRUE(pins.pinned.empty());
    EXPECT_TRUE(files.shown.empty());
    EXPECT_EQ(cellIDs(), (std::vector<std::string>{item->id})) << "the item stays listed";
}

TEST_F(HistoryWindowController, PinHandsTheImageLinkedToItsItem) {
    const auto item = harness.record(32, 16);
    open();
    perform(item->id, HistoryAction::pin);
    ASSERT_EQ(pins.pinned.size(), 1u);
    EXPECT_EQ(pins.pinned[0].first, item->id);
    EXPECT_EQ(pins.pinned[0].second->width(), 32u);

    harness.store->setPinned(item->id, true);
    EXPECT_EQ(controller->model().cells().at(0).badges, (std::vector<std::string>{"Pinned"}));
    perform(item->id, HistoryAction::pin);
    EXPECT_EQ(pins.pinned.size(), 1u) << "a pinned item offers Unpin, not Pin";
    perform(item->id, HistoryAction::unpin);
    EXPECT_EQ(pins.unpinned, (std::vector<std::string>{item->id}));
}

TEST_F(HistoryWindowController, AnnotateOpensTheEditorAndTheEditReplacesTheItem) {
    const auto item = harness.record(40, 30);
    open(true, /*withEditor=*/true);
    const uint64_t revision = controller->model().cells().at(0).thumbnailRevision;
    perform(item->id, HistoryAction::annotate);
    ASSERT_EQ(editor.opened.size(), 1u);
    EXPECT_EQ(activations, 1);
    editor.opened[0].finished(std::make_shared<const Image>(test::noiseImage(80, 60, 3)));
    harness.idle();
    const auto& cell = controller->model().cells().at(0);
    EXPECT_EQ(cell.item.pixelWidth, 80);
    EXPECT_EQ(cell.badges, (std::vector<std::string>{"Annotated"}));
    EXPECT_NE(cell.thumbnailRevision, revision);
}

TEST_F(HistoryWindowController, AnEditWhoseItemWasDeletedMeanwhileBecomesANewItem) {
    const auto item = harness.record(40, 30);
    open(true, /*withEditor=*/true);
    perform(item->id, HistoryAction::annotate);
    ASSERT_EQ(editor.opened.size(), 1u);
    perform(item->id, HistoryAction::remove);
    harness.idle();
    EXPECT_TRUE(cellIDs().empty());
    editor.opened[0].finished(std::make_shared<const Image>(test::noiseImage(80, 60, 3)));
    harness.idle();
    ASSERT_EQ(controller->model().cells().size(), 1u);
    const auto& cell = controller->model().cells().at(0);
    EXPECT_NE(cell.item.id, item->id);
    EXPECT_EQ(cell.item.pixelWidth, 80);
}

TEST_F(HistoryWindowController, ClearAsksFirstAndRemovesPinnedItemsToo) {
    const auto plain = harness.record();
    const auto pinned = harness.record();
    harness.store->setPinned(pinned->id, true);
    open();
    ASSERT_TRUE(controller->requestClear());
    controller->answerClear(false);
    EXPECT_EQ(cellIDs().size(), 2u);
    ASSERT_TRUE(controller->requestClear());
    controller->answerClear(true);
    harness.idle();
    EXPECT_TRUE(controller->model().isEmpty());
    EXPECT_TRUE(harness.store->items().empty());
    EXPECT_FALSE(harness.has("thumbnails/" + pinned->thumbnailFilename()));
}

TEST_F(HistoryWindowController, PauseSwitchesThePreferenceAndKeepsTheItems) {
    harness.record();
    open();
    controller->togglePaused();
    EXPECT_TRUE(preferences.historyPaused());
    EXPECT_EQ(controller->model().pauseTitle(), "Resume History");
    EXPECT_EQ(cellIDs().size(), 1u);
    // Changed elsewhere (the settings window): the switch follows.
    preferences.setHistoryPaused(false);
    EXPECT_EQ(controller->model().pauseTitle(), "Pause History");
    EXPECT_FALSE(heard.empty());
}

TEST_F(HistoryWindowController, AnActionOnAnItemThatIsGoneDoesNothing) {
    const auto item = harness.record();
    open();
    controller->perform(item->id, HistoryAction::copy);  // the image is loading…
    harness.store->deleteItem(item->id);                 // …when the item goes
    harness.loop.runUntil([this] { return controller->pendingActions() == 0; });
    EXPECT_TRUE(clipboard.copied.empty());
    perform("no-such-id", HistoryAction::copy);
    EXPECT_TRUE(clipboard.copied.empty());
}

TEST_F(HistoryWindowController, ClosingWhileAnImageLoadsIsSafe) {
    const auto item = harness.record();
    open();
    controller->perform(item->id, HistoryAction::copy);
    controller.reset();
    harness.idle();
    harness.loop.drain();
    EXPECT_TRUE(clipboard.copied.empty());
}

}  // namespace
}  // namespace tessarin
