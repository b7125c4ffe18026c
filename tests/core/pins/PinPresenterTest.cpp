#include <gtest/gtest.h>

#include "PinTestSupport.h"
#include "core/pins/PinnedScreenshotPresenter.h"

namespace tessarin {
namespace {

using test::PinHarness;

class FakeWindows final : public PinWindowHost {
public:
    std::vector<PinPlacement::Screen> liveScreens() override { return screens; }
    std::optional<uint32_t> screenUnderPointer() override { return pointerScreen; }
    void open(const std::string& id, SharedImage image, Rect frame, Size minimum, bool complete) override {
        frames[id] = frame;
        minimums[id] = minimum;
        images[id] = {image, complete};
        ++opened;
    }
    void setImage(const std::string& id, SharedImage image) override { images[id] = {image, true}; }
    void close(const std::string& id) override { frames.erase(id); }
    void raise(const std::string& id) override { raised.push_back(id); }
    void setFrame(const std::string& id, Rect frame) override { frames[id] = frame; }

    std::vector<PinPlacement::Screen> screens{{1, {0, 0, 1440, 875}}, {2, {1440, 0, 1920, 1080}}};
    std::optional<uint32_t> pointerScreen = 1;
    std::map<std::string, Rect> frames;
    std::map<std::string, Size> minimums;
    std::map<std::string, std::pair<SharedImage, bool>> images;  // with whether it is the full image
    std::vector<std::string> raised;
    int opened = 0;
};

class FakeHistory final : public PinHistoryLink {
public:
    bool contains(std::string_view id) const override { return items.contains(std::string(id)); }
    void setPinned(std::string_view id, bool pinned) override {
        if (contains(id)) items[std::string(id)] = pinned;
    }
    void reconcilePinnedIDs(const std::set<std::string, std::less<>>& ids) override {
        for (auto& [id, pinned] : items) pinned = ids.contains(id);
        ++reconciled;
    }
    std::map<std::string, bool> items;
    int reconciled = 0;
};

class FakeAlerts final : public FlowAlerts {
public:
    void showWarning(const std::string& title, const std::string& message) override { shown.push_back(title + ": " + message); }
    std::vector<std::string> shown;
};

struct PresenterHarness {
    PresenterHarness() {
        h.open();
        presenter.emplace(*h.store, windows, history, alerts);
    }
    SharedImage image(uint32_t width, uint32_t height) {
        return std::make_shared<const Image>(test::noiseImage(width, height, ++h.seed));
    }
    // A fresh application over the same folder.
    void restart() {
        presenter.reset();
        windows.frames.clear();
        windows.images.clear();
        windows.opened = 0;
        h.open();
        presenter.emplace(*h.store, windows, history, alerts);
    }
    PinHarness h;
    FakeWindows windows;
    FakeHistory history;
    FakeAlerts alerts;
    std::optional<PinnedScreenshotPresenter> presenter;
};

TEST(PinPresenter, APinOpensCentredOnThePointersDisplayAndIsStoredLinked) {
    PresenterHarness p;
    const std::string id = newUUIDString();
    p.history.items[id] = false;
    p.presenter->pin(p.image(4000, 3000), id, true);
    ASSERT_TRUE(p.windows.frames.contains(id));  // at once, before the image is written
    const Rect frame = p.windows.frames[id];
    EXPECT_NEAR(frame.midX(), 720, 1e-9);  // its size is PinPlacement's
    p.h.settle();
    EXPECT_TRUE(p.history.items[id]);
    ASSERT_EQ(p.h.onDisk().pins.size(), 1u);
    EXPECT_EQ(p.h.onDisk().pins[0].frame, frame);
    EXPECT_EQ(p.h.onDisk().pins[0].screenID, 1u);
    // Pinning the same id again raises the window it has.
    p.presenter->pin(p.image(10, 10), id, true);
    EXPECT_EQ(p.windows.raised, std::vector<std::string>{id});
    EXPECT_EQ(p.windows.opened, 1);
}

TEST(PinPresenter, AFailedStoreClosesTheWindowForgetsTheIdAndWarns) {
    PresenterHarness p;
    std::filesystem::remove_all(p.h.root() / "images");
    std::ofstream(p.h.root() / "images") << "a file where the folder should be";
    const std::string id = newUUIDString();
    p.presenter->pin(p.image(50, 20), id, false);
    p.h.settle();
    EXPECT_FALSE(p.windows.frames.contains(id));
    EXPECT_FALSE(p.h.store->index().names(id));
    ASSERT_EQ(p.alerts.shown.size(), 1u);
    EXPECT_TRUE(p.alerts.shown[0].starts_with("Tessarin: ")) << p.alerts.shown[0];
}

TEST(PinPresenter, APinComesBackAfterARestartAtItsFrame) {
    PresenterHarness p;
    const std::string id = newUUIDString();
    p.presenter->pin(p.image(800, 600), id, false);
    p.h.settle();
    p.presenter->windowMoved(id, Rect{1500, 100, 400, 300});
    p.h.settle();
    p.restart();
    size_t shown = 0;
    p.presenter->restorePersistedPins([&shown](size_t count) { shown = count; });
    p.h.loop.runAll();
    EXPECT_EQ(shown, 1u);
    EXPECT_EQ(p.windows.frames.at(id), (Rect{1500, 100, 400, 300}));
    EXPECT_EQ(p.history.reconciled, 1);
}

TEST(PinPresenter, ALaunchShowsThePreviewFirstAndThenTheFullImage) {
    PresenterHarness p;
    const std::string withPreview = newUUIDString();
    const std::string without = newUUIDString();
    p.presenter->pin(p.image(2000, 1000), withPreview, false);
    p.presenter->pin(p.image(600, 300), without, false);
    p.h.settle();
    ASSERT_TRUE(std::filesystem::exists(p.h.root() / "previews" / (withPreview + ".jpg")));
    std::filesystem::remove(p.h.root() / "previews" / (without + ".jpg"));  // stored before previews existed
    p.restart();
    p.presenter->restorePersistedPins();
    while (!p.windows.images.contains(withPreview) && p.h.loop.runOne()) {}
    ASSERT_TRUE(p.windows.images.contains(withPreview));
    EXPECT_FALSE(p.windows.images[withPreview].second);
    EXPECT_EQ(p.windows.images[withPreview].first->width(), 1280u);
    EXPECT_FALSE(p.windows.images.contains(without));  // it waits for its full image
    p.h.settle();
    EXPECT_TRUE(p.windows.images[withPreview].second);
    EXPECT_EQ(p.windows.images[withPreview].first->width(), 2000u);
    EXPECT_EQ(p.windows.opened, 2);  // no second window for the full image
    EXPECT_TRUE(p.windows.images[without].second);
    // Forgetting a pin removes its preview with its image.
    p.presenter->unpin(withPreview);
    p.h.settle();
    EXPECT_FALSE(std::filesystem::exists(p.h.root() / "previews" / (withPreview + ".jpg")));
    EXPECT_FALSE(p.h.hasImage(withPreview));
}

TEST(PinPresenter, RestoreForgetsOnlyPinsWhoseImageIsMissing) {
    PresenterHarness p;
    const std::string missing = newUUIDString();
    const std::string damaged = newUUIDString();
    const std::string good = newUUIDString();
    for (const auto& id : {missing, damaged, good}) p.presenter->pin(p.image(200, 100), id, false);
    p.h.settle();
    std::filesystem::remove(p.h.root() / "images" / (missing + ".png"));
    p.h.writeImage(damaged);
    p.restart();
    p.presenter->restorePersistedPins();
    p.h.settle();
    EXPECT_TRUE(p.windows.frames.contains(good));
    EXPECT_FALSE(p.windows.frames.contains(damaged));
    EXPECT_FALSE(p.h.store->index().names(missing));
    EXPECT_TRUE(p.h.store->isOpen(damaged));
    EXPECT_TRUE(p.h.hasImage(damaged));
}

TEST(PinPresenter, ClosingAndRestoringTheMostRecentlyClosedPin) {
    PresenterHarness p;
    const std::string id = newUUIDString();
    p.history.items[id] = false;
    p.presenter->pin(p.image(800, 600), id, true);
    p.h.settle();
    p.windows.frames.erase(id);
    p.presenter->windowClosed(id, Rect{1600, 50, 400, 300});
    p.h.settle();
    EXPECT_FALSE(p.history.items[id]);
    EXPECT_EQ(p.h.onDisk().recentlyClosed.at(0).screenID, 2u);
    p.presenter->restoreMostRecentlyClosed();
    p.h.settle();
    EXPECT_TRUE(p.history.items[id]);
    EXPECT_EQ(p.windows.frames.at(id), (Rect{1600, 50, 400, 300}));
    EXPECT_TRUE(p.h.onDisk().isOpen(id));
    // With its display gone, it opens centred on the main display.
    p.windows.frames.erase(id);
    p.presenter->windowClosed(id, Rect{1600, 50, 400, 300});
    p.windows.screens.pop_back();
    p.presenter->restoreMostRecentlyClosed();
    p.h.settle();
    EXPECT_EQ(p.windows.frames.at(id), (Rect{520, 287.5, 400, 300}));
}

TEST(PinPresenter, APinRemovedWhileItsImageIsWrittenIsNotStored) {
    PresenterHarness p;
    const std::string closed = newUUIDString();
    const std::string removed = newUUIDString();
    const std::string kept = newUUIDString();
    for (const auto& id : {closed, removed, kept}) p.presenter->pin(p.image(300, 200), id, false);
    // Before the background writes ran.
    p.windows.frames.erase(closed);
    p.presenter->windowClosed(closed, Rect{1, 2, 300, 200});
    p.presenter->closeOverlays({removed, newUUIDString()});
    p.h.settle();
    EXPECT_FALSE(p.windows.frames.contains(removed));
    const auto written = p.h.onDisk();
    ASSERT_EQ(written.pins.size(), 1u);
    EXPECT_EQ(written.pins[0].id, kept);
    ASSERT_EQ(written.recentlyClosed.size(), 1u);
    EXPECT_EQ(written.recentlyClosed[0].id, closed);
    EXPECT_EQ(written.recentlyClosed[0].frame, (Rect{1, 2, 300, 200}));
    EXPECT_FALSE(p.h.hasImage(removed));
}

TEST(PinPresenter, WithoutADisplayPlacementWaitsForTheNextScreenChange) {
    PresenterHarness p;
    p.windows.screens.clear();
    const std::string id = newUUIDString();
    p.presenter->pin(p.image(300, 200), id, false);
    p.h.settle();
    EXPECT_FALSE(p.windows.frames.contains(id));
    p.presenter->restackOverlays();
    EXPECT_FALSE(p.windows.frames.contains(id));
    p.windows.screens = {{5, {0, 0, 1000, 800}}};
    p.presenter->restackOverlays();
    p.h.settle();
    EXPECT_EQ(p.windows.frames.at(id), (Rect{350, 300, 300, 200}));
    EXPECT_EQ(p.h.onDisk().pins.at(0).frame, (Rect{350, 300, 300, 200}));
}

TEST(PinPresenter, RestackingMovesPinsBackOntoTheirDisplayOrTheMainOne) {
    PresenterHarness p;
    const std::string onSecond = newUUIDString();
    p.windows.pointerScreen = 2;
    p.presenter->pin(p.image(400, 300), onSecond, false);
    p.h.settle();
    p.presenter->windowMoved(onSecond, Rect{3200, 900, 400, 300});
    p.presenter->restackOverlays();
    EXPECT_EQ(p.windows.frames.at(onSecond), (Rect{2960, 780, 400, 300}));
    // The second display goes away: the main display takes it.
    p.windows.screens.pop_back();
    p.presenter->restackOverlays();
    p.h.settle();
    EXPECT_EQ(p.windows.frames.at(onSecond), (Rect{1040, 575, 400, 300}));
    EXPECT_EQ(p.h.onDisk().pins.at(0).screenID, 1u);
}

}  // namespace
}  // namespace tessarin
